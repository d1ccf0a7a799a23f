#!/usr/bin/env bash
# Builds the three programs (presets win32, win64 and linux; the programs only, not the tests)
# and writes the release:
#   dist/AutoQuillmer-<version>-win32.zip          the Windows package
#   dist/AutoQuillmer-<version>-linux-x86_64.tar.gz the Linux package
#   dist/SHA256SUMS                                  the digests of both and of the three programs
# Each package holds one folder "AutoQuillmer" with the program, the two chart templates and the
# user guides:
#   AutoQuillmer/AutoQuillmer.exe   (AutoQuillmer in the Linux package)
#   AutoQuillmer/Dozeboardt1.xls
#   AutoQuillmer/Dozeboardt3.xls
#   AutoQuillmer/docs/guide-ja.md
#   AutoQuillmer/docs/guide-en.md
# The version is the one in the top CMakeLists.txt, project(AutoQuillmer VERSION x.y.z).
# The guides in the Windows package get a UTF-8 byte-order mark so that older Windows editors
# show the Japanese text correctly.
# The same commit gives the same bytes in every file: the programs are built so, and
# scripts/pack.py writes the packages with every time set to SOURCE_DATE_EPOCH, which is the
# time of the last commit unless it is set.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

version="$(sed -nE 's/^project\(AutoQuillmer VERSION ([0-9]+\.[0-9]+\.[0-9]+)[ )].*/\1/p' CMakeLists.txt | head -n 1)"
if [ -z "$version" ]; then
  echo "no version found in CMakeLists.txt (project(AutoQuillmer VERSION x.y.z))" >&2
  exit 1
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH

for preset in win32 win64 linux; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target AutoQuillmer -j"$(nproc)" >/dev/null
done

for f in dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe dist/linux/AutoQuillmer \
  templates/Dozeboardt1.xls templates/Dozeboardt3.xls docs/guide-ja.md docs/guide-en.md; do
  if [ ! -f "$f" ]; then
    echo "missing: $f" >&2
    exit 1
  fi
done

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
for guide in guide-ja.md guide-en.md; do
  { printf '\xef\xbb\xbf'; cat "docs/$guide"; } >"$stage/$guide"
done

zip_name="AutoQuillmer-$version-win32.zip"
tar_name="AutoQuillmer-$version-linux-x86_64.tar.gz"
mkdir -p dist
python3 scripts/pack.py --time "$SOURCE_DATE_EPOCH" "dist/$zip_name" \
  AutoQuillmer/AutoQuillmer.exe=dist/win32/AutoQuillmer.exe \
  AutoQuillmer/Dozeboardt1.xls=templates/Dozeboardt1.xls \
  AutoQuillmer/Dozeboardt3.xls=templates/Dozeboardt3.xls \
  AutoQuillmer/docs/guide-ja.md="$stage/guide-ja.md" \
  AutoQuillmer/docs/guide-en.md="$stage/guide-en.md"
python3 scripts/pack.py --time "$SOURCE_DATE_EPOCH" "dist/$tar_name" \
  AutoQuillmer/AutoQuillmer=dist/linux/AutoQuillmer \
  AutoQuillmer/Dozeboardt1.xls=templates/Dozeboardt1.xls \
  AutoQuillmer/Dozeboardt3.xls=templates/Dozeboardt3.xls \
  AutoQuillmer/docs/guide-ja.md=docs/guide-ja.md \
  AutoQuillmer/docs/guide-en.md=docs/guide-en.md

# Checked with "sha256sum -c SHA256SUMS" in dist/ (or beside the downloaded files).
(cd dist && sha256sum "$zip_name" "$tar_name" win32/AutoQuillmer.exe win64/AutoQuillmer.exe \
  linux/AutoQuillmer >SHA256SUMS.partial && mv SHA256SUMS.partial SHA256SUMS)

for f in "$zip_name" "$tar_name"; do
  echo "dist/$f ($(stat -c %s "dist/$f") bytes)"
done
unzip -l "dist/$zip_name" | sed 's/^/  /'
tar -tvzf "dist/$tar_name" | sed 's/^/  /'
echo "dist/SHA256SUMS:"
sed 's/^/  /' dist/SHA256SUMS
