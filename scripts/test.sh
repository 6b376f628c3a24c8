#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the linux, windows and
# sanitizer presets, and runs every test of each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

status=0
for preset in linux windows sanitize; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
for preset in linux windows sanitize; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
done
exit $status
