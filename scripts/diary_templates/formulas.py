"""The sheet's formulas, in OpenFormula's notation ([.$C5], ; between arguments), as the flat
OpenDocument source holds them.

Only functions that Excel 97-2003 knows are used (no IFERROR, AVERAGEIF, COUNTIFS), with IF
nested at most 7 deep."""

from .holidays import HOLIDAY_COLUMNS, HOLIDAY_ROWS
from .layout import BAD, MONTH_CELL, WEEKDAYS, YEAR_CELL, extra_sleeps


def q(text):
    """A text constant inside a formula."""
    return '"' + text.replace('"', '""') + '"'


def absolute(ref):
    letters = ref.rstrip("0123456789")
    return f"[.${letters}${ref[len(letters):]}]"


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

