#!/usr/bin/env bash
# Builds the release program (32-bit Windows, preset win32) and writes the release package
#   dist/AutoQuillmer-<version>-win32.zip
# holding one folder "AutoQuillmer" with the program, the two chart templates and the user
# guides:
#   AutoQuillmer/AutoQuillmer.exe
#   AutoQuillmer/Dozeboardt1.xls
#   AutoQuillmer/Dozeboardt3.xls
#   AutoQuillmer/docs/guide-ja.md
#   AutoQuillmer/docs/guide-en.md
# The version is the one in the top CMakeLists.txt, project(AutoQuillmer VERSION x.y.z).
# The guides get a UTF-8 byte-order mark in the package so that older Windows editors show the
# Japanese text correctly. File times are those of the last commit, so the same sources give
# the same package.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
bash scripts/setup.sh

version="$(sed -nE 's/^project\(AutoQuillmer VERSION ([0-9]+\.[0-9]+\.[0-9]+)[ )].*/\1/p' CMakeLists.txt | head -n 1)"
if [ -z "$version" ]; then
  echo "no version found in CMakeLists.txt (project(AutoQuillmer VERSION x.y.z))" >&2
  exit 1
fi

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" >/dev/null

for f in dist/win32/AutoQuillmer.exe templates/Dozeboardt1.xls templates/Dozeboardt3.xls \
  docs/guide-ja.md docs/guide-en.md; do
  if [ ! -f "$f" ]; then
    echo "missing: $f" >&2
    exit 1
  fi
done

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
folder="$stage/AutoQuillmer"
mkdir -p "$folder/docs"
cp dist/win32/AutoQuillmer.exe templates/Dozeboardt1.xls templates/Dozeboardt3.xls "$folder/"
for guide in guide-ja.md guide-en.md; do
  { printf '\xef\xbb\xbf'; cat "docs/$guide"; } >"$folder/docs/$guide"
done

stamp="$(git log -1 --format=%cd --date=format:%Y%m%d%H%M.%S 2>/dev/null || date +%Y%m%d%H%M.%S)"
find "$folder" -exec touch -t "$stamp" {} +

zip_name="AutoQuillmer-$version-win32.zip"
mkdir -p dist
rm -f "dist/$zip_name"
(cd "$stage" && zip -q -X -D "$root/dist/$zip_name" AutoQuillmer/AutoQuillmer.exe \
  AutoQuillmer/Dozeboardt1.xls AutoQuillmer/Dozeboardt3.xls \
  AutoQuillmer/docs/guide-ja.md AutoQuillmer/docs/guide-en.md)
echo "dist/$zip_name ($(stat -c %s "dist/$zip_name") bytes)"
unzip -l "dist/$zip_name" | sed 's/^/  /'
