#!/bin/sh
# Builds the .D64 fuzz target with clang (libFuzzer, ASan, UBSan) and runs it
# for a bounded time from seeds the disk tool writes.
# usage: d64_fuzz.sh SOURCE_DIR OUT_DIR SECONDS
set -e
src=$1
out=$2
secs=${3:-20}
mkdir -p "$out/corpus" "$out/seeds"
flags="-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I$src -DTARN_HOST=1"
clang++ $flags -include "$src/lib/host_names.h" "$src/c64/drive/d64_image.cpp" \
    "$src/tests/fuzz/d64_fuzz.cpp" -o "$out/d64_fuzz"
python3 "$src/tests/fuzz/make_d64_seeds.py" "$out/seeds"
cd "$out"
./d64_fuzz -max_total_time="$secs" -rss_limit_mb=2048 -max_len=70000 -timeout=10 \
    -print_final_stats=1 corpus seeds
