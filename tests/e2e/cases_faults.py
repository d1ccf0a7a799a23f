"""The failure report with real boxes: every case of the fault program (tests/faults), each
ending through the program's handler of last resort, its box answered by the driver. The
expected boxes and exit codes are those of tests/faults/run_faults.py, which checks the
same cases with the boxes printed instead of shown."""

import re

from tests.e2e.e2ecase import case
from tests.faults import run_faults

FAULTS = "aqfaults.exe"
ICONS = {8208: "hand", 0: "none"}  # MB_ICONHAND | MB_TASKMODAL, or a plain box


@case("the fault program's every failure and fault: the report box and the exit code",
      tags=("faults",))
def fault_reports(t):
    built = t.runner.helpers.parent / "tests" / "faults" / FAULTS
    if not t.check(built.is_file(), f"the fault program is missing: {built}"):
        return
    program = t.folder / FAULTS
    program.write_bytes(built.read_bytes())
    emulated = t.session.wine32 is not None
    for name, code, caption, line1, line2 in run_faults.cases(True, FAULTS, emulated):
        run = t.launch(program=program, cmdline=f'"{t.win(program)}" {name}',
                       answers=[] if caption is None else ["ok"])
        t.equal(run.exit_code, code, f"{name}: exit code")
        if caption is None:
            t.equal(run.boxes, [], f"{name}: boxes")
            continue
        if not t.equal(len(run.boxes), 1, f"{name}: number of boxes"):
            continue
        box = run.boxes[0]
        icon = ICONS[8208 if caption != "Error" else 0]
        t.equal((box.caption, box.icon, box.buttons), (caption, icon, ("ok",)),
                f"{name}: caption, icon and buttons")
        lines = box.text.replace("\r\n", "\n").split("\n")
        pattern = line1 if line2 is None else line1 + "\n" + line2
        t.check(re.fullmatch(pattern, "\n".join(lines)) is not None,
                f"{name}: text {box.text!r} does not match {pattern!r}")
