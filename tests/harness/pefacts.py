"""One reader of the built Windows programs for the Python checks: headers, imports,
resources and version, through Debian's python3-pefile (scripts/setup.sh --tests installs it)."""

import struct

import pefile

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24
MACHINE_I386, MACHINE_AMD64 = 0x14C, 0x8664
MAGIC_PE32, MAGIC_PE32_PLUS = 0x10B, 0x20B
SUBSYSTEM_GUI = 2


class Program:
    """The facts of one PE image, from its path or its bytes. Raises ValueError when the
    data is no PE image."""

    def __init__(self, source):
        try:
            if isinstance(source, (bytes, bytearray)):
                self.pe = pefile.PE(data=bytes(source), fast_load=True)
            else:
                self.pe = pefile.PE(str(source), fast_load=True)
        except pefile.PEFormatError as e:
            raise ValueError(str(e)) from e
        self.pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
        ])
        self.machine = self.pe.FILE_HEADER.Machine
        self.magic = self.pe.OPTIONAL_HEADER.Magic
        self.subsystem = self.pe.OPTIONAL_HEADER.Subsystem
        self.image_size = self.pe.OPTIONAL_HEADER.SizeOfImage
        self.imports = [entry.dll.decode("ascii").lower()
                        for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])]
        rsrc = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
        self.resource_size = rsrc.Size

    def resources(self, rtype):
        """(name or number, language, bytes) of every resource of a type, in name order."""
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        out = []
        for kind in root.entries if root else []:
            if kind.id != rtype:
                continue
            for entry in kind.directory.entries:
                key = str(entry.name) if entry.name is not None else entry.id
                for lang in entry.directory.entries:
                    data = lang.data.struct
                    out.append((key, lang.id,
                                self.pe.get_data(data.OffsetToData, data.Size)))
        return sorted(out, key=lambda item: str(item[0]))

    def strings(self):
        """The string table: {number: text}."""
        table = {}
        for block, _, blob in self.resources(RT_STRING):
            at = 0
            for i in range(16):
                length = int.from_bytes(blob[at:at + 2], "little")
                if length:
                    table[(block - 1) * 16 + i] = blob[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                at += 2 + 2 * length
        return table

    def version(self):
        """(file version "a.b.c.d", product version "a.b.c.d", {name: value} of the version's
        strings), or None without a version resource."""
        self.pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        if not hasattr(self.pe, "VS_FIXEDFILEINFO"):
            return None
        fixed = self.pe.VS_FIXEDFILEINFO[0]

        def dotted(ms, ls):
            return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

        values = {}
        for info in getattr(self.pe, "FileInfo", []):
            for entry in info:
                for table in getattr(entry, "StringTable", []):
                    for key, value in table.entries.items():
                        values[key.decode("utf-8")] = value.decode("utf-8")
        return (dotted(fixed.FileVersionMS, fixed.FileVersionLS),
                dotted(fixed.ProductVersionMS, fixed.ProductVersionLS), values)

    def hardening(self):
        """The facts of the hardening checks (see hardening_facts)."""
        return hardening_facts(self.pe.__data__)


DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA = 0x0040, 0x0100, 0x0020
RELOCS_STRIPPED = 0x0001
SCN_CODE, SCN_EXECUTE, SCN_WRITE = 0x00000020, 0x20000000, 0x80000000
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x0800
# Offset of the dependent-load flags in the load configuration: PE32, PE32+.
DEPENDENT_LOAD_FLAGS = {0x10B: 54, 0x20B: 78}


def hardening_facts(data: bytes) -> dict:
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
