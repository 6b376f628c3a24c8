#!/usr/bin/env bash
# Scores the training folders of the public corpus (scripts/fetch-corpus.sh:
# spam-1, easy-ham-1 and the odd-numbered half of hard-ham-1) with the shipped
# rules and prints the hit statistics: every rule's hits in spam and in ham,
# recall and false positives, per folder too. With --json FILE it also writes
# the hit matrix; with --fit it fits the shipped scores to those folders.
#
#   bench/training-hits.sh                      the table
#   bench/training-hits.sh --json build/training-hits.json
#   bench/training-hits.sh --fit [OUT]          the figures before and after
#                                               the fit; the fitted rule file
#                                               to OUT, else to standard output
#
# Making the shipped scores, and checking that the file holds them:
#
#   bench/training-hits.sh --fit examples/config/default_filters.dat
#   bench/training-hits.sh --fit | cmp - examples/config/default_filters.dat
#
# The configuration folder is an empty scratch folder, so the plug-in reads
# the default_filters.dat that the build puts beside it, as a new user's does.
set -euo pipefail

mode=(); json=""
case "${1:-}" in
  --json) json=$(realpath -m "${2:?"--json needs a file name"}") ;;
  --fit) mode=(--fit ${2:+"$(realpath -m "$2")"}) ;;
  "") ;;
  *) echo "usage: $0 [--json FILE | --fit [OUT]]" >&2; exit 1 ;;
esac

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

corpus=$(scripts/fetch-corpus.sh)
cmake --preset linux >/dev/null
cmake --build --preset linux --target cobbleweave_scan shipped_rule_lists >/dev/null

config=$(mktemp -d "${TMPDIR:-/tmp}/cobbleweave-training.XXXXXX")
trap 'rm -rf "$config"' EXIT
scan=(build/linux/cobbleweave-scan --config "$config" --spam "$corpus/spam-1"
      --ham "$corpus/easy-ham-1" --ham "$corpus/hard-ham-1-odd")
if [ -n "$json" ]; then
  "${scan[@]}" --json >"$json"
  echo "hit matrix written to $json" >&2
else
  "${scan[@]}" "${mode[@]}"
fi
