#!/usr/bin/env bash
# The whole test run: installs what is missing (scripts/setup.sh), fetches the
# training mail (scripts/fetch-corpus.sh), builds the linux, windows, sanitize,
# tsan and fuzz presets, runs clang-tidy over the library and the tools (the
# tidy preset), and runs every test of each (tsan: the host-thread tests under
# ThreadSanitizer; fuzz: each libFuzzer driver over its seed corpus). The
# windows preset's tests run the i686 product under 32-bit Wine, on an Xvfb
# display, so that its message boxes are real. Then makes the release package
# (scripts/package.sh) twice and tests it as a user installs it
# (tests/package/check_package.sh). Ends with how long each part took.
set -euo pipefail
cd "$(dirname "$0")/.."

timings=()
part_started=$SECONDS
part_done() {
  timings+=("$(printf '%-32s %5d s' "$1" $((SECONDS - part_started)))")
  part_started=$SECONDS
}
report_timings() {
  echo "== time taken"
  printf '   %s\n' "${timings[@]}"
}

bash scripts/setup.sh
part_done "set-up"

# The training mail the differential tests scan (idempotent).
bash scripts/fetch-corpus.sh >/dev/null
part_done "training mail"

# linux first: the windows preset's parity test compares with its library.
presets=(linux windows sanitize tsan fuzz)
for preset in "${presets[@]}"; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  part_done "build $preset"
done

# clang-tidy over the library and the tools (.clang-tidy): a finding fails the
# run, after every test has had its turn.
echo "== tidy: clang-tidy over the library and the tools"
status=0
{ cmake --preset tidy >/dev/null && cmake --build --preset tidy; } || status=1
part_done "clang-tidy"

scripts/wine-run.sh --start-server
trap 'scripts/wine-run.sh --stop-server' EXIT
part_done "wine server and display"

for preset in "${presets[@]}"; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
  part_done "tests $preset"
done

echo "== package: built twice, tested as installed"
bash tests/package/check_package.sh || status=1
part_done "package"
report_timings
exit $status
