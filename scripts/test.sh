#!/usr/bin/env bash
# Sets up the machine and runs the tests of Auto Quillmer, stage by stage:
#   format    the sources are laid out as .clang-format says; src/platform/os/ includes
#             nothing above it
#   linux     unit tests and fault cases of the native Linux build, its start-at-sign-in
#             entry; killed saves, starts at once, the settings file's situations and a run on
#             exFAT (a loop device through FUSE; said and passed over where it cannot mount);
#             the demo (scripts/demo.sh) with and without a terminal, its words held to its folder
#   win64     the same cross-built for Windows x86_64 and run under Wine (the real-layer
#             fault table too), with a Japanese, an English and a German system
#   win32     the unit tests, the real-layer fault table and the fault program cross-built
#             for x86 and run under the emulated 32-bit Wine (tests/harness/wine32-run.sh
#             makes its cached root on first use)
#   programs  the 32-bit and 64-bit Windows programs' headers, imports and resources, what a
#             same-day start of each loads under Wine (kernel32 and msvcrt only), and
#             the icon as scripts/release/make_icon.py draws it; prints the programs' sizes
#   e2e       end-to-end tests of the real Windows programs, 64-bit under Wine and the
#             32-bit release program under the emulated Wine, with Xvfb
#   release   the shipped templates (their figures in LibreOffice, Gnumeric and by Excel's
#             rules), the release package, the shipped Linux program at work (glibc 2.31),
#             and a second build of the release
#             in a clone that must give the same bytes
#   bench     a short run of every benchmark, printing its figures
#   fuzz      a short run of every fuzz target
#   scripts/test.sh              every stage
#   scripts/test.sh e2e linux    only the stages named
#   scripts/test.sh linux -k PATTERN   only the cases whose name holds PATTERN (letter case
#                                ignored; GoogleTest: *PATTERN*), in every stage named; a step
#                                with no cases of its own runs when its name holds it
#   scripts/test.sh --fresh ...  (or AQ_FRESH=1) a rehearsal of a new machine: an empty cache
#                                folder (the emulated Wine is fetched and made again) and new
#                                Wine prefixes, in a temporary folder removed at the end; the
#                                machine's own caches and prefixes are neither used nor touched
# Every step runs under its own time limit: a step that outlives it is ended (SIGINT, then
# SIGKILL), counted as a failure that names it and the case it was in where its runner says,
# and the run goes on. Ends with one line "N passed, N failed". Needs no display and no
# standard input.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tests/harness/common.sh

fresh="${AQ_FRESH:-}"
stages=()
pattern=""
while [ "$#" -gt 0 ]; do
  case "$1" in
    --fresh) fresh=1 ;;
    -k)
      [ "$#" -ge 2 ] || { echo "-k wants a pattern" >&2; exit 2; }
      pattern="$2"
      shift
      ;;
    *) stages+=("$1") ;;
  esac
  shift
done
set -- "${stages[@]}"
# How the pattern reaches the runners: "-k PATTERN" for the repository's own, a filter for
# GoogleTest and Google Benchmark programs.
k=() gtest=() gbench=()
if [ -n "$pattern" ]; then
  k=(-k "$pattern")
  gtest=("--gtest_filter=*$pattern*")
  gbench=("--benchmark_filter=$pattern")
fi
# A step with no cases of its own runs under -k when its name holds the pattern.
named() { [ -z "$pattern" ] || [[ "${1,,}" == *"${pattern,,}"* ]]; }
if [ -n "$fresh" ] && [ "$fresh" != 0 ]; then
  fresh_dir="$(mktemp -d "${TMPDIR:-/tmp}/aq-fresh-XXXXXX")"
  export XDG_CACHE_HOME="$fresh_dir/cache" TMPDIR="$fresh_dir/tmp"
  unset AQ_WINE32_CACHE AQ_WINEPREFIX
  mkdir -p "$XDG_CACHE_HOME" "$TMPDIR"
  # Laid out as /tmp is: the checks that run as another user reach their folders here too.
  chmod 755 "$fresh_dir"
  chmod 1777 "$TMPDIR"
  # The Wine servers of the prefixes made here end before their folders go.
  fresh_cleanup() {
    [ -d "$TMPDIR/aq-wine-unit" ] && python3 -m tests.harness.wine --plain --prefix "$TMPDIR/aq-wine-unit"
    [ -d "$TMPDIR/aq-wine32-unit" ] && python3 -m tests.harness.wine --plain --wine32 --prefix "$TMPDIR/aq-wine32-unit"
    rm -rf "$fresh_dir"
  }
  trap fresh_cleanup EXIT
  echo "A new machine's run: caches in $XDG_CACHE_HOME, Wine prefixes in $TMPDIR (removed at the end)"
fi

all_stages=(format linux win64 win32 programs e2e release bench fuzz)
if [ "$#" -gt 0 ]; then
  for name in "$@"; do
    if [[ ! " ${all_stages[*]} " == *" $name "* ]]; then
      echo "unknown stage: $name (stages: ${all_stages[*]})" >&2
      exit 2
    fi
  done
  wanted=("$@")
else
  wanted=("${all_stages[@]}")
fi
wants() { [[ " ${wanted[*]} " == *" $1 "* ]]; }

bash scripts/setup.sh --tests || exit 1

failures=()
log_dir="$root/build/test-logs"
mkdir -p "$log_dir"

# Runs one step into its log under a time limit of LIMIT seconds; shows the log's end when
# it fails. A step that outlives its limit gets SIGINT (the checks' clean-up runs), and
# SIGKILL 30 s later; the last case GoogleTest began, or else the last line the step printed,
# says where it was.
#   step LIMIT NAME COMMAND...
step() {
  local limit="$1" name="$2"
  shift 2
  echo "== $name"
  local log="$log_dir/${name// /-}.log" status=0 began=$SECONDS
  timeout -s INT -k 30 "$limit" bash -c '"$@"' "$name" "$@" >"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -eq 0 ]; then
    echo "   ok ($((SECONDS - began)) s)"
    return 0
  fi
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    local last
    last=$(grep -E '^\[ RUN      \] ' "$log" | tail -n 1)
    [ -n "$last" ] || last=$(grep -v '^[[:space:]]*$' "$log" | tail -n 1)
    echo "$name: timed out after $limit s, in: ${last:-(nothing printed)}" | tee -a "$log" | sed 's/^/   /'
  fi
  echo "   FAILED after $((SECONDS - began)) s (log: $log)"
  tail -n 60 "$log" | sed 's/^/   | /'
  failures+=("$name")
  return 1
}

# Runs one step and counts it: counted LIMIT NAME COMMAND...
counted() {
  local status=0
  step "$@" || status=$?
  tally "$log_dir/${2// /-}.log" "$status"
}

# A build is a prerequisite, not a test: it counts only when it fails.
built() {
  step 1800 "$1 build" cmake_build "$1" && return 0
  failed=$((failed + 1))
  return 1
}
cmake_build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)"
}

format_check() {
  git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
}
# The floor stands on nothing above it: src/platform/os/ includes only its own headers.
floor_check() {
  ! grep -nE '^\s*#\s*include\s*"' src/platform/os/* | grep -vE '"platform/os/[^"/]+"'
}
# The steps run in a child shell of their own, under timeout.
export -f cmake_build format_check floor_check

if wants format; then
  named format && counted 300 "format" format_check
  named "os floor includes" && counted 60 "os floor includes" floor_check
fi

if wants linux && built linux; then
  counted 900 "linux unit tests" build/linux/tests/aq_unit_tests "${gtest[@]}"
  named "linux real-layer faults" && counted 900 "linux real-layer faults" \
    env AQ_REAL_FAULTS=1 build/linux/tests/aq_unit_tests --gtest_filter='RealFaults*'
  counted 600 "linux faults" python3 tests/faults/run_faults.py "${k[@]}" build/linux/tests/faults/aqfaults
  counted 600 "linux autostart" python3 tests/e2e/check_autostart_linux.py "${k[@]}" dist/linux/AutoQuillmer
  counted 1200 "linux saves" python3 tests/saves/run_saves.py "${k[@]}"
  # The README's first command as a newcomer runs it, without a display: in a new folder with no
  # terminal to answer in, in a terminal (Type-1, do not open), then again without one and with
  # /open. The demo holds its own words to what its folder holds afterwards.
  named "linux demo" && counted 600 "linux demo" env -u DISPLAY -u WAYLAND_DISPLAY bash -c 'rm -rf dist/linux/demo &&
    bash scripts/demo.sh </dev/null && printf "y\nn\n" | script -qec "bash scripts/demo.sh" /dev/null &&
    bash scripts/demo.sh </dev/null && bash scripts/demo.sh /open </dev/null'
fi

if wants win64 && built win64; then
  counted 1200 "win64 unit tests under Wine" \
    env LC_ALL=ja_JP.UTF-8 tests/harness/wine-run.sh build/win64/tests/aq_unit_tests.exe "${gtest[@]}"
  named "win64 real-layer faults" && counted 900 "win64 real-layer faults under Wine" \
    env AQ_REAL_FAULTS=1 LC_ALL=ja_JP.UTF-8 tests/harness/wine-run.sh \
    build/win64/tests/aq_unit_tests.exe --gtest_filter='RealFaults*'
  counted 900 "win64 faults under Wine" python3 tests/faults/run_faults.py "${k[@]}" \
    --wine tests/harness/wine-run.sh build/win64/tests/faults/aqfaults.exe
  counted 1200 "win64 regional settings under Wine" tests/harness/test-wine-locales.sh "${k[@]}"
fi

# The emulated 32-bit Wine: its root is made once and kept in a cache folder (a few minutes
# on a fresh machine); a failure here names what is missing.
if wants win32; then
  status=0
  step 2400 "win32 emulated Wine setup" tests/harness/wine32-run.sh --setup || status=$?
  tally "$log_dir/win32-emulated-Wine-setup.log" "$status"
  if [ "$status" -eq 0 ] && built win32-tests; then
    # One session holds the prefix through both steps: a program waits in it meanwhile, so
    # that Wine's own processes stay up (starting them again emulated takes minutes). The
    # steps begin once the session has made the prefix (it marks itself ready), and it ends
    # when its flag file goes.
    session_flag="$log_dir/win32-session"
    rm -f "$session_flag.ready"
    : >"$session_flag"
    LC_ALL=ja_JP.UTF-8 python3 -m tests.harness.wine --plain --wine32 \
      --prefix "${AQ_WINEPREFIX:-${TMPDIR:-/tmp}/aq-wine32-unit}" --keeper "build/win32-tests/e2e/aqprobe.exe wait" \
      bash -c ': >"$0.ready"; while [ -e "$0" ]; do sleep 1; done' "$session_flag" </dev/null \
      >"$log_dir/win32-session.log" 2>&1 &
    session=$!
    for _ in $(seq 600); do
      [ -e "$session_flag.ready" ] || ! kill -0 "$session" 2>/dev/null && break
      sleep 1
    done
    counted 2400 "win32 unit tests under emulated Wine" \
      env LC_ALL=ja_JP.UTF-8 tests/harness/wine32-run.sh build/win32-tests/tests/aq_unit_tests.exe "${gtest[@]}"
    named "win32 real-layer faults" && counted 1800 "win32 real-layer faults under emulated Wine" \
      env AQ_REAL_FAULTS=1 LC_ALL=ja_JP.UTF-8 tests/harness/wine32-run.sh \
      build/win32-tests/tests/aq_unit_tests.exe --gtest_filter='RealFaults*'
    counted 1800 "win32 faults under emulated Wine" python3 tests/faults/run_faults.py "${k[@]}" \
      --wine tests/harness/wine32-run.sh --emulated build/win32-tests/tests/faults/aqfaults.exe
    rm -f "$session_flag"
    wait "$session"
    rm -f "$session_flag.ready"
  fi
fi

if wants programs && { [ -f dist/win64/AutoQuillmer.exe ] || built win64; } && built win32; then
  counted 300 "headers and imports" python3 tests/program/check_pe.py "${k[@]}"
  counted 1200 "same-day start loads" python3 tests/program/check_loads.py "${k[@]}"
  counted 300 "resources" python3 tests/program/check_resources.py "${k[@]}" \
    dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe
  named icon && counted 300 "icon" bash -c 'python3 scripts/release/make_icon.py "$1" && cmp "$1" src/AutoQuillmer.ico' \
    icon "$log_dir/AutoQuillmer.ico"
  stat -c '   size of %n: %s bytes' dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe
fi

if wants e2e; then
  counted 3000 "end-to-end" tests/harness/test-e2e.sh "${k[@]}"
fi

if wants release; then
  counted 600 "check_templates" python3 tests/templates/check_templates.py "${k[@]}"
  # The workbooks opened, filled and printed in LibreOffice (the guides' pictures come from the
  # same check), and worked out in LibreOffice, Gnumeric and by Excel's rules (HyperFormula from
  # npm, Apache POI).
  counted 1800 "check_engines" bash -c 'npm ci --prefix tests/templates --no-audit --no-fund --silent &&
    /usr/bin/python3 tests/templates/check_engines.py "$@"' check_engines "${k[@]}"
  counted 1200 "check_package" python3 tests/package/check_package.py "${k[@]}"
  # The shipped Linux program (glibc 2.31, built by the package step) at work.
  counted 600 "linux-release autostart" python3 tests/e2e/check_autostart_linux.py "${k[@]}" \
    dist/linux-release/AutoQuillmer
  counted 2400 "check_reproducible" python3 tests/package/check_reproducible.py "${k[@]}"
fi

# The benchmarks print figures and judge nothing; a short run keeps them working.
if wants bench && { [ -x build/linux/datetime_bench ] || built linux; }; then
  counted 600 "benchmarks" bash -c 'for b in build/linux/*_bench; do "$b" --benchmark_min_time=0.01 "$@" || exit 1; done' \
    benchmarks "${gbench[@]}"
  named "start-up benchmark" && counted 1200 "start-up benchmark" env RUNS=20 WINE_RUNS=60 WINE32_RUNS=20 bench/bench-startup.sh
fi

if wants fuzz; then
  for target in fuzz/*_fuzz.cpp; do
    name="$(basename "$target" .cpp)"
    named "fuzz $name" && counted 600 "fuzz $name" env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" tests/harness/fuzz.sh "$name"
  done
fi

echo
if [ "${#failures[@]}" -gt 0 ]; then
  echo "Failed stages: ${failures[*]}"
fi
tally_line
[ "${#failures[@]}" -eq 0 ] && [ "$failed" -eq 0 ]
