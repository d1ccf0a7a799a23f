#!/usr/bin/env python3
"""Checks the release package dist/AutoQuillmer-<version>-win32.zip (Python standard library only).

    check_package.py               builds the package first (scripts/release/package.sh), then checks it
    check_package.py --zip PATH    checks the given package as it is

The package must be named after the version in the top CMakeLists.txt, unpack cleanly into one
folder "AutoQuillmer" holding exactly the program, the two templates and the two guides, with
the program a 32-bit GUI-subsystem Windows executable that needs no DLL beyond Windows' own,
and the templates and guides the ones in the repository. The guides must give every message
text of the program exactly, and name every settings key and the ways to start it.

The last line is "N passed, N failed"; the exit code is 1 when anything failed.
"""

import argparse
import hashlib
import pathlib
import re
import subprocess
import sys
import tempfile
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.dont_write_bytecode = True  # keep the tree free of caches
sys.path.insert(0, str(ROOT / "tests"))
from checklist import Checks, program_texts, project_version  # noqa: E402
from pefacts import MACHINE_I386, MAGIC_PE32, SUBSYSTEM_GUI, Program  # noqa: E402

EXPECTED = [
    "AutoQuillmer/AutoQuillmer.exe",
    "AutoQuillmer/Dozeboardt1.xls",
    "AutoQuillmer/Dozeboardt3.xls",
    "AutoQuillmer/docs/guide-ja.md",
    "AutoQuillmer/docs/guide-en.md",
]
BOM = b"\xef\xbb\xbf"
# DLLs that come with every Windows; anything else would have to be shipped.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll", "advapi32.dll",
               "gdi32.dll", "comdlg32.dll", "oleaut32.dll", "shlwapi.dll", "version.dll"}
SIZE_TARGET = 256 * 1024
SETTINGS_KEYS = ["AutoQuillmer.ini", "[Execute]", "[Date]", "[Launch]", "Last_XLS", "LastQuillmer",
                 "TimeToNext", "Type1", "WindowSize", "YesNo"]
GUIDE_TERMS = ["shell:startup", "/open", "-open", "Dozeboardt1.xls", "Dozeboardt3.xls",
               "~/.config/autostart", "Path=", "zenity", "xdg-open", "Program Files"]


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


# --- the Windows program ------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zip", help="check this package instead of building one")
    args = parser.parse_args()
    checks = Checks()

    version = project_version()
    checks.check("the top CMakeLists.txt gives the version (project(AutoQuillmer VERSION x.y.z))", version)
    if args.zip:
        package = pathlib.Path(args.zip)
    else:
        built = subprocess.run(["bash", str(ROOT / "scripts" / "release" / "package.sh")], cwd=ROOT)
        checks.check("scripts/release/package.sh builds the package", built.returncode == 0)
        package = ROOT / "dist" / f"AutoQuillmer-{version}-win32.zip"
    checks.check(f"the package is named after the version: AutoQuillmer-{version}-win32.zip",
                 package.name == f"AutoQuillmer-{version}-win32.zip", package.name)
    if not checks.check(f"{package.name} exists", package.is_file()):
        return checks.summary()

    with zipfile.ZipFile(package) as z, tempfile.TemporaryDirectory() as tmp:
        checks.check("every member's CRC is right", z.testzip() is None)
        names = sorted(n for n in z.namelist() if not n.endswith("/"))
        checks.check("it holds exactly the program, the two templates and the two guides in AutoQuillmer/",
                     names == sorted(EXPECTED), repr(names))
        z.extractall(tmp)
        folder = pathlib.Path(tmp) / "AutoQuillmer"

        exe = folder / "AutoQuillmer.exe"
        if checks.check("AutoQuillmer.exe unpacks", exe.is_file()):
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
            if not args.zip and built_exe.is_file():
                checks.check("the packed program is the one just built", built_exe.read_bytes() == data)
            note = "within" if len(data) <= SIZE_TARGET else "over"
            print(f"info AutoQuillmer.exe is {len(data)} bytes ({note} the {SIZE_TARGET}-byte target)")

        for name in ("Dozeboardt1.xls", "Dozeboardt3.xls"):
            packed = folder / name
            same = packed.is_file() and packed.read_bytes() == (ROOT / "templates" / name).read_bytes()
            checks.check(f"{name} is the repository's templates/{name}", same)

        guides = {}
        for name in ("guide-ja.md", "guide-en.md"):
            packed = folder / "docs" / name
            raw = packed.read_bytes() if packed.is_file() else b""
            checks.check(f"docs/{name} starts with a UTF-8 byte-order mark", raw.startswith(BOM))
            checks.check(f"docs/{name} is the repository's docs/{name}",
                         raw[len(BOM):] == (ROOT / "docs" / name).read_bytes())
            guides[name] = raw[len(BOM):].decode("utf-8", "replace")

    texts = [text for _, number, text in program_texts() if number is None]
    checks.check("the launcher's texts are found in their table", len(texts) >= 15, f"{len(texts)} texts")
    for name, guide in guides.items():
        missing = [f for t in texts for f in fragments(t) if f not in guide]
        checks.check(f"docs/{name} gives every message text of the program exactly", not missing,
                     "missing: " + " | ".join(repr(m) for m in missing))
        missing = [k for k in SETTINGS_KEYS + GUIDE_TERMS if k not in guide]
        checks.check(f"docs/{name} covers every settings key and way of starting", not missing, repr(missing))
        checks.check(f"docs/{name} gives the WindowSize table 0/3/5/9",
                     all(re.search(rf"^\| `{v}` \|", guide, re.M) for v in ("0", "3", "5", "9")))

    digest = hashlib.sha256(package.read_bytes()).hexdigest()
    print(f"info {package.name}: {package.stat().st_size} bytes, sha256 {digest}")
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
