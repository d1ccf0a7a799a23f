#!/usr/bin/env bash
# Makes the root that the released Linux program is built against (preset linux-release,
# cmake/linux-glibc-2.31.cmake) and prints its path: the C library, the kernel headers, the C++
# library and the GCC support libraries of Debian 11 "bullseye" (glibc 2.31, GCC 10), so that
# the program asks for no glibc newer than 2.31. Nothing is installed into the system: the
# packages are fetched with a private apt configuration from the bullseye suite itself (no
# updates, so the same files every time) and unpacked into a cache folder, which later runs
# reuse: ${XDG_CACHE_HOME:-~/.cache}/auto-quillmer/sysroot-bullseye (about 30 MB to fetch).
set -euo pipefail
cache="${XDG_CACHE_HOME:-$HOME/.cache}/auto-quillmer/sysroot-bullseye"
root="$cache/root"
packages=(libc6 libc6-dev linux-libc-dev libcrypt1 libcrypt-dev libgcc-s1 libgcc-10-dev libstdc++6 libstdc++-10-dev)
if [ ! -f "$root/.complete" ]; then
  rm -rf "$cache"
  mkdir -p "$cache/apt/lists/partial" "$cache/apt/archives/partial" "$cache/apt/parts"
  : >"$cache/apt/status"
  mirror="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
    grep -oE 'https?://[^ ]+/debian/?( |$)' | head -n 1 | tr -d ' ' || true)"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror:-http://deb.debian.org/debian} bullseye main" \
    >"$cache/sources.list"
  apt_private() {
    apt-get -q -o APT::Architecture=amd64 -o "Dir::State=$cache/apt" -o "Dir::State::Lists=$cache/apt/lists" \
      -o "Dir::State::status=$cache/apt/status" -o "Dir::Cache=$cache/apt" -o "Dir::Cache::archives=$cache/apt/archives" \
      -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o "Dir::Etc::sourcelist=$cache/sources.list" \
      -o "Dir::Etc::sourceparts=$cache/apt/parts" -o Debug::NoLocking=1 -o APT::Sandbox::User=root "$@"
  }
  if ! { apt_private update && apt_private install -y -d --no-install-recommends "${packages[@]}"; } >"$cache/apt.log" 2>&1; then
    echo "linux-sysroot.sh: could not fetch the Debian 11 packages (see $cache/apt.log)" >&2
    exit 1
  fi
  mkdir -p "$root"
  for p in "${packages[@]}"; do
    dpkg-deb -x "$(ls "$cache"/apt/archives/"${p}"_*.deb)" "$root"
  done
  # Absolute links (/lib64/ld-linux-x86-64.so.2 among them) point inside the root.
  while IFS= read -r -d '' link; do
    target="$(readlink "$link")"
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$target")" "$link"
  done < <(find "$root" -type l -lname '/*' -print0)
  rm -rf "$cache/apt/archives" "$cache/apt/lists"
  touch "$root/.complete"
fi
echo "$root"
