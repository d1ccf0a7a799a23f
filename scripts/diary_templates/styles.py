"""The sheet's cell styles, conditional formats (weekends, wrong entries, the 24-hour picture,
at most 3 to a cell range) and input checks, as flat OpenDocument XML."""

from xml.sax.saxutils import escape, quoteattr

from .formulas import LIMITS, q
from .layout import FIRST, FONT, SHEET, col, extra_sleeps

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

