#!/usr/bin/env python3
"""Checks the release packages dist/AutoQuillmer-<version>-win32.zip and
dist/AutoQuillmer-<version>-linux-x86_64.tar.gz (Python standard library only).

    check_package.py                        builds the packages first (scripts/release/package.sh)
    check_package.py --zip PATH --tar PATH  checks the given packages as they are

Each package must be named after the version in the top CMakeLists.txt and unpack cleanly into
one folder ("AutoQuillmer" in the zip, "AutoQuillmer-<version>" in the tarball) holding exactly
its read-me (first), the program, the two templates,
the licence and the guides as HTML pages with their pictures (the tarball also an autostart
entry). The Windows program is a 32-bit GUI-subsystem executable that needs no DLL beyond
Windows' own; the Linux program an x86-64 ELF executable. Text files for Windows are UTF-8
with a byte-order mark and CRLF line ends. The guides (docs/guide-*.md, from which the pages
are made) must give every message text of the program exactly, name every settings key and
the ways to start it, and have a section on upgrading and removing the program. SHA256SUMS
beside the packages lists exactly what is shipped: both packages and the program inside each,
with the digests of the bytes they hold.

The last line is "N passed, N failed"; the exit code is 1 when anything failed.
"""

import argparse
import ast
import hashlib
import html
import pathlib
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
import zlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
from tests.harness.checklist import Checks, take_pattern, program_texts, project_version  # noqa: E402
from tests.harness.pefacts import MACHINE_I386, MAGIC_PE32, SUBSYSTEM_GUI, Program  # noqa: E402

README_WIN = "AutoQuillmer/はじめにお読みください.txt"
README_LINUX = "AutoQuillmer/README.txt"
COMMON = ["AutoQuillmer/Dozeboardt1.xls", "AutoQuillmer/Dozeboardt3.xls", "AutoQuillmer/LICENSE.txt",
          "AutoQuillmer/docs/guide-ja.html", "AutoQuillmer/docs/guide-en.html"]
EXPECTED_ZIP = [README_WIN, "AutoQuillmer/AutoQuillmer.exe", "AutoQuillmer/スタートアップに登録.cmd",
                "AutoQuillmer/スタートアップから外す.cmd"] + COMMON
EXPECTED_TAR = [README_LINUX, "AutoQuillmer/AutoQuillmer", "AutoQuillmer/AutoQuillmer.desktop"] + COMMON
# The read-me's English part: what it is, the one double-click, the English guide.
README_ENGLISH = "■ English"
README_ENGLISH_TERMS = ["sleep chart", "double-click", "スタートアップに登録.cmd", "docs\\guide-en.html"]
README_TERMS = ["スタートアップに登録.cmd", "スタートアップから外す.cmd", "shell:startup", "作業フォルダー", "guide-ja.html", "詳細情報", "LICENSE.txt"]
# The command files for the start at sign-in and the switch each one gives.
COMMAND_FILES = {"スタートアップに登録.cmd": "/startup", "スタートアップから外す.cmd": "/nostartup"}
BOM = b"\xef\xbb\xbf"
# DLLs that come with every Windows; anything else would have to be shipped.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll", "advapi32.dll",
               "gdi32.dll", "comdlg32.dll", "oleaut32.dll", "shlwapi.dll", "version.dll"}
SIZE_TARGET = 256 * 1024
SETTINGS_KEYS = ["AutoQuillmer.ini", "[Execute]", "[Date]", "[Launch]", "Last_XLS", "LastQuillmer",
                 "TimeToNext", "Type1", "WindowSize", "YesNo"]
GUIDE_TERMS = ["shell:startup", "/startup", "/nostartup", "スタートアップに登録.cmd",
               "スタートアップから外す.cmd", "auto-quillmer.desktop", "/open", "-open",
               "Dozeboardt1.xls", "Dozeboardt3.xls", "~/.config/autostart", "Path=", "zenity", "xdg-open", "Program Files",
               "certutil -hashfile", "sha256sum -c", "SHA256SUMS", "--version", "--help",
               "cd ~/AutoQuillmer && ./AutoQuillmer", "echo $DISPLAY $WAYLAND_DISPLAY",
               "xdg-mime query default application/vnd.ms-excel", "command -v xdg-open"]
# The section on upgrading and removing ("## 13."): what is kept, what is replaced, how to keep
# an edited template, and how to take it out of the start at sign-in first.
UPGRADE_SECTION = re.compile(r"^## 13\. .*?(?=^## )", re.M | re.S)
UPGRADE_TERMS = ["AutoQuillmer.ini", "Dozeboard_", "Dozeboardt1.xls", "AutoQuillmer.exe", "/nostartup",
                 "スタートアップから外す.cmd", "~/.config/autostart", "Dozeboardt1-mine.xls"]
# Texts that the Linux program prints on its terminal or gives its dialogs' buttons, not a box.
TERMINAL_TEXTS = {"Help", "ButtonYes", "ButtonNo", "ButtonCancel", "KindError", "KindQuestion", "KindWarning",
                  "KindInformation", "PromptYesNoCancel", "PromptYesNo", "PromptOk", "AnswerYesNoCancel",
                  "AnswerYesNo", "OutputFailed"}
# A row of the file names and settings' defaults, src/Defaults.def.
DEFAULT_ROW = re.compile(r"^AQ_(NAME|TIME|NUMBER)\((\w+), (.*)\)$", re.M)


def pictures(folder="AutoQuillmer"):
    """The pictures the guides show, as the packages hold them."""
    found = set()
    for name in ("guide-ja.md", "guide-en.md"):
        text = (ROOT / "docs" / name).read_text(encoding="utf-8")
        for picture in re.findall(r"!\[[^\]]*\]\(([^)\s]+)", text):
            if "://" not in picture:
                found.add(f"{folder}/docs/" + picture)
    return sorted(found)


# --- the program's texts ------------------------------------------------------------------------

PLACEHOLDER = re.compile(r"%(?:\d+:)?[-.*\d]*[spdxu]")


def fragments(text):
    """The pieces of a text that a guide must show: its lines, cut at the values filled in."""
    out = []
    for line in re.split(r"\r\n|\n", text):
        for piece in PLACEHOLDER.split(line):
            if piece.strip():
                out.append(piece.strip(" "))
    return out


def check_defaults(checks, where, text, table=False):
    """The file names and the settings' defaults of src/Defaults.def, as a guide (with its
    settings table) or the help text repeats them."""
    rows = DEFAULT_ROW.findall((ROOT / "src" / "Defaults.def").read_text(encoding="utf-8"))
    missing = [ast.literal_eval(v) for kind, _, v in rows if kind == "NAME" and ast.literal_eval(v) not in text]
    for kind, key, value in rows:
        if kind == "TIME":
            hours, minutes = (int(v) for v in value.split(","))
            shown = rf"0?{hours}:{minutes:02}" + (":00" if table else "")
        elif kind == "NUMBER":
            shown = f"`{value}`"
        else:
            continue
        row = rf"^\| `\[\w+\]` \| `{key}` \| [^|\n]* \| {shown} [^|\n]*\|" if table else rf"(?<!\d){shown}(?!\d)"
        if (table or kind == "TIME") and not re.search(row, text, re.M):
            missing.append(f"{key} = {value}")
    checks.check(f"{where} gives the file names and defaults of src/Defaults.def", rows and not missing,
                 "missing: " + repr(missing))


# --- the Windows program ------------------------------------------------------------------------


def check_members(checks, kind, names, expected):
    files = [n for n in names if not n.endswith("/")]
    checks.check(f"the {kind} holds exactly its read-me, program, templates, licence and guides in AutoQuillmer/",
                 sorted(files) == sorted(expected), repr(sorted(set(files) ^ set(expected))))
    checks.check(f"the {kind}'s read-me comes first", files[:1] == expected[:1], repr(files[:1]))


def check_common(checks, kind, folder, windows_text):
    """What both packages share: templates, licence, HTML guides."""
    for name in ("Dozeboardt1.xls", "Dozeboardt3.xls"):
        packed = folder / name
        same = packed.is_file() and packed.read_bytes() == (ROOT / "templates" / name).read_bytes()
        checks.check(f"{kind}: {name} is the repository's templates/{name}", same)
    licence = folder / "LICENSE.txt"
    raw = licence.read_bytes() if licence.is_file() else b""
    if windows_text:
        checks.check(f"{kind}: LICENSE.txt is UTF-8 with a byte-order mark and CRLF line ends",
                     raw.startswith(BOM) and b"\r\n" in raw and b"\n" not in raw.replace(b"\r\n", b""))
        raw = raw[len(BOM):].replace(b"\r\n", b"\n")
    checks.check(f"{kind}: LICENSE.txt is the repository's MIT licence",
                 raw == (ROOT / "LICENSE").read_bytes() and raw.startswith(b"MIT License"))
    for name in ("guide-ja", "guide-en"):
        page = folder / "docs" / f"{name}.html"
        text = page.read_text(encoding="utf-8") if page.is_file() else ""
        source = (ROOT / "docs" / f"{name}.md").read_text(encoding="utf-8")
        headings = [h.strip() for h in re.findall(r"^#{1,3} (.+)$", source, re.M)]
        shown = html.unescape(re.sub(r"<[^>]+>", "", text))
        missing = [h for h in headings if re.sub(r"[`*]", "", h) not in shown]
        checks.check(f"{kind}: docs/{name}.html is a UTF-8 page made from docs/{name}.md with every heading",
                     text.startswith("<!DOCTYPE html>") and '<meta charset="utf-8">' in text and not missing,
                     "missing: " + repr(missing[:5]))
        checks.check(f"{kind}: docs/{name}.html shows the tables as tables and links no .md file, by name either",
                     "<table>" in text and not re.search(r"^\|.*\|$", shown, re.M)
                     and not re.search(r'href="[^"]*\.md[#"]', text) and not re.search(r">[^<>]*\.md</a>", text))
        ids = set(re.findall(r'id="([^"]+)"', text))
        links = [html.unescape(a) for a in re.findall(r'href="#([^"]+)"', text)]
        checks.check(f"{kind}: every link inside docs/{name}.html finds its section",
                     all(a in ids for a in links), repr([a for a in links if a not in ids][:5]))


def check_zip(checks, package, version, built):
    # Names outside ASCII are stored in code page 932 without the UTF-8 flag, as every Explorer
    # of a Japanese Windows reads them, with the UTF-8 form in the Unicode Path field (0x7075).
    with zipfile.ZipFile(package, metadata_encoding="cp932") as z, tempfile.TemporaryDirectory() as tmp:
        checks.check("zip: every member's CRC is right", z.testzip() is None)
        check_members(checks, "zip", z.namelist(), EXPECTED_ZIP + pictures())
        japanese = [i for i in z.infolist() if not i.filename.isascii()]
        checks.check("zip: the read-me and the command files have names outside ASCII",
                     sorted(i.filename for i in japanese) == sorted([README_WIN] + EXPECTED_ZIP[2:4]))
        for info in japanese:
            stored = info.filename.encode("cp932")
            utf8 = info.filename.encode("utf-8")
            field = struct.pack("<HHBI", 0x7075, 5 + len(utf8), 1, zlib.crc32(stored)) + utf8
            checks.check(f"zip: {info.filename}: code page 932 without the UTF-8 flag, UTF-8 in a Unicode Path field",
                         not info.flag_bits & 0x800 and info.extra == field, f"{info.flag_bits:#x} {info.extra!r}")
        z.extractall(tmp)
        folder = pathlib.Path(tmp) / "AutoQuillmer"

        readme = folder / "はじめにお読みください.txt"
        raw = readme.read_bytes() if readme.is_file() else b""
        checks.check("zip: the read-me is UTF-8 with a byte-order mark and CRLF line ends (Notepad on Windows 7 to 11)",
                     raw.startswith(BOM) and b"\n" not in raw.replace(b"\r\n", b""))
        text = raw[len(BOM):].decode("utf-8", "replace")
        missing = [t for t in README_TERMS if t not in text]
        checks.check("zip: the read-me gives the Startup steps, the working folder, the warning and the guide",
                     not missing, repr(missing))
        english = text.partition(README_ENGLISH)[2]
        missing = [t for t in README_ENGLISH_TERMS if t not in english]
        checks.check("zip: the read-me ends with an English part: what it is, the one double-click, the English guide",
                     english and not missing, repr(missing))

        exe = folder / "AutoQuillmer.exe"
        if checks.check("zip: AutoQuillmer.exe unpacks", exe.is_file()):
            data = exe.read_bytes()
            try:
                program = Program(data)
            except ValueError as e:
                checks.check("AutoQuillmer.exe is a Windows executable", False, str(e))
            else:
                machine, magic, subsystem = program.machine, program.magic, program.subsystem
                checks.check("AutoQuillmer.exe is a 32-bit x86 program (PE32, i386)",
                             machine == MACHINE_I386 and magic == MAGIC_PE32,
                             f"machine {machine:#x}, magic {magic:#x}")
                checks.check("AutoQuillmer.exe is a GUI-subsystem program (no console)",
                             subsystem == SUBSYSTEM_GUI, f"subsystem {subsystem}")
                extra = sorted(set(program.imports) - SYSTEM_DLLS)
                checks.check("AutoQuillmer.exe needs no DLL beyond Windows' own", not extra, repr(extra))
            built_exe = ROOT / "dist" / "win32" / "AutoQuillmer.exe"
            if built and built_exe.is_file():
                checks.check("the packed program is the one just built", built_exe.read_bytes() == data)
            note = "within" if len(data) <= SIZE_TARGET else "over"
            print(f"info AutoQuillmer.exe is {len(data)} bytes ({note} the {SIZE_TARGET}-byte target)")
        for name, switch in COMMAND_FILES.items():
            packed = folder / name
            raw = packed.read_bytes() if packed.is_file() else b""
            expected = ('@echo off\r\ncd /d "%~dp0"\r\nstart "" "%~dp0AutoQuillmer.exe" '
                        f"{switch}\r\n").encode("ascii")
            checks.check(f"zip: {name} starts the program from its own folder with {switch}",
                         raw == expected, repr(raw))
        check_common(checks, "zip", folder, True)


def check_tar(checks, package, version, built):
    top = f"AutoQuillmer-{version}"
    with tarfile.open(package) as t, tempfile.TemporaryDirectory() as tmp:
        members = t.getmembers()
        check_members(checks, "tarball", [m.name + ("/" if m.isdir() else "") for m in members],
                      [top + n.removeprefix("AutoQuillmer") for n in EXPECTED_TAR] + pictures(top))
        checks.check("tarball: only plain files and folders, owned by root, no absolute or parent paths",
                     all((m.isfile() or m.isdir()) and m.uid == 0 and m.gid == 0
                         and not m.name.startswith("/") and ".." not in m.name.split("/") for m in members))
        program_info = next((m for m in members if m.name == f"{top}/AutoQuillmer"), None)
        checks.check("tarball: the Linux program is executable (mode 755)",
                     program_info is not None and program_info.mode == 0o755)
        t.extractall(tmp, filter="data") if hasattr(tarfile, "data_filter") else t.extractall(tmp)
        folder = pathlib.Path(tmp) / top
        program = folder / "AutoQuillmer"
        data = program.read_bytes() if program.is_file() else b""
        checks.check("tarball: AutoQuillmer is an x86-64 ELF program",
                     data[:4] == b"\x7fELF" and data[4] == 2 and struct.unpack_from("<H", data, 18)[0] == 0x3E)
        built_program = ROOT / "dist" / "linux-release" / "AutoQuillmer"
        if built and built_program.is_file():
            stripped = pathlib.Path(tmp) / "stripped"
            subprocess.run(["strip", "--strip-all", "-o", str(stripped), str(built_program)], check=False)
            checks.check("the packed Linux program is the one just built, stripped",
                         stripped.is_file() and stripped.read_bytes() == data)
        entry = folder / "AutoQuillmer.desktop"
        text = entry.read_text(encoding="utf-8") if entry.is_file() else ""
        checks.check("tarball: AutoQuillmer.desktop is an autostart entry with a quoted Exec= and Path=",
                     text.startswith("[Desktop Entry]") and all(
                         re.search(rf"^{k}", text, re.M) for k in ("Type=Application", 'Exec="/[^"]*"$', "Path=/")))
        readme = folder / "README.txt"
        text = readme.read_text(encoding="utf-8") if readme.is_file() else ""
        checks.check("tarball: README.txt tells how to start it at login and from its folder",
                     "~/.config/autostart" in text and "guide-ja.html" in text
                     and "cd ~/AutoQuillmer && ./AutoQuillmer" in text)
        japanese, _, english = text.partition("\nEnglish\n")
        # The oldest glibc, as both parts state it, against the newest glibc symbol the program asks for.
        stated = {part: re.findall(r"glibc (\d+\.\d+)", part) for part in (japanese, english)}
        symbols = subprocess.run(["objdump", "-T", str(program)], capture_output=True, text=True).stdout
        newest = max((tuple(map(int, v.split("."))) for v in re.findall(r"GLIBC_(\d+\.\d+)", symbols)), default=None)
        oldest = tuple(map(int, stated[english][0].split("."))) if stated[english] else None
        checks.check(f"tarball: README.txt states the oldest glibc in both languages, and the program asks for "
                     f"no newer one (newest: {newest})", all(stated.values()) and stated[japanese] == stated[english]
                     and newest is not None and newest <= oldest, repr(stated))
        checks.check("tarball: README.txt names zenity, the dialogs' program, in both languages",
                     "zenity" in japanese and "zenity" in english)
        checks.check(f"tarball: README.txt carries the version {version}",
                     version in text.partition("\n")[0] and "@VERSION@" not in text)
        check_common(checks, "tarball", folder, False)


def check_sums(checks, zip_path, tar_path):
    """SHA256SUMS beside the packages: each package and the program it holds, nothing else."""
    sums = zip_path.parent / "SHA256SUMS"
    listed = {}
    for line in sums.read_text(encoding="utf-8").splitlines() if sums.is_file() else []:
        digest, _, name = line.partition("  ")
        listed[name] = digest
    linux = f"AutoQuillmer-{project_version()}/AutoQuillmer"
    with zipfile.ZipFile(zip_path) as z, tarfile.open(tar_path) as t:
        shipped = {zip_path.name: zip_path.read_bytes(), tar_path.name: tar_path.read_bytes(),
                   "AutoQuillmer/AutoQuillmer.exe": z.read("AutoQuillmer/AutoQuillmer.exe"),
                   linux: t.extractfile(linux).read()}
    expected = {name: hashlib.sha256(data).hexdigest() for name, data in shipped.items()}
    checks.check("SHA256SUMS lists exactly both packages and the programs in them, with their digests",
                 listed == expected, repr(sorted(set(listed.items()) ^ set(expected.items()))))


def main():
    take_pattern()
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zip", help="check this Windows package instead of building one")
    parser.add_argument("--tar", help="check this Linux package instead of building one")
    args = parser.parse_args()
    checks = Checks()

    version = project_version()
    checks.check("the top CMakeLists.txt gives the version (project(AutoQuillmer VERSION x.y.z))", version)
    built = not (args.zip or args.tar)
    if built:
        done = subprocess.run(["bash", str(ROOT / "scripts" / "release" / "package.sh")], cwd=ROOT)
        checks.check("scripts/release/package.sh builds the packages", done.returncode == 0)
    packages = [(pathlib.Path(args.zip) if args.zip else ROOT / "dist" / f"AutoQuillmer-{version}-win32.zip",
                 f"AutoQuillmer-{version}-win32.zip", check_zip),
                (pathlib.Path(args.tar) if args.tar else ROOT / "dist" / f"AutoQuillmer-{version}-linux-x86_64.tar.gz",
                 f"AutoQuillmer-{version}-linux-x86_64.tar.gz", check_tar)]
    for package, expected_name, check in packages:
        if not built and not {check_zip: args.zip, check_tar: args.tar}[check]:
            continue
        checks.check(f"the package is named after the version: {expected_name}",
                     package.name == expected_name, package.name)
        if checks.check(f"{package.name} exists", package.is_file()):
            check(checks, package, version, built)
            digest = hashlib.sha256(package.read_bytes()).hexdigest()
            print(f"info {package.name}: {package.stat().st_size} bytes, sha256 {digest}")
    if all(package.is_file() for package, _, _ in packages) and (
            built or (packages[0][0].parent / "SHA256SUMS").is_file()):
        check_sums(checks, packages[0][0], packages[1][0])

    texts = [text for name, number, text in program_texts() if number is None and name not in TERMINAL_TEXTS]
    checks.check("the launcher's texts are found in their table", len(texts) >= 15, f"{len(texts)} texts")
    check_defaults(checks, "the help text", next(text for name, _, text in program_texts() if name == "Help"))
    for name in ("guide-ja.md", "guide-en.md"):
        guide = (ROOT / "docs" / name).read_text(encoding="utf-8")
        missing = [f for t in texts for f in fragments(t) if f not in guide]
        checks.check(f"docs/{name} gives every message text of the program exactly", not missing,
                     "missing: " + " | ".join(repr(m) for m in missing))
        missing = [k for k in SETTINGS_KEYS + GUIDE_TERMS if k not in guide]
        checks.check(f"docs/{name} covers every settings key and way of starting", not missing, repr(missing))
        check_defaults(checks, f"docs/{name}", guide, table=True)
        section = UPGRADE_SECTION.search(guide)
        missing = [t for t in UPGRADE_TERMS if not section or t not in section.group(0)]
        checks.check(f"docs/{name} has a section 13 on upgrading and removing", not missing, repr(missing))
        checks.check(f"docs/{name} gives the WindowSize table 0/3/5/9",
                     all(re.search(rf"^\| `{v}` \|", guide, re.M) for v in ("0", "3", "5", "9")))
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
