#!/usr/bin/env bash
# Scores the training folders of the public corpus (scripts/fetch-corpus.sh)
# with the shipped rules and prints the hit statistics: every rule's hits in
# spam and in ham, recall and false positives. With --json FILE it also writes
# the hit matrix that tools/fit_scores.py fits the scores to.
#
#   bench/training-hits.sh                      the table
#   bench/training-hits.sh --json build/training-hits.json
#
# The configuration folder is an empty scratch folder, so the plug-in reads
# the default_filters.dat that the build puts beside it, as a new user's does.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

json=""
if [ "${1:-}" = "--json" ]; then
  json=${2:?"--json needs a file name"}
fi

corpus=$(scripts/fetch-corpus.sh)
cmake --preset linux >/dev/null
cmake --build --preset linux --target cobbleweave_scan shipped_rule_lists >/dev/null

config=$(mktemp -d "${TMPDIR:-/tmp}/cobbleweave-training.XXXXXX")
trap 'rm -rf "$config"' EXIT
scan=(build/linux/cobbleweave-scan --config "$config"
      --spam "$corpus/spam-1" --ham "$corpus/easy-ham-1")
if [ -n "$json" ]; then
  "${scan[@]}" --json >"$json"
  echo "hit matrix written to $json" >&2
else
  "${scan[@]}"
fi
