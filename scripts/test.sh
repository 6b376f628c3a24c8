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

# The dialog tests show real windows: on a display of their own, set before
# Wine's server starts, since Wine's desktop process keeps the display it began with.
display_number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_number" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$display_number" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$display_number")"
rm -f "$display_number"

# The wine preset runs the Win32 side of the code under wine64. A server left
# running would keep its own display.
scripts/wine-run.sh --stop-server
scripts/wine-run.sh --start-server
trap 'scripts/wine-run.sh --stop-server; kill $xvfb 2>/dev/null' EXIT

status=0
for preset in "${presets[@]}"; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
done
exit $status
