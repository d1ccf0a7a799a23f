#!/usr/bin/env bash
# Builds the Linux program, lays out a demo folder beside it with the two template
# workbooks and starts the launcher there. In a graphical session its message boxes are
# dialogs (zenity, when installed); in a terminal they are prompts.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target AutoQuillmer >/dev/null
demo="$root/dist/linux/demo"
mkdir -p "$demo"
cp dist/linux/AutoQuillmer "$demo/"
for t in Dozeboardt1.xls Dozeboardt3.xls; do
  if [ -f "templates/$t" ]; then
    cp "templates/$t" "$demo/$t"
  elif [ ! -f "$demo/$t" ]; then
    printf 'template %s\n' "$t" >"$demo/$t"
  fi
done
echo "Demo folder: $demo (delete AutoQuillmer.ini there to see the first run again)"
cd "$demo"
exec ./AutoQuillmer "$@"
