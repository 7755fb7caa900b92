#!/usr/bin/env bash
# The main job: builds the tool and runs it.
#   run.sh                 with a display: the desktop program, a virtual controller ready in
#                          its port list; without one: the headless demo
#   run.sh --demo          the headless demo even with a display. It writes only to a virtual
#                          controller of its own and works on a throw-away copy of the program
#                          folder, so the saved port and language stay as they are.
#   run.sh PORT [ID [BAUD]]
#                          read-only against a real controller on PORT (station ID, default 1,
#                          at BAUD, default 38400): echo, version, a few registers and a backup
#                          into a new file in the current folder, which is kept. Nothing is
#                          written to the controller.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")/.."

demo=0
if [ "${1:-}" = "--demo" ]; then
    demo=1
    shift
fi
port="${1:-}"
station="${2:-1}"
baud="${3:-38400}"
if [ -n "$port" ] && [ $demo -eq 1 ]; then
    echo "run.sh: --demo runs on its own virtual controller and takes no PORT" >&2
    exit 2
fi
if [ -z "$port" ] && [ $demo -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    demo=1
fi

bash scripts/deps.sh
cmake --preset release >/dev/null
# The language files make "velmora-cli language" work in the build tree afterwards.
targets=(velmora-cli velmora-sim velmora_system_files velmora_sample_data velmora_language_files)
if [ $demo -eq 0 ] && [ -z "$port" ]; then
    targets+=(velmora)
fi
cmake --build --preset release --target "${targets[@]}"
bin=build/release/bin

if [ -n "$port" ]; then
    # A real controller: read only. A write here would replace the controller's setup.
    backup_file="$start_dir/velmora-backup-$(date +%Y%m%d-%H%M%S).bkp"
    if [ -e "$backup_file" ]; then
        echo "run.sh: $backup_file exists already; try again in a second" >&2
        exit 1
    fi
    cli() {
        echo "\$ velmora-cli --port $port --id $station --baud $baud $*"
        "$bin/velmora-cli" --port "$port" --id "$station" --baud "$baud" "$@"
    }
    echo "== read-only: nothing is written to the controller on $port"
    echo "== find the controller"
    cli echo
    echo "== its software version"
    cli version
    echo "== the mode register, two parameter registers and the date code"
    cli read 0x000C 1
    cli read 0x0010 2
    cli read 0x00EF 1
    echo "== back the controller up"
    cli backup "$backup_file"
    echo "== done; the backup is kept in $backup_file"
    exit 0
fi

if [ $demo -eq 0 ]; then
    # The shipped settings name /tmp/velmora-sim as the port: the virtual controller's link.
    "$bin/velmora-sim" --id 1 --baud 38400 --version 1.10 --link /tmp/velmora-sim >/dev/null &
    gui_sim=$!
    trap 'kill $gui_sim 2>/dev/null || true' EXIT
    echo "== virtual controller on /tmp/velmora-sim (station 1, 38400 bit/s); starting velmora"
    "$bin/velmora"
    exit 0
fi

# The demo: a virtual controller and a throw-away program folder. The search stores the port
# it found in the settings file; the pty's path must not become the user's saved port.
sim_pid=""
demo_root=$(mktemp -d /tmp/velmora-demo-XXXXXX)
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$demo_root"
}
trap cleanup EXIT
cp -R "$bin/System" "$demo_root/System"

port=$demo_root/velmora-sim
"$bin/velmora-sim" --id 1 --baud 38400 --version 1.10 --turnaround 1 --link "$port" \
    >/dev/null &
sim_pid=$!
for _ in $(seq 100); do
    [ -e "$port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -e "$port" ]; then
    echo "run.sh: the virtual controller did not start" >&2
    exit 1
fi
echo "== virtual controller started on $port (station 1, 38400 bit/s)"
echo "== program folder: a throw-away copy in $demo_root"

cli() {
    echo "\$ velmora-cli $*"
    "$bin/velmora-cli" --root "$demo_root" --port "$port" "$@"
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
table=$("$bin/velmora-cli" --root "$demo_root" actuators)
echo "== the actuator table under System/Data: $(wc -l <<<"$table") records, the first ten"
echo "\$ velmora-cli actuators | head"
head -n 10 <<<"$table"
echo "== write the actuator VMA10-06I (SV 1.10, NPN): parameters and step data, verified;"
echo "   the controller is backed up into Backups/ first, and the line's traffic is recorded"
trace_file=$demo_root/traffic.txt
cli --id 1 --baud 38400 --trace "$trace_file" write-actuator --part-no VMA10-06I --controller VC-1A --stroke 50 --sv 1.10 --io NPN --contents both
echo "   the traffic trace: $(wc -l <"$trace_file") lines, the first six"
head -n 6 "$trace_file" | sed 's/^/    /'
echo "== compare the controller with the actuator it now holds (exit 1: the write stamps the"
echo "   mode and the date code)"
cli --id 1 --baud 38400 compare --part-no VMA10-06I --controller VC-1A --stroke 50 --sv 1.10 --io NPN || true
echo "== the mode register after the write (low byte back to 1) and the date code"
cli --id 1 --baud 38400 read 0x000C 1
cli --id 1 --baud 38400 read 0x00EF 1
backup_file=$demo_root/demo-backup.bkp
echo "== back the virtual controller up into $backup_file"
cli --id 1 --baud 38400 backup "$backup_file"
backup_text=$("$bin/velmora-cli" --root "$demo_root" unpack "$backup_file" -)
echo "   its first lines ($(wc -l <<<"$backup_text") in all):"
head -n 6 <<<"$backup_text" | tr -d '\r' | sed 's/^/    /'
echo "== compare the controller with that backup (exit 0: equal)"
cli --id 1 --baud 38400 compare "$backup_file"
echo "== restore that backup into the virtual controller: parameters and step data, verified"
cli --id 1 --baud 38400 restore "$backup_file" --contents both
echo "== the service history of this demo"
cli history
echo "== done (the demo's program folder and backup are removed; your settings are untouched)"
