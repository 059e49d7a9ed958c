#!/usr/bin/env bash
# Sets up, builds and runs every test. With an argument, uses that CMake preset
# (default, asan, tsan, windows) instead of the default build. The default build also
# checks the format (clang-format) and runs every fuzz target for a fixed number of runs.
# windows cross-builds the Windows programs with mingw-w64 and runs their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-default}"

# Runs the build's tests. A test that fails is run once more: on a loaded two-core machine
# a test that starts daemons beside others may meet a race of its own harness. The
# failure still shows in the output, and the names of the tests that failed at any run
# are listed at the end, whether their second run passed or not.
run_tests() {
    local log="$1/ctest-output.log"
    local status=0
    ctest --test-dir "$1" --output-on-failure -j2 --timeout 900 --repeat until-pass:2 2>&1 | tee "$log" || status=$?
    if grep -qE '\*\*\*(Failed|Timeout|Exception)' "$log"; then
        echo "Tests that failed at a run (see their output above):"
        grep -E '\*\*\*(Failed|Timeout|Exception)' "$log"
    fi
    return "$status"
}
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
    # The dialogs and message boxes need an X server: one without a screen, for this run.
    xvfb=""
    if [ -z "${DISPLAY:-}" ]; then
        display=90
        while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
        Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        export DISPLAY=":$display"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    fi
    trap 'wineserver -k >/dev/null 2>&1 || true; [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true' EXIT
    # Wine lists a drive letter (GetLogicalDrives) only if it was mapped when its services
    # started: map the letters the tests use first (their set-up maps them again, to the same
    # folders), then start the services anew.
    bash scripts/wine-map-drive.sh "$build" q "$PWD/$build/tests/lockkey/drive-q"
    bash scripts/wine-map-drive.sh "$build" r "$PWD/$build/tests/console/drive-r"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 </dev/null
    run_tests "$build"
    # The installer, as CI delivers it: build-windows/packages/corvane-keyserver-*-x64.msi.
    bash scripts/package-windows.sh "$build"
    exit
fi

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/setup.sh
fi
# CI builds the console too: without Qt 6 the configure step fails instead of skipping it.
cmake --preset "$preset" -DCORVANE_QT=ON
if [ "$preset" = default ]; then
    cmake --build "$build" --target format-check
fi
cmake --build "$build"
run_tests "$build"
if [ "$preset" = default ]; then
    # Every fuzz target for a fixed number of runs (clang, libFuzzer with ASan and UBSan).
    cmake --preset fuzz
    cmake --build build-fuzz --target fuzzers
    ctest --test-dir build-fuzz --output-on-failure -j2
fi
