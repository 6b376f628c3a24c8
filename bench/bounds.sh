#!/usr/bin/env bash
# The bounds on work and memory, measured with rules and lists a user could
# write, run by hand (not a test: the figures depend on the machine):
#
#   bench/bounds.sh [--only work|memory] [--big]
#
# work    runaway rules: one Body: rule of wide bounded repeats on one line of
#         4 KB, 16 KB and 64 KB of "a"; three such rules on 600 bytes; 50 Line:
#         rules on 300 lines of 200 bytes. Processor time of the whole run and
#         the log lines that name what was cut.
# memory  one configuration holding a 1,000,000-entry list (B_INCLUDE_SENDER,
#         B_INCLUDE_SUBJECT, B_INCLUDE_REG_SENDER with plain addresses,
#         B_INCLUDE_REG_SUBJECT with entries holding \s+), or 200,000 rule
#         lines: load time (processor) and peak resident memory of a run over
#         one small message. With --big also 100 includes of a 1,000,000-entry
#         list under a 3 GB address-space limit (the bound across includes).
#
# Each run goes through cobbleweave-scan (COBBLEWEAVE_SCAN names another
# build of it, for before and after); files are made under build/bench/bounds.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work="$repo/build/bench/bounds"
only=""
big=false
while [ $# -gt 0 ]; do
  case "$1" in
    --only) only=$2; shift 2 ;;
    --big) big=true; shift ;;
    *) echo "usage: $0 [--only work|memory] [--big]" >&2; exit 2 ;;
  esac
done
if [ -z "${COBBLEWEAVE_SCAN:-}" ]; then
  (cd "$repo" && cmake --preset linux >/dev/null && cmake --build --preset linux >/dev/null)
fi
scan="${COBBLEWEAVE_SCAN:-$repo/build/linux/cobbleweave-scan}"
mkdir -p "$work"

# message FILE BODY-FILE: a plain message around a body.
message() {
  { printf 'From: someone@example.org\r\nTo: user@example.org\r\nSubject: hello\r\n\r\n'
    cat "$2"; } > "$1"
}

# run NAME FOLDER MESSAGE: one run; prints processor seconds and peak resident MB.
run() {
  local name=$1 folder=$2 msg=$3
  rm -f "$folder/cobbleweave.log"
  /usr/bin/time -o "$work/time.txt" -f '%U %S %M' "$scan" --config "$folder" "$msg" \
    >/dev/null 2>&1 || true
  read -r user sys rss < <(tail -1 "$work/time.txt")
  printf '%-44s %8.2f s processor %8.0f MB resident\n' "$name" \
    "$(echo "$user + $sys" | bc)" "$(echo "$rss / 1024" | bc)"
  if [ -f "$folder/cobbleweave.log" ]; then
    local log="$folder/cobbleweave.log"
    printf '    log: %d rule(s) stopped at their own budget, %d at the step limit\n' \
      "$(grep -a -c 'took more than' "$log" || true)" "$(grep -a -c 'MATCHLIMIT' "$log" || true)"
    grep -a -E 'rules took more|allocation failed|lists of this configuration hold|keeps the' "$log" | cut -c1-200 | sed 's/^/    log: /' || true
  fi
}

rules_folder() {  # FOLDER, rule lines on stdin
  mkdir -p "$1"
  { echo "THRESHOLD_SPAM 5.0"; cat; } > "$1/filters.dat"
}

if [ -z "$only" ] || [ "$only" = work ]; then
  echo "== runaway rules (processor time of the whole run)"
  rules_folder "$work/one-body" <<<'Body: 5 {[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]} [tb92]'
  for kb in 4 16 64; do
    head -c $((kb * 1024)) /dev/zero | tr '\0' a > "$work/body-$kb"
    message "$work/body-$kb.eml" "$work/body-$kb"
    run "one Body: rule, $kb KB body" "$work/one-body" "$work/body-$kb.eml"
  done
  rules_folder "$work/three-body" <<'RULES'
Body: 5 {[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]} [tb92]
Body: 5 {[a-z]{0,91}[a-z]{0,91}[a-z]{0,91}[a-z0-9][!?]} [tb91]
Body: 5 {[a-z]{0,90}[a-z]{0,90}[a-z]{0,90}[a-z0-9][!?]} [tb90]
RULES
  head -c 600 /dev/zero | tr '\0' a > "$work/body-600"
  message "$work/body-600.eml" "$work/body-600"
  run "three Body: rules, 600-byte body" "$work/three-body" "$work/body-600.eml"
  for i in $(seq 0 49); do
    echo "Line: 1 {[a-z]{0,40}[a-z]{0,40}[a-z]{0,40}[a-z0-9][!?#$((i % 10))]} [L$i]"
  done | rules_folder "$work/fifty-lines"
  for i in $(seq 1 300); do head -c 200 /dev/zero | tr '\0' a; printf '\r\n'; done > "$work/lines-300"
  message "$work/lines-300.eml" "$work/lines-300"
  run "50 Line: rules, 300 lines of 200 bytes" "$work/fifty-lines" "$work/lines-300.eml"
fi

if [ -z "$only" ] || [ "$only" = memory ]; then
  echo "== loading (processor time and peak resident memory of a run over one message)"
  printf 'hello\r\n' > "$work/small-body"
  message "$work/small.eml" "$work/small-body"
  lists="$work/lists"
  mkdir -p "$lists"
  [ -f "$lists/senders.txt" ] || awk 'BEGIN { for (i = 1; i <= 1000000; i++)
    printf "user%d@host%d.example.com\n", i, i % 997 }' > "$lists/senders.txt"
  [ -f "$lists/subjects.txt" ] || awk 'BEGIN { for (i = 1; i <= 1000000; i++)
    printf "cheap offer number %d now\n", i }' > "$lists/subjects.txt"
  [ -f "$lists/reg-subjects.txt" ] || awk 'BEGIN { for (i = 1; i <= 1000000; i++)
    printf "cheap\\s+offer\\s+number\\s+%d\n", i }' > "$lists/reg-subjects.txt"
  run "no list: the floor of the list runs below" "$work/one-body" "$work/small.eml"
  for kind in SENDER SUBJECT REG_SENDER REG_SUBJECT; do
    case $kind in
      SENDER|REG_SENDER) list=senders.txt ;;
      SUBJECT) list=subjects.txt ;;
      REG_SUBJECT) list=reg-subjects.txt ;;
    esac
    folder="$work/list-$kind"
    rules_folder "$folder" <<<"B_INCLUDE_$kind 1.0 $lists/$list"
    run "1,000,000-entry B_INCLUDE_$kind" "$folder" "$work/small.eml"
  done
  folder="$work/rules-200k"
  awk 'BEGIN { for (i = 1; i <= 200000; i++) printf "Subject: 1 {word%d\\s+here} [R]\n", i }' |
    rules_folder "$folder"
  run "200,000 rule lines" "$folder" "$work/small.eml"
  if $big; then
    folder="$work/hundred-lists"
    for i in $(seq 1 100); do echo "B_INCLUDE_SENDER 1.0 $lists/senders.txt"; done | rules_folder "$folder"
    ( ulimit -v 3000000; run "100 includes of 1,000,000 entries, 3 GB limit" "$folder" "$work/small.eml" )
  fi
fi
