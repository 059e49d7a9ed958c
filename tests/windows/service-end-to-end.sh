#!/usr/bin/env bash
# Ternwick.exe as a Windows service under Wine, asked by the Linux request tool.
#   service-end-to-end.sh TERNWICK_EXE STORE_TOOL_EXE CONTROL_PROBE_EXE REQUEST_TOOL PREFIX
# Runs in a Wine prefix of its own (PREFIX), whose registry is the service's store; its
# wineserver is ended at the end, whatever happened.
set -euo pipefail
ternwick="$1" store_tool="$2" probe="$3" request="$4"
export WINEPREFIX="$5" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
here="$(cd "$(dirname "$0")/../.." && pwd)"

if [ ! -x "$request" ]; then
    echo "SKIPPED: no Linux request tool at $request (build the default preset first)"
    exit 77
fi

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
win() { "$here/scripts/wine-run.sh" "$@" </dev/null; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# The request tool's answer on a port, within a few seconds of trying.
answers() {
    local host="$1" port="$2" verb="${3:-check}" extra=("${@:4}")
    for _ in $(seq 1 50); do
        if out="$(timeout 10 "$request" "$verb" "$host" "$port" "${extra[@]}" 2>&1)"; then
            echo "$out"
            return 0
        fi
        sleep 0.2
    done
    echo "$out"
    return 1
}

win cmd /c exit >/dev/null 2>&1 # sets the prefix up on first use
hold=""
cleanup() {
    "$wine" sc stop Ternwick >/dev/null 2>&1 || true
    "$wine" sc delete Ternwick >/dev/null 2>&1 || true
    [ -z "$hold" ] || kill "$hold" 2>/dev/null || true
    exec 3>&- || true
    wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
# Wine ends its services with the last ordinary process of the prefix: one waits on its
# input for as long as the test runs.
wineserver -p 2>/dev/null || true # already running from the set-up: the hold below keeps it
fifo="$(mktemp -u)"
mkfifo "$fifo"
exec 3<>"$fifo"
rm -f "$fifo"
"$wine" cmd <&3 >/dev/null 2>&1 &
hold=$!
"$wine" reg delete 'HKLM\SOFTWARE\Quillon' /f >/dev/null 2>&1 || true
"$wine" sc delete Ternwick >/dev/null 2>&1 || true

port="$(free_port)"
win "$store_tool" layout || fail "the store tool cannot create the store"
win "$store_tool" port "$port" || fail "the store tool cannot set the port"

"$wine" sc create Ternwick binPath= "$(winepath -w "$ternwick")" >/dev/null || fail "sc create"
"$wine" sc start Ternwick >/dev/null || fail "sc start"
state="$(win "$probe" state)"
[ "${state%% *}" = 4 ] || fail "the service reports state $state after sc start, not running (4)"

for host in 127.0.0.1 ::1; do
    [ "$(answers "$host" "$port")" = "status 0 0" ] || fail "CHECK on $host port $port"
done

id=00A0B0C0D0E0
key=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
out="$(answers 127.0.0.1 "$port" get-key "$id" || true)"
case "$out" in *"no key registered"*) ;; *) fail "GET_KEY before the registration: $out" ;; esac
win "$store_tool" key "$id" "$key" || fail "registration"
out="$(answers ::1 "$port" get-key "$id")" || fail "GET_KEY after the registration: $out"
case "$out" in *"$key"*) ;; *) fail "GET_KEY answered $out, not the key $key" ;; esac

moved="$(free_port)"
win "$store_tool" port "$moved" || fail "the port change"
[ "$(answers 127.0.0.1 "$moved")" = "status 0 0" ] || fail "no listener on the new port $moved"
if timeout 10 "$request" check 127.0.0.1 "$port" >/dev/null 2>&1; then
    fail "the old port $port still answers"
fi

state="$(win "$probe" pause)"
[ "${state%% *}" = 7 ] || fail "pause: state $state, not paused (7)"
state="$(win "$probe" continue)"
[ "${state%% *}" = 4 ] || fail "continue: state $state, not running (4)"
[ "$(answers 127.0.0.1 "$moved")" = "status 0 0" ] || fail "CHECK after continue"

"$wine" sc stop Ternwick >/dev/null || fail "sc stop"
state="$(win "$probe" state)"
[ "${state%% *}" = 1 ] || fail "sc stop: state $state, not stopped (1)"
if timeout 10 "$request" check 127.0.0.1 "$moved" >/dev/null 2>&1; then
    fail "a stopped service still answers"
fi
echo "Ternwick.exe under Wine's service manager: CHECK, GET_KEY, port change, pause, continue and stop as expected"
