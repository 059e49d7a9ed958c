#!/usr/bin/env bash
# Builds the Debian packages corvane-keyserver and corvane-console into BUILD/packages
# (BUILD defaults to build/, configured with the default preset and the console when it
# is not configured yet) and prints each package's path on standard output (the build's
# output goes to standard error). Needs dpkg-dev (dpkg-shlibdeps),
# which scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset default -DCORVANE_QT=ON >&2
fi
# Everything the components install (programs, man pages, changelogs) is built by "all".
cmake --build "$build" >&2
rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >&2
ls "$build"/packages/*.deb
