#!/usr/bin/env bash
# Builds the Linux program, lays out a demo folder beside it with the two template
# workbooks and starts the launcher there, saying at each step what it does. In a graphical
# session its message boxes are dialogs (zenity, when installed); in a terminal they are
# prompts. Without a desktop, or without a program for .xls files, it says so before the
# start: the workbook is still made, but nothing can open it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

say() { printf '\n== %s\n' "$*"; }

say "1/4 Checking the packages the build needs (scripts/setup.sh; installs only what is missing)"
bash scripts/setup.sh
echo "  everything the build needs is there"

say "2/4 Building the Linux program (CMake preset linux, target AutoQuillmer; the first build takes a while)"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target AutoQuillmer | grep -E '^\[ *[0-9]+%\] (Building|Linking)' || true
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

# The month's workbook is named after the month of the day before the logical day, which
# begins at 04:00 (the default; the settings file may say otherwise).
if [ "$(date +%H)" -lt 4 ]; then logical="yesterday"; else logical="today"; fi
book="$demo/Dozeboard_$(date -d "$logical - 1 day" +%Y-%m).xls"

say "4/4 Starting the launcher in $demo"
if [ -f "$demo/AutoQuillmer.ini" ]; then
  echo "The settings file AutoQuillmer.ini is there: no first-run question (delete it to see the"
  echo "first run again). The launcher opens the chart at most once a day, so a second start on"
  echo "the same day shows nothing and ends at once."
else
  echo "This is a first run: the launcher asks which template to use (Type-1: one sleep a day,"
  echo "Type-3: up to three), then whether to open the chart."
fi
echo "It makes the month's workbook $book"
echo "from the template, if it is not there yet, and opens it with the program the desktop uses for .xls files."
graphical=""
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then graphical=yes; fi
opener=""
if command -v xdg-mime >/dev/null 2>&1; then
  opener="$(xdg-mime query default application/vnd.ms-excel 2>/dev/null || true)"
fi
if [ -z "$graphical" ] || [ -z "$opener" ]; then
  echo
  if [ -z "$graphical" ]; then
    echo "Note: there is no graphical session here (neither DISPLAY nor WAYLAND_DISPLAY is set)."
  else
    echo "Note: no program is set to open .xls files (xdg-mime finds none for application/vnd.ms-excel)."
  fi
  echo "The workbook will still be made at the path above, but opening it needs a desktop with a"
  echo "spreadsheet program (for example LibreOffice Calc). The launcher then reports that the"
  echo "opening failed, with \"エラーコード：　31\": no program is set to open .xls files."
fi
if [ -n "$graphical" ] && command -v zenity >/dev/null 2>&1; then
  echo "Its messages come as dialogs (zenity)."
elif [ -t 0 ]; then
  echo "Its messages come as prompts here: answer y (はい), n (いいえ) or c (キャンセル)."
else
  echo "Note: there is neither a dialog program nor a terminal to answer in: the launcher shows"
  echo "nothing and takes every question as No."
fi
echo
cd "$demo"
exec ./AutoQuillmer "$@"
