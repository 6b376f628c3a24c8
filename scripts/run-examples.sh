#!/usr/bin/env bash
# The main job from a fresh clone: installs what is missing (scripts/setup.sh),
# builds, and scores the example messages with the shipped rules. The rules and
# their lists are copied into a scratch folder first, with default_filters.dat
# as the user's filters.dat, so the repository stays clean: the plug-in writes
# its log and statistics only there. Safe to run again.
#   run-examples.sh [--windows] [cobbleweave-scan OPTION]...
# With --windows the product itself does the work: the i686 cobbleweave-scan.exe
# and cobbleweave.dll of the windows preset, under 32-bit Wine.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

windows=0
if [ "${1:-}" = "--windows" ]; then
  windows=1
  shift
fi

scripts/setup.sh
config=$(mktemp -d "${TMPDIR:-/tmp}/cobbleweave-examples.XXXXXX")
trap 'rm -rf "$config"' EXIT
cp examples/config/* "$config/"
mv "$config/default_filters.dat" "$config/filters.dat"

if [ "$windows" -eq 1 ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target cobbleweave_scan shipped_rule_lists >/dev/null
  # Wine maps drive Z: to the root of the file system.
  scripts/wine-run.sh build/windows/cobbleweave-scan.exe --config "Z:${config//\//\\}" \
    --headers "$@" examples/messages
else
  cmake --preset linux >/dev/null
  cmake --build --preset linux >/dev/null
  build/linux/cobbleweave-scan --config "$config" --headers "$@" examples/messages
fi
