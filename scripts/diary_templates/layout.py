"""The diary sheet's layout: its rows and its columns, left to right, with the keys that the
formulas, the styles and the checks name them by."""

from dataclasses import dataclass

from .holidays import HOLIDAY_COLUMNS

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

