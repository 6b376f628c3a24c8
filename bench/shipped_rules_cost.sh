#!/usr/bin/env bash
# What the shipped rules cost per message beside the 200-rule benchmark set,
# run by hand:
#
#   bench/shipped_rules_cost.sh [--rounds N] [--callgrind]
#
# Both rule sets score the training folders of the public corpus
# (scripts/fetch-corpus.sh), 3,000 messages, from configuration folders under
# build/bench. The two runs alternate in every round, so that both see the
# same machine load; the figures are the medians of the rounds of wall time
# and of processor time (user and system) of whole runs, and their ratios.
# With --callgrind, also the instructions of one run of each, counted by
# valgrind's callgrind, which do not depend on the load (takes minutes).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
shared="${COBBLEWEAVE_BENCH_MATERIAL:-$repo/../shared/bench}"
work="$repo/build/bench/shipped-cost"
rounds=7
callgrind=false
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --callgrind) callgrind=true; shift ;;
    *) echo "usage: $0 [--rounds N] [--callgrind]" >&2; exit 2 ;;
  esac
done

cd "$repo"
corpus=$(scripts/fetch-corpus.sh)
cmake --preset linux >/dev/null
cmake --build --preset linux --target cobbleweave_scan >/dev/null
scan=build/linux/cobbleweave-scan
inputs=("$corpus/spam-1" "$corpus/easy-ham-1")

rm -rf "$work"
mkdir -p "$work/shipped" "$work/rules200"
cp examples/config/*.txt "$work/shipped/"
cp examples/config/default_filters.dat "$work/shipped/filters.dat"
cp "$shared/rules200/filters.dat" "$work/rules200/filters.dat"

# "wall cpu" in seconds for one run over the training folders.
timed_run() {
  /usr/bin/time -o "$work/last.time" -f "%e %U %S" "$scan" --config "$1" "${inputs[@]}" \
    >/dev/null 2>&1
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/last.time"
}

median() {
  sort -n | awk '{ value[NR] = $1 } END { print (NR % 2) ? value[(NR + 1) / 2] : (value[NR / 2] + value[NR / 2 + 1]) / 2 }'
}

: >"$work/shipped.times"
: >"$work/rules200.times"
for _ in $(seq "$rounds"); do
  timed_run "$work/shipped" >>"$work/shipped.times"
  timed_run "$work/rules200" >>"$work/rules200.times"
done
for column in 1 2; do
  name=$([ "$column" = 1 ] && echo "wall time" || echo "processor time")
  shipped=$(cut -d' ' -f"$column" "$work/shipped.times" | median)
  benchmark=$(cut -d' ' -f"$column" "$work/rules200.times" | median)
  awk -v name="$name" -v a="$shipped" -v b="$benchmark" -v n="$rounds" 'BEGIN {
    printf "%-15s shipped rules %.3f s, 200-rule set %.3f s (3,000 messages, median of %d): %.2fx\n",
           name, a, b, n, a / b }'
done

if $callgrind; then
  for config in shipped rules200; do
    count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$scan" --config "$work/$config" \
              "${inputs[@]}" 2>&1 >/dev/null | sed -n 's/.*Collected : //p')
    echo "instructions    $config: $count"
  done
fi
