#!/usr/bin/env bash
# The main job: builds the tool and runs it.
#   run.sh            with a display: the desktop program, a virtual controller ready in its
#                     port list; without one: the headless demo against a virtual controller
#   run.sh --demo     the headless demo even with a display
#   run.sh PORT       the headless demo against a real controller on PORT (station 1, 38400)
set -euo pipefail
cd "$(dirname "$0")/.."

demo=0
if [ "${1:-}" = "--demo" ]; then
    demo=1
    shift
fi
port="${1:-}"
if [ -z "$port" ] && [ $demo -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    demo=1
fi

bash scripts/deps.sh
cmake --preset release >/dev/null
targets=(velmora-cli velmora-sim velmora_system_files velmora_sample_data)
if [ $demo -eq 0 ] && [ -z "$port" ]; then
    targets+=(velmora)
fi
cmake --build --preset release --target "${targets[@]}"
bin=build/release/bin

if [ $demo -eq 0 ] && [ -z "$port" ]; then
    # The shipped settings name /tmp/velmora-sim as the port: the virtual controller's link.
    "$bin/velmora-sim" --id 1 --baud 38400 --version 1.10 --link /tmp/velmora-sim >/dev/null &
    gui_sim=$!
    trap 'kill $gui_sim 2>/dev/null || true' EXIT
    echo "== virtual controller on /tmp/velmora-sim (station 1, 38400 bit/s); starting velmora"
    "$bin/velmora"
    exit 0
fi

sim_pid=""
backup_file=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    if [ -n "$backup_file" ]; then
        rm -f "$backup_file"
    fi
}
trap cleanup EXIT

if [ -z "$port" ]; then
    port=/tmp/velmora-sim-$$
    "$bin/velmora-sim" --id 1 --baud 38400 --version 1.10 --turnaround 1 --link "$port" \
        >/dev/null &
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

echo "== search for the controller: every station ID at every bit rate"
cli search
# Captured first: head may close the pipe early, which pipefail would count as a failure.
table=$("$bin/velmora-cli" actuators)
echo "== the actuator table under System/Data: $(wc -l <<<"$table") records, the first ten"
echo "\$ velmora-cli actuators | head"
head -n 10 <<<"$table"
echo "== write the actuator VMA10-06I (SV 1.10, NPN): parameters and step data, verified"
cli --id 1 --baud 38400 write-actuator --part-no VMA10-06I --controller VC-1A --stroke 50 --sv 1.10 --io NPN --contents both
echo "== the mode register after the write (low byte back to 1) and the date code"
cli --id 1 --baud 38400 read 0x000C 1
cli --id 1 --baud 38400 read 0x00EF 1
backup_file=$(mktemp /tmp/velmora-backup-XXXXXX.bkp)
echo "== back the controller up into $backup_file"
cli --id 1 --baud 38400 backup "$backup_file"
backup_text=$("$bin/velmora-cli" unpack "$backup_file" -)
echo "   its first lines ($(wc -l <<<"$backup_text") in all):"
head -n 6 <<<"$backup_text" | tr -d '\r' | sed 's/^/    /'
echo "== restore that backup into the controller: parameters and step data, verified"
cli --id 1 --baud 38400 restore "$backup_file" --contents both
echo "== done"
