#!/bin/sh
# 6502 core against sim65 (cc65's 6502 simulator) on the same program:
# bench/core6502_loop.s assembled once for the sim6502 target, the
# identical bytes run by both. Figures are instructions per second of the
# loop; the loop's instruction count is exact (328451 per outer pass), and
# both sides must agree on its cycle count.
#   sh bench/core6502_vs_sim65.sh [outer]   (outer 2..255, default 255)
set -eu

OUTER=${1:-255}
BASE=1                       # short run whose cost is subtracted for sim65
PER_OUTER=328451             # instructions of one outer pass
REPEAT=3                     # best of this many timings on each side
OUT=build/bench
CORE=build/host/bench_core6502

for tool in cl65 sim65 awk; do
    command -v $tool >/dev/null 2>&1 || { echo "core6502_vs_sim65: $tool not found"; exit 1; }
done
[ -x "$CORE" ] || { echo "core6502_vs_sim65: $CORE missing (make host)"; exit 1; }
case $OUTER in ''|*[!0-9]*) echo "outer must be 2..255"; exit 1;; esac
[ "$OUTER" -ge 2 ] && [ "$OUTER" -le 255 ] || { echo "outer must be 2..255"; exit 1; }
mkdir -p "$OUT"

build() {  # $1 = outer count
    cl65 -t sim6502 --asm-define OUTER="$1" -Ln "$OUT/loop$1.lbl" -o "$OUT/loop$1.sim" \
        --obj-path "$OUT" bench/core6502_loop.s
}
build $BASE
build "$OUTER"
ENTRY=$(awk '$3 == "._main" { print $2 }' "$OUT/loop$OUTER.lbl")
[ -n "$ENTRY" ] || { echo "core6502_vs_sim65: _main not in label file"; exit 1; }

now() { date +%s.%N; }

# sim65: wall time of one whole run and its cycle count, "<seconds> <cycles>".
sim65_run() {
    t0=$(now)
    cycles=$(sim65 -c "$OUT/loop$1.sim" 2>&1 | awk '/cycles/ { print $1 }')
    t1=$(now)
    awk -v a="$t0" -v b="$t1" -v c="$cycles" 'BEGIN { print b - a, c }'
}

# Our core: time of the loop routine alone, "<seconds> <cycles> <instructions>".
core_run() {
    "$CORE" --image "$OUT/loop$1.sim" "$ENTRY" |
        awk -F= '/^SECONDS=/ { s = $2 } /^CYCLES=/ { c = $2 } /^INSTRUCTIONS=/ { n = $2 } END { print s, c, n }'
}

# The fastest of REPEAT runs of "$1 $2" (shared machines are noisy).
best() {
    i=0
    while [ $i -lt $REPEAT ]; do
        "$1" "$2"
        i=$((i + 1))
    done | sort -g | head -n 1
}

set -- $(best sim65_run $BASE); sim_t0=$1; sim_c0=$2
set -- $(best sim65_run "$OUTER"); sim_t1=$1; sim_c1=$2
set -- $(best core_run $BASE); core_c0=$2
set -- $(best core_run "$OUTER"); core_t=$1; core_c1=$2; core_n=$3

expected=$((PER_OUTER * OUTER + 5))   # + lda/sta before, lda/tax/rts after
[ "$core_n" -eq "$expected" ] || { echo "core ran $core_n instructions, expected $expected"; exit 1; }
sim_cycles=$((sim_c1 - sim_c0))
core_cycles=$((core_c1 - core_c0))
[ "$sim_cycles" -eq "$core_cycles" ] ||
    { echo "cycle counts differ: sim65 $sim_cycles, core $core_cycles"; exit 1; }

awk -v n="$core_n" -v ct="$core_t" -v d="$((PER_OUTER * (OUTER - BASE)))" -v st0="$sim_t0" -v st1="$sim_t1" \
    -v cyc="$core_cycles" -v outer="$OUTER" 'BEGIN {
    core = n / ct; sim = d / (st1 - st0)
    printf "loop: %d outer passes, %d instructions; %d cycles per %d passes on both\n", outer, n, cyc, outer - 1
    printf "tarn core: %.1f M instr/s  sim65: %.1f M instr/s  ratio: %.2f\n", core / 1e6, sim / 1e6, core / sim
}'
