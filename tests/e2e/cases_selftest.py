"""The harness checks itself with aqprobe.exe: boxes, icons, the exact command line, the
faked clock and the shell's opening of a workbook."""

from tests.e2e.e2ecase import ENGLISH_SYSTEM, JAPANESE_SYSTEM, Box, case

PROBE_BOXES = [
    Box("Auto Quillmer の設定",
        "起動したい「Dozeboard」は、[Type-1] ですか？\r\n\r\n"
        "\u3000[Type-1] （睡眠１回まで/日）\u3000→\u3000\"はい\" \u3000を、\r\n"
        "\u3000[Type-3] （睡眠３回まで/日）\u3000→\u3000\"いいえ\" を、\r\n"
        "\u3000押して下さい。", "question", ("yes", "no", "cancel")),
    Box("Auto Quillmer", "何もせずに終了します。\r\n（設定は完了していません）", "none", ("ok",)),
    Box("Auto Quillmer",
        "\"Dozeboardt1.xls\" または \"Dozeboardt3.xls\" が見つかりませんでした。\u3000終了します。",
        "hand", ("ok",)),
    Box("Auto Quillmer", "日付が逆転しています。", "exclamation", ("yes", "no")),
    Box("Auto Quillmer", "お知らせ", "asterisk", ("ok",)),
]


@case("harness: boxes, icons, buttons and answers of a probe program", tags=("selftest",))
def selftest_boxes(t):
    probe = t.copy_helper("aqprobe.exe")
    out = t.records / "probe-results.txt"
    run = t.launch(program=probe, cmdline=f'"{t.win(probe)}" boxes {t.win(out)} 7',
                   answers=["cancel", "ok", "ok", "no"])
    t.boxes(run, *PROBE_BOXES)
    t.exit_code(run, 7)
    # The fifth box had no scripted answer: it is flagged and answered with OK.
    t.equal([b.unexpected for b in run.boxes], [False, False, False, False, True],
            "boxes flagged as unexpected")
    t.equal(out.read_text() if out.exists() else None, "2\n1\n1\n7\n1\n",
            "what MessageBoxA returned")
    t.notes.clear()  # the unexpected box is the point here


@case("harness: the raw command line and a folder ending in 表 reach the program unchanged",
      tags=("selftest",))
def selftest_command_line(t):
    t.set_folder("時刻表")
    probe = t.copy_helper("aqprobe.exe")
    out = t.records / "probe-args.txt"
    cmdline = (f'  "{t.win(probe)}"  args {t.win(out)} ""  /op"en" a\\"b c"\tx '
               "-OPEN")
    run = t.launch(program=probe, cmdline=cmdline)
    t.exit_code(run, 0)
    if not t.check(out.exists(), "the probe wrote nothing"):
        return
    lines = dict(line.split("=", 1) for line in out.read_text().splitlines())
    t.equal(lines.get("acp"), "932", "ANSI code page")
    t.equal(bytes.fromhex(lines.get("cmdline", "")), cmdline.encode("cp932"),
            "GetCommandLineA bytes")
    module = bytes.fromhex(lines.get("module", ""))
    t.equal(module, t.win(probe).encode("cp932"), "GetModuleFileNameA bytes")
    t.check(b"\x95\x5c\x5c" in module, "表 is 0x95 0x5C, followed by the separator")


@case("harness: faketime sets the clock the program sees", tags=("selftest",))
def selftest_clock(t):
    probe = t.copy_helper("aqprobe.exe")
    out = t.records / "probe-clock.txt"
    run = t.launch(program=probe, cmdline=f'"{t.win(probe)}" clock {t.win(out)}',
                   faketime="2004-07-01 07:30:00")
    t.exit_code(run, 0)
    seen = out.read_text().strip() if out.exists() else ""
    t.check(seen.startswith("2004-07-01 07:30:0"), f"GetLocalTime gave {seen!r}")


@case("harness: the shell opens .xls files with the opener, or fails without association",
      tags=("selftest",))
def selftest_open(t):
    probe = t.copy_helper("aqprobe.exe")
    book = t.folder / "Dozeboard_2004-06.xls"
    book.write_bytes(b"book")
    run = t.launch(program=probe, cmdline=f'"{t.win(probe)}" open {t.win(book)} 3')
    t.check(run.exit_code is not None and run.exit_code > 32,
            f"ShellExecuteA gave {run.exit_code}")
    t.equal([(o["args"], o["show"]) for o in run.opened], [([t.win(book)], 3)],
            "opened workbooks (arguments, show command)")
    run = t.launch(program=probe, cmdline=f'"{t.win(probe)}" open {t.win(book)} 5',
                   associate=False)
    t.exit_code(run, 31)  # SE_ERR_NOASSOC
    t.nothing_opened(run)


@case("harness: a Japanese system (locale 0x411, yyyy/MM/dd, H:mm:ss)", tags=("selftest",))
def selftest_locale(t):
    t.equal(t.regional_settings(), JAPANESE_SYSTEM, "regional settings")


@case("harness: an English system for one run (0x409, M/d/yyyy, h:mm:ss tt), then the "
      "Japanese one again with its yyyy/MM/dd", tags=("selftest",))
def selftest_other_locale(t):
    t.equal(t.regional_settings("en_US.UTF-8"), ENGLISH_SYSTEM, "regional settings in English")
    t.equal(t.regional_settings(), JAPANESE_SYSTEM, "regional settings in Japanese afterwards")
