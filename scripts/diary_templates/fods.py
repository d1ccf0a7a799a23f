"""The flat OpenDocument spreadsheet (.fods) of each template: its rows, the chart of each
night's total sleep and the document around them."""

from xml.sax.saxutils import escape, quoteattr

from .formulas import (SUMMARY_FIELDS, class_formulas, day_formula, name_formulas, row_formulas,
                       summary_formulas, weekday_formula)
from .holidays import HOLIDAY_ROWS, holiday_numbers
from .layout import BAD, FIRST, FONT, LAST, SHEET, SLOTS, Layout, col
from .styles import (ASLEEP, IN_BED, INPUT_STYLE, SATURDAY_COLOR, SUNDAY_COLOR, VALIDATION_OF, WRONG_FILL,
                     WRONG_TEXT, automatic_styles, text_props, validations)

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
