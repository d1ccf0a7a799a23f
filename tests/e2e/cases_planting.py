"""DLLs planted in the program's folder under the names of Windows' own DLLs are never
loaded into the launcher, whatever it does: the first-run question, the copy and opening of
the month's workbook, the failure report.

Each planted DLL is a copy of aqplant.dll, which notes every process that loads it in
aqplant.log beside itself. Wine is told to prefer such DLLs from the program's folder, as
Windows does for DLLs that are not known to it (WINEDLLOVERRIDES "name=n,b").

A flow is one row of FLOWS; a row runs against whichever program the harness is given.

What Wine cannot show: Wine 8 loads the delay-loaded imports of its own DLLs (through its
LdrResolveDelayLoadedAPI) along the process's original search path, which starts with the
program's folder, whatever the program restricted the search to; Windows keeps to the
restricted search there too. So under Wine uxtheme.dll's delayed msimg32.dll is still
taken from the program's folder; the flows allow that one and note it.
"""

from __future__ import annotations

from dataclasses import dataclass, field

from tests.harness.wine import WINE_ENV
from tests.e2e.e2ecase import (CANCEL_CLOSING, FAILURE_CAPTION, FIRST_RUN_QUESTION, OPEN_QUESTION, PROGRAM,
                     SETTINGS, TEMPLATE1, TEMPLATE3, case)

PLANTED = ("version", "uxtheme", "cryptbase", "dwmapi", "profapi", "userenv", "propsys",
           "sspicli", "wtsapi32", "msimg32")
PLANT_ENV = {"WINEDLLOVERRIDES": WINE_ENV["WINEDLLOVERRIDES"] + ";" + ",".join(PLANTED) + "=n,b"}
PLANT_LOG = "aqplant.log"
WINE_DELAY_LOADED = {"msimg32.dll"}
SETTINGS_TEXT = ("[Execute]\r\nLast_XLS=2004/06/30 7:20:00\r\nLastQuillmer=2004/06/30 7:20:00\r\n"
                 "\r\n[Launch]\r\nType1=1\r\n").encode("cp932")


@dataclass(frozen=True)
class Flow:
    name: str
    files: tuple = ()
    answers: tuple[str, ...] = ()
    args: str = ""
    hold_settings: bool = False  # another program holds the settings file open for writing
    boxes: tuple = ()  # the boxes the run shows: Box, or a caption alone
    opens: int = 0  # workbooks opened
    exit_code: int = 0
    tags: tuple[str, ...] = field(default=())


FLOWS = [
    Flow("first-run question", files=(TEMPLATE1, TEMPLATE3), answers=("cancel", "ok"),
         boxes=(FIRST_RUN_QUESTION, CANCEL_CLOSING)),
    Flow("copy and open", files=(TEMPLATE1,), answers=("yes",), boxes=(OPEN_QUESTION,), opens=1),
    Flow("failure report", files=(TEMPLATE1, (SETTINGS, SETTINGS_TEXT)), answers=("ok",),
         hold_settings=True, boxes=(FAILURE_CAPTION,), exit_code=1),
]


def plant(t) -> None:
    for name in PLANTED:
        t.copy_helper("aqplant.dll").rename(t.folder / f"{name}.dll")


def loads(t) -> list[tuple[str, str]]:
    """(DLL, program) for every load of a planted DLL, as aqplant.log tells them."""
    log = t.folder / PLANT_LOG
    if not log.exists():
        return []
    return [tuple(line.split(" ", 1)) for line in log.read_text(encoding="utf-8").splitlines()
            if " " in line]


@case("the planted DLLs are loaded into a program that does not restrict its DLL search "
      "(the check can see a planted DLL)", tags=("planting",))
def planting_seen(t):
    plant(t)
    probe = t.copy_helper("aqprobe.exe")
    run = t.launch(program=probe, cmdline=f'"{t.win(probe)}" boxes {t.win(t.records / "b")} 0',
                   answers=["cancel", "ok", "ok", "no", "ok"], env=PLANT_ENV)
    t.exit_code(run, 0)
    seen = sorted({dll for dll, program in loads(t) if program == probe.name})
    t.check(bool(seen), "no planted DLL was loaded into aqprobe.exe")
    t.notes.append(f"loaded into aqprobe.exe: {', '.join(seen) or '(none)'}")


def run_flow(t, flow: Flow) -> None:
    t.set_folder(flow.name.replace(" ", "-"))
    plant(t)
    t.put(*flow.files)
    run = t.launch(answers=list(flow.answers), args=flow.args, env=PLANT_ENV,
                   hold_write=t.folder / SETTINGS if flow.hold_settings else None)
    shown = run.boxes
    t.check(len(shown) == len(flow.boxes) and all(
        s.caption == b if isinstance(b, str) else s.matches(b) for s, b in zip(shown, flow.boxes)),
        f"{flow.name}: boxes shown: {[s.describe() for s in shown]}")
    t.equal(len(run.opened), flow.opens, f"{flow.name}: workbooks opened")
    t.exit_code(run, flow.exit_code)
    found = loads(t)
    into_launcher = sorted({dll for dll, program in found if program.lower() == PROGRAM.lower()})
    t.equal([dll for dll in into_launcher if dll not in WINE_DELAY_LOADED], [],
            f"{flow.name}: planted DLLs loaded into the launcher")
    wine_only = [dll for dll in into_launcher if dll in WINE_DELAY_LOADED]
    if wine_only:
        t.notes.append(f"{flow.name}: loaded by Wine's own delay-loading: {', '.join(wine_only)}")
    elsewhere = sorted({f"{dll} ({program})" for dll, program in found
                        if program.lower() != PROGRAM.lower()})
    if elsewhere:
        t.notes.append(f"{flow.name}: loaded into other programs: {', '.join(elsewhere)}")


@case("DLLs planted in the program's folder are never loaded into the launcher: " +
      ", ".join(flow.name for flow in FLOWS), tags=("planting",))
def planting_flows(t):
    for flow in FLOWS:
        run_flow(t, flow)
