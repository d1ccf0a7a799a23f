#!/usr/bin/env python3
"""Writes the sources of the two sleep-diary templates as flat OpenDocument spreadsheets.

    scripts/templates/gen-template-sources.py             writes templates/src/Dozeboardt1.fods and ...t3.fods
    scripts/templates/gen-template-sources.py --check     exits 1 when a committed source differs from what
                                                this script writes (no file is changed)

One sheet, 睡眠表, on one A4 page, landscape. Top to bottom:
  row 1      title
  row 2      the month: year and month, read from the workbook's own name
             (Dozeboard_YYYY-MM.xls; a template or a renamed copy shows no month); typing a
             number over either cell sets it by hand
  rows 3-4   headings
  rows 5-35  one row per night, days 1 to 31: the night that begins on the evening of that date
             (from noon of the date to noon of the next day). Entries: time into bed, lights out,
             minutes to fall asleep, awakenings (count, minutes), final waking, out of bed; Type-1
             a nap, Type-3 a second and a third sleep; sleep quality and the day (1 to 5),
             caffeine, alcohol, sleep medicine, memo. Computed: time in bed, total sleep,
             sleep efficiency, and a 24-hour picture of 48 half-hour cells from noon to noon
             shaded by conditional formatting (asleep dark, in bed awake light).
  rows 36-44 summaries: every 7-day block, the month, nights before working days and before
             days off (Friday and Saturday nights and the nights before Japan's public
             holidays, which the hidden last column lists from row 1 down)
  row 45     the picture's legend
Hidden columns right of the picture hold the intermediate values; they lie outside the print
area. Times are validated (a number such as 2330 or 7 is refused), ratings accept 1 to 5, and a
row holding a wrong value that slipped past the check (pasted, say) shows it in red, shows 入力?
instead of figures and counts in no summary. The sheet is protected without a password; only the
input cells and the year and month are open.

Only functions that Excel 97-2003 knows are used (no IFERROR, AVERAGEIF, COUNTIFS), with IF
nested at most 7 deep and at most 3 conditional formats per cell range.

Everything here uses the Python standard library only.
"""

import argparse
import datetime
import pathlib
import sys
from dataclasses import dataclass
from xml.sax.saxutils import escape, quoteattr

ROOT = pathlib.Path(__file__).resolve().parents[2]
SOURCE_DIR = ROOT / "templates" / "src"

SHEET = "睡眠表"
FONT = "ＭＳ Ｐゴシック"  # present on every Japanese Windows; other systems substitute their own
WEEKDAYS = ["日", "月", "火", "水", "木", "金", "土"]  # WEEKDAY() 1 = Sunday
FIRST = 5  # the row of day 1
LAST = FIRST + 30  # the row of day 31
SLOTS = 48  # half hours from noon to noon
BAD = "入力?"  # shown instead of figures when a row holds a value that is not allowed
YEAR_CELL, MONTH_CELL = "C2", "E2"


def col(n):
    """Column letters of a 0-based column number."""
    letters = ""
    n += 1
    while n:
        n, rest = divmod(n - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


def q(text):
    """A text constant inside a formula."""
    return '"' + text.replace('"', '""') + '"'


def absolute(ref):
    letters = ref.rstrip("0123456789")
    return f"[.${letters}${ref[len(letters):]}]"


# --- the columns ------------------------------------------------------------------------------


@dataclass
class Column:
    key: str
    label: str
    width: str
    kind: str  # time, minutes, count, rating, amount, text, memo, calc, day, weekday, slot, helper
    group: str = ""


def columns_of(kind):
    """The sheet's columns, left to right; kind 1 or 3."""
    cols = [
        Column("day", "日", "0.75cm", "day", "日付"),
        Column("wday", "曜", "0.7cm", "weekday", "日付"),
        Column("bed", "床に\n入った", "1.15cm", "time", "夜の睡眠"),
        Column("lights", "消灯\n(寝よう\nとした)", "1.15cm", "time", "夜の睡眠"),
        Column("sol", "寝つく\nまで\n(分)", "0.95cm", "minutes", "夜の睡眠"),
        Column("wakes", "夜中に\n目覚め\n(回)", "0.95cm", "count", "夜の睡眠"),
        Column("waso", "目覚め\nていた\n(分)", "0.95cm", "minutes", "夜の睡眠"),
        Column("wake", "最後に\n目覚め\nた", "1.15cm", "time", "夜の睡眠"),
        Column("out", "床を\n出た", "1.15cm", "time", "夜の睡眠"),
    ]
    if kind == 1:
        cols += [Column("x1s", "開始", "1.15cm", "time", "昼寝"), Column("x1e", "終了", "1.15cm", "time", "昼寝")]
    else:
        cols += [Column("x1s", "開始", "1.15cm", "time", "２回目の睡眠"),
                 Column("x1e", "終了", "1.15cm", "time", "２回目の睡眠"),
                 Column("x2s", "開始", "1.15cm", "time", "３回目の睡眠"),
                 Column("x2e", "終了", "1.15cm", "time", "３回目の睡眠")]
    cols += [
        Column("quality", "熟睡感\n(1〜5)", "1.0cm", "rating", "評価"),
        Column("feel", "日中の\n調子\n(1〜5)", "1.0cm", "rating", "評価"),
        Column("caffeine", "杯", "0.8cm", "amount", "カフェイン"),
        Column("caffeine_at", "最後の\n時刻", "1.15cm", "time", "カフェイン"),
        Column("alcohol", "杯", "0.95cm", "amount", "飲酒"),
        Column("med", "名前", "1.7cm", "text", "睡眠薬"),
        Column("dose", "量", "0.95cm", "text", "睡眠薬"),
        Column("med_at", "時刻", "1.15cm", "time", "睡眠薬"),
        Column("memo", "メモ", "3.0cm", "memo", "メモ"),
        Column("tib", "床に\nいた\n時間", "1.15cm", "calc", "計算"),
        Column("tst", "総睡眠\n時間", "1.15cm", "calc", "計算"),
        Column("se", "睡眠\n効率", "1.05cm", "calc", "計算"),
    ]
    cols += [Column(f"slot{i}", "", "0.3cm", "slot", "picture") for i in range(SLOTS)]
    helpers = ["ok_time", "ok_num", "ok", "from", "try", "until", "leave", "has", "tib_d", "tst_d",
               "bed_a", "bed_b", "sleep_a", "sleep_b", "cls", "tst_m", "se_m", "se_k", "sol_n", "sol_k",
               "bed_n", "wake_n"]
    for x in extra_sleeps(kind):
        helpers += [f"{x}_a", f"{x}_b", f"{x}_d"]
    helpers += ["holiday", "name", "pos", "tail", "year", "month"]
    helpers += [f"hol{i}" for i in range(HOLIDAY_COLUMNS)]
    cols += [Column(h, "", "1.2cm", "helper") for h in helpers]
    return cols


def extra_sleeps(kind):
    return ["x1"] if kind == 1 else ["x1", "x2"]


class Layout:
    def __init__(self, kind):
        self.kind = kind
        self.cols = columns_of(kind)
        self.index = {c.key: i for i, c in enumerate(self.cols)}

    def letter(self, key):
        return col(self.index[key])

    def ref(self, key, row):
        """A reference whose column is fixed and whose row moves: [.$C5]."""
        return f"[.${self.letter(key)}{row}]"

    def span(self, key, first=FIRST, last=LAST):
        letter = self.letter(key)
        return f"[.${letter}${first}:.${letter}${last}]"

    def keys(self, kind):
        return [c.key for c in self.cols if c.kind == kind]

    @property
    def first_slot(self):
        return self.index["slot0"]

    @property
    def last_visible(self):
        return self.index[f"slot{SLOTS - 1}"]


# --- Japan's public holidays ------------------------------------------------------------------

HOLIDAY_YEARS = range(2000, 2100)


def _monday(year, month, nth):
    first = datetime.date(year, month, 1)
    return first + datetime.timedelta(days=(7 - first.weekday()) % 7 + 7 * (nth - 1))


def _equinox(year, base):
    """The vernal (base 20.8431) or autumnal (23.2488) equinox day, by the formula for 1980-2099."""
    return int(base + 0.242194 * (year - 1980) - (year - 1980) // 4)


def holidays(year):
    """Japan's public holidays of a year (2000 to 2099) by the rules in force: the fixed days, the
    Monday holidays, the equinoxes, the special years 2019 to 2021, the citizens' holiday (a day
    between two holidays) and the substitute holiday (a holiday on a Sunday moves the day off to
    the next day that is no holiday; before 2007 only to the Monday)."""
    d = datetime.date
    days = {d(year, 1, 1), _monday(year, 1, 2), d(year, 2, 11), d(year, 3, _equinox(year, 20.8431)),
            d(year, 4, 29), d(year, 5, 3), d(year, 5, 5), d(year, 9, _equinox(year, 23.2488)),
            d(year, 11, 3), d(year, 11, 23)}
    if year >= 2007:
        days.add(d(year, 5, 4))
    if year >= 2020:
        days.add(d(year, 2, 23))
    elif year <= 2018:
        days.add(d(year, 12, 23))
    special = {2019: [d(2019, 5, 1), d(2019, 10, 22)],
               2020: [d(2020, 7, 23), d(2020, 7, 24), d(2020, 8, 10)],
               2021: [d(2021, 7, 22), d(2021, 7, 23), d(2021, 8, 8)]}
    days.update(special.get(year, []))
    if year not in (2020, 2021):
        days.add(_monday(year, 7, 3) if year >= 2003 else d(year, 7, 20))
        days.add(_monday(year, 10, 2))
        if year >= 2016:
            days.add(d(year, 8, 11))
    days.add(_monday(year, 9, 3) if year >= 2003 else d(year, 9, 15))
    named = set(days)
    for day in sorted(named):  # the citizens' holiday
        between = day + datetime.timedelta(days=2)
        if between in named and day + datetime.timedelta(days=1) not in named:
            days.add(day + datetime.timedelta(days=1))
    for day in sorted(named):  # the substitute holiday
        if day.weekday() == 6:
            later = day + datetime.timedelta(days=1)
            while year >= 2007 and later in days:
                later += datetime.timedelta(days=1)
            days.add(later)
    return sorted(days)


def holiday_numbers():
    """Every holiday of HOLIDAY_YEARS as a spreadsheet day number (days since 1899-12-30)."""
    return [(day - datetime.date(1899, 12, 30)).days for y in HOLIDAY_YEARS for day in holidays(y)]


# The holidays stand in the hidden columns hol0, hol1, ... from row 1 down, at most
# HOLIDAY_ROWS_AT_MOST to a column: LibreOffice's .xls export leaves out the cells of a hidden
# column that lie more than about 1,000 rows below the sheet's last visible content.
HOLIDAY_ROWS_AT_MOST = 900
HOLIDAY_COLUMNS = -(-len(holiday_numbers()) // HOLIDAY_ROWS_AT_MOST)
HOLIDAY_ROWS = -(-len(holiday_numbers()) // HOLIDAY_COLUMNS)


# --- formulas ---------------------------------------------------------------------------------


def month_given():
    y, m = absolute(YEAR_CELL), absolute(MONTH_CELL)
    return f"AND(ISNUMBER({y});ISNUMBER({m});{m}>=1;{m}<=12;{y}>=1900)"


def day_formula(day):
    """Days 1 to 28 exist in every month; 29 to 31 only up to the month's end."""
    if day <= 28:
        return None
    y, m = absolute(YEAR_CELL), absolute(MONTH_CELL)
    return f"IF({month_given()};IF({day}<=DAY(DATE({y};{m}+1;1)-1);{day};{q('')});{day})"


def weekday_formula(day_ref):
    names = ";".join(q(w) for w in WEEKDAYS)
    y, m = absolute(YEAR_CELL), absolute(MONTH_CELL)
    return (f"IF(OR({day_ref}={q('')};NOT({month_given()}));{q('')};"
            f"CHOOSE(WEEKDAY(DATE({y};{m};{day_ref}));{names}))")


def name_formulas(lay):
    """Year and month from the workbook's own name, Dozeboard_YYYY-MM.xls.

    CELL("filename") gives C:\\dir\\[Dozeboard_2026-02.xls]睡眠表 in one application,
    'file:///dir/Dozeboard_2026-02.xls'#$睡眠表 in another and file:///dir/Dozeboard_2026-02.xls
    in a third: the name is the last "Dozeboard_" followed by YYYY-MM.xls and then the end, a ]
    or a '. Anything else, a template among them, gives no month."""
    name = f"[.${lay.letter('name')}$2]"
    pos = f"[.${lay.letter('pos')}$2]"
    tail = f"[.${lay.letter('tail')}$2]"
    word = q("Dozeboard_")
    last = (f"FIND(CHAR(1);SUBSTITUTE({name};{word};CHAR(1);"
            f"(LEN({name})-LEN(SUBSTITUTE({name};{word};{q('')})))/10))")
    after = f"MID({tail};22;1)"
    good = (f"AND(LEN({tail})>=21;MID({tail};15;1)={q('-')};MID({tail};18;4)={q('.xls')};"
            f"OR(LEN({tail})=21;{after}={q(']')};{after}={q(chr(39))});"
            f"ISNUMBER(MID({tail};11;4)*1);ISNUMBER(MID({tail};16;2)*1))")
    return {
        "name": 'CELL("filename";[.$A$1])',
        "pos": f"IF(ISERROR(FIND({word};{name}));0;{last})",
        "tail": f"IF(ISERROR({pos});{q('')};IF({pos}=0;{q('')};MID({name};{pos};22)))",
        "year": f"IF(ISERROR({good});{q('')};IF({good};MID({tail};11;4)*1;{q('')}))",
        "month": f"IF(ISERROR({good});{q('')};IF({good};MID({tail};16;2)*1;{q('')}))",
    }


def holiday_range(lay):
    return f"[.${lay.letter('hol0')}$1:.${lay.letter(f'hol{HOLIDAY_COLUMNS - 1}')}${HOLIDAY_ROWS}]"


def is_holiday(lay, date):
    """Whether a day number is in the holiday table (COUNTIF, as MATCH takes one column only)."""
    return f"COUNTIF({holiday_range(lay)};{date})>0"


def row_formulas(lay, n):
    """The hidden intermediate values of the night in row n (times as fractions of a day, the
    picture's edges in whole minutes after noon of the row's date).

    Times lie in [0, 1), so a difference of two plus 1 is positive: MOD is never given a negative
    number, whose result differs between applications (some keep the sign of the number).
    Every formula tests the night's own input cells: a formula that refers to an empty cell is
    the number 0 in some applications and empty in others, so no value is taken from an empty
    cell through another formula, and a value missing from a formula's own result is "" or -1."""
    r = lambda key: lay.ref(key, n)  # noqa: E731

    def given(*keys):
        return "OR(" + ";".join(f"ISNUMBER({r(k)})" for k in keys) + ")"

    def first_of(a, b):
        return f"IF(ISNUMBER({r(a)});{r(a)};IF(ISNUMBER({r(b)});{r(b)};{q('')}))"

    def minutes(key):
        return f"IF(ISNUMBER({r(key)});{r(key)};0)"

    def within(c, low, high):
        return f"OR(ISBLANK({c});AND(ISNUMBER({c});{c}>={low};{c}<={high}))"

    f = {}
    time_ok = [f"OR(ISBLANK({r(k)});AND(ISNUMBER({r(k)});{r(k)}>=0;{r(k)}<1))" for k in lay.keys("time")]
    num_ok = [within(r(k), *LIMITS[c.kind]) for c in lay.cols if c.kind in LIMITS for k in [c.key]]
    f["ok_time"] = f"IF(AND({';'.join(time_ok)});1;0)"
    f["ok_num"] = f"IF(AND({';'.join(num_ok)});1;0)"
    f["ok"] = f"{r('ok_time')}*{r('ok_num')}"
    # Only bed and waking, or only lights out and out of bed, are enough: each stands in for the other.
    f["from"] = first_of("bed", "lights")
    f["try"] = first_of("lights", "bed")
    f["until"] = first_of("wake", "out")
    f["leave"] = first_of("out", "wake")
    f["has"] = (f"IF(AND({r('ok')}=1;ISNUMBER({r('day')});{given('bed', 'lights')};{given('wake', 'out')});1;0)")
    has = f"{r('has')}=1"
    f["tib_d"] = f"IF({has};MOD({r('leave')}-{r('from')}+1;1);{q('')})"
    f["tst_d"] = (f"IF({has};MAX(0;MOD({r('until')}-{r('try')}+1;1)-({minutes('sol')}+{minutes('waso')})/1440);{q('')})")
    # The picture's edges, in whole minutes after noon of the row's date.
    def whole(days):
        return f"ROUND(({days})*1440;0)"

    def after_bed(key):
        return whole(f"MOD({r(key)}-{r('from')}+1;1)")

    noon = whole(f"MOD({r('from')}+0.5;1)")
    f["bed_a"] = f"IF({has};{noon};-1)"
    f["bed_b"] = f"IF({has};{r('bed_a')}+{whole(r('tib_d'))};-1)"
    f["sleep_a"] = f"IF({has};{r('bed_a')}+{after_bed('try')}+ROUND({minutes('sol')};0);-1)"
    f["sleep_b"] = f"IF({has};{r('bed_a')}+{after_bed('until')};-1)"
    y, m = absolute(YEAR_CELL), absolute(MONTH_CELL)
    # 1: the night before a day off (Friday or Saturday night, or before a public holiday), 0: before a working day.
    date = f"DATE({y};{m};{r('day')})"
    f["cls"] = (f"IF(AND({has};{month_given()});IF(OR(WEEKDAY({date})>=6;{is_holiday(lay, date + '+1')});"
                f"1;0);{q('')})")
    f["holiday"] = (f"IF(AND({month_given()};ISNUMBER({r('day')}));IF({is_holiday(lay, date)};1;0);0)")
    # What the summaries average: a value only on a complete, valid night; "" otherwise.
    f["tst_m"] = f"IF({has};{r('tst')};{q('')})"
    f["se_m"] = f"IF(AND({has};ISNUMBER({r('se')}));{r('se')};{q('')})"
    f["se_k"] = f"IF(ISNUMBER({r('se_m')});1;0)"
    f["sol_n"] = f"IF(AND({has};ISNUMBER({r('sol')}));{r('sol')};{q('')})"
    f["sol_k"] = f"IF(ISNUMBER({r('sol_n')});1;0)"
    f["bed_n"] = f"IF({has};{r('bed_a')}/1440;{q('')})"
    f["wake_n"] = f"IF({has};{r('sleep_b')}/1440;{q('')})"
    for x in extra_sleeps(lay.kind):
        start, end = r(x + "s"), r(x + "e")
        ok = f"AND({r('ok')}=1;ISNUMBER({r('day')});ISNUMBER({start});ISNUMBER({end}))"
        f[f"{x}_a"] = f"IF({ok};{whole(f'MOD({start}+0.5;1)')};-1)"
        f[f"{x}_b"] = f"IF({ok};{r(x + '_a')}+{whole(f'MOD({end}-{start}+1;1)')};-1)"
        f[f"{x}_d"] = f"IF({ok};MOD({end}-{start}+1;1);{q('')})"
    # The visible figures: Type-3 adds its second and third sleeps to both, Type-1 keeps the nap apart.
    parts = ["tib_d"] + ([f"{x}_d" for x in extra_sleeps(3)] if lay.kind == 3 else [])
    refs = ";".join(r(p) for p in parts)
    f["tib"] = f"IF({r('ok')}=0;{q(BAD)};IF(COUNT({refs})=0;{q('')};SUM({refs})))"
    refs = ";".join(r(p) for p in ["tst_d"] + parts[1:])
    f["tst"] = f"IF({r('ok')}=0;{q(BAD)};IF(COUNT({refs})=0;{q('')};SUM({refs})))"
    f["se"] = f"IF(ISNUMBER({r('tib')});IF({r('tib')}>0;{r('tst')}/{r('tib')};{q('')});{q('')})"
    return f


# The numbers an input cell of each kind may hold; a row holding anything else counts nowhere.
LIMITS = {"minutes": (0, 720), "count": (0, 99), "rating": (1, 5), "amount": (0, 50)}


SUMMARY_FIELDS = [
    # key, heading, number style
    ("nights", "記録した\n夜", "N_nights"),
    ("tst", "総睡眠時間\nの平均", "N_dur"),
    ("se", "睡眠効率\nの平均", "N_pct"),
    ("sol", "寝つくまで\nの平均", "N_min"),
    ("bed", "床に入った\n時刻の平均", "N_time"),
    ("bed_sd", "そのばらつき\n(標準偏差)", "N_spread"),
    ("wake", "最後に目覚めた\n時刻の平均", "N_time"),
    ("wake_sd", "そのばらつき\n(標準偏差)", "N_spread"),
]


def summary_formulas(lay, first, last):
    """The summary of the complete, valid nights in rows first..last: plain averages of the
    helper columns, which hold a number only on such nights."""
    def mean(key, shape="{}"):
        v = lay.span(key, first, last)
        return f"IF(COUNT({v})=0;{q('')};" + shape.format(f"AVERAGE({v})") + ")"

    def sd(key):
        v = lay.span(key, first, last)
        return f"IF(COUNT({v})=0;{q('')};STDEVP({v})*1440)"

    return {
        "nights": f"COUNTIF({lay.span('has', first, last)};1)",
        "tst": mean("tst_m"),
        "se": mean("se_m"),
        "sol": mean("sol_n"),
        "bed": mean("bed_n", "MOD({}+0.5;1)"),
        "bed_sd": sd("bed_n"),
        "wake": mean("wake_n", "MOD({}+0.5;1)"),
        "wake_sd": sd("wake_n"),
    }


def class_formulas(lay, value):
    """The summary of the nights whose `cls` is value (0 before working days, 1 before days
    off): sums by SUMIF over the helper columns, divided by the count of nights that hold the
    figure (every complete night has a total sleep and times; `se_k` and `sol_k` count the
    nights that have an efficiency and minutes to fall asleep)."""
    by = lay.span("cls")
    nights = f"COUNTIF({by};{value})"

    def mean(key, count, shape="{}"):
        total = f"SUMIF({by};{value};{lay.span(key)})"
        return f"IF({count}=0;{q('')};" + shape.format(f"{total}/{count}") + ")"

    return {
        "nights": nights,
        "tst": mean("tst_m", nights),
        "se": mean("se_m", f"SUMIF({by};{value};{lay.span('se_k')})"),
        "sol": mean("sol_n", f"SUMIF({by};{value};{lay.span('sol_k')})"),
        "bed": mean("bed_n", nights, "MOD({}+0.5;1)"),
        "bed_sd": None,
        "wake": mean("wake_n", nights, "MOD({}+0.5;1)"),
        "wake_sd": None,
    }


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
        paras = "".join(f"<text:p>{escape(line)}</text:p>" for line in value.split("\n"))
        self.cells.append(f"<table:table-cell{attrs}>{paras}</table:table-cell>")
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
        self.cells.extend(["<table:covered-table-cell/>"] * count)

    def empty(self, style, count=1, span=1, validation=None):
        for _ in range(count):
            attrs = f' table:style-name="{style}"'
            if validation:
                attrs += f' table:content-validation-name="{validation}"'
            if span > 1:
                attrs += f' table:number-columns-spanned="{span}" table:number-rows-spanned="1"'
            self.cells.append(f"<table:table-cell{attrs}/>")
            self.cells.extend(["<table:covered-table-cell/>"] * (span - 1))

    def xml(self):
        return f'<table:table-row table:style-name="{self.style}">' + "".join(self.cells) + "</table:table-row>"


# --- styles -----------------------------------------------------------------------------------

THIN = "0.5pt solid #7f7f7f"
HAIR = "0.3pt solid #bfbfbf"
HOUR = "0.5pt solid #7f7f7f"
MIDNIGHT = "1.2pt solid #202020"
MEDIUM = "1.5pt solid #202020"
HEAD_FILL = "#d9e2f3"
INPUT_FILL = "#fff2cc"
CALC_FILL = "#e2efda"
ASLEEP = "#1f3864"
IN_BED = "#9dc3e6"
WRONG_FILL = "#ffc7ce"
WRONG_TEXT = "#9c0006"
SUNDAY_COLOR = "#c00000"
SATURDAY_COLOR = "#0050c0"


def text_props(size="8pt", bold=False, color=None):
    weight = ' fo:font-weight="bold" style:font-weight-asian="bold" style:font-weight-complex="bold"' if bold else ""
    colour = f' fo:color="{color}"' if color else ""
    return (
        f'<style:text-properties style:font-name="{FONT}" fo:font-size="{size}"'
        f' style:font-name-asian="{FONT}" style:font-size-asian="{size}"'
        f' style:font-name-complex="{FONT}" style:font-size-complex="{size}"{weight}{colour}/>'
    )


def cell_style(name, data_style=None, align="center", size="8pt", bold=False, fill=None, border=THIN,
               color=None, wrap=False, valign="middle", sides=None, shrink=False, maps="", entry=False):
    """A cell style; entry: a cell the user types into, left open when the sheet is protected."""
    data = f' style:data-style-name="{data_style}"' if data_style else ""
    props = [f'style:vertical-align="{valign}"', f'style:cell-protect="{"none" if entry else "protected"}"']
    if fill:
        props.append(f'fo:background-color="{fill}"')
    if sides:
        props += [f'fo:border-{s}="{sides.get(s, border or "none")}"' for s in ("top", "bottom", "left", "right")]
    else:
        props.append(f'fo:border="{border or "none"}"')
    if wrap:
        props.append('fo:wrap-option="wrap"')
    if shrink:
        props.append('style:shrink-to-fit="true"')
    return (
        f'<style:style style:name="{name}" style:family="table-cell" style:parent-style-name="Default"{data}>'
        f'<style:table-cell-properties {" ".join(props)} style:text-align-source="fix" style:repeat-content="false"/>'
        f'<style:paragraph-properties fo:text-align="{align}"/>'
        f"{text_props(size, bold, color)}{maps}</style:style>"
    )


def weekend_maps(lay, column):
    """Sundays and public holidays in red, Saturdays in blue, by the weekday text and the holiday
    mark of the same row."""
    rules = ((f"OR([.B{FIRST}]={q('日')};{lay.ref('holiday', FIRST)}=1)", "Sunday"), (f"[.B{FIRST}]={q('土')}", "Saturday"))
    return "".join(
        f'<style:map style:condition={quoteattr(f"is-true-formula({cond})")} '
        f'style:apply-style-name="{name}" style:base-cell-address="{SHEET}.{column}{FIRST}"/>'
        for cond, name in rules
    )


def wrong_map(column, test):
    """A value an input cell must not hold (pasted past its check) shows in red instead of as
    a plausible time: 2330 would otherwise read as 0:00."""
    c = f"[.{column}{FIRST}]"
    cond = f"AND(NOT(ISBLANK({c}));{test.format(c=c)})"
    return (f'<style:map style:condition={quoteattr(f"is-true-formula({cond})")} '
            f'style:apply-style-name="Wrong" style:base-cell-address="{SHEET}.{column}{FIRST}"/>')


def picture_maps(lay):
    """A half-hour cell is dark while asleep (any of the row's sleeps) and light while in bed awake.
    Its middle lies (COLUMN() - first) * 30 + 15 whole minutes after noon, and the edges are whole
    minutes too, so every application compares the same integers."""
    mid = f"((COLUMN()-{lay.first_slot + 1})*30+15)"

    def inside(a, b):
        return f"AND({lay.ref(a, FIRST)}<={mid};{mid}<{lay.ref(b, FIRST)})"

    asleep = "OR(" + ";".join([inside("sleep_a", "sleep_b")] +
                              [inside(f"{x}_a", f"{x}_b") for x in extra_sleeps(lay.kind)]) + ")"
    base = f"{SHEET}.{col(lay.first_slot)}{FIRST}"
    return "".join(
        f'<style:map style:condition={quoteattr(f"is-true-formula({cond})")} '
        f'style:apply-style-name="{name}" style:base-cell-address="{base}"/>'
        for cond, name in ((asleep, "Asleep"), (inside("bed_a", "bed_b"), "InBed"))
    )


DATA_STYLES = """
<number:number-style style:name="N_int"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/></number:number-style>
<number:number-style style:name="N_year"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>年</number:text></number:number-style>
<number:number-style style:name="N_month"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>月</number:text></number:number-style>
<number:time-style style:name="N_time"><number:hours/><number:text>:</number:text><number:minutes number:style="long"/></number:time-style>
<number:number-style style:name="N_typed"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/></number:number-style>
<number:time-style style:name="N_entry"><number:hours/><number:text>:</number:text><number:minutes number:style="long"/><style:map style:condition="value()&gt;=1" style:apply-style-name="N_typed"/></number:time-style>
<number:time-style style:name="N_dur" number:truncate-on-overflow="false"><number:hours/><number:text>:</number:text><number:minutes number:style="long"/></number:time-style>
<number:percentage-style style:name="N_pct"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>
<number:number-style style:name="N_min"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>分</number:text></number:number-style>
<number:number-style style:name="N_spread"><number:text>±</number:text><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>分</number:text></number:number-style>
<number:number-style style:name="N_nights"><number:number number:decimal-places="0" number:min-decimal-places="0" number:min-integer-digits="1"/><number:text>夜</number:text></number:number-style>
<number:number-style style:name="N_num"><number:number number:decimal-places="1" number:min-decimal-places="1" number:min-integer-digits="1"/></number:number-style>
"""

# The input cells' styles: a time shows 23:30, and a number typed instead (2330) as typed; a
# number of cups one decimal (1.5).
INPUT_STYLE = {"time": ("c_time", "N_entry"), "minutes": ("c_minutes", "N_int"), "count": ("c_count", "N_int"),
               "rating": ("c_rating", "N_int"), "amount": ("c_amount", "N_num"), "text": ("c_text", None),
               "memo": ("c_memo", None)}


def automatic_styles(lay):
    out = [DATA_STYLES]
    for i, c in enumerate(lay.cols):
        out.append(
            f'<style:style style:name="co{i}" style:family="table-column">'
            f'<style:table-column-properties fo:break-before="auto" style:column-width="{c.width}"/></style:style>'
        )
    for name, height in (("ro_title", "0.8cm"), ("ro_month", "0.62cm"), ("ro_group", "0.45cm"),
                         ("ro_head", "1.2cm"), ("ro_day", "0.62cm"), ("ro_foot", "0.5cm"),
                         ("ro_foot_head", "0.85cm"), ("ro_legend", "0.5cm")):
        out.append(
            f'<style:style style:name="{name}" style:family="table-row">'
            f'<style:table-row-properties style:row-height="{height}" fo:break-before="auto" '
            f'style:use-optimal-row-height="false"/></style:style>'
        )
    out.append(
        '<style:style style:name="gr1" style:family="graphic"><style:graphic-properties draw:stroke="none" '
        'draw:fill="none" draw:ole-draw-aspect="1"/></style:style>'
    )
    out.append(
        '<style:style style:name="ta1" style:family="table" style:master-page-name="Diary">'
        '<style:table-properties table:display="true" style:writing-mode="lr-tb"/></style:style>'
    )
    pmaps = picture_maps(lay)
    out += [
        cell_style("c_title", align="start", size="14pt", bold=True, border=None),
        cell_style("c_kind", align="end", size="8pt", border=None, color="#404040"),
        cell_style("c_label", bold=True, fill=HEAD_FILL),
        cell_style("c_year", data_style="N_year", size="11pt", bold=True, fill=INPUT_FILL, border=MEDIUM, entry=True),
        cell_style("c_month", data_style="N_month", size="11pt", bold=True, fill=INPUT_FILL, border=MEDIUM, entry=True),
        cell_style("c_note", align="start", size="8pt", border=None, color="#404040"),
        cell_style("c_group", size="7pt", bold=True, fill=HEAD_FILL),
        cell_style("c_head", size="7pt", bold=True, fill=HEAD_FILL, wrap=True),
        cell_style("c_hour", align="start", size="6pt", fill=HEAD_FILL, sides={"left": HOUR}),
        cell_style("c_hour0", align="start", size="6pt", bold=True, fill=HEAD_FILL, sides={"left": MIDNIGHT}),
        cell_style("c_day", data_style="N_int", maps=weekend_maps(lay, "A")),
        cell_style("c_wday", maps=weekend_maps(lay, "B")),
        cell_style("c_time", data_style="N_entry", entry=True,
                   maps=wrong_map("C", "OR(NOT(ISNUMBER({c}));{c}<0;{c}>=1)")),
        *(cell_style(INPUT_STYLE[kind][0], data_style=INPUT_STYLE[kind][1], entry=True,
                     maps=wrong_map("C", f"OR(NOT(ISNUMBER({{c}}));{{c}}<{low};{{c}}>{high})"))
          for kind, (low, high) in LIMITS.items()),
        cell_style("c_text", shrink=True, entry=True),
        cell_style("c_memo", align="start", shrink=True, entry=True),
        cell_style("c_dur", data_style="N_dur", fill=CALC_FILL),
        cell_style("c_pct", data_style="N_pct", fill=CALC_FILL),
        cell_style("c_slot", sides={"left": HAIR, "right": HAIR}, maps=pmaps),
        cell_style("c_slot_hour", sides={"left": HOUR, "right": HAIR}, maps=pmaps),
        cell_style("c_slot0", sides={"left": MIDNIGHT, "right": HAIR}, maps=pmaps),
        cell_style("c_slot_end", sides={"left": HAIR, "right": THIN}, maps=pmaps),
        cell_style("c_helper", align="start", size="6pt", border=None, color="#ffffff"),
        cell_style("c_foot_label", align="start", bold=True, fill=HEAD_FILL),
        cell_style("c_foot_head", size="7pt", bold=True, fill=HEAD_FILL, wrap=True),
        cell_style("c_legend", align="start", size="7pt", border=None, color="#404040"),
        cell_style("c_key_asleep", fill=ASLEEP),
        cell_style("c_key_bed", fill=IN_BED),
    ]
    for name, data in (("N_nights", "N_nights"), ("N_dur", "N_dur"), ("N_pct", "N_pct"), ("N_min", "N_min"),
                       ("N_time", "N_time"), ("N_spread", "N_spread")):
        out.append(cell_style(f"c_foot_{name}", data_style=data, bold=True, fill=CALC_FILL))
    out.append(
        '<style:page-layout style:name="pm1">'
        '<style:page-layout-properties fo:page-width="29.7cm" fo:page-height="21.001cm" '
        'style:num-format="1" style:print-orientation="landscape" fo:margin-top="1.0cm" '
        'fo:margin-bottom="1.0cm" fo:margin-left="1.0cm" fo:margin-right="1.0cm" '
        'style:print-page-order="ttb" style:first-page-number="continue" '
        'style:scale-to-X="1" style:scale-to-Y="1" style:table-centering="horizontal" '
        'style:print="objects charts drawings"/>'
        '<style:header-style/><style:footer-style/></style:page-layout>'
    )
    return "\n".join(out)


# --- validations ------------------------------------------------------------------------------

VALIDATIONS = {
    # name: (condition, title, message)
    "v_time": ("of:cell-content-is-time() and cell-content-is-between(0,0.999988)", "時刻の入力",
               "23:30 のように入力してください（「時:分」の形で。2330 や 7 だけでは時刻になりません）。"),
    "v_minutes": ("of:cell-content-is-whole-number() and cell-content-is-between(0,720)", "分の入力",
                  "0 から 720 までの整数（分）で入力してください。"),
    "v_count": ("of:cell-content-is-whole-number() and cell-content-is-between(0,99)", "回数の入力",
                "0 から 99 までの整数で入力してください。"),
    "v_rating": ("of:cell-content-is-whole-number() and cell-content-is-between(1,5)", "評価の入力",
                 "1（悪い）から 5（良い）までの整数で入力してください。"),
    "v_amount": ("of:cell-content-is-decimal-number() and cell-content-is-between(0,50)", "杯数の入力",
                 "0 から 50 までの数で入力してください。"),
}
VALIDATION_OF = {"time": "v_time", "minutes": "v_minutes", "count": "v_count", "rating": "v_rating",
                 "amount": "v_amount"}


def validations():
    out = ["<table:content-validations>"]
    for name, (condition, title, message) in VALIDATIONS.items():
        out.append(
            f'<table:content-validation table:name="{name}" table:condition={quoteattr(condition)} '
            f'table:allow-empty-cell="true" table:base-cell-address="{SHEET}.A1">'
            f'<table:error-message table:message-type="stop" table:title={quoteattr(title)} table:display="true">'
            f"<text:p>{escape(message)}</text:p></table:error-message></table:content-validation>"
        )
    out.append("</table:content-validations>")
    return "\n".join(out)


# --- the chart of each night's total sleep -------------------------------------------------------

CHART_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
            'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
            'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
            'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
            'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
            'xmlns:xlink="http://www.w3.org/1999/xlink" '
            'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" '
            'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
            'xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0"')


def chart_frame(lay, end_cell, width, height):
    """A bar per night: the total sleep of days 1 to 31, on an axis of 0 to 12 hours."""
    values = f"{SHEET}.{lay.letter('tst')}{FIRST}:{SHEET}.{lay.letter('tst')}{LAST}"
    days = f"{SHEET}.A{FIRST}:{SHEET}.A{LAST}"
    axis = ('<style:chart-properties chart:display-label="true" chart:link-data-style-to-source="false" '
            'chart:axis-position="0"{extra}/><style:graphic-properties svg:stroke-color="#7f7f7f"/>'
            '<style:text-properties fo:font-size="6pt" style:font-size-asian="6pt"/>')
    styles = (
        '<number:time-style style:name="N_dur" number:truncate-on-overflow="false"><number:hours/>'
        '<number:text>:</number:text><number:minutes number:style="long"/></number:time-style>'
        '<number:number-style style:name="N_day"><number:number number:decimal-places="0"/></number:number-style>'
        '<style:style style:name="k_chart" style:family="chart"><style:graphic-properties draw:stroke="none"/></style:style>'
        '<style:style style:name="k_title" style:family="chart"><style:text-properties fo:font-size="7pt" '
        'fo:font-weight="bold" style:font-size-asian="7pt" style:font-weight-asian="bold"/></style:style>'
        '<style:style style:name="k_plot" style:family="chart"><style:chart-properties '
        'chart:treat-empty-cells="leave-gap" chart:include-hidden-cells="false"/></style:style>'
        '<style:style style:name="k_x" style:family="chart" style:data-style-name="N_day">'
        + axis.format(extra=' chart:text-overlap="true"') + '</style:style>'
        '<style:style style:name="k_y" style:family="chart" style:data-style-name="N_dur">'
        + axis.format(extra=' chart:minimum="0" chart:maximum="0.5" chart:interval-major="0.0833333333333333" '
                            'chart:interval-minor-divisor="2"') + '</style:style>'
        '<style:style style:name="k_grid" style:family="chart"><style:graphic-properties svg:stroke-color="#d0d0d0"/>'
        '</style:style>'
        f'<style:style style:name="k_bars" style:family="chart"><style:graphic-properties draw:stroke="none" '
        f'draw:fill="solid" draw:fill-color="{ASLEEP}"/></style:style>'
        '<style:style style:name="k_wall" style:family="chart"><style:graphic-properties draw:stroke="none" '
        'draw:fill="none"/></style:style>'
    )
    chart = (
        f'<office:document {CHART_NS} office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.chart">'
        f"<office:automatic-styles>{styles}</office:automatic-styles><office:body><office:chart>"
        f'<chart:chart svg:width="{width}" svg:height="{height}" chart:class="chart:bar" chart:style-name="k_chart">'
        f'<chart:title chart:style-name="k_title"><text:p>総睡眠時間（夜ごと）</text:p></chart:title>'
        f'<chart:plot-area chart:style-name="k_plot" table:cell-range-address="{values}">'
        f'<chart:axis chart:dimension="x" chart:name="primary-x" chart:style-name="k_x">'
        f'<chart:categories table:cell-range-address="{days}"/></chart:axis>'
        f'<chart:axis chart:dimension="y" chart:name="primary-y" chart:style-name="k_y">'
        f'<chart:grid chart:style-name="k_grid" chart:class="major"/></chart:axis>'
        f'<chart:series chart:style-name="k_bars" chart:values-cell-range-address="{values}" chart:class="chart:bar"/>'
        f'<chart:wall chart:style-name="k_wall"/></chart:plot-area></chart:chart>'
        f"</office:chart></office:body></office:document>"
    )
    return (
        f'<draw:frame draw:z-index="0" draw:style-name="gr1" table:end-cell-address="{SHEET}.{end_cell}" '
        f'table:end-x="0cm" table:end-y="0cm" svg:x="0.05cm" svg:y="0.05cm" svg:width="{width}" svg:height="{height}">'
        f'<draw:object draw:notify-on-update-of-ranges="{values} {days}">{chart}</draw:object></draw:frame>'
    )


# --- the sheet --------------------------------------------------------------------------------


KIND_TEXT = {1: "Dozeboard Type-1（睡眠は 1 日 1 回まで＋昼寝）", 3: "Dozeboard Type-3（睡眠は 1 日 3 回まで）"}


def sheet_rows(lay):
    width = lay.last_visible + 1
    helpers_from = lay.last_visible + 1
    helper_count = len(lay.cols) - helpers_from
    rows = []

    r = Row("ro_title")
    r.text("睡眠日誌", "c_title", span=4)
    r.text(KIND_TEXT[lay.kind], "c_kind", span=width - 4)
    r.empty("c_helper", helper_count)
    rows.append(r)

    r = Row("ro_month")
    r.text("年・月", "c_label", span=2)
    names = name_formulas(lay)
    r.formula(f"[.${lay.letter('year')}$2]", "c_year", span=2)
    # Two columns: "12月" in a wide bold font still fits in one with nothing to spare.
    r.formula(f"[.${lay.letter('month')}$2]", "c_month", span=2)
    r.text("1 行はその日の夜の睡眠です（その日の正午から翌日の正午まで）。年と月はファイル名"
           "（Dozeboard_2026-02.xls など）から入ります。時刻は 23:30 のように入力します。"
           "保存は .xls 形式のままで（ほかの形式で保存したものは開かれません）。",
           "c_note", span=width - 6)
    for c in lay.cols[helpers_from:]:
        if c.key in names:
            r.formula(names[c.key], "c_helper")
        else:
            r.empty("c_helper")
    rows.append(r)

    group = Row("ro_group")
    head = Row("ro_head")
    i = 0
    visible = lay.cols[:width]
    while i < len(visible):
        c = visible[i]
        if c.kind == "slot":
            group.text("24 時間の睡眠（その日の正午 → 翌日の正午）", "c_group", span=SLOTS)
            for h in range(SLOTS // 2):
                hour = (12 + h) % 24
                head.text(str(hour), "c_hour0" if hour == 0 else "c_hour", span=2)
            i += SLOTS
            continue
        j = i
        while j + 1 < len(visible) and visible[j + 1].group == c.group and visible[j + 1].kind != "slot":
            j += 1
        if c.group == "メモ":
            group.text(c.label, "c_head", rows=2)
            head.covered()
        else:
            group.text(c.group, "c_group", span=j - i + 1)
            for k in range(i, j + 1):
                head.text(visible[k].label, "c_head")
        i = j + 1
    group.empty("c_helper", helper_count)
    head.empty("c_helper", helper_count)

    for day in range(1, 32):
        n = FIRST + day - 1
        r = Row("ro_day")
        computed = row_formulas(lay, n)
        for i, c in enumerate(lay.cols):
            if c.kind == "day":
                expr = day_formula(day)
                if expr:
                    r.formula(expr, "c_day")
                else:
                    r.number(day, "c_day")
            elif c.kind == "weekday":
                r.formula(weekday_formula(f"[.A{n}]"), "c_wday")
            elif c.kind in INPUT_STYLE:
                r.empty(INPUT_STYLE[c.kind][0], validation=VALIDATION_OF.get(c.kind))
            elif c.kind == "calc":
                r.formula(computed[c.key], "c_pct" if c.key == "se" else "c_dur")
            elif c.kind == "slot":
                k = i - lay.first_slot
                style = ("c_slot0" if k == 24 else "c_slot_hour" if k % 2 == 0 and k else
                         "c_slot_end" if k == SLOTS - 1 else "c_slot")
                r.empty(style)
            elif c.key in computed:
                r.formula(computed[c.key], "c_helper")
            else:
                r.empty("c_helper")
        rows.append(r)

    # Summaries under the nights: a label over 4 columns, then each figure over 2; right of them
    # the picture's legend and, under the picture, the chart of each night's total sleep.
    label_span, field_span = 4, 2
    gap = lay.first_slot - label_span - field_span * len(SUMMARY_FIELDS)
    blocks = [(f"{a}〜{b}日の夜", FIRST + a - 1, FIRST + b - 1) for a, b in ((1, 7), (8, 14), (15, 21), (22, 28))]
    blocks.append(("29日〜月末の夜", FIRST + 28, LAST))
    summaries = [(label, summary_formulas(lay, a, b)) for label, a, b in blocks]
    summaries.append(("この月", summary_formulas(lay, FIRST, LAST)))
    summaries.append(("平日の前の夜（日〜木）", class_formulas(lay, 0)))
    summaries.append(("休日前の夜（金土・祝前日）", class_formulas(lay, 1)))
    legend = [("c_key_asleep", "眠っていた"), ("c_key_bed", "床で起きていた")]
    r = Row("ro_foot_head")
    r.text("まとめ（入力のそろった夜の平均）", "c_foot_head", span=label_span)
    for _, heading, _ in SUMMARY_FIELDS:
        r.text(heading, "c_foot_head", span=field_span)
    r.text("24 時間の睡眠の色", "c_legend", span=gap)
    last_row = LAST + 1 + len(summaries)
    height = 0.85 + 0.5 * len(summaries) - 0.1
    r.cells.append(f'<table:table-cell table:style-name="c_legend">'
                   f'{chart_frame(lay, f"{col(lay.last_visible)}{last_row}", f"{0.3 * SLOTS - 0.1:.2f}cm", f"{height:.2f}cm")}'
                   f"</table:table-cell>")
    r.empty("c_legend", SLOTS - 1)
    rows.append(r)
    for idx, (label, formulas) in enumerate(summaries):
        r = Row("ro_foot")
        r.text(label, "c_foot_label", span=label_span)
        for key, _, style in SUMMARY_FIELDS:
            if formulas[key] is None:
                r.empty(f"c_foot_{style}", span=field_span)
            else:
                r.formula(formulas[key], f"c_foot_{style}", span=field_span)
        if idx < len(legend):
            r.empty(legend[idx][0])
            r.text(legend[idx][1], "c_legend", span=gap - 1)
        else:
            r.empty("c_legend", gap)
        r.empty("c_legend", SLOTS)
        rows.append(r)
    notes = [
        "床にいた時間＝床に入った→床を出た。総睡眠時間＝消灯→最後に目覚めた から 寝つくまで と 目覚めていた を引いた時間"
        + ("（昼寝は含みません）。" if lay.kind == 1 else "＋２回目・３回目の睡眠。")
        + "睡眠効率＝総睡眠時間÷床にいた時間。消灯がなければ床に入った時刻を、最後に目覚めた時刻がなければ床を出た時刻を使います。",
        "24 時間の睡眠：濃い色＝眠っていた（" + ("昼寝" if lay.kind == 1 else "２回目・３回目の睡眠")
        + "を含む）、薄い色＝床の中で起きていた。" + BAD + " は許されない値のある行です（赤いマスを直してください。その行は計算しません）。"
        "休日の前の夜＝金曜・土曜と祝日の前の日の夜（祝日は日曜と同じ赤）。ばらつき＝標準偏差（小さいほど規則正しい）。",
    ]
    for words in notes:
        r = Row("ro_legend")
        r.text(words, "c_legend", span=width)
        rows.append(r)
    return rows, [group, head]


def document(kind):
    lay = Layout(kind)
    rows, head_rows = sheet_rows(lay)
    # The holidays fill the hidden last columns from the first row down, below the sheet too.
    hol = lay.index["hol0"]
    numbers = holiday_numbers()
    below = [Row("ro_legend") for _ in range(HOLIDAY_ROWS - len(rows) - len(head_rows))]
    for i, r in enumerate((rows[:2] + head_rows + rows[2:] + below)[:HOLIDAY_ROWS]):
        r.cells = r.cells[:hol] + ["<table:table-cell/>"] * (hol - len(r.cells))
        for number in numbers[i::HOLIDAY_ROWS]:
            r.number(number, "c_helper")
    head_first = 3
    last_col = col(lay.last_visible)
    last_row = len(rows) + len(head_rows)
    columns = "".join(
        f'<table:table-column table:style-name="co{i}" table:default-cell-style-name="Default"'
        f'{" table:visibility=" + chr(34) + "collapse" + chr(34) if c.kind == "helper" else ""}/>'
        for i, c in enumerate(lay.cols))
    before = "".join(r.xml() + "\n" for r in rows[: head_first - 1])
    header = "<table:table-header-rows>" + "".join(r.xml() for r in head_rows) + "</table:table-header-rows>\n"
    after = "".join(r.xml() + "\n" for r in rows[head_first - 1:] + below)
    split_row = head_first + len(head_rows) - 1  # rows above the first night stay in view
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0" xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0" xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0" office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:settings>
<config:config-item-set config:name="ooo:view-settings">
<config:config-item-map-indexed config:name="Views"><config:config-item-map-entry>
<config:config-item config:name="ViewId" config:type="string">view1</config:config-item>
<config:config-item-map-named config:name="Tables"><config:config-item-map-entry config:name="{SHEET}">
<config:config-item config:name="CursorPositionX" config:type="int">2</config:config-item>
<config:config-item config:name="CursorPositionY" config:type="int">{FIRST - 1}</config:config-item>
<config:config-item config:name="HorizontalSplitMode" config:type="short">2</config:config-item>
<config:config-item config:name="VerticalSplitMode" config:type="short">2</config:config-item>
<config:config-item config:name="HorizontalSplitPosition" config:type="int">2</config:config-item>
<config:config-item config:name="VerticalSplitPosition" config:type="int">{split_row}</config:config-item>
<config:config-item config:name="ActiveSplitRange" config:type="short">3</config:config-item>
<config:config-item config:name="PositionLeft" config:type="int">0</config:config-item>
<config:config-item config:name="PositionRight" config:type="int">2</config:config-item>
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
<style:style style:name="Wrong" style:family="table-cell" style:parent-style-name="Default"><style:table-cell-properties fo:background-color="{WRONG_FILL}"/><style:text-properties fo:color="{WRONG_TEXT}" fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
<style:style style:name="Asleep" style:family="table-cell" style:parent-style-name="Default"><style:table-cell-properties fo:background-color="{ASLEEP}"/></style:style>
<style:style style:name="InBed" style:family="table-cell" style:parent-style-name="Default"><style:table-cell-properties fo:background-color="{IN_BED}"/></style:style>
</office:styles>
<office:automatic-styles>
{automatic_styles(lay)}
</office:automatic-styles>
<office:master-styles>
<style:master-page style:name="Diary" style:page-layout-name="pm1"><style:header style:display="false"/><style:footer style:display="false"/></style:master-page>
</office:master-styles>
<office:body>
<office:spreadsheet>
{validations()}
<table:table table:name="{SHEET}" table:style-name="ta1" table:protected="true" table:print-ranges="$&apos;{SHEET}&apos;.$A$1:.${last_col}${last_row}">
{columns}
{before}{header}{after}</table:table>
</office:spreadsheet>
</office:body>
</office:document>
"""


def sources():
    return {
        "Dozeboardt1.fods": document(1),
        "Dozeboardt3.fods": document(3),
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
