#!/usr/bin/env bash
# The Windows stage: cross-builds the core, the CLI and the core tests with mingw-w64, runs the
# core tests under Wine (the serial port's contract tests against the line peer on a
# pseudo-terminal linked as COM6), packs the ZIP, then drives velmora-cli.exe through Wine's
# serial layer against the virtual controller (built natively) on a pseudo-terminal linked as
# COM5. The Windows backup must equal the Linux CLI's backup of the same controller apart from
# the time and the check value on its first line.
#
#   bash scripts/test-windows.sh            everything
#   bash scripts/test-windows.sh --no-e2e   build, core tests and ZIP only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

e2e=1
if [ "${1:-}" = "--no-e2e" ]; then
    e2e=0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest
          libgtest-dev wine wine64 unzip)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# A throw-away Wine prefix; Wine's own chatter stays out of the log.
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/velmora-wine-XXXXXX)
export WINEDEBUG=-all
wine=$(command -v wine64 || command -v wine)
work=$(mktemp -d /tmp/velmora-windows-XXXXXX)
sim_pid=""
peer_pid=""
cleanup() {
    for pid in $sim_pid $peer_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT

echo "== cross build (windows preset)"
cmake --preset windows
cmake --build --preset windows
# One Wine server for the whole stage: the tests and the CLI runs start faster.
wineserver -p >/dev/null 2>&1
"$wine" cmd /c exit >/dev/null 2>&1 || true

# What runs beside Wine is built for this machine: the virtual controller, the Linux CLI (for
# the backup to compare with) and the line peer.
echo "== host tools (${SECONDS}s so far)"
cmake -S . -B build/windows-host -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_GUI=OFF \
      -DVELMORA_BUILD_TESTS=ON -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build/windows-host -j2 --target velmora-sim velmora-cli velmora-line-peer
host=build/windows-host/bin

# The peer prints its device once COM6 points at it: wait for that rather than for a time.
exec {peer_out}< <(exec "$host/velmora-line-peer" "$WINEPREFIX/dosdevices/com6")
peer_pid=$!
read -r -t 30 peer_device <&"$peer_out" || { echo "test-windows: no line peer"; exit 1; }
echo "== core tests under Wine, the serial port's contract on COM6 = $peer_device (${SECONDS}s so far)"
(cd build/windows/bin &&
    VELMORA_LINE_PEER_PORT=COM6 "$wine" ./velmora_core_tests.exe --gtest_brief=1)

echo "== ZIP (${SECONDS}s so far)"
(cd build/windows && cpack -G ZIP)
zip=$(ls build/windows/velmora-*-windows-x64.zip)
unzip -q "$zip" -d "$work"
app=$(ls -d "$work"/velmora-*-windows-x64)
for part in velmora-cli.exe README.txt System/LanguageData.ini System/Data lang/ja/LanguageData.ini; do
    [ -e "$app/$part" ] || { echo "test-windows: $part missing from $zip"; exit 1; }
done

if [ "$e2e" -eq 0 ]; then
    echo "== Windows stage passed in ${SECONDS}s (no end-to-end run)"
    exit 0
fi

echo "== end to end: velmora-cli.exe on COM5 through Wine, virtual controller on a pty (${SECONDS}s so far)"
# The first line the controller prints is its device: wait for it rather than for a time.
exec {sim_out}< <(exec "$host/velmora-sim" --id 1 --baud 38400 --version 1.10 --turnaround 1)
sim_pid=$!
read -r -t 30 device <&"$sim_out" || { echo "test-windows: no virtual controller"; exit 1; }
echo "== controller on $device (${SECONDS}s so far)"
ln -sfn "$device" "$WINEPREFIX/dosdevices/com5"
# Wine lists only the ports it found itself; the registry map is what "ports" reads.
"$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Serial4' /t REG_SZ /d COM5 /f \
    >/dev/null

# velmora-cli.exe on COM5 at station 1 unless the arguments name another.
cli() {
    (cd "$app" && "$wine" ./velmora-cli.exe --port COM5 --baud 38400 "$@")
}
expect() {
    local want=$1
    shift
    local got=0
    "$@" || got=$?
    if [ "$got" -ne "$want" ]; then
        echo "test-windows: '$*' ended with $got, not $want"
        exit 1
    fi
}
ports=$(cd "$app" && "$wine" ./velmora-cli.exe ports | tr -d '\r')
echo "$ports"
grep -qx COM5 <<<"$ports" || { echo "test-windows: COM5 not listed"; exit 1; }
expect 0 cli --id 1 echo
[ "$(cli --id 1 version | tr -d '\r')" = "1.10" ] || { echo "test-windows: wrong version"; exit 1; }
expect 0 cli search
# Each write backs the controller up into Backups/ first and verifies what it wrote.
for contents in steps params both; do
    expect 0 cli --id 1 --yes write-actuator --part-no VMA10-06I --controller VC-1A --stroke 50 \
        --sv 1.10 --io NPN --contents "$contents"
done
[ "$(find "$app/Backups" -name '*.bkp' | wc -l)" -eq 3 ] ||
    { echo "test-windows: not one backup before each write"; exit 1; }
expect 0 cli --id 1 backup windows.bkp
expect 0 "$host/velmora-cli" --root "$app" --port "$device" --id 1 --baud 38400 \
    backup "$work/linux.bkp"
# The controller holds what the backup says, read through Wine's serial layer.
expect 0 cli --id 1 compare windows.bkp
expect 0 cli --id 1 --yes restore windows.bkp
# After the restore only what a write stamps itself may differ: mode, check value, date code.
"$host/velmora-cli" --root "$app" --port "$device" --id 1 --baud 38400 compare --json \
    "$app/windows.bkp" >"$work/compare.json" || true
if grep -o '"address": "0x[0-9a-f]*"' "$work/compare.json" |
    grep -v -e 0x000c -e 0x00ee -e 0x00ef; then
    echo "test-windows: the restored controller differs from its backup"
    exit 1
fi
# Another station: nobody answers, which is a line failure (exit 4).
expect 4 cli --id 2 echo

# Ctrl-C reaches the console control handler: --repeat stops waiting for the next controller
# and ends with its tally.
(cd "$app" && exec timeout -s KILL 120 "$wine" ./velmora-cli.exe --port COM5 --baud 38400 \
    --id 1 --yes --repeat write-actuator --part-no VMA10-06I --controller VC-1A --stroke 50 \
    --sv 1.10 --io NPN --contents steps >"$work/repeat.out" 2>&1) &
repeat_job=$!
for _ in $(seq 600); do
    grep -q "written and verified" "$work/repeat.out" && break
    sleep 0.1
done
# Anchored, so that only the program gets the signal, not the timeout watching it.
pkill -INT -f "^\./velmora-cli.exe --port COM5 .*--repeat"
repeat_status=0
wait "$repeat_job" || repeat_status=$?
if [ "$repeat_status" -ne 0 ] || ! grep -q "^total: 1 written, 0 failed" <(tr -d '\r' <"$work/repeat.out"); then
    tail -5 "$work/repeat.out"
    echo "test-windows: Ctrl-C did not end --repeat with its tally (exit $repeat_status)"
    exit 1
fi

# Same registers, same text: only the time and the check value over it may differ.
plain() {
    "$host/velmora-cli" --root "$app" unpack "$1" - | tr -d '\r' |
        awk -F, 'NR == 1 { print $1 "," $2 "," $3; next } { print }'
}
if ! diff <(plain "$app/windows.bkp") <(plain "$work/linux.bkp") >"$work/backup.diff"; then
    head -20 "$work/backup.diff"
    echo "test-windows: the Windows backup differs from the Linux one"
    exit 1
fi
echo "== Windows stage passed in ${SECONDS}s"
