#!/usr/bin/env python3
"""The start at sign-in on Linux: the real program's "/startup" and "/nostartup" with a
home folder of their own, the XDG autostart file they write and remove, and their boxes
(taken from a stand-in zenity).

    check_autostart_linux.py [PROGRAM]     (default: dist/linux/AutoQuillmer)

Each step of the table runs one copy of the program with a switch and gives the box and
exit code it must show, and which copy the autostart file must start afterwards. The
copies lie in folders whose names hold a blank, Japanese text and the characters that the
desktop-entry format must escape. The last line is "N passed, N failed".
"""

import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
from tests.harness.checklist import Checks, take_pattern, program_texts, project_version  # noqa: E402

ENTRY = "auto-quillmer.desktop"
OWN = [ENTRY + ".backup", ENTRY + ".1"]  # the user's own files beside it, which stay
TEXT = {name: text for name, _, text in program_texts()}
# The Linux program speaks of logging in and autostart.
ADDED, ADD_FAILED = TEXT["LoginAdded"], TEXT["LoginAddFailed"]
REMOVED, NONE, NOT_OURS = TEXT["LoginRemoved"], TEXT["LoginNone"], TEXT["LoginNotOurs"]
REMOVE_FAILED, DENIED = TEXT["LoginRemoveFailed"], TEXT["LoginDenied"]
NOT_UTF8 = TEXT["StartupNotUtf8"]
# Registered from a folder without templates: the box says they are missing.
ADDED_BARE = ADDED + "\n" + TEXT["StartupNoTemplate"]
VERSION = f"Auto Quillmer {project_version()}\n"

# Folders of the program copies; the first two hold a template, "bad" is no UTF-8 (the byte 0xFF).
FOLDERS = {"one": "Auto Q 睡眠表", "two": "two", "odd": 'q "$`\\%x', "bad": "bad\udcff"}
TEMPLATED = {"one": "Dozeboardt1.xls", "two": "Dozeboardt3.xls"}
# The Exec line each copy's entry must hold, exactly ({r}: the temporary root): a backtick or
# "$" left unescaped would still start the program through GLib, so only the text itself tells.
EXEC = {"one": '"{r}/Auto Q 睡眠表/AutoQuillmer"', "two": '"{r}/two/AutoQuillmer"',
        "odd": r'/bin/sh -c "exec \\"\\$0\\"" "{r}/q \\"\\$\\`\\\\%%x/AutoQuillmer"'}

# copy, arguments, headline, failure reason, exit code, copy the entry starts afterwards
# (None: no entry), "lock": the autostart folder is read-only during the step, and what is
# done to the entry before the step: "fifo" (a FIFO in its place), "args" (" /open" added
# to its Exec line, as the guide suggests), "link" (it becomes a link to a file elsewhere).
STEPS = [
    ("one", "/nostartup", NONE, "", 0, None, False, ""),
    ("one", '"/StartUp"', ADDED, "", 0, "one", False, ""),
    ("two", "/nostartup", NOT_OURS, "", 0, "one", False, ""),
    ("two", "-startup /open", ADDED, "", 0, "two", False, ""),
    ("one", "-NoStartup", NOT_OURS, "", 0, "two", False, ""),
    ("odd", "/startup", ADDED_BARE, "", 0, "odd", False, ""),
    ("odd", "/nostartup", REMOVE_FAILED, DENIED, 2, "odd", True, ""),
    ("one", "/startup", ADD_FAILED, DENIED, 2, "odd", True, ""),
    ("odd", "/startup /nostartup", REMOVED, "", 0, None, False, ""),
    ("bad", "/startup", ADD_FAILED, NOT_UTF8, 2, None, False, ""),
    ("one", "/nostartup", NOT_OURS, "", 0, None, False, "fifo"),
    ("one", "/startup", ADDED, "", 0, "one", False, ""),  # in place of the FIFO
    ("one", "/nostartup", REMOVED, "", 0, None, False, "args"),
    ("two", "/startup", ADDED, "", 0, "two", False, "link"),
]

# The Linux program's answers on its terminal: arguments and what it prints. Such a run shows no
# box, leaves the autostart entry as it is and writes nothing.
INFO_STEPS = [
    ("--version", VERSION),
    ("--help", VERSION + TEXT["Help"]),
    ("/startup -h", VERSION + TEXT["Help"]),
    ("/open --version --help", VERSION),
]

ZENITY = """#!/bin/sh
python3 -c 'import json, sys; print(json.dumps(sys.argv[1:]))' "$@" >> "$AQ_BOX_LOG"
exit 0
"""


def unescape_value(value):
    out, i = "", 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            out += {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1],
                                                                           value[i + 1])
            i += 2
        else:
            out += value[i]
            i += 1
    return out


SHELL = '/bin/sh -c "exec \\"\\$0\\"" '


def exec_program(value):
    """The program of an Exec value: one quoted argument, its escapes and %% undone (after
    the shell that starts a path holding %)."""
    text = unescape_value(value)
    if "%" in text and text.startswith(SHELL):
        text = text[len(SHELL):]
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        return None
    out, i, body = "", 0, text[1:-1]
    while i < len(body):
        if body[i] == "\\":
            out += body[i + 1]
            i += 2
        elif body[i] == "%":
            out += "%"
            i += 2
        else:
            out += body[i]
            i += 1
    return out


def entry_keys(path):
    lines = path.read_text(encoding="utf-8").splitlines()
    keys = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
    return lines[0] if lines else "", keys


def prepare(entry, change, root):
    if change == "fifo":
        os.mkfifo(entry)
    elif change == "args":
        entry.write_text("".join(line + (" /open" if line.startswith("Exec=") else "") + "\n"
                                 for line in entry.read_text(encoding="utf-8").splitlines()),
                         encoding="utf-8")
    elif change == "link":
        (root / "linked.desktop").write_text("[Desktop Entry]\n")
        entry.unlink(missing_ok=True)
        entry.symlink_to(root / "linked.desktop")


def launched(entry, program, env, root):
    """Whether GLib's launcher starts exactly the program from the entry: the program is
    swapped for a stand-in that writes down its own path."""
    mark = root / "launched"
    mark.unlink(missing_ok=True)
    real = program.with_name("AutoQuillmer.real")
    program.rename(real)
    try:
        program.write_text(f"#!/bin/sh\nprintf %s \"$0\" > '{mark}'\n")
        program.chmod(0o755)
        started = subprocess.run(["gio", "launch", str(entry)], env=env, capture_output=True,
                                 timeout=30).returncode == 0
        for _ in range(100):
            if mark.exists() and mark.stat().st_size:
                break
            time.sleep(0.1)
        return started and mark.exists() and mark.read_bytes() == bytes(program)
    finally:
        real.replace(program)


def main():
    take_pattern()
    program = Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "dist" / "linux" / "AutoQuillmer")
    checks = Checks()
    if not checks.check(f"{program} is built", program.is_file()):
        return checks.summary()
    with tempfile.TemporaryDirectory(prefix="aq-autostart-") as tmp:
        root = Path(tmp)
        home, bin_dir, elsewhere = root / "home", root / "bin", root / "elsewhere"
        for folder in (home, bin_dir, elsewhere):
            folder.mkdir()
        (bin_dir / "zenity").write_text(ZENITY)
        (bin_dir / "zenity").chmod(0o755)
        copies = {}
        for name, folder in FOLDERS.items():
            (root / folder).mkdir()
            copies[name] = root / folder / "AutoQuillmer"
            shutil.copy2(program, copies[name])
            if name in TEMPLATED:
                (root / folder / TEMPLATED[name]).write_text("template")
        autostart = home / ".config" / "autostart"
        autostart.mkdir(parents=True)
        for own in OWN:
            (autostart / own).write_text("the user's")
        box_log = root / "boxes.log"
        env = {k: v for k, v in os.environ.items() if k not in ("XDG_CONFIG_HOME", "WAYLAND_DISPLAY")}
        env.update(HOME=str(home), DISPLAY=":aq-none", AQ_BOX_LOG=str(box_log),
                   PATH=f"{bin_dir}:{env.get('PATH', '/usr/bin:/bin')}")
        locked = False
        try:
            for number, (copy, args, headline, reason, code, target, lock, change) in \
                    enumerate(STEPS, 1):
                what = f"step {number}: {copy} {args} {change}"
                prepare(autostart / ENTRY, change, root)
                if lock != locked:
                    subprocess.run(["chattr", "+i" if lock else "-i", str(autostart)], check=True)
                    locked = lock
                box_log.unlink(missing_ok=True)
                done = subprocess.run([str(copies[copy]), *shlex.split(args)], cwd=elsewhere,
                                      env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                      timeout=30)
                checks.check(f"{what}: exit code {code}", done.returncode == code,
                             f"{done.returncode}: {done.stderr.decode(errors='replace')}")
                text = headline + (f"\n{reason}" if reason else "") + f"\n\n場所：\u3000{autostart / ENTRY}"
                icon = "dialog-error" if reason else "dialog-information"
                boxes = [json.loads(line) for line in box_log.read_text().splitlines()] \
                    if box_log.exists() else []
                checks.check(f"{what}: one box", len(boxes) == 1 and
                             {"--info", "--title=Auto Quillmer", f"--text={text}",
                              f"--icon-name={icon}"} <= set(boxes[0]), repr(boxes))
                present = (autostart / ENTRY).exists()
                if change == "link":
                    checks.check(f"{what}: the link stays", (autostart / ENTRY).is_symlink())
                checks.check(f"{what}: the entry {'starts ' + target if target else 'is gone'}",
                             present == bool(target or change == "fifo"))
                if present and target:
                    first, keys = entry_keys(autostart / ENTRY)
                    expected = {"Type": "Application", "Name": "Auto Quillmer",
                                "Comment": "Opens this month's Dozeboard sleep chart once a day.",
                                "Comment[ja]": "今月の睡眠記録表「Dozeboard」を 1 日 1 回開きます。",
                                "Terminal": "false", "X-GNOME-Autostart-enabled": "true"}
                    checks.check(f"{what}: the entry's fixed keys", first == "[Desktop Entry]"
                                 and {k: keys.get(k) for k in expected} == expected, repr(keys))
                    checks.check(f"{what}: Exec starts {copies[target]}",
                                 exec_program(keys.get("Exec", "")) == str(copies[target]) and
                                 keys.get("Exec") == EXEC[target].replace("{r}", str(root)),
                                 keys.get("Exec", ""))
                    checks.check(f"{what}: Path is its folder",
                                 unescape_value(keys.get("Path", "")) == str(copies[target].parent),
                                 keys.get("Path", ""))
                    checks.check(f"{what}: gio launch starts {copies[target]}",
                                 launched(autostart / ENTRY, copies[target], env, root))
                leftovers = sorted(p.name for p in autostart.iterdir() if p.name not in OWN)
                checks.check(f"{what}: nothing else in the autostart folder",
                             leftovers == ([ENTRY] if target or change == "fifo" else []),
                             repr(leftovers))
                made = sorted(p.name for f in [elsewhere, *(c.parent for c in copies.values())]
                              for p in f.iterdir() if p.name not in ["AutoQuillmer", *TEMPLATED.values()])
                checks.check(f"{what}: no settings file, no workbook", made == [], repr(made))
            checks.check("the user's own files stay", all((autostart / own).exists() for own in OWN))
            for args, printed in INFO_STEPS:
                box_log.unlink(missing_ok=True)
                before = sorted(str(p) for p in root.rglob("*"))
                done = subprocess.run([str(copies["one"]), *shlex.split(args)], cwd=copies["one"].parent,
                                      env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
                checks.check(f"{args}: exit code 0, the name and version and what it asks for on the terminal",
                             done.returncode == 0 and done.stdout.decode() == printed and not box_log.exists(),
                             f"{done.returncode}: {done.stdout.decode(errors='replace')[:200]!r}")
                after = sorted(str(p) for p in root.rglob("*"))
                checks.check(f"{args}: no file made or removed", after == before, repr(set(after) ^ set(before)))
                with open("/dev/full", "wb") as full:
                    done = subprocess.run([str(copies["one"]), *shlex.split(args)], cwd=copies["one"].parent,
                                          env=env, stdin=subprocess.DEVNULL, stdout=full, stderr=subprocess.PIPE,
                                          timeout=30)
                checks.check(f"{args} > /dev/full: exit code 2 and a word on the standard error",
                             done.returncode == 2 and done.stderr.decode() == "Auto Quillmer: " + TEXT["OutputFailed"],
                             f"{done.returncode}: {done.stderr.decode(errors='replace')[:200]!r}")
        finally:
            if locked:
                subprocess.run(["chattr", "-i", str(autostart)], check=False)
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
