#!/usr/bin/env bash
# Measures cobbleweave-scan on real mail against the bare-PCRE2 floor, run by hand:
#
#   bench/scan_vs_floor.sh [--rounds N] [--messages N] [--list-messages N]
#                          [--rule-messages N] [--callgrind-messages N]
#                          [--only floor|lists|rules|memory|callgrind]
#
# Corpus: the spam-1 and easy-ham-1 folders of the public SpamAssassin corpus
# (scripts/fetch-corpus.sh). Rules: the 200-rule set of the shared benchmark
# material, copied to a configuration folder under build/bench on the ordinary
# disk, since the plug-in writes its log and statistics there. The floor
# (floor.c, built with gcc -O2 -lpcre2-8) matches the same patterns with JIT over
# each Subject line and the whole body, nothing else; absolute times vary with
# the machine's load, so the scan and the floor run interleaved in every round
# and the ratio is what counts. Timings are wall times of whole runs (process
# start, configuration load and every message), reported as messages per
# second, best and median of the rounds; for the lists and rule counts also the
# time per message without the load (a run of one message is timed beside each
# run and taken off).
#
#   floor   200 rules: scan against the floor
#   lists   200 rules plus a B_INCLUDE_SENDER list of 10k, 50k, 100k addresses
#   rules   200, 1,000 and 2,000 rules (the extra rules are the 200 made distinct)
#   memory  peak resident memory over 1,000 and 6,000 messages
#   callgrind  instructions per message for 200 and 2,000 rules, counted by
#           valgrind's callgrind, so independent of the machine's load (not
#           part of a run without --only: it takes minutes)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
shared="${COBBLEWEAVE_BENCH_MATERIAL:-$repo/../shared/bench}"
work="$repo/build/bench"
rounds=5
messages=1000
list_messages=1000
rule_messages=1000
callgrind_messages=200
only=""

while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --messages) messages=$2; shift 2 ;;
    --list-messages) list_messages=$2; shift 2 ;;
    --rule-messages) rule_messages=$2; shift 2 ;;
    --callgrind-messages) callgrind_messages=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: $0 [--rounds N] [--messages N] [--list-messages N] [--rule-messages N] [--callgrind-messages N] [--only floor|lists|rules|memory|callgrind]" >&2; exit 1 ;;
  esac
done

[ -f "$shared/floor.c" ] || { echo "no benchmark material at $shared" >&2; exit 1; }
corpus=$("$repo/scripts/fetch-corpus.sh")
(cd "$repo" && cmake --preset linux >/dev/null && cmake --build --preset linux >/dev/null)
# COBBLEWEAVE_SCAN measures another build of the host stand-in (an older one,
# for before and after); its library is the one beside it.
scan="${COBBLEWEAVE_SCAN:-$repo/build/linux/cobbleweave-scan}"
mkdir -p "$work"
gcc -O2 -o "$work/floor" "$shared/floor.c" -lpcre2-8

# The first N messages: all of spam-1, then easy-ham-1 in name order.
corpus_files() {
  { ls "$corpus/spam-1"/*.txt; ls "$corpus/easy-ham-1"/*.txt; } | head -n "$1"
}

# A configuration folder of its own: the 200 rules plus extra lines.
make_config() {
  local name=$1
  rm -rf "${work:?}/$name"
  mkdir -p "$work/$name"
  cp "$shared/rules200/filters.dat" "$work/$name/filters.dat"
  chmod u+w "$work/$name/filters.dat"
  echo "$work/$name"
}

# Messages per second of one scan run over the given files; the messages per
# second of its processor time in user space go to $work/user.rate (the floor
# does no file work, while a scan opens, writes and closes the log and both
# statistics files for every message, as the host expects, and reads each
# message from its file: in the kernel, which the wall time counts).
scan_rate() {
  local config=$1
  shift
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -o "$work/scan.time" -f '%U' "$scan" --config "$config" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v n=$# -v u="$(tail -1 "$work/scan.time")" 'BEGIN { printf "%.1f\n", n / (u > 0 ? u : 0.001) }' \
    > "$work/user.rate"
  awk -v n=$# -v s="$start" -v e="$end" 'BEGIN { printf "%.1f\n", n / (e - s) }'
}

floor_rate() {
  "$work/floor" "$shared/rules200.tsv" jit whole "$@" | awk '{ for (i = 1; i < NF; i++) if ($(i+1) == "msg/s") print $i }'
}

# "best median" of the numbers on standard input (higher is better).
best_median() {
  sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f %.1f\n", v[NR], m }'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

run_floor() {
  mapfile -t files < <(corpus_files "$messages")
  local config
  config=$(make_config rules200)
  : > "$work/floor.rates"
  : > "$work/scan200.rates"
  : > "$work/scan200user.rates"
  echo "== 200 rules, ${#files[@]} messages, $rounds rounds (configuration on disk: $config)"
  for ((round = 1; round <= rounds; round++)); do
    f=$(floor_rate "${files[@]}")
    s=$(scan_rate "$config" "${files[@]}")
    echo "$f" >> "$work/floor.rates"
    echo "$s" >> "$work/scan200.rates"
    cat "$work/user.rate" >> "$work/scan200user.rates"
    echo "round $round: floor $f msg/s, scan $s msg/s, ratio $(ratio "$s" "$f");" \
      "scan in user-space processor time $(cat "$work/user.rate") msg/s"
  done
  read -r fb fm < <(best_median < "$work/floor.rates")
  read -r sb sm < <(best_median < "$work/scan200.rates")
  echo "floor (JIT, whole body): best $fb, median $fm msg/s"
  echo "scan:                    best $sb, median $sm msg/s"
  echo "scan / floor:            best $(ratio "$sb" "$fb"), median $(ratio "$sm" "$fm")"
  read -r ub um < <(best_median < "$work/scan200user.rates")
  echo "scan, user-space time:   best $ub, median $um msg/s"
  echo "that / floor:            best $(ratio "$ub" "$fb"), median $(ratio "$um" "$fm")"
}

sender_list() {
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "user%06d@sender%05d.example\n", i, i % 50000 }'
}

# Seconds of one run over the given files.
run_seconds() {
  local config=$1
  shift
  local start end
  start=$(date +%s.%N)
  "$scan" --config "$config" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }'
}

# One round for a configuration: appends "messages/s of the whole run" to
# NAME.rates and "microseconds per message without the load" to NAME.permessage.
measure_config() {
  local name=$1
  shift
  local whole single
  single=$(run_seconds "$work/$name" "$1")
  whole=$(run_seconds "$work/$name" "$@")
  awk -v n=$# -v w="$whole" 'BEGIN { printf "%.1f\n", n / w }' >> "$work/$name.rates"
  awk -v n=$# -v w="$whole" -v s="$single" 'BEGIN { printf "%.1f\n", (w - s) / (n - 1) * 1e6 }' \
    >> "$work/$name.permessage"
}

# "best median" of times on standard input (lower is better).
best_median_time() {
  sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f %.1f\n", v[1], m }'
}

run_lists() {
  mapfile -t files < <(corpus_files "$list_messages")
  local sizes=(10000 50000 100000)
  local size config
  for size in "${sizes[@]}"; do
    config=$(make_config "senders$size")
    sender_list "$size" > "$config/senders.txt"
    printf 'B_INCLUDE_SENDER 2.0 senders.txt\r\n' >> "$config/filters.dat"
    : > "$work/senders$size.rates"
    : > "$work/senders$size.permessage"
  done
  : > "$work/lists-floor.rates"
  echo "== 200 rules plus a sender list, ${#files[@]} messages, $rounds rounds"
  for ((round = 1; round <= rounds; round++)); do
    f=$(floor_rate "${files[@]}")
    echo "$f" >> "$work/lists-floor.rates"
    line="round $round: floor $f"
    for size in "${sizes[@]}"; do
      measure_config "senders$size" "${files[@]}"
      line+=", ${size} $(tail -n 1 "$work/senders$size.rates")"
    done
    echo "$line msg/s"
  done
  read -r fb fm < <(best_median < "$work/lists-floor.rates")
  echo "floor: best $fb, median $fm msg/s ($(awk -v r="$fm" 'BEGIN { printf "%.0f", 1e6 / r }') us per message)"
  for size in "${sizes[@]}"; do
    read -r sb sm < <(best_median < "$work/senders$size.rates")
    read -r pb pm < <(best_median_time < "$work/senders$size.permessage")
    echo "list of $size: whole run best $sb, median $sm msg/s (median / floor median $(ratio "$sm" "$fm")); without the load: median $pm us per message ($(ratio "$(awk -v p="$pm" 'BEGIN { printf "%.1f", 1e6 / p }')" "$fm") of the floor)"
  done
  read -r _ small < <(best_median_time < "$work/senders10000.permessage")
  read -r _ large < <(best_median_time < "$work/senders100000.permessage")
  echo "100k / 10k time per message without the load (medians): $(awk -v a="$small" -v b="$large" 'BEGIN { printf "%.2f", b / a }')"
}

# The 200 rules, then copies of them made distinct by a word appended to each
# pattern ("{click here c3}", "{opt.?in c3}"): a literal pattern stays literal, a
# regular expression stays one, and each copy costs about what its original
# costs. (Copies made distinct by a pattern comment, "(?#c3)", are never literal:
# COPY_STYLE=comment measures that harder case.)
rule_set() {
  local count=$1
  cat "$shared/rules200/filters.dat"
  awk -v copies=$(((count - 200) / 200)) -v style="${COPY_STYLE:-word}" '
    { sub(/\r$/, "") }
    /^~(Subject|Body):.*\}$/ { rules[++n] = $0 }
    END {
      for (k = 1; k <= copies; k++)
        for (i = 1; i <= n; i++)
          printf (style == "comment" ? "%s(?#c%d)}\r\n" : "%s c%d}\r\n"), substr(rules[i], 1, length(rules[i]) - 1), k
    }' "$shared/rules200/filters.dat"
}

run_rules() {
  mapfile -t files < <(corpus_files "$rule_messages")
  local counts=(200 1000 2000)
  local count config
  for count in "${counts[@]}"; do
    config=$(make_config "rules$count")
    rule_set "$count" > "$config/filters.dat"
    : > "$work/rules$count.rates"
    : > "$work/rules$count.permessage"
  done
  echo "== rule count, ${#files[@]} messages, $rounds rounds"
  for ((round = 1; round <= rounds; round++)); do
    line="round $round:"
    for count in "${counts[@]}"; do
      measure_config "rules$count" "${files[@]}"
      line+=" ${count} rules $(tail -n 1 "$work/rules$count.rates")"
    done
    echo "$line msg/s"
  done
  read -r _ base < <(best_median < "$work/rules200.rates")
  read -r _ basetime < <(best_median_time < "$work/rules200.permessage")
  for count in "${counts[@]}"; do
    read -r sb sm < <(best_median < "$work/rules$count.rates")
    read -r pb pm < <(best_median_time < "$work/rules$count.permessage")
    echo "$count rules: whole run best $sb, median $sm msg/s ($(awk -v a="$base" -v b="$sm" 'BEGIN { printf "%.2f", a / b }') x the time of 200 rules); without the load: median $pm us per message ($(awk -v a="$basetime" -v b="$pm" 'BEGIN { printf "%.2f", b / a }') x)"
  done
}

peak_rss() {
  local config=$1
  shift
  /usr/bin/time -f "%M" "$scan" --config "$config" "$@" 2>&1 >/dev/null | tail -n 1
}

run_memory() {
  local config
  config=$(make_config memory)
  mapfile -t thousand < <(corpus_files 1000)
  mapfile -t all < <(corpus_files 3000)
  echo "== peak resident memory, 200 rules"
  echo "1,000 messages: $(peak_rss "$config" "${thousand[@]}") KB"
  echo "6,000 messages (the 3,000 twice): $(peak_rss "$config" "${all[@]}" "${all[@]}") KB"
}

# Instructions of one whole run under callgrind.
instructions() {
  local config=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$scan" --config "$config" "$@" 2>&1 >/dev/null |
    awk '/Collected :/ { print $NF }'
}

run_callgrind() {
  mapfile -t files < <(corpus_files "$callgrind_messages")
  local counts=(200 2000)
  local count config single whole
  echo "== instructions per message (callgrind), ${#files[@]} messages, copies: ${COPY_STYLE:-word}"
  for count in "${counts[@]}"; do
    config=$(make_config "callgrind$count")
    rule_set "$count" > "$config/filters.dat"
    # A run over one message, taken off, leaves out the start and the load.
    single=$(instructions "$config" "${files[0]}")
    whole=$(instructions "$config" "${files[@]}")
    awk -v w="$whole" -v s="$single" -v n=${#files[@]} 'BEGIN { printf "%.0f\n", (w - s) / (n - 1) }' \
      > "$work/callgrind$count.permessage"
    echo "$count rules: $(cat "$work/callgrind$count.permessage") instructions per message"
  done
  echo "2000 / 200 rules: $(awk -v a="$(cat "$work/callgrind200.permessage")" -v b="$(cat "$work/callgrind2000.permessage")" 'BEGIN { printf "%.2f", b / a }') x"
}

case "$only" in
  "") run_floor; run_lists; run_rules; run_memory ;;
  floor) run_floor ;;
  lists) run_lists ;;
  rules) run_rules ;;
  memory) run_memory ;;
  callgrind) run_callgrind ;;
  *) echo "unknown part: $only" >&2; exit 1 ;;
esac
