#!/usr/bin/env bash
# Checks that the source folders import only downwards:
#
#   host            the host interface (exports, identity and host checks)
#   ui              the dialogs (Windows only)
#   engine          scan, compiled rule set, patterns, matchers, fetch table
#   config, mime    configuration and message decoding (not each other)
#   base            module state and locks, options, log writer
#   common          text operations, number texts, host records
#   platform        the Win32 and POSIX sides
#
# A file may include from its own folder and from folders of lower layers only,
# and <windows.h> only on the Win32 side of the platform layer and in the dialogs.
# A dialog header that the host interface includes must not include <windows.h>
# either, or the exports would get it through that header.
# Usage: check_layers.sh SOURCE_FOLDER (the repository's src). Prints every
# offending include; exits 1 when there is one.
set -euo pipefail
src=${1:?usage: check_layers.sh SOURCE_FOLDER}

layer_of() {
  case "$1" in
    host) echo 6 ;;
    ui) echo 5 ;;
    engine) echo 4 ;;
    config|mime) echo 3 ;;
    base) echo 2 ;;
    common) echo 1 ;;
    platform) echo 0 ;;
    *) echo -1 ;;
  esac
}

includes_windows_h() {
  grep -Eqi '^[[:space:]]*#[[:space:]]*include[[:space:]]*<windows\.h>' "$1"
}

status=0
while IFS= read -r file; do
  folder=${file#"$src"/}
  folder=${folder%%/*}
  own=$(layer_of "$folder")
  if [ "$own" -lt 0 ]; then
    echo "$file: folder '$folder' belongs to no layer"
    status=1
    continue
  fi
  while IFS= read -r included; do
    target=${included%%/*}
    [ "$target" = "$folder" ] && continue
    layer=$(layer_of "$target")
    if [ "$layer" -lt 0 ] || [ "$layer" -ge "$own" ]; then
      echo "$file: includes $included from the same or a higher layer"
      status=1
    elif [ "$target" = ui ] && [ -f "$src/$included" ] && includes_windows_h "$src/$included"; then
      echo "$file: includes $included, which includes <windows.h>"
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  if includes_windows_h "$file"; then
    case "$file" in
      "$src"/platform/platform_win32.cpp|"$src"/ui/*) ;;
      *) echo "$file: includes <windows.h> outside the Win32 platform side and the dialogs"; status=1 ;;
    esac
  fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
exit $status
