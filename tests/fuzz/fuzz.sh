#!/bin/sh
# Builds the FAT32 fuzz target with clang (libFuzzer, ASan, UBSan) and runs
# it for a bounded time.  usage: fuzz.sh SOURCE_DIR OUT_DIR SECONDS
set -e
src=$1
out=$2
secs=${3:-20}
# Objects of files that left the list must not be linked again.
rm -rf "$out/obj"
mkdir -p "$out/corpus" "$out/obj"
flags="-std=c++17 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I$src"
for f in "$src"/filesystem/*.cpp "$src/lib/crc32.cpp"; do
    # Product sources get the host build's link names for the kernel library.
    clang++ $flags -DTARN_HOST=1 -include "$src/lib/host_names.h" -c "$f" \
        -o "$out/obj/$(basename "$f" .cpp).o"
done
clang++ $flags -DTARN_HOST=1 -c "$src/tests/fuzz/fat_fuzz.cpp" -o "$out/obj/fat_fuzz_main.o"
clang++ -fsanitize=fuzzer,address,undefined "$out"/obj/*.o -o "$out/fat_fuzz"
python3 "$src/tests/fuzz/make_seeds.py" "$out/seeds"
cd "$out"
./fat_fuzz -max_total_time="$secs" -rss_limit_mb=2048 -max_len=65536 -timeout=10 \
    -print_final_stats=1 corpus seeds
