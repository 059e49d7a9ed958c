#!/usr/bin/env bash
# Runs a Windows program under the 64-bit Wine loader, in the Wine prefix of the build tree
# (WINEPREFIX, set up on first use) unless WINEPREFIX is given. The emulator of the windows
# preset: ctest and gtest_discover_tests run every test .exe through it.
set -euo pipefail
program="$1"
shift
if [ -z "${WINEPREFIX:-}" ]; then
    dir="$(cd "$(dirname "$program")" && pwd)"
    while [ "$dir" != / ] && [ ! -e "$dir/CMakeCache.txt" ]; do
        dir="$(dirname "$dir")"
    done
    [ "$dir" != / ] || { echo "wine-run.sh: $program is not in a build tree" >&2; exit 1; }
    export WINEPREFIX="$dir/wine-prefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -e "$WINEPREFIX/.setup-done" ]; then
    mkdir -p "$WINEPREFIX"
    # One set-up per prefix, however many tests start at once. Its settings (the dialog
    # font, a desktop with caption bars) are read when Wine's desktop starts, so the
    # wineserver of the set-up ends before any test runs. regedit takes them as UTF-16.
    settings="$(cd "$(dirname "$0")" && pwd)/wine-prefix.reg"
    flock "$WINEPREFIX/.setup.lock" bash -c '[ -e "$WINEPREFIX/.setup-done" ] && exit
        iconv -f UTF-8 -t UTF-16 "$1" > "$WINEPREFIX/.settings.reg" &&
        /usr/lib/wine/wine64 wineboot -i &&
        /usr/lib/wine/wine64 regedit /S "Z:${WINEPREFIX//\//\\}\\.settings.reg" &&
        wineserver -k; touch "$WINEPREFIX/.setup-done"' setup "$settings" </dev/null >/dev/null 2>&1
fi
exec /usr/lib/wine/wine64 "$program" "$@"
