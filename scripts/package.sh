#!/usr/bin/env bash
# Makes the release package a Windows user downloads: builds the windows-release
# preset (cobbleweave.dll and cobbleweave-scan.exe, stripped, without build paths
# or time stamps) and writes build/dist/cobbleweave-VERSION-win32.zip with the two
# programs, the shipped rules and their lists, the user guide as README.txt, the
# changes, the licence and the notices of everything linked in, and SHA256SUMS
# beside it. Built twice from one commit, the zip is the same bytes: its entries
# are sorted and dated with the commit's time.
#   package.sh [--no-setup] [--build-dir FOLDER] [--out FOLDER]
# --build-dir builds in another folder than build/windows-release (the test run
# builds twice to compare); --no-setup skips scripts/setup.sh.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

build=build/windows-release
out=build/dist
setup=1
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) setup=0; shift ;;
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    *) echo "package.sh: unknown argument $1" >&2; exit 1 ;;
  esac
done

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

if [ "$setup" -eq 1 ]; then
  bash scripts/setup.sh
fi

echo "== building the release binaries in $build"
cmake --preset windows-release -B "$build" --no-warn-unused-cli >/dev/null
cmake --build "$build" --target cobbleweave cobbleweave_scan -j2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
dll="$build/cobbleweave.dll"
exe="$build/cobbleweave-scan.exe"

# --- What the binaries must be before anyone gets them.
dll_bytes=$(stat -c %s "$dll")
[ "$dll_bytes" -lt 1048576 ] || fail "cobbleweave.dll has $dll_bytes bytes, 1 MB or more"
for binary in "$dll" "$exe"; do
  if grep -q -a -F "$repo" "$binary"; then
    fail "$binary holds the build path $repo"
  fi
done
# Every static library the link maps name must have its notice below.
maps=("$build/cobbleweave.map" "$build/tools/cobbleweave_scan.map")
archives=$(sed -n 's/^\(\/[^ ()]*\.a\)(.*/\1/p' "${maps[@]}" | sort -u)
[ -n "$archives" ] || fail "no archive in the link maps ${maps[*]}"
while IFS= read -r archive; do
  case "$archive" in
    */pcre2-mingw-i686/lib/libpcre2-8.a) ;;                          # PCRE2
    /usr/lib/gcc/i686-w64-mingw32/*) ;;                              # GCC runtime
    /usr/i686-w64-mingw32/lib/*) ;;                                  # MinGW-w64 runtime
    *) fail "linked in from $archive: add its licence to THIRD-PARTY-NOTICES.txt" ;;
  esac
done <<<"$archives"

# --- The package's files, text with CR LF line ends.
stage=$(mktemp -d "${TMPDIR:-/tmp}/cobbleweave-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
crlf() {
  sed 's/\r$//; s/$/\r/' "$@"
}
cp "$dll" "$exe" "$stage/"
cp examples/config/default_filters.dat examples/config/*.txt "$stage/"
crlf docs/user-guide.md >"$stage/README.txt"
crlf CHANGES.md >"$stage/CHANGES.txt"
crlf LICENSE >"$stage/LICENSE.txt"

pcre2_source=$(ls build/deps/src/pcre2_*.orig.tar.gz | head -n 1)
[ -f "$pcre2_source" ] || fail "no PCRE2 source package in build/deps/src (scripts/setup.sh)"
section() {
  printf '\n%s\n%s\n\n' "$1" "$(printf '%*s' ${#1} '' | tr ' ' '=')"
}
{
  echo "Cobbleweave $version: notices of the software linked into cobbleweave.dll and"
  echo "cobbleweave-scan.exe. Both programs are linked statically with the libraries"
  echo "below; their licences ask that binary distributions carry these notices."
  section "PCRE2 (regular expressions), from its source: LICENCE"
  tar -xzOf "$pcre2_source" --wildcards '*/LICENCE'
  section "The GCC runtime libraries (libgcc, libstdc++): GPL 3 with the GCC Runtime Library Exception"
  echo "The libraries are distributed under the GCC Runtime Library Exception, which"
  echo "permits these binaries to carry any licence. The Debian copyright file of the"
  echo "compiler that built them, with the exception's text, follows."
  echo
  cat /usr/share/doc/gcc-mingw-w64-base/copyright
  section "The MinGW-w64 runtime (C runtime start-up, mingwex, winpthreads)"
  cat /usr/share/doc/mingw-w64-common/copyright
  section "The GNU General Public License, version 3 (named above)"
  cat /usr/share/common-licenses/GPL-3
} | crlf >"$stage/THIRD-PARTY-NOTICES.txt"

# --- The zip: sorted entries, the commit's time, no owner or permission bits.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
mkdir -p "$out"
zip_name="cobbleweave-$version-win32.zip"
python3 - "$stage" "$out/$zip_name" "$epoch" <<'PYTHON'
import os
import sys
import time
import zipfile

stage, target, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip cannot date before 1980
with zipfile.ZipFile(target + ".part", "w") as archive:
    for name in sorted(os.listdir(stage)):
        entry = zipfile.ZipInfo(name, date_time=stamp)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.create_system = 0  # MS-DOS: no unix owner or mode bits
        entry.external_attr = 0
        with open(os.path.join(stage, name), "rb") as source:
            archive.writestr(entry, source.read(), compresslevel=9)
os.replace(target + ".part", target)
PYTHON
(cd "$out" && sha256sum "$zip_name" >SHA256SUMS)
echo "== $out/$zip_name"
cat "$out/SHA256SUMS"
