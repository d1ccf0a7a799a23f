#!/usr/bin/env python3
"""The settings file against killed saves, starts at once, openers that stay and the
situations a user meets, with the real Linux program (dist/linux/AutoQuillmer):

    python3 tests/saves/run_saves.py [--program dist/linux/AutoQuillmer]
        [--kills 1000] [--rounds 20] [--starts 8] [--seed N] [-v]

- exfat: a first run and a second start on exFAT (no hard links), where it can be mounted;
- situations: one table; each lays out a folder, starts the program (as `nobody` where
  permissions matter: root passes every permission check) and checks the file, the
  leftovers, the exit code and the boxes shown;
- kills: the program is killed (SIGKILL) at a random moment of its run, with and without an
  old settings file; every time the file must be the old one or a complete new one (on a
  first run: none or a complete one), and the next save clears the leftovers;
- starts: one table of start patterns (many starts at once on the same day, on a new day, on
  a first run and with /open; a start during another's question; an opener that keeps the
  application in its foreground, one whose child keeps its output, one that fails): one opening
  per logical day, no box, the file whole, and no descriptor of the launcher in the opener.

Boxes are seen through a stand-in `zenity` on PATH that writes its text to a log and answers
Yes (No: AQ_BOX_ANSWER=1; once $AQ_BOX_GATE exists, when set), and openings through a stand-in
`xdg-open` that logs the file and opens nothing: it ends at once, or stays in the foreground,
or leaves a child holding its output, or fails ($AQ_OPENER). Needs root and no display.
The last line printed is "N passed, N failed".
"""

from __future__ import annotations

import argparse
import os
import random
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
from tests.harness.checklist import program_texts, take_pattern, wanted  # noqa: E402

TEXT = {name: text for name, _, text in program_texts()}
PROGRAM = "AutoQuillmer"
SETTINGS = "AutoQuillmer.ini"
TEMPLATE1 = "Dozeboardt1.xls"
TEMPLATE3 = "Dozeboardt3.xls"
KEYS = ["[Execute]", "Last_XLS=", "LastQuillmer=", "", "[Date]", "TimeToNext=", "",
        "[Launch]", "Type1=", "WindowSize=", "YesNo=", ""]
WRITE_FAILED, PREPARE_FAILED = TEXT["WriteFailed"], TEXT["PrepareFailed"]
# The failure report's two lines (its address, which differs from build to build, as XXXXXXXX).
REPORT = TEXT["ReportTemplate"].split("\n")[0].replace("%s", "{}", 1).replace("%s", PROGRAM).replace("%p", "{}")
OPEN_ERROR = TEXT["FileOpenError"].replace("%s", SETTINGS) + "."
OPEN_QUESTION, OPEN_FAILED, ERROR_CODE = TEXT["OpenQuestion"], TEXT["OpenFailed"], TEXT["ErrorCode"]
NOBODY = 65534

STAND_INS = {
    "zenity": '#!/bin/sh\nulimit -S -f unlimited 2>/dev/null\nfor a; do case "$a" in --text=*) printf "%s\\n" "${a#--text=}" '
              '>> "$AQ_BOX_LOG";; esac; done\n'
              'while [ -n "$AQ_BOX_GATE" ] && [ ! -e "$AQ_BOX_GATE" ]; do sleep 0.05; done\n'
              'exit "${AQ_BOX_ANSWER:-0}"\n',
    "xdg-open": '#!/bin/sh\n[ -n "$AQ_OPEN_LOG" ] && printf "%s\\n" "$1" >> "$AQ_OPEN_LOG"\n'
                'case "$AQ_OPENER" in\n'
                'foreground) echo $$ > "$AQ_OPEN_LOG.pid"; exec sleep 60;;\n'
                'background) sleep 60 & echo $! > "$AQ_OPEN_LOG.pid";;\n'
                'slow-failure) sleep 1.5; exit 4;;\n'
                'esac\nexit 0\n',
}


# The lock folder's name taken by nobody in a /tmp of the start's own; then what it holds: .squat
SQUAT = ('cd "$0" && mount -t tmpfs aq /tmp && mkdir -p "$0" && mount -c --bind . "$0" || exit 9\n'
         'if [ "$1" = folder ]; then mkdir -m 700 "$2"; else : > "$2"; fi; chown 65534:65534 "$2"\n'
         'p=$2 l=$3; shift 3; cd "$OLDPWD"; "$@"; c=$?\n'
         'if [ -d "$p" ]; then ls -A "$p"; else wc -c < "$p"; fi > "$l"; exit $c\n')


def complete(data: bytes) -> bool:
    """A whole settings file as the launcher writes it: its sections and keys in order,
    every line ended by CR LF, values that are not empty."""
    if not data.endswith(b"\r\n"):
        return False
    lines = data.decode("utf-8", "replace").split("\r\n")[:-1]
    if len(lines) != len(KEYS):
        return False
    for line, key in zip(lines, KEYS):
        if key.endswith("="):
            if not line.startswith(key) or len(line) == len(key):
                return False
        elif line != key:
            return False
    return True


class NoOrdinaryUser(Exception):
    """The machine lets no ordinary user reach the scratch root (a root folder of mode 0700)."""


def reaches_as_nobody(path: Path) -> bool:
    child = os.fork()
    if child == 0:
        try:
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)
            os._exit(0 if os.access(path, os.X_OK) else 1)
        finally:
            os._exit(1)
    return os.waitpid(child, 0)[1] == 0


class Bench:
    """The stand-ins and the program, ready to run in folders of a scratch root."""

    def __init__(self, program: Path, root: Path):
        self.program = program
        self.root = root
        self.bin = root / "bin"
        self.bin.mkdir()
        self.logs = root / "logs"  # beside the folders, which may refuse new files
        self.logs.mkdir()
        self.logs.chmod(0o777)
        for name, text in STAND_INS.items():
            (self.bin / name).write_text(text)
            (self.bin / name).chmod(0o755)
        self.root.chmod(0o755)
        self.nobody_reaches = reaches_as_nobody(root)
        self.count = 0

    def folder(self, name: str | None = None, templates=(TEMPLATE1,)) -> Path:
        self.count += 1
        folder = self.root / (name or f"f{self.count}")
        folder.mkdir()
        shutil.copy2(self.program, folder / PROGRAM)
        for template in templates:
            (folder / template).write_bytes(b"\xd0\xcf\x11\xe0 chart " + template.encode())
        return folder

    def env(self, folder: Path, **extra: str) -> dict[str, str]:
        return {"PATH": f"{self.bin}:/usr/bin:/bin", "DISPLAY": ":none", "LC_ALL": "C.UTF-8",
                "HOME": str(folder), "AQ_BOX_LOG": str(self.box_log(folder)), **extra}

    def box_log(self, folder: Path) -> Path:
        return self.logs / f"{folder.name}.log"

    def start(self, folder: Path, as_nobody: bool = False, file_limit: int | None = None,
              cwd: Path | None = None, walk: list[str] | None = None, terminal: bool = False,
              args: tuple[str, ...] = (), gate: Path | None = None,
              env: dict[str, str] | None = None, squat: str | None = None) -> subprocess.Popen:
        # walk: the steps from `folder` to the program's folder, too deep to be named whole;
        # terminal: no display, a terminal for input and a pipe nobody reads for errors;
        # gate: a FIFO that holds the start until it opens, so that many starts begin together;
        # squat: "folder" or "file" of another user at the lock folder's name (SQUAT).
        if as_nobody and not self.nobody_reaches:
            raise NoOrdinaryUser
        env = self.env(folder, **(env or {}))
        streams = {"stdin": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        if terminal:
            del env["DISPLAY"]
            import pty
            _, tty = pty.openpty()
            read_end, write_end = os.pipe()
            os.close(read_end)
            streams = {"stdin": tty, "stderr": write_end}

        def before():
            if file_limit is not None:
                import resource
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, resource.RLIM_INFINITY))
            for step in [str(folder), *walk] if walk else []:
                os.chdir(step)
            if as_nobody:
                os.setgroups([])
                os.setgid(NOBODY)
                os.setuid(NOBODY)
        command = ["./" + PROGRAM, *args] if walk else [str(folder / PROGRAM), *args]
        if gate:
            command = ["/bin/sh", "-c", 'read x < "$0"; exec "$@"', str(gate), *command]
        if squat:
            command = ["unshare", "-m", "sh", "-c", SQUAT, str(self.root), squat,
                       f"/tmp/auto-quillmer-{os.geteuid()}", f"{self.logs}/{folder.name}.squat",
                       *command]
        try:
            return subprocess.Popen(command, cwd=None if walk else cwd or folder, env=env,
                                    stdout=subprocess.DEVNULL, preexec_fn=before, **streams)
        finally:
            if terminal:
                os.close(streams["stdin"])
                os.close(streams["stderr"])

    def run(self, folder: Path, **options) -> tuple[int, list[str]]:
        log = self.box_log(folder)
        log.unlink(missing_ok=True)
        process = self.start(folder, **options)
        code = process.wait(timeout=30)
        boxes = [re.sub(r"の [0-9A-F]{8} で", "の XXXXXXXX で", line)
                 for line in (log.read_text().splitlines() if log.exists() else [])]
        log.unlink(missing_ok=True)
        return code, boxes


def leftovers(folder: Path) -> list[str]:
    return sorted(p.name for p in folder.iterdir()  # links and FIFOs are nobody's leftovers
                  if p.name.startswith(SETTINGS + ".~") and p.is_file() and not p.is_symlink())


# --- the situations -----------------------------------------------------------------------


def give_to_nobody(*paths: Path) -> None:
    for path in paths:
        os.chown(path, NOBODY, NOBODY)


def read_only_folder(bench: Bench, folder: Path):
    bench.run(folder)  # a first run writes the file
    give_to_nobody(folder, folder / SETTINGS)
    folder.chmod(0o555)
    return {"as_nobody": True}


def read_only_folder_first_run(bench: Bench, folder: Path):
    give_to_nobody(folder)
    folder.chmod(0o555)
    return {"as_nobody": True}


def symbolic_link(bench: Bench, folder: Path):
    dots = folder / "dots"
    dots.mkdir()
    bench.run(folder)
    (folder / SETTINGS).rename(dots / "aq.ini")
    (folder / SETTINGS).symlink_to("dots/aq.ini")
    return {}


def restored_old_file(bench: Bench, folder: Path):
    # Type-3 chosen on the first run, then the file comes back from a backup dated 1975:
    # it still counts (before, the first-run question came back and Type1 was lost).
    bench.run(folder)
    text = (folder / SETTINGS).read_bytes().replace(b"Type1=1", b"Type1=0")
    (folder / SETTINGS).write_bytes(text)
    os.utime(folder / SETTINGS, (157766400, 157766400))
    return {}


def root_saves_users_file(bench: Bench, folder: Path):
    give_to_nobody(folder)
    bench.run(folder, as_nobody=True)
    (folder / SETTINGS).chmod(0o600)
    code, _ = bench.run(folder)  # root's start
    info = (folder / SETTINGS).stat()
    if (info.st_uid, stat.S_IMODE(info.st_mode), code) != (NOBODY, 0o600, 0):
        raise AssertionError(f"root's save left owner {info.st_uid}, mode "
                             f"{stat.S_IMODE(info.st_mode):o}, exit {code}")
    return {"as_nobody": True}


def many_leftovers(bench: Bench, folder: Path):
    bench.run(folder)
    for i in range(1, 121):
        (folder / f"{SETTINGS}.~{i}.tmp").write_bytes(b"")
    return {}


def too_deep(bench: Bench, folder: Path):
    # The program lies deeper than the system can name (its path over 4095 bytes): built by
    # wrapping its folder in folders of long names, one short rename at a time.
    (folder / "in").mkdir()
    for name in (PROGRAM, TEMPLATE1):
        (folder / name).rename(folder / "in" / name)
    top = "in"
    for i in range(17):
        (folder / f"w{i}").mkdir()
        (folder / top).rename(folder / f"w{i}" / ("n" * 250))
        top = f"w{i}"
    give_to_nobody(folder)
    return {"as_nobody": True, "walk": [top] + ["n" * 250] * 17, "code": 2}


def held_lock(path: Path, *user: str) -> None:
    """Another program (as `user`, through setpriv, where given) takes an exclusive lock on
    path and keeps it for 8 s; returns once the lock is really held."""
    holder = subprocess.Popen([*user, "flock", "-w", "5", "-x", path, "sh", "-c", "echo held; exec sleep 8"],
                              stdout=subprocess.PIPE, text=True)
    holder.stdout.readline()
    holder.stdout.close()
    if subprocess.run(["flock", "-n", "-s", path, "true"]).returncode == 0:
        raise RuntimeError(f"the lock on {path} is not held")


def others_folder_lock(bench: Bench, folder: Path):
    bench.run(folder)
    if not bench.nobody_reaches:
        raise NoOrdinaryUser
    held_lock(folder, "setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups")
    return {}


def file_held(bench: Bench, folder: Path):
    bench.run(folder)
    held_lock(folder / SETTINGS)
    return {"code": 1}


def file_size_limit(bench: Bench, folder: Path):
    bench.run(folder)
    return {"file_limit": 64}


# (name, set-up, boxes expected, settings expected: "whole", "kept" or "none",
#  check of the folder afterwards)
SITUATIONS = [
    ("folder 555 with the user's file 644: written in place", read_only_folder, [], "whole",
     lambda f: (f / SETTINGS).stat().st_uid == NOBODY),
    ("folder 555 on a first run: no workbook, the write-back box, no file",
     read_only_folder_first_run, [PREPARE_FAILED, WRITE_FAILED], "none", None),
    ("symbolic link: saved through, the link stays", symbolic_link, [], "whole",
     lambda f: (f / SETTINGS).is_symlink() and complete((f / "dots" / "aq.ini").read_bytes())),
    ("a restored file dated 1975 still holds the settings", restored_old_file, [], "whole",
     lambda f: b"Type1=0" in (f / SETTINGS).read_bytes()),
    ("a file saved by root stays the user's", root_saves_users_file, [], "whole",
     lambda f: (f / SETTINGS).stat().st_uid == NOBODY),
    ("120 leftovers of killed saves: saved, all cleared", many_leftovers, [], "whole", None),
    ("another user holding a lock on the folder silences no start: saved", others_folder_lock,
     [], "whole", None),
    ("a settings file another program holds locked: the failure report, exit 1, the old file",
     file_held, [REPORT.format("EFOpenError", "XXXXXXXX"), OPEN_ERROR], "kept", None),
    ("another user's folder at the name of the private lock folder: refused, nothing put in "
     "it, the start goes on by itself: saved", lambda b, f: b.run(f) and {"squat": "folder"}, [],
     "whole",
     lambda f: (f.parent / "logs" / f"{f.name}.squat").read_text() == ""),
    ("another user's file at that name: the same", lambda b, f: b.run(f) and {"squat": "file"},
     [], "whole",
     lambda f: (f.parent / "logs" / f"{f.name}.squat").read_text().strip() == "0"),
    ("a 64-byte file-size limit: the write-back box, exit 0, the old file", file_size_limit,
     [WRITE_FAILED], "kept", None),
    ("a 16-byte file-size limit on a first run: both boxes, exit 0, no file",
     lambda bench, folder: {"file_limit": 16}, [PREPARE_FAILED, WRITE_FAILED], "none", None),
    ("a program path beyond the system's limit: its own box, exit 2, nothing written anywhere",
     too_deep, [TEXT["NoProgramPath"]], "none",
     lambda f: not Path("/" + SETTINGS).exists() and not Path("/" + TEMPLATE1).exists()),
    ("standard error a closed pipe at the terminal question: no box, exit 0, no file",
     lambda bench, folder: shutil.copy(folder / TEMPLATE1, folder / TEMPLATE3) and
     {"terminal": True}, [], "none", None),
]


def run_situations(bench: Bench, verbose: bool) -> tuple[int, int]:
    passed = failed = 0
    for title, lay_out, boxes, outcome, check in SITUATIONS:
        if not wanted(title):
            continue
        folder = bench.folder()
        problems = []
        try:
            options = lay_out(bench, folder)
            expected_code = options.pop("code", 0)
            if (folder / SETTINGS).exists():
                # LastQuillmer is only ever written: a mark that shows the file was saved.
                text = (folder / SETTINGS).read_bytes()
                at = text.index(b"LastQuillmer=") + len(b"LastQuillmer=")
                (folder / SETTINGS).write_bytes(text[:at] + b"-" + text[text.index(b"\r", at):])
            before = (folder / SETTINGS).read_bytes() if (folder / SETTINGS).exists() else None
            code, shown = bench.run(folder, **options)
            after = (folder / SETTINGS).read_bytes() if (folder / SETTINGS).exists() else None
            if code != expected_code:
                problems.append(f"exit code {code}")
            if shown != boxes:
                problems.append(f"boxes {shown}, expected {boxes}")
            if outcome == "whole" and not (after and complete(after) and after != before):
                problems.append(f"the settings file is not a new whole one: {after!r}")
            if outcome == "kept" and after != before:
                problems.append(f"the settings file changed: {after!r}")
            if outcome == "none" and after is not None:
                problems.append(f"a settings file was left: {after!r}")
            if leftovers(folder):
                problems.append(f"leftovers {leftovers(folder)}")
            if check and not check(folder):
                problems.append("the folder's check failed")
        except NoOrdinaryUser:
            problems = None
        except Exception as error:  # noqa: BLE001 - reported as the case's failure
            problems.append(f"{type(error).__name__}: {error}")
        finally:
            folder.chmod(0o755)
        if problems is None:
            print(f"skip {title}: no ordinary user reaches {bench.root} on this machine")
            continue
        ok = not problems
        passed += ok
        failed += not ok
        print(f"{'ok  ' if ok else 'FAIL'} {title}")
        for problem in problems:
            print(f"     {problem}")
    return passed, failed


# --- a file system without hard links ---------------------------------------------------


def run_exfat(bench: Bench) -> tuple[int, int]:
    """exFAT (no hard links) through exfat-fuse on a loop device, as on a USB stick: a first
    run makes the settings and the workbook, a second start on the same day does nothing, and
    nothing else is left. Where the machine cannot mount it, it says so and goes on."""
    image, mount, folder = bench.root / "exfat.img", bench.root / "exfat", bench.root / "exfat" / "c"
    mount.mkdir()
    image.touch()
    os.truncate(image, 16 << 20)
    loop = subprocess.run(["losetup", "-f", "--show", str(image)], capture_output=True, text=True)
    device = loop.stdout.strip()
    try:
        if loop.returncode or subprocess.run(f"mkfs.exfat {image} && mount.exfat-fuse {device} {mount}",
                                             shell=True, capture_output=True).returncode:
            print(f"skip exfat: cannot mount it here ({loop.stderr.strip() or 'no exfatprogs, exfat-fuse or FUSE'})")
            return 0, 0
        folder.mkdir()
        shutil.copy(bench.program, folder / PROGRAM)
        (folder / TEMPLATE1).write_bytes(b"\xd0\xcf\x11\xe0 chart")
        runs = [bench.run(folder), bench.run(folder)]
        names = sorted(p.name for p in folder.iterdir())
        book = next(folder.glob("Dozeboard_*.xls"), folder / "-")
        ok = runs == [(0, [OPEN_QUESTION]), (0, [])] and len(names) == 4 and book.is_file() and \
            book.read_bytes() == (folder / TEMPLATE1).read_bytes() and complete((folder / SETTINGS).read_bytes())
        print(f"{'ok  ' if ok else 'FAIL'} exfat: a first run and a second start: {runs}, {names}")
        return (1, 0) if ok else (0, 1)
    finally:
        subprocess.run(["umount", str(mount)], capture_output=True)
        if device:
            subprocess.run(["losetup", "-d", device], capture_output=True)


# --- killed saves -----------------------------------------------------------------------


def whole_run(bench: Bench, folder: Path) -> int:
    """A run after a kill that leaves a file and no leftovers. A run killed as it started a
    helper leaves that helper with its lock for a moment; a start in that moment ends at
    once, as another start at work makes it do, and is tried again."""
    for _ in range(20):
        code, _ = bench.run(folder)
        if (folder / SETTINGS).exists() and not leftovers(folder):
            break
        time.sleep(0.05)
    return code


def run_kills(bench: Bench, kills: int, rng: random.Random) -> tuple[int, int]:
    folder = bench.folder("kills")
    # How long a run takes (a same-day start, a first run), so that the kills spread over
    # all of it.
    spans = []
    for first_run in (False, True):
        bench.run(folder)
        started = time.perf_counter()
        for _ in range(5):
            if first_run:
                (folder / SETTINGS).unlink()
            bench.run(folder)
        spans.append((time.perf_counter() - started) / 5 * 1.3)
    tally = {"old file": 0, "new file": 0, "no file": 0, "finished": 0, "leftovers seen": 0}
    bad = []
    for i in range(kills):
        first_run = i % 2 == 1
        if first_run:
            (folder / SETTINGS).unlink(missing_ok=True)
        elif not (folder / SETTINGS).exists():
            whole_run(bench, folder)  # the first run before was killed: an old file again
        before = None if first_run else (folder / SETTINGS).read_bytes()
        had_leftovers = bool(leftovers(folder))
        process = bench.start(folder)
        time.sleep(rng.uniform(0, spans[first_run]))
        process.send_signal(signal.SIGKILL)
        code = process.wait()
        after = (folder / SETTINGS).read_bytes() if (folder / SETTINGS).exists() else None
        if code == 0:
            tally["finished"] += 1
            if leftovers(folder):
                bad.append(f"kill {i}: a finished save left {leftovers(folder)}")
        if leftovers(folder):
            tally["leftovers seen"] += 1
        if after is None:
            tally["no file"] += 1
            if not first_run:
                bad.append(f"kill {i}: the old file is gone")
        elif after == before:
            tally["old file"] += 1
        elif complete(after):
            tally["new file"] += 1
        else:
            bad.append(f"kill {i}: the file is {after!r}")
        if had_leftovers and code == 0 and leftovers(folder):
            bad.append(f"kill {i}: the leftovers stayed")
    # One whole run at the end clears whatever is left.
    code = whole_run(bench, folder)
    if code != 0 or leftovers(folder) or not complete((folder / SETTINGS).read_bytes()):
        bad.append(f"the last run: exit {code}, leftovers {leftovers(folder)}")
    print(f"kills: {kills} runs killed at 0 to {spans[0] * 1000:.1f} ms (same-day start) or "
          f"{spans[1] * 1000:.1f} ms (first run): "
          + ", ".join(f"{k} {v}" for k, v in tally.items()) + f"; {len(bad)} bad")
    for line in bad[:20]:
        print(f"     {line}")
    return (1, 0) if not bad else (0, 1)


# --- starts at once and openers that stay ---------------------------------------------


def ended(process: subprocess.Popen) -> int | str:
    """The exit code of a start, or "still running" (and it is ended) after 30 s."""
    try:
        return process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return "still running"


def long_lived_fds(pid_file: Path) -> list[str]:
    """What the opener's long-lived process holds beyond its three standard descriptors, and
    a pipe as its output."""
    for _ in range(100):
        if pid_file.exists() and pid_file.read_text().strip():
            break
        time.sleep(0.05)
    pid = int(pid_file.read_text())
    fds = Path(f"/proc/{pid}/fd")
    held = [f"{fd.name} -> {os.readlink(fd)}" for fd in fds.iterdir()]
    return [h for h in held if not h.startswith(("0 ", "1 ", "2 ")) or "pipe:" in h]


# (title, settings: "same day", "new day" or "first run", starts at once (None: --starts, in
# --rounds rounds), arguments (of the second start, for a question), opener: "quick",
# "foreground", "background", "slow-failure", or "question": a second start while the first
# one's question is up, answered Yes after ("declined": No; "stopped": the first start stopped
# as by Ctrl+Z till then; "elsewhere": the first start with XDG_RUNTIME_DIR, the second without))
START_PATTERNS = [
    ("same-day starts at once: nothing opens", "same day", None, (), "quick"),
    ("starts at once on a new day: one opening", "new day", None, (), "quick"),
    ("first runs at once: one opening", "first run", None, (), "quick"),
    ("a start during another's question: no opening; the first, answered Yes, opens once",
     "new day", 2, (), "question"),
    ("a start without XDG_RUNTIME_DIR during the question of one with it: no second question, "
     "no opening; the first, answered Yes, opens once", "new day", 2, (), "elsewhere question"),
    ("/open during the question of a stopped start: it opens within 2 s; the question, answered "
     "Yes after, opens nothing more", "new day", 2, ("/open",), "stopped question"),
    ("/open during another's question: it opens within 2 s; the question, answered No after, "
     "changes nothing", "new day", 2, ("/open",), "declined question"),
    ("an opener that fails after 1.5 s: the open-failure box with its code, the day not "
     "counted", "new day", 1, (), "slow-failure"),
    ("an opener that keeps the application in its foreground: the day recorded without "
     "waiting; a second start opens nothing; SIGTERM to it changes nothing", "new day", 1, (),
     "foreground"),
    ("an opener whose child keeps its output: the same", "new day", 1, (), "background"),
]
OPEN_WITHIN, TIMINGS = 2.0, []  # seconds from an /open start to its opening; those measured


def run_start_pattern(bench: Bench, folder: Path, settings: str, starts: int,
                      args: tuple[str, ...], opener: str) -> list[str]:
    """One round of a pattern; the problems found."""
    problems = []
    open_log = bench.logs / f"{folder.name}.opened"
    open_log.unlink(missing_ok=True)
    Path(f"{open_log}.pid").unlink(missing_ok=True)
    bench.box_log(folder).unlink(missing_ok=True)
    if settings == "first run":
        (folder / SETTINGS).unlink(missing_ok=True)
    else:
        if not (folder / SETTINGS).exists():
            bench.run(folder)
        text = (folder / SETTINGS).read_bytes()
        at = text.index(b"Last_XLS=") + len(b"Last_XLS=")
        if settings == "new day":  # an unreadable last opening counts as long ago
            text = text[:at] + text[text.index(b"\r", at):]
        (folder / SETTINGS).write_bytes(text)
    env = {"AQ_OPEN_LOG": str(open_log), "AQ_OPENER": opener}
    box_gate = bench.logs / f"{folder.name}.answer"
    box_gate.unlink(missing_ok=True)
    if opener.endswith("question"):
        env["AQ_BOX_GATE"] = str(box_gate)
        env["AQ_BOX_ANSWER"] = "1" if opener.startswith("declined") else "0"
        runtime = tempfile.mkdtemp(dir=bench.logs)  # the desktop's XDG_RUNTIME_DIR, 0700
        first = bench.start(folder, env={**env, "XDG_RUNTIME_DIR": runtime}
                            if opener.startswith("elsewhere") else env)
        for _ in range(600):
            if bench.box_log(folder).exists():
                break
            time.sleep(0.05)
        if opener.startswith("stopped"):
            first.send_signal(signal.SIGSTOP)
        started = time.monotonic()
        second = bench.start(folder, args=args, env=env)
        if "/open" in args:
            while not open_log.exists() and time.monotonic() - started < 10:
                time.sleep(0.01)
            TIMINGS.append(time.monotonic() - started)
            if TIMINGS[-1] > OPEN_WITHIN:
                problems.append(f"the /open start opened the chart after {TIMINGS[-1]:.2f} s")
        elif ended(second) != 0 or open_log.exists():
            problems.append("the second start did not end at once with 0, or opened the chart")
        first.send_signal(signal.SIGCONT)
        box_gate.touch()
        processes = [first, second]
    else:
        gate = bench.logs / f"{folder.name}.gate"
        gate.unlink(missing_ok=True)
        os.mkfifo(gate)
        holder = os.open(gate, os.O_RDWR)  # the starts wait for its end of file
        processes = [bench.start(folder, args=args, gate=gate, env=env) for _ in range(starts)]
        for _ in range(400):  # until every start has the gate open
            if all(any(os.path.realpath(fd) == str(gate)
                       for fd in Path(f"/proc/{p.pid}/fd").glob("*")) for p in processes):
                break
            time.sleep(0.025)
        os.close(holder)
    codes = [ended(p) for p in processes]
    opened = open_log.read_text().splitlines() if open_log.exists() else []
    shown = bench.box_log(folder).read_text().splitlines() if bench.box_log(folder).exists() else []
    data = (folder / SETTINGS).read_bytes() if (folder / SETTINGS).exists() else b""
    expected = 0 if settings == "same day" else 1
    boxes = [] if settings == "same day" else [OPEN_QUESTION]
    failed = opener == "slow-failure"  # the attempt is logged, its failure reported
    boxes += f"{OPEN_FAILED}{opened[0]}\r\n{ERROR_CODE}31".split("\r\n") if failed else []
    if any(codes):
        problems.append(f"exit codes {codes}")
    if len(opened) != expected:
        problems.append(f"{len(opened)} openings")
    if shown != boxes:
        problems.append(f"boxes {shown}")
    dates = [line.split(b"=")[-1].split()[:1] for line in data.split(b"\r\n")[1:3]]
    if not complete(data) or expected and (dates[0] == dates[1]) == failed:  # counted today
        problems.append(f"the file is {data!r}")
    if leftovers(folder):
        problems.append(f"leftovers {leftovers(folder)}")
    if opener in ("foreground", "background"):
        problems += long_lived_fds(Path(f"{open_log}.pid"))
        ended(bench.start(folder, env=env))
        if len(open_log.read_text().splitlines()) != 1:
            problems.append("a second start opened the chart again")
        os.kill(int(Path(f"{open_log}.pid").read_text()), signal.SIGTERM)
        time.sleep(0.2)
        if (folder / SETTINGS).read_bytes().split(b"\r\n")[1] != data.split(b"\r\n")[1]:
            problems.append("the day recorded changed after the opener ended")
    return problems


def run_starts(bench: Bench, rounds: int, starts: int) -> tuple[int, int]:
    passed = failed = 0
    for title, settings, count, args, opener in START_PATTERNS:
        if not wanted(title):
            continue
        folder = bench.folder()
        times = rounds if count is None else 1
        problems = []
        for i in range(times):
            problems += [f"round {i}: {p}" for p in
                         run_start_pattern(bench, folder, settings, count or starts, args, opener)]
        ok = not problems
        passed += ok
        failed += not ok
        print(f"{'ok  ' if ok else 'FAIL'} {title}"
              + (f" ({times} rounds of {starts})" if count is None else "")
              + (f" ({TIMINGS.pop():.2f} s)" if TIMINGS else ""))
        for problem in problems[:20]:
            print(f"     {problem}")
    return passed, failed


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", type=Path, default=REPO / "dist" / "linux" / PROGRAM)
    parser.add_argument("--kills", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--starts", type=int, default=8)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("-v", "--verbose", action="store_true")
    take_pattern()
    options = parser.parse_args()
    if not options.program.is_file():
        print(f"missing {options.program}: build the linux preset first")
        print("0 passed, 1 failed")
        return 1
    seed = options.seed if options.seed is not None else random.randrange(1 << 30)
    print(f"seed {seed}")
    started = time.monotonic()
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="aq-saves-") as scratch:
        bench = Bench(options.program.resolve(), Path(scratch))
        # The exFAT run and the kills are one case each ("exfat", "kills"); the situations
        # and the start patterns a case a row.
        for part in (lambda: run_situations(bench, options.verbose),
                     lambda: run_exfat(bench) if wanted("exfat") else (0, 0),
                     lambda: run_kills(bench, options.kills, random.Random(seed))
                     if wanted("kills") else (0, 0),
                     lambda: run_starts(bench, options.rounds, options.starts)):
            p, f = part()
            passed += p
            failed += f
    print(f"saves: {time.monotonic() - started:.1f}s in all")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
