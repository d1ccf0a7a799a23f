#!/usr/bin/env python3
"""Writes the sources of the two chart templates as flat OpenDocument spreadsheets.

    scripts/templates/gen-template-sources.py             writes templates/src/Dozeboardt1.fods and ...t3.fods
    scripts/templates/gen-template-sources.py --check     exits 1 when a committed source differs from what
                                                this script writes (no file is changed)

The sheet of each template, top to bottom:
  row 1   title
  row 2   the month: year in C2, month in D2 (typed by the user; the template leaves them empty)
  row 3   a short hint
  row 4   column headings (Type-3: rows 4 and 5, the sleeps over their three columns)
  then    one row per day 1 to 31: day, weekday (worked out from the month; blank past the
          month's end), for each sleep the time gone to bed and the time woken, the hours slept
          (across midnight too), for Type-3 the day's total, and a note
  last    the month's averages and the number of days recorded.
Printing: A4 portrait, the chart fitted to one page, the heading rows repeated.

Everything here uses the Python standard library only.
"""

import argparse
import pathlib
import sys
from xml.sax.saxutils import escape, quoteattr

ROOT = pathlib.Path(__file__).resolve().parents[2]
SOURCE_DIR = ROOT / "templates" / "src"

SHEET = "睡眠表"
FONT = "ＭＳ Ｐゴシック"  # present on every Japanese Windows; other systems substitute their own
WEEKDAYS = ["日", "月", "火", "水", "木", "金", "土"]  # WEEKDAY() 1 = Sunday
# Where the user types the month: (year cell, its width in columns, month cell).
MONTH_CELLS = {1: ("C2", 1, "D2"), 3: ("C2", 2, "E2")}
FIRST_DAY_ROW = {1: 5, 3: 6}


def col(n):
    """Column letter of a 0-based column number (A..Z is enough here)."""
    return chr(ord("A") + n)


# --- cell helpers -----------------------------------------------------------------------------


class Row:
    """One table row: a list of cell XML snippets, then rendered with its row style."""

    def __init__(self, style):
        self.style = style
        self.cells = []

    def text(self, value, style, span=1, rows=1):
        attrs = f' table:style-name="{style}" office:value-type="string" calcext:value-type="string"'
        if span > 1 or rows > 1:
            attrs += f' table:number-columns-spanned="{span}" table:number-rows-spanned="{rows}"'
        self.cells.append(f"<table:table-cell{attrs}><text:p>{escape(value)}</text:p></table:table-cell>")
        self.cells.extend(["<table:covered-table-cell/>"] * (span - 1))

    def number(self, value, style):
        self.cells.append(
            f'<table:table-cell table:style-name="{style}" office:value-type="float" '
            f'office:value="{value}" calcext:value-type="float"><text:p>{value}</text:p></table:table-cell>'
        )

    def formula(self, expression, style, span=1):
        attrs = f' table:style-name="{style}" table:formula={quoteattr("of:=" + expression)}'
        if span > 1:
            attrs += f' table:number-columns-spanned="{span}" table:number-rows-spanned="1"'
        self.cells.append(f"<table:table-cell{attrs}/>")
        self.cells.extend(["<table:covered-table-cell/>"] * (span - 1))

    def covered(self, count=1):
        """Cells under a cell of the row above that spans two rows."""
        self.cells.extend(["<table:covered-table-cell/>"] * count)

    def empty(self, style, count=1, span=1):
        for _ in range(count):
            attrs = f' table:style-name="{style}"'
            if span > 1:
                attrs += f' table:number-columns-spanned="{span}" table:number-rows-spanned="1"'
            self.cells.append(f"<table:table-cell{attrs}/>")
            self.cells.extend(["<table:covered-table-cell/>"] * (span - 1))

    def xml(self):
        return f'<table:table-row table:style-name="{self.style}">' + "".join(self.cells) + "</table:table-row>"


def q(text):
    """A text constant inside a formula."""
    return '"' + text + '"'


def absolute(ref):
    return f"[.${ref[0]}${ref[1:]}]"


def month_given(kind):
    year, month = year_month(kind)
    return f"AND(ISNUMBER({year});ISNUMBER({month});{month}>=1;{month}<=12)"


def year_month(kind):
    year, _, month = MONTH_CELLS[kind]
    return absolute(year), absolute(month)


def day_cell(kind, day):
    """Days 1 to 28 exist in every month; 29 to 31 only up to the month's end."""
    if day <= 28:
        return None
    year, month = year_month(kind)
    last = f"DAY(DATE({year};{month}+1;1)-1)"
    return f"IF({month_given(kind)};IF({day}<={last};{day};{q('')});{day})"


def weekday_cell(kind, day_ref):
    names = ";".join(q(w) for w in WEEKDAYS)
    year, month = year_month(kind)
    return (
        f"IF(OR({day_ref}={q('')};NOT({month_given(kind)}));{q('')};"
        f"CHOOSE(WEEKDAY(DATE({year};{month};{day_ref}));{names}))"
    )


def hours_cell(bed_ref, woken_ref):
    """Hours slept, across midnight too: a bed time of 23:30 and a waking time of 6:30 give 7.0."""
    return (
        f"IF(OR({bed_ref}={q('')};{woken_ref}={q('')});{q('')};"
        f"ROUND(MOD({woken_ref}-{bed_ref};1)*24;2))"
    )


def average_cell(ref_range):
    return f"IF(COUNT({ref_range})=0;{q('')};AVERAGE({ref_range}))"


# --- styles -----------------------------------------------------------------------------------

THIN = "0.5pt solid #404040"
MEDIUM = "1.5pt solid #202020"
HEAD_FILL = "#d9e2f3"
INPUT_FILL = "#fff2cc"
WEEKEND_FILL = "#f2f2f2"
TOTAL_FILL = "#e2efda"


def text_props(size="10pt", bold=False, color=None):
    weight = ' fo:font-weight="bold" style:font-weight-asian="bold" style:font-weight-complex="bold"' if bold else ""
    colour = f' fo:color="{color}"' if color else ""
    return (
        f'<style:text-properties style:font-name="{FONT}" fo:font-size="{size}"'
        f' style:font-name-asian="{FONT}" style:font-size-asian="{size}"'
        f' style:font-name-complex="{FONT}" style:font-size-complex="{size}"{weight}{colour}/>'
    )


def cell_style(name, data_style=None, align="center", size="10pt", bold=False, fill=None, border=THIN,
               color=None, wrap=False, valign="middle", extra_border=None, shrink=False):
    data = f' style:data-style-name="{data_style}"' if data_style else ""
    props = [f'style:vertical-align="{valign}"']
    if fill:
        props.append(f'fo:background-color="{fill}"')
    if border:
        props.append(f'fo:border="{border}"')
    else:
        props.append('fo:border="none"')
    if extra_border:
        for side, value in extra_border.items():
            props.append(f'fo:border-{side}="{value}"')
        # fo:border and the single sides must not be mixed: spell out every side.
        sides = {s: (extra_border.get(s) or border or "none") for s in ("top", "bottom", "left", "right")}
        props = [p for p in props if not p.startswith("fo:border")]
        props += [f'fo:border-{s}="{v}"' for s, v in sides.items()]
    if wrap:
        props.append('fo:wrap-option="wrap"')
    if shrink:
        props.append('style:shrink-to-fit="true"')
    para_align = {"center": "center", "start": "start", "end": "end"}[align]
    return (
        f'<style:style style:name="{name}" style:family="table-cell" style:parent-style-name="Default"{data}>'
        f'<style:table-cell-properties {" ".join(props)} style:text-align-source="fix" style:repeat-content="false"/>'
        f'<style:paragraph-properties fo:text-align="{para_align}"/>'
        f"{text_props(size, bold, color)}</style:style>"
    )


SUNDAY_COLOR = "#c00000"
SATURDAY_COLOR = "#0050c0"


def weekend(style, column, first):
    """Saturdays in blue and Sundays in red, by the weekday text of the same row."""
    maps = "".join(
        f'<style:map style:condition={quoteattr(f"is-true-formula([.B{first}]={q(day)})")} '
        f'style:apply-style-name="{name}" style:base-cell-address="{SHEET}.{column}{first}"/>'
        for day, name in (("日", "Sunday"), ("土", "Saturday"))
    )
    return style.replace("</style:style>", maps + "</style:style>")


DATA_STYLES = """
<number:number-style style:name="N_int"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/></number:number-style>
<number:number-style style:name="N_year"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>年</number:text></number:number-style>
<number:number-style style:name="N_month"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>月</number:text></number:number-style>
<number:time-style style:name="N_time"><number:hours/><number:text>:</number:text><number:minutes number:style="long"/></number:time-style>
<number:number-style style:name="N_hours"><number:number number:decimal-places="1" number:min-decimal-places="1" number:min-integer-digits="1"/></number:number-style>
<number:number-style style:name="N_days"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>日</number:text></number:number-style>
"""


def automatic_styles(widths, first_day_row, day_height):
    out = [DATA_STYLES]
    for i, w in enumerate(widths):
        out.append(
            f'<style:style style:name="co{i}" style:family="table-column">'
            f'<style:table-column-properties fo:break-before="auto" style:column-width="{w}"/></style:style>'
        )
    for name, height in (("ro_title", "0.95cm"), ("ro_month", "0.75cm"), ("ro_hint", "0.55cm"),
                         ("ro_head", "0.62cm"), ("ro_day", day_height), ("ro_foot", "0.62cm")):
        out.append(
            f'<style:style style:name="{name}" style:family="table-row">'
            f'<style:table-row-properties style:row-height="{height}" fo:break-before="auto" '
            f'style:use-optimal-row-height="false"/></style:style>'
        )
    out.append(
        '<style:style style:name="ta1" style:family="table" style:master-page-name="Chart">'
        '<style:table-properties table:display="true" style:writing-mode="lr-tb"/></style:style>'
    )
    cells = [
        cell_style("c_title", align="start", size="16pt", bold=True, border=None),
        cell_style("c_kind", align="end", size="9pt", border=None, color="#404040"),
        cell_style("c_label", align="center", size="10pt", bold=True, fill=HEAD_FILL),
        cell_style("c_year", data_style="N_year", align="center", size="12pt", bold=True, fill=INPUT_FILL,
                   border=MEDIUM),
        cell_style("c_month", data_style="N_month", align="center", size="12pt", bold=True, fill=INPUT_FILL,
                   border=MEDIUM),
        cell_style("c_note", align="start", size="9pt", border=None, color="#404040"),
        cell_style("c_head", align="center", size="10pt", bold=True, fill=HEAD_FILL, wrap=True),
        weekend(cell_style("c_day", data_style="N_int", align="center"), "A", first_day_row),
        weekend(cell_style("c_wday", align="center"), "B", first_day_row),
        cell_style("c_time", data_style="N_time", align="center"),
        cell_style("c_hours", data_style="N_hours", align="center", fill=TOTAL_FILL),
        cell_style("c_total", data_style="N_hours", align="center", bold=True, fill=TOTAL_FILL),
        cell_style("c_memo", align="start", shrink=True),
        cell_style("c_foot_label", align="center", bold=True, fill=HEAD_FILL),
        cell_style("c_foot", data_style="N_hours", align="center", bold=True, fill=TOTAL_FILL),
        cell_style("c_foot_days", data_style="N_days", align="center", bold=True, fill=TOTAL_FILL),
        cell_style("c_foot_blank", align="center", fill=HEAD_FILL),
    ]
    out += cells
    out.append(
        '<style:page-layout style:name="pm1">'
        '<style:page-layout-properties fo:page-width="21.001cm" fo:page-height="29.7cm" '
        'style:num-format="1" style:print-orientation="portrait" fo:margin-top="1.2cm" '
        'fo:margin-bottom="1.2cm" fo:margin-left="1.5cm" fo:margin-right="1.5cm" '
        'style:print-page-order="ttb" style:first-page-number="continue" '
        'style:scale-to-X="1" style:scale-to-Y="1" style:table-centering="horizontal" '
        'style:print="objects charts drawings"/>'
        '<style:header-style/><style:footer-style/></style:page-layout>'
    )
    return "\n".join(out)


# --- the two sheets ---------------------------------------------------------------------------


def title_rows(kind, kind_text, width):
    rows = []
    r = Row("ro_title")
    r.text("睡眠記録表", "c_title", span=3)
    r.text(kind_text, "c_kind", span=width - 3)
    rows.append(r)
    r = Row("ro_month")
    r.text("年・月", "c_label", span=2)
    _, year_span, _ = MONTH_CELLS[kind]
    r.empty("c_year", span=year_span)
    r.empty("c_month")
    r.text("← 西暦の年（例 2024）と月（例 6）を入力します", "c_note", span=width - 3 - year_span)
    rows.append(r)
    r = Row("ro_hint")
    r.text("時刻は 23:30 のように入力します。睡眠時間（時間）は自動で計算されます（日付をまたいでも可）。",
           "c_note", span=width)
    rows.append(r)
    return rows


def type1():
    widths = ["1.0cm", "1.2cm", "2.3cm", "2.3cm", "2.3cm", "8.4cm"]
    first = FIRST_DAY_ROW[1]
    last = first + 30
    rows = title_rows(1, "Dozeboard Type-1（睡眠１回まで/日）", len(widths))
    head = Row("ro_head")
    for label in ("日", "曜日", "就寝", "起床", "睡眠時間", "メモ"):
        head.text(label, "c_head")
    for day in range(1, 32):
        n = first + day - 1
        r = Row("ro_day")
        expr = day_cell(1, day)
        if expr:
            r.formula(expr, "c_day")
        else:
            r.number(day, "c_day")
        r.formula(weekday_cell(1, f"[.A{n}]"), "c_wday")
        r.empty("c_time", count=2)
        r.formula(hours_cell(f"[.C{n}]", f"[.D{n}]"), "c_hours")
        r.empty("c_memo")
        rows.append(r)
    avg = Row("ro_foot")
    avg.text("平均", "c_foot_label", span=4)
    avg.formula(average_cell(f"[.E{first}:.E{last}]"), "c_foot")
    avg.empty("c_foot_blank")
    rows.append(avg)
    cnt = Row("ro_foot")
    cnt.text("記録した日数", "c_foot_label", span=4)
    cnt.formula(f"COUNT([.E{first}:.E{last}])", "c_foot_days")
    cnt.empty("c_foot_blank")
    rows.append(cnt)
    return widths, rows, [head], 4, "0.7cm"


def type3():
    widths = ["0.9cm", "1.1cm"] + ["1.6cm", "1.6cm", "1.5cm"] * 3 + ["1.7cm", "4.3cm"]
    first = FIRST_DAY_ROW[3]
    last = first + 30
    rows = title_rows(3, "Dozeboard Type-3（睡眠３回まで/日）", len(widths))
    head1 = Row("ro_head")
    head1.text("日", "c_head", rows=2)
    head1.text("曜日", "c_head", rows=2)
    for k in ("１回目", "２回目", "３回目"):
        head1.text(k, "c_head", span=3)
    head1.text("合計", "c_head")
    head1.text("メモ", "c_head", rows=2)
    head2 = Row("ro_head")
    head2.covered(2)
    for _ in range(3):
        for label in ("就寝", "起床", "時間"):
            head2.text(label, "c_head")
    head2.text("睡眠時間", "c_head")
    head2.covered()
    for day in range(1, 32):
        n = first + day - 1
        r = Row("ro_day")
        expr = day_cell(3, day)
        if expr:
            r.formula(expr, "c_day")
        else:
            r.number(day, "c_day")
        r.formula(weekday_cell(3, f"[.A{n}]"), "c_wday")
        hours = []
        for k in range(3):
            bed, woken, slept = col(2 + 3 * k), col(3 + 3 * k), col(4 + 3 * k)
            r.empty("c_time", count=2)
            r.formula(hours_cell(f"[.{bed}{n}]", f"[.{woken}{n}]"), "c_hours")
            hours.append(f"[.{slept}{n}]")
        refs = ";".join(hours)
        r.formula(f"IF(COUNT({refs})=0;{q('')};SUM({refs}))", "c_total")
        r.empty("c_memo")
        rows.append(r)
    avg = Row("ro_foot")
    avg.text("平均", "c_foot_label", span=2)
    for k in range(3):
        slept = col(4 + 3 * k)
        avg.empty("c_foot_blank", span=2)
        avg.formula(average_cell(f"[.{slept}{first}:.{slept}{last}]"), "c_foot")
    avg.formula(average_cell(f"[.L{first}:.L{last}]"), "c_foot")
    avg.empty("c_foot_blank")
    rows.append(avg)
    cnt = Row("ro_foot")
    cnt.text("記録した日数", "c_foot_label", span=11)
    cnt.formula(f"COUNT([.L{first}:.L{last}])", "c_foot_days")
    cnt.empty("c_foot_blank")
    rows.append(cnt)
    return widths, rows, [head1, head2], 4, "0.85cm"


def document(widths, rows, head_rows, head_first, day_height):
    last_col = col(len(widths) - 1)
    last_row = len(rows) + len(head_rows)
    head_last = head_first + len(head_rows) - 1
    columns = "".join(f'<table:table-column table:style-name="co{i}" table:default-cell-style-name="Default"/>'
                      for i in range(len(widths)))
    before = "".join(r.xml() + "\n" for r in rows[: head_first - 1])
    header = "<table:table-header-rows>" + "".join(r.xml() for r in head_rows) + "</table:table-header-rows>\n"
    after = "".join(r.xml() + "\n" for r in rows[head_first - 1:])
    split_row = head_last  # rows above the first day stay in view
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0" xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0" office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:settings>
<config:config-item-set config:name="ooo:view-settings">
<config:config-item-map-indexed config:name="Views"><config:config-item-map-entry>
<config:config-item config:name="ViewId" config:type="string">view1</config:config-item>
<config:config-item-map-named config:name="Tables"><config:config-item-map-entry config:name="{SHEET}">
<config:config-item config:name="CursorPositionX" config:type="int">2</config:config-item>
<config:config-item config:name="CursorPositionY" config:type="int">1</config:config-item>
<config:config-item config:name="HorizontalSplitMode" config:type="short">0</config:config-item>
<config:config-item config:name="VerticalSplitMode" config:type="short">2</config:config-item>
<config:config-item config:name="HorizontalSplitPosition" config:type="int">0</config:config-item>
<config:config-item config:name="VerticalSplitPosition" config:type="int">{split_row}</config:config-item>
<config:config-item config:name="ActiveSplitRange" config:type="short">2</config:config-item>
<config:config-item config:name="PositionLeft" config:type="int">0</config:config-item>
<config:config-item config:name="PositionRight" config:type="int">0</config:config-item>
<config:config-item config:name="PositionTop" config:type="int">0</config:config-item>
<config:config-item config:name="PositionBottom" config:type="int">{split_row}</config:config-item>
</config:config-item-map-entry></config:config-item-map-named>
<config:config-item config:name="ActiveTable" config:type="string">{SHEET}</config:config-item>
<config:config-item config:name="ShowGrid" config:type="boolean">false</config:config-item>
</config:config-item-map-entry></config:config-item-map-indexed>
</config:config-item-set>
</office:settings>
<office:font-face-decls>
<style:font-face style:name="{FONT}" svg:font-family="&apos;{FONT}&apos;" style:font-family-generic="swiss" style:font-pitch="variable"/>
</office:font-face-decls>
<office:styles>
<style:default-style style:family="table-cell"><style:paragraph-properties style:tab-stop-distance="1.25cm"/>{text_props()}</style:default-style>
<style:style style:name="Default" style:family="table-cell">{text_props()}</style:style>
<style:style style:name="Sunday" style:family="table-cell" style:parent-style-name="Default"><style:text-properties fo:color="{SUNDAY_COLOR}" fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
<style:style style:name="Saturday" style:family="table-cell" style:parent-style-name="Default"><style:text-properties fo:color="{SATURDAY_COLOR}" fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
</office:styles>
<office:automatic-styles>
{automatic_styles(widths, head_last + 1, day_height)}
</office:automatic-styles>
<office:master-styles>
<style:master-page style:name="Chart" style:page-layout-name="pm1"><style:header style:display="false"/><style:footer style:display="false"/></style:master-page>
</office:master-styles>
<office:body>
<office:spreadsheet>
<table:table table:name="{SHEET}" table:style-name="ta1" table:print-ranges="$&apos;{SHEET}&apos;.$A$1:.${last_col}${last_row}">
{columns}
{before}{header}{after}</table:table>
</office:spreadsheet>
</office:body>
</office:document>
"""


def sources():
    return {
        "Dozeboardt1.fods": document(*type1()),
        "Dozeboardt3.fods": document(*type3()),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the committed sources only")
    args = parser.parse_args()
    stale = []
    for name, text in sources().items():
        path = SOURCE_DIR / name
        if args.check:
            if not path.exists() or path.read_text(encoding="utf-8") != text:
                stale.append(name)
            continue
        SOURCE_DIR.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8", newline="\n")
        print(f"wrote {path.relative_to(ROOT)}")
    if stale:
        print("out of date: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
