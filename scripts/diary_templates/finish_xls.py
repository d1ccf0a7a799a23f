"""Finishes a template workbook that LibreOffice wrote as .xls, in place:

- every formula stores the result it has in an empty month as Excel works it out (Apache
  POI, poi.py): a viewer that shows stored results, and Excel until it recalculates, shows
  blanks where the converter stored 0 for every text result ("" among them). A text result
  other than "" (only the hidden copy of the file's name) is stored as "";
- the sheet's window freezes the heading rows and the day columns and hides the grid lines
  (its WINDOW2 flags and a PANE record, which the converter leaves out).

    python3 -m scripts.diary_templates.finish_xls WORKBOOK.xls
"""

import pathlib
import struct
import sys

from . import poi
from .biff import CompoundFile, CompoundFileError, record, records
from .layout import FIRST, SHEET, Layout, col

BOF, EOF, FORMULA, STRING, WINDOW2, PANE = 0x0809, 0x000A, 0x0006, 0x0207, 0x023E, 0x0041
WORKSHEET = 0x0010
SHOW_GRID, FROZEN, FROZEN_NO_SPLIT = 0x0002, 0x0008, 0x0100
EMPTY_TEXT = bytes([3, 0, 0, 0, 0, 0, 0xFF, 0xFF])
BOOLEAN = 1


def cell_name(row, column):
    return f"{col(column)}{row + 1}"


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
    path = pathlib.Path(sys.argv[1])
    # The name as Excel reports it for a template in a user's folder: no month.
    found, warned = poi.values([(path, f"C:\\Users\\hanako\\AutoQuillmer\\[{path.name}]{SHEET}")])
    if warned:
        print(f"{path}: {warned}", file=sys.stderr)
        return 1
    cfb = CompoundFile(path.read_bytes())
    stream = finish(cfb.stream("Workbook"), found[str(path)], FIRST - 1, Layout(1).index["wday"] + 1)
    path.write_bytes(cfb.replace_stream("Workbook", stream))
    return 0


if __name__ == "__main__":
    sys.exit(main())
