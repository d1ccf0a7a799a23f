#!/usr/bin/env bash
# Sets up the machine and runs every test of Auto Quillmer:
#   1. unit tests of the Linux build (native), and its start-at-sign-in entry; killed saves,
#      two starts at once and the settings file's situations with the Linux program;
#   2. the same unit tests cross-built for Windows x86_64 and run under Wine, with a
#      Japanese, an English and a German system;
#   3. the 32-bit and 64-bit Windows programs' headers and imports; the unit tests and the
#      fault program cross-built for x86 and run under the emulated 32-bit Wine
#      (scripts/wine32-run.sh, which makes its cached root on first use);
#   4. end-to-end tests of the real Windows programs, 64-bit under Wine and the 32-bit
#      release program under the emulated Wine, with Xvfb; the shipped templates and the
#      release package, and a second build of the release in a clone that must give the
#      same bytes;
#   5. a short run of every fuzz target.
# Ends with one line "N passed, N failed". Needs no display and no standard input.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh || exit 1

passed=0
failed=0
failures=()
log_dir="$root/build/test-logs"
mkdir -p "$log_dir"

# Adds the counts of a GoogleTest run from its log.
count_gtest() {
  local log="$1" p f
  p=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$log" | tail -n 1 | grep -oE '[0-9]+' | head -n 1)
  f=$(grep -E '^\[  FAILED  \] [0-9]+ test' "$log" | tail -n 1 | grep -oE '[0-9]+' | head -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
}

# Adds the counts of a run that ends with "N passed, N failed".
count_plain() {
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
  else
    failed=$((failed + 1))
  fi
}

stage() {
  local name="$1"
  shift
  echo "== $name"
  local log="$log_dir/${name// /-}.log"
  if "$@" >"$log" 2>&1; then
    echo "   ok"
    return 0
  fi
  echo "   FAILED (log: $log)"
  tail -n 60 "$log" | sed 's/^/   | /'
  failures+=("$name")
  return 1
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)"
}

# 0. The sources are laid out as .clang-format says.
format_check() {
  git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
}
if stage "format" format_check; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

# 1. Linux
if stage "linux build" build linux; then
  stage "linux unit tests" build/linux/tests/aq_unit_tests
  count_gtest "$log_dir/linux-unit-tests.log"
  stage "linux faults" python3 tests/faults/run_faults.py build/linux/tests/faults/aqfaults
  count_plain "$log_dir/linux-faults.log"
  stage "linux autostart" python3 tests/e2e/check_autostart_linux.py dist/linux/AutoQuillmer
  count_plain "$log_dir/linux-autostart.log"
  stage "linux saves" python3 tests/saves/run_saves.py
  count_plain "$log_dir/linux-saves.log"
else
  failed=$((failed + 1))
fi

# 2. Windows x86_64 under Wine
if stage "win64 build" build win64; then
  stage "win64 unit tests under Wine" env LC_ALL=ja_JP.UTF-8 scripts/wine-run.sh build/win64/tests/aq_unit_tests.exe
  count_gtest "$log_dir/win64-unit-tests-under-Wine.log"
  stage "win64 faults under Wine" python3 tests/faults/run_faults.py --wine scripts/wine-run.sh build/win64/tests/faults/aqfaults.exe
  count_plain "$log_dir/win64-faults-under-Wine.log"
  if [ -x scripts/test-wine-locales.sh ]; then
    stage "win64 regional settings under Wine" scripts/test-wine-locales.sh
    count_gtest "$log_dir/win64-regional-settings-under-Wine.log"
  fi
else
  failed=$((failed + 1))
fi

# 3. Windows x86 (the release program)
stage "win32 build" build win32 || failed=$((failed + 1))
if [ -f dist/win32/AutoQuillmer.exe ] && [ -f dist/win64/AutoQuillmer.exe ]; then
  stage "resources" python3 tests/resources/check_resources.py dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe
  count_plain "$log_dir/resources.log"
fi
# The emulated 32-bit Wine: its root is made once and kept in a cache folder (a few minutes
# on a fresh machine); a failure here names what is missing.
if stage "win32 emulated Wine setup" scripts/wine32-run.sh --setup; then
  passed=$((passed + 1))
  if stage "win32 tests build" build win32-tests; then
    # One program waits in the prefix meanwhile, so that Wine's own processes stay up.
    LC_ALL=ja_JP.UTF-8 scripts/wine32-run.sh build/win32-tests/e2e/aqprobe.exe wait </dev/null >/dev/null 2>&1 &
    keeper=$!
    stage "win32 unit tests under emulated Wine" env LC_ALL=ja_JP.UTF-8 scripts/wine32-run.sh build/win32-tests/tests/aq_unit_tests.exe
    count_gtest "$log_dir/win32-unit-tests-under-emulated-Wine.log"
    stage "win32 faults under emulated Wine" python3 tests/faults/run_faults.py --wine scripts/wine32-run.sh --emulated build/win32-tests/tests/faults/aqfaults.exe
    count_plain "$log_dir/win32-faults-under-emulated-Wine.log"
    kill "$keeper" 2>/dev/null
    wait "$keeper" 2>/dev/null
  else
    failed=$((failed + 1))
  fi
else
  failed=$((failed + 1))
fi

# 4. End to end
if [ -x scripts/test-e2e.sh ]; then
  if stage "end-to-end" scripts/test-e2e.sh; then :; fi
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log_dir/end-to-end.log" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
  else
    failed=$((failed + 1))
  fi
fi

# 4b. The shipped templates, the release package and the same release from a second build
# (each prints "N passed, N failed")
for check in tests/templates/check_templates.py tests/package/check_package.py tests/package/check_reproducible.py; do
  name="$(basename "$check" .py)"
  stage "$name" python3 "$check" || true
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log_dir/$name.log" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
  else
    failed=$((failed + 1))
  fi
done

# 5. Fuzzing smoke runs
if ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  for target in fuzz/*_fuzz.cpp; do
    name="$(basename "$target" .cpp)"
    if stage "fuzz $name" env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" scripts/fuzz.sh "$name"; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
    fi
  done
fi

echo
if [ "${#failures[@]}" -gt 0 ]; then
  echo "Failed stages: ${failures[*]}"
fi
echo "$passed passed, $failed failed"
[ "${#failures[@]}" -eq 0 ] && [ "$failed" -eq 0 ]
