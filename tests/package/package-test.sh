#!/usr/bin/env bash
# The Debian packages end to end: built by scripts/package.sh, checked by lintian (no
# error), then in a throwaway systemd (tests/control/systemd-sandbox.sh): installed with
# apt-get, "Oxlade install", a unit gets its key, "Oxlade uninstall" keeps a copy of the
# keys, "apt-get purge" leaves no file behind but that copy. Exit 77 (skipped) where the
# sandbox cannot run.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "${1:-build}" && pwd)

fail() { echo "package test: $*" >&2; exit 1; }

mapfile -t debs < <(bash scripts/package.sh "$build")
[ "${#debs[@]}" -eq 2 ] || fail "expected two packages, got: ${debs[*]}"
for deb in "${debs[@]}"; do
    echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
done
command -v lintian >/dev/null || fail "lintian is missing: run scripts/setup.sh"
lintian --fail-on error "${debs[@]}" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "${debs[@]}" >/dev/null 2>&1 || fail "lintian reports errors"

export SANDBOX_DIR SANDBOX_STAGE
SANDBOX_DIR=$(mktemp -d /tmp/corvane-package-XXXXXX)
SANDBOX_STAGE=$SANDBOX_DIR/stage
mkdir "$SANDBOX_STAGE"
cp "${debs[@]}" "$SANDBOX_STAGE/"
sandbox=tests/control/systemd-sandbox.sh
cleanup() {
    bash "$sandbox" stop >/dev/null 2>&1 || true
    rm -rf "$SANDBOX_DIR"
}
trap cleanup EXIT
status=0
bash "$sandbox" start 2>"$SANDBOX_DIR/boot.err" || status=$?
if [ "$status" -eq 77 ]; then
    echo "SKIPPED: no systemd sandbox on this machine: $(cat "$SANDBOX_DIR/boot.err")"
    exit 77
fi
[ "$status" -eq 0 ] || fail "the systemd sandbox did not boot: $(cat "$SANDBOX_DIR/boot.err")"
inside() { bash "$sandbox" exec "$@"; }

# Every file where a package or the programs may write (the sandbox sees the rest of this
# machine live), but the package manager's own records and caches, logs and the journal.
files() {
    inside find /usr /etc /var -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache \
        -o -path /var/log -o -path /var/lib/systemd -o -path /var/tmp \) -prune -o -print | sort
}
files > "$SANDBOX_DIR/before"

inside sh -c 'apt-get install -y /opt/corvane/*.deb >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }' ||
    fail "apt-get install failed"
[ "$(inside systemctl list-unit-files --no-legend Ternwick.service)" = "" ] ||
    fail "installing the package installed a unit"
inside test ! -e /var/lib/corvane-keyserver || fail "installing the package created the key store"
inside Halvard --version | grep -q '^Halvard (Corvane Key Server) ' || fail "Halvard --version"

inside Oxlade install || fail "Oxlade install"
[ "$(inside Oxlade status)" = "The service is running." ] || fail "the service does not run"
inside systemd-analyze security --threshold=25 Ternwick >/dev/null || fail "exposure above 2.5"
key=00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff
inside sh -c 'echo coop-secret | corvane-admin password set --stdin' >/dev/null
inside sh -c "echo coop-secret | corvane-request store-keys 127.0.0.1 51056 - 00A0B0C0D0E0=$key" >/dev/null ||
    fail "storing a key"
inside corvane-request get-key 127.0.0.1 51056 00A0B0C0D0E0 | grep -q "^key    $key\$" || fail "the unit got no key"

# The package keeps the service and its keys from being stranded.
inside apt-get remove -y corvane-keyserver >/dev/null 2>&1 &&
    fail "the package was removed while its service was installed"
inside test -x /usr/sbin/Ternwick || fail "the refused removal took the service's program"
kept=$(inside Oxlade uninstall | sed -n 's/^The keys of 1 registration were kept in \(\/[^ ]*\) .*/\1/p')
[ -n "$kept" ] || fail "Oxlade uninstall reported no copy of the keys"
inside sh -c 'apt-get purge -y corvane-keyserver >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }' ||
    fail "apt-get purge failed"

files > "$SANDBOX_DIR/after"
inside test ! -e /etc/systemd/system/Ternwick.service || fail "the unit is left"
left=$(comm -13 "$SANDBOX_DIR/before" "$SANDBOX_DIR/after")
[ "$left" = "$(printf '/var/lib/corvane-keyserver\n%s' "$kept")" ] || fail "purge left other files: $left"
gone=$(comm -23 "$SANDBOX_DIR/before" "$SANDBOX_DIR/after")
[ -z "$gone" ] || fail "files gone that were there before: $gone"
echo "installed, served a key, uninstalled with $kept kept, purged: nothing else left"
