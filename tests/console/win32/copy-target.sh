#!/usr/bin/env bash
# The Linux key service that the Windows console's tests copy keys to, on a store of its own:
#   copy-target.sh start LINUX_BUILD DIR PORT PASSWORD   listens on PORT (or the first free
#                                                        port above it) with the cooperation
#                                                        password; DIR/ready holds the port
#                                                        once it answers
#   copy-target.sh stop LINUX_BUILD DIR                  stops it
# Without a Linux build (the default preset's) it starts nothing and says so; the tests then
# copy only to a port where nothing listens.
set -euo pipefail
action="$1"
linux="$2"
dir="$3"
stop() {
    if [ -e "$dir/pid" ]; then
        kill "$(cat "$dir/pid")" 2>/dev/null || true
        rm -f "$dir/pid"
    fi
}
case "$action" in
start)
    port="$4"
    password="$5"
    stop
    rm -rf "$dir"
    mkdir -p "$dir/state"
    chmod 700 "$dir/state"
    for program in service/Ternwick admin/corvane-admin tools/corvane-request; do
        if [ ! -x "$linux/$program" ]; then
            echo "no $linux/$program: the copy to a Linux key service is not tried"
            exit 0
        fi
    done
    export CORVANE_STATE_DIR="$dir/state"
    # Another run on this machine may hold the port: the first one free above it will do.
    for _ in $(seq 20); do
        "$linux/admin/corvane-admin" port "$port" >/dev/null 2>&1 && break
        port=$((port + 2))
    done
    printf '%s\n' "$password" | "$linux/admin/corvane-admin" password set --stdin >/dev/null
    "$linux/service/Ternwick" </dev/null >/dev/null 2>"$dir/log" &
    echo $! > "$dir/pid"
    for _ in $(seq 100); do
        if "$linux/tools/corvane-request" check 127.0.0.1 "$port" >/dev/null 2>&1; then
            echo "$port" > "$dir/ready"
            exit 0
        fi
        sleep 0.1
    done
    echo "the Linux key service did not answer on port $port:" >&2
    cat "$dir/log" >&2
    stop
    exit 1
    ;;
stop)
    stop
    ;;
esac
