#!/usr/bin/env bash
# Sets up, builds and starts the key service Ternwick in the foreground on a local store
# in the work tree (<repo>/state), logging to this terminal. Stop it with Ctrl-C.
# The port is the store's PortNo (51056 on the first start).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/setup.sh
fi
cmake --preset default
cmake --build build --target Ternwick corvane-request

export CORVANE_STATE_DIR="$PWD/state"
echo "run-service.sh: state in $CORVANE_STATE_DIR; try: build/tools/corvane-request check 127.0.0.1 51056" >&2
exec build/service/Ternwick
