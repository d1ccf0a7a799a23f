"""One reader of the built Windows programs for the Python checks: headers, imports,
resources and version, through Debian's python3-pefile (scripts/setup.sh installs it)."""

import sys

try:
    import pefile
except ImportError:  # a python3 other than the system's: the system's module is pure Python
    sys.path.append("/usr/lib/python3/dist-packages")
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
