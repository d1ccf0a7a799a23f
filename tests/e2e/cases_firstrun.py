"""First run: the templates present settle the template type, asking when both are.

These cases look at the first-run step only. What the run does afterwards (the open
question, the workbook, the settings file) is answered by the scripted answers ("no" to
the open question, so nothing opens) and checked in cases_workbook.py.
"""

from tests.e2e.e2ecase import (CANCEL_CLOSING, FIRST_RUN_QUESTION, NO_TEMPLATE, PROGRAM, SETTINGS,
                     TEMPLATE1, TEMPLATE3, case)


def workbooks(t, folder=None):
    return [name for name in t.listing(folder) if name.startswith("Dozeboard_")]


def first_run_case(name, title, body):
    """Registers one row of a table of first-run cases as a case of its own name."""
    body.__name__ = name
    case(title, tags=("first-run",))(body)


# No template in the program's folder: the error box, exit 0, nothing created; also where
# the folder's name ends in 表, whose trail byte is a backslash.
for name, title, folder in [
    ("no_template", "no template: error box, exit 0, nothing created", None),
    ("folder_ending_in_hyo_no_template",
     "program in a folder ending in 表 with no template: the error box", "睡眠 時刻表"),
]:
    def no_template_case(t, folder=folder):
        if folder:
            t.set_folder(folder)
        run = t.launch(answers=["ok"])
        t.boxes(run, NO_TEMPLATE)
        t.exit_code(run, 0)
        t.files(t.folder, [PROGRAM])
        t.nothing_opened(run)
    first_run_case(name, title, no_template_case)

# One template only: it settles the type without a question.
for name, template in [("only_type1", TEMPLATE1), ("only_type3", TEMPLATE3)]:
    def one_template_case(t, template=template):
        t.put(template)
        run = t.launch(answers=["no"])
        t.no_box_with_caption(run, FIRST_RUN_QUESTION.caption)
        t.no_box_like(run, NO_TEMPLATE)
        t.exit_code(run, 0)
    kind = "Type-1" if template is TEMPLATE1 else "Type-3"
    first_run_case(name, f"only the {kind} template: no first-run question", one_template_case)

# Both templates, answered Yes or No: the first-run question, then the run goes on.
for name, answer in [("both_yes", "yes"), ("both_no", "no")]:
    def both_answered_case(t, answer=answer):
        t.put(TEMPLATE1, TEMPLATE3)
        run = t.launch(answers=[answer, "no"])
        t.box(run, 0, FIRST_RUN_QUESTION)
        t.no_box_like(run, CANCEL_CLOSING)
        t.exit_code(run, 0)
        t.nothing_opened(run)
    first_run_case(name, f"both templates, {answer.capitalize()}: the first-run question, then the "
                   "run goes on", both_answered_case)


@case("both templates, Cancel: closing box, nothing written; the next start asks again",
      tags=("first-run",))
def both_cancel(t):
    t.put(TEMPLATE1, TEMPLATE3)
    run = t.launch(answers=["cancel", "ok"])
    t.boxes(run, FIRST_RUN_QUESTION, CANCEL_CLOSING)
    t.exit_code(run, 0)
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0]])
    t.file_is(t.folder, TEMPLATE1[0], TEMPLATE1[1])
    t.file_is(t.folder, TEMPLATE3[0], TEMPLATE3[1])
    t.nothing_opened(run)
    again = t.launch(answers=["cancel", "ok"])
    t.boxes(again, FIRST_RUN_QUESTION, CANCEL_CLOSING)
    t.exit_code(again, 0)
    t.no_file(t.folder, SETTINGS)


@case("a settings file in the program's folder: no first-run question", tags=("first-run",))
def settings_present(t):
    t.put(TEMPLATE1, TEMPLATE3, (SETTINGS, b"[Launch]\r\nType1=0\r\n"))
    run = t.launch(answers=["no"])
    t.no_box_with_caption(run, FIRST_RUN_QUESTION.caption)
    t.no_box_like(run, CANCEL_CLOSING)
    t.exit_code(run, 0)
    t.nothing_opened(run)


@case("a settings file and no template: no first-run box at all", tags=("first-run",))
def settings_present_no_template(t):
    t.put((SETTINGS, b"[Launch]\r\nType1=1\r\n"))
    run = t.launch(answers=["ok"])
    t.no_box_like(run, NO_TEMPLATE)
    t.no_box_with_caption(run, FIRST_RUN_QUESTION.caption)
    t.exit_code(run, 0)
    t.equal(workbooks(t), [], "workbooks in the folder")


@case("program in a folder whose name ends in 表 (trail byte 0x5C): templates are found",
      tags=("first-run",))
def folder_ending_in_hyo(t):
    t.set_folder("時刻表")
    t.put(TEMPLATE1, TEMPLATE3)
    run = t.launch(answers=["cancel", "ok"])
    t.boxes(run, FIRST_RUN_QUESTION, CANCEL_CLOSING)
    t.exit_code(run, 0)
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0]])


@case("started from another folder: the first-run test looks in the program's folder",
      tags=("first-run",))
def other_current_directory(t):
    elsewhere = t.base / "elsewhere"
    elsewhere.mkdir()
    t.set_folder("prog")
    # Templates in the current directory do not count; those in the program's folder do.
    t.put(TEMPLATE1, TEMPLATE3, into=elsewhere)
    run = t.launch(answers=["ok"], cwd=elsewhere)
    t.boxes(run, NO_TEMPLATE)
    t.exit_code(run, 0)
    # A settings file in the program's folder skips the first run, whatever the current
    # directory holds.
    t.put((SETTINGS, b"[Launch]\r\nType1=1\r\n"))
    run = t.launch(answers=["ok"], cwd=elsewhere)
    t.no_box_like(run, NO_TEMPLATE)
    t.no_box_with_caption(run, FIRST_RUN_QUESTION.caption)
    t.exit_code(run, 0)
