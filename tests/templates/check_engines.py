#!/usr/bin/python3
"""Opens the shipped sleep-diary templates as a user's program would, works them out in four
engines and holds every figure to the values worked out by hand below.

First, in LibreOffice as it opens them: the template shows no month, a copy named
Dozeboard_2026-02.xls shows February 2026 without a recalculation being asked for, the month is
read from every form of the name CELL("filename") gives, the input checks, the picture's
conditional formats and the chart survived the build, the filled February prints on one page
and a December copy prints its month, the widest, with room to spare (--pictures DIR writes
each as PDF and PNG: the guides' pictures). Then the engines:

- LibreOffice (through its Python bridge) opens a copy named as the launcher names it,
  Dozeboard_YYYY-MM.xls, types the month's nights in, recalculates and saves the copy as .xls
  (an empty month's copy stays the shipped workbook);
- Gnumeric recalculates that copy (ssconvert --recalc), whose treatment of blank cells is
  Excel's;
- HyperFormula works it out by Excel's rules (a reference to a blank cell is 0, Excel's day
  numbers), reading the .xls through SheetJS (tests/templates/excel-rules.js). It has no
  CELL(): the file name is put in place of CELL("filename") as each application reports it;
- Apache POI reads every copy (an empty month's is the shipped workbook, renamed) record by
  record as strictly as Excel, warning of nothing, and works it out by Excel's rules
  (scripts/diary_templates/StrictXls.java, with the name as Excel reports it).

One table, MONTHS, drives the engines: a filled February 2026 (nights across midnight, sleeps
after 1:00, a nap or second sleep, empty nights, a mistyped 2330 and other wrong entries), an
empty month, a leap February, a 31-day month and February 2060 (the holiday table's far end),
for both templates. Checked in each engine: year, month, the days and weekdays, the public
holidays, each night's time in bed, total sleep and efficiency, the edges of the 24-hour
picture (whole minutes after noon, which decide every half-hour cell: a cell is dark when its
middle, 30 k + 15 minutes, lies in a sleep, light when it lies in bed) and every summary.

    /usr/bin/python3 tests/templates/check_engines.py                 all engines
    /usr/bin/python3 tests/templates/check_engines.py --engine lo     one engine (lo, gnumeric, hf, poi)
    /usr/bin/python3 tests/templates/check_engines.py --engine lo --pictures DIR

With the repository's root on PYTHONPATH. Needs LibreOffice with python3-uno,
gnumeric, poppler-utils, Java with libapache-poi-java (scripts/setup.sh --tests installs them) and, for
hf, the npm packages of tests/templates (`npm ci --prefix tests/templates`, as scripts/test.sh
does). Ends with "N passed, N failed".
"""

import argparse
import json
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import zipfile
from xml.etree import ElementTree

from tests.harness.checklist import Checks, take_pattern
from scripts.diary_templates import office, poi
from scripts.diary_templates.formulas import SUMMARY_FIELDS
from scripts.diary_templates.layout import BAD, FIRST, LAST, MONTH_CELL, SHEET, YEAR_CELL, Layout, col
from scripts.diary_templates.styles import ASLEEP, IN_BED, INPUT_STYLE

ROOT = pathlib.Path(__file__).resolve().parents[2]
HERE = pathlib.Path(__file__).resolve().parent
sys.dont_write_bytecode = True


def hm(text):
    """"23:30" as minutes after midnight."""
    h, m = text.split(":")
    return int(h) * 60 + int(m)


def after_noon(text):
    return (hm(text) - 720) % 1440


# --- the table ----------------------------------------------------------------------------------
# A night: its entries, then what was worked out by hand: minutes in bed (into bed -> out of bed),
# minutes asleep (lights out -> final waking, less the minutes to fall asleep and awake; Type-3
# adds its second sleep to both) and the picture's edges: into bed, asleep, final waking, out of
# bed (and the nap or second sleep). A night without hand values holds a wrong entry: its row
# shows 入力? and counts nowhere.
Night = dict

FEBRUARY = {
    1: Night(enter=dict(bed="23:10", lights="23:30", sol=20, wakes=2, waso=25, wake="6:40", out="7:00",
                        quality=3, feel=3, caffeine=2, caffeine_at="15:00", memo="日付をまたいだ"),
             tib=470, tst=430 - 20 - 25, picture=("23:10", "23:50", "6:40", "7:00")),
    2: Night(enter=dict(bed="1:30", lights="1:30", sol=10, wakes=0, waso=0, wake="7:30", out="7:45", quality=2, feel=2),
             tib=375, tst=360 - 10, picture=("1:30", "1:40", "7:30", "7:45")),
    3: Night(enter=dict(bed="22:30", lights="22:45", sol=15, wakes=1, waso=10, wake="6:15", out="6:30",
                        x1s="13:00", x1e="13:40", alcohol=1, caffeine=1.5, quality=4, feel=4),
             tib=480, tst=450 - 15 - 10, picture=("22:30", "23:00", "6:15", "6:30"), second=("13:00", "13:40")),
    4: Night(enter=dict(bed=2330, wake="7:00", out="7:10"), wrong=True),  # 2330 typed without the colon, pasted past the check
    5: Night(enter=dict(bed="23:00", sol=30, wake="6:00", out="6:10", med="頓服薬", dose="1錠", med_at="22:40"),
             tib=430, tst=420 - 30, picture=("23:00", "23:30", "6:00", "6:10")),  # no lights out: from bed
    6: Night(enter=dict(bed="23:45", lights="0:00", sol=20, wakes=1, waso=15, wake="8:30", out="9:00"),
             tib=555, tst=510 - 20 - 15, picture=("23:45", "0:20", "8:30", "9:00")),
    7: Night(enter=dict(bed="0:15", lights="0:20", sol=10, wakes=0, waso=0, wake="9:10", out="9:30", quality=5, feel=4),
             tib=555, tst=530 - 10, picture=("0:15", "0:30", "9:10", "9:30")),
    9: Night(enter=dict(bed="23:00", lights="23:15", sol=15, wake="6:30", out="6:45"),
             tib=465, tst=435 - 15, picture=("23:00", "23:30", "6:30", "6:45")),
    10: Night(enter=dict(bed="23:30", wake="6:30", out="7:00"),  # the night before a public holiday
              tib=450, tst=420, picture=("23:30", "23:30", "6:30", "7:00")),
    12: Night(enter=dict(lights="23:40", out="7:20"),  # only lights out and out of bed
              tib=460, tst=460, picture=("23:40", "23:40", "7:20", "7:20")),
    13: Night(enter=dict(bed="23:00", sol=800, wake="6:00", out="6:10"), wrong=True),  # more than 720 minutes
    14: Night(enter=dict(bed="23:00", wake="6:00", out="6:10", quality=6), wrong=True),  # a rating of 6
    16: Night(enter=dict(quality=3, memo="眠れなかった")),  # no times: not a night
    28: Night(enter=dict(bed="23:30", lights="23:30", sol=5, wake="7:35", out="7:35"),
              tib=485, tst=485 - 5, picture=("23:30", "23:35", "7:35", "7:35")),
}

EDGES = ["bed_a", "sleep_a", "sleep_b", "bed_b", "x1_a", "x1_b", "x2_a", "x2_b"]

# (label, year, month, days in the month, nights, nights before a day off (Friday, Saturday or
# before a public holiday), weekdays of some days, public holidays)
MONTHS = [
    ("filled", 2026, 2, 28, FEBRUARY, {6, 7, 10, 13, 14, 20, 21, 22, 27, 28},
     {1: "日", 2: "月", 6: "金", 7: "土", 11: "水", 28: "土"}, {11, 23}),
    ("empty", 2026, 4, 30, {}, set(), {1: "水", 30: "木"}, {29}),
    ("leap", 2024, 2, 29, {29: Night(enter=dict(bed="23:00", wake="6:00", out="6:30"),
                                     tib=450, tst=420, picture=("23:00", "23:00", "6:00", "6:30"))},
     set(), {1: "木", 29: "木"}, {11, 12, 23}),
    ("31 days", 2026, 1, 31, {31: Night(enter=dict(bed="0:30", lights="0:30", sol=10, wake="8:00", out="8:15"),
                                        tib=465, tst=450 - 10, picture=("0:30", "0:40", "8:00", "8:15"))},
     {31}, {1: "木", 31: "土"}, {1, 12}),
    ("after 2059", 2060, 2, 29, {}, set(), {1: "日", 11: "水", 29: "日"}, {11, 23}),  # the table's far end
]


def entries(lay, nights):
    """{day: {column key: entry}} of the nights, without the columns the template lacks."""
    return {d: {k: v for k, v in n["enter"].items() if k in lay.index} for d, n in nights.items()}


def by_hand(lay, month):
    """The cells the engines are held to, {"A5": value}: numbers in the sheet's units (days,
    ratios, minutes), "" for a cell that shows nothing."""
    label, year, mon, days, nights, day_off, weekdays, holidays = month
    second = lambda n: (hm(n["second"][1]) - hm(n["second"][0])) % 1440 if lay.kind == 3 and "second" in n else 0  # noqa: E731
    at = lambda key, day: f"{lay.letter(key)}{FIRST + day - 1}"  # noqa: E731
    want = {YEAR_CELL: float(year), MONTH_CELL: float(mon)}
    counted = {}
    for day in range(1, 32):
        want[at("day", day)] = float(day) if day <= days else ""
        want[at("holiday", day)] = float(day in holidays)
        if day in weekdays:
            want[at("wday", day)] = weekdays[day]
        n = nights.get(day, {})
        cells = {key: -1.0 for key in EDGES if key in lay.index}
        if n.get("wrong"):
            cells.update(tib=BAD, tst=BAD, se="")
        elif "tib" not in n:
            cells.update(tib="", tst="", se="")
        else:
            tib, tst = n["tib"] + second(n), n["tst"] + second(n)
            cells.update(tib=tib / 1440, tst=tst / 1440, se=tst / tib)
            bed, asleep, woke, out = (after_noon(t) for t in n["picture"])
            cells.update(bed_a=bed, sleep_a=bed + (asleep - bed) % 1440, sleep_b=bed + (woke - bed) % 1440,
                         bed_b=bed + (out - bed) % 1440)
            if "second" in n:
                a, b = (after_noon(t) for t in n["second"])
                cells.update(x1_a=a, x1_b=a + (b - a) % 1440)
            counted[day] = (tib, tst, n["enter"].get("sol"), bed, cells["sleep_b"])
        for key, value in cells.items():
            want[at(key, day)] = float(value) if isinstance(value, int) else value
    blocks = [range(1, 8), range(8, 15), range(15, 22), range(22, 29), range(29, 32), range(1, 32),
              [d for d in counted if d not in day_off], [d for d in counted if d in day_off]]
    for i, block in enumerate(blocks):
        figures = summary([counted[d] for d in sorted(block) if d in counted], spread=i < 6)
        for j, (key, _, _) in enumerate(SUMMARY_FIELDS):
            want[f"{col(4 + 2 * j)}{LAST + 2 + i}"] = figures[key]
    return want


def summary(nights, spread):
    """The summary figures over the given nights, in the units the sheet shows (days, ratios)."""
    if not nights:
        return {"nights": 0.0, "tst": "", "se": "", "sol": "", "bed": "", "bed_sd": "", "wake": "", "wake_sd": ""}
    sols = [n[2] for n in nights if n[2] is not None]
    beds = [n[3] for n in nights]
    wakes = [n[4] for n in nights]
    return {
        "nights": float(len(nights)),
        "tst": statistics.mean(n[1] for n in nights) / 1440,
        "se": statistics.mean(n[1] / n[0] for n in nights),
        "sol": float(statistics.mean(sols)) if sols else "",
        "bed": ((statistics.mean(beds) + 720) % 1440) / 1440,
        "bed_sd": statistics.pstdev(beds) if spread else "",
        "wake": ((statistics.mean(wakes) + 720) % 1440) / 1440,
        "wake_sd": statistics.pstdev(wakes) if spread else "",
    }


# What CELL("filename") gives for a copy in each application (Excel, LibreOffice, Gnumeric).
def name_forms(file_name):
    return [f"C:\\Users\\hanako\\[old]\\[{file_name}]{SHEET}",
            f"'file:///home/hanako/a%23b/{file_name}'#${SHEET}",
            f"file:///home/hanako/Dozeboard_x/{file_name}"]


# --- the engines --------------------------------------------------------------------------------


def same(got, want):
    if isinstance(want, float):
        return isinstance(got, (int, float)) and not isinstance(got, bool) and abs(got - want) <= 1e-9 * max(1, abs(want))
    return got == want


def gnumeric_values(xls, work):
    """Recalculates with Gnumeric and reads every cell's value back from the .xlsx it writes."""
    out = work / "gnumeric.xlsx"
    subprocess.run(["ssconvert", "--recalc", str(xls), str(out)], check=True, capture_output=True)
    ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
    with zipfile.ZipFile(out) as z:
        shared = []
        if "xl/sharedStrings.xml" in z.namelist():
            shared = ["".join(t.text or "" for t in si.iter(f"{{{ns['m']}}}t"))
                      for si in ElementTree.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", ns)]
        sheet = ElementTree.fromstring(z.read("xl/worksheets/sheet1.xml"))
    values = {}
    for c in sheet.iter(f"{{{ns['m']}}}c"):
        kind, v = c.get("t"), c.find("m:v", ns)
        if kind == "inlineStr":
            values[c.get("r")] = "".join(t.text or "" for t in c.iter(f"{{{ns['m']}}}t"))
        elif kind == "s":
            values[c.get("r")] = shared[int(v.text)]
        elif kind in ("str", "e"):
            values[c.get("r")] = v.text or "" if v is not None else ""
        elif v is not None:
            values[c.get("r")] = float(v.text)
    return values


def excel_rules_values(xls, file_names):
    """HyperFormula's values of the copy, once for each text put in place of CELL("filename")."""
    result = subprocess.run(["node", str(HERE / "excel-rules.js"), str(xls), *file_names],
                            check=True, capture_output=True, text=True)
    return json.loads(result.stdout)


def libreoffice_values(sheet, refs):
    out = {}
    for ref in refs:
        c = sheet.getCellRangeByName(ref)
        kind = c.getType().value
        if kind == "FORMULA" and c.getError():
            out[ref] = f"#ERR{c.getError()}"
        elif kind == "EMPTY":
            out[ref] = ""
        elif kind == "TEXT" or (kind == "FORMULA" and c.FormulaResultType2 == 2):
            out[ref] = c.getString()
        else:
            out[ref] = c.getValue()
    return out


def compare(checks, what, got, want):
    wrong = {ref: (got.get(ref, ""), v) for ref, v in want.items() if not same(got.get(ref, ""), v)}
    detail = "; ".join(f"{ref} {g!r} (want {w!r})" for ref, (g, w) in list(wrong.items())[:12])
    checks.check(f"{what}: {len(want) - len(wrong)} of {len(want)} cells as worked out by hand", not wrong, detail)
    return len(want) - len(wrong), len(want)


def tallied(checks, tally, engine, what, got, want):
    right, total = compare(checks, what, got, want)
    tally[engine] = (tally.get(engine, (0, 0))[0] + right, tally.get(engine, (0, 0))[1] + total)


def run(office_, checks, engines, tally):
    work = pathlib.Path(tempfile.mkdtemp())
    strict = []  # (what, copy, want) for POI, which reads them all in one run
    try:
        for kind in (1, 3):
            lay = Layout(kind)
            name = f"Dozeboardt{kind}"
            for month in MONTHS:
                label, year, mon = month[:3]
                want = by_hand(lay, month)
                file_name = f"Dozeboard_{year:04d}-{mon:02d}.xls"
                folder = work / f"{name}-{label.replace(' ', '')}"
                folder.mkdir()
                copy = folder / file_name
                shutil.copy(ROOT / "templates" / f"{name}.xls", copy)
                with office_.opened(copy) as doc:
                    sheet = doc.getSheets().getByIndex(0)
                    office.fill(sheet, lay, entries(lay, month[4]))
                    doc.calculateAll()
                    results = {"lo": libreoffice_values(sheet, want)}
                    if month[4]:  # an empty month's copy stays the shipped workbook, byte for byte
                        office.Office.store(doc, copy, "MS Excel 97")
                if "gnumeric" in engines:
                    results["gnumeric"] = gnumeric_values(copy, folder)
                if "hf" in engines:
                    forms = name_forms(file_name)
                    by_form = excel_rules_values(copy, forms)
                    for i, form in enumerate(forms):
                        results[f"hf{i}"] = by_form[form]
                what = f"{name} {label} {year}-{mon:02d}"
                strict.append((what, copy, want))
                for engine, got in results.items():
                    if engine.rstrip("012") not in engines:
                        continue
                    shown = {"hf0": "hf, Excel's name", "hf1": "hf, LibreOffice's name", "hf2": "hf, Gnumeric's name"}
                    tallied(checks, tally, engine.rstrip("012"), f"{what} in {shown.get(engine, engine)}", got, want)
        if "poi" in engines:
            values, warned = poi.values([(copy, name_forms(copy.name)[0]) for _, copy, _ in strict])
            checks.check(f"POI reads every record of {len(strict)} workbooks without a warning", not warned, warned)
            for what, copy, want in strict:
                tallied(checks, tally, "poi", f"{what} in poi", values.get(str(copy), {}), want)
    finally:
        shutil.rmtree(work, ignore_errors=True)


# --- the workbooks as a user's program opens them -------------------------------------------------
# A copy named Dozeboard_2026-02.xls shows February 2026 as soon as it is opened (no
# recalculation asked for), the template itself no month, and the month is read from every
# form of the name that CELL("filename") gives; the input checks, the picture's conditional
# formats and the chart survived the build into .xls; the filled copy prints on one page; a
# December copy prints its month, the widest, with room to spare.


def equal(checks, what, got, want):
    ok = abs(got - want) < 1e-6 if isinstance(want, float) and isinstance(got, float) else got == want
    return checks.check(what, ok, "" if ok else f"got {got!r}, want {want!r}")


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
        return f"{lay.letter(key)}{FIRST + day - 1}"

    equal(checks, f"{label} year", shown(sheet, YEAR_CELL), year)
    equal(checks, f"{label} month", shown(sheet, MONTH_CELL), month)
    for day in range(1, 32):
        want = float(day) if day <= days else ""
        equal(checks, f"{label} day {day}", shown(sheet, at("day", day)), want)
    for day, name in weekdays.items():
        equal(checks, f"{label} weekday of the {day}", shown(sheet, at("wday", day)), name)
    if not weekdays:
        equal(checks, f"{label} no weekday without a month", shown(sheet, at("wday", 1)), "")


def check_survivors(checks, doc, sheet, lay, label):
    """The input checks and the picture's conditional formats, as read back from the .xls."""
    from com.sun.star.sheet.ValidationType import DECIMAL, TIME, WHOLE

    cell_styles = doc.StyleFamilies.getByName("CellStyles")
    row = FIRST
    for key, kind, lo, hi in (("bed", TIME, 0.0, 0.999988), ("wake", TIME, 0.0, 0.999988),
                              ("quality", WHOLE, 1.0, 5.0), ("sol", WHOLE, 0.0, 720.0),
                              ("alcohol", DECIMAL, 0.0, 50.0)):
        v = sheet.getCellRangeByName(f"{lay.letter(key)}{row + 10}").Validation
        bounds = (float(v.getFormula1() or "nan"), float(v.getFormula2() or "nan"))
        checks.check(f"{label} {key}: validation type {kind.value} between {lo} and {hi}",
                    v.Type == kind and v.ShowErrorMessage and abs(bounds[0] - lo) < 1e-6 and abs(bounds[1] - hi) < 1e-6,
                    f"{v.Type.value} {bounds} {v.ShowErrorMessage}")
        if kind == TIME:
            checks.check(f"{label} {key}: 2330 and 7 are refused, 23:30 accepted",
                        all(not (bounds[0] <= x <= bounds[1]) for x in (2330, 7)) and bounds[0] <= office.hm("23:30") <= bounds[1])
            checks.check(f"{label} {key}: the refusal says how to type a time",
                        "23:30 のように入力してください" in v.ErrorMessage, v.ErrorMessage)
        if key == "quality":
            checks.check(f"{label} {key}: the refusal names 1 to 5", "1（悪い）から 5（良い）" in v.ErrorMessage, v.ErrorMessage)
    charts = sheet.getCharts()
    ranges = [(r.StartColumn, r.StartRow, r.EndRow) for r in charts.getByIndex(0).getRanges()] if charts.getCount() else []
    equal(checks, f"{label} one chart, of the total sleep over the days 1 to 31", (charts.getCount(), ranges),
                 (1, [(0, FIRST - 1, LAST - 1), (lay.index["tst"], FIRST - 1, LAST - 1)]))
    for slot in (0, 23, 24, 47):
        cf = sheet.getCellRangeByName(f"{col(lay.first_slot + slot)}{row + 20}").ConditionalFormat
        fills = [cell_styles.getByName(cf.getByIndex(i).StyleName).CellBackColor for i in range(cf.getCount())]
        equal(checks, f"{label} slot {slot}: asleep dark, in bed light", fills,
                     [int(ASLEEP[1:], 16), int(IN_BED[1:], 16)])


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
        equal(checks, f"{label} month of {text!r}", (shown(sheet, YEAR_CELL), shown(sheet, MONTH_CELL)),
                     (year, month))


def check_entries(checks, sheet, lay, label):
    """How the filled entries show, and which cells the sheet's protection leaves open."""
    at = lambda key, day: sheet.getCellRangeByName(f"{lay.letter(key)}{FIRST + day - 1}")  # noqa: E731
    equal(checks, f"{label} a time shows as 23:10", at("bed", 1).getString(), "23:10")
    equal(checks, f"{label} a mistyped 2330 shows as typed", at("bed", 4).getString(), "2330")
    equal(checks, f"{label} cups show one decimal", (at("caffeine", 3).getString(), at("caffeine", 1).getString()),
                 ("1.5", "2.0"))
    checks.check(f"{label} the sheet is protected", sheet.isProtected())
    open_keys = {c.key for c in lay.cols if c.kind in INPUT_STYLE}
    for c in lay.cols:
        if c.kind in ("time", "rating", "memo", "calc", "weekday", "helper") or c.key in open_keys:
            equal(checks, f"{label} {c.key} cells {'open' if c.key in open_keys else 'locked'}",
                         at(c.key, 9).CellProtection.IsLocked, c.key not in open_keys)
    equal(checks, f"{label} year and month can be typed over",
                 [sheet.getCellRangeByName(r).CellProtection.IsLocked for r in (YEAR_CELL, MONTH_CELL)],
                 [False, False])


def printed(doc, work):
    pdf = work / "page.pdf"
    office.Office.store(doc, pdf, "calc_pdf_Export")
    return pdf


def one_page(checks, doc, work, label):
    pages = len(re.findall(rb"/Type\s*/Page[^s]", printed(doc, work).read_bytes()))
    equal(checks, f"{label} prints on one page", pages, 1)


ROOM = 0.7


def check_month_fits(checks, doc, sheet, lay, work, label):
    """The widest month, 12月, prints as such (not ###) and needs at most ROOM of its cell, so that
    a wider font than this machine's still fits. What it needs is the optimal width of a spare
    column holding the same number in the same format and font."""
    cell = sheet.getCellRangeByName(MONTH_CELL)
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
    checks.check(f"{label}: the month needs {needed / width:.0%} of its cell (at most {ROOM:.0%})",
                 needed <= ROOM * width, f"{needed} of {width} (1/100 mm)")
    text = subprocess.run(["pdftotext", "-layout", str(printed(doc, work)), "-"],
                          capture_output=True, text=True, check=True).stdout
    month_line = next((line for line in text.splitlines() if "年・月" in line), "")
    checks.check(f"{label}: prints its month, 12月", "12月" in month_line and "#" not in month_line, month_line[:60])



def run_opened(office_, checks, kind, pictures):
    name = f"Dozeboardt{kind}"
    lay = Layout(kind)
    work = pathlib.Path(tempfile.mkdtemp())

    def copy_named(file_name):
        """The shipped workbook copied under the name the launcher gives a month's chart."""
        shutil.copy(ROOT / "templates" / f"{name}.xls", work / file_name)
        return work / file_name

    try:
        # The template as shipped: no month.
        with office_.opened(ROOT / "templates" / f"{name}.xls") as doc:
            sheet = doc.getSheets().getByIndex(0)
            check_month(checks, sheet, lay, f"{name}", "", "", 31, {})
            equal(checks, f"{name} month's nights", shown(sheet, f"E{LAST + 7}"), 0.0)
            office.export(doc, pictures, f"{name}-empty")
        # The launcher's copy for February 2026, as it opens: no recalculation asked for.
        with office_.opened(copy_named("Dozeboard_2026-02.xls")) as doc:
            sheet = doc.getSheets().getByIndex(0)
            check_month(checks, sheet, lay, f"{name} 2026-02", 2026.0, 2.0, 28, MONTHS[0][6])
            check_survivors(checks, doc, sheet, lay, name)
            office.fill(sheet, lay, entries(lay, FEBRUARY))
            doc.calculateAll()
            office.export(doc, pictures, f"{name}-2026-02")
            one_page(checks, doc, work, f"{name} 2026-02")
            check_entries(checks, sheet, lay, f"{name} 2026-02")
            # A month typed over the one from the name.
            sheet.getCellRangeByName(YEAR_CELL).setValue(2024)
            doc.calculateAll()
            check_month(checks, sheet, lay, f"{name} typed 2024-02", 2024.0, 2.0, 29, {1: "木", 29: "木"})
        # December: the widest month.
        with office_.opened(copy_named("Dozeboard_2026-12.xls")) as doc:
            sheet = doc.getSheets().getByIndex(0)
            check_month(checks, sheet, lay, f"{name} 2026-12", 2026.0, 12.0, 31, {1: "火", 31: "木"})
            check_month_fits(checks, doc, sheet, lay, work, f"{name} 2026-12")
            office.export(doc, pictures, f"{name}-2026-12")
        # The month from either application's form of the workbook's name.
        with office_.opened(ROOT / "templates" / f"{name}.xls") as doc:
            check_name_forms(checks, doc, doc.getSheets().getByIndex(0), lay, name)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    take_pattern()
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", action="append", choices=["lo", "gnumeric", "hf", "poi"],
                        help="check only these engines (LibreOffice opens and fills the copies in any case)")
    parser.add_argument("--pictures", help="write each opened copy here as PDF and PNG (the guides' pictures)")
    args = parser.parse_args()
    checks = Checks()
    tally = {}
    bridge = office.Office()
    try:
        for kind in (1, 3):
            run_opened(bridge, checks, kind, args.pictures)
        run(bridge, checks, set(args.engine or ["lo", "gnumeric", "hf", "poi"]), tally)
    finally:
        bridge.close()
    for engine, (right, total) in tally.items():
        print(f"{engine}: {right} of {total} cells as worked out by hand")
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
