"""Whole runs with a fixed clock: the launch decision, the month's workbook copied from its
template and opened through the shell, and the settings file written at the end.

The clock stands still at the given local time (faketime), so the times in the settings
file and in the boxes are exact. The Japanese system writes dates as yyyy/MM/dd and times
as H:mm:ss.
"""

from tests.e2e.e2ecase import (FIRST_RUN_QUESTION, OPEN_QUESTION, PREPARE_FAILED, PROGRAM, SAVE_FAILED,
                     SETTINGS, TEMPLATE1, TEMPLATE3, Box, case, open_failed)

JULY_1 = "2004-07-01 07:30:00"
BOOK_JUNE = "Dozeboard_2004-06.xls"
BOOK_JULY = "Dozeboard_2004-07.xls"
# A month's workbook that the user has filled in: not a copy of either template.
FILLED_JUNE = (BOOK_JUNE, b"\xd0\xcf\x11\xe0 June, filled in by the user \x00\x06" * 8)


def settings_text(last_xls: str, last_run: str, type1: int = 1, window: int = 5,
                  yes_no: int = 1, time_to_next: str = "4:00:00") -> bytes:
    lines = ["[Execute]", f"Last_XLS={last_xls}", f"LastQuillmer={last_run}", "",
             "[Date]", f"TimeToNext={time_to_next}", "",
             "[Launch]", f"Type1={type1}", f"WindowSize={window}", f"YesNo={yes_no}", ""]
    return "".join(line + "\r\n" for line in lines).encode("cp932")


def settings_opened_at(moment: str, **rest) -> bytes:
    """The settings file after a run at `moment` that opened the month's workbook then."""
    return settings_text(moment, moment, **rest)


def backwards_warning(last: str, now: str) -> Box:
    return Box("Auto Quillmer",
               f"日付が逆転しています。\r\n 前回実行： {last}\r\n 現在時刻： {now}\r\n\r\n"
               "無視して「Dozeboard」を開きますか？", "exclamation", ("yes", "no"))


def opened(t, run):
    return [(o["args"], o["show"]) for o in run.opened]


def opened_june(t, run, what: str = "opened workbooks") -> None:
    """The run opened June's workbook, and only it, in a normal window (show command 5)."""
    t.equal(opened(t, run), [([t.win(t.folder / BOOK_JUNE)], 5)], what)


def workbooks(t, folder=None):
    return [name for name in t.listing(folder) if name.startswith("Dozeboard_")]


@case("first run, Type-1 chosen, opened: copy of the Type-1 template, settings as specified",
      tags=("workbook",))
def first_run_opens_type1(t):
    t.put(TEMPLATE1, TEMPLATE3)
    run = t.launch(answers=["yes", "yes"], faketime=JULY_1, frozen=True)
    t.boxes(run, FIRST_RUN_QUESTION, OPEN_QUESTION)
    t.exit_code(run, 0)
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE1[1])
    opened_june(t, run, "opened workbooks (arguments, show command)")
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 7:30:00"))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0], BOOK_JUNE, SETTINGS])


@case("same logical day, next logical day: nothing before 04:00, the new month after",
      tags=("workbook",))
def later_starts(t):
    t.put(TEMPLATE1, TEMPLATE3)
    t.launch(answers=["no", "yes"], faketime=JULY_1, frozen=True)
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE3[1])
    # 12:00 the same day: no box, only LastQuillmer moves.
    run = t.launch(faketime="2004-07-01 12:00:00", frozen=True)
    t.boxes(run)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS,
              settings_text("2004/07/01 7:30:00", "2004/07/01 12:00:00", type1=0))
    # 03:59 on the 2nd still belongs to the 1st.
    run = t.launch(faketime="2004-07-02 03:59:00", frozen=True)
    t.boxes(run)
    # 04:01 on the 2nd: a new logical day, whose day before is in July.
    run = t.launch(answers=["yes"], faketime="2004-07-02 04:01:00", frozen=True)
    t.boxes(run, OPEN_QUESTION)
    t.file_is(t.folder, BOOK_JULY, TEMPLATE3[1])
    t.equal(opened(t, run), [([t.win(t.folder / BOOK_JULY)], 5)], "opened workbooks")
    t.file_is(t.folder, SETTINGS,
              settings_opened_at("2004/07/02 4:01:00", type1=0))


@case("only the Type-3 template, open declined: copy made, nothing opened, Last_XLS kept",
      tags=("workbook",))
def type3_declined(t):
    t.put(TEMPLATE3)
    run = t.launch(answers=["no"], faketime=JULY_1, frozen=True)
    t.boxes(run, OPEN_QUESTION)
    t.exit_code(run, 0)
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE3[1])
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS, settings_text("1900/01/01", "2004/07/01 7:30:00", type1=0))


@case("no application for .xls: the opening-failure box with code 31, Last_XLS kept",
      tags=("workbook",))
def open_fails_without_association(t):
    t.put(TEMPLATE1)
    run = t.launch(answers=["yes", "ok"], faketime=JULY_1, frozen=True, associate=False)
    t.boxes(run, OPEN_QUESTION, open_failed(t.win(t.folder / BOOK_JUNE), 31))
    t.exit_code(run, 0)
    t.file_is(t.folder, SETTINGS, settings_text("1900/01/01", "2004/07/01 7:30:00"))


@case("settings say Type-1 but only the Type-3 template exists: preparation fails",
      tags=("workbook",))
def missing_template_at_copy(t):
    t.put(TEMPLATE3, (SETTINGS, settings_opened_at("2004/06/20 7:00:00")))
    run = t.launch(answers=["ok"], faketime=JULY_1, frozen=True)
    t.boxes(run, PREPARE_FAILED)
    t.exit_code(run, 0)
    t.no_file(t.folder, BOOK_JUNE)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS, settings_text("2004/06/20 7:00:00", "2004/07/01 7:30:00"))


@case("/OPEN on the same logical day: opened without any question", tags=("workbook",))
def open_switch(t):
    t.put(TEMPLATE1, (SETTINGS, settings_opened_at("2004/07/01 7:20:00")))
    run = t.launch(args="/OPEN", faketime=JULY_1, frozen=True)
    t.boxes(run)
    opened_june(t, run)
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 7:30:00"))
    # Not a switch: «/opening», «--open»; nothing happens on the same day.
    run = t.launch(args="/opening --open open", faketime="2004-07-01 08:00:00", frozen=True)
    t.boxes(run)
    t.nothing_opened(run)


@case('"-open", a quoted "/open" and "-Open" with the clock gone backwards: opened without '
      "a question or warning", tags=("workbook",))
def open_switch_forms(t):
    # («/opening», «--open» and a bare «open»: open_switch above.)
    t.put(TEMPLATE1, (SETTINGS, settings_opened_at("2004/07/01 7:20:00")))
    run = t.launch(args="-open", faketime=JULY_1, frozen=True)
    t.boxes(run)
    t.exit_code(run, 0)
    opened_june(t, run, "opened with -open")
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 7:30:00"))

    run = t.launch(args='"/open"', faketime="2004-07-01 08:00:00", frozen=True)
    t.boxes(run)
    t.exit_code(run, 0)
    opened_june(t, run, 'opened with "/open"')
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 8:00:00"))

    # Two days back: no backwards-clock warning either; the logical day is 06-29.
    run = t.launch(args="x -Open", faketime="2004-06-29 10:00:00", frozen=True)
    t.boxes(run)
    t.exit_code(run, 0)
    opened_june(t, run, "opened with -Open")
    t.file_is(t.folder, SETTINGS,
              settings_opened_at("2004/06/29 10:00:00"))
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE1[1])


@case("the month's workbook named by the logical day: 07-01 03:00 and 05:00 give 2004-06, "
      "07-02 05:00 gives 2004-07", tags=("workbook",))
def naming_table(t):
    # Each start has its own folder and settings, opened last mid-June: a new logical day.
    for folder, start, book, last in (
            ("a", "2004-07-01 03:00:00", BOOK_JUNE, "2004/07/01 3:00:00"),
            ("b", "2004-07-01 05:00:00", BOOK_JUNE, "2004/07/01 5:00:00"),
            ("c", "2004-07-02 05:00:00", BOOK_JULY, "2004/07/02 5:00:00")):
        t.set_folder(folder)
        t.put(TEMPLATE1, (SETTINGS, settings_opened_at("2004/06/15 7:00:00")))
        run = t.launch(answers=["yes"], faketime=start, frozen=True)
        t.boxes(run, OPEN_QUESTION)
        t.exit_code(run, 0)
        t.equal(workbooks(t), [book], f"workbooks after the start at {start}")
        t.file_is(t.folder, book, TEMPLATE1[1])
        t.equal(opened(t, run), [([t.win(t.folder / book)], 5)],
                f"opened workbooks after the start at {start}")
        t.file_is(t.folder, SETTINGS, settings_text(last, last))


@case("an existing month's workbook is opened as it is, never copied over", tags=("workbook",))
def existing_workbook_kept(t):
    # A first run that chooses Type-1: the June workbook is there already and stays.
    t.put(TEMPLATE1, TEMPLATE3, FILLED_JUNE)
    run = t.launch(answers=["yes", "yes"], faketime=JULY_1, frozen=True)
    t.boxes(run, FIRST_RUN_QUESTION, OPEN_QUESTION)
    t.exit_code(run, 0)
    t.file_is(t.folder, *FILLED_JUNE)
    t.file_is(t.folder, *TEMPLATE1)
    t.file_is(t.folder, *TEMPLATE3)
    opened_june(t, run)
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 7:30:00"))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0], BOOK_JUNE, SETTINGS])


@case("YesNo=0 opens without a question, in the show command of WindowSize",
      tags=("workbook",))
def window_sizes(t):
    t.put(TEMPLATE1)
    day = 2
    for window, show in ((3, 3), (0, 0), (9, 9), (1, 0), (5, 5)):
        t.put((SETTINGS, settings_opened_at("2004/06/01 7:00:00",
                                       window=window, yes_no=0)))
        run = t.launch(faketime=f"2004-07-{day:02d} 07:30:00", frozen=True)
        t.boxes(run)
        t.equal(opened(t, run), [([t.win(t.folder / BOOK_JULY)], show)],
                f"opened workbooks with WindowSize={window}")
        day += 1


@case("clock gone backwards: the warning; No opens nothing, Yes then asks to open",
      tags=("workbook",))
def backwards_clock(t):
    before = settings_opened_at("2004/07/02 8:00:00")
    t.put(TEMPLATE1, (SETTINGS, before))
    warning = backwards_warning("2004/07/02 08:00:00", "2004/06/29 10:00:00")
    run = t.launch(answers=["no"], faketime="2004-06-29 10:00:00", frozen=True)
    t.boxes(run, warning)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS, settings_text("2004/07/02 8:00:00", "2004/06/29 10:00:00"))
    run = t.launch(answers=["yes", "yes"], faketime="2004-06-29 10:00:00", frozen=True)
    t.boxes(run, warning, OPEN_QUESTION)
    opened_june(t, run)


@case("whole first run in a folder ending in 表: workbook, opening and settings there",
      tags=("workbook",))
def whole_run_in_hyo_folder(t):
    t.set_folder("Sleep 時刻表")
    t.put(TEMPLATE1, TEMPLATE3)
    run = t.launch(answers=["no", "yes"], faketime=JULY_1, frozen=True)
    t.boxes(run, FIRST_RUN_QUESTION, OPEN_QUESTION)
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE3[1])
    opened_june(t, run)
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 7:30:00",
                                                type1=0))


@case("an unwritable settings file: the write-back message, exit 0, the file unchanged",
      tags=("workbook",))
def settings_unwritable(t):
    before = settings_opened_at("2004/07/01 7:00:00")
    t.put(TEMPLATE1, (SETTINGS, before))
    t.make_immutable(t.folder / SETTINGS)
    run = t.launch(answers=["ok"], faketime=JULY_1, frozen=True)
    t.boxes(run, SAVE_FAILED)
    t.exit_code(run, 0)
    t.file_is(t.folder, SETTINGS, before)
