#!/usr/bin/python3
"""Works out the shipped sleep-diary templates in three spreadsheet engines and holds every
figure to the values worked out by hand below:

- LibreOffice (through its Python bridge) opens a copy named as the launcher names it,
  Dozeboard_YYYY-MM.xls, types the month's nights in, recalculates and saves the copy as .xls
  (an empty month's copy stays the shipped workbook);
- Gnumeric recalculates that copy (ssconvert --recalc), whose treatment of blank cells is
  Excel's;
- HyperFormula works it out by Excel's rules (a reference to a blank cell is 0, Excel's day
  numbers), reading the .xls through SheetJS (tests/templates/excel-rules.js). It has no
  CELL(): the file name is put in place of CELL("filename") as each application reports it.

One table, MONTHS, drives all three: a filled February 2026 (nights across midnight, sleeps
after 1:00, a nap or second sleep, empty nights, a mistyped 2330 and other wrong entries), an
empty month, a leap February and a 31-day month, for both templates. Checked in each engine:
year, month, the days and weekdays, each night's time in bed, total sleep and efficiency, the
edges of the 24-hour picture (whole minutes after noon, which decide every half-hour cell: a
cell is dark when its middle, 30 k + 15 minutes, lies in a sleep, light when it lies in bed)
and every summary.

    /usr/bin/python3 tests/templates/check_engines.py            all engines
    /usr/bin/python3 tests/templates/check_engines.py --engine hf   one engine (lo, gnumeric, hf)

Needs LibreOffice with python3-uno and gnumeric (scripts/setup.sh --tests installs them) and the npm
packages of tests/templates (`npm ci --prefix tests/templates`, as scripts/test.sh does).
Ends with "N passed, N failed".
"""

import argparse
import importlib.util
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

ROOT = pathlib.Path(__file__).resolve().parents[2]
HERE = pathlib.Path(__file__).resolve().parent
sys.dont_write_bytecode = True
sys.path.insert(0, str(ROOT / "tests"))
from checklist import Checks  # noqa: E402


def _load(name, path):
    found = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


gen = _load("gen", ROOT / "scripts" / "templates" / "gen-template-sources.py")


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
]


def entries(lay, nights):
    """{day: {column key: entry}} of the nights, without the columns the template lacks."""
    return {d: {k: v for k, v in n["enter"].items() if k in lay.index} for d, n in nights.items()}


def by_hand(lay, month):
    """The cells the engines are held to, {"A5": value}: numbers in the sheet's units (days,
    ratios, minutes), "" for a cell that shows nothing."""
    label, year, mon, days, nights, day_off, weekdays, holidays = month
    second = lambda n: (hm(n["second"][1]) - hm(n["second"][0])) % 1440 if lay.kind == 3 and "second" in n else 0  # noqa: E731
    at = lambda key, day: f"{lay.letter(key)}{gen.FIRST + day - 1}"  # noqa: E731
    want = {gen.YEAR_CELL: float(year), gen.MONTH_CELL: float(mon)}
    counted = {}
    for day in range(1, 32):
        want[at("day", day)] = float(day) if day <= days else ""
        want[at("holiday", day)] = float(day in holidays)
        if day in weekdays:
            want[at("wday", day)] = weekdays[day]
        n = nights.get(day, {})
        cells = {key: -1.0 for key in EDGES if key in lay.index}
        if n.get("wrong"):
            cells.update(tib=gen.BAD, tst=gen.BAD, se="")
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
        for j, (key, _, _) in enumerate(gen.SUMMARY_FIELDS):
            want[f"{gen.col(4 + 2 * j)}{gen.LAST + 2 + i}"] = figures[key]
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
    return [f"C:\\Users\\hanako\\[old]\\[{file_name}]{gen.SHEET}",
            f"'file:///home/hanako/a%23b/{file_name}'#${gen.SHEET}",
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


def run(checks, engines, tally):
    tryout = _load("tryout", ROOT / "scripts" / "templates" / "try-templates.py")
    office = tryout.Office()
    work = pathlib.Path(tempfile.mkdtemp())
    try:
        for kind in (1, 3):
            lay = gen.Layout(kind)
            name = f"Dozeboardt{kind}"
            for month in MONTHS:
                label, year, mon = month[:3]
                want = by_hand(lay, month)
                file_name = f"Dozeboard_{year:04d}-{mon:02d}.xls"
                folder = work / f"{name}-{label.replace(' ', '')}"
                folder.mkdir()
                copy = folder / file_name
                shutil.copy(ROOT / "templates" / f"{name}.xls", copy)
                doc = office.open(copy)
                try:
                    sheet = doc.getSheets().getByIndex(0)
                    tryout.fill(sheet, lay, entries(lay, month[4]))
                    doc.calculateAll()
                    results = {"lo": libreoffice_values(sheet, want)}
                    if month[4]:  # an empty month's copy stays the shipped workbook, byte for byte
                        doc.storeToURL(tryout.uno.systemPathToFileUrl(str(copy)),
                                       (tryout.prop("FilterName", "MS Excel 97"), tryout.prop("Overwrite", True)))
                finally:
                    doc.close(True)
                if "gnumeric" in engines:
                    results["gnumeric"] = gnumeric_values(copy, folder)
                if "hf" in engines:
                    forms = name_forms(file_name)
                    by_form = excel_rules_values(copy, forms)
                    for i, form in enumerate(forms):
                        results[f"hf{i}"] = by_form[form]
                for engine, got in results.items():
                    if engine.rstrip("012") not in engines:
                        continue
                    shown = {"hf0": "hf, Excel's name", "hf1": "hf, LibreOffice's name", "hf2": "hf, Gnumeric's name"}
                    right, total = compare(checks, f"{name} {label} {year}-{mon:02d} in {shown.get(engine, engine)}",
                                           got, want)
                    key = engine.rstrip("012")
                    tally[key] = (tally.get(key, (0, 0))[0] + right, tally.get(key, (0, 0))[1] + total)
    finally:
        office.close()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", action="append", choices=["lo", "gnumeric", "hf"],
                        help="check only these engines (LibreOffice fills the copies in any case)")
    args = parser.parse_args()
    checks = Checks()
    tally = {}
    run(checks, set(args.engine or ["lo", "gnumeric", "hf"]), tally)
    for engine, (right, total) in tally.items():
        print(f"{engine}: {right} of {total} cells as worked out by hand")
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
