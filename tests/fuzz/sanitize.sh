#!/bin/sh
# Builds the filesystem, driver and console tests (and the LOAD/SAVE bridge tests,
# when present) with ASan and UBSan in a separate tree and runs them.
# usage: sanitize.sh SOURCE_DIR OUT_DIR
set -e
src=$1
out=$2
targets="test_fat test_ata"
[ -d "$src/tests/unit/bridge" ] && targets="$targets test_bridge"
[ -d "$src/tests/unit/lib" ] && targets="$targets test_lib"
[ -d "$src/tests/unit/console" ] && targets="$targets test_console"
[ -d "$src/tests/unit/drive" ] && targets="$targets test_drive"
cmake -S "$src" -B "$out" -DTARN_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j2 --target $targets
for t in $targets; do
    echo "== $t"
    "$out/$t" --gtest_brief=1
done
