#!/usr/bin/env python3
"""Builds bench/startup/empty.cpp with exactly the compiler, flags and link options that the
build of one preset used for AutoQuillmer (taken from that build's compile_commands.json and
link line), so that the two programs differ only in what they do.

    build_empty.py BUILD_DIR OUTPUT
"""

import json
import pathlib
import shlex
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
EMPTY = ROOT / "bench" / "startup" / "empty.cpp"


def main():
    build = pathlib.Path(sys.argv[1]).resolve()
    output = pathlib.Path(sys.argv[2]).resolve()
    output.parent.mkdir(parents=True, exist_ok=True)
    obj = output.with_suffix(".o")

    entries = json.loads((build / "compile_commands.json").read_text())
    main_entry = next(e for e in entries if e["file"].endswith("src/AutoQuillmer.cpp"))
    words = shlex.split(main_entry["command"])
    compile_cmd = []
    skip = False
    for i, w in enumerate(words):
        if skip:
            skip = False
            continue
        if w in ("-o", "-c"):
            skip = True
            continue
        compile_cmd.append(w)
    compile_cmd += ["-o", str(obj), "-c", str(EMPTY)]
    subprocess.run(compile_cmd, cwd=main_entry["directory"], check=True)

    # The link line of the program: the last line of link.txt (the lines before it only pack
    # the objects into an archive on some toolchains).
    link_dir = build
    link_line = (build / "CMakeFiles" / "AutoQuillmer.dir" / "link.txt").read_text().strip().splitlines()[-1]
    words = shlex.split(link_line)
    link_cmd = []
    i = 0
    while i < len(words):
        w = words[i]
        if w == "-o":
            link_cmd += ["-o", str(output)]
            i += 2
            continue
        if w.startswith("-Wl,--out-implib") or w == "-Wl,--whole-archive" or w == "-Wl,--no-whole-archive":
            i += 1
            continue
        if w.endswith((".o", ".obj", "objects.a")) and "AutoQuillmer.dir" in w:
            link_cmd.append(str(obj))
            i += 1
            continue
        link_cmd.append(w)
        i += 1
    subprocess.run(link_cmd, cwd=link_dir, check=True)
    obj.unlink(missing_ok=True)


if __name__ == "__main__":
    main()
