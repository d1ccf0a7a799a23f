#!/usr/bin/env python3
"""Reads the resources back from built Windows programs and checks them: the application
icon (32x32 and 16x16), the manifest (asInvoker, Windows 7 to 11, system DPI aware, no code
page of its own, and no library to look up at start-up), the boxes' manifest (common controls 6), the version (product name, the project's version) and the string
table of the failure report (every numbered text of src/platform/Texts.def, exactly).

Usage: tests/program/check_resources.py PROGRAM.exe [PROGRAM.exe ...]
Prints what it found; exits with 1 when something is missing or wrong.
"""
import re
import struct
import sys
from pathlib import Path
from xml.etree import ElementTree

ROOT = Path(__file__).resolve().parents[2]
from tests.harness.checklist import Checks, take_pattern, program_texts, project_version  # noqa: E402
from tests.harness.pefacts import RT_GROUP_ICON, RT_ICON, RT_MANIFEST, Program  # noqa: E402


SUPPORTED_OS = {
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10 and 11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


def check(path):
    problems = []
    res = Program(path)
    arch = {0x14C: "x86", 0x8664: "x86-64"}.get(res.machine, hex(res.machine))
    print(f"== {path} ({arch}, {Path(path).stat().st_size} bytes, resources {res.resource_size} bytes)")

    # Icon
    groups = list(res.resources(RT_GROUP_ICON))
    if not groups:
        problems.append("no icon")
    for name, lang, blob in groups[:1]:
        _, _, count = struct.unpack_from("<HHH", blob, 0)
        sizes = []
        for i in range(count):
            w, h, _, _, _, bpp, size, icon_id = struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i)
            w, h = w or 256, h or 256
            sizes.append((w, h))
            found = any(n == icon_id for n, _, _ in res.resources(RT_ICON))
            print(f"icon group {name}: {w}x{h}, {bpp} bits, icon {icon_id}"
                  f"{'' if found else ' MISSING'}")
            if not found:
                problems.append(f"icon image {icon_id} missing")
        for want in [(32, 32), (16, 16)]:
            if want not in sizes:
                problems.append(f"no {want[0]}x{want[1]} icon")

    # Manifest
    # The process's (1) and the one that the boxes activate (3, which no loader reads by itself).
    manifests = {name: blob.decode("utf-8") for name, lang, blob in res.resources(RT_MANIFEST)}
    if sorted(manifests) != [1, 3]:
        problems.append(f"manifests {sorted(manifests)} ([1, 3] wanted)")
    for name, text in sorted(manifests.items()):
        cc = re.search(r'name="Microsoft.Windows.Common-Controls" version="([0-9.]+)"', text)
        print(f"manifest {name}: common controls {cc.group(1) if cc else 'none'}")
        if name == 1 and "<dependency" in text:
            problems.append("manifest 1: a library to look up at every start")
        if name == 3 and (not cc or not cc.group(1).startswith("6.")):
            problems.append("manifest 3: no common controls 6")
    for name, text in sorted(manifests.items())[:1]:
        blob = text.encode("utf-8")
        level = re.search(r'requestedExecutionLevel level="(\w+)"', text)
        print(f"manifest {name}: execution level {level.group(1) if level else 'MISSING'}")
        if not level or level.group(1) != "asInvoker":
            problems.append("manifest: not asInvoker")
        for os_name, guid in SUPPORTED_OS.items():
            ok = guid in text
            print(f"manifest: supportedOS {os_name}: {'yes' if ok else 'MISSING'}")
            if not ok:
                problems.append(f"manifest: {os_name} missing")
        # System DPI awareness: asm.v3 application/windowsSettings/dpiAware, exactly "true".
        settings = "{urn:schemas-microsoft-com:asm.v3}"
        dpi = ElementTree.fromstring(blob).findall(
            f"{settings}application/{settings}windowsSettings/"
            "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")
        print(f"manifest: dpiAware {[e.text for e in dpi]}")
        if [e.text.strip() for e in dpi] != ["true"]:
            problems.append("manifest: not system DPI aware (one dpiAware, true)")
        if "activeCodePage" in text:
            problems.append("manifest: names a code page of its own")
        print(f"manifest: activeCodePage {'PRESENT' if 'activeCodePage' in text else 'none'}")

    # Version
    version = res.version()
    if not version:
        problems.append("no version")
    want_version = project_version()
    if version:
        file_version, product_version, values = version
        print(f"version: file {file_version}, product {product_version}")
        if not file_version.startswith(want_version):
            problems.append(f"version: {file_version} is not the project's {want_version}")
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
    table = res.strings()
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
    take_pattern(args)
    if not args:
        print(__doc__)
        return 2
    checks = Checks()
    for path in args:
        problems = check(path)
        checks.check(f"the resources of {path}", not problems, f"{len(problems)} problems")
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
