#!/usr/bin/env bash
# The build's copy of System/ beside the programs (cmake/CopySystemFiles.cmake): a file changed
# in the build tree survives a rebuild; a file left alone follows the source.
#
#   system_files_test.sh SOURCE_DIR [CMAKE]
set -euo pipefail

script=$(cd "$1" && pwd)/cmake/CopySystemFiles.cmake
cmake=${2:-cmake}
work=$(mktemp -d /tmp/velmora_system_files_XXXXXX)
trap 'rm -rf "$work"' EXIT
src=$work/source
dst=$work/bin/System
checks=0

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
copy_step() {
    "$cmake" -DSOURCE="$src" -DTARGET="$dst" -DSTAMPS="$work/stamps" -P "$script" \
        >"$work/copy.log" 2>&1 || { cat "$work/copy.log" >&2; fail "the copy step failed"; }
}
# expect FILE TEXT: the build tree's FILE holds exactly TEXT.
expect() {
    [ -f "$dst/$1" ] || fail "$1 missing from the build tree"
    [ "$(cat "$dst/$1")" = "$2" ] || fail "$1 holds '$(cat "$dst/$1")', not '$2'"
    checks=$((checks + 1))
}

mkdir -p "$src/Sub"
echo "port shipped 1" >"$src/CommunicationSetting.ini"
echo "english 1" >"$src/LanguageData.ini"
echo "rules 1" >"$src/FunctionalRestriction.ini"
echo "nested 1" >"$src/Sub/Nested.ini"

copy_step
expect CommunicationSetting.ini "port shipped 1"
expect LanguageData.ini "english 1"
expect Sub/Nested.ini "nested 1"

# The user saves a port and switches the language; the source changes its rules and settings.
echo "port /dev/ttyUSB0 saved" >"$dst/CommunicationSetting.ini"
echo "japanese" >"$dst/LanguageData.ini"
echo "rules 2" >"$src/FunctionalRestriction.ini"
echo "port shipped 2" >"$src/CommunicationSetting.ini"
rm "$dst/Sub/Nested.ini"
copy_step

# file, what the build tree must hold after the rebuild
cases=(
    "CommunicationSetting.ini|port /dev/ttyUSB0 saved"  # changed by the user: kept
    "LanguageData.ini|japanese"                         # changed by the user: kept
    "FunctionalRestriction.ini|rules 2"                 # untouched: follows the source
    "Sub/Nested.ini|nested 1"                           # missing: shipped again
)
for entry in "${cases[@]}"; do
    expect "${entry%%|*}" "${entry#*|}"
done
grep -q "Kept System/CommunicationSetting.ini" "$work/copy.log" ||
    fail "no note about the kept settings file"

# A second run changes nothing more, and a file the user put back as shipped follows again.
copy_step
expect CommunicationSetting.ini "port /dev/ttyUSB0 saved"
echo "english 1" >"$dst/LanguageData.ini"
echo "english 2" >"$src/LanguageData.ini"
copy_step
expect LanguageData.ini "english 2"

# A build tree from before the stamps: a file equal to the source is taken as shipped.
rm -rf "$work/stamps"
copy_step
echo "rules 3" >"$src/FunctionalRestriction.ini"
copy_step
expect FunctionalRestriction.ini "rules 3"
expect CommunicationSetting.ini "port /dev/ttyUSB0 saved"

echo "ok: $checks checks"
