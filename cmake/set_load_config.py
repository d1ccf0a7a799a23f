#!/usr/bin/env python3
"""Points a Windows program's load-configuration entry at its load configuration.

    set_load_config.py PROGRAM LINK_MAP SYMBOL

The program defines the structure (SYMBOL: _load_config_used as the link map names it,
also on x86) and the linker keeps it, but this linker leaves the image's load-configuration entry
(data directory 10) empty. This takes the structure's address from the link map, checks
that the image holds a load configuration there (its first field, the size, and a
non-zero dependent-load flags field), fills in the entry and recomputes the image's
checksum. Running it again changes nothing.
"""

from __future__ import annotations

import re
import struct
import sys
from pathlib import Path

LOAD_CONFIG_ENTRY = 10
# Offset of the dependent-load flags in the structure: PE32 and PE32+.
DEPENDENT_LOAD_FLAGS = {0x10B: 54, 0x20B: 78}
# The entry's size on x86 programs: the structure as far as Windows XP reads it.
X86_ENTRY_SIZE = 64


def fail(message: str) -> None:
    print(f"set_load_config: {message}", file=sys.stderr)
    sys.exit(1)


def symbol_address(link_map: str, symbol: str) -> int:
    found = re.findall(rf"^\s+0x([0-9a-fA-F]+)\s+{re.escape(symbol)}\s*$", link_map, re.M)
    if len(set(found)) != 1:
        fail(f"{symbol} is {'missing from' if not found else 'not unique in'} the link map")
    return int(found[0], 16)


def pe_checksum(image: bytes, checksum_offset: int) -> int:
    total = 0
    padded = image + b"\0" * (len(image) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The checksum field itself counts as zero.
    for i in (0, 2):
        (word,) = struct.unpack_from("<H", image, checksum_offset + i)
        total -= word
        if total < 0:
            total += 0xFFFF
    total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(image)


def main(argv: list[str]) -> int:
    if len(argv) != 3:
        fail("usage: set_load_config.py PROGRAM LINK_MAP SYMBOL")
    program, link_map, symbol = Path(argv[0]), Path(argv[1]), argv[2]
    image = bytearray(program.read_bytes())
    header = struct.unpack_from("<I", image, 0x3C)[0]
    if image[header:header + 4] != b"PE\0\0":
        fail(f"{program} is not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, header + 6)
    optional = header + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic not in DEPENDENT_LOAD_FLAGS:
        fail(f"unknown optional header magic {magic:#x}")
    image_base = struct.unpack_from("<I" if magic == 0x10B else "<Q", image,
                                    optional + (28 if magic == 0x10B else 24))[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rva = symbol_address(link_map.read_text(errors="replace"), symbol) - image_base

    # The structure's place in the file.
    offset = None
    table = optional + optional_size
    for i in range(sections):
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
            "<IIII", image, table + 40 * i + 8)
        if virtual_address <= rva < virtual_address + min(virtual_size, raw_size):
            offset = raw_offset + rva - virtual_address
    if offset is None:
        fail(f"{symbol} at RVA {rva:#x} lies in no section's file data")
    size = struct.unpack_from("<I", image, offset)[0]
    flags = struct.unpack_from("<H", image, offset + DEPENDENT_LOAD_FLAGS[magic])[0]
    if size <= DEPENDENT_LOAD_FLAGS[magic] + 2 or not flags:
        fail(f"no load configuration at RVA {rva:#x} (size {size}, dependent-load flags "
             f"{flags:#x})")

    entry_size = min(size, X86_ENTRY_SIZE) if magic == 0x10B else size
    struct.pack_into("<II", image, directories + 8 * LOAD_CONFIG_ENTRY, rva, entry_size)
    checksum_offset = optional + 64
    struct.pack_into("<I", image, checksum_offset, pe_checksum(bytes(image), checksum_offset))
    program.write_bytes(bytes(image))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
