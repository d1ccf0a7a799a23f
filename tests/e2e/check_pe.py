#!/usr/bin/env python3
"""Checks the headers of the built Windows programs with the MinGW objdump:

- dist/win32/AutoQuillmer.exe is PE32 for i386, dist/win64/AutoQuillmer.exe PE32+ for x86-64;
- both are GUI-subsystem programs (subsystem 2: no console window);
- both import only DLLs of Windows itself (no libstdc++-6, libgcc_s_*, libwinpthread-1 or
  anything else that would have to be shipped beside the program), and load at start-up only
  kernel32 and msvcrt: every other DLL is delay-loaded, after the program has restricted the
  DLL search to the system folder;
- both are hardened: ASLR with a relocation section, DEP, high-entropy addresses on x86_64,
  a load configuration whose dependent-load flags keep load-time DLLs to the system folder,
  and no section both writable and executable.

Prints each program's size and imports; the last line is "check_pe: N passed, N failed".
Usage: check_pe.py [--dist DIR]
"""

from __future__ import annotations

import argparse
import re
import shutil
import struct
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

# The DLLs the programs load at start-up, before they can restrict the DLL search.
STARTUP_DLLS = {"kernel32.dll", "msvcrt.dll"}

DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA = 0x0040, 0x0100, 0x0020
RELOCS_STRIPPED = 0x0001
SCN_CODE, SCN_EXECUTE, SCN_WRITE = 0x00000020, 0x20000000, 0x80000000
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x0800
# Offset of the dependent-load flags in the load configuration: PE32, PE32+.
DEPENDENT_LOAD_FLAGS = {0x10B: 54, 0x20B: 78}


def pe_facts(data: bytes) -> dict:
    """What the hardening checks need from a PE image's headers."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    sections, characteristics = struct.unpack_from("<H14xH", data, header + 6)
    optional_size = struct.unpack_from("<H", data, header + 20)[0]
    optional = header + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    entries = struct.unpack_from("<I", data, directories - 4)[0]

    def directory(index: int) -> tuple[int, int]:
        return struct.unpack_from("<II", data, directories + 8 * index) if index < entries else (0, 0)

    table = []
    for i in range(sections):
        at = optional + optional_size + 40 * i
        name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
        virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, at + 8)
        flags = struct.unpack_from("<I", data, at + 36)[0]
        table.append((name, address, min(virtual_size, raw_size), raw_offset, flags))

    def file_offset(rva: int) -> int | None:
        for _, address, size, raw_offset, _ in table:
            if address <= rva < address + size:
                return raw_offset + rva - address
        return None

    load_flags = None
    config_rva, config_size = directory(10)
    flags_at = DEPENDENT_LOAD_FLAGS.get(magic, 0)
    if config_rva and config_size >= flags_at + 2 and (at := file_offset(config_rva)) is not None:
        if struct.unpack_from("<I", data, at)[0] >= flags_at + 2:
            load_flags = struct.unpack_from("<H", data, at + flags_at)[0]
    return {
        "magic": magic,
        "dll_characteristics": dll_characteristics,
        "relocs_stripped": bool(characteristics & RELOCS_STRIPPED),
        "relocations": directory(5)[1],
        "load_config": (config_rva, config_size),
        "dependent_load_flags": load_flags,
        "write_execute": [name for name, _, _, _, flags in table
                          if flags & (SCN_CODE | SCN_EXECUTE) and flags & SCN_WRITE],
    }


def hardening_checks(facts: dict, check) -> None:
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
        early = [dll for dll in imports if dll.lower() not in STARTUP_DLLS]
        check(not early, "loads only kernel32 and msvcrt at start-up, the rest delay-loaded" + (
            f" (not: {', '.join(early)})" if early else ""))
        hardening_checks(pe_facts(program.read_bytes()), check)

    print(f"check_pe: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
