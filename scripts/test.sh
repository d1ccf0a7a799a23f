#!/usr/bin/env bash
# Sets up the machine and runs the tests of Auto Quillmer, stage by stage:
#   format    the sources are laid out as .clang-format says
#   linux     unit tests and fault cases of the native Linux build, its start-at-sign-in
#             entry; killed saves, starts at once, the settings file's situations and a run on
#             exFAT (a loop device through FUSE; said and passed over where it cannot mount);
#             the demo (scripts/demo.sh) with and without a terminal, its words held to its folder
#   win64     the same cross-built for Windows x86_64 and run under Wine, with a Japanese,
#             an English and a German system
#   win32     the unit tests and the fault program cross-built for x86 and run under the
#             emulated 32-bit Wine (tests/harness/wine32-run.sh makes its cached root on
#             first use)
#   programs  the 32-bit and 64-bit Windows programs' headers, imports and resources, and
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
#   scripts/test.sh --fresh ...  (or AQ_FRESH=1) a rehearsal of a new machine: an empty cache
#                                folder (the emulated Wine is fetched and made again) and new
#                                Wine prefixes, in a temporary folder removed at the end; the
#                                machine's own caches and prefixes are neither used nor touched
# Ends with one line "N passed, N failed". Needs no display and no standard input.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tests/harness/common.sh

fresh="${AQ_FRESH:-}"
stages=()
for name in "$@"; do
  if [ "$name" = --fresh ]; then
    fresh=1
  else
    stages+=("$name")
  fi
done
set -- "${stages[@]}"
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

# Runs one step into its log; shows the log's end when it fails.
step() {
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

# Runs one step and counts it.
counted() {
  local status=0
  step "$@" || status=$?
  tally "$log_dir/${1// /-}.log" "$status"
}

# A build is a prerequisite, not a test: it counts only when it fails.
built() {
  step "$1 build" cmake_build "$1" && return 0
  failed=$((failed + 1))
  return 1
}
cmake_build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)"
}

format_check() {
  git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
}

if wants format; then
  counted "format" format_check
fi

if wants linux && built linux; then
  counted "linux unit tests" build/linux/tests/aq_unit_tests
  counted "linux real-layer faults" env AQ_REAL_FAULTS=1 timeout 900 \
    build/linux/tests/aq_unit_tests --gtest_filter='RealFaults*'
  counted "linux faults" python3 tests/faults/run_faults.py build/linux/tests/faults/aqfaults
  counted "linux autostart" python3 tests/e2e/check_autostart_linux.py dist/linux/AutoQuillmer
  counted "linux saves" python3 tests/saves/run_saves.py
  # The README's first command as a newcomer runs it, without a display: in a new folder with no
  # terminal to answer in, in a terminal (Type-1, do not open), then again without one and with
  # /open. The demo holds its own words to what its folder holds afterwards.
  counted "linux demo" env -u DISPLAY -u WAYLAND_DISPLAY bash -c 'rm -rf dist/linux/demo &&
    bash scripts/demo.sh </dev/null && printf "y\nn\n" | script -qec "bash scripts/demo.sh" /dev/null &&
    bash scripts/demo.sh </dev/null && bash scripts/demo.sh /open </dev/null'
fi

if wants win64 && built win64; then
  counted "win64 unit tests under Wine" \
    env LC_ALL=ja_JP.UTF-8 tests/harness/wine-run.sh build/win64/tests/aq_unit_tests.exe
  counted "win64 faults under Wine" python3 tests/faults/run_faults.py \
    --wine tests/harness/wine-run.sh build/win64/tests/faults/aqfaults.exe
  counted "win64 regional settings under Wine" tests/harness/test-wine-locales.sh
fi

# The emulated 32-bit Wine: its root is made once and kept in a cache folder (a few minutes
# on a fresh machine); a failure here names what is missing.
if wants win32; then
  status=0
  step "win32 emulated Wine setup" tests/harness/wine32-run.sh --setup || status=$?
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
    counted "win32 unit tests under emulated Wine" \
      env LC_ALL=ja_JP.UTF-8 tests/harness/wine32-run.sh build/win32-tests/tests/aq_unit_tests.exe
    counted "win32 faults under emulated Wine" python3 tests/faults/run_faults.py \
      --wine tests/harness/wine32-run.sh --emulated build/win32-tests/tests/faults/aqfaults.exe
    rm -f "$session_flag"
    wait "$session"
    rm -f "$session_flag.ready"
  fi
fi

if wants programs && { [ -f dist/win64/AutoQuillmer.exe ] || built win64; } && built win32; then
  counted "headers and imports" python3 tests/program/check_pe.py
  counted "resources" python3 tests/program/check_resources.py \
    dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe
  counted "icon" bash -c 'python3 scripts/release/make_icon.py "$1" && cmp "$1" src/AutoQuillmer.ico' \
    icon "$log_dir/AutoQuillmer.ico"
  stat -c '   size of %n: %s bytes' dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe
fi

if wants e2e; then
  counted "end-to-end" tests/harness/test-e2e.sh
fi

if wants release; then
  counted "check_templates" python3 tests/templates/check_templates.py
  # The workbooks opened, filled and printed in LibreOffice (the guides' pictures come from the
  # same check), and worked out in LibreOffice, Gnumeric and by Excel's rules (HyperFormula from
  # npm, Apache POI).
  counted "check_engines" bash -c 'npm ci --prefix tests/templates --no-audit --no-fund --silent &&
    /usr/bin/python3 tests/templates/check_engines.py'
  counted "check_package" python3 tests/package/check_package.py
  # The shipped Linux program (glibc 2.31, built by the package step) at work.
  counted "linux-release autostart" python3 tests/e2e/check_autostart_linux.py dist/linux-release/AutoQuillmer
  counted "check_reproducible" python3 tests/package/check_reproducible.py
fi

# The benchmarks print figures and judge nothing; a short run keeps them working.
if wants bench && { [ -x build/linux/datetime_bench ] || built linux; }; then
  counted "benchmarks" bash -c 'for b in build/linux/*_bench; do "$b" --benchmark_min_time=0.01 || exit 1; done'
  counted "start-up benchmark" env RUNS=20 WINE_RUNS=5 WINE32_RUNS=2 bench/bench-startup.sh
fi

if wants fuzz; then
  for target in fuzz/*_fuzz.cpp; do
    name="$(basename "$target" .cpp)"
    counted "fuzz $name" env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" tests/harness/fuzz.sh "$name"
  done
fi

echo
if [ "${#failures[@]}" -gt 0 ]; then
  echo "Failed stages: ${failures[*]}"
fi
tally_line
[ "${#failures[@]}" -eq 0 ] && [ "$failed" -eq 0 ]
