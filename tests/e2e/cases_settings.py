"""The settings file over whole runs: a typical day, the file a first run writes on an
English system, the upgrade of a file of the earlier layout, a current directory other
than the program's folder, a file that is a symbolic link, a file that another program holds
open, and a read-only file.
(The file of a first run on the Japanese system: cases_workbook.first_run_opens_type1.)

The clock stands still at the given local time (faketime), so every time in the file is
exact. The Japanese system writes dates as yyyy/MM/dd and times as H:mm:ss; the English
one is derived below from its regional settings.
"""

import re
from datetime import datetime
from pathlib import Path

from tests.harness.pefacts import Program

from tests.e2e.cases_workbook import (BOOK_JUNE, FILLED_JUNE, JULY_1, opened, opened_june,
                                      settings_opened_at, settings_text)
from tests.e2e.e2ecase import (CANCEL_CLOSING, ENGLISH, ENGLISH_SYSTEM, FAILURE_CAPTION,
                     FIRST_RUN_QUESTION, OPEN_QUESTION, PROGRAM, SAVE_FAILED, SETTINGS,
                     TEMPLATE1, TEMPLATE3, UPGRADE_FAILED, case)


def crlf(*lines: str) -> bytes:
    return "".join(line + "\r\n" for line in lines).encode("cp932")


# --- a typical day ----------------------------------------------------------------------


@case("a typical day: yesterday's opening, the question at 07:30, Yes opens; at 12:00 "
      "nothing but LastQuillmer moves", tags=("settings",))
def typical_day(t):
    t.put(TEMPLATE1, FILLED_JUNE,
          (SETTINGS, settings_opened_at("2004/06/30 7:20:00")))
    run = t.launch(answers=["yes"], faketime=JULY_1, frozen=True)
    t.boxes(run, OPEN_QUESTION)
    t.exit_code(run, 0)
    opened_june(t, run, "opened workbooks (arguments, show command)")
    t.file_is(t.folder, SETTINGS, settings_opened_at("2004/07/01 7:30:00"))
    t.file_is(t.folder, *FILLED_JUNE)

    run = t.launch(faketime="2004-07-01 12:00:00", frozen=True)
    t.boxes(run)
    t.exit_code(run, 0)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS, settings_text("2004/07/01 7:30:00", "2004/07/01 12:00:00"))
    t.file_is(t.folder, *FILLED_JUNE)
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], BOOK_JUNE, SETTINGS])


# --- the file on an English system ------------------------------------------------------


def time_layout(regional: dict[str, str]) -> str:
    """The long time layout, built from the leading-zero, 24-hour and marker-position
    items (the platform's own time format is not used)."""
    hour = "hh" if regional["itlzero"] != "0" else "h"
    prefix = suffix = ""
    if regional["itime"] == "0":
        if regional["itimemarkposn"] != "0":
            prefix = "AMPM "
        else:
            suffix = " AMPM"
    return prefix + hour + ":mm:ss" + suffix


def render(layout: str, when: datetime, regional: dict[str, str]) -> str:
    """Expands a regional date or time layout: runs of y, M, d, h, m (the minute after h),
    s; AMPM; / and : as the separators; any other character as it is."""
    out, i, previous = "", 0, ""
    twelve_hour = "AMPM" in layout.upper()
    while i < len(layout):
        if layout[i:i + 4].upper() == "AMPM":
            out += regional["s1159"] if when.hour < 12 else regional["s2359"]
            i += 4
            continue
        char = layout[i]
        count = len(re.match(re.escape(char) + "+", layout[i:]).group())
        letter = char.upper()
        if letter == "M" and previous == "H":
            letter = "N"
        if letter.isalpha():
            previous = letter
        width = 2 if count >= 2 else 1
        if letter == "Y":
            out += f"{when.year % 100:02d}" if count <= 2 else f"{when.year:04d}"
        elif letter == "M" and count <= 2:
            out += f"{when.month:0{width}d}"
        elif letter == "D" and count <= 2:
            out += f"{when.day:0{width}d}"
        elif letter == "H":
            hour = when.hour
            if twelve_hour:
                hour = 12 if hour == 0 else hour - 12 if hour > 12 else hour
            out += f"{hour:0{width}d}"
        elif letter == "N":
            out += f"{when.minute:0{width}d}"
        elif letter == "S":
            out += f"{when.second:0{width}d}"
        elif char == "/":
            out += regional["sdate"] * count
        elif char == ":":
            out += regional["stime"] * count
        elif letter.isalpha():
            raise ValueError(f"no rule here for {char * count!r} in {layout!r}")
        else:
            out += char * count
        i += count
    return out


def moment_text(when: datetime, regional: dict[str, str]) -> str:
    """A date-time as the settings file holds it: the short date, then the long time unless
    it is midnight."""
    text = render(regional["sshortdate"], when, regional)
    if (when.hour, when.minute, when.second) != (0, 0, 0):
        text += " " + render(time_layout(regional), when, regional)
    return text


def first_run_opens_june(t, folder: str, **launch) -> None:
    """The Type-1 template alone in `folder`, started on July 1st: asked, Yes opens June's
    workbook, exit 0."""
    t.set_folder(folder)
    t.put(TEMPLATE1)
    run = t.launch(answers=["yes"], faketime=JULY_1, frozen=True, **launch)
    t.boxes(run, OPEN_QUESTION)
    t.exit_code(run, 0)
    opened_june(t, run)


@case("a first run on an English system writes M/d/yyyy h:mm:ss AM/PM; the next start that "
      "day reads it back", tags=("settings", "locale"))
def english_system_first_run(t):
    regional = t.regional_settings(ENGLISH)
    t.equal(regional, ENGLISH_SYSTEM, "the English system's regional settings")
    # The boxes are drawn in Unicode: the Japanese texts on an English system too.
    first_run_opens_june(t, "english", locale=ENGLISH)
    start = datetime(2004, 7, 1, 7, 30)
    rollover = datetime(1900, 1, 1, 4, 0)
    written = moment_text(start, regional)  # 7/1/2004 7:30:00 AM
    t.file_is(t.folder, SETTINGS,
              settings_opened_at(written,
                                 time_to_next=render(time_layout(regional), rollover, regional)))

    # 13:05:09 the same day: Last_XLS reads back as 07:30, so no question and no opening.
    later = datetime(2004, 7, 1, 13, 5, 9)
    run = t.launch(faketime="2004-07-01 13:05:09", frozen=True, locale=ENGLISH)
    t.boxes(run)
    t.exit_code(run, 0)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS,
              settings_text(written, moment_text(later, regional),  # 7/1/2004 1:05:09 PM
                            time_to_next=render(time_layout(regional), rollover, regional)))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], BOOK_JUNE, SETTINGS])


# --- the earlier layout -----------------------------------------------------------------


# A settings file as found, the question asked (nothing of the old sections is carried over:
# YesNo on, show command 5), and the file as written back: one row each.
EARLIER_LAYOUT_CASES = [
    ("legacy_upgrade",
     "a file of the earlier layout is upgraded: [File], [Window], [YesNo] and the comments "
     "go, the current sections come with their defaults",
     crlf("; Auto Quillmer", "[File]", "Path=C:\\Dozeboard\\Dozeboard.xls", "", "[Window]",
          "; how the workbook opens", "WindowSize=3", "[YesNo]", "YesNo=0"),
     b""),
    ("legacy_empty_window_header",
     "an empty [Window] header is not the earlier layout: [YesNo] and [File] stay",
     crlf("; Auto Quillmer", "[Window]", "; nothing here", "", "[YesNo]", "YesNo=0", "[File]",
          "Path=C:\\Dozeboard\\Dozeboard.xls"),
     crlf("[Window]", "", "[YesNo]", "YesNo=0", "", "[File]",
          "Path=C:\\Dozeboard\\Dozeboard.xls", "")),
]

for name, title, found, kept in EARLIER_LAYOUT_CASES:
    def earlier_layout_case(t, found=found, kept=kept):
        t.put(TEMPLATE1, (SETTINGS, found))
        run = t.launch(answers=["yes"], faketime=JULY_1, frozen=True)
        t.boxes(run, OPEN_QUESTION)
        t.exit_code(run, 0)
        opened_june(t, run)
        t.file_is(t.folder, SETTINGS,
                  kept + settings_opened_at("2004/07/01 7:30:00"))
        t.files(t.folder, [PROGRAM, TEMPLATE1[0], BOOK_JUNE, SETTINGS])
    earlier_layout_case.__name__ = name
    case(title, tags=("settings",))(earlier_layout_case)


@case("an upgrade stays when the first run is then cancelled: the file as the upgrade wrote "
      "it, LastQuillmer the zero date", tags=("settings",))
def legacy_upgrade_then_cancel(t):
    # The earlier layout in the current directory, none in the program's folder: the file is
    # upgraded first, then the first-run question comes and is cancelled.
    elsewhere = t.base / "elsewhere"
    t.set_folder("prog")
    t.put(TEMPLATE1, TEMPLATE3)
    t.put((SETTINGS, crlf("; Auto Quillmer", "[Window]", "WindowSize=3", "[YesNo]", "YesNo=0")),
          into=elsewhere)
    run = t.launch(answers=["cancel", "ok"], cwd=elsewhere, faketime=JULY_1, frozen=True)
    t.boxes(run, FIRST_RUN_QUESTION, CANCEL_CLOSING)
    t.exit_code(run, 0)
    t.nothing_opened(run)
    # Last_XLS at its default 1900-01-01 00:00; the start time not taken yet (0: 1899-12-30).
    t.file_is(elsewhere, SETTINGS, settings_text("1900/01/01", "1899/12/30"))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0]])


def ended_untouched(t, run, code: int, before: bytes) -> None:
    """The run ended with `code`, opened nothing and left the settings file as it was."""
    t.exit_code(run, code)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS, before)
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], SETTINGS])


@case("a read-only file of the earlier layout: the upgrade message, then the write-back "
      "message at the end, exit 0, the file unchanged", tags=("settings",))
def legacy_read_only(t):
    before = crlf("[Execute]", "Last_XLS=2004/07/01 7:00:00", "[Window]", "WindowSize=3",
                  "[YesNo]", "YesNo=0")
    t.put(TEMPLATE1, (SETTINGS, before))
    t.make_immutable(t.folder / SETTINGS)
    # 07:30 is the logical day of the last opening: nothing is asked or opened in between.
    run = t.launch(answers=["ok", "ok"], faketime=JULY_1, frozen=True)
    t.boxes(run, UPGRADE_FAILED, SAVE_FAILED)
    ended_untouched(t, run, 0, before)


# --- where the file is ------------------------------------------------------------------


@case("started from another current directory: the settings are read and written there, the "
      "first-run test and the workbook stay in the program's folder", tags=("settings",))
def settings_in_current_directory(t):
    elsewhere = t.base / "elsewhere"
    elsewhere.mkdir()
    first_run_opens_june(t, "prog", cwd=elsewhere)
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], BOOK_JUNE])
    t.files(elsewhere, [SETTINGS])
    t.file_is(elsewhere, SETTINGS,
              settings_opened_at("2004/07/01 7:30:00"))

    # Still no settings in the program's folder, so this is a first run again (the Type-1
    # template alone: no question), but the settings read are those of the current
    # directory: the same logical day, nothing opened.
    run = t.launch(cwd=elsewhere, faketime="2004-07-01 12:00:00", frozen=True)
    t.boxes(run)
    t.exit_code(run, 0)
    t.nothing_opened(run)
    t.file_is(elsewhere, SETTINGS,
              settings_text("2004/07/01 7:30:00", "2004/07/01 12:00:00"))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], BOOK_JUNE])

    # A settings file in the program's folder (which would open at once, unasked) is
    # neither read nor written.
    in_program_folder = settings_opened_at("2004/06/01 7:00:00", yes_no=0)
    t.put((SETTINGS, in_program_folder))
    run = t.launch(cwd=elsewhere, faketime="2004-07-01 13:00:00", frozen=True)
    t.boxes(run)
    t.exit_code(run, 0)
    t.nothing_opened(run)
    t.file_is(t.folder, SETTINGS, in_program_folder)
    t.file_is(elsewhere, SETTINGS,
              settings_text("2004/07/01 7:30:00", "2004/07/01 13:00:00"))


@case("a settings file that is a symbolic link (made on the Unix side of the drive): the save "
      "goes to the file it leads to, and the link stays", tags=("settings",))
def settings_through_a_link(t):
    synced = t.base / "synced"
    synced.mkdir()
    (synced / SETTINGS).write_bytes(settings_opened_at("2004/06/30 7:20:00"))
    t.set_folder("prog")
    t.put(TEMPLATE1)
    (t.folder / SETTINGS).symlink_to(Path("..") / "synced" / SETTINGS)
    run = t.launch(answers=["yes"], faketime=JULY_1, frozen=True)
    t.boxes(run, OPEN_QUESTION)
    t.exit_code(run, 0)
    t.check((t.folder / SETTINGS).is_symlink(), "the settings file is still a link")
    t.file_is(synced, SETTINGS, settings_opened_at("2004/07/01 7:30:00"))
    t.files(synced, [SETTINGS])
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], BOOK_JUNE, SETTINGS])


# --- a file held open elsewhere ---------------------------------------------------------

FAILURE_TEXT = (r"EFOpenErrorがモジュール AutoQuillmer\.exe の (?P<offset>[0-9A-F]{8}) "
                r"で発生しました。\nファイル AutoQuillmer\.ini は開けません\.")


@case("the settings file held open for writing by another program: the failure report, "
      "exit 1, nothing written", tags=("settings",))
def settings_held_open(t):
    before = settings_opened_at("2004/06/30 7:20:00")
    t.put(TEMPLATE1, (SETTINGS, before))
    run = t.launch(answers=["ok"], faketime=JULY_1, frozen=True,
                   hold_write=t.folder / SETTINGS)
    t.equal(len(run.boxes), 1, "number of boxes")
    t.box_matching(run, 0, FAILURE_CAPTION, FAILURE_TEXT, "hand", ("ok",))
    ended_untouched(t, run, 1, before)


@case("the failure report names the code location: an offset inside AutoQuillmer.exe, not "
      "00000000", tags=("settings",))
def failure_report_code_location(t):
    # The offset is that of the failing code from the start of the module; 0 is the
    # module's header, never code.
    t.put(TEMPLATE1, (SETTINGS, settings_opened_at("2004/06/30 7:20:00")))
    run = t.launch(answers=["ok"], faketime=JULY_1, frozen=True,
                   hold_write=t.folder / SETTINGS)
    t.box_matching(run, 0, FAILURE_CAPTION, FAILURE_TEXT, "hand", ("ok",))
    found = re.fullmatch(FAILURE_TEXT, run.boxes[0].text) if run.boxes else None
    if found:
        offset = int(found["offset"], 16)
        size = Program(t.folder / PROGRAM).image_size
        t.check(0x1000 <= offset < size,
                f"offset {found['offset']} lies outside the program's code "
                f"(its image spans 00001000 to {size:08X})")


