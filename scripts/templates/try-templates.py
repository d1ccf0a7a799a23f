#!/usr/bin/python3
"""Opens the built templates/Dozeboardt*.xls in LibreOffice the way the launcher's copies are
opened and checks what the workbooks do:

- a copy named Dozeboard_2026-02.xls shows February 2026 as soon as it is opened (the 1st a
  Sunday, 28 days, the 29th to 31st blank), the template itself shows no month, and the month
  is read from every form of the name that CELL("filename") gives;
- the input checks, the 24-hour picture's conditional formats and the chart of each night's
  total sleep survived the build into .xls;
- filled with the February of tests/templates/check_engines.py (which holds every figure to
  the values worked out by hand in three spreadsheet engines), the copy prints on one page.

With --pictures DIR it writes each checked copy as PDF and, when pdftoppm is there, as PNG.
Ends with "N passed, N failed".

Needs LibreOffice and its Python bridge (Debian: libreoffice-calc-nogui, python3-uno; run with
the system's /usr/bin/python3). scripts/templates/make-templates.sh runs it after building.
"""

import argparse
import importlib.util
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

import uno  # noqa: E402  (the LibreOffice bridge)
from com.sun.star.beans import PropertyValue  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.dont_write_bytecode = True
_spec = importlib.util.spec_from_file_location("gen", pathlib.Path(__file__).resolve().parent / "gen-template-sources.py")
gen = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gen)
# The month of nights worked out by hand, which tests/templates/check_engines.py holds every engine to.
_spec = importlib.util.spec_from_file_location("engines", ROOT / "tests" / "templates" / "check_engines.py")
engines = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(engines)


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def hm(text):
    """"23:30" as a fraction of a day."""
    h, m = text.split(":")
    return (int(h) * 60 + int(m)) / 1440.0


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
        deadline = time.time() + 300  # a busy machine can take minutes to start the office
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
        if isinstance(want, float) and isinstance(got, float):
            ok = abs(got - want) < 1e-6
        else:
            ok = got == want
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {what}: got {got!r}, want {want!r}")

    def true(self, what, ok, detail=""):
        self.equal(f"{what} {detail}".strip(), bool(ok), True)


# --- reading the sheet ------------------------------------------------------------------------


def shown(sheet, ref):
    """What a cell shows: "" when empty, its text, or its number rounded to a billionth."""
    c = sheet.getCellRangeByName(ref)
    kind = c.getType().value
    if kind == "EMPTY":
        return ""
    if kind == "TEXT" or (kind == "FORMULA" and c.FormulaResultType2 == 2):  # a text result
        return c.getString()
    return round(c.getValue(), 9)


def check_month(checks, sheet, lay, label, year, month, days, weekdays):
    def at(key, day):
        return f"{lay.letter(key)}{gen.FIRST + day - 1}"

    checks.equal(f"{label} year", shown(sheet, gen.YEAR_CELL), year)
    checks.equal(f"{label} month", shown(sheet, gen.MONTH_CELL), month)
    for day in range(1, 32):
        want = float(day) if day <= days else ""
        checks.equal(f"{label} day {day}", shown(sheet, at("day", day)), want)
    for day, name in weekdays.items():
        checks.equal(f"{label} weekday of the {day}", shown(sheet, at("wday", day)), name)
    if not weekdays:
        checks.equal(f"{label} no weekday without a month", shown(sheet, at("wday", 1)), "")


def check_survivors(checks, doc, sheet, lay, label):
    """The input checks and the picture's conditional formats, as read back from the .xls."""
    from com.sun.star.sheet.ValidationType import DECIMAL, TIME, WHOLE

    cell_styles = doc.StyleFamilies.getByName("CellStyles")
    row = gen.FIRST
    for key, kind, lo, hi in (("bed", TIME, 0.0, 0.999988), ("wake", TIME, 0.0, 0.999988),
                              ("quality", WHOLE, 1.0, 5.0), ("sol", WHOLE, 0.0, 720.0),
                              ("alcohol", DECIMAL, 0.0, 50.0)):
        v = sheet.getCellRangeByName(f"{lay.letter(key)}{row + 10}").Validation
        bounds = (float(v.getFormula1() or "nan"), float(v.getFormula2() or "nan"))
        checks.true(f"{label} {key}: validation type {kind.value} between {lo} and {hi}",
                    v.Type == kind and v.ShowErrorMessage and abs(bounds[0] - lo) < 1e-6 and abs(bounds[1] - hi) < 1e-6,
                    f"{v.Type.value} {bounds} {v.ShowErrorMessage}")
        if kind == TIME:
            checks.true(f"{label} {key}: 2330 and 7 are refused, 23:30 accepted",
                        all(not (bounds[0] <= x <= bounds[1]) for x in (2330, 7)) and bounds[0] <= hm("23:30") <= bounds[1])
            checks.true(f"{label} {key}: the refusal says how to type a time",
                        "23:30 のように入力してください" in v.ErrorMessage, v.ErrorMessage)
        if key == "quality":
            checks.true(f"{label} {key}: the refusal names 1 to 5", "1（悪い）から 5（良い）" in v.ErrorMessage, v.ErrorMessage)
    charts = sheet.getCharts()
    ranges = [(r.StartColumn, r.StartRow, r.EndRow) for r in charts.getByIndex(0).getRanges()] if charts.getCount() else []
    checks.equal(f"{label} one chart, of the total sleep over the days 1 to 31", (charts.getCount(), ranges),
                 (1, [(0, gen.FIRST - 1, gen.LAST - 1), (lay.index["tst"], gen.FIRST - 1, gen.LAST - 1)]))
    for slot in (0, 23, 24, 47):
        cf = sheet.getCellRangeByName(f"{gen.col(lay.first_slot + slot)}{row + 20}").ConditionalFormat
        fills = [cell_styles.getByName(cf.getByIndex(i).StyleName).CellBackColor for i in range(cf.getCount())]
        checks.equal(f"{label} slot {slot}: asleep dark, in bed light", fills,
                     [int(gen.ASLEEP[1:], 16), int(gen.IN_BED[1:], 16)])


# What CELL("filename") gives in each application, and the month read from it.
NAME_FORMS = [
    ("C:\\Users\\hanako\\AutoQuillmer\\[Dozeboard_2026-02.xls]睡眠表", 2026.0, 2.0),
    ("C:\\[old]\\[Dozeboard_2025-12.xls]睡眠表", 2025.0, 12.0),  # a ] in a folder's name
    ("'file:///home/hanako/a%23b/Dozeboard_2026-02.xls'#$睡眠表", 2026.0, 2.0),
    ("'file:///home/hanako/Dozeboard_2026-02.xls.bak'#$睡眠表", "", ""),
    ("file:///home/hanako/Dozeboard_x/Dozeboard_2026-03.xls", 2026.0, 3.0),  # no sheet name
    ("C:\\Users\\hanako\\[Dozeboardt1.xls]睡眠表", "", ""),
    ("C:\\Users\\hanako\\[Dozeboard_2026-xx.xls]睡眠表", "", ""),
    ("", "", ""),  # a workbook never saved
]


def check_name_forms(checks, doc, sheet, lay, label):
    name = sheet.getCellRangeByName(f"{lay.letter('name')}2")
    for text, year, month in NAME_FORMS:
        name.setString(text)
        doc.calculateAll()
        checks.equal(f"{label} month of {text!r}", (shown(sheet, gen.YEAR_CELL), shown(sheet, gen.MONTH_CELL)),
                     (year, month))


def check_entries(checks, sheet, lay, label):
    """How the filled entries show, and which cells the sheet's protection leaves open."""
    at = lambda key, day: sheet.getCellRangeByName(f"{lay.letter(key)}{gen.FIRST + day - 1}")  # noqa: E731
    checks.equal(f"{label} a time shows as 23:10", at("bed", 1).getString(), "23:10")
    checks.equal(f"{label} a mistyped 2330 shows as typed", at("bed", 4).getString(), "2330")
    checks.equal(f"{label} cups show one decimal", (at("caffeine", 3).getString(), at("caffeine", 1).getString()),
                 ("1.5", "2.0"))
    checks.true(f"{label} the sheet is protected", sheet.isProtected())
    open_keys = {c.key for c in lay.cols if c.kind in gen.INPUT_STYLE}
    for c in lay.cols:
        if c.kind in ("time", "rating", "memo", "calc", "weekday", "helper") or c.key in open_keys:
            checks.equal(f"{label} {c.key} cells {'open' if c.key in open_keys else 'locked'}",
                         at(c.key, 9).CellProtection.IsLocked, c.key not in open_keys)
    checks.equal(f"{label} year and month can be typed over",
                 [sheet.getCellRangeByName(r).CellProtection.IsLocked for r in (gen.YEAR_CELL, gen.MONTH_CELL)],
                 [False, False])


def printed(doc, work):
    pdf = work / "page.pdf"
    doc.storeToURL(uno.systemPathToFileUrl(str(pdf)), (prop("FilterName", "calc_pdf_Export"),))
    return pdf


def one_page(checks, doc, work, label):
    pages = len(re.findall(rb"/Type\s*/Page[^s]", printed(doc, work).read_bytes()))
    checks.equal(f"{label} prints on one page", pages, 1)


ROOM = 0.7


def check_month_fits(checks, doc, sheet, lay, work, label):
    """The widest month, 12月, prints as such (not ###) and needs at most ROOM of its cell, so that
    a wider font than this machine's still fits. What it needs is the optimal width of a spare
    column holding the same number in the same format and font."""
    cell = sheet.getCellRangeByName(gen.MONTH_CELL)
    cursor = sheet.createCursorByRange(cell)
    cursor.collapseToMergedArea()
    spare = len(lay.cols) + 2
    probe = sheet.getCellByPosition(spare, 1)
    for name in ("NumberFormat", "CharFontName", "CharHeight", "CharWeight",
                 "CharFontNameAsian", "CharHeightAsian", "CharWeightAsian"):
        probe.setPropertyValue(name, cell.getPropertyValue(name))
    probe.setValue(cell.getValue())
    column = sheet.getColumns().getByIndex(spare)
    column.OptimalWidth = True
    needed, width = column.Width, cursor.Size.Width
    checks.true(f"{label}: the month needs at most {ROOM:.0%} of its cell", needed <= ROOM * width,
                f"{needed} of {width} (1/100 mm)")
    text = subprocess.run(["pdftotext", "-layout", str(printed(doc, work)), "-"],
                          capture_output=True, text=True, check=True).stdout
    month_line = next((line for line in text.splitlines() if "年・月" in line), "")
    checks.true(f"{label}: prints its month, 12月", "12月" in month_line and "#" not in month_line, month_line[:60])



def fill(sheet, lay, nights):
    for day, entries in nights.items():
        n = gen.FIRST + day - 1
        for key, v in entries.items():
            c = sheet.getCellRangeByName(f"{lay.letter(key)}{n}")
            if isinstance(v, str) and ":" in v:
                c.setValue(hm(v))
            elif isinstance(v, str):
                c.setString(v)
            else:
                c.setValue(v)


def export(doc, pictures, stem):
    if not pictures:
        return
    pdf = pathlib.Path(pictures) / f"{stem}.pdf"
    doc.storeToURL(uno.systemPathToFileUrl(str(pdf)), (prop("FilterName", "calc_pdf_Export"),))
    if shutil.which("pdftoppm"):
        subprocess.run(["pdftoppm", "-png", "-r", "100", "-singlefile", str(pdf), str(pdf.with_suffix(""))],
                       check=True)


def run(office, checks, kind, pictures):
    name = f"Dozeboardt{kind}"
    lay = gen.Layout(kind)
    work = pathlib.Path(tempfile.mkdtemp())
    try:
        # The template as shipped: no month.
        doc = office.open(ROOT / "templates" / f"{name}.xls")
        try:
            sheet = doc.getSheets().getByIndex(0)
            check_month(checks, sheet, lay, f"{name}", "", "", 31, {})
            checks.equal(f"{name} month's nights", shown(sheet, f"E{gen.LAST + 7}"), 0.0)
            export(doc, pictures, f"{name}-empty")
        finally:
            doc.close(True)
        # The launcher's copy for February 2026, as it opens: no recalculation asked for.
        copy = work / "Dozeboard_2026-02.xls"
        shutil.copy(ROOT / "templates" / f"{name}.xls", copy)
        doc = office.open(copy)
        try:
            sheet = doc.getSheets().getByIndex(0)
            check_month(checks, sheet, lay, f"{name} 2026-02", 2026.0, 2.0, 28, engines.MONTHS[0][6])
            check_survivors(checks, doc, sheet, lay, name)
            fill(sheet, lay, engines.entries(lay, engines.FEBRUARY))
            doc.calculateAll()
            export(doc, pictures, f"{name}-2026-02")
            one_page(checks, doc, work, f"{name} 2026-02")
            check_entries(checks, sheet, lay, f"{name} 2026-02")
            # A month typed over the one from the name.
            sheet.getCellRangeByName(gen.YEAR_CELL).setValue(2024)
            doc.calculateAll()
            check_month(checks, sheet, lay, f"{name} typed 2024-02", 2024.0, 2.0, 29, {1: "木", 29: "木"})
        finally:
            doc.close(True)
        # December: the widest month.
        copy = work / "Dozeboard_2026-12.xls"
        shutil.copy(ROOT / "templates" / f"{name}.xls", copy)
        doc = office.open(copy)
        try:
            sheet = doc.getSheets().getByIndex(0)
            check_month(checks, sheet, lay, f"{name} 2026-12", 2026.0, 12.0, 31, {1: "火", 31: "木"})
            check_month_fits(checks, doc, sheet, lay, work, f"{name} 2026-12")
            export(doc, pictures, f"{name}-2026-12")
        finally:
            doc.close(True)
        # The month from either application's form of the workbook's name.
        doc = office.open(ROOT / "templates" / f"{name}.xls")
        try:
            check_name_forms(checks, doc, doc.getSheets().getByIndex(0), lay, name)
        finally:
            doc.close(True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pictures", help="write each checked copy here as PDF and PNG")
    args = parser.parse_args()
    checks = Checks()
    office = Office()
    try:
        for kind in (1, 3):
            run(office, checks, kind, args.pictures)
    finally:
        office.close()
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
