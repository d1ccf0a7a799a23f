"""How the settings file is saved, where Wine shows it: a folder that refuses new files, a
file (and templates) restored with a date before 1980, leftovers of killed saves, and the
program ended by TerminateProcess at random moments, started several times at once on a new
day, or started again while another start's question waits (aqkillrace).
"""

import os
import re
import shutil

from tests.e2e.cases_workbook import FILLED_JUNE, JULY_1, settings_text
from tests.e2e.e2ecase import (FIRST_RUN_QUESTION, OPEN_QUESTION, PROGRAM, SAVE_FAILED, SETTINGS,
                     TEMPLATE1, TEMPLATE3, case)

# 1975-01-01 00:00 UTC: outside the dates a FAT directory entry can hold.
RESTORED_DATE = 157766400
KILLS = int(os.environ.get("AQ_WINE_KILLS", "100"))
ROUNDS = int(os.environ.get("AQ_WINE_ROUNDS", "5"))
STARTS = int(os.environ.get("AQ_WINE_STARTS", "8"))
# A run's time limit: starts on a loaded machine can take many seconds.
SLOW = 60


@case("a folder that refuses new files: the settings file is written in place; on a first "
      "run the write-back message and no file", tags=("settings", "saves"))
def folder_refuses_new_files(t):
    t.set_folder("existing")
    t.put(TEMPLATE1, FILLED_JUNE,
          (SETTINGS, settings_text("2004/06/30 7:20:00", "2004/06/30 7:20:00")))
    shutil.copyfile(t.runner.exe, t.folder / PROGRAM)
    t.make_immutable(t.folder)
    run = t.launch(answers=["yes"], faketime=JULY_1, frozen=True, timeout=SLOW)
    t.boxes(run, OPEN_QUESTION)
    t.exit_code(run, 0)
    t.file_is(t.folder, SETTINGS, settings_text("2004/07/01 7:30:00", "2004/07/01 7:30:00"))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], FILLED_JUNE[0], SETTINGS])

    first = t.set_folder("first")
    t.put(TEMPLATE1, FILLED_JUNE)
    shutil.copyfile(t.runner.exe, first / PROGRAM)
    t.make_immutable(first)
    run = t.launch(answers=["yes", "ok"], faketime=JULY_1, frozen=True, timeout=SLOW)
    t.boxes(run, OPEN_QUESTION, SAVE_FAILED)
    t.exit_code(run, 0)
    t.files(first, [PROGRAM, TEMPLATE1[0], FILLED_JUNE[0]])


@case("a settings file and templates restored with a 1975 date still count: no first-run "
      "question, Type-3 kept", tags=("settings", "saves"))
def restored_old_dates(t):
    t.put(TEMPLATE1, TEMPLATE3, FILLED_JUNE,
          (SETTINGS, settings_text("2004/07/01 7:00:00", "2004/07/01 7:00:00", type1=0)))
    for name in (SETTINGS, TEMPLATE1[0], TEMPLATE3[0]):
        os.utime(t.folder / name, (RESTORED_DATE, RESTORED_DATE))
    run = t.launch(faketime=JULY_1, frozen=True, timeout=SLOW)
    t.boxes(run)
    t.exit_code(run, 0)
    t.file_is(t.folder, SETTINGS,
              settings_text("2004/07/01 7:00:00", "2004/07/01 7:30:00", type1=0))

    # Templates dated 1975 on a first run: both are found, so the question comes.
    t.set_folder("first")
    t.put(TEMPLATE1, TEMPLATE3)
    for name in (TEMPLATE1[0], TEMPLATE3[0]):
        os.utime(t.folder / name, (RESTORED_DATE, RESTORED_DATE))
    run = t.launch(answers=["cancel", "ok"], faketime=JULY_1, frozen=True, timeout=SLOW)
    t.box(run, 0, FIRST_RUN_QUESTION)
    t.exit_code(run, 0)


@case("120 leftovers of killed saves: the next save succeeds and clears them",
      tags=("settings", "saves"))
def leftovers_cleared(t):
    t.put(TEMPLATE1, FILLED_JUNE,
          (SETTINGS, settings_text("2004/07/01 7:00:00", "2004/07/01 7:00:00")),
          *[(f"{SETTINGS}.~{i}.tmp", b"") for i in range(1, 121)])
    run = t.launch(faketime=JULY_1, frozen=True, timeout=SLOW)
    t.boxes(run)
    t.exit_code(run, 0)
    t.file_is(t.folder, SETTINGS, settings_text("2004/07/01 7:00:00", "2004/07/01 7:30:00"))
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], FILLED_JUNE[0], SETTINGS])


def kill_race(t, mode: str, count: int, *extra: str) -> None:
    t.put(TEMPLATE1, FILLED_JUNE)
    shutil.copyfile(t.runner.exe, t.folder / PROGRAM)
    helper = t.copy_helper("aqkillrace.exe", into=t.records)
    env = {}
    if mode != "kill":
        # A same-day start that associates the workbooks with the opener, whose log counts
        # the openings.
        t.put((SETTINGS, settings_text("2004/07/01 7:00:00", "2004/07/01 7:00:00")))
        t.launch(faketime=JULY_1, frozen=True, timeout=SLOW)
        env["AQ_OPENER_LOG"] = t.win(t.records / "race.opened.log")
    done = t.session.run([t.win(helper), mode, str(count), t.win(t.folder / PROGRAM), *extra],
                         timeout=1800, faketime=JULY_1, frozen=True, env=env)
    output = done.stdout.decode("utf-8", errors="replace")
    for line in output.splitlines():
        if line.startswith(("kills:", "race:", "question:", "note:")):
            t.notes.append(line)  # the counts, printed with the case
    bad = [line for line in output.splitlines() if line.startswith("bad:")]
    t.check(re.search(r"^aqkillrace: 0 bad", output, re.M) is not None,
            f"aqkillrace ({done.returncode}): " + ("; ".join(bad[:10]) or output[-800:]))


@case(f"the program ended by TerminateProcess at random moments, {KILLS} times, with and "
      "without an old file: the old file or a whole new one, never empty or partial",
      tags=("saves", "slow"))
def killed_saves(t):
    kill_race(t, "kill", KILLS, str(int.from_bytes(os.urandom(2), "little")))


@case(f"{ROUNDS} rounds of {STARTS} starts at once on a new day: one question, one opening, "
      "the file whole and the day recorded", tags=("saves", "slow"))
def starts_at_once(t):
    kill_race(t, "race", ROUNDS, str(STARTS))


@case("a start during another's question (also by a subst drive) brings it forward and ends with "
      "no box or opening; one with /open opens at once, and Yes or No after opens nothing more",
      tags=("saves", "slow"))
def start_during_question(t):
    kill_race(t, "question", 1)
    kill_race(t, "question", 1, "/open")
    kill_race(t, "question", 1, "/open", "no")
    drive = t.session.prefix / "dosdevices" / "q:"  # a subst drive of the folder
    drive.symlink_to(t.folder)
    kill_race(t, "question", 1, "-", "yes", "Q:")
    drive.unlink()
