#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in the project's own test prefix
# (made on first use by wine-prefix.sh), with no add-on installers and no crash dialog.
set -euo pipefail
export WINEPREFIX="${AQ_WINEPREFIX:-${TMPDIR:-/tmp}/aq-wine-unit}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$(dirname "$0")/wine-prefix.sh" wine
fi
exec wine "$@"
