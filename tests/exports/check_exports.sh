#!/usr/bin/env bash
# Compares the names a built library exports with the expected list.
#   check_exports.sh pe  cobbleweave.dll    windows.txt [OBJDUMP]
#   check_exports.sh elf libcobbleweave.so  linux.txt
set -euo pipefail
kind=$1 library=$2 expected=$3 objdump=${4:-i686-w64-mingw32-objdump}

case "$kind" in
  pe)
    # The export name table lists one "[ n] name" line per exported name.
    actual=$("$objdump" -p "$library" |
      sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
    ;;
  elf)
    actual=$(nm -D --defined-only --format=posix "$library" | awk '{print $1}' | sort)
    ;;
  *)
    echo "unknown kind $kind" >&2
    exit 2
    ;;
esac

if ! diff <(sort "$expected") <(printf '%s\n' "$actual") >/tmp/export-diff.$$; then
  echo "exports of $library differ from $expected (< expected, > actual):"
  cat /tmp/export-diff.$$
  rm -f /tmp/export-diff.$$
  exit 1
fi
rm -f /tmp/export-diff.$$
echo "$(printf '%s\n' "$actual" | wc -l) exports, as expected"
