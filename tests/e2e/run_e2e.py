#!/usr/bin/env python3
"""End-to-end tests: the real Windows program under Wine, its real message boxes answered
by aqdriver.exe, and checks of boxes, exit codes, files and the opened workbook.

    python3 tests/e2e/run_e2e.py [--target win64|win32] [-k PATTERN] [--skip-tag TAG]
        [--keep] [-v] [--exe PROGRAM] [--helpers FOLDER]

The program under test is that of the target: win64 (the default) runs
dist/win64/AutoQuillmer.exe with the helpers of build/win64/e2e under the system's Wine;
win32 runs the release program dist/win32/AutoQuillmer.exe with the helpers of
build/win32-tests/e2e under the emulated 32-bit Wine (tests/harness/wine32-run.sh). The same
cases run against either. Build the target's presets first. Starts its own Xvfb and Wine
prefix; needs no display and no standard input. The last line printed
is "N passed, N failed" (", N skipped" when cases were skipped). Tags can also be skipped
with AQ_E2E_SKIP=tag1,tag2. Cases tagged "known-bug" show a fault of the program that is
not mended yet; they fail until it is (skip them with --skip-tag known-bug).

Writing a case: in a tests/e2e/cases_*.py file (all are loaded), a function decorated with
@case(...) from e2ecase that takes a TCase `t`:

    @case("only the Type-3 template: no first-run question", tags=("first-run",))
    def only_type3(t):
        t.put(TEMPLATE3)                        # files of the program's folder
        run = t.launch(answers=["no"])          # one run, scripted answers
        t.no_box_like(run, FIRST_RUN_QUESTION)
        t.exit_code(run, 0)

Checks collect their failures and the case goes on, so one run reports all that is wrong.
Boxes that came when no scripted answer was left are reported as notes (the driver
presses OK, Cancel or No for them); cases that expect an exact series use t.boxes().
"""

from __future__ import annotations

import argparse
import importlib
import os
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
from tests.e2e.e2ecase import CASES, PROGRAM, Runner
from tests.harness.checklist import Checks
from tests.harness.wine import WineSession

REPO = HERE.parents[1]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-k", dest="pattern", help="run only cases whose name or title "
                        "contains this (several: comma-separated)")
    parser.add_argument("--skip-tag", action="append", default=[],
                        help="skip cases with this tag (repeatable)")
    parser.add_argument("--target", choices=("win64", "win32"), default="win64",
                        help="which Windows program and Wine (default: win64)")
    parser.add_argument("--exe", type=Path, help="the program under test (default: the "
                        "target's dist/TARGET/AutoQuillmer.exe)")
    parser.add_argument("--helpers", type=Path, help="the folder of the helper programs "
                        "(default: the target's build/PRESET/e2e)")
    parser.add_argument("--keep", action="store_true", help="keep the prefix and the Xvfb "
                        "folder (the path is printed)")
    parser.add_argument("--list", action="store_true", help="list the cases and exit")
    parser.add_argument("-v", "--verbose", action="store_true", help="show every run's boxes")
    options = parser.parse_args()
    wine32 = options.target == "win32"
    options.exe = options.exe or REPO / "dist" / options.target / PROGRAM
    options.helpers = options.helpers or (
        REPO / "build" / ("win32-tests" if wine32 else "win64") / "e2e")

    # The harness's own checks first, then the rest in file name order.
    for module in sorted(HERE.glob("cases_*.py"), key=lambda p: ("selftest" not in p.stem, p.stem)):
        importlib.import_module(f"tests.e2e.{module.stem}")  # registers its cases

    skip_tags = set(options.skip_tag)
    skip_tags.update(t for t in os.environ.get("AQ_E2E_SKIP", "").split(",") if t)
    patterns = [p for p in (options.pattern or "").split(",") if p]
    selected, skipped = [], []
    for info in CASES:
        if patterns and not any(p in info.name or p in info.title for p in patterns):
            continue
        (skipped if skip_tags & set(info.tags) else selected).append(info)
    if options.list:
        for info in CASES:
            print(f"{info.name:40} [{','.join(info.tags)}] {info.title}")
        return 0

    for name in ("aqdriver.exe", "aqopener.exe", "aqprobe.exe", "aqplant.dll"):
        if not (options.helpers / name).is_file():
            print(f"missing helper {options.helpers / name}: build the "
                  f"{'win32-tests' if wine32 else 'win64'} preset first")
            print(f"0 passed, {len(selected)} failed")
            return 1

    started = time.monotonic()
    checks = Checks()
    with WineSession(keep=options.keep, log=print, wine32=wine32) as session:
        runner = Runner(session, options.exe.resolve(), options.helpers.resolve(),
                        options.verbose)
        if wine32:
            session.keep_alive([session.windows_path(runner.helpers_in_prefix / "aqprobe.exe"),
                                "wait"])
        for number, info in enumerate(selected, 1):
            runner.run_case(number, info, checks)
    for info in skipped:
        checks.skip(f"{info.name} — tags {','.join(info.tags)}")
    print(f"e2e {options.target}: {time.monotonic() - started:.1f}s in all")
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
