#!/usr/bin/env bash
# Peer sync between Ternwick.exe, a Windows service under Wine on the registry's store, and
# the Linux Ternwick on a store of its own, both on loopback: paired with corvane-admin.exe
# (whose secret the Linux side takes), each registration, replacement and deletion made on
# one side is served by (or gone from) the other within a few seconds, one made on Windows
# while the Linux service is down reaches it once it is back, both sides end in sync, and
# the paired service stops promptly. Prints how long each change took to reach the other
# side.
#   peer-sync-end-to-end.sh TERNWICK_EXE ADMIN_EXE LINUX_BUILD PREFIX
# Runs in a Wine prefix of its own (PREFIX); its wineserver and the Linux key service are
# ended at the end, whatever happened.
set -euo pipefail
ternwick="$1" admin="$2" linux="$3"
export WINEPREFIX="$4" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
here="$(cd "$(dirname "$0")/../.." && pwd)"
request="$linux/tools/corvane-request"
linux_store="$linux/tests/support/service_test_store"
linux_service="$linux/service/Ternwick"

# shellcheck source=end-to-end-helpers.sh
source "$here/tests/windows/end-to-end-helpers.sh"
require_linux_programs "$request" "$linux_store" "$linux_service"
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The key a service on port hands out for id, or "none"; empty when it does not answer.
served() {
    local out
    out="$(timeout 10 "$request" get-key 127.0.0.1 "$1" "$2" 2>&1)" || true
    case "$out" in
    *"key    "*) out="${out#*key    }" && echo "${out%%$'\n'*}" ;;
    *"no key registered"*) echo none ;;
    esac
}

work="$(mktemp -d)"
win cmd /c exit >/dev/null 2>&1 # sets the prefix up on first use
# The stick's drive S:, mapped before Wine's services start, which list only the letters
# mapped then.
stick="$work/stick"
mkdir -p "$stick"
ln -sfn "$stick" "$WINEPREFIX/dosdevices/s:"
wineserver -k >/dev/null 2>&1 || true
wineserver -w
win cmd /c exit >/dev/null 2>&1
hold="" linux_pid=""
cleanup() {
    "$wine" sc stop Ternwick >/dev/null 2>&1 || true
    "$wine" sc delete Ternwick >/dev/null 2>&1 || true
    [ -z "$hold" ] || kill "$hold" 2>/dev/null || true
    [ -z "$linux_pid" ] || kill "$linux_pid" 2>/dev/null || true
    exec 3>&- || true
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# Wine ends its services with the last ordinary process of the prefix: one waits on its
# input for as long as the test runs.
fifo="$(mktemp -u)"
mkfifo "$fifo"
exec 3<>"$fifo"
rm -f "$fifo"
"$wine" cmd <&3 >/dev/null 2>&1 &
hold=$!
"$wine" reg delete 'HKLM\SOFTWARE\Quillon' /f >/dev/null 2>&1 || true
"$wine" sc delete Ternwick >/dev/null 2>&1 || true

id1=00A0B0C0D0F0 key1=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
id2=00A0B0C0D0F1 key2=f0e1d2c3b4a5968778695a4b3c2d1e0f00112233445566778899aabbccddeeff
key3=5a5a5a5a0102030405060708090a0b0c0d0e0f101112131415161718a5a5a5a5
# The stick of id1: a folder on no disk binds the key to the ID alone, each byte plus the
# ID's byte there.
mkdir -p "$stick/dont_delete_${id1,,}"
python3 -c 'import sys; k = bytes.fromhex(sys.argv[1]); i = sys.argv[2].encode()
sys.stdout.buffer.write(bytes((b + i[n % len(i)]) & 0xFF for n, b in enumerate(k)))' "$key1" "$id1" \
    >"$stick/dont_delete_${id1,,}/${id1,,}"

export CORVANE_STATE_DIR="$work/linux-state"
mkdir -m 700 "$CORVANE_STATE_DIR"
linux_port="$(free_port)"
port="$(free_port)"
"$linux_store" layout || fail "the Linux store cannot be set up"
"$linux_store" port "$linux_port" || fail "the Linux port cannot be set"
start_linux() {
    "$linux_service" </dev/null >/dev/null 2>>"$work/linux.log" &
    linux_pid=$!
}
start_linux
out="$(admin "" port "$port")" || fail "corvane-admin.exe port $port: $out"
"$wine" sc create Ternwick binPath= "$(winepath -w "$ternwick")" >/dev/null || fail "sc create"
"$wine" sc start Ternwick >/dev/null || fail "sc start"
for side in "$linux_port" "$port"; do
    for _ in $(seq 1 50); do
        [ -z "$(served "$side" "$id1")" ] || continue 2
        sleep 0.2
    done
    fail "nothing answers on port $side: $(cat "$work/linux.log")"
done

# The pairing: corvane-admin.exe shows the secret, the Linux side takes it. Windows reaches
# Linux over IPv6, Linux reaches Windows over IPv4.
out="$(admin "" peer add linux "[::1]:$linux_port")" || fail "corvane-admin.exe peer add: $out"
secret="${out##*$'\n'}"
[[ "$secret" =~ ^[0-9a-f]{64}$ ]] || fail "peer add showed no secret: $out"
"$linux_store" peer windows 127.0.0.1 "$port" "$secret" || fail "the Linux side cannot be paired"

# Each change: the side it is made on, what is made, the ID, and the key the other side
# serves for it after (none: no key registered). The last is made while the Linux service
# is down, which takes it once it is back.
changes=(
    "windows register $id1 $key1"
    "linux key $id2 $key2"
    "linux key $id1 $key3"
    "linux delete $id2 none"
    "windows delete $id1 none"
    "windows register-while-away $id1 $key1"
)
timings=()
for change in "${changes[@]}"; do
    read -r side action id want <<<"$change"
    if [ "$side" = windows ]; then
        case "$action" in
        register) out="$(admin "" register "S:\\$id")" ;;
        delete) out="$(admin "" delete --yes "$id")" ;;
        register-while-away)
            kill "$linux_pid" && wait "$linux_pid" || true
            out="$(admin "" register --yes "S:\\$id")" || fail "corvane-admin.exe register $id: $out"
            for _ in $(seq 1 50); do
                out="$(admin "" peer list)"
                case "$out" in *$'\t'"unreachable: "*) break ;; esac
                sleep 0.2
            done
            case "$out" in *$'\t'"unreachable: "*) ;; *) fail "peer list with the Linux service down: $out" ;; esac
            start_linux
            ;;
        esac || fail "corvane-admin.exe $action $id: $out"
        other="$linux_port"
    else
        case "$action" in
        key) "$linux_store" key "$id" "$want" ;;
        delete) "$linux_store" delete "$id" ;;
        esac || fail "the Linux store tool: $action $id"
        other="$port"
    fi
    start="$(now_ms)"
    while [ "$(served "$other" "$id")" != "$want" ]; do
        [ $(($(now_ms) - start)) -lt 10000 ] ||
            fail "$change: the other side serves '$(served "$other" "$id")' after 10 s; the Linux log ends: $(tail -5 "$work/linux.log")"
        sleep 0.1
    done
    timings+=("$side $action $id: $(($(now_ms) - start)) ms")
done

# Both sides say so once their statuses are written.
for _ in $(seq 1 50); do
    state="$("$linux_store" peerstate windows)" || true
    out="$(admin "" peer list)" || true
    case "$state/$out" in "in sync/linux"$'\t'"[::1]:$linux_port"$'\t'"in sync"$'\t'*$'\t'"0 conflicts") break ;; esac
    sleep 0.2
done
[ "$state" = "in sync" ] || fail "the Linux side's peer is '$state'"
case "$out" in "linux"$'\t'"[::1]:$linux_port"$'\t'"in sync"$'\t'*$'\t'"0 conflicts") ;;
*) fail "corvane-admin.exe peer list said: $out" ;; esac

# The sync thread lets the service stop as promptly as ever.
start="$(now_ms)"
"$wine" sc stop Ternwick >/dev/null || fail "sc stop"
until "$wine" sc query Ternwick | grep -q STOPPED; do
    [ $(($(now_ms) - start)) -lt 10000 ] || fail "the service has not stopped 10 s after sc stop"
    sleep 0.1
done
stopped=$(($(now_ms) - start))
echo "Ternwick.exe under Wine and the Linux Ternwick, paired: each change served by the other side after"
printf '  %s\n' "${timings[@]}"
echo "  Ternwick.exe stopped $stopped ms after sc stop"
