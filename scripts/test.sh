#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the linux, windows, wine
# and sanitizer presets, and runs every test of each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

presets=(linux windows wine sanitize)
for preset in "${presets[@]}"; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The wine preset runs the Win32 side of the code under wine64.
scripts/wine-run.sh --start-server
trap 'scripts/wine-run.sh --stop-server' EXIT

status=0
for preset in "${presets[@]}"; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
done
exit $status
