#!/usr/bin/env bash
# Builds the two chart templates that ship with Auto Quillmer:
#   templates/src/Dozeboardt1.fods, Dozeboardt3.fods  (flat OpenDocument, the reviewable sources,
#                                                      written by scripts/templates/gen-template-sources.py)
#   -> templates/Dozeboardt1.xls, Dozeboardt3.xls     (Excel 97-2003, BIFF8)
# and records the SHA-256 of every source and workbook in templates/checksums.txt, which
# tests/templates/check_templates.py holds them to.
#
# Needs LibreOffice's headless converter and its Python bridge (Debian: libreoffice-calc-nogui,
# python3-uno) and pdftoppm (poppler-utils); installs them when missing. Nothing else in the
# build or the tests needs them. Afterwards scripts/templates/try-templates.py opens the new workbooks in
# LibreOffice, fills a copy for February 2026 and checks what their formulas compute, and the
# pictures of the guides are rendered from what it checked:
#   docs/diary-type1-2026-02.png, docs/diary-type1-empty.png, docs/diary-type3-empty.png
#   scripts/templates/make-templates.sh            regenerate the sources, convert, record checksums
#   scripts/templates/make-templates.sh --keep     convert the sources as they are (after editing a .fods by hand)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"

if ! command -v soffice >/dev/null 2>&1 || ! command -v pdftoppm >/dev/null 2>&1 ||
  ! /usr/bin/python3 -c 'import uno' 2>/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libreoffice-calc-nogui python3-uno poppler-utils >/dev/null
fi

if [ "${1:-}" != "--keep" ]; then
  python3 scripts/templates/gen-template-sources.py
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
  echo "built templates/$name.xls ($(stat -c %s "templates/$name.xls") bytes)"
done

{
  echo "# SHA-256 of the template sources and of the workbooks built from them (scripts/templates/make-templates.sh)."
  sha256sum templates/src/Dozeboardt1.fods templates/src/Dozeboardt3.fods \
    templates/Dozeboardt1.xls templates/Dozeboardt3.xls
} >templates/checksums.txt
echo "recorded templates/checksums.txt"

mkdir "$out/pictures"
/usr/bin/python3 scripts/templates/try-templates.py --pictures "$out/pictures"
for picture in Dozeboardt1-2026-02 Dozeboardt1-empty Dozeboardt3-empty; do
  target="docs/diary-type${picture#Dozeboardt}.png"
  cp "$out/pictures/$picture.png" "$target"
  echo "rendered $target ($(stat -c %s "$target") bytes)"
done
