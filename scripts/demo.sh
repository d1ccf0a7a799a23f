#!/usr/bin/env bash
# Builds the Linux program, lays out a demo folder beside it with the two template
# workbooks and starts the launcher there, saying at each step what it does. In a graphical
# session its message boxes are dialogs (zenity, when installed); in a terminal they are
# prompts. Before the start it says what the launcher will do from the state of the demo folder
# (first run, same day, or a day that has not counted yet), and when the chart cannot be opened
# here (no graphical session, no program for .xls files, no xdg-open) it says which; after it,
# where the files are and how to try again. What it said the folder would hold afterwards
# (the settings file, the month's workbook) is checked: a difference is named and the demo
# ends with exit code 3.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

say() { printf '\n== %s\n' "$*"; }

say "1/4 Checking the packages the build and the dialogs need (scripts/setup.sh; installs only what is missing)"
bash scripts/setup.sh
echo "  everything the build needs is there, and zenity for the dialogs"

# The build of the tests' preset where the tests have set it up, else one without the tests,
# which needs none of their packages.
build="build/linux"
if [ ! -f "$build/CMakeCache.txt" ]; then
  build="build/linux-demo"
  cmake --preset linux -B "$build" -DAQ_TESTS=OFF -DAQ_BENCH=OFF >/dev/null
fi
say "2/4 Building the Linux program (CMake preset linux in $build, target AutoQuillmer; the first build takes a while)"
cmake --build "$build" -j"$(nproc)" --target AutoQuillmer | grep -E '^\[ *[0-9]+%\] (Building|Linking)' || true
echo "built: dist/linux/AutoQuillmer"

demo="$root/dist/linux/demo"
say "3/4 Laying out the demo folder $demo"
mkdir -p "$demo"
cp dist/linux/AutoQuillmer "$demo/"
echo "  AutoQuillmer (the program)"
for t in Dozeboardt1.xls Dozeboardt3.xls; do
  if [ -f "templates/$t" ]; then
    cp "templates/$t" "$demo/$t"
  elif [ ! -f "$demo/$t" ]; then
    printf 'template %s\n' "$t" >"$demo/$t"
  fi
  echo "  $t (template)"
done

# The settings the launcher will read: the last opening (Last_XLS) and the hour the day begins
# (TimeToNext, 04:00 when missing), in the locale's date form, which date(1) reads for the usual
# ones. The month's workbook is named after the month of the day before the logical day.
ini="$demo/AutoQuillmer.ini"
setting() { if [ -f "$ini" ]; then sed -n "s/^$1=//p" "$ini" | tr -d '\r' | head -n 1; fi; }
rollover="$(date -d "$(setting TimeToNext)" +%H:%M 2>/dev/null || true)"
[ -n "$(setting TimeToNext)" ] && [ -n "$rollover" ] || rollover="04:00"
back=$((10#${rollover%:*} * 3600 + 10#${rollover#*:} * 60))
logical_of() { date -d "@$(($1 - back))" +%F; }
today="$(logical_of "$(date +%s)")"
book="$demo/Dozeboard_$(date -d "$today - 1 day" +%Y-%m).xls"
open_switch=""
for arg in "$@"; do
  case "${arg,,}" in /open | -open) open_switch=yes ;; esac
done

# How the launcher's questions are answered here: dialogs (a graphical session and zenity),
# prompts (a terminal on the standard input), or not at all, when each question counts as No.
graphical=""
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then graphical=yes; fi
if [ -n "$graphical" ] && command -v zenity >/dev/null 2>&1; then
  answers=dialogs
elif [ -t 0 ]; then
  answers=prompts
else
  answers=none
fi

asks="asks whether to open the chart"
if [ "$(setting YesNo)" = "0" ]; then asks="opens the chart without asking (YesNo=0)"; fi
if [ "$answers" = none ] && [ "$(setting YesNo)" != "0" ]; then
  asks="$asks (here the question counts as No: the chart stays closed)"
fi

# What the folder holds after the start, as this demo says it: the settings file and the
# month's workbook each "made", "absent" or "kept" as they were; empty where the answers decide.
expect_ini="" expect_book=""
book_before=absent
[ -f "$book" ] && book_before=made

say "4/4 Starting the launcher in $demo"
case "$answers" in
  dialogs) echo "Its messages come as dialogs (zenity)." ;;
  prompts) echo "Its messages come as prompts here: answer y (はい), n (いいえ) or c (キャンセル)." ;;
  none)
    echo "Note: there is neither a dialog program (zenity, with a graphical session) nor a terminal to"
    echo "answer in: the launcher shows nothing, and each of its questions counts as No."
    ;;
esac
will_make="it makes the month's workbook $(basename "$book") from the template (if it is not there yet)"
if [ ! -f "$ini" ]; then
  echo "This is a first run (no AutoQuillmer.ini yet): the launcher asks which template to use"
  echo "(Type-1: one sleep a day, Type-3: up to three)."
  if [ "$answers" = none ]; then
    echo "That question cannot be asked here, so this first run ends without doing anything: no"
    echo "settings file, no workbook. Run the demo in a terminal, or with zenity in a graphical session."
    expect_ini=absent expect_book="$book_before"
  else
    echo "After an answer (キャンセル ends the first run without writing anything) $will_make,"
    echo "then $asks."
  fi
elif [ -n "$open_switch" ]; then
  echo "With /open the launcher opens the chart at once, without a question, whatever day it is;"
  echo "first $will_make."
  expect_ini=made expect_book=made
else
  last="$(setting Last_XLS)"
  last_seconds="$(date -d "$last" +%s 2>/dev/null || true)"
  expect_ini=made
  if [ -z "$last" ]; then
    echo "AutoQuillmer.ini records no opening yet (no Last_XLS): the launcher takes this as a new"
    echo "day: $will_make, then $asks."
    expect_book=made
  elif [ -z "$last_seconds" ]; then
    echo "The demo cannot read the last opening in this locale's form (Last_XLS=$last): if it lies"
    echo "before $today $rollover (when this day began), $will_make and the launcher $asks;"
    echo "otherwise it shows nothing."
  elif [ "$(logical_of "$last_seconds")" = "$today" ]; then
    echo "The chart was opened today already (Last_XLS=$last; a day begins at $rollover):"
    echo "this start shows nothing and only records its time (LastQuillmer) in AutoQuillmer.ini."
    expect_book="$book_before"
  else
    echo "The chart has not been opened yet today (Last_XLS=$last, an earlier day; a day begins"
    echo "at $rollover): the day counts only after a successful opening, so after a failed opening"
    echo "or a No, $will_make, and the launcher $asks."
    expect_book=made
  fi
fi

# Opening needs a graphical session, a program set for .xls files and the opener xdg-open; a
# missing one makes the opening fail with error code 31.
opener=""
if command -v xdg-mime >/dev/null 2>&1; then
  opener="$(xdg-mime query default application/vnd.ms-excel 2>/dev/null || true)"
fi
missing=()
[ -n "$graphical" ] || missing+=("there is no graphical session here (echo \$DISPLAY \$WAYLAND_DISPLAY prints nothing)")
[ -n "$opener" ] || missing+=("no program is set to open .xls files (xdg-mime query default application/vnd.ms-excel prints nothing)")
command -v xdg-open >/dev/null 2>&1 || missing+=("the opener xdg-open is not installed (command -v xdg-open finds nothing; package xdg-utils)")
if [ "${#missing[@]}" -gt 0 ] && [ "$expect_ini" != absent ]; then
  echo
  echo "Note: the chart cannot be opened here, because"
  printf '  - %s\n' "${missing[@]}"
  echo "Where the launcher tries to open it, the workbook is made all the same, the opening fails"
  echo "with \"エラーコード：　31\" (each of these causes gives 31; the box shows only where"
  echo "messages can be shown), and the day does not count: the next start asks again."
fi
echo
cd "$demo"
code=0
./AutoQuillmer "$@" || code=$?

say "The files are in $demo"
ls -l "$demo" | sed 's/^/  /'
# The folder held to what was said above.
state() { if [ -f "$1" ]; then echo made; else echo absent; fi; }
wrong=()
[ -z "$expect_ini" ] || [ "$(state "$ini")" = "$expect_ini" ] ||
  wrong+=("AutoQuillmer.ini: said $expect_ini, is $(state "$ini")")
[ -z "$expect_book" ] || [ "$(state "$book")" = "$expect_book" ] ||
  wrong+=("$(basename "$book"): said $expect_book, is $(state "$book")")
if [ "${#wrong[@]}" -gt 0 ]; then
  echo "The folder is not as this demo said (please report it):"
  printf '  - %s\n' "${wrong[@]}"
  [ "$code" -ne 0 ] || code=3
fi
echo "To try again:"
echo "  bash scripts/demo.sh                      start again (on the same day: nothing happens once the chart opened)"
echo "  bash scripts/demo.sh /open                open the chart now, whatever day it is"
echo "  rm \"$ini\"   then run the demo again: the first run again"
echo "  rm -r \"$demo\"   start from scratch"
exit "$code"
