#!/usr/bin/env bash
# Runs a 32-bit Windows program (PE32) under an emulated 32-bit Wine, in the current folder,
# and passes its exit code through: the 32-bit counterpart of tests/harness/wine-run.sh.
#   tests/harness/wine32-run.sh dist/win32/AutoQuillmer.exe [ARGS...]
#   tests/harness/wine32-run.sh --setup        only make sure the Wine root exists; prints its folder
#   tests/harness/wine32-run.sh --env          prints the variables that run the emulated Wine
#                                        (the emulator, the root, a ready-made prefix)
#
# This machine's kernel runs no 32-bit code, so the i386 build of Debian's Wine runs under
# qemu-i386 (user mode). Nothing is installed into the system: on first use the .deb files
# are fetched with a private apt configuration and unpacked into a cache folder
#   ${AQ_WINE32_CACHE:-~/.cache/auto-quillmer/wine32}/{qemu,root}
# which later runs reuse; an incomplete folder is made again. A new prefix is a copy of one
# made there once (prefix-seed, a Japanese system): booting one takes minutes emulated.
# The same knobs as wine-run.sh: AQ_WINEPREFIX (default $TMPDIR/aq-wine32-unit), DISPLAY,
# WINEDEBUG, WINEDLLOVERRIDES. AQ_CLOCK_AT (Unix seconds) stands the clock still at that
# moment for the programs started, AQ_CLOCK_FROM runs it from there, AQ_CLOCK_SHIFT
# (seconds) moves it; see wine32-clock.c.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cache="${AQ_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/auto-quillmer/wine32}"
qemu_dir="$cache/qemu"
root="$cache/root"
stamp="$cache/complete"
seed="$cache/prefix-seed"
qemu="$qemu_dir/usr/bin/qemu-i386"
windows_dlls="$root/usr/lib/i386-linux-gnu/wine/i386-windows"

# The i386 packages of the root. Wine only recommends the X libraries, and the font makes
# Japanese boxes readable.
root_packages=(wine32:i386 libgnutls30:i386 libxcomposite1:i386 libxcursor1:i386 libxfixes3:i386
  libxi6:i386 libxinerama1:i386 libxrandr2:i386 libxrender1:i386 libxxf86vm1:i386
  fonts-ipafont-gothic)

fail() {
  echo "wine32-run.sh: $*" >&2
  exit 1
}

# apt-get with its own state, cache, sources and an empty dpkg status: it fetches .deb files
# for an architecture the system does not have, and leaves the system's apt alone.
private_apt() {
  local arch="$1"
  shift
  local dir="$cache/apt-$arch"
  mkdir -p "$dir/lists/partial" "$dir/archives/partial" "$dir/parts"
  : >"$dir/status"
  apt-get -q -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch" \
    -o "Dir::State=$dir" -o "Dir::State::Lists=$dir/lists" -o "Dir::State::status=$dir/status" \
    -o "Dir::Cache=$dir" -o "Dir::Cache::archives=$dir/archives" \
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" \
    -o "Dir::Etc::sourcelist=$cache/sources.list" -o "Dir::Etc::sourceparts=$dir/parts" \
    -o "Debug::NoLocking=1" -o "APT::Sandbox::User=root" "$@"
}

# The machine's own Debian archive and suites, plus the backports suite (qemu-user 10: the
# release's 7.2 needs close to a minute per start of Wine).
write_sources() {
  local codename mirror
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  [ -n "$codename" ] || fail "no Debian release name in /etc/os-release"
  mirror="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
    grep -oE 'https?://[^ ]+/debian/?( |$)' | head -n 1 | tr -d ' ' || true)"
  mirror="${mirror:-http://deb.debian.org/debian}"
  {
    for suite in "$codename" "$codename-updates" "$codename-backports"; do
      echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} $suite main"
    done
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/debian*}/debian-security $codename-security main"
  } >"$cache/sources.list"
}

# Makes every absolute symbolic link under a folder relative, so that it stays inside it.
relative_links() {
  local top="$1" link target
  while IFS= read -r -d '' link; do
    target="$(readlink "$link")"
    case "$target" in
      /*) ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$top$target")" "$link" ;;
    esac
  done < <(find "$top" -type l -print0)
}

build_root() {
  command -v apt-get >/dev/null || fail "apt-get is missing: the Wine root is made from Debian packages"
  command -v dpkg-deb >/dev/null || fail "dpkg-deb is missing"
  command -v gcc >/dev/null || fail "gcc is missing (for the clock library of the root)"
  echo "wine32-run.sh: making the 32-bit Wine root in $cache (once)" >&2
  rm -rf "$qemu_dir" "$root" "$stamp"
  mkdir -p "$cache"
  write_sources
  # A mirror caught in the middle of a sync serves an index of the wrong size for a while:
  # the lists are fetched again a few times. A suite whose list still cannot be had is left
  # out (apt goes on with the others); the fetch of the packages then tells whether they
  # were all to be had.
  local arch try
  for arch in i386 amd64; do
    : >"$cache/apt-$arch.log"
    for try in 1 2 3; do
      private_apt "$arch" update >>"$cache/apt-$arch.log" 2>&1 && break
      if [ "$try" -eq 3 ]; then
        echo "wine32-run.sh: not every package list for $arch could be had; going on without it (see $cache/apt-$arch.log)" >&2
        break
      fi
      sleep $((try * 15))
    done
  done
  private_apt i386 install -y -d --no-install-recommends "${root_packages[@]}" >>"$cache/apt-i386.log" 2>&1 ||
    fail "could not fetch ${root_packages[*]} (see $cache/apt-i386.log)"
  private_apt amd64 install -y -d --no-install-recommends -t "$(. /etc/os-release && echo "$VERSION_CODENAME")-backports" \
    qemu-user >>"$cache/apt-amd64.log" 2>&1 || fail "could not fetch qemu-user from backports (see $cache/apt-amd64.log)"

  local deb
  mkdir -p "$qemu_dir" "$root"
  for deb in "$cache"/apt-amd64/archives/qemu-user_*.deb; do
    dpkg-deb -x "$deb" "$qemu_dir"
  done
  [ -x "$qemu" ] || fail "qemu-user holds no qemu-i386"
  for deb in "$cache"/apt-i386/archives/*.deb; do
    dpkg-deb -x "$deb" "$root"
  done
  [ -f "$root/usr/lib/wine/wine" ] || fail "wine32:i386 holds no usr/lib/wine/wine"
  relative_links "$root"

  # The emulated loader must find the root's libraries, never the host's.
  mkdir -p "$root/etc"
  echo 'include /etc/ld.so.conf.d/*.conf' >"$root/etc/ld.so.conf"
  ldconfig -r "$root" 2>/dev/null || fail "ldconfig -r $root failed"

  # Wine starts its other processes through the preloader and the server by its path in
  # its own folder: both run under the emulator.
  cat >"$root/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
exec "$qemu" -L "$root" "\$@"
EOF
  cat >"$root/usr/lib/wine/wineserver" <<EOF
#!/bin/sh
exec "$qemu" -L "$root" "$root/usr/lib/wine/wineserver32" "\$@"
EOF
  chmod +x "$root/usr/lib/wine/wine-preloader" "$root/usr/lib/wine/wineserver"

  echo "$root" >"$stamp"
}

# user32 needs zlib1.dll, which Debian ships in libz-mingw-w64 and which libwine's
# installation script puts among Wine's own DLLs, marked as one of them (bytes 64 to 95 of
# the image say "Wine builtin DLL"): the loader takes nothing else from that folder, so an
# unmarked copy is "not found" while a prefix boots. Unpacking runs no installation script;
# this does what it does. Made again when the mark is missing.
zlib_marked() {
  [ "$(dd if="$windows_dlls/zlib1.dll" bs=1 skip=64 count=16 2>/dev/null | tr -d '\0')" = "Wine builtin DLL" ]
}
builtin_zlib() {
  local zlib="$root/usr/i686-w64-mingw32/lib/zlib1.dll" target="$windows_dlls/zlib1.dll"
  zlib_marked && return 0
  [ -f "$zlib" ] || fail "no i686 zlib1.dll in the root"
  [ -d "$windows_dlls" ] || fail "no i386-windows DLL folder in the root"
  {
    head -c 64 "$zlib"
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 "$zlib"
  } >"$target.new"
  mv "$target.new" "$target"
}

# The clock library, loaded into every emulated process: inert unless AQ_CLOCK_AT or
# AQ_CLOCK_SHIFT is set. Made again whenever its source changes.
build_clock() {
  local lib="$root/usr/lib/aq-clock.so"
  [ -f "$lib" ] && [ "$lib" -nt "$here/wine32-clock.c" ] && return 0
  gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -fno-stack-protector -Wall -Werror \
    -o "$lib.new" "$here/wine32-clock.c" || fail "could not build the clock library"
  mv "$lib.new" "$lib"
  echo /usr/lib/aq-clock.so >"$root/etc/ld.so.preload"
}

# The root is complete when the stamp and what every run needs are there.
root_ready() {
  [ -f "$stamp" ] && [ -x "$qemu" ] && [ -f "$root/usr/lib/wine/wine" ] &&
    [ -x "$root/usr/lib/wine/wineserver" ] && [ -f "$root/etc/ld.so.cache" ]
}

# The prefix that new prefixes are copied from, made with a Japanese system.
make_seed() {
  [ -f "$seed/.complete" ] && return 0
  echo "wine32-run.sh: making a prefix to copy in $seed (once)" >&2
  rm -rf "$seed"
  mkdir -p "$seed"
  (
    unset DISPLAY AQ_CLOCK_AT AQ_CLOCK_FROM AQ_CLOCK_SHIFT
    export WINEPREFIX="$seed" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADERNOEXEC=1
    export WINESERVER="$root/usr/lib/wine/wineserver" LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
    "$here/wine-prefix.sh" "$qemu" -L "$root" "$root/usr/lib/wine/wine"
  ) || exit 1
  touch "$seed/.complete"
}

ensure_root() {
  root_ready && zlib_marked && [ "$root/usr/lib/aq-clock.so" -nt "$here/wine32-clock.c" ] &&
    [ -f "$seed/.complete" ] && return 0
  mkdir -p "$cache"
  exec 9>"$cache.lock"
  flock 9
  root_ready || build_root
  builtin_zlib
  build_clock
  make_seed
  exec 9>&-
}

wine_env() {
  export WINEPREFIX="${AQ_WINEPREFIX:-${TMPDIR:-/tmp}/aq-wine32-unit}"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  export WINELOADERNOEXEC=1
  export WINESERVER="$root/usr/lib/wine/wineserver"
}

prefix_ready() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/zlib1.dll" ]
}

ensure_prefix() {
  prefix_ready && return 0
  mkdir -p "$WINEPREFIX"
  exec 8>"$WINEPREFIX/../.$(basename "$WINEPREFIX").lock"
  flock 8
  if ! prefix_ready; then
    cp -a "$seed/." "$WINEPREFIX/"
    rm -f "$WINEPREFIX/.complete"
  fi
  exec 8>&-
}

case "${1:-}" in
  "")
    echo "usage: wine32-run.sh PROGRAM [ARGS...] | --setup | --env" >&2
    exit 2
    ;;
  --setup)
    ensure_root
    echo "$root"
    exit 0
    ;;
  --env)
    ensure_root
    echo "AQ_WINE32_QEMU=$qemu"
    echo "AQ_WINE32_ROOT=$root"
    echo "AQ_WINE32_SEED=$seed"
    exit 0
    ;;
esac
ensure_root
wine_env
ensure_prefix
exec "$qemu" -L "$root" "$root/usr/lib/wine/wine" "$@"
