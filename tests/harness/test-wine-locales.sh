#!/usr/bin/env bash
# Runs the cross-built unit tests under Wine as a Japanese, an English and a German system
# and checks that the regional settings are read as each system reports them, and that every
# message box reads the same as on a Japanese system (the system's own code-page conversions).
#   tests/harness/test-wine-locales.sh [gtest filter]     (default: those suites)
#   tests/harness/test-wine-locales.sh -k PATTERN         the tests whose name holds PATTERN
# Builds build/win64 first when its test program is missing. Ends with the totals of all
# three runs in GoogleTest's own summary form.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
exe="$root/build/win64/tests/aq_unit_tests.exe"
. "$root/tests/harness/common.sh"
filter="${1:-OsLocaleWin.*:MomentFormat*:MomentParse*:RegionalLoad.*:EveryBox.*}"
[ "${1:-}" = -k ] && filter="*${2:-}*"
if [ ! -f "$exe" ]; then
  (cmake --preset win64 >/dev/null && cmake --build --preset win64 --target aq_unit_tests -j"$(nproc)") || exit 1
fi
status=0
for pair in ja:ja_JP.UTF-8 en:en_US.UTF-8 de:de_DE.UTF-8; do
  expect="${pair%%:*}"
  locale="${pair#*:}"
  echo "== $locale (AQ_EXPECT_LOCALE=$expect)"
  log="$(mktemp)"
  LC_ALL="$locale" AQ_EXPECT_LOCALE="$expect" timeout 600 "$root/tests/harness/wine-run.sh" "$exe" \
    --gtest_filter="$filter" --gtest_color=no >"$log" 2>&1
  rc=$?
  grep -E '^\[  (FAILED|PASSED|SKIPPED) |Failure|^\[==========\]' "$log" | grep -v ' ms)$' || true
  tally "$log" "$rc"
  if [ "$rc" -ne 0 ]; then
    status=1
    [ -n "$count_failed" ] || tail -n 30 "$log"
  fi
  rm -f "$log"
done
echo "[==========] all three systems"
echo "[  PASSED  ] $passed tests."
echo "[  FAILED  ] $failed tests."
exit $status
