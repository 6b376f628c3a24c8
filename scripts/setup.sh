#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Cobbleweave:
# the Debian packages, and PCRE2 cross-built for MinGW from Debian's own source
# package into build/deps. Idempotent; silent when nothing is missing.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
deps="$repo/build/deps"
pcre2_version=10.42
pcre2_debian=10.42-1
pcre2_prefix="$deps/pcre2-mingw-i686"

packages=(g++ cmake make ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpcre2-dev g++-mingw-w64-i686 binutils-mingw-w64-i686 dpkg-dev xz-utils bzip2)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    as_root apt-get update -qq >/dev/null
    apt_updated=1
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

if [ ! -f "$pcre2_prefix/lib/libpcre2-8.a" ]; then
  echo "setup: cross-building PCRE2 $pcre2_version for MinGW i686"
  src_list=/etc/apt/sources.list.d/cobbleweave-deb-src.sources
  if [ ! -f "$src_list" ]; then
    as_root tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt_updated=0
  fi
  apt_update
  mkdir -p "$deps/src"
  cd "$deps/src"
  if ! ls pcre2_"$pcre2_version".orig.tar.* >/dev/null 2>&1; then
    # apt warns when it downloads as root into a folder _apt cannot read; harmless.
    apt-get source -qq --download-only "pcre2=$pcre2_debian" >/dev/null 2>&1 ||
      apt-get source -qq --download-only "pcre2=$pcre2_debian"
  fi
  rm -rf "pcre2-$pcre2_version"
  tar -xf pcre2_"$pcre2_version".orig.tar.*
  cd "pcre2-$pcre2_version"
  CC=i686-w64-mingw32-gcc AR=i686-w64-mingw32-ar RANLIB=i686-w64-mingw32-ranlib \
  STRIP=i686-w64-mingw32-strip ./configure -q --host=i686-w64-mingw32 --prefix="$pcre2_prefix" \
    --disable-shared --enable-static --disable-pcre2grep-libz --disable-pcre2grep-libbz2 \
    --disable-pcre2test-libreadline CFLAGS="-O2" >/dev/null
  make -s -j"$(nproc)" libpcre2-8.la >/dev/null 2>&1
  make -s install-libLTLIBRARIES install-nodist_includeHEADERS install-includeHEADERS \
    >/dev/null 2>&1 || true
  mkdir -p "$pcre2_prefix/include" "$pcre2_prefix/lib"
  cp -f src/pcre2.h "$pcre2_prefix/include/"
  cp -f .libs/libpcre2-8.a "$pcre2_prefix/lib/"
  cd "$repo"
  rm -rf "$deps/src/pcre2-$pcre2_version"
fi
