#!/usr/bin/env bash
# Builds the programs (presets win32, win64, linux and linux-release; the programs only, not the
# tests) and writes the release:
#   dist/AutoQuillmer-<version>-win32.zip           the 32-bit Windows program (preset win32)
#   dist/AutoQuillmer-<version>-linux-x86_64.tar.gz the Linux program (preset linux-release: built
#                                                    against Debian 11's glibc 2.31, which
#                                                    scripts/release/linux-sysroot.sh fetches)
#   dist/SHA256SUMS                                  the digests of what is shipped: both packages
#                                                    and the program inside each, under its name there
# Each holds one folder, "AutoQuillmer" in the zip and "AutoQuillmer-<version>" in the tarball
# (shown here as AutoQuillmer/):
#   AutoQuillmer/はじめにお読みください.txt   (zip; README.txt in the tarball)
#   AutoQuillmer/AutoQuillmer.exe              (zip) or AutoQuillmer (tarball, stripped)
#   AutoQuillmer/Dozeboardt1.xls, Dozeboardt3.xls
#   AutoQuillmer/LICENSE.txt
#   AutoQuillmer/docs/guide-ja.html, guide-en.html (and the pictures they show)
#   AutoQuillmer/スタートアップに登録.cmd      (zip) start at sign-in in one double-click (/startup)
#   AutoQuillmer/スタートアップから外す.cmd    (zip) and its undoing (/nostartup)
#   AutoQuillmer/AutoQuillmer.desktop          (tarball: an autostart entry to adapt)
# The version also heads the tarball's README.txt (@VERSION@ in packaging/readme-linux.txt).
# The version is the one in the top CMakeLists.txt, project(AutoQuillmer VERSION x.y.z).
# The guides are made from docs/guide-*.md by Python-Markdown (python3-markdown). The text
# files for Windows are UTF-8 with a byte-order mark and CRLF line ends, which Notepad shows
# right on every Windows from 7 on, whatever the system's language.
# The same commit gives the same bytes in every file: the programs are built so, and
# scripts/release/pack.py writes the packages with every time set to SOURCE_DATE_EPOCH, which is the
# time of the last commit unless it is set.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
bash scripts/setup.sh --tests

version="$(sed -nE 's/^project\(AutoQuillmer VERSION ([0-9]+\.[0-9]+\.[0-9]+)[ )].*/\1/p' CMakeLists.txt | head -n 1)"
if [ -z "$version" ]; then
  echo "no version found in CMakeLists.txt (project(AutoQuillmer VERSION x.y.z))" >&2
  exit 1
fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH

echo "building the programs (presets win32, win64, linux and linux-release)"
AQ_SYSROOT="$(bash scripts/release/linux-sysroot.sh)"
export AQ_SYSROOT
for preset in win32 win64 linux linux-release; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target AutoQuillmer -j"$(nproc)" >/dev/null
done

for f in dist/win32/AutoQuillmer.exe dist/win64/AutoQuillmer.exe dist/linux-release/AutoQuillmer templates/Dozeboardt1.xls \
  templates/Dozeboardt3.xls docs/guide-ja.md docs/guide-en.md LICENSE packaging/readme-ja.txt packaging/readme-linux.txt \
  packaging/AutoQuillmer.desktop; do
  if [ ! -f "$f" ]; then
    echo "missing: $f" >&2
    exit 1
  fi
done

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

# A text file for Windows: UTF-8 with a byte-order mark, CRLF line ends.
windows_text() {
  { printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' "$1"; } >"$2"
}

# The guides as HTML pages, with the pictures they show, into a docs folder.
html_guides() {
  local docs="$1"
  mkdir -p "$docs"
  # Debian's Python, where python-markdown is, may not be the first python3 on the PATH.
  local py
  for py in python3 /usr/bin/python3; do
    if "$py" -c 'import markdown' 2>/dev/null; then break; fi
  done
  "$py" - "$root/docs" "$docs" <<'PY'
import html, pathlib, re, shutil, sys
import markdown
from markdown.extensions.toc import TocExtension, slugify_unicode

source, target = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
for name, lang in (("guide-ja", "ja"), ("guide-en", "en")):
    text = (source / f"{name}.md").read_text(encoding="utf-8")
    title = re.search(r"^# (.+)$", text, re.M).group(1)
    # Links between the guides point at their HTML pages, and a link that shows the file's
    # name shows the page's.
    text = re.sub(r"\[([^\]]*)\]\((guide-(?:ja|en))\.md(#[^)]*)?\)",
                  lambda m: f"[{m[1].replace(m[2] + '.md', m[2] + '.html')}]({m[2]}.html{m[3] or ''})", text)
    body = markdown.markdown(text, extensions=["tables", "fenced_code",
                                               TocExtension(slugify=slugify_unicode)])
    page = (f'<!DOCTYPE html>\n<html lang="{lang}">\n<head>\n<meta charset="utf-8">\n'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{html.escape(title)}</title>\n<style>\n"
            "body{font-family:sans-serif;max-width:52em;margin:1em auto;padding:0 1em;line-height:1.6}\n"
            "table{border-collapse:collapse}th,td{border:1px solid #999;padding:.2em .5em;vertical-align:top}\n"
            "code,pre{background:#f4f4f4}pre{padding:.5em;overflow-x:auto}img{max-width:100%}\n"
            f"</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n")
    (target / f"{name}.html").write_text(page, encoding="utf-8", newline="\n")
    for picture in re.findall(r"!\[[^\]]*\]\(([^)\s]+)", text):
        if "://" not in picture and (source / picture).is_file():
            (target / picture).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(source / picture, target / picture)
PY
}

# Writes an archive (zip or tar.gz, by its name) from the staging folder, with the members
# in the order given, every time set to SOURCE_DATE_EPOCH. Every member goes through here.
write_archive() {
  local archive="$1" name
  shift
  local specs=()
  for name in "$@"; do
    specs+=("$name=$stage/$name")
  done
  python3 "$root/scripts/release/pack.py" --time "$SOURCE_DATE_EPOCH" "$archive" "${specs[@]}"
}

# The members of a staged folder (its name given): the read-me first, then the rest in name order.
members_of() {
  (cd "$stage" && find "$1" -type f | LC_ALL=C sort |
    awk '/はじめにお読みください.txt$|README.txt$/ {print; next} {rest[++n]=$0} END {for (i=1;i<=n;i++) print rest[i]}')
}

mkdir -p dist

echo "laying out the Windows package"
folder="$stage/AutoQuillmer"
mkdir -p "$folder"
cp dist/win32/AutoQuillmer.exe templates/Dozeboardt1.xls templates/Dozeboardt3.xls "$folder/"
shipped_programs="$(cd "$stage" && sha256sum AutoQuillmer/AutoQuillmer.exe)"
windows_text packaging/readme-ja.txt "$folder/はじめにお読みください.txt"
windows_text LICENSE "$folder/LICENSE.txt"
# The command files start the program from their own folder with the switch. They hold
# ASCII only, with CRLF line ends, so that the command processor reads them alike under any
# code page.
for pair in "スタートアップに登録:/startup" "スタートアップから外す:/nostartup"; do
  printf '@echo off\r\ncd /d "%%~dp0"\r\nstart "" "%%~dp0AutoQuillmer.exe" %s\r\n' "${pair#*:}" \
    >"$folder/${pair%%:*}.cmd"
done
html_guides "$folder/docs"
zip_name="AutoQuillmer-$version-win32.zip"
mapfile -t members < <(members_of AutoQuillmer)
write_archive "$root/dist/$zip_name" "${members[@]}"
echo "dist/$zip_name ($(stat -c %s "dist/$zip_name") bytes)"
unzip -l "dist/$zip_name" | sed 's/^/  /'

echo "laying out the Linux package"
rm -rf "$folder"
folder="$stage/AutoQuillmer-$version"
mkdir -p "$folder"
cp templates/Dozeboardt1.xls templates/Dozeboardt3.xls packaging/AutoQuillmer.desktop "$folder/"
strip --strip-all -o "$folder/AutoQuillmer" dist/linux-release/AutoQuillmer
sed "s/@VERSION@/$version/g" packaging/readme-linux.txt >"$folder/README.txt"
cp LICENSE "$folder/LICENSE.txt"
chmod 755 "$folder/AutoQuillmer"
shipped_programs+=$'\n'"$(cd "$stage" && sha256sum "AutoQuillmer-$version/AutoQuillmer")"
html_guides "$folder/docs"
tar_name="AutoQuillmer-$version-linux-x86_64.tar.gz"
mapfile -t members < <(members_of "AutoQuillmer-$version")
write_archive "$root/dist/$tar_name" "${members[@]}"
echo "dist/$tar_name ($(stat -c %s "dist/$tar_name") bytes)"
tar -tvzf "dist/$tar_name" | sed 's/^/  /'

# Checked with "sha256sum -c --ignore-missing SHA256SUMS" beside the downloaded files, and
# after unpacking there also the program (the lines AutoQuillmer/...): exactly the bytes shipped.
(cd dist && { sha256sum "$zip_name" "$tar_name" && printf '%s\n' "$shipped_programs"; } >SHA256SUMS.partial &&
  mv SHA256SUMS.partial SHA256SUMS)
echo "dist/SHA256SUMS:"
sed 's/^/  /' dist/SHA256SUMS
