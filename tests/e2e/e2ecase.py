"""The end-to-end case kit: what a case works with (TCase), the boxes the program shows,
and the runner of one case. The cases live in cases_*.py; run_e2e.py runs them."""

from __future__ import annotations

import json
import re
import shutil
import subprocess
import time
import traceback
from dataclasses import dataclass
from pathlib import Path, PureWindowsPath
from typing import Callable

from tests.harness.checklist import Checks, program_texts
from tests.harness.wine import WineSession

PROGRAM = "AutoQuillmer.exe"
SETTINGS = "AutoQuillmer.ini"

# --- What the program shows -------------------------------------------------------------


@dataclass(frozen=True)
class Box:
    caption: str
    text: str
    icon: str  # "hand", "question", "exclamation", "asterisk" or "none"
    buttons: tuple[str, ...]  # left to right: "ok", "yes", "no", "cancel"

    def describe(self) -> str:
        return (f"[{self.caption}] {self.text!r} icon={self.icon} "
                f"buttons={','.join(self.buttons)}")


# The program's texts, from their table (src/platform/Texts.def).
TEXTS = {name: text for name, _, text in program_texts()}

NO_TEMPLATE = Box("Auto Quillmer", TEXTS["NoTemplate"], "hand", ("ok",))
FIRST_RUN_QUESTION = Box(TEXTS["SetupCaption"], TEXTS["ChooseType"], "question",
                         ("yes", "no", "cancel"))
CANCEL_CLOSING = Box("Auto Quillmer", TEXTS["SetupCancelled"], "none", ("ok",))
OPEN_QUESTION = Box("Auto Quillmer", TEXTS["OpenQuestion"], "question", ("yes", "no"))
PREPARE_FAILED = Box("Auto Quillmer", TEXTS["PrepareFailed"], "hand", ("ok",))
SAVE_FAILED = Box("Auto Quillmer", TEXTS["WriteFailed"], "hand", ("ok",))
UPGRADE_FAILED = Box("Auto Quillmer", TEXTS["UpgradeFailed"], "hand", ("ok",))
FAILURE_CAPTION = TEXTS["ReportCaption"]


def open_failed(target: str, code: int) -> Box:
    return Box("Auto Quillmer",
               f"{TEXTS['OpenFailed']}{target}\r\n{TEXTS['ErrorCode']}{code}", "hand", ("ok",))


# Regional settings as aqprobe's locale mode reports them (the texts decoded): Wine 8's
# Japanese system with the session's yyyy/MM/dd, and its English (United States) system.
JAPANESE_SYSTEM = {"lcid": "1041", "acp": "932", "sshortdate": "yyyy/MM/dd",
                   "stimeformat": "H:mm:ss", "sdate": "/", "stime": ":", "s1159": "午前",
                   "s2359": "午後", "itime": "1", "itlzero": "0", "itimemarkposn": "0"}
ENGLISH_SYSTEM = {"lcid": "1033", "acp": "1252", "sshortdate": "M/d/yyyy",
                  "stimeformat": "h:mm:ss tt", "sdate": "/", "stime": ":", "s1159": "AM",
                  "s2359": "PM", "itime": "0", "itlzero": "0", "itimemarkposn": "0"}
ENGLISH = "en_US.UTF-8"

# Template workbooks: distinct bytes, so a copy shows which one it came from.
TEMPLATE1 = ("Dozeboardt1.xls", b"\xd0\xcf\x11\xe0 Type-1 chart template \x00\x01\x02" * 8)
TEMPLATE3 = ("Dozeboardt3.xls", b"\xd0\xcf\x11\xe0 Type-3 chart template \x00\x03\x04" * 8)


@dataclass
class ShownBox:
    caption: str
    text: str
    icon: str
    buttons: tuple[str, ...]
    answer: str
    pressed: str
    unexpected: bool
    note: str
    at_ms: int

    def matches(self, box: Box) -> bool:
        return (self.caption, self.text, self.icon, self.buttons) == (
            box.caption, box.text, box.icon, box.buttons)

    def describe(self) -> str:
        extra = " (no answer was scripted)" if self.unexpected and not self.answer else ""
        return (f"[{self.caption}] {self.text!r} icon={self.icon} "
                f"buttons={','.join(self.buttons)} pressed={self.pressed}{extra}"
                f"{' ' + self.note if self.note else ''}")


@dataclass
class Run:
    """One run of a program through aqdriver."""
    folder: Path  # Unix path of the program's folder
    win_folder: str  # its Windows name
    exit_code: int | None
    timed_out: bool
    boxes: list[ShownBox]
    opened: list[dict]  # lines of the opener's log
    left_running: list[str]
    raw: dict
    output: str  # what wine printed
    seconds: float

    @property
    def unexpected(self) -> list[ShownBox]:
        return [box for box in self.boxes if box.unexpected]

    def file(self, name: str) -> bytes | None:
        path = self.folder / name
        return path.read_bytes() if path.is_file() else None


# --- Cases --------------------------------------------------------------------------------


class CaseFailure(Exception):
    pass


@dataclass
class CaseInfo:
    title: str
    function: Callable
    tags: tuple[str, ...]
    name: str


CASES: list[CaseInfo] = []


def case(title: str, tags: tuple[str, ...] = ()):
    def register(function: Callable) -> Callable:
        CASES.append(CaseInfo(title, function, tuple(tags), function.__name__))
        return function
    return register


class TCase:
    """What a case works with: its own folder in the prefix, runs, and checks."""

    def __init__(self, runner: "Runner", number: int, info: CaseInfo):
        self.runner = runner
        self.session = runner.session
        self.info = info
        self.base = self.session.drive_c / "aq" / f"case-{number:02d}"
        # The driver's job and result files and the opener's log stay out of the case's
        # folders, so that listings show only what the program made.
        self.records = self.session.drive_c / "aq" / "records" / f"case-{number:02d}"
        self.folder = self.base  # the program's folder; see set_folder
        self.failures: list[str] = []
        self.notes: list[str] = []
        self.runs: list[Run] = []
        self.immutable_paths: list[Path] = []
        for folder in (self.base, self.records):
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir(parents=True)

    # --- layout ---

    def set_folder(self, relative: str) -> Path:
        """Puts the program's folder below the case's folder, e.g. "時刻表" or "A B\\表"."""
        self.folder = self.base.joinpath(*PureWindowsPath(relative).parts)
        self.folder.mkdir(parents=True, exist_ok=True)
        return self.folder

    def put(self, *files: tuple[str, bytes], into: Path | None = None) -> None:
        """Writes (name, bytes) files into the program's folder (or another one)."""
        for name, content in files:
            path = (into or self.folder) / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)

    def make_immutable(self, path: Path) -> None:
        """Makes a file unwritable even for root (chattr +i) until the case ends."""
        subprocess.run(["chattr", "+i", str(path)], check=True)
        self.immutable_paths.append(path)

    def cleanup(self) -> None:
        for path in self.immutable_paths:
            subprocess.run(["chattr", "-i", str(path)], check=False)
        self.immutable_paths.clear()

    def copy_helper(self, name: str, into: Path | None = None) -> Path:
        """Copies one of the helper programs (e.g. "aqprobe.exe") into the program's folder."""
        target = (into or self.folder) / name
        shutil.copyfile(self.runner.helpers / name, target)
        return target

    def regional_settings(self, locale: str | None = None) -> dict[str, str]:
        """The regional settings a program sees in the session's or another locale (through
        aqprobe's locale mode), texts decoded; the keys of JAPANESE_SYSTEM."""
        probe = self.records / "aqprobe.exe"
        if not probe.exists():
            self.copy_helper("aqprobe.exe", into=self.records)
        out = self.records / f"probe-locale-{len(self.runs) + 1}.txt"
        run = self.launch(program=probe, cmdline=f'"{self.win(probe)}" locale {self.win(out)}',
                          locale=locale)
        self.exit_code(run, 0)
        if not self.check(out.exists(), "the probe wrote nothing"):
            return {}
        lines = dict(line.split("=", 1) for line in out.read_text().splitlines())
        code_page = "cp" + lines.get("acp", "932")
        return {k: (v if k in ("lcid", "acp") else bytes.fromhex(v).decode(code_page))
                for k, v in lines.items()}

    def win(self, path: Path) -> str:
        return self.session.windows_path(path)

    def listing(self, folder: Path | None = None) -> list[str]:
        folder = folder or self.folder
        return sorted(p.name for p in folder.iterdir())

    # --- running ---

    def launch(self, answers: list[str] = (), args: str = "", cwd: Path | None = None,
               faketime: str | None = None, frozen: bool = False, associate: bool = True,
               timeout: float = 20, program: Path | None = None, cmdline: str | None = None,
               locale: str | None = None, hold_write: Path | None = None,
               env: dict[str, str] | None = None, shell_open: bool = False,
               shot: Path | None = None, wait_for: Path | None = None) -> Run:
        """Runs the program (by default AutoQuillmer.exe, copied into the program's folder)
        through aqdriver. The raw command line is the quoted program path, then `args`,
        unless `cmdline` gives it whole. The current directory is the program's folder
        unless `cwd` says otherwise. `faketime` ("YYYY-MM-DD hh:mm:ss") sets the clock the
        program sees: running from there, or standing still with `frozen`. `associate`:
        ".xls" opens with aqopener.exe (else nothing is associated with it). `locale`: an
        LC_ALL value for another system than the Japanese one (e.g. "en_US.UTF-8"; the
        driver, the program and what it opens all run in it). `hold_write`: an existing
        file that another program holds open for writing while this one runs. `env`: more
        environment for the driver and the programs it starts (e.g. WINEDLLOVERRIDES).
        `shell_open`: `program` (a shortcut) is opened through the shell from `cwd`, as the
        desktop opens it; the command line is then not used, and `wait_for` names the program
        that the shell starts. `shot`: the first box is saved there (.bmp)."""
        timeout *= self.session.time_factor
        if program is None:
            program = self.folder / PROGRAM
            if not program.exists():
                if not self.runner.exe.is_file():
                    raise CaseFailure(f"the program is missing: {self.runner.exe}")
                shutil.copyfile(self.runner.exe, program)
        win_program = self.win(program)
        if cmdline is None:
            cmdline = f'"{win_program}"' + (f" {args}" if args else "")
        index = len(self.runs) + 1
        job_path = self.records / f"run-{index}.job"
        result_path = self.records / f"run-{index}.result.json"
        opener_log = self.records / f"run-{index}.opened.log"
        result_path.unlink(missing_ok=True)
        job = {
            "program": win_program,
            "cmdline": cmdline,
            "cwd": self.win(cwd or program.parent),
            "answers": ",".join(answers),
            "timeout_ms": str(int(timeout * 1000)),
            "result": self.win(result_path),
            "assoc_xls": (f'"{self.win(self.runner.helpers_in_prefix / "aqopener.exe")}" "%1"'
                          if associate else ""),
            "hold_write": self.win(hold_write) if hold_write else "",
            "shell_open": "1" if shell_open else "",
            "shot": self.win(shot) if shot else "",
            "wait_for": self.win(wait_for) if wait_for else "",
        }
        if any("\n" in value or "\r" in value for value in job.values()):
            raise CaseFailure("a job value holds a line break")
        job_path.write_bytes("".join(f"{k}={v}\n" for k, v in job.items()).encode("utf-8"))
        started = time.monotonic()
        done = self.session.run(
            [self.win(self.runner.helpers_in_prefix / "aqdriver.exe"), self.win(job_path)],
            timeout=timeout + 20, faketime=faketime, frozen=frozen, locale=locale,
            env={**(env or {}), "AQ_OPENER_LOG": self.win(opener_log)})
        seconds = time.monotonic() - started
        output = done.stdout.decode("utf-8", errors="replace")
        if done.returncode != 0 or not result_path.exists():
            raise CaseFailure(f"aqdriver failed ({done.returncode}): {output[-1500:]}")
        raw = json.loads(result_path.read_text(encoding="utf-8"))
        if not raw["started"]:
            raise CaseFailure(f"the program did not start: {raw['error']}")
        boxes = [ShownBox(b["caption"], b["text"], b["icon"], tuple(b["buttons"]), b["answer"],
                          b["pressed"], b["unexpected"], b["note"], b["at_ms"])
                 for b in raw["boxes"]]
        opened = []
        if opener_log.exists():
            opened = [json.loads(line) for line in
                      opener_log.read_text(encoding="utf-8").splitlines() if line.strip()]
        home = (wait_for or program).parent
        run = Run(home, self.win(home),
                  None if raw["timed_out"] else raw["exit_code"], raw["timed_out"], boxes, opened,
                  raw["left_in_job"], raw, output, seconds)
        self.runs.append(run)
        if run.timed_out:
            self.fail(f"run {index} timed out after {timeout}s")
        for box in run.unexpected:
            self.notes.append(f"run {index}: unexpected box {box.describe()}")
        for b in raw["boxes"]:
            if (wait_for or program).name == PROGRAM and not b["controls6"]:
                self.fail(f"run {index}: the box {b['caption']!r} is drawn without the common "
                          "controls 6")
        if raw.get("answers_left", 0):
            self.notes.append(f"run {index}: {raw['answers_left']} scripted answer(s) not used")
        if run.left_running:
            self.fail(f"run {index}: still running at the end: {run.left_running}")
        return run

    # --- checks (a failed check is noted and the case goes on) ---

    def fail(self, message: str) -> None:
        self.failures.append(message)

    def check(self, condition: bool, message: str) -> bool:
        if not condition:
            self.fail(message)
        return condition

    def equal(self, actual, expected, what: str) -> bool:
        return self.check(actual == expected, f"{what}: got {actual!r}, expected {expected!r}")

    def exit_code(self, run: Run, expected: int) -> None:
        self.equal(run.exit_code, expected, "exit code")

    def boxes(self, run: Run, *expected: Box) -> None:
        """The run showed exactly these boxes, in this order."""
        shown = run.boxes
        ok = len(shown) == len(expected) and all(
            s.matches(e) for s, e in zip(shown, expected))
        if not ok:
            lines = [f"boxes differ: {len(shown)} shown, {len(expected)} expected"]
            for i in range(max(len(shown), len(expected))):
                mark = "ok " if i < len(shown) and i < len(expected) and shown[i].matches(
                    expected[i]) else "!! "
                lines.append(f"  {mark}#{i + 1} shown:    "
                             f"{shown[i].describe() if i < len(shown) else '-'}")
                lines.append(f"     #{i + 1} expected: "
                             f"{expected[i].describe() if i < len(expected) else '-'}")
            self.fail("\n".join(lines))

    def box(self, run: Run, index: int, expected: Box) -> None:
        """Box number `index` (from 0) of the run is this one."""
        if index >= len(run.boxes):
            self.fail(f"box #{index + 1} was not shown; expected {expected.describe()}"
                      f" ({len(run.boxes)} shown)")
            return
        shown = run.boxes[index]
        if not shown.matches(expected):
            self.fail(f"box #{index + 1} differs:\n  shown:    {shown.describe()}\n"
                      f"  expected: {expected.describe()}")

    def box_matching(self, run: Run, index: int, caption: str, text_pattern: str, icon: str,
                     buttons: tuple[str, ...]) -> None:
        """Box number `index` (from 0) has this caption, icon and buttons, and its whole text
        matches the regular expression."""
        if index >= len(run.boxes):
            self.fail(f"box #{index + 1} was not shown; expected [{caption}] "
                      f"/{text_pattern}/ ({len(run.boxes)} shown)")
            return
        shown = run.boxes[index]
        if ((shown.caption, shown.icon, shown.buttons) != (caption, icon, buttons)
                or not re.fullmatch(text_pattern, shown.text)):
            self.fail(f"box #{index + 1} differs:\n  shown:    {shown.describe()}\n"
                      f"  expected: [{caption}] /{text_pattern}/ icon={icon} "
                      f"buttons={','.join(buttons)}")

    def no_box_like(self, run: Run, unwanted: Box) -> None:
        for i, shown in enumerate(run.boxes):
            if shown.caption == unwanted.caption and shown.text == unwanted.text:
                self.fail(f"box #{i + 1} should not have been shown: {shown.describe()}")

    def no_box_with_caption(self, run: Run, caption: str) -> None:
        for i, shown in enumerate(run.boxes):
            if shown.caption == caption:
                self.fail(f"box #{i + 1} should not have been shown: {shown.describe()}")

    def file_is(self, folder: Path, name: str, content: bytes) -> None:
        path = folder / name
        if not path.is_file():
            self.fail(f"{name} is missing in {self.win(folder)}")
        else:
            self.equal(path.read_bytes(), content, f"bytes of {name}")

    def no_file(self, folder: Path, name: str) -> None:
        self.check(not (folder / name).exists(), f"{name} should not exist in {self.win(folder)}")

    def files(self, folder: Path, names: list[str]) -> None:
        """The folder holds exactly these entries."""
        self.equal(self.listing(folder), sorted(names), f"entries of {self.win(folder)}")

    def nothing_opened(self, run: Run) -> None:
        self.equal(run.opened, [], "workbooks opened")

    def ini_lines(self, folder: Path) -> list[str] | None:
        data = (folder / SETTINGS).read_bytes() if (folder / SETTINGS).is_file() else None
        return None if data is None else data.decode("cp932").split("\r\n")


# --- Runner -------------------------------------------------------------------------------


class Runner:
    def __init__(self, session: WineSession, exe: Path, helpers: Path, verbose: bool):
        self.session = session
        self.exe = exe
        self.helpers = helpers
        self.verbose = verbose
        self.helpers_in_prefix = session.drive_c / "aqtools"
        self.helpers_in_prefix.mkdir(parents=True, exist_ok=True)
        for name in ("aqdriver.exe", "aqopener.exe", "aqprobe.exe"):
            shutil.copyfile(helpers / name, self.helpers_in_prefix / name)

    def run_case(self, number: int, info: CaseInfo, checks: Checks) -> None:
        started = time.monotonic()
        server_said = self.session.server_log_size()
        t = TCase(self, number, info)
        try:
            info.function(t)
        except CaseFailure as failure:
            t.fail(str(failure))
        except Exception:  # a fault of the case itself
            t.fail("the case raised:\n" + traceback.format_exc())
        finally:
            t.cleanup()
        seconds = time.monotonic() - started
        passed = checks.check(f"{info.name} — {info.title} ({seconds:.1f}s)", not t.failures)
        for failure in t.failures:
            print("     " + failure.replace("\n", "\n     "))
        for note in t.notes:
            print("     note: " + note)
        if not passed and (said := self.session.server_messages(server_said).strip()):
            print("     the wineserver said: " + said[-1500:].replace("\n", "\n     "))
        if (not passed or self.verbose) and t.runs:
            for i, run in enumerate(t.runs, 1):
                print(f"     run {i}: exit={run.exit_code} {run.seconds:.1f}s "
                      f"folder={run.win_folder}")
                for box in run.boxes:
                    print(f"       box {box.describe()}")
                for opened in run.opened:
                    print(f"       opened {opened}")
