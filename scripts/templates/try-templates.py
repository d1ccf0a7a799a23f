#!/usr/bin/python3
"""Opens the built templates/Dozeboardt*.xls in LibreOffice, fills a copy the way a user would
(a month, some bed and waking times) and checks what the workbook's own formulas compute:
weekdays, blank days past the month's end, hours slept across midnight, the day's total and
the month's averages. Writes each filled copy as PDF for a look (to the folder given with
--pdf-dir). Ends with "N passed, N failed".

Needs LibreOffice and its Python bridge (Debian: libreoffice-calc-nogui, python3-uno; run with
the system's /usr/bin/python3). scripts/templates/make-templates.sh runs it after building.
"""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

import uno  # noqa: E402  (the LibreOffice bridge)
from com.sun.star.beans import PropertyValue  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def hm(h, m):
    return (h * 60 + m) / 1440.0


class Office:
    def __init__(self):
        self.profile = tempfile.mkdtemp()
        self.pipe = f"aqtpl{os.getpid()}"
        self.proc = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
             f"-env:UserInstallation=file://{self.profile}",
             f"--accept=pipe,name={self.pipe};urp;StarOffice.ComponentContext"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + 60
        while True:
            try:
                ctx = resolver.resolve(f"uno:pipe,name={self.pipe};urp;StarOffice.ComponentContext")
                break
            except Exception:  # not listening yet
                if time.time() > deadline:
                    raise
                time.sleep(0.5)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def open(self, path):
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(str(path)), "_blank", 0,
                                                 (prop("Hidden", True),))

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:  # the bridge goes down with the office
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.profile, ignore_errors=True)


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def equal(self, what, got, want):
        ok = (abs(got - want) < 1e-9) if isinstance(want, float) and isinstance(got, float) else got == want
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {what}: got {got!r}, want {want!r}")


def value(sheet, ref):
    return sheet.getCellRangeByName(ref).getValue()


def text(sheet, ref):
    return sheet.getCellRangeByName(ref).getString()


def fill(sheet, entries):
    for ref, v in entries.items():
        sheet.getCellRangeByName(ref).setValue(v)


def run(office, name, month, entries, expect, checks, pdf_dir, label):
    work = pathlib.Path(tempfile.mkdtemp())
    copy = work / f"{name}.xls"
    shutil.copy(ROOT / "templates" / f"{name}.xls", copy)
    doc = office.open(copy)
    try:
        sheet = doc.getSheets().getByIndex(0)
        if month:
            month_cells = ("C2", "D2") if name.endswith("t1") else ("C2", "E2")
            fill(sheet, {month_cells[0]: month[0], month_cells[1]: month[1]})
        fill(sheet, entries)
        doc.calculateAll()
        for ref, want in expect.items():
            got = text(sheet, ref) if isinstance(want, str) else round(value(sheet, ref), 6)
            checks.equal(f"{name} {label} {ref}", got, want)
        if pdf_dir:
            pdf = pathlib.Path(pdf_dir) / f"{name}-{label}.pdf"
            doc.storeToURL(uno.systemPathToFileUrl(str(pdf)), (prop("FilterName", "calc_pdf_Export"),))
    finally:
        doc.close(True)
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pdf-dir", help="write each filled copy here as PDF")
    args = parser.parse_args()
    checks = Checks()
    office = Office()
    try:
        # Type-1: June 2024 (30 days, the 1st a Saturday).
        run(office, "Dozeboardt1", (2024, 6),
            {"C5": hm(23, 30), "D5": hm(6, 45),   # across midnight: 7.25 h
             "C6": hm(0, 30), "D6": hm(7, 0),     # after midnight: 6.5 h
             "C7": hm(22, 0), "D7": hm(5, 0),     # 7.0 h
             "C34": hm(23, 0), "D34": hm(7, 0)},  # the 30th: 8.0 h
            {"A5": 1.0, "B5": "土", "B6": "日", "B7": "月", "A34": 30.0, "B34": "日",
             "A35": "", "B35": "",
             "E5": 7.25, "E6": 6.5, "E7": 7.0, "E8": "", "E34": 8.0,
             "E36": round((7.25 + 6.5 + 7.0 + 8.0) / 4, 6), "E37": 4.0},
            checks, args.pdf_dir, "2024-06")
        # Type-1: February of a leap year and of a common year; no month given.
        run(office, "Dozeboardt1", (2024, 2), {},
            {"B5": "木", "A33": 29.0, "B33": "木", "A34": "", "A35": "", "E36": "", "E37": 0.0},
            checks, None, "2024-02")
        run(office, "Dozeboardt1", (2023, 2), {},
            {"B5": "水", "A32": 28.0, "B32": "火", "A33": "", "B33": "", "A34": "", "A35": ""},
            checks, None, "2023-02")
        run(office, "Dozeboardt1", None, {},
            {"A5": 1.0, "B5": "", "A35": 31.0, "B35": ""},
            checks, args.pdf_dir, "empty")
        # Type-3: June 2024, rows 6 to 36.
        run(office, "Dozeboardt3", (2024, 6),
            {"C6": hm(23, 0), "D6": hm(6, 0), "F6": hm(13, 0), "G6": hm(13, 45),
             "C7": hm(1, 0), "D7": hm(5, 30), "F7": hm(14, 0), "G7": hm(15, 30),
             "I7": hm(20, 0), "J7": hm(21, 0)},
            {"A6": 1.0, "B6": "土", "B7": "日", "A35": 30.0, "A36": "", "B36": "",
             "E6": 7.0, "H6": 0.75, "K6": "", "L6": 7.75,
             "E7": 4.5, "H7": 1.5, "K7": 1.0, "L7": 7.0, "L8": "",
             "E37": 5.75, "H37": 1.125, "K37": 1.0, "L37": 7.375, "L38": 2.0},
            checks, args.pdf_dir, "2024-06")
        run(office, "Dozeboardt3", (2023, 12), {},
            {"B6": "金", "A36": 31.0, "B36": "日", "L37": "", "L38": 0.0},
            checks, None, "2023-12")
    finally:
        office.close()
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
