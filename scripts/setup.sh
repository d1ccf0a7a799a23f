#!/usr/bin/env bash
# Installs what Auto Quillmer needs on a Debian machine (as root, or through sudo). Packages
# already present are left as they are.
#   scripts/setup.sh           building and running the Linux program (scripts/demo.sh)
#   scripts/setup.sh --tests   that and everything the tests and the release need (scripts/test.sh)
set -euo pipefail
# Building the Linux program and running it: its dialogs (zenity) and the opener of the workbook.
packages=(
  cmake make g++                                # the Linux build
  zenity                                        # the message boxes as dialogs
  xdg-utils                                     # the Linux program opens the workbook with xdg-open
)
# The tests, the Windows programs and the release.
test_packages=(
  python3                                       # the checks and the release scripts
  libgtest-dev libgmock-dev googletest          # unit tests (googletest: its sources, for the cross build)
  libbenchmark-dev                              # benchmarks
  clang libclang-rt-14-dev clang-format         # fuzzing (libFuzzer with the sanitizers), formatting
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64                                   # runs the Windows programs (64-bit only)
  xvfb faketime locales-all                     # a display, a fixed clock and the regional settings for the tests
  zip unzip                                     # the release package
  python3-markdown                              # the guides as HTML pages in the packages
  libglib2.0-bin                                # gio launch: starts the Linux autostart entry as a desktop would
  python3-pefile                                # reads the built Windows programs back in the checks
  python3-uno gnumeric poppler-utils            # the workbooks in LibreOffice and Gnumeric, their pictures
  default-jdk-headless libapache-poi-java       # the workbooks read record by record and worked out by Apache POI
  fonts-ipafont-gothic                          # Japanese glyphs for the pictures (in place of the workbooks' font)
  exfatprogs exfat-fuse                         # the saves on a file system without hard links
)
# Programs that more than one package provides: the package is installed only when the program is missing
# (LibreOffice without its windows, which a desktop's LibreOffice serves as well; Node.js with npm for
# the workbook check by Excel's rules, tests/templates/package.json).
commands=(soffice:libreoffice-calc-nogui node:nodejs npm:npm)
case "${1:-}" in
  --tests) packages+=("${test_packages[@]}") ;;
  "") commands=() ;;
  *)
    echo "usage: scripts/setup.sh [--tests]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
for c in "${commands[@]}"; do
  command -v "${c%%:*}" >/dev/null 2>&1 || missing+=("${c#*:}")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
