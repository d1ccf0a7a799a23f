#!/usr/bin/env python3
"""Checks the headers of the built Windows programs:

- dist/win32/AutoQuillmer.exe is PE32 for i386, dist/win64/AutoQuillmer.exe PE32+ for x86-64;
- both are GUI-subsystem programs (subsystem 2: no console window);
- both import only DLLs of Windows itself (no libstdc++-6, libgcc_s_*, libwinpthread-1 or
  anything else that would have to be shipped beside the program), and load at start-up only
  kernel32 and msvcrt: every other DLL is delay-loaded, after the program has restricted the
  DLL search to the system folder;
- both are hardened: ASLR with a relocation section, DEP, high-entropy addresses on x86_64,
  a load configuration whose dependent-load flags keep load-time DLLs to the system folder,
  and no section both writable and executable.

Prints each program's size and imports; the last line is "N passed, N failed".
Usage: check_pe.py [--dist DIR]
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
from tests.harness.checklist import Checks, take_pattern  # noqa: E402
from tests.harness.pefacts import (DYNAMIC_BASE, HIGH_ENTROPY_VA, LOAD_LIBRARY_SEARCH_SYSTEM32,  # noqa: E402
                     MACHINE_AMD64, MACHINE_I386, MAGIC_PE32, MAGIC_PE32_PLUS, NX_COMPAT,
                     SUBSYSTEM_GUI, Program)

# DLLs that every Windows installation has.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "advapi32.dll", "msvcrt.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll", "version.dll",
    "ntdll.dll", "winmm.dll", "ws2_32.dll", "imm32.dll", "uxtheme.dll", "rpcrt4.dll",
    "secur32.dll", "crypt32.dll", "bcrypt.dll", "winspool.drv",
}

# The DLLs the programs load at start-up, before they can restrict the DLL search.
STARTUP_DLLS = {"kernel32.dll", "msvcrt.dll"}


def hardening_checks(facts: dict, check) -> None:
    """The hardening checks, each as check(ok, what)."""
    flags = facts["dll_characteristics"]
    check(bool(flags & DYNAMIC_BASE) and facts["relocations"] > 0 and not facts["relocs_stripped"],
          f"ASLR: dynamic base {'on' if flags & DYNAMIC_BASE else 'OFF'}, relocation section of "
          f"{facts['relocations']} bytes")
    check(bool(flags & NX_COMPAT), f"DEP (NX compatible) {'on' if flags & NX_COMPAT else 'OFF'}")
    if facts["magic"] == 0x20B:
        check(bool(flags & HIGH_ENTROPY_VA),
              f"high-entropy addresses {'on' if flags & HIGH_ENTROPY_VA else 'OFF'}")
    rva, size = facts["load_config"]
    load_flags = facts["dependent_load_flags"]
    check(load_flags == LOAD_LIBRARY_SEARCH_SYSTEM32,
          f"load configuration at {rva:#x} ({size} bytes), dependent-load flags "
          f"{'none' if load_flags is None else hex(load_flags)} "
          f"(expected {LOAD_LIBRARY_SEARCH_SYSTEM32:#x}: system folder only)")
    check(not facts["write_execute"], "no section both writable and executable" + (
        f" (not: {', '.join(facts['write_execute'])})" if facts["write_execute"] else ""))


TARGETS = [
    # (program, machine, machine's name, optional-header magic, its name)
    ("win32", MACHINE_I386, "i386", MAGIC_PE32, "PE32"),
    ("win64", MACHINE_AMD64, "x86-64", MAGIC_PE32_PLUS, "PE32+"),
]


def main() -> int:
    take_pattern()
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
        early = [dll for dll in facts.imports if dll not in STARTUP_DLLS]
        checks.check("loads only kernel32 and msvcrt at start-up, the rest delay-loaded",
                     not early, ", ".join(early))
        hardening_checks(facts.hardening(), lambda ok, what: checks.check(what, ok))

    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
