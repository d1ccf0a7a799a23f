#!/usr/bin/env bash
# End-to-end tests of the Windows program: runs the same cases (tests/e2e/run_e2e.py) against
# the real 64-bit program under Wine and against the 32-bit release program under the
# emulated 32-bit Wine (tests/harness/wine32-run.sh), both with Xvfb. AQ_E2E_TARGETS="win64"
# (or "win32") runs one; each target builds only what it needs first (win64: the win64
# preset's program and helpers; win32: the release program and the win32-tests helpers).
# Arguments go to run_e2e.py (e.g. -k both_cancel, --skip-tag workbook, -v, --keep).
# Needs no display and no standard input. Ends with one line "N passed, N failed".
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
. tests/harness/common.sh

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)" --target "${@:2}"
}

build_target() {
  case "$1" in
    win64) build win64 AutoQuillmer e2e_helpers aqfaults ;;
    win32) build win32 AutoQuillmer && build win32-tests e2e_helpers aqfaults ;;
    *)
      echo "unknown target $1 (targets: win64 win32)"
      return 1
      ;;
  esac
}

for target in ${AQ_E2E_TARGETS:-win64 win32}; do
  if ! build_target "$target"; then
    echo "the $target build failed"
    failed=$((failed + 1))
    continue
  fi
  e2e_log="$(mktemp)"
  python3 tests/e2e/run_e2e.py --target "$target" "$@" </dev/null | tee "$e2e_log"
  tally "$e2e_log" "${PIPESTATUS[0]}"
  rm -f "$e2e_log"
done
tally_line
[ "$failed" -eq 0 ]
