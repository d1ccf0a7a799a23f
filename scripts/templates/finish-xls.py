#!/usr/bin/env python3
"""Finishes a template workbook that LibreOffice wrote as .xls, in place:

- every formula stores the result it has in an empty month as Excel works it out (given as
  JSON by tests/templates/excel-rules.js): a viewer that shows stored results, and Excel until
  it recalculates, shows blanks where the converter stored 0 for every text result ("" among
  them). A text result other than "" (only the hidden copy of the file's name) is stored as "";
- the sheet's window freezes the heading rows and the day columns and hides the grid lines
  (its WINDOW2 flags and a PANE record, which the converter leaves out).

    scripts/templates/finish-xls.py WORKBOOK.xls VALUES.json

VALUES.json is what tests/templates/excel-rules.js prints for the workbook under one name.
"""

import importlib.util
import json
import pathlib
import struct
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from biff import CompoundFile, CompoundFileError, record, records  # noqa: E402

_spec = importlib.util.spec_from_file_location("gen", pathlib.Path(__file__).resolve().parent / "gen-template-sources.py")
gen = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gen)

BOF, EOF, FORMULA, STRING, WINDOW2, PANE = 0x0809, 0x000A, 0x0006, 0x0207, 0x023E, 0x0041
WORKSHEET = 0x0010
SHOW_GRID, FROZEN, FROZEN_NO_SPLIT = 0x0002, 0x0008, 0x0100
EMPTY_TEXT = bytes([3, 0, 0, 0, 0, 0, 0xFF, 0xFF])
BOOLEAN = 1


def cell_name(row, column):
    letters, n = "", column + 1
    while n:
        n, rest = divmod(n - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return f"{letters}{row + 1}"


def stored(value):
    """The 8 bytes of a FORMULA record's result."""
    if isinstance(value, bool):
        return bytes([BOOLEAN, 0, int(value), 0, 0, 0, 0xFF, 0xFF])
    if isinstance(value, (int, float)):
        return struct.pack("<d", float(value))
    if isinstance(value, str) and not value.startswith("#"):
        return EMPTY_TEXT
    raise ValueError(f"an error where a result was expected: {value!r}")


def finish(stream, values, rows, columns):
    out, kinds = [], []  # kinds: the substreams the record lies in (a chart lies inside the sheet)
    for kind, body in records(stream):
        in_sheet = kinds[-1:] == [WORKSHEET]
        if kind == BOF:
            kinds.append(struct.unpack_from("<H", body, 2)[0])
        elif kind == EOF:
            kinds.pop()
        elif in_sheet and kind == FORMULA:
            if body[6] == 0 and body[12:14] == b"\xff\xff":
                raise CompoundFileError(f"a text result stored at {cell_name(*struct.unpack_from('<HH', body))}")
            body = body[:6] + stored(values.get(cell_name(*struct.unpack_from("<HH", body)), "")) + body[14:]
        elif in_sheet and kind == WINDOW2:
            flags = (struct.unpack_from("<H", body)[0] & ~SHOW_GRID) | FROZEN | FROZEN_NO_SPLIT
            out.append(record(kind, struct.pack("<H", flags) + body[2:]))
            # Frozen above row `rows` and left of column `columns`; the active pane is the lower right.
            out.append(record(PANE, struct.pack("<HHHHBB", columns, rows, rows, columns, 0, 0)))
            continue
        elif in_sheet and kind == PANE:
            continue
        out.append(record(kind, body))
    return b"".join(out)


def main():
    path, values_path = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    values = next(iter(json.loads(values_path.read_text(encoding="utf-8")).values()))
    cfb = CompoundFile(path.read_bytes())
    stream = finish(cfb.stream("Workbook"), values, gen.FIRST - 1, gen.Layout(1).index["wday"] + 1)
    path.write_bytes(cfb.replace_stream("Workbook", stream))
    return 0


if __name__ == "__main__":
    sys.exit(main())
