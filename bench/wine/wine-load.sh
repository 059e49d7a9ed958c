#!/usr/bin/env bash
# GET_KEY of Ternwick.exe under Wine and of the Linux Ternwick, side by side under the same
# load from the Linux load generator (16 clients, 1,000 keys, 10 s unless told otherwise),
# then N registrations and deletions by another process, each asked for at once
# (VISIBILITY=N, 20 unless set; 0 for none).
#   bench/wine/wine-load.sh [TERNWICK_EXE] [-- LOADGEN OPTIONS]
# Needs build/ (the default preset: corvane_loadgen, the Linux Ternwick, corvane-request)
# and build-windows/ (Ternwick.exe, corvane_bench_fill.exe, corvane_bench_store.exe).
# Ternwick.exe runs in the foreground in a Wine prefix of its own, removed at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
ternwick="$here/build-windows/service/Ternwick.exe"
if [ $# -gt 0 ] && [ "$1" != -- ]; then
    ternwick="$(realpath "$1")"
    shift
fi
[ "${1:-}" != -- ] || shift
load=(--keys 1000 --clients 16 --seconds 10 "$@")
keys=1000
for ((i = 0; i < ${#load[@]} - 1; i++)); do
    [ "${load[i]}" != --keys ] || keys="${load[i + 1]}"
done
loadgen="$here/build/bench/service/corvane_loadgen"
request="$here/build/tools/corvane-request"
fill="$here/build-windows/bench/wine/corvane_bench_fill.exe"
store="$here/build-windows/bench/wine/corvane_bench_store.exe"
for program in "$loadgen" "$request" "$ternwick" "$fill" "$store"; do
    [ -x "$program" ] || { echo "wine-load.sh: $program is missing: build both presets first" >&2; exit 1; }
done

export WINEPREFIX WINEDEBUG=-all
WINEPREFIX="$(mktemp -d /tmp/corvane-wine-load.XXXXXX)"
service=""
cleanup() {
    [ -z "$service" ] || kill "$service" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
"$here/scripts/wine-run.sh" "$fill" "$keys" "$port" </dev/null
"$here/scripts/wine-run.sh" "$ternwick" </dev/null 2>"$WINEPREFIX/ternwick.log" &
service=$!
for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.2
done

echo "== Ternwick.exe under Wine ($(basename "$ternwick"))"
"$loadgen" load --attach "$port" "${load[@]}"
stale=0
for ((i = 1; i <= ${VISIBILITY:-20}; i++)); do
    key="$(printf '%064x' $((i * 7919)))"
    "$here/scripts/wine-run.sh" "$store" key 00A0B0C0D0E0 "$key" </dev/null
    case "$("$request" get-key 127.0.0.1 "$port" 00A0B0C0D0E0 2>&1)" in *"$key"*) ;; *) stale=$((stale + 1)) ;; esac
    "$here/scripts/wine-run.sh" "$store" delete 00A0B0C0D0E0 </dev/null
    case "$("$request" get-key 127.0.0.1 "$port" 00A0B0C0D0E0 2>&1)" in *"no key registered"*) ;; *) stale=$((stale + 1)) ;; esac
done
echo "visibility: ${VISIBILITY:-20} registrations and deletions by another process, $stale answers not the store's"
echo "== the Linux Ternwick"
"$loadgen" load "${load[@]}"
