#!/bin/sh
# bench_machine beside the same benchmark built from an earlier commit
# (default e04d479: the machine before it was put behind its interfaces,
# when text mode cleared and redrew its whole area on every change). Both
# run in turn, several rounds, so that they share the host's load; each
# figure is the best of its rounds. The goals: text mode with the display
# refreshing at least 100 times a real C64, and the still screen no slower
# than the earlier build.
#   sh bench/machine_vs_earlier.sh [commit] [seconds]
set -eu

BASE=${1:-e04d479}
SECONDS_EACH=${2:-3}
ROUNDS=5
NEW=build/host/bench_machine
WORK=build/bench/machine-$BASE
OLD=$WORK/host/bench_machine
REAL_C64=83.33   # passes a second: 12,000 instructions at about a million a second

[ -x "$NEW" ] || { echo "machine_vs_earlier: $NEW missing (make host)"; exit 1; }
if [ ! -x "$OLD" ]; then
    if ! git rev-parse --verify -q "$BASE^{commit}" >/dev/null; then
        echo "machine_vs_earlier: commit $BASE not in this checkout; skipped"
        exit 0
    fi
    echo "machine_vs_earlier: building bench_machine of $BASE in $WORK (once)"
    rm -rf "$WORK"
    mkdir -p "$WORK/src"
    git archive "$BASE" | tar -x -C "$WORK/src"
    cmake -S "$WORK/src" -B "$WORK/host" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$WORK/build.log" 2>&1 &&
        cmake --build "$WORK/host" -j2 --target bench_machine >>"$WORK/build.log" 2>&1 ||
        { echo "machine_vs_earlier: build of $BASE failed, see $WORK/build.log"; exit 1; }
fi

# "<label>=<passes a second>=<times a real C64 per processor second>" for
# each figure a run prints (the earlier build gives no processor figure).
figures() {
    "$1" "$SECONDS_EACH" | awk -F: '/^machine, / {
        label = $1; sub(/^machine, */, "", label); sub(/ *\(.*\)$/, "", label)
        split($2, f, " "); cpu = ""
        if (match($2, /[0-9.]+x per processor second/)) cpu = substr($2, RSTART, RLENGTH) + 0
        print label "=" f[1] "=" cpu }'
}

RUNS=$(mktemp)
trap 'rm -f "$RUNS"' EXIT
i=0
while [ $i -lt $ROUNDS ]; do
    figures "$OLD" | sed 's/^/old /' >>"$RUNS"
    figures "$NEW" | sed 's/^/new /' >>"$RUNS"
    i=$((i + 1))
done

awk -F= -v real="$REAL_C64" -v base="$BASE" '
    { split($1, k, " "); who = k[1]; label = substr($1, length(who) + 2)
      if ($2 + 0 > best[who, label] + 0) best[who, label] = $2
      if ($3 + 0 > cpu[who, label] + 0) cpu[who, label] = $3 }
    function line(what, n, c) {
        printf "  %-40s %7.0f passes/s = %6.1fx a real C64", what, n, n / real
        if (c) printf " (%.1fx per processor second)", c
        printf "\n" }
    END {
        old_moving = best["old", "display refreshing"]
        old_still = best["old", "still screen"]
        new_moving = best["new", "display refreshing"]
        new_every = best["new", "display drawn every pass"]
        new_still = best["new", "still screen"]
        if (!old_moving || !old_still || !new_moving || !new_still) { print "machine_vs_earlier: a run printed no figures"; exit 1 }
        printf "text mode, best of each build'"'"'s runs (%s = before, HEAD = now)\n", base
        line(base ", display refreshing:", old_moving)
        line("now, display refreshing (wall clock):", new_moving, cpu["new", "display refreshing"])
        line("now, display drawn every pass:", new_every, cpu["new", "display drawn every pass"])
        line(base ", still screen:", old_still)
        line("now, still screen:", new_still, cpu["new", "still screen"])
        printf "  refreshing: %.1fx the earlier build; still screen: %.2fx the earlier build\n",
            new_moving / old_moving, new_still / old_still
    }' "$RUNS"
