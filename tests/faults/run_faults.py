#!/usr/bin/env python3
"""Runs every case of aqfaults and checks the box it shows and its exit code.

Usage: run_faults.py [--wine RUNNER [--emulated]] PROGRAM

With --wine the program is a Windows build, started through RUNNER (tests/harness/wine-run.sh)
on a Japanese system. --emulated: the RUNNER is the emulated 32-bit Wine
(tests/harness/wine32-run.sh), whose processor faults differ (EMULATED). The program writes its boxes
to the standard error stream (--print), in UTF-8 as the message boxes get them. Ends with
"N passed, N failed".
"""
import os
import re
import subprocess
import sys

from tests.harness.checklist import Checks, take_pattern, wanted

HEX = "[0-9A-F]{8}"


# What the 32-bit Wine under qemu-i386 hands the program for some processor faults. The
# emulator does not give Wine the trap number of a fault, from which Wine tells an access
# violation, an integer division fault and a privileged instruction apart (it then takes
# each for an illegal instruction or an invalid floating-point operation), and it raises
# no x87 floating-point exceptions at all. The program's guard reports what it is handed;
# the same program on Windows (and the win64 one under Wine) gets the real fault.
EMULATED = {
    "access-read": "illegal", "access-write": "illegal", "privileged": "illegal",
    "divzero": "fpinvalid", "intoverflow": "fpinvalid",
}


def cases(windows, module, emulated=False):
    """(case, exit code, caption, first line, second line) as regular expressions; a case
    whose caption is None shows no box."""
    report = "アプリケーション エラー"

    def first(cls, where=re.escape(module)):
        return f"{cls}がモジュール {where} の {HEX} で発生しました。"

    av = (f"モジュール '{re.escape(module)}' のアドレス [0-9A-F]{{8,}} "
          "でアドレス 0{6,}10 に対する{}違反がおきました。\\.")
    out = [
        ("ok", 0, None, None, None),
        ("convert", 1, report, first("EConvertError"),
         re.escape("'2004/13/01' は正しい日付ではありません.")),
        ("fopen", 1, report, first("EFOpenError"), re.escape("ファイル AutoQuillmer.ini は開けません.")),
        ("foreign", 1, report, first("std::runtime_error"), ""),
        # Raised in the allocation function: a shared runtime library where there is one.
        ("memory", 1, report, first("EOutOfMemory", r"\S+"), re.escape("メモリが足りません.")),
        ("access-read", 1, report, first("EAccessViolation"), av.replace("{}", "読み込み")),
        ("access-write", 1, report, first("EAccessViolation"), av.replace("{}", "書き込み")),
        ("divzero", 1, report, first("EDivByZero"), re.escape("ゼロによる除算.")),
        ("stack", 1, report, first("EStackOverflow"), re.escape("スタック オーバーフロー.")),
        ("privileged", 1, report, first("EPrivilege"), re.escape("特権命令.")),
        ("fpdivzero", 1, report, first("(EZeroDivide|EInvalidOp)"),
         "(浮動小数点数のゼロによる除算|無効な浮動小数点演算)\\."),
        ("early-fault", 216, "Error", f"Runtime error 216 at {HEX}", None),
    ]
    if windows:
        out += [
            ("intoverflow", 1, report, first("(EIntOverflow|EDivByZero)"),
             "(整数オーバーフロー|ゼロによる除算)\\."),
            ("illegal", 1, report, first("EExternalException"), re.escape("外部例外 C000001D.")),
            # Raised inside the system's RaiseException.
            ("external", 1, report, first("EExternalException", r"\S+"), re.escape("外部例外 E0001234.")),
        ]
        if emulated:
            illegal = ("", 1, report, first("EExternalException"), re.escape("外部例外 C000001D."))
            invalid = ("", 1, report, first("EInvalidOp"), re.escape("無効な浮動小数点演算."))
            shown = {"illegal": illegal, "fpinvalid": invalid}
            out = [(name,) + shown[EMULATED[name]][1:] if name in EMULATED else
                   (name, code, caption, line1, line2)
                   for name, code, caption, line1, line2 in out]
            out = [("fpdivzero", 0, None, None, None) if c[0] == "fpdivzero" else
                   # An access violation during start-up: the runtime error of an
                   # unhandled fault (217) rather than that of an access violation (216).
                   ("early-fault", 217, "Error", f"Runtime error 217 at {HEX}", None)
                   if c[0] == "early-fault" else c for c in out]
    else:
        out += [
            # The processor reports the quotient's overflow as a division fault.
            ("intoverflow", 1, report, first("EDivByZero"), re.escape("ゼロによる除算.")),
            ("illegal", 1, report, first("EExternalException"), re.escape("外部例外 402.")),
            # Raised where the signal came in: inside the C library.
            ("controlc", 1, report, first("EControlC", r"\S+"), re.escape("Ctrl+C による中断.")),
        ]
    return out


def boxes_of(text):
    """[(flags, caption, text)] from the program's printed boxes."""
    found = []
    for m in re.finditer(r"BOX (\d+) ([^\n]*)\n(.*?)\nEND\n", text, re.S):
        found.append((int(m.group(1)), m.group(2), m.group(3)))
    return found


def main(args):
    take_pattern(args)
    runner = []
    windows = emulated = False
    if args and args[0] == "--wine":
        runner = [args[1]]
        windows = True
        args = args[2:]
        if args and args[0] == "--emulated":
            emulated = True
            args = args[1:]
    program = args[0]
    module = os.path.basename(program)
    env = dict(os.environ)
    env["LC_ALL"] = "ja_JP.UTF-8"  # a Japanese system: code page 932 under Wine
    encoding = "utf-8"  # boxes are handed over in UTF-8 on every system
    checks = Checks()
    for case, code, caption, line1, line2 in cases(windows, module, emulated):
        if not wanted(case):
            continue
        try:
            r = subprocess.run(runner + [program, case, "--print"], capture_output=True,
                               timeout=120, env=env, stdin=subprocess.DEVNULL)
            returncode, err = r.returncode, r.stderr.decode(encoding, errors="replace")
        except subprocess.TimeoutExpired:
            returncode, err = None, "timed out"
        boxes = boxes_of(err)
        problems = []
        if returncode != code:
            problems.append(f"exit code {returncode}, wanted {code}")
        if caption is None:
            if boxes:
                problems.append(f"boxes shown: {boxes}")
        elif len(boxes) != 1:
            problems.append(f"{len(boxes)} boxes, wanted 1")
        else:
            flags, got_caption, text = boxes[0]
            want_flags = 8208 if caption != "Error" else 0
            lines = text.split("\n")
            if flags != want_flags:
                problems.append(f"flags {flags}, wanted {want_flags}")
            if got_caption != caption:
                problems.append(f"caption {got_caption!r}")
            if not re.fullmatch(line1, lines[0]):
                problems.append(f"first line {lines[0]!r}")
            if line2 is None and len(lines) != 1:
                problems.append(f"lines {lines!r}")
            if line2 is not None and (len(lines) != 2 or not re.fullmatch(line2, lines[1])):
                problems.append(f"second line {lines[1:]!r}")
        shown = " | ".join(b[2].replace("\n", " / ") for b in boxes) or "(no box)"
        if not checks.check(f"{case}: exit {returncode}: {shown}", not problems, "; ".join(problems)):
            if not boxes:
                print("     " + err.strip().replace("\n", "\n     ")[:2000])
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
