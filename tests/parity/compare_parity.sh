#!/usr/bin/env bash
# Runs the parity session (parity_host.cpp) through the linux library and through
# the i686 DLL under Wine, and compares what each produced byte for byte: the
# transcript (MessageStatus fields and added lines of every message), the log of
# the first half and cobbleweave.log as it ends, statistics.dat and
# statistics.txt. Masked first: the log's time stamps, match ids (they hold the
# time) and the configuration folder, whose path differs between the two (the
# two paths have the same length, so the log is cut at the same places).
#   compare_parity.sh LINUX_HOST LIBRARY WINE_RUN WINDOWS_HOST DLL DATA EXAMPLES WORK
set -euo pipefail
linux_host=$1 library=$2 wine_run=$3 windows_host=$4 dll=$5 data=$6 examples=$7 work=$8

if [ ! -x "$linux_host" ] || [ ! -f "$library" ]; then
  echo "the linux side is not built: build the linux preset first ($linux_host)" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$work/linux" "$work/win"
# Wine maps drive Z: to the root of the file system.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

"$linux_host" "$library" "$data" "$examples" "$work/linux/" "$work/linux.transcript"
"$wine_run" "$windows_host" "$(windows_path "$dll")" "$(windows_path "$data")" \
  "$(windows_path "$examples")" "$(windows_path "$work/win/")" \
  "$(windows_path "$work/win.transcript")"

# mask FILE FOLDER: writes FILE.masked.
mask() {
  FOLDER=$2 LC_ALL=C perl -pe '
    s/^\d\d [A-Z][a-z]{2} \d\d  \d\d:\d\d:\d\d  /<time>  /;
    s/ID#\d{9}-\d{2}/ID#<id>/g;
    s/\Q$ENV{FOLDER}\E/<folder>/g;' "$1" >"$1.masked"
}

status=0
compare() {
  local name=$1 linux_file=$2 windows_file=$3
  if [ ! -f "$linux_file" ] || [ ! -f "$windows_file" ]; then
    echo "FAIL $name: missing ($linux_file, $windows_file)"
    status=1
  elif cmp -s "$linux_file" "$windows_file"; then
    echo "same $name ($(wc -c <"$linux_file") bytes)"
  else
    echo "FAIL $name differs (< linux, > i686 under Wine):"
    diff -a "$linux_file" "$windows_file" | head -40
    status=1
  fi
}

mask "$work/linux.transcript" "$work/linux/"
mask "$work/win.transcript" "$(windows_path "$work/win/")"
compare transcript "$work/linux.transcript.masked" "$work/win.transcript.masked"
for log in first-half.log cobbleweave.log; do
  mask "$work/linux/$log" "$work/linux/"
  mask "$work/win/$log" "$(windows_path "$work/win/")"
  compare "$log" "$work/linux/$log.masked" "$work/win/$log.masked"
done
compare statistics.dat "$work/linux/statistics.dat" "$work/win/statistics.dat"
compare statistics.txt "$work/linux/statistics.txt" "$work/win/statistics.txt"
exit $status
