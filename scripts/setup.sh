#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Cobbleweave:
# the Debian packages (compilers, GoogleTest, PCRE2, MinGW-w64, Wine), and PCRE2
# cross-built for MinGW from Debian's own source package into build/deps.
# Idempotent; silent when nothing is missing.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
deps="$repo/build/deps"
pcre2_version=10.42
pcre2_debian=10.42-1

packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          libpcre2-dev dpkg-dev xz-utils bzip2 time
          g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64)

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

fetch_pcre2_source() {
  if ls "$deps/src"/pcre2_"$pcre2_version".orig.tar.* >/dev/null 2>&1; then
    return
  fi
  local src_list=/etc/apt/sources.list.d/cobbleweave-deb-src.sources
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
  # apt warns when it downloads as root into a folder _apt cannot read; harmless.
  (cd "$deps/src" && { apt-get source -qq --download-only "pcre2=$pcre2_debian" >/dev/null 2>&1 ||
                       apt-get source -qq --download-only "pcre2=$pcre2_debian"; })
}

# Static PCRE2 with its JIT compiler for one MinGW target (i686 for the product,
# x86_64 for the Wine tests). The stamp names the build's version and options, so
# a build made by an older setup (without JIT) is made again.
build_pcre2_for() {
  local host=$1
  local prefix="$deps/pcre2-mingw-${host%%-*}"
  local stamp="$prefix/cobbleweave-build"
  local build="$pcre2_version jit"
  if [ -f "$prefix/lib/libpcre2-8.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$build" ]; then
    return
  fi
  rm -rf "$prefix"
  echo "setup: cross-building PCRE2 $pcre2_version with JIT for $host"
  fetch_pcre2_source
  local work="$deps/src/pcre2-$pcre2_version-$host"
  rm -rf "$work"
  mkdir -p "$work"
  tar -xf "$deps/src"/pcre2_"$pcre2_version".orig.tar.* -C "$work" --strip-components=1
  (
    cd "$work"
    CC=$host-gcc AR=$host-ar RANLIB=$host-ranlib STRIP=$host-strip \
      ./configure -q --host="$host" --prefix="$prefix" --disable-shared --enable-static --enable-jit \
      --disable-pcre2grep-libz --disable-pcre2grep-libbz2 --disable-pcre2test-libreadline \
      CFLAGS="-O2" > /dev/null 2> >(grep -v 'cross tools not prefixed' >&2)
    make -s -j"$(nproc)" libpcre2-8.la >/dev/null 2>&1
    mkdir -p "$prefix/include" "$prefix/lib"
    cp -f src/pcre2.h "$prefix/include/"
    cp -f .libs/libpcre2-8.a "$prefix/lib/"
  )
  echo "$build" > "$stamp"
  rm -rf "$work"
}

build_pcre2_for i686-w64-mingw32
build_pcre2_for x86_64-w64-mingw32
