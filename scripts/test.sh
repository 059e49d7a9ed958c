#!/usr/bin/env bash
# Sets up, builds and runs every test. With an argument, uses that CMake preset
# (default, asan, tsan) instead of the default build.
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-default}"
case "$preset" in
    default) build=build ;;
    *) build="build-$preset" ;;
esac

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/setup.sh
fi
# CI builds the console too: without Qt 6 the configure step fails instead of skipping it.
cmake --preset "$preset" -DCORVANE_QT=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
