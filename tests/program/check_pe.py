#!/usr/bin/env python3
"""Checks the headers of the built Windows programs:

- dist/win32/AutoQuillmer.exe is PE32 for i386, dist/win64/AutoQuillmer.exe PE32+ for x86-64;
- both are GUI-subsystem programs (subsystem 2: no console window);
- both import only DLLs of Windows itself (no libstdc++-6, libgcc_s_*, libwinpthread-1 or
  anything else that would have to be shipped beside the program).

Prints each program's size and imports; the last line is "N passed, N failed".
Usage: check_pe.py [--dist DIR]
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests"))
from checklist import Checks  # noqa: E402
from pefacts import (MACHINE_AMD64, MACHINE_I386, MAGIC_PE32, MAGIC_PE32_PLUS,  # noqa: E402
                     SUBSYSTEM_GUI, Program)

# DLLs that every Windows installation has.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "advapi32.dll", "msvcrt.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll", "version.dll",
    "ntdll.dll", "winmm.dll", "ws2_32.dll", "imm32.dll", "uxtheme.dll", "rpcrt4.dll",
    "secur32.dll", "crypt32.dll", "bcrypt.dll", "winspool.drv",
}

TARGETS = [
    # (program, machine, machine's name, optional-header magic, its name)
    ("win32", MACHINE_I386, "i386", MAGIC_PE32, "PE32"),
    ("win64", MACHINE_AMD64, "x86-64", MAGIC_PE32_PLUS, "PE32+"),
]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--dist", type=Path, default=REPO / "dist")
    options = parser.parse_args()
    checks = Checks()

    for name, machine, machine_name, magic, magic_name in TARGETS:
        program = options.dist / name / "AutoQuillmer.exe"
        print(f"{program}:")
        if not checks.check("the program exists", program.is_file()):
            continue
        try:
            facts = Program(program)
        except ValueError as e:
            checks.check("the program is a PE image", False, str(e))
            continue
        print(f"  size {program.stat().st_size} bytes")
        print(f"  imports: {', '.join(facts.imports) if facts.imports else '(none)'}")
        checks.check(f"machine {facts.machine:#x} is {machine_name}", facts.machine == machine)
        checks.check(f"optional header magic {facts.magic:#x} is {magic_name}", facts.magic == magic)
        checks.check(f"subsystem {facts.subsystem} is 2 (Windows GUI)",
                     facts.subsystem == SUBSYSTEM_GUI)
        foreign = [dll for dll in facts.imports if dll not in SYSTEM_DLLS]
        checks.check("imports only Windows' own DLLs", bool(facts.imports) and not foreign,
                     ", ".join(foreign))

    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
