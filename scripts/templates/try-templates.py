#!/usr/bin/python3
"""Opens the built templates/Dozeboardt*.xls in LibreOffice the way the launcher's copies are
opened and checks what the workbooks do:

- a copy named Dozeboard_2026-02.xls shows February 2026 as soon as it is opened (the 1st a
  Sunday, 28 days, the 29th to 31st blank), the template itself shows no month, and the month
  is read from either form of the name that CELL("filename") gives;
- the input checks, the 24-hour picture's conditional formats and the chart of each night's
  total sleep survived the build into .xls;
- the filled copy prints on one page;
- filled with a realistic week (a night across midnight, a sleep that starts at 01:30, a nap or
  second sleep, two awakenings, a wrong entry), every computed figure and every summary equals
  the values worked out by hand below.

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
import statistics
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


# --- the example: February 2026 (the 1st a Sunday) -------------------------------------------
# One night per line: the entries, then what was worked out by hand, in minutes: time in bed
# (into bed -> out of bed), total sleep (lights out -> final waking, less the minutes to fall
# asleep and awake), the time into bed and the final waking as minutes after noon of the date.
NIGHTS = {
    # day: entries
    1: dict(bed="23:10", lights="23:30", sol=20, wakes=2, waso=25, wake="6:40", out="7:00",
            quality=3, feel=3, caffeine=2, caffeine_at="15:00", memo="日付をまたいだ"),
    2: dict(bed="1:30", lights="1:30", sol=10, wakes=0, waso=0, wake="7:30", out="7:45", quality=2, feel=2),
    3: dict(bed="22:30", lights="22:45", sol=15, wakes=1, waso=10, wake="6:15", out="6:30",
            x1s="13:00", x1e="13:40", alcohol=1, quality=4, feel=4),
    4: dict(bed=2330, wake="7:00", out="7:10"),  # 2330 typed without the colon, got in by pasting
    5: dict(bed="23:00", sol=30, wake="6:00", out="6:10", med="頓服薬", dose="1錠", med_at="22:40"),
    6: dict(bed="23:45", lights="0:00", sol=20, wakes=1, waso=15, wake="8:30", out="9:00"),
    7: dict(bed="0:15", lights="0:20", sol=10, wakes=0, waso=0, wake="9:10", out="9:30", quality=5, feel=4),
    9: dict(bed="23:00", lights="23:15", sol=15, wake="6:30", out="6:45"),
    28: dict(bed="23:30", lights="23:30", sol=5, wake="7:35", out="7:35"),
}
# day: (time in bed, total sleep, minutes to fall asleep, into bed after noon, final waking after noon)
BY_HAND = {
    1: (470, 430 - 20 - 25, 20, 11 * 60 + 10, 18 * 60 + 40),  # 23:10-7:00; 23:30-6:40 is 430
    2: (375, 360 - 10, 10, 13 * 60 + 30, 19 * 60 + 30),  # 1:30-7:45; 1:30-7:30 is 360
    3: (480, 450 - 15 - 10, 15, 10 * 60 + 30, 18 * 60 + 15),  # 22:30-6:30; 22:45-6:15 is 450
    5: (430, 420 - 30, 30, 11 * 60, 18 * 60),  # no lights out: from bed at 23:00; 23:00-6:10
    6: (555, 510 - 20 - 15, 20, 11 * 60 + 45, 20 * 60 + 30),  # 23:45-9:00; 0:00-8:30 is 510
    7: (555, 530 - 10, 10, 12 * 60 + 15, 21 * 60 + 10),  # 0:15-9:30; 0:20-9:10 is 530
    9: (465, 435 - 15, 15, 11 * 60, 18 * 60 + 30),  # 23:00-6:45; 23:15-6:30 is 435
    28: (485, 485 - 5, 5, 11 * 60 + 30, 19 * 60 + 35),  # 23:30-7:35
}
# Type-3 counts its second sleep (13:00-13:40 on the 3rd, 40 minutes) in both times.
BY_HAND_T3 = {**BY_HAND, 3: (480 + 40, 425 + 40, 15, 10 * 60 + 30, 18 * 60 + 15)}
BEFORE_DAY_OFF = {6, 7, 28}  # Friday and Saturday nights; the others are Sunday to Thursday nights
WEEKDAYS_FEB_2026 = {1: "日", 2: "月", 6: "金", 7: "土", 8: "日", 28: "土"}


def summary(hand, days):
    """The summary figures over the given nights, in the units the sheet shows (days, ratios)."""
    nights = [hand[d] for d in sorted(days) if d in hand]
    if not nights:
        return {"nights": 0.0, "tst": "", "se": "", "sol": "", "bed": "", "bed_sd": "", "wake": "", "wake_sd": ""}
    beds = [n[3] for n in nights]
    wakes = [n[4] for n in nights]
    return {
        "nights": float(len(nights)),
        "tst": statistics.mean(n[1] for n in nights) / 1440,
        "se": statistics.mean(n[1] / n[0] for n in nights),
        "sol": float(statistics.mean(n[2] for n in nights)),
        "bed": ((statistics.mean(beds) + 720) % 1440) / 1440,
        "bed_sd": statistics.pstdev(beds),
        "wake": ((statistics.mean(wakes) + 720) % 1440) / 1440,
        "wake_sd": statistics.pstdev(wakes),
    }


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


def approx(want):
    return round(want, 9) if isinstance(want, float) else want


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


# What CELL("filename") gives in either application, and the month read from it.
NAME_FORMS = [
    ("C:\\Users\\hanako\\AutoQuillmer\\[Dozeboard_2026-02.xls]睡眠表", 2026.0, 2.0),
    ("C:\\[old]\\[Dozeboard_2025-12.xls]睡眠表", 2025.0, 12.0),  # a ] in a folder's name
    ("'file:///home/hanako/a%23b/Dozeboard_2026-02.xls'#$睡眠表", 2026.0, 2.0),
    ("'file:///home/hanako/Dozeboard_2026-02.xls.bak'#$睡眠表", "", ""),
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


def one_page(checks, doc, work, label):
    pdf = work / "page.pdf"
    doc.storeToURL(uno.systemPathToFileUrl(str(pdf)), (prop("FilterName", "calc_pdf_Export"),))
    pages = len(re.findall(rb"/Type\s*/Page[^s]", pdf.read_bytes()))
    checks.equal(f"{label} prints on one page", pages, 1)


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


def check_filled(checks, sheet, lay, label, hand):
    for day in range(1, 32):
        n = gen.FIRST + day - 1
        if day in hand:
            tib, tst = hand[day][0], hand[day][1]
            want = {"tib": tib / 1440, "tst": tst / 1440, "se": tst / tib}
        elif day in NIGHTS:
            want = {"tib": gen.BAD, "tst": gen.BAD, "se": ""}  # the wrong entry: flagged, not counted
        else:
            want = {"tib": "", "tst": "", "se": ""}
        for key, value in want.items():
            checks.equal(f"{label} night {day} {key}", shown(sheet, f"{lay.letter(key)}{n}"), approx(value))
    # The picture's edges for three nights, in days after noon: into bed, asleep, woken, out of bed.
    for day, edges in ((1, ("23:10", "23:50", "6:40", "7:00")), (2, ("1:30", "1:40", "7:30", "7:45")),
                       (5, ("23:00", "23:30", "6:00", "6:10"))):
        n = gen.FIRST + day - 1
        a, s, w, o = ((hm(t) - 0.5) % 1 for t in edges)
        for key, want in (("bed_a", a), ("sleep_a", s), ("sleep_b", w), ("bed_b", o)):
            checks.equal(f"{label} night {day} picture {key}", shown(sheet, f"{lay.letter(key)}{n}"), approx(want))
    n3 = gen.FIRST + 2
    for key, want in (("x1_a", hm("13:00") - 0.5), ("x1_b", hm("13:40") - 0.5)):
        checks.equal(f"{label} night 3 picture {key}", shown(sheet, f"{lay.letter(key)}{n3}"), approx(want))
    checks.equal(f"{label} wrong entry: nothing drawn", shown(sheet, f"{lay.letter('sleep_a')}{gen.FIRST + 3}"), -1.0)
    # Summaries: the five 7-day blocks, the month, the nights before working days and days off.
    blocks = [range(1, 8), range(8, 15), range(15, 22), range(22, 29), range(29, 32), range(1, 32),
              [d for d in hand if d not in BEFORE_DAY_OFF], [d for d in hand if d in BEFORE_DAY_OFF]]
    first_summary = gen.LAST + 2
    for i, days in enumerate(blocks):
        want = summary(hand, days)
        if i >= 6:  # the two kinds of night show no spread
            want["bed_sd"] = want["wake_sd"] = ""
        for j, (key, _, _) in enumerate(gen.SUMMARY_FIELDS):
            ref = f"{gen.col(4 + 2 * j)}{first_summary + i}"
            checks.equal(f"{label} summary row {i + 1} {key}", shown(sheet, ref), approx(want[key]))


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
    hand = BY_HAND if kind == 1 else BY_HAND_T3
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
            check_month(checks, sheet, lay, f"{name} 2026-02", 2026.0, 2.0, 28, WEEKDAYS_FEB_2026)
            check_survivors(checks, doc, sheet, lay, name)
            fill(sheet, lay, {d: {k: v for k, v in e.items() if k in lay.index} for d, e in NIGHTS.items()})
            doc.calculateAll()
            check_filled(checks, sheet, lay, f"{name} 2026-02", hand)
            export(doc, pictures, f"{name}-2026-02")
            one_page(checks, doc, work, f"{name} 2026-02")
            # A month typed over the one from the name.
            sheet.getCellRangeByName(gen.YEAR_CELL).setValue(2024)
            doc.calculateAll()
            check_month(checks, sheet, lay, f"{name} typed 2024-02", 2024.0, 2.0, 29, {1: "木", 29: "木"})
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
