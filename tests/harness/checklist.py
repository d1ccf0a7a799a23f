"""The tally of the repository's Python checks: each check prints "ok" or "FAIL" with what it
checks, and the run ends with the line "N passed, N failed". Also what the checks read from
the repository itself: the project's version and the table of the program's texts."""

import ast
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]

# The pattern of "-k PATTERN": only the cases and checks whose name holds it (letter case
# ignored) run and count. Every runner takes it the same way, through take_pattern.
PATTERN = None


def take_pattern(argv=None):
    """Takes "-k PATTERN" out of the arguments (sys.argv by default), before a runner reads the
    rest, and keeps it for every Checks of the run; gives the pattern, None when there is none."""
    global PATTERN
    argv = sys.argv if argv is None else argv
    for i, arg in enumerate(argv):
        if arg == "-k" and i + 1 < len(argv):
            PATTERN = argv[i + 1]
            del argv[i:i + 2]
            break
    return PATTERN


def wanted(name):
    """Whether a case or check of this name runs under the "-k" pattern."""
    return PATTERN is None or PATTERN.lower() in name.lower()


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.skipped = 0

    def check(self, what, ok, detail=""):
        if not wanted(what):
            return ok
        if ok:
            self.passed += 1
            print(f"ok   {what}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL {what}{': ' + detail if detail else ''}", flush=True)
        return ok

    def skip(self, what):
        self.skipped += 1
        print(f"skip {what}")

    def summary(self):
        """Prints the last line and gives the exit code: 1 when anything failed."""
        skipped = f", {self.skipped} skipped" if self.skipped else ""
        print(f"{self.passed} passed, {self.failed} failed{skipped}")
        return 1 if self.failed else 0



def project_version():
    """The version in project(AutoQuillmer VERSION x.y.z) of the top CMakeLists.txt, or None."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    m = re.search(r"^project\(AutoQuillmer VERSION (\d+\.\d+\.\d+)[ )]", text, re.M)
    return m.group(1) if m else None


def program_texts():
    """The program's fixed texts from their table, src/platform/Texts.def, in its order:
    (name, number in the string table, text) for each row. The launcher's own texts (AQ_TEXT
    rows) have no number: None; those of the failure report (AQ_STRING rows) have one."""
    rows = []
    for line in (ROOT / "src/platform/Texts.def").read_text(encoding="utf-8").splitlines():
        if not line.startswith(("AQ_TEXT(", "AQ_STRING(")):
            continue
        quote = line.index('"')
        fields = [f.strip() for f in line[line.index("(") + 1:quote].split(",") if f.strip()]
        text = ast.literal_eval(line[quote:line.rindex(")")])
        rows.append((fields[0], int(fields[1]) if len(fields) > 1 else None, text))
    return rows
