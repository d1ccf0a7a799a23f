#!/usr/bin/env bash
# Builds the two chart templates that ship with Auto Quillmer:
#   templates/src/Dozeboardt1.fods, Dozeboardt3.fods  (flat OpenDocument, the reviewable sources,
#                                                      written by scripts.diary_templates.generate)
#   -> templates/Dozeboardt1.xls, Dozeboardt3.xls     (Excel 97-2003, BIFF8)
# and records the SHA-256 of every source and workbook in templates/checksums.txt, which
# tests/templates/check_templates.py holds them to.
#
# LibreOffice writes every text result as 0 and leaves out the frozen panes:
# scripts.diary_templates.finish_xls stores the results of an empty month as Excel works them
# out (Apache POI) and freezes the heading rows and day columns.
#
# Needs LibreOffice's headless converter and its Python bridge, Java with libapache-poi-java and
# pdftoppm (scripts/setup.sh --tests installs them). Afterwards tests/templates/check_engines.py opens
# the new workbooks in LibreOffice, fills copies and checks what their formulas compute, and
# the pictures of the guides are rendered from what it checked:
#   docs/diary-type1-2026-02.png, docs/diary-type1-empty.png, docs/diary-type3-empty.png
#   scripts/diary_templates/make-templates.sh            regenerate the sources, convert, record checksums
#   scripts/diary_templates/make-templates.sh --keep     convert the sources as they are (after editing a .fods by hand)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
# The Python packages (scripts.diary_templates, tests.harness) are found from the repository's root.
export PYTHONPATH="$root"

bash scripts/setup.sh --tests

if [ "${1:-}" != "--keep" ]; then
  python3 -m scripts.diary_templates.generate
fi

# A private LibreOffice profile: no first-start dialogs, no interference with a running office.
profile="$(mktemp -d)"
out="$(mktemp -d)"
trap 'rm -rf "$profile" "$out"' EXIT

for name in Dozeboardt1 Dozeboardt3; do
  soffice --headless --norestore "-env:UserInstallation=file://$profile" \
    --convert-to 'xls:MS Excel 97' --outdir "$out" "templates/src/$name.fods" >/dev/null
  if [ ! -s "$out/$name.xls" ]; then
    echo "conversion of templates/src/$name.fods failed" >&2
    exit 1
  fi
  cp "$out/$name.xls" "templates/$name.xls"
  python3 -m scripts.diary_templates.finish_xls "templates/$name.xls"
  echo "built templates/$name.xls ($(stat -c %s "templates/$name.xls") bytes)"
done

{
  echo "# SHA-256 of the template sources and of the workbooks built from them (scripts/diary_templates/make-templates.sh)."
  sha256sum templates/src/Dozeboardt1.fods templates/src/Dozeboardt3.fods \
    templates/Dozeboardt1.xls templates/Dozeboardt3.xls
} >templates/checksums.txt
echo "recorded templates/checksums.txt"

mkdir "$out/pictures"
/usr/bin/python3 tests/templates/check_engines.py --engine lo --pictures "$out/pictures"
for picture in Dozeboardt1-2026-02 Dozeboardt1-empty Dozeboardt3-empty; do
  target="docs/diary-type${picture#Dozeboardt}.png"
  cp "$out/pictures/$picture.png" "$target"
  echo "rendered $target ($(stat -c %s "$target") bytes)"
done
