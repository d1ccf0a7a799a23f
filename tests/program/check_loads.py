#!/usr/bin/env python3
"""Checks what a same-day start of each Windows program loads: nothing beyond kernel32 and
msvcrt (with what Wine's own builds of those stand on), so that a start that shows no box
costs about what an empty program costs. The window library and the shell come only with a
box or an opening.

Each program starts once in a fresh Wine session (the 64-bit one under Wine, the release
program under the emulated 32-bit Wine) with a settings file of the same logical day, under
WINEDEBUG=+pid,+loaddll; the modules its own process loaded are held to the list.
The last line is "N passed, N failed".
Usage: check_loads.py [-k PATTERN] [--keep]
"""

from __future__ import annotations

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
from datetime import datetime
from pathlib import Path

from tests.e2e.cases_workbook import settings_text
from tests.e2e.e2ecase import PROGRAM, SETTINGS, TEMPLATE1, TEMPLATE3
from tests.harness.checklist import ROOT, Checks, take_pattern, wanted
from tests.harness.wine import WineSession, run_captured

# What a start with no box may load: kernel32 and msvcrt, and what kernel32 stands on.
ALLOWED = {"ntdll.dll", "kernelbase.dll", "kernel32.dll", "msvcrt.dll", PROGRAM.lower()}
TARGETS = {"win64": (ROOT / "dist/win64/AutoQuillmer.exe", "wine-run.sh"),
           "win32": (ROOT / "dist/win32/AutoQuillmer.exe", "wine32-run.sh")}
LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:.*Loaded L"([^"]+)"', re.M)


def loaded_modules(session: WineSession, exe: Path, runner: str) -> set[str]:
    """The modules loaded by one same-day start of the program, by their file names."""
    folder = session.root / "loads"
    folder.mkdir(exist_ok=True)
    shutil.copyfile(exe, folder / PROGRAM)
    for name, content in (TEMPLATE1, TEMPLATE3):
        (folder / name).write_bytes(content)
    # Opened a moment ago, on a day that begins at midnight.
    t = datetime.now()
    now = f"{t:%Y/%m/%d} {t.hour}:{t:%M:%S}"
    (folder / SETTINGS).write_bytes(settings_text(now, now, time_to_next="0:00:00"))
    env = session.env({"WINEDEBUG": "+pid,+loaddll", "LC_ALL": "ja_JP.UTF-8"})
    done = run_captured(["bash", str(ROOT / "tests/harness" / runner), "./" + PROGRAM], env=env,
                        timeout=60 * session.time_factor, cwd=folder)
    output = done.stdout.decode("utf-8", errors="replace")
    loads = LOADED.findall(output)
    own = {pid for pid, path in loads if path.lower().endswith("\\" + PROGRAM.lower())}
    if done.returncode != 0 or len(own) != 1 or any(folder.glob("Dozeboard_*")):
        raise RuntimeError(f"not a same-day start: exit code {done.returncode}, {len(own)} starts "
                           f"seen, {sorted(p.name for p in folder.iterdir())}: {output[-800:]}")
    return {path.replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()
            for pid, path in loads if pid in own}


def main() -> int:
    take_pattern()
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--keep", action="store_true", help="keep the sessions' folders")
    options = parser.parse_args()
    checks = Checks()
    for target, (exe, runner) in TARGETS.items():
        what = f"{target}: a same-day start loads only kernel32 and msvcrt"
        if not wanted(what):
            continue
        base = Path(tempfile.mkdtemp(prefix="aq-loads-"))
        try:
            with WineSession(keep=options.keep, wine32=target == "win32", plain=True,
                             prefix=base / "prefix") as session:
                modules = loaded_modules(session, exe, runner)
        except (RuntimeError, subprocess.TimeoutExpired, OSError) as error:
            checks.check(what, False, str(error))
            continue
        finally:
            if not options.keep:
                shutil.rmtree(base, ignore_errors=True)
        print(f"     {target} loaded: {', '.join(sorted(modules))}")
        checks.check(what, modules <= ALLOWED, "also " + ", ".join(sorted(modules - ALLOWED)))
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
