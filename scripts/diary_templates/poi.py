"""Apache POI's reading of the workbooks (Debian: libapache-poi-java): every record parsed as
strictly as Excel reads it, and every formula worked out by Excel's rules (StrictXls.java)."""

import json
import pathlib
import subprocess

JARS = ":".join(f"/usr/share/java/{jar}.jar" for jar in ("poi", "commons-collections4", "commons-math3", "commons-codec"))
PROGRAM = pathlib.Path(__file__).resolve().parent / "StrictXls.java"


def values(workbooks):
    """Each workbook's values, {path: {"A1": value, ...}}, given (path, the text put in place of
    CELL("filename")) pairs; and what POI warned of ("" when nothing)."""
    names = [a for path, name in workbooks for a in (str(path), name)]
    result = subprocess.run(["java", "-cp", JARS, str(PROGRAM), *names], capture_output=True, text=True)
    warned = result.stderr.strip() or (f"exit {result.returncode}" if result.returncode else "")
    return json.loads(result.stdout or "{}"), warned
