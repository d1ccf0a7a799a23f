"""Boxes on a system whose language for non-Unicode programs is not Japanese, and a program
folder whose name the system's code page cannot spell.

Boxes are drawn in Unicode and read back as UTF-16 from the window, so their texts must be
the Japanese texts exactly on an English or German system too, with the file names of that
system (its code page 1252 has «ü») shown right. A folder named in Korean on a Japanese
system is reached through its short name.
"""

from tests.e2e.cases_settings import FAILURE_TEXT
from tests.e2e.cases_workbook import BOOK_JUNE, JULY_1, opened
from tests.e2e.e2ecase import (FAILURE_CAPTION, FIRST_RUN_QUESTION, OPEN_QUESTION, PROGRAM, SETTINGS,
                     TEMPLATE1, TEMPLATE3, case, open_failed)


def readable_boxes(t, locale):
    t.set_folder("Müller")
    t.put(TEMPLATE1, TEMPLATE3)
    # A first run: the question, then the opening, which fails: nothing opens .xls files.
    run = t.launch(answers=["yes", "yes", "ok"], faketime=JULY_1, frozen=True,
                   associate=False, locale=locale)
    t.boxes(run, FIRST_RUN_QUESTION, OPEN_QUESTION,
            open_failed(t.win(t.folder / BOOK_JUNE), 31))
    t.exit_code(run, 0)
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE1[1])
    # The failure report: the settings file held open for writing by another program.
    run = t.launch(answers=["ok"], faketime=JULY_1, frozen=True,
                   hold_write=t.folder / SETTINGS, locale=locale)
    t.equal(len(run.boxes), 1, "number of boxes")
    t.box_matching(run, 0, FAILURE_CAPTION, FAILURE_TEXT, "hand", ("ok",))
    t.exit_code(run, 1)


for _locale, _language in (("en_US.UTF-8", "an English"), ("de_DE.UTF-8", "a German")):
    def _case(t, locale=_locale):
        readable_boxes(t, locale)
    _case.__name__ = f"readable_boxes_{_locale[:2]}"
    case(f"on {_language} system the boxes show the Japanese texts and a folder «Müller» "
         "right (first-run question, open question, failed opening, failure report)",
         tags=("locale", "boxes"))(_case)


@case("a program folder named in Korean on a Japanese system: the first-run question comes, "
      "the month's workbook is made beside the program and opened", tags=("first-run",))
def folder_outside_the_code_page(t):
    t.set_folder("수면")
    t.put(TEMPLATE1, TEMPLATE3)
    run = t.launch(answers=["yes", "yes"], faketime=JULY_1, frozen=True)
    t.boxes(run, FIRST_RUN_QUESTION, OPEN_QUESTION)
    t.exit_code(run, 0)
    t.file_is(t.folder, BOOK_JUNE, TEMPLATE1[1])
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0], BOOK_JUNE, SETTINGS])
    # The workbook is opened by the folder's short name; the workbook's own name stays long.
    books = opened(t, run)
    t.equal(len(books), 1, "workbooks opened")
    if books:
        path = books[0][0][0]
        t.check(path.endswith("\\" + BOOK_JUNE) and "수면" not in path and "?" not in path,
                f"opened {path!r}: the short form of the folder and the long name of the book")
