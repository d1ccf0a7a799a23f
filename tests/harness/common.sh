# What every test script sources: the Python environment of the checks and read_counts.
#
# The Python checks run on Debian's own Python, which holds the modules scripts/setup.sh
# installs (pefile, Markdown, the office bridge), and find the repository's packages
# (tests.harness and the rest) from its root: the one place that says so.
aq_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export PATH="/usr/bin:$PATH" PYTHONPATH="$aq_root" PYTHONDONTWRITEBYTECODE=1

# Reads the counts a test step printed into its log, for the scripts that add them up
# (sourced). A log holds GoogleTest's summary ("[  PASSED  ] N tests.", "[  FAILED  ] N
# tests"), or a closing "N passed, N failed" with ", N skipped" after it at times and one
# word with a colon before it at times. Sets count_passed, count_failed and count_skipped;
# all three are empty when the log holds neither.
read_counts() {
  local log="$1" line
  count_passed=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$log" | tail -n 1 | grep -oE '[0-9]+' | head -n 1)
  count_failed=$(grep -E '^\[  FAILED  \] [0-9]+ test' "$log" | tail -n 1 | grep -oE '[0-9]+' | head -n 1)
  count_skipped=""
  [ -n "$count_passed$count_failed" ] && return 0
  line=$(grep -E '^([A-Za-z0-9_]+: )?[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  count_passed=$(grep -oE '[0-9]+ passed' <<<"$line" | cut -d' ' -f1)
  count_failed=$(grep -oE '[0-9]+ failed' <<<"$line" | cut -d' ' -f1)
  count_skipped=$(grep -oE '[0-9]+ skipped' <<<"$line" | cut -d' ' -f1)
}

# The running totals of a script that adds up its steps.
passed=0
failed=0
skipped=0

# Adds the counts of one step from its log and exit status; a step that prints none counts
# as one check. A step that failed without a counted failure adds one.
tally() {
  local log="$1" status="$2" p f
  read_counts "$log"
  p="$count_passed" f="$count_failed"
  if [ -z "$p$f" ]; then
    if [ "$status" -eq 0 ]; then
      p=1
    else
      f=1
    fi
  fi
  if [ "$status" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then
    f=1
  fi
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  skipped=$((skipped + ${count_skipped:-0}))
}

# The closing line of the totals.
tally_line() {
  if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
  else
    echo "$passed passed, $failed failed"
  fi
}
