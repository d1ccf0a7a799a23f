#!/usr/bin/env python3
"""Checks the chart templates that ship with Auto Quillmer, with the Python standard library only:

- each templates/Dozeboardt*.xls is an Excel 97-2003 file: a compound file (header D0 CF 11 E0
  A1 B1 1A E1) whose directory holds a "Workbook" stream that begins with a BIFF8 BOF record
  (0x0809, version 0x0600, workbook globals);
- its records carry the diary: the sheet, the night rows' formulas, A4 landscape fitted to one
  page, a print area and repeated heading rows, the input checks on every time and rating cell
  (with their Japanese messages), the 24-hour picture's two conditional formats over every
  half-hour cell of every night and the chart of each night's total sleep;
- every file listed in templates/checksums.txt has the SHA-256 recorded there, so a source
  edited without rebuilding the workbooks (scripts/templates/make-templates.sh) is caught;
- the committed sources are what scripts/templates/gen-template-sources.py writes.

The last line is "N passed, N failed"; the exit code is 1 when anything failed.
"""

import hashlib
import html
import importlib.util
import pathlib
import re
import struct
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.dont_write_bytecode = True  # keep the tree free of caches
sys.path.insert(0, str(ROOT / "tests"))
from checklist import Checks  # noqa: E402

TEMPLATES = ROOT / "templates"
_spec = importlib.util.spec_from_file_location("gen", ROOT / "scripts" / "templates" / "gen-template-sources.py")
gen = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gen)

CFB_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
END_OF_CHAIN = 0xFFFFFFFE
FREE_SECTOR = 0xFFFFFFFF

BOF, EOF, BOUNDSHEET, FORMULA, NAME, SETUP, WSBOOL, CONDFMT, DV = (
    0x0809, 0x000A, 0x0085, 0x0006, 0x0018, 0x00A1, 0x0081, 0x01B0, 0x01BE)
DV_WHOLE, DV_TIME = 1, 5
PORTRAIT = 0x0002
CHART_SUBSTREAM = 0x0020
PAPER_A4 = 9
FIT_TO_PAGE = 0x0100
BUILTIN_PRINT_AREA, BUILTIN_PRINT_TITLES = 0x06, 0x07


class CompoundFileError(Exception):
    pass


class CompoundFile:
    """A reader of the compound file binary format, enough to fetch one stream by name."""

    def __init__(self, data):
        if len(data) < 512 or data[:8] != CFB_SIGNATURE:
            raise CompoundFileError("no compound-file signature")
        self.data = data
        (major, byte_order, sector_shift, mini_shift) = struct.unpack_from("<HHHH", data, 26)
        if byte_order != 0xFFFE:
            raise CompoundFileError(f"byte order mark {byte_order:#06x}")
        if major not in (3, 4) or sector_shift not in (9, 12):
            raise CompoundFileError(f"version {major} with sector shift {sector_shift}")
        self.sector_size = 1 << sector_shift
        self.mini_size = 1 << mini_shift
        (self.fat_sectors, self.first_dir, _, self.mini_cutoff, self.first_minifat, self.minifat_sectors,
         self.first_difat, self.difat_sectors) = struct.unpack_from("<IIIIIIII", data, 44)
        self.fat = self._read_fat()
        self.entries = self._read_directory()

    def _sector(self, n):
        start = (n + 1) * self.sector_size
        if start + self.sector_size > len(self.data):
            raise CompoundFileError(f"sector {n} lies past the end of the file")
        return self.data[start:start + self.sector_size]

    def _read_fat(self):
        difat = [s for s in struct.unpack_from("<109I", self.data, 76) if s != FREE_SECTOR]
        sector, seen = self.first_difat, 0
        while sector not in (END_OF_CHAIN, FREE_SECTOR) and seen < self.difat_sectors:
            words = struct.unpack(f"<{self.sector_size // 4}I", self._sector(sector))
            difat += [s for s in words[:-1] if s != FREE_SECTOR]
            sector, seen = words[-1], seen + 1
        fat = []
        for s in difat[: self.fat_sectors]:
            fat += struct.unpack(f"<{self.sector_size // 4}I", self._sector(s))
        return fat

    def _chain(self, first, table, limit):
        chain, sector = [], first
        while sector != END_OF_CHAIN:
            if sector >= len(table) or len(chain) > limit:
                raise CompoundFileError("broken sector chain")
            chain.append(sector)
            sector = table[sector]
        return chain

    def _read_directory(self):
        raw = b"".join(self._sector(s) for s in self._chain(self.first_dir, self.fat, len(self.fat)))
        entries = []
        for off in range(0, len(raw), 128):
            name_len, kind = struct.unpack_from("<HB", raw, off + 64)
            if kind == 0:
                continue
            name = raw[off:off + max(0, name_len - 2)].decode("utf-16-le", "replace")
            start, size = struct.unpack_from("<II", raw, off + 116)
            entries.append((name, kind, start, size))
        return entries

    def stream(self, wanted):
        root = next((e for e in self.entries if e[1] == 5), None)
        for name, kind, start, size in self.entries:
            if kind != 2 or name != wanted:
                continue
            if size >= self.mini_cutoff:
                sectors = self._chain(start, self.fat, len(self.fat))
                return b"".join(self._sector(s) for s in sectors)[:size]
            # A small stream lives in the mini stream, which is the root entry's stream.
            if root is None:
                raise CompoundFileError("no root entry")
            mini_stream = b"".join(self._sector(s) for s in self._chain(root[2], self.fat, len(self.fat)))
            minifat = []
            for s in self._chain(self.first_minifat, self.fat, len(self.fat)):
                minifat += struct.unpack(f"<{self.sector_size // 4}I", self._sector(s))
            parts = [mini_stream[m * self.mini_size:(m + 1) * self.mini_size]
                     for m in self._chain(start, minifat, len(minifat))]
            return b"".join(parts)[:size]
        return None


def records(stream):
    off = 0
    while off + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, off)
        yield kind, stream[off + 4:off + 4 + length]
        off += 4 + length


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
    lay = gen.Layout(1 if "t1" in name else 3)
    nights = range(gen.FIRST - 1, gen.LAST)  # 0-based rows
    for kind, dv_kind, message in (("time", DV_TIME, "23:30 のように入力してください"),
                                   ("rating", DV_WHOLE, "1（悪い）から 5（良い）")):
        wanted = {(r, lay.index[c.key]) for c in lay.cols if c.kind == kind for r in nights}
        covered = set().union(set(), *(cells for k, m, cells in validations(recs) if k == dv_kind and message in m))
        checks.check(f"{name}: every {kind} cell of every night refuses other input with \"{message}\"",
                     wanted <= covered, f"{len(wanted - covered)} cells without")
    grid = {(r, lay.first_slot + k) for k in range(gen.SLOTS) for r in nights}
    checks.check(f"{name}: every half-hour cell of every night is shaded by the two picture rules",
                 grid <= picture_cells(recs), f"{len(grid - picture_cells(recs))} cells without")
    checks.check(f"{name} ends with an EOF record", recs[-1][0] == EOF if recs else False)


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
                     f"{actual} (run scripts/templates/make-templates.sh)")
    for rel in ("templates/src/Dozeboardt1.fods", "templates/src/Dozeboardt3.fods"):
        checks.check(f"{rel} is listed in templates/checksums.txt", rel in listed)


def check_generated_sources(checks):
    result = subprocess.run([sys.executable, str(ROOT / "scripts" / "templates" / "gen-template-sources.py"), "--check"],
                            capture_output=True, text=True)
    checks.check("the committed sources are what scripts/templates/gen-template-sources.py writes",
                 result.returncode == 0, result.stderr.strip())


def main():
    checks = Checks()
    # Type-1: a weekday and hours for each of 31 days (29 to 31 also the day itself), and the foot.
    check_workbook(checks, "Dozeboardt1.xls", 31 * 20)
    # Type-3: a weekday, three sleeps and a total for each day, and the foot.
    check_workbook(checks, "Dozeboardt3.xls", 31 * 20)
    check_excel_limits(checks)
    check_checksums(checks)
    check_generated_sources(checks)
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
