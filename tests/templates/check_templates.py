#!/usr/bin/env python3
"""Checks the chart templates that ship with Auto Quillmer, with the Python standard library only:

- each templates/Dozeboardt*.xls is an Excel 97-2003 file: a compound file (header D0 CF 11 E0
  A1 B1 1A E1) whose directory holds a "Workbook" stream that begins with a BIFF8 BOF record
  (0x0809, version 0x0600, workbook globals);
- its records carry the diary: the sheet, every public holiday the source lists, the night rows' formulas, A4 landscape fitted to one
  page, a print area and repeated heading rows, the input checks on every time and rating cell
  (with their Japanese messages), the 24-hour picture's two conditional formats over every
  half-hour cell of every night and the chart of each night's total sleep; the sheet is
  protected, its headings and day columns frozen, its grid lines hidden, and its formulas
  store the results of an empty month (blanks where a cell shows nothing);
- every file listed in templates/checksums.txt has the SHA-256 recorded there, so a source
  edited without rebuilding the workbooks (scripts/diary_templates/make-templates.sh) is caught;
- the committed sources are what scripts.diary_templates.generate writes.

The last line is "N passed, N failed"; the exit code is 1 when anything failed.
"""

import hashlib
import html
import pathlib
import re
import struct
import subprocess
import sys

from tests.harness.checklist import Checks, take_pattern
from scripts.diary_templates import holidays
from scripts.diary_templates.biff import CFB_SIGNATURE, CompoundFile, CompoundFileError, numbers, records
from scripts.diary_templates.layout import FIRST, LAST, SLOTS, Layout

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.dont_write_bytecode = True  # keep the tree free of caches
TEMPLATES = ROOT / "templates"

BOF, EOF, BOUNDSHEET, FORMULA, NAME, SETUP, WSBOOL, CONDFMT, DV, PROTECT, WINDOW2, PANE = (
    0x0809, 0x000A, 0x0085, 0x0006, 0x0018, 0x00A1, 0x0081, 0x01B0, 0x01BE, 0x0012, 0x023E, 0x0041)
WORKSHEET = 0x0010
DV_WHOLE, DV_TIME = 1, 5
PORTRAIT = 0x0002
CHART_SUBSTREAM = 0x0020
PAPER_A4 = 9
FIT_TO_PAGE = 0x0100
BUILTIN_PRINT_AREA, BUILTIN_PRINT_TITLES = 0x06, 0x07


def sheet_name(body):
    length, high = body[6], body[7] & 1
    raw = body[8:8 + length * (2 if high else 1)]
    return raw.decode("utf-16-le") if high else raw.decode("latin-1")


def unicode_strings(body, offset, count):
    """count XLUnicodeStrings (a 16-bit length, a flags byte, the characters) from offset, and
    the offset after them."""
    out = []
    for _ in range(count):
        length, flags = struct.unpack_from("<HB", body, offset)
        size = length * (2 if flags & 1 else 1)
        raw = body[offset + 3:offset + 3 + size]
        out.append(raw.decode("utf-16-le" if flags & 1 else "latin-1"))
        offset += 3 + size
    return out, offset


def ranges(body, offset):
    """The cells of a list of ranges (a count, then first row, last row, first and last column)."""
    count = struct.unpack_from("<H", body, offset)[0]
    cells = set()
    for i in range(count):
        r1, r2, c1, c2 = struct.unpack_from("<HHHH", body, offset + 2 + 8 * i)
        cells |= {(r, c) for r in range(r1, r2 + 1) for c in range(c1, c2 + 1)}
    return cells


def validations(recs):
    """(kind, error message, covered cells) of every data validation: its flags, four strings
    (titles, prompt, error message), two formulas, then its ranges."""
    out = []
    for k, body in recs:
        if k != DV:
            continue
        flags = struct.unpack_from("<I", body)[0]
        texts, offset = unicode_strings(body, 4, 4)
        for _ in range(2):
            offset += 4 + struct.unpack_from("<H", body, offset)[0]
        out.append((flags & 0x0F, texts[3], ranges(body, offset)))
    return out


def picture_cells(recs):
    """Cells under a conditional format of two rules (its count, an id, the bounds, the ranges)."""
    cells = set()
    for k, body in recs:
        if k == CONDFMT and struct.unpack_from("<H", body)[0] == 2:
            cells |= ranges(body, 12)
    return cells


def check_workbook(checks, name, min_formulas):
    path = TEMPLATES / name
    if not checks.check(f"{name} is shipped", path.is_file()):
        return
    data = path.read_bytes()
    if not checks.check(f"{name} has the compound-file header D0 CF 11 E0 A1 B1 1A E1",
                        data[:8] == CFB_SIGNATURE, data[:8].hex(" ").upper()):
        return
    try:
        cfb = CompoundFile(data)
        stream = cfb.stream("Workbook")
    except CompoundFileError as e:
        checks.check(f"{name} has a readable compound-file directory", False, str(e))
        return
    if not checks.check(f"{name} has a \"Workbook\" stream", stream is not None,
                        "streams: " + ", ".join(e[0] for e in cfb.entries)):
        return
    recs = list(records(stream))
    kind, body = recs[0] if recs else (None, b"")
    version, doc_type = struct.unpack_from("<HH", body) if len(body) >= 4 else (None, None)
    checks.check(f"{name}: the first record is a BIFF8 BOF (0x0809, version 0x0600, workbook globals)",
                 kind == BOF and version == 0x0600 and doc_type == 0x0005,
                 f"record {kind!r}, version {version!r}, type {doc_type!r}")
    sheets = [sheet_name(b) for k, b in recs if k == BOUNDSHEET]
    checks.check(f"{name} holds one sheet \"睡眠表\"", sheets == ["睡眠表"], repr(sheets))
    formulas = sum(1 for k, _ in recs if k == FORMULA)
    checks.check(f"{name} computes its cells by formula (at least {min_formulas})", formulas >= min_formulas,
                 f"{formulas} formulas")
    setups = [struct.unpack_from("<HHHHHH", b) for k, b in recs if k == SETUP]
    checks.check(f"{name} prints on one A4 page, landscape",
                 any(s[0] == PAPER_A4 and s[3] == 1 and s[4] == 1 and not s[5] & PORTRAIT for s in setups),
                 repr(setups))
    wsbool = [struct.unpack_from("<H", b)[0] for k, b in recs if k == WSBOOL]
    checks.check(f"{name} fits the print to the page", any(w & FIT_TO_PAGE for w in wsbool), repr(wsbool))
    builtin = {b[15] for k, b in recs if k == NAME and len(b) > 15 and struct.unpack_from("<H", b)[0] & 0x20}
    checks.check(f"{name} has a print area", BUILTIN_PRINT_AREA in builtin, repr(builtin))
    checks.check(f"{name} repeats its heading rows on every page", BUILTIN_PRINT_TITLES in builtin, repr(builtin))
    checks.check(f"{name} colours the weekends", any(k == CONDFMT for k, _ in recs))
    charts = [b for k, b in recs if k == BOF and len(b) >= 4 and struct.unpack_from("<H", b, 2)[0] == CHART_SUBSTREAM]
    checks.check(f"{name} holds the chart of each night's total sleep", len(charts) == 1, f"{len(charts)} charts")
    lay = Layout(1 if "t1" in name else 3)
    nights = range(FIRST - 1, LAST)  # 0-based rows
    for kind, dv_kind, message in (("time", DV_TIME, "23:30 のように入力してください"),
                                   ("rating", DV_WHOLE, "1（悪い）から 5（良い）")):
        wanted = {(r, lay.index[c.key]) for c in lay.cols if c.kind == kind for r in nights}
        covered = set().union(set(), *(cells for k, m, cells in validations(recs) if k == dv_kind and message in m))
        checks.check(f"{name}: every {kind} cell of every night refuses other input with \"{message}\"",
                     wanted <= covered, f"{len(wanted - covered)} cells without")
    grid = {(r, lay.first_slot + k) for k in range(SLOTS) for r in nights}
    checks.check(f"{name}: every half-hour cell of every night is shaded by the two picture rules",
                 grid <= picture_cells(recs), f"{len(grid - picture_cells(recs))} cells without")
    check_sheet_window(checks, name, recs, lay)
    table = [lay.index[f"hol{i}"] for i in range(holidays.HOLIDAY_COLUMNS)]
    held = sorted(v for (_, c), v in numbers(recs).items() if c in table)
    want = holidays.holiday_numbers()
    checks.check(f"{name} holds all {len(want)} public holidays of its source, the last on day {want[-1]}",
                 held == want, f"{len(held)} held, the last {held[-1:]}")
    checks.check(f"{name} ends with an EOF record", recs[-1][0] == EOF if recs else False)


def check_sheet_window(checks, name, recs, lay):
    """What the sheet's own substream says (a chart's substream lies inside it): protection,
    frozen panes without grid lines, and the results of an empty month stored as blanks."""
    sheet, kinds = [], []
    for k, body in recs:
        if k == BOF:
            kinds.append(struct.unpack_from("<H", body, 2)[0])
        elif k == EOF and kinds:
            kinds.pop()
        elif kinds[-1:] == [WORKSHEET]:
            sheet.append((k, body))
    checks.check(f"{name}: the sheet is protected (formula cells locked)",
                 any(k == PROTECT and body == b"\x01\x00" for k, body in sheet))
    window = [struct.unpack_from("<H", b)[0] for k, b in sheet if k == WINDOW2]
    checks.check(f"{name}: the sheet's window is frozen and hides the grid lines",
                 len(window) == 1 and window[0] & 0x0108 == 0x0108 and not window[0] & 0x0002, repr(window))
    panes = [struct.unpack_from("<HH", b) for k, b in sheet if k == PANE]
    checks.check(f"{name}: headings and day columns stay in view (frozen at C{FIRST})",
                 panes == [(lay.index["wday"] + 1, FIRST - 1)], repr(panes))
    nights = {(LAST + 1 + i, 4) for i in range(8)}  # the summaries' counts of nights: 0
    zeros = [(r, c) for k, b in sheet if k == FORMULA for r, c in [struct.unpack_from("<HH", b)]
             if c <= lay.last_visible and b[6:14] == bytes(8) and (r, c) not in nights]
    checks.check(f"{name}: its visible formulas store the results of an empty month (blanks, not 0)",
                 not zeros, f"{len(zeros)} cells store 0, the first at row {zeros[0][0] + 1}" if zeros else "")


# Functions that came after Excel 97-2003: stored in an .xls they show #NAME? there.
NEWER_FUNCTIONS = {"IFERROR", "IFS", "AVERAGEIF", "AVERAGEIFS", "SUMIFS", "COUNTIFS", "MAXIFS", "MINIFS",
                   "IFNA", "SWITCH", "XLOOKUP", "TEXTJOIN", "CONCAT", "STDEV.P", "STDEV.S", "ISOWEEKNUM", "DAYS"}


def formula_texts(source):
    """Every cell formula and every condition of the source, in the form a user would type it."""
    found = re.findall(r"""table:formula=(?:"of:=([^"]*)"|'of:=([^']*)')""", source)
    found += re.findall(r"""style:condition=(?:"is-true-formula\((.*?)\)"|'is-true-formula\((.*?)\)')""", source)
    texts = [html.unescape(a or b) for a, b in found]
    return [re.sub(r"\[\.([^\]]*)\]", lambda m: m.group(1).replace(".", ""), t) for t in texts]


def nesting(formula):
    deepest, stack = 0, []
    for token in re.finditer(r"([A-Z][A-Z.]*)\(|\(|\)|\"[^\"]*\"", formula):
        text = token.group(0)
        if text.startswith('"'):
            continue
        if text == ")":
            stack.pop()
        else:
            stack.append(token.group(1) is not None)
            deepest = max(deepest, sum(stack))
    return deepest


def check_excel_limits(checks):
    """Excel 97-2003 reads at most 7 nested functions and 1024 characters per formula."""
    for name in ("Dozeboardt1.fods", "Dozeboardt3.fods"):
        formulas = formula_texts((TEMPLATES / "src" / name).read_text(encoding="utf-8"))
        deepest = max(formulas, key=nesting)
        longest = max(formulas, key=len)
        used = {f for t in formulas for f in re.findall(r"([A-Z][A-Z.]*)\(", re.sub(r'"[^"]*"', "", t))}
        checks.check(f"{name}: {len(formulas)} formulas nest at most 7 functions deep", nesting(deepest) <= 7, deepest)
        checks.check(f"{name}: every formula has at most 1024 characters", len(longest) <= 1024, longest)
        checks.check(f"{name}: only functions that Excel 97-2003 knows", not used & NEWER_FUNCTIONS,
                     ", ".join(sorted(used & NEWER_FUNCTIONS)))


# Japan's public holidays as the Cabinet Office lists them (month/day), for years that show each rule:
# the special years, the citizens' holiday (2009, 2019, 2026), substitutes before and after 2007.
KNOWN_HOLIDAYS = {
    2005: "1/1 1/10 2/11 3/20 3/21 4/29 5/3 5/4 5/5 7/18 9/19 9/23 10/10 11/3 11/23 12/23",
    2009: "1/1 1/12 2/11 3/20 4/29 5/3 5/4 5/5 5/6 7/20 9/21 9/22 9/23 10/12 11/3 11/23 12/23",
    2019: "1/1 1/14 2/11 3/21 4/29 4/30 5/1 5/2 5/3 5/4 5/5 5/6 7/15 8/11 8/12 9/16 9/23 10/14 10/22 11/3 11/4 11/23",
    2020: "1/1 1/13 2/11 2/23 2/24 3/20 4/29 5/3 5/4 5/5 5/6 7/23 7/24 8/10 9/21 9/22 11/3 11/23",
    2021: "1/1 1/11 2/11 2/23 3/20 4/29 5/3 5/4 5/5 7/22 7/23 8/8 8/9 9/20 9/23 11/3 11/23",
    2026: "1/1 1/12 2/11 2/23 3/20 4/29 5/3 5/4 5/5 5/6 7/20 8/11 9/21 9/22 9/23 10/12 11/3 11/23",
}


def check_holidays(checks):
    for year, known in KNOWN_HOLIDAYS.items():
        made = " ".join(f"{d.month}/{d.day}" for d in holidays.holidays(year))
        checks.check(f"the workbooks' public holidays of {year} are the known ones", made == known, made)


def check_checksums(checks):
    listing = TEMPLATES / "checksums.txt"
    if not checks.check("templates/checksums.txt exists", listing.is_file()):
        return
    listed = set()
    for line in listing.read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        digest, rel = line.split(maxsplit=1)
        rel = rel.lstrip("*")
        listed.add(rel)
        path = ROOT / rel
        actual = hashlib.sha256(path.read_bytes()).hexdigest() if path.is_file() else "missing"
        checks.check(f"{rel} matches its recorded SHA-256", actual == digest,
                     f"{actual} (run scripts/diary_templates/make-templates.sh)")
    for rel in ("templates/src/Dozeboardt1.fods", "templates/src/Dozeboardt3.fods"):
        checks.check(f"{rel} is listed in templates/checksums.txt", rel in listed)


def check_generated_sources(checks):
    result = subprocess.run([sys.executable, "-m", "scripts.diary_templates.generate", "--check"],
                            capture_output=True, text=True, cwd=ROOT)
    checks.check("the committed sources are what scripts.diary_templates.generate writes",
                 result.returncode == 0, result.stderr.strip())


def main():
    take_pattern()
    checks = Checks()
    # Type-1: a weekday and hours for each of 31 days (29 to 31 also the day itself), and the foot.
    check_workbook(checks, "Dozeboardt1.xls", 31 * 20)
    # Type-3: a weekday, three sleeps and a total for each day, and the foot.
    check_workbook(checks, "Dozeboardt3.xls", 31 * 20)
    check_excel_limits(checks)
    check_holidays(checks)
    check_checksums(checks)
    check_generated_sources(checks)
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
