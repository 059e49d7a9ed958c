#!/usr/bin/env bash
# Ternwick.exe as a Windows service under Wine, administered by corvane-admin.exe and asked
# by the Linux request tool; keys come from a lock-key stick (a drive letter mapped to a
# folder, as Wine has no USB storage), from a Linux key service (fetched) and from a sealed
# export made by the Linux corvane-admin (imported), and an export made by corvane-admin.exe
# is served by the Linux key service.
#   service-end-to-end.sh TERNWICK_EXE ADMIN_EXE CONTROL_PROBE_EXE LINUX_BUILD PREFIX
# Runs in a Wine prefix of its own (PREFIX), whose registry is the service's store; its
# wineserver and the Linux key service are ended at the end, whatever happened.
set -euo pipefail
ternwick="$1" admin="$2" probe="$3" linux="$4"
export WINEPREFIX="$5" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
here="$(cd "$(dirname "$0")/../.." && pwd)"
request="$linux/tools/corvane-request"
linux_admin="$linux/admin/corvane-admin"
linux_service="$linux/service/Ternwick"

# shellcheck source=end-to-end-helpers.sh
source "$here/tests/windows/end-to-end-helpers.sh"
require_linux_programs "$request" "$linux_admin" "$linux_service"
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
wineserver -p 2>/dev/null || true # already running from the set-up: the hold below keeps it
fifo="$(mktemp -u)"
mkfifo "$fifo"
exec 3<>"$fifo"
rm -f "$fifo"
"$wine" cmd <&3 >/dev/null 2>&1 &
hold=$!
"$wine" reg delete 'HKLM\SOFTWARE\Quillon' /f >/dev/null 2>&1 || true
"$wine" sc delete Ternwick >/dev/null 2>&1 || true

# The stick's key; the Linux key service, on a store of its own, with two keys and a
# cooperation password.
id=00A0B0C0D0E0 key=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
id2=00A0B0C0D0E1 key2=f0e1d2c3b4a5968778695a4b3c2d1e0f00112233445566778899aabbccddeeff
id3=00A0B0C0D0E2 key3=5a5a5a5a0102030405060708090a0b0c0d0e0f101112131415161718a5a5a5a5
# A folder on no disk binds the key to the ID alone: each byte plus the ID's byte there.
mkdir -p "$stick/dont_delete_${id,,}"
python3 -c 'import sys; k = bytes.fromhex(sys.argv[1]); i = sys.argv[2].encode()
sys.stdout.buffer.write(bytes((b + i[n % len(i)]) & 0xFF for n, b in enumerate(k)))' "$key" "$id" \
    >"$stick/dont_delete_${id,,}/${id,,}"
coop=coop-pass
export CORVANE_STATE_DIR="$work/linux-state"
mkdir -m 700 "$CORVANE_STATE_DIR"
linux_port="$(free_port)"
"$linux_admin" port "$linux_port" >/dev/null || fail "the Linux corvane-admin cannot set the port"
printf '%s\n' "$coop" | "$linux_admin" password set --stdin >/dev/null || fail "the Linux password"
"$linux_service" </dev/null >/dev/null 2>"$work/linux.log" &
linux_pid=$!
answers 127.0.0.1 "$linux_port" >/dev/null || fail "the Linux key service does not answer: $(cat "$work/linux.log")"
printf '%s\n' "$coop" | "$request" store-keys 127.0.0.1 "$linux_port" - "$id2=$key2" "$id3=$key3" >/dev/null ||
    fail "the keys cannot be stored in the Linux key service"

port="$(free_port)"
out="$(admin "" port "$port")" || fail "corvane-admin.exe port $port: $out"
[ "$out" = "Port set to $port." ] || fail "corvane-admin.exe port $port said: $out"

"$wine" sc create Ternwick binPath= "$(winepath -w "$ternwick")" >/dev/null || fail "sc create"
"$wine" sc start Ternwick >/dev/null || fail "sc start"
state="$(win "$probe" state)"
[ "${state%% *}" = 4 ] || fail "the service reports state $state after sc start, not running (4)"
out="$(admin "" status)" || fail "corvane-admin.exe status: $out"
case "$out" in "Service:       running"*"Port:          $port, answers"*"HKLM\\SOFTWARE\\"*) ;;
*) fail "corvane-admin.exe status said: $out" ;; esac

for host in 127.0.0.1 ::1; do
    [ "$(answers "$host" "$port")" = "status 0 0" ] || fail "CHECK on $host port $port"
done

out="$(answers 127.0.0.1 "$port" get-key "$id" || true)"
case "$out" in *"no key registered"*) ;; *) fail "GET_KEY before the registration: $out" ;; esac
# The registration, from the stick; another key fetched from the Linux key service with its
# cooperation password.
out="$(admin "" sticks)" || fail "corvane-admin.exe sticks: $out"
case "$out" in "S:\\$id"$'\t'"$id"$'\t'*$'\tready') ;; *) fail "corvane-admin.exe sticks said: $out" ;; esac
out="$(admin "" register "S:\\$id")" || fail "corvane-admin.exe register: $out"
[ "$out" = "Registered $id from S:\\$id." ] || fail "register said: $out"
out="$(answers ::1 "$port" get-key "$id")" || fail "GET_KEY after the registration: $out"
case "$out" in *"key    $key"*) ;; *) fail "GET_KEY answered $out, not the key $key" ;; esac
out="$(admin "$coop"$'\n' fetch --stdin "127.0.0.1:$linux_port" "$id2")" || fail "corvane-admin.exe fetch: $out"
[ "$out" = "1 of 1 key fetched from 127.0.0.1:$linux_port and registered." ] || fail "fetch said: $out"
out="$(admin "" list)"
[ "$out" = "$id"$'\n'"$id2" ] || fail "corvane-admin.exe list after the fetch: $out"
out="$(answers 127.0.0.1 "$port" get-key "$id2")" || fail "GET_KEY of the fetched key: $out"
case "$out" in *"key    $key2"*) ;; *) fail "GET_KEY $id2 answered $out, not the key $key2" ;; esac

moved="$(free_port)"
out="$(admin "" port "$moved")" || fail "corvane-admin.exe port $moved: $out"
[ "$(answers 127.0.0.1 "$moved")" = "status 0 0" ] || fail "no listener on the new port $moved"
if timeout 10 "$request" check 127.0.0.1 "$port" >/dev/null 2>&1; then
    fail "the old port $port still answers"
fi

# A sealed export of the Linux store (two keys, one of them fetched already, another port)
# imported on Windows: the service moves to the port and serves the keys sealed on Linux,
# byte for byte, and keeps the stick's.
kill "$linux_pid"
wait "$linux_pid" 2>/dev/null || true
linux_pid=""
exported_port="$(free_port)"
"$linux_admin" port "$exported_port" >/dev/null || fail "the Linux port change"
passphrase="a passphrase for both systems"
printf '%s\n' "$passphrase" | "$linux_admin" export --stdin "$work/keys.cvk" >/dev/null ||
    fail "the Linux corvane-admin cannot export"
out="$(admin "$passphrase"$'\n' import --stdin --yes "$(winepath -w "$work/keys.cvk")")" ||
    fail "corvane-admin.exe import: $out"
case "$out" in *"Imported 2 registrations, port $exported_port, cooperation permitted (1 replaced)."*) ;;
*) fail "import said: $out" ;; esac
for pair in "$id=$key" "$id2=$key2" "$id3=$key3"; do
    out="$(answers 127.0.0.1 "$exported_port" get-key "${pair%=*}")" || fail "GET_KEY after the import: $out"
    case "$out" in *"key    ${pair#*=}"*) ;; *) fail "GET_KEY ${pair%=*} after the import answered $out" ;; esac
done

state="$(win "$probe" pause)"
[ "${state%% *}" = 7 ] || fail "pause: state $state, not paused (7)"
state="$(win "$probe" continue)"
[ "${state%% *}" = 4 ] || fail "continue: state $state, not running (4)"
[ "$(answers 127.0.0.1 "$exported_port")" = "status 0 0" ] || fail "CHECK after continue"

"$wine" sc stop Ternwick >/dev/null || fail "sc stop"
state="$(win "$probe" state)"
[ "${state%% *}" = 1 ] || fail "sc stop: state $state, not stopped (1)"
if timeout 10 "$request" check 127.0.0.1 "$exported_port" >/dev/null 2>&1; then
    fail "a stopped service still answers"
fi

# And back: an export of the Windows store imported on Linux, served there byte for byte.
# Its name is not ASCII: the program takes its arguments and names its files in UTF-16.
back="$work/鍵の控え-ü.cvk"
out="$(admin "$passphrase"$'\n' export --stdin "$(winepath -w "$back")")" || fail "corvane-admin.exe export: $out"
case "$out" in "Exported 3 registrations, port $exported_port, cooperation permitted to "*"鍵の控え-ü.cvk."*) ;;
*) fail "export said: $out" ;; esac
export CORVANE_STATE_DIR="$work/linux-back"
mkdir -m 700 "$CORVANE_STATE_DIR"
out="$(printf '%s\n' "$passphrase" | "$linux_admin" import --stdin --yes "$back" 2>&1)" ||
    fail "the Linux corvane-admin cannot import the Windows export: $out"
"$linux_service" </dev/null >/dev/null 2>"$work/linux.log" &
linux_pid=$!
for pair in "$id=$key" "$id2=$key2" "$id3=$key3"; do
    out="$(answers 127.0.0.1 "$exported_port" get-key "${pair%=*}")" || fail "Linux GET_KEY of the Windows export: $out"
    case "$out" in *"key    ${pair#*=}"*) ;; *) fail "Linux GET_KEY ${pair%=*} answered $out" ;; esac
done
echo "Ternwick.exe under Wine's service manager with corvane-admin.exe: CHECK, a stick's and a fetched key, port change," \
    "a Linux export imported and served, pause, continue and stop as expected; its export served on Linux"
