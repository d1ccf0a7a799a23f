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
