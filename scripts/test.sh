#!/usr/bin/env bash
# Sets up, builds and runs every test. With an argument, uses that CMake preset
# (default, asan, tsan, windows) instead of the default build. windows cross-builds the
# Windows programs with mingw-w64 and runs their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-default}"
case "$preset" in
    default) build=build ;;
    *) build="build-$preset" ;;
esac

if [ "$preset" = windows ]; then
    if [ "$(id -u)" -eq 0 ]; then
        bash scripts/setup.sh
        bash scripts/setup-windows.sh
    fi
    cmake --preset windows
    cmake --build "$build"
    # Wine's helper processes (services, winedevice, ...) would inherit ctest's output pipe
    # if the first test started them, and ctest would wait for them: start them now, in a
    # wineserver of the build's own prefix, and end it afterwards.
    export WINEPREFIX="$PWD/$build/wine-prefix" WINEDEBUG=-all
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 </dev/null
    ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
    exit
fi

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/setup.sh
fi
# CI builds the console too: without Qt 6 the configure step fails instead of skipping it.
cmake --preset "$preset" -DCORVANE_QT=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
