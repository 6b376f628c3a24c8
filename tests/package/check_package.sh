#!/usr/bin/env bash
# The release package tested as a user installs it. Makes the zip twice, in two
# build folders, and checks that the two are the same bytes; unpacks it into an
# empty plug-in folder and, with only the zip's files there:
#   a host stand-in named vellmox.exe (the zip's cobbleweave-scan.exe under the
#     proxy's name, standing outside the plug-in folder) loads the plug-in from
#     the folder and scores the example messages with an empty configuration
#     folder, so the plug-in falls back to the default_filters.dat beside it;
#   the zip's cobbleweave-scan.exe, run from the plug-in folder, does the same;
# both must give what the linux build gives on the same messages and rules. The
# two programs must import system DLLs only.
# Needs the linux preset built and a wine server started (scripts/wine-run.sh
# --start-server). Usage: check_package.sh (from anywhere).
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
cd "$repo"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() {
  echo "ok: $*"
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/cobbleweave-installed.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# --- Two builds from one commit, in two folders: the same zip (both are dated
# with the commit's time; a commit made between the two would differ).
scripts/package.sh --no-setup --out build/dist >/dev/null
# The second from scratch in another folder: a build path that found its way into
# a binary would show.
scripts/package.sh --no-setup --build-dir "$scratch/windows-release" --out "$scratch/dist-again" \
  >/dev/null
zips=(build/dist/cobbleweave-*-win32.zip)
[ ${#zips[@]} -eq 1 ] || { echo "FAIL: not one zip in build/dist: ${zips[*]}" >&2; exit 1; }
zip=${zips[0]}
again="$scratch/dist-again/$(basename "$zip")"
if cmp -s "$zip" "$again"; then
  pass "two builds give the same zip ($(sha256sum <"$zip" | cut -c1-16)...)"
else
  fail "$zip and a second build's zip differ"
fi
if (cd build/dist && sha256sum -c --quiet SHA256SUMS); then
  pass "SHA256SUMS matches the zip"
else
  fail "SHA256SUMS does not match the zip"
fi

# --- Installed: a plug-in folder with the zip's files only, an empty configuration.
# The zip holds these and nothing else.
expected="CHANGES.txt
LICENSE.txt
README.txt
THIRD-PARTY-NOTICES.txt
cobbleweave-scan.exe
cobbleweave.dll
$(cd examples/config && ls default_filters.dat *.txt)"
install="$scratch/Vellmox"
plugins="$install/plugins"
mkdir -p "$plugins" "$install/config" "$install/config-scan"
python3 -m zipfile -e "$zip" "$plugins"
if [ "$(ls "$plugins" | sort)" = "$(sort <<<"$expected")" ]; then
  pass "unpacked into an empty plug-in folder: the programs, the rules, their lists and the documents"
else
  fail "the zip unpacks to: $(ls "$plugins" | tr '\n' ' ')"
fi
if grep -q $'[^\r]$' "$plugins/README.txt"; then
  fail "README.txt has lines without CR LF"
fi

# --- Imports: system DLLs only, no runtime DLL beside the plug-in.
objdump=i686-w64-mingw32-objdump
for binary in cobbleweave.dll cobbleweave-scan.exe; do
  imports=$("$objdump" -p "$plugins/$binary" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
  foreign=$(grep -v -i -x -E 'kernel32|user32|gdi32|shell32|comctl32|comdlg32|advapi32|msvcrt|ole32|oleaut32|version|shlwapi|ws2_32|api-ms-win-[a-z0-9-]+' \
    <<<"$(sed 's/\.dll$//I' <<<"$imports")" || true)
  if [ -z "$imports" ]; then
    fail "$binary: no import table found"
  elif [ -n "$foreign" ]; then
    fail "$binary imports non-system DLLs: $(tr '\n' ' ' <<<"$foreign")"
  else
    pass "$binary imports only $(tr '\n' ' ' <<<"$imports")"
  fi
done

# --- The examples, scored by the linux build with the same shipped rules.
# Lines reduced to the message's file name and what follows it, CR removed.
# The status tag's id counts the time of the scan: it is left out.
normalised() {
  tr -d '\r' | sed -E 's#^[^\t]*[/\\]([^/\\\t]+)\t#\1\t#; s#(\tQUELT [^\t]*)ID\#[0-9-]+$#\1ID#'
}
reference_config="$scratch/linux-config"
mkdir -p "$reference_config"
build/linux/cobbleweave-scan --config "$reference_config" --headers examples/messages 2>/dev/null \
  | normalised >"$scratch/linux.txt"
[ -s "$scratch/linux.txt" ] || fail "the linux build scored nothing"

windows_path() {
  local path=$1
  echo "Z:${path//\//\\}"
}
cp "$plugins/cobbleweave-scan.exe" "$install/vellmox.exe"
scripts/wine-run.sh "$install/vellmox.exe" --plugin "$(windows_path "$plugins/cobbleweave.dll")" \
  --config "$(windows_path "$install/config")" --headers "$(windows_path "$repo/examples/messages")" \
  2>/dev/null | normalised >"$scratch/vellmox.txt" || true
if [ -s "$scratch/vellmox.txt" ] && diff -u "$scratch/linux.txt" "$scratch/vellmox.txt"; then
  pass "vellmox.exe loads the installed plug-in; its default rules score the examples as on linux"
else
  fail "vellmox.exe with the installed plug-in scores the examples otherwise than linux"
fi
if [ -e "$install/config/filters.dat" ] || ! grep -q -a 'default_filters.dat' "$install/config/cobbleweave.log"; then
  fail "the plug-in did not read the default_filters.dat beside it"
fi

scripts/wine-run.sh "$plugins/cobbleweave-scan.exe" --config "$(windows_path "$install/config-scan")" \
  --headers "$(windows_path "$repo/examples/messages")" 2>/dev/null | normalised >"$scratch/scan.txt" || true
if [ -s "$scratch/scan.txt" ] && diff -u "$scratch/linux.txt" "$scratch/scan.txt"; then
  pass "the zip's cobbleweave-scan.exe scores the examples as on linux"
else
  fail "the zip's cobbleweave-scan.exe scores the examples otherwise than linux"
fi
if scripts/wine-run.sh "$plugins/cobbleweave-scan.exe" --version | tr -d '\r' \
  | grep -q -x -F "cobbleweave-scan $(basename "$zip" | sed -E 's/^cobbleweave-(.*)-win32\.zip$/\1/')"; then
  pass "cobbleweave-scan --version names the package's version"
else
  fail "cobbleweave-scan --version does not name the package's version"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "the package passes"
