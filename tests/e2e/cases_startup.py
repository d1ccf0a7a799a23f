"""The start at sign-in: "/startup" makes the shortcut "Auto Quillmer.lnk" in the user's
Startup folder (read back here through the shell-link interface by aqprobe), the shell
starts the launcher through it from another current folder, "/nostartup" removes only a
shortcut that starts this program, and a Startup folder that cannot be written gives an
error box, a non-zero exit and nothing left behind.

Every step of the table below is one run of a program copy with a switch, and the one box
and exit code it must give; the checks after a step look at the Startup folder.
"""

import struct
import zlib
from pathlib import Path

from tests.e2e.cases_workbook import settings_text
from tests.e2e.e2ecase import OPEN_QUESTION, PROGRAM, SETTINGS, TEMPLATE1, TEMPLATE3, TEXTS, Box, case

LINK = "Auto Quillmer.lnk"
DESCRIPTION = "今月の睡眠記録表「Dozeboard」を 1 日 1 回開きます。"
FAILED_EXIT = 2
REPO = Path(__file__).resolve().parents[2]
SHOT = REPO / "build" / "e2e-shots" / "startup-info-box.png"


def launch(t, **options):
    """A run with room for the shell-link and known-folder code to load on a busy machine."""
    return t.launch(timeout=60, **options)


def startup_box(headline: str, path: str, icon: str = "asterisk", reason: str = "") -> Box:
    text = headline + (f"\r\n{reason}" if reason else "")
    text += f"\r\n\r\n場所：\u3000{path}" if path else ""
    return Box("Auto Quillmer", text, icon, ("ok",))


ADDED = "スタートアップに登録しました。次回のサインインから自動で起動します。"
# Registered from a folder without templates: the box says they are missing.
ADDED_BARE = ADDED + "\r\n" + TEXTS["StartupNoTemplate"]
ADD_FAILED = "スタートアップに登録できませんでした。"
REMOVED = "スタートアップから外しました。次回のサインインからは自動で起動しません。"
NONE = "スタートアップには登録されていません。"
NOT_OURS = ("スタートアップにある同じ名前の登録は別の場所のプログラムを起動するものなので、"
            "そのままにしました。")
REMOVE_FAILED = "スタートアップから外せませんでした。"
DENIED = "スタートアップ フォルダーへの書き込みが拒否されました。"
NO_FOLDER = "スタートアップ フォルダーが見つかりません。"


def startup_folder(t) -> tuple[str, Path]:
    """The user's Startup folder of the prefix (its Windows and Unix names), made empty."""
    probe = t.copy_helper("aqprobe.exe", into=t.records)
    out = t.records / "startup-folder.txt"
    run = launch(t, program=probe, cmdline=f'"{t.win(probe)}" startup {t.win(out)}')
    t.exit_code(run, 0)
    win = out.read_text(encoding="utf-8").strip()
    unix = t.session.unix_path(win)
    unix.mkdir(parents=True, exist_ok=True)
    for entry in unix.iterdir():
        entry.unlink()
    return win, unix


def link_fields(t, link: Path) -> dict[str, str]:
    """The shortcut's fields as IShellLinkW gives them back."""
    probe = t.records / "aqprobe.exe"
    out = t.records / f"link-{len(t.runs) + 1}.txt"
    run = launch(t, program=probe, cmdline=f'"{t.win(probe)}" link "{t.win(link)}" {t.win(out)}')
    t.exit_code(run, 0)
    if not t.check(out.exists(), "the probe could not read the shortcut"):
        return {}
    return dict(line.split("=", 1) for line in out.read_text(encoding="utf-8").splitlines())


def expect_link(t, link: Path, program: Path) -> None:
    """The shortcut starts the program (its item list names it exactly), from its folder,
    with no arguments, its icon and the description. The plain target path is compared
    too where the path has a code page 932 form: Wine keeps that path only in the ANSI
    code page, while Windows keeps it in Unicode as well."""
    fields = link_fields(t, link)
    keys = ["idlist", "workdir", "arguments", "icon", "description"]
    expected = {"idlist": t.win(program), "workdir": t.win(program.parent), "arguments": "",
                "icon": f"{t.win(program)},0", "description": DESCRIPTION}
    try:
        t.win(program).encode("cp932")
        keys.append("target")
        expected["target"] = t.win(program)
    except UnicodeEncodeError:
        t.notes.append(f"the target as GetPath gives it: {fields.get('target')}")
    t.equal({k: fields.get(k) for k in keys}, expected, "the shortcut's fields")


def png_from_bmp(bmp: bytes) -> bytes:
    """A 32-bit bottom-up bitmap file as a PNG picture."""
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", bmp, 18)
    rows = []
    for y in range(abs(height) - 1, -1, -1) if height > 0 else range(-height):
        row = bmp[offset + y * width * 4: offset + (y + 1) * width * 4]
        rows.append(b"\0" + b"".join(bytes((row[i + 2], row[i + 1], row[i]))
                                     for i in range(0, len(row), 4)))

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


@case("/startup: the shortcut's target, working folder, arguments, icon and description, "
      "read back through IShellLinkW; nothing of the daily run", tags=("startup",))
def startup_makes_the_shortcut(t):
    win_startup, startup = startup_folder(t)
    # A folder with a blank, a Japanese name (表 has the trail byte 0x5C) and a character
    # outside code page 932.
    t.set_folder("Café Q\\睡眠 記録表")
    t.put(TEMPLATE1, TEMPLATE3)
    program = t.folder / PROGRAM
    bmp = t.records / "info-box.bmp"
    run = launch(t, answers=["ok"], args="/startup", shot=bmp)
    t.boxes(run, startup_box(ADDED, f"{win_startup}\\{LINK}"))
    t.exit_code(run, 0)
    t.files(startup, [LINK])
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], TEMPLATE3[0]])
    expect_link(t, startup / LINK, program)
    if t.check(bmp.exists(), "no picture of the box"):
        SHOT.parent.mkdir(parents=True, exist_ok=True)
        SHOT.write_bytes(png_from_bmp(bmp.read_bytes()))
        t.notes.append(f"picture of the box: {SHOT.relative_to(REPO)}")


@case("started through the shortcut from another current folder: the settings and the "
      "workbook are the program folder's", tags=("startup",))
def startup_shortcut_starts_it(t):
    _, startup = startup_folder(t)
    elsewhere = t.base / "elsewhere"
    elsewhere.mkdir()
    t.set_folder("A B\\睡眠表")
    # The settings say: open maximised (3). Without them the defaults would say 5.
    t.put(TEMPLATE1, (SETTINGS, settings_text("2004/06/30 7:20:00", "2004/06/30 7:20:00",
                                              window=3)))
    # "/open" beside "/startup" only registers.
    run = launch(t, answers=["ok"], args="-STARTUP /open", cwd=elsewhere)
    t.exit_code(run, 0)
    t.nothing_opened(run)
    t.files(t.folder, [PROGRAM, TEMPLATE1[0], SETTINGS])
    expect_link(t, startup / LINK, t.folder / PROGRAM)
    # The real clock: the shell's start waits on timers that a frozen clock would stop.
    run = launch(t, answers=["yes"], program=startup / LINK, shell_open=True, cwd=elsewhere,
                 wait_for=t.folder / PROGRAM)
    t.boxes(run, OPEN_QUESTION)
    t.exit_code(run, 0)
    books = [name for name in t.listing() if name.startswith("Dozeboard_")]
    t.equal(len(books), 1, "workbooks made in the program's folder")
    t.equal([(o["args"], o["show"]) for o in run.opened],
            [([t.win(t.folder / name)], 3) for name in books], "opened workbooks (show command)")
    lines = t.ini_lines(t.folder) or []
    t.check("WindowSize=3" in lines and not any(line.startswith("Last_XLS=2004") for line in lines),
            f"the program folder's settings were not used and rewritten: {lines}")
    t.files(elsewhere, [])


# Steps of one case: which copy of the program runs (the folders "one" and "two"), with
# which arguments; the box it must show and its exit code; then which copy the shortcut
# must start (None: there must be none).
SWITCH_STEPS = [
    ("one", "/nostartup", NONE, 0, None),
    ("one", '"/StartUp"', ADDED_BARE, 0, "one"),
    ("two", "/nostartup", NOT_OURS, 0, "one"),   # another program's shortcut stays
    ("two", "-startup", ADDED_BARE, 0, "two"),    # and is replaced by a new one
    ("one", "-NoStartup", NOT_OURS, 0, "two"),
    ("two", "/startup /nostartup", REMOVED, 0, None),  # removing goes first
    ("two", "/nostartup", NONE, 0, None),
]


@case("/startup and /nostartup from two copies: made, replaced, only our own removed",
      tags=("startup",))
def startup_switch_steps(t):
    win_startup, startup = startup_folder(t)
    programs = {}
    for name in ("one", "two"):
        folder = t.set_folder(name)
        programs[name] = folder / PROGRAM
    for number, (copy, args, headline, code, target) in enumerate(SWITCH_STEPS, 1):
        t.folder = programs[copy].parent
        run = launch(t, answers=["ok"], args=args)
        t.boxes(run, startup_box(headline, f"{win_startup}\\{LINK}"))
        t.exit_code(run, code)
        t.equal(t.listing(startup), [LINK] if target else [], f"step {number}: Startup folder")
        if target:
            fields = link_fields(t, startup / LINK)
            t.equal(fields.get("target"), t.win(programs[target]), f"step {number}: target")
        t.equal(t.listing(t.folder), [PROGRAM], f"step {number}: the program's folder")


@case("a read-only or missing Startup folder: the error box, exit code 2, nothing left",
      tags=("startup",))
def startup_folder_unwritable(t):
    win_startup, startup = startup_folder(t)
    where = f"{win_startup}\\{LINK}"
    t.make_immutable(startup)
    run = launch(t, answers=["ok"], args="/startup")
    t.boxes(run, startup_box(ADD_FAILED, where, "hand", DENIED))
    t.exit_code(run, FAILED_EXIT)
    t.files(startup, [])
    t.cleanup()
    # An existing shortcut in a folder that cannot be changed stays.
    launch(t, answers=["ok"], args="/startup")
    t.make_immutable(startup)
    run = launch(t, answers=["ok"], args="/nostartup")
    t.boxes(run, startup_box(REMOVE_FAILED, where, "hand", DENIED))
    t.exit_code(run, FAILED_EXIT)
    t.files(startup, [LINK])
    t.cleanup()
    (startup / LINK).unlink()
    startup.rmdir()
    run = launch(t, answers=["ok"], args="/startup")
    t.boxes(run, startup_box(ADD_FAILED, where, "hand", NO_FOLDER))
    t.exit_code(run, FAILED_EXIT)
    t.check(not startup.exists(), "the Startup folder was made")
    startup.mkdir()
    t.files(t.folder, [PROGRAM])
