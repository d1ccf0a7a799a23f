#!/usr/bin/env python3
"""Checks the headers of the built Windows programs with the MinGW objdump:

- dist/win32/AutoQuillmer.exe is PE32 for i386, dist/win64/AutoQuillmer.exe PE32+ for x86-64;
- both are GUI-subsystem programs (subsystem 2: no console window);
- both import only DLLs of Windows itself (no libstdc++-6, libgcc_s_*, libwinpthread-1 or
  anything else that would have to be shipped beside the program).

Prints each program's size and imports; the last line is "check_pe: N passed, N failed".
Usage: check_pe.py [--dist DIR]
"""

from __future__ import annotations

import argparse
import re
import shutil
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]

# DLLs that every Windows installation has.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "advapi32.dll", "msvcrt.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll", "version.dll",
    "ntdll.dll", "winmm.dll", "ws2_32.dll", "imm32.dll", "uxtheme.dll", "rpcrt4.dll",
    "secur32.dll", "crypt32.dll", "bcrypt.dll", "winspool.drv",
}

TARGETS = [
    # (program, objdump, file format, optional-header magic, architecture)
    ("win32", "i686-w64-mingw32-objdump", "pei-i386", "010b", "i386"),
    ("win64", "x86_64-w64-mingw32-objdump", "pei-x86-64", "020b", "i386:x86-64"),
]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--dist", type=Path, default=REPO / "dist")
    options = parser.parse_args()

    passed = failed = 0

    def check(ok: bool, what: str) -> None:
        nonlocal passed, failed
        print(f"  {'ok  ' if ok else 'FAIL'} {what}")
        passed += ok
        failed += not ok

    for name, objdump, file_format, magic, architecture in TARGETS:
        program = options.dist / name / "AutoQuillmer.exe"
        print(f"{program}:")
        if not program.is_file():
            check(False, "the program exists")
            continue
        if shutil.which(objdump) is None:
            check(False, f"{objdump} is installed")
            continue
        headers = subprocess.run([objdump, "-p", "-f", str(program)], capture_output=True,
                                 text=True, check=False).stdout
        print(f"  size {program.stat().st_size} bytes")
        found_format = re.search(r"file format (\S+)", headers)
        found_magic = re.search(r"^Magic\s+([0-9a-fA-F]+)", headers, re.M)
        found_arch = re.search(r"^architecture: ([^,\s]+)", headers, re.M)
        found_subsystem = re.search(r"^Subsystem\s+([0-9a-fA-F]+)", headers, re.M)
        imports = re.findall(r"DLL Name: (\S+)", headers)
        print(f"  imports: {', '.join(imports) if imports else '(none)'}")
        check(bool(found_format) and found_format.group(1) == file_format,
              f"file format {found_format.group(1) if found_format else '?'} is {file_format}")
        check(bool(found_magic) and found_magic.group(1).lower() == magic,
              f"optional header magic {found_magic.group(1) if found_magic else '?'} is "
              f"{magic} ({'PE32' if magic == '010b' else 'PE32+'})")
        check(bool(found_arch) and found_arch.group(1) == architecture,
              f"architecture {found_arch.group(1) if found_arch else '?'} is {architecture}")
        check(bool(found_subsystem) and int(found_subsystem.group(1), 16) == 2,
              f"subsystem {found_subsystem.group(1) if found_subsystem else '?'} is 2 "
              "(Windows GUI)")
        foreign = [dll for dll in imports if dll.lower() not in SYSTEM_DLLS]
        check(bool(imports) and not foreign,
              "imports only Windows' own DLLs" + (f" (not: {', '.join(foreign)})"
                                                  if foreign else ""))

    print(f"check_pe: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
