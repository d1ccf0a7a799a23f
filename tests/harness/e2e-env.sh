#!/usr/bin/env bash
# Runs a command in the end-to-end tests' Wine world: a fresh prefix under /tmp with a
# Japanese system, Xvfb on a free display, no Mono/Gecko installers, no crash dialog.
# The command gets WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES, LC_ALL and TZ.
# Everything is taken down when it ends (--keep leaves the prefix folder).
#   tests/harness/e2e-env.sh bash                  # a shell to poke around in
#   tests/harness/e2e-env.sh wine build/win64/e2e/aqprobe.exe clock 'C:\t.txt'
# A fixed clock for a Windows program: libfaketime preloaded with FAKETIME='@2004-07-01 07:30:00',
# NO_FAKE_STAT=1, FAKETIME_DONT_FAKE_MONOTONIC=1 and a FAKETIME_SHARED of its own (not the
# faketime program, which leaves entries in /dev/shm); see FakeClock in tests/harness/wine.py.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/tests/harness/common.sh"
exec python3 -m tests.harness.wine "$@"
