#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in the project's own test prefix
# (made on first use), with no add-on installers and no crash dialog.
set -euo pipefail
export WINEPREFIX="${AQ_WINEPREFIX:-${TMPDIR:-/tmp}/aq-wine-unit}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  # No just-in-time debugger: a crash ends the program instead of opening a dialog.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'C:\windows\no-debugger.exe' /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  wineserver -w || true
fi
exec wine "$@"
