#!/usr/bin/env bash
# The Windows installer's whole life under Wine's msiexec, in a Wine prefix of its own:
# two builds of the package (the previous version and the next, both signed with a
# throwaway certificate) made by scripts/package-windows.sh; the tables read with msiinfo;
# a silent install that starts the service, which serves a key registered with
# corvane-admin.exe; a silent upgrade that restarts the service on the new program with the
# same keys; a silent removal that takes the service, the programs and the firewall opening
# and keeps the key store; a reinstall that serves the kept keys again.
#   msi-end-to-end.sh BUILD ADMIN_EXE CONTROL_PROBE_EXE LINUX_BUILD WORK
# Needs the Linux request tool of the default build (skipped without it, and says why).
set -euo pipefail
build="$1" admin="$2" probe="$3" linux="$4" work="$5"
here="$(cd "$(dirname "$0")/../.." && pwd)"
request="$linux/tools/corvane-request"
wine=/usr/lib/wine/wine64
# shellcheck source=end-to-end-helpers.sh
source "$here/tests/windows/end-to-end-helpers.sh"
require_linux_programs "$request"
rm -rf "$work"
mkdir -p "$work/stick"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
answers() {
    local out=""
    for _ in $(seq 1 50); do
        if out="$(timeout 10 "$request" "$@" 2>&1)"; then
            echo "$out"
            return 0
        fi
        sleep 0.2
    done
    echo "$out"
    return 1
}
# msiexec silently, with its log in $work/NAME.log.
msiexec() {
    local name="$1"
    shift
    local rc=0
    "$wine" msiexec "$@" /qn /l*v "C:\\$name.log" </dev/null >/dev/null 2>&1 || rc=$?
    tr -d '\r' <"$WINEPREFIX/drive_c/$name.log" >"$work/$name.log" 2>/dev/null || true
    return "$rc"
}
state() { local s; s="$(win "$probe" state 2>&1)" || true; echo "${s%% *}"; }
hold=""
cleanup() {
    [ -z "$hold" ] || kill "$hold" 2>/dev/null || true
    exec 3>&- || true
    wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

# Two builds, signed with a certificate made for this run and verified by the script.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test signing" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || fail "no test certificate"
base="$(sed -n 's/^project(CorvaneKeyServer VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")"
old="$(bash "$here/scripts/package-windows.sh" --version "$base.0" --sign "$work/cert.pem" "$work/key.pem" \
    --out "$work/old" "$build" 2>"$work/package.log")" || fail "package-windows.sh: $(tail -5 "$work/package.log")"
new="$(bash "$here/scripts/package-windows.sh" --version "$base.1" --sign "$work/cert.pem" "$work/key.pem" \
    --out "$work/new" "$build" 2>"$work/package.log")" || fail "package-windows.sh: $(tail -5 "$work/package.log")"
rebuilt="$(bash "$here/scripts/package-windows.sh" --version "$base.1" --out "$work/rebuilt" "$build" 2>"$work/package.log")" ||
    fail "package-windows.sh: $(tail -5 "$work/package.log")"
[ "$(basename "$new")" = "corvane-keyserver-$base.1-x64.msi" ] || fail "the package is named $(basename "$new")"
osslsigncode verify -CAfile "$work/cert.pem" "$new" >/dev/null 2>&1 || fail "the MSI's signature does not verify"

# The tables: the service as Oxlade install creates it, controlled by msiexec, and the
# firewall lines Oxlade runs on Windows Vista and later.
tables="$(for t in ServiceInstall ServiceControl CustomAction Shortcut Property; do msiinfo export "$new" "$t"; done)"
for row in $'Ternwick\tTernwick\tQuillon Corvane Key Service\t16\t2\t1\t' \
    $'Ternwick\tTernwick\t163\t\t1\tService' \
    'advfirewall firewall add rule name="Ternwick" dir=in action=allow program="[INSTALLDIR]Ternwick.exe" protocol=tcp' \
    'advfirewall firewall add rule name="Ternwick" dir=in action=allow program="[INSTALLDIR]Ternwick.exe" protocol=udp' \
    'advfirewall firewall delete rule name="Ternwick"' \
    'failure Ternwick reset= 0 actions= restart/1000' \
    $'ALLUSERS\t1'; do
    grep -qF -- "$row" <<<"$tables" || fail "no table row '$row' in: $tables"
done
grep -q 'Quillon Corvane Key Service Ver\.' <<<"$tables" || fail "no service description"

# A fresh prefix, settled, with the stick's drive S: mapped before Wine's services start;
# one process holds the prefix's services up for the whole run.
win cmd /c exit >/dev/null 2>&1
ln -sfn "$work/stick" "$WINEPREFIX/dosdevices/s:"
wineserver -k >/dev/null 2>&1 || true
wineserver -w
mkfifo "$work/hold"
exec 3<>"$work/hold"
rm -f "$work/hold"
"$wine" cmd <&3 >/dev/null 2>&1 &
hold=$!
win cmd /c exit >/dev/null 2>&1

port="$(free_port)"
out="$(admin "" port "$port")" || fail "corvane-admin.exe port $port: $out"
[ "$out" = "Port set to $port." ] || fail "corvane-admin.exe port $port said: $out"

# Install.
msiexec install /i "$(winepath -w "$old")" || msiexec install /i "$(winepath -w "$old")" ||
    fail "msiexec /i the previous build: $(tail -20 "$work/install.log")"
folder="$WINEPREFIX/drive_c/Program Files/Corvane Key Server"
for file in Ternwick.exe Oxlade.exe Halvard.exe corvane-admin.exe corvane-request.exe README.txt; do
    [ -f "$folder/$file" ] || fail "$file was not installed"
done
grep -q "Ternwick" "$folder/README.txt" || fail "README.txt holds no manual"
[ -n "$(find "$WINEPREFIX/drive_c" -name 'Halvard (Corvane Key Server).lnk' | head -n 1)" ] ||
    fail "no Start-menu entry for Halvard"
[ "$(state)" = 4 ] || fail "the service is not running after the install (state $(state))"
config="$("$wine" reg query 'HKLM\System\CurrentControlSet\Services\Ternwick' 2>&1 | tr -d '\r')"
grep -q 'Start.*0x2$' <<<"$config" || fail "the service does not start automatically: $config"
grep -qF 'C:\Program Files\Corvane Key Server\Ternwick.exe' <<<"$config" || fail "the service's program: $config"
# Wine's netsh and sc failure change nothing: that the actions ran is what can be seen.
for action in SetFailureActions OpenFirewallTcp OpenFirewallUdp; do
    grep -q "Action ended .*$action. Return value 1" "$work/install.log" || fail "$action did not run"
done
[ "$(answers check 127.0.0.1 "$port")" = "status 0 0" ] || fail "CHECK after the install"

# A key registered with corvane-admin.exe from the stick.
id=00A0B0C0D0E0 key=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
mkdir -p "$work/stick/dont_delete_${id,,}"
python3 -c 'import sys; k = bytes.fromhex(sys.argv[1]); i = sys.argv[2].encode()
sys.stdout.buffer.write(bytes((b + i[n % len(i)]) & 0xFF for n, b in enumerate(k)))' "$key" "$id" \
    >"$work/stick/dont_delete_${id,,}/${id,,}"
out="$(admin "" register "S:\\$id")" || fail "corvane-admin.exe register: $out"
[ "$out" = "Registered $id from S:\\$id." ] || fail "register said: $out"
served() {
    local out
    out="$(answers get-key 127.0.0.1 "$port" "$id")" || fail "GET_KEY $1: $out"
    case "$out" in *"key    $key"*) ;; *) fail "GET_KEY $1 answered $out" ;; esac
}
served "after the install"

# Upgrade: the new build replaces the old one, and the service runs the new program.
log="$WINEPREFIX/drive_c/ProgramData/Quillon/CorvaneKeyServer/Ternwick.log"
starts="$(grep -c 'Ternwick starting' "$log" || true)"
msiexec upgrade /i "$(winepath -w "$new")" || fail "msiexec upgrade: $(tail -20 "$work/upgrade.log")"
[ "$(state)" = 4 ] || fail "the service is not running after the upgrade (state $(state))"
[ "$(grep -c 'Ternwick starting' "$log")" -gt "$starts" ] || fail "the service was not restarted by the upgrade"
installed() {
    "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        grep -c 'DisplayName.*Corvane Key Server' || true
}
[ "$(installed)" = 1 ] || fail "$(installed) products installed after the upgrade, not 1"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    grep -q "DisplayVersion.*$base.1" || fail "the new version is not the installed one"
served "after the upgrade"
# A rebuild of the same version (a product code of its own) replaces it too.
msiexec rebuilt /i "$(winepath -w "$rebuilt")" || fail "msiexec of a rebuild: $(tail -20 "$work/rebuilt.log")"
[ "$(installed)" = 1 ] || fail "$(installed) products installed after a rebuild of the same version, not 1"
served "after the rebuild's install"

# Removal: service, programs and firewall opening gone, the key store kept.
msiexec remove /x "$(winepath -w "$rebuilt")" || fail "msiexec /x: $(tail -20 "$work/remove.log")"
"$wine" sc query Ternwick >/dev/null 2>&1 && fail "the service is still installed after the removal"
[ ! -e "$folder/Ternwick.exe" ] || fail "Ternwick.exe is still there after the removal"
grep -q "Action ended .*CloseAdvFirewall. Return value 1" "$work/remove.log" || fail "the firewall rules were not removed"
if timeout 10 "$request" check 127.0.0.1 "$port" >/dev/null 2>&1; then
    fail "a removed service still answers"
fi
"$wine" reg query 'HKLM\SOFTWARE\Quillon\CorvaneKeyServer\KeyList' 2>/dev/null | grep -q "$id" ||
    fail "the removal took the keys"

# Reinstall: the kept keys are served again.
msiexec reinstall /i "$(winepath -w "$new")" || fail "msiexec reinstall: $(tail -20 "$work/reinstall.log")"
served "after the reinstall"
msiexec cleanup /x "$(winepath -w "$new")" || fail "msiexec /x after the reinstall"
echo "MSI: signed, tables as Oxlade installs the service; install, key served, upgrade (and a same-version rebuild) on the new program with the" \
    "same keys, removal keeping the key store, reinstall serving it again"
