#!/usr/bin/env python3
"""Reads the resources back from built Windows programs and checks them: the application
icon (32x32 and 16x16), the manifest (asInvoker, common controls 6, Windows 7 to 11, no
code page of its own), the version (product name, the project's version) and the string
table of the failure report (every numbered text of src/platform/Texts.def, exactly).

Usage: tests/program/check_resources.py PROGRAM.exe [PROGRAM.exe ...]
Prints what it found; exits with 1 when something is missing or wrong.
"""
import re
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests"))
from checklist import program_texts, project_version  # noqa: E402

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24

SUPPORTED_OS = {
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10 and 11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


class PeResources:
    """The resource tree of a PE file: {type: {name: {language: bytes}}}."""

    def __init__(self, path):
        self.data = Path(path).read_bytes()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: not a PE file")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.rsrc_rva, self.rsrc_size = struct.unpack_from("<II", d, dirs + 2 * 8)
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", d, table + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))
        self.tree = {}
        if self.rsrc_rva:
            base = self.offset(self.rsrc_rva)
            self.tree = self.directory(base, 0, 0)

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} in no section")

    def directory(self, base, at, level):
        named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
        out = {}
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
            if name & 0x80000000:
                n = name & 0x7FFFFFFF
                length = struct.unpack_from("<H", self.data, base + n)[0]
                key = self.data[base + n + 2:base + n + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            if target & 0x80000000:
                out[key] = self.directory(base, target & 0x7FFFFFFF, level + 1)
            else:
                rva, size = struct.unpack_from("<II", self.data, base + target)
                start = self.offset(rva)
                out[key] = self.data[start:start + size]
        return out

    def items(self, rtype):
        """(name, language, bytes) of every resource of a type."""
        for name, langs in sorted(self.tree.get(rtype, {}).items(), key=lambda kv: str(kv[0])):
            for lang, blob in langs.items():
                yield name, lang, blob


def strings_of(res):
    table = {}
    for block, _, blob in res.items(RT_STRING):
        at = 0
        for i in range(16):
            length = struct.unpack_from("<H", blob, at)[0]
            text = blob[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
            if length:
                table[(block - 1) * 16 + i] = text
    return table


def version_node(blob, at):
    length, value_length, vtype = struct.unpack_from("<HHH", blob, at)
    end = at + length
    p = at + 6
    key_end = p
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[p:key_end].decode("utf-16-le")
    p = (key_end + 2 + 3) & ~3
    if vtype == 1:
        raw = blob[p:p + 2 * value_length]
        value = raw.decode("utf-16-le").rstrip("\0")
        p += 2 * value_length
    else:
        value = blob[p:p + value_length]
        p += value_length
    p = (p + 3) & ~3
    children = []
    while p < end:
        child, p = version_node(blob, p)
        children.append(child)
        p = (p + 3) & ~3
    return (key, value, children), end


def check(path):
    problems = []
    res = PeResources(path)
    arch = {0x14C: "x86", 0x8664: "x86-64"}.get(res.machine, hex(res.machine))
    print(f"== {path} ({arch}, {Path(path).stat().st_size} bytes, resources {res.rsrc_size} bytes)")

    # Icon
    groups = list(res.items(RT_GROUP_ICON))
    if not groups:
        problems.append("no icon")
    for name, lang, blob in groups[:1]:
        _, _, count = struct.unpack_from("<HHH", blob, 0)
        sizes = []
        for i in range(count):
            w, h, _, _, _, bpp, size, icon_id = struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i)
            w, h = w or 256, h or 256
            sizes.append((w, h))
            found = any(n == icon_id for n, _, _ in res.items(RT_ICON))
            print(f"icon group {name}: {w}x{h}, {bpp} bits, icon {icon_id}"
                  f"{'' if found else ' MISSING'}")
            if not found:
                problems.append(f"icon image {icon_id} missing")
        for want in [(32, 32), (16, 16)]:
            if want not in sizes:
                problems.append(f"no {want[0]}x{want[1]} icon")

    # Manifest
    manifests = list(res.items(RT_MANIFEST))
    if len(manifests) != 1:
        problems.append(f"{len(manifests)} manifests (one wanted)")
    for name, lang, blob in manifests[:1]:
        text = blob.decode("utf-8")
        level = re.search(r'requestedExecutionLevel level="(\w+)"', text)
        print(f"manifest {name}: execution level {level.group(1) if level else 'MISSING'}")
        if not level or level.group(1) != "asInvoker":
            problems.append("manifest: not asInvoker")
        cc = re.search(r'name="Microsoft.Windows.Common-Controls" version="([0-9.]+)"', text)
        print(f"manifest: common controls {cc.group(1) if cc else 'MISSING'}")
        if not cc or not cc.group(1).startswith("6."):
            problems.append("manifest: no common controls 6")
        for os_name, guid in SUPPORTED_OS.items():
            ok = guid in text
            print(f"manifest: supportedOS {os_name}: {'yes' if ok else 'MISSING'}")
            if not ok:
                problems.append(f"manifest: {os_name} missing")
        if "activeCodePage" in text:
            problems.append("manifest: names a code page of its own")
        print(f"manifest: activeCodePage {'PRESENT' if 'activeCodePage' in text else 'none'}")

    # Version
    versions = list(res.items(RT_VERSION))
    if not versions:
        problems.append("no version")
    want_version = project_version()
    for name, lang, blob in versions[:1]:
        (key, fixed, children), _ = version_node(blob, 0)
        sig, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", fixed, 0)
        file_version = f"{fms >> 16}.{fms & 0xFFFF}.{fls >> 16}.{fls & 0xFFFF}"
        print(f"version: file {file_version}, product {pms >> 16}.{pms & 0xFFFF}.{pls >> 16}.{pls & 0xFFFF}")
        if sig != 0xFEEF04BD:
            problems.append("version: bad fixed info")
        if not file_version.startswith(want_version):
            problems.append(f"version: {file_version} is not the project's {want_version}")
        values = {}
        for ckey, _, tables in children:
            if ckey == "StringFileInfo":
                for _, _, entries in tables:
                    for k, v, _ in entries:
                        values[k] = v
        for k in ["ProductName", "ProductVersion", "FileVersion", "FileDescription",
                  "OriginalFilename"]:
            print(f"version: {k} = {values.get(k, 'MISSING')}")
        if values.get("ProductName") != "Auto Quillmer":
            problems.append("version: product name")
        if values.get("ProductVersion") != want_version:
            problems.append("version: product version")
        if not values.get("FileDescription"):
            problems.append("version: no description")

    # String table
    table = strings_of(res)
    for number, text in sorted((n, t) for _, n, t in program_texts() if n is not None):
        got = table.get(number)
        shown = (got if got is not None else "MISSING").replace("\n", "\\n")
        print(f"string {number}: {shown}")
        if got != text:
            problems.append(f"string {number}: {got!r}, wanted {text!r}")

    for p in problems:
        print(f"PROBLEM: {p}")
    return problems


def main(args):
    if not args:
        print(__doc__)
        return 2
    failed = 0
    for path in args:
        failed += bool(check(path))
    print(f"{len(args) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
