#!/usr/bin/env bash
# Makes a Wine prefix for the tests in $WINEPREFIX: boots it with the Wine given as the
# command (default: wine; its server is $WINESERVER, default wineserver), waits for the
# server to write the registry, and turns off the just-in-time debugger and the crash
# dialog, so that a crash ends the program instead of opening a window. The one maker of
# the tests' prefixes: tests/harness/wine-run.sh, the seed of tests/harness/wine32-run.sh and
# tests/harness/wine.py use it.
#   WINEPREFIX=/some/prefix tests/harness/wine-prefix.sh [WINE COMMAND...]
set -euo pipefail
[ "$#" -gt 0 ] || set -- wine
server="${WINESERVER:-wineserver}"
fail() {
  echo "wine-prefix.sh: $*" >&2
  exit 1
}

mkdir -p "$WINEPREFIX"
"$@" wineboot -i >/dev/null 2>&1 || true # the emulated Wine ends with 53 on a complete prefix
# The registry files are written when the server ends, not when wineboot returns.
"$server" -w || true
[ -f "$WINEPREFIX/system.reg" ] || fail "wineboot made no prefix in $WINEPREFIX"

settings="$(mktemp --suffix=.reg)"
trap 'rm -f "$settings"' EXIT
printf '%s\r\n' 'REGEDIT4' '' \
  '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]' \
  '"Debugger"="C:\\windows\\no-debugger.exe"' '"Auto"="1"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' >"$settings"
"$@" regedit /S "Z:${settings//\//\\}" >/dev/null 2>&1 || fail "regedit could not import $settings"
"$server" -w || true
grep -q 'no-debugger' "$WINEPREFIX/system.reg" || fail "the debugger setting is not in $WINEPREFIX"
