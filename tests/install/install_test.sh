#!/usr/bin/env bash
# Installs the build into a temporary, read-only prefix and runs the installed programs from
# there with a fresh home folder, as a user does after installing the package: the first start
# makes the per-user program folder, and the CLI works against the installed virtual controller.
#
#   install_test.sh BUILD_DIR [CMAKE]
set -euo pipefail

build=$(cd "$1" && pwd)
cmake=${2:-cmake}
work=$(mktemp -d /tmp/velmora_install_XXXXXX)
sim_pid=""
checks=0

cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
pass() {
    checks=$((checks + 1))
    echo "ok: $*"
}

prefix=$work/prefix
if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fail "cmake --install $build --prefix $prefix"
fi
pass "cmake --install into $prefix"

share=$prefix/share/velmora
expected=(
    bin/velmora-cli bin/velmora-sim
    share/velmora/System/LanguageData.ini
    share/velmora/System/CommunicationSetting.ini
    share/velmora/System/FunctionalRestriction.ini
    share/velmora/System/Data/VMA-Series/AdapterFile.vms
    share/velmora/lang/en/LanguageData.ini
    share/velmora/lang/ja/LanguageData.ini
    share/applications/velmora.desktop
    share/icons/hicolor/scalable/apps/velmora.svg
    share/doc/velmora/copyright
)
if [ -x "$build/bin/velmora" ]; then
    expected+=(bin/velmora)
fi
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done
ls "$prefix"/share/man/man1/velmora-cli.1* >/dev/null 2>&1 || fail "no man page installed"
pass "${#expected[@]} files and the man page are in place"

# Every stored sample file the build made is installed as it is.
(cd "$build/bin/System/Data" && find VMA-Series -type f) | while read -r stored; do
    cmp -s "$build/bin/System/Data/$stored" "$share/System/Data/$stored" ||
        fail "sample file differs or is missing: $stored"
done
cmp -s "$share/lang/en/LanguageData.ini" "$share/System/LanguageData.ini" ||
    fail "lang/en is not the English file System/ ships with"
pass "sample data set and language files installed"

# A read-only installation: nothing below the prefix may change from here on.
(cd "$prefix" && find . -type f -exec md5sum {} + | sort) >"$work/before.md5"
chmod -R a-w "$prefix"

export HOME=$work/home
mkdir -p "$HOME"
unset XDG_DATA_HOME
cli=$prefix/bin/velmora-cli
sim=$prefix/bin/velmora-sim
user=$HOME/.local/share/velmora

"$sim" --help >/dev/null || fail "velmora-sim --help"
"$cli" --help | grep -q "check-data" || fail "velmora-cli --help does not list check-data"
[ ! -e "$user" ] || fail "--help made the per-user folder"
pass "--help of both programs"

port=$work/ttyVELMORA
"$sim" --link "$port" --no-pacing --version 1.23 >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    [ -e "$port" ] && break
    sleep 0.1
done
[ -e "$port" ] || fail "velmora-sim made no link: $(cat "$work/sim.out")"
line=(--port "$port" --id 1 --baud 38400)

"$cli" "${line[@]}" echo >"$work/echo.out" || fail "echo: $(cat "$work/echo.out")"
pass "echo against the installed velmora-sim"
[ -f "$user/System/CommunicationSetting.ini" ] || fail "no per-user folder made at $user"
diff -r "$share/System" "$user/System" >/dev/null || fail "the per-user System is no copy"
pass "first start copied System to $user"

version=$("$cli" "${line[@]}" version) || fail "version"
[ "$version" = "1.23" ] || fail "version printed '$version'"
pass "version reads the 1.23 the controller reports"

"$cli" actuators >"$work/installed.tsv" || fail "actuators"
"$build/bin/velmora-cli" --root "$build/bin" actuators >"$work/built.tsv"
[ -s "$work/installed.tsv" ] || fail "actuators listed nothing"
diff <(cut -f1-12 "$work/installed.tsv") <(cut -f1-12 "$work/built.tsv") >/dev/null ||
    fail "the installed actuator table differs from the build's"
if cut -f13 "$work/installed.tsv" | grep -v "^$user/System/Data/"; then
    fail "actuators read from outside the per-user folder"
fi
pass "actuators lists $(wc -l <"$work/installed.tsv") records from the per-user copy"

# The user's settings survive later starts.
echo "; kept" >>"$user/System/CommunicationSetting.ini"
"$cli" "${line[@]}" echo >/dev/null || fail "second echo"
grep -q "; kept" "$user/System/CommunicationSetting.ini" || fail "the per-user copy was overwritten"
pass "the per-user copy is kept"

"$cli" language | grep -q '^\* en ' || fail "English not marked in use: $("$cli" language)"
"$cli" language ja >/dev/null || fail "language ja"
cmp -s "$user/System/LanguageData.ini" "$share/lang/ja/LanguageData.ini" || fail "ja not in place"
"$cli" language | grep -q '^\* ja ' || fail "Japanese not marked in use"
"$cli" language en >/dev/null || fail "language en"
cmp -s "$user/System/LanguageData.ini" "$share/lang/en/LanguageData.ini" || fail "en not back"
status=0
"$cli" language xx 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unknown language gave status $status, not 2"
pass "language switches ja and back to en in the per-user folder"

"$cli" check-data >"$work/check.out" || fail "check-data on the installed set: $(cat "$work/check.out")"
cp -r "$user/System/Data" "$work/broken"
truncate -s -2 "$work/broken/VMA-Series/VMA20_step.vmw"
status=0
"$cli" check-data "$work/broken" >"$work/broken.out" || status=$?
[ "$status" -eq 1 ] || fail "check-data on a broken copy gave status $status"
grep -q "VMA20_step.vmw: .*4-byte groups" "$work/broken.out" || fail "$(cat "$work/broken.out")"
pass "check-data passes the installed set and fails a truncated copy"

XDG_DATA_HOME=$work/xdg "$cli" actuators >/dev/null || fail "actuators with XDG_DATA_HOME"
[ -f "$work/xdg/velmora/System/LanguageData.ini" ] || fail "XDG_DATA_HOME not used"
pass "XDG_DATA_HOME is used when set"

if [ -x "$prefix/bin/velmora" ]; then
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$prefix/bin/velmora" --version |
        grep -q "1.10" || fail "velmora --version"
    pass "velmora --version"
fi

(cd "$prefix" && find . -type f -exec md5sum {} + | sort) >"$work/after.md5"
diff "$work/before.md5" "$work/after.md5" >&2 || fail "files below the prefix changed"
pass "the installation was not written to"

echo "$checks passed, 0 failed"
