#!/usr/bin/env bash
# The main job: builds the tool and runs it against a controller. With no controller attached
# (no --port given) it starts the built-in virtual controller and talks to that.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target velmora-cli velmora-sim velmora_system_files
bin=build/release/bin

port="${1:-}"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

if [ -z "$port" ]; then
    port=/tmp/velmora-sim-$$
    "$bin/velmora-sim" --id 1 --baud 38400 --version 1.10 --link "$port" >/dev/null &
    sim_pid=$!
    for _ in $(seq 50); do
        [ -e "$port" ] && break
        sleep 0.1
    done
    echo "== virtual controller started on $port (station 1, 38400 bit/s)"
fi

cli() {
    echo "\$ velmora-cli $*"
    "$bin/velmora-cli" --port "$port" "$@"
}

echo "== serial ports present"
"$bin/velmora-cli" ports || true
echo "== find the controller"
cli --id 1 --baud 38400 echo
echo "== its software version"
cli --id 1 --baud 38400 version
echo "== the mode register"
cli --id 1 --baud 38400 read 0x000C 1
echo "== write two registers and read them back"
cli --id 1 --baud 38400 write 0x0010 0x1234 4660
cli --id 1 --baud 38400 read 0x0010 2
