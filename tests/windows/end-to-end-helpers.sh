# What the Windows end-to-end scripts share; sourced after they set here (the source tree)
# and admin (corvane-admin.exe).

# Exits 77 (skipped) unless every Linux program given was built.
require_linux_programs() {
    for program in "$@"; do
        if [ ! -x "$program" ]; then
            echo "SKIPPED: no Linux program at $program (build the default preset first)"
            exit 77
        fi
    done
}

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
win() { "$here/scripts/wine-run.sh" "$@" </dev/null; }
# corvane-admin.exe with standard input from the first argument; its output without the
# carriage returns of Windows' line ends.
admin() {
    local input="$1"
    shift
    printf '%s' "$input" | "$here/scripts/wine-run.sh" "$admin" "$@" 2>&1 | tr -d '\r'
    return "${PIPESTATUS[1]}"
}
# A port free on both families' wildcard addresses, picked at random outside the system's
# ephemeral range: a port from inside it may go to any outgoing connection before the
# service binds it.
free_port() {
    python3 - <<'PY'
import random, socket
low, high = map(int, open("/proc/sys/net/ipv4/ip_local_port_range").read().split())
ports = [p for p in range(1024, 65536) if p < low or p > high]
random.shuffle(ports)
for port in ports:
    try:
        with socket.socket(socket.AF_INET) as v4, socket.socket(socket.AF_INET6) as v6:
            v6.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
            v4.bind(("0.0.0.0", port))
            v6.bind(("::", port))
        print(port)
        break
    except OSError:
        continue
PY
}
