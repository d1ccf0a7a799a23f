#!/usr/bin/env bash
# End-to-end tests of the Windows program: builds the 64-bit and 32-bit programs and the
# test helpers, then runs the same cases (tests/e2e/run_e2e.py) against the real 64-bit program under Wine and
# against the 32-bit release program under the emulated 32-bit Wine
# (scripts/test/wine32-run.sh), both with Xvfb. AQ_E2E_TARGETS="win64" (or "win32") runs one.
# Arguments go to run_e2e.py (e.g. -k both_cancel, --skip-tag workbook, -v, --keep).
# Needs no display and no standard input. Ends with one line "N passed, N failed".
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)" --target "${@:2}"
}

failed=0
passed=0
if ! build win64 AutoQuillmer e2e_helpers aqfaults; then
  echo "the win64 build failed"
  failed=$((failed + 1))
fi
if ! build win32 AutoQuillmer; then
  echo "the win32 build failed"
  failed=$((failed + 1))
fi
targets="${AQ_E2E_TARGETS:-win64 win32}"
if [[ " $targets " == *" win32 "* ]] && ! build win32-tests e2e_helpers aqfaults; then
  echo "the win32-tests build (the 32-bit helpers) failed"
  failed=$((failed + 1))
fi

skipped=0
for target in $targets; do
  e2e_log="$(mktemp)"
  python3 tests/e2e/run_e2e.py --target "$target" "$@" </dev/null | tee "$e2e_log"
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$e2e_log" | tail -n 1)
  rm -f "$e2e_log"
  if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3 | tr -d ,)))
    skipped=$((skipped + $(echo "$line" | grep -oE '[0-9]+ skipped' | cut -d' ' -f1 || echo 0)))
  else
    failed=$((failed + 1))
  fi
done

if [ "$skipped" -gt 0 ]; then
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
