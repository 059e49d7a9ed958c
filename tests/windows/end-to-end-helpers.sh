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
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
