"""The one home of a Wine session's life (prefix, server, X server, clock, waiting program,
clean-up), for the end-to-end tests, the unit-test stages and the start-up benchmark.

One WineSession per test run: it starts Xvfb on a free display, makes a fresh Wine prefix
(64-bit with the system's Wine through tests/harness/wine-prefix.sh; 32-bit with
`wine32=True`, a copy of the seed that tests/harness/wine32-run.sh made with it, see below)
under a temporary folder (Japanese system: LC_ALL=ja_JP.UTF-8, code page 932; no
Mono/Gecko installers; no debugger or crash dialog; windows not handed to a window
manager, see below), keeps one wineserver running for the whole session so that each
program starts fast, and takes everything down again at the end. A plain session
(`plain=True`, `python3 -m tests.harness.wine --plain --prefix DIR`) is only a given prefix
with its server kept up and, at will, a waiting program; the caller's programs run in it
through tests/harness/wine-run.sh or wine32-run.sh.

Things learned about Wine 8 that this relies on:
- Without a window manager, Wine waits up to 2 s for every closing window of a managed
  window to be withdrawn ("wait_for_withdrawn_state"). With HKCU\\Software\\Wine\\X11 Driver
  "Managed"="N" no window is managed and message boxes close at once.
- The desktop process (explorer.exe) is started by the first program that needs it and
  would otherwise land in the driver's job object; the driver starts it first.
- libfaketime reaches Windows programs: GetLocalTime reads the clock of the program's own
  process, so faking only the started programs is enough, even with an unfaked wineserver
  already running. FAKETIME='@2004-07-01 07:30:00' starts a running clock at that moment
  in each process, FAKETIME='2004-07-01 07:30:00' stands it still there. NO_FAKE_STAT=1
  keeps file times real, FAKETIME_DONT_FAKE_MONOTONIC=1 keeps timeouts real.
- The library is preloaded directly (`FakeClock`), not through the `faketime` program. That
  program makes a semaphore and a shared memory named after its process id in /dev/shm and
  removes them when its child ends (never when it is killed); a process whose
  FAKETIME_SHARED names a pair that is gone (a Wine service that a faked run started and
  that outlives it) makes a pair named after its own id and leaves it behind; and either
  fails to start when a pair of its process id is left over (the program says "sem_open:
  File exists", a process ends with 1 before it runs a line). The session makes one pair of
  its own under a name no process id can take, keeps it for all its programs and removes
  it at the end.
- Wine 8's Japanese short date layout is yyyy/M/d; the session sets the user's regional
  setting to yyyy/MM/dd (as many Japanese systems have it), the time stays H:mm:ss.
- The time zone of a Windows program is that of its own process (TZ), also with a running
  wineserver. The session uses TZ=Asia/Tokyo.
- Wine hands a command line given to CreateProcess to the program unchanged, byte for byte
  after conversion to code page 932 (leading blanks, tabs, quotes, the 0x5C trail byte of
  表); starting through `wine prog args` instead would rebuild it from the arguments.
- The locale is taken per process from LC_ALL: a program started with LC_ALL=en_US.UTF-8
  in the same prefix is on an English system (locale 0x409, code page 1252, M/d/yyyy,
  12-hour clock), and the programs it starts inherit that. But every process whose locale
  differs from the one last recorded in HKCU\Control Panel\International rewrites that
  key with its own locale's values, dropping the user's own settings there (yyyy/MM/dd).
  So `run(..., locale=...)` notes which locale the key holds, and the next run in the
  session's own locale first puts the session's regional settings back (about 1 s).

The 32-bit Wine (tests/harness/wine32-run.sh builds it) is the i386 Wine run by qemu-i386 from a
private root. There:
- libfaketime cannot reach the emulated programs (the emulator is a static program). The
  root preloads its own clock library instead (tests/harness/wine32-clock.c): AQ_CLOCK_AT stands
  the wall clock of the processes started still at a moment, AQ_CLOCK_FROM runs it from a
  moment on from each process's start (as faketime's "@" does); `run` turns a `faketime`
  into one of them, so the same cases get the same clock on both Wines.
- A start costs seconds of emulated loading; while some program of the prefix runs, much of
  Wine's own start-up is skipped. The session keeps one running (`keep_alive`).
"""

from __future__ import annotations

import ctypes
import os
import secrets
import select
import shutil
import subprocess
import tempfile
import time
from datetime import datetime
from pathlib import Path, PureWindowsPath
from zoneinfo import ZoneInfo

BASE_LOCALE = "ja_JP.UTF-8"

WINE_ENV = {
    "WINEDEBUG": "-all",
    # No Mono/Gecko installers; no host file associations pulled in.
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
    "LC_ALL": BASE_LOCALE,
    "LANG": BASE_LOCALE,
    "TZ": "Asia/Tokyo",
}

# The session's own settings, on top of those of every test prefix (no debugger, no crash
# dialog: tests/harness/wine-prefix.sh).
REGISTRY_SETUP = r"""Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Control Panel\International]
"sShortDate"="yyyy/MM/dd"

"""


class WineError(RuntimeError):
    pass


class FakeClock:
    """libfaketime for the programs of one session: the environment that preloads it, and
    the semaphore and shared memory (FAKETIME_SHARED) that its processes share."""

    LIBRARY_GLOB = "/usr/lib/*/faketime/libfaketime.so.1"

    def __init__(self):
        found = sorted(Path("/").glob(self.LIBRARY_GLOB.lstrip("/")))
        if not found:
            raise WineError(f"libfaketime is missing ({self.LIBRARY_GLOB}): run scripts/setup.sh --tests")
        self.library = str(found[0])
        self.name = f"/aq-clock-{secrets.token_hex(8)}"
        self.files = [Path("/dev/shm/sem." + self.name[1:]), Path("/dev/shm/" + self.name[1:])]
        libc = ctypes.CDLL(None, use_errno=True)
        libc.sem_open.restype = ctypes.c_void_p
        libc.sem_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
        libc.sem_close.argtypes = [ctypes.c_void_p]
        semaphore = libc.sem_open(self.name.encode(), os.O_CREAT | os.O_EXCL, 0o600, 1)
        if not semaphore:  # SEM_FAILED
            raise WineError(f"sem_open {self.name}: {os.strerror(ctypes.get_errno())}")
        libc.sem_close(semaphore)
        memory = os.open(self.files[1], os.O_CREAT | os.O_EXCL | os.O_RDWR, 0o600)
        try:
            os.ftruncate(memory, 8)  # the library's shared call counter
        finally:
            os.close(memory)

    def env(self, moment: str, frozen: bool) -> dict[str, str]:
        return {"LD_PRELOAD": self.library, "FAKETIME": ("" if frozen else "@") + moment,
                "FAKETIME_SHARED": f"{self.name} {self.name}", "NO_FAKE_STAT": "1",
                "FAKETIME_DONT_FAKE_MONOTONIC": "1"}

    def close(self) -> None:
        for path in self.files:
            path.unlink(missing_ok=True)


REPO = Path(__file__).resolve().parents[2]


class Wine32:
    """The emulated 32-bit Wine: the emulator and the root that tests/harness/wine32-run.sh keeps
    (made on first use)."""

    def __init__(self):
        done = subprocess.run(["bash", str(REPO / "tests" / "harness" / "wine32-run.sh"), "--env"],
                              stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              check=False)
        values = dict(line.split("=", 1) for line in done.stdout.splitlines() if "=" in line)
        if done.returncode != 0 or "AQ_WINE32_ROOT" not in values:
            raise WineError(f"the 32-bit Wine is not available: {done.stderr.strip()[-2000:]}")
        self.qemu = values["AQ_WINE32_QEMU"]
        self.root = Path(values["AQ_WINE32_ROOT"])
        # A complete prefix to copy: booting a new one takes minutes emulated.
        self.seed = Path(values["AQ_WINE32_SEED"])

    @property
    def wine(self) -> list[str]:
        return [self.qemu, "-L", str(self.root), str(self.root / "usr/lib/wine/wine")]

    @property
    def wineserver(self) -> str:
        return str(self.root / "usr/lib/wine/wineserver")


def run_captured(command: list[str], env: dict[str, str], timeout: float,
                 cwd: Path | None = None) -> subprocess.CompletedProcess:
    """Runs a command with its output in a file, not a pipe: a wineserver started on the
    way inherits the output and outlives the command, and a pipe would stay open with it."""
    with tempfile.TemporaryFile() as output:
        done = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=output,
                              stderr=subprocess.STDOUT, timeout=timeout, check=False, cwd=cwd)
        output.seek(0)
        done.stdout = output.read()
    return done


def end_process(process: subprocess.Popen | None, seconds: float) -> None:
    """Asks a process started by the session to end, and kills it after `seconds`."""
    if process is None:
        return
    if process.poll() is None:
        process.terminate()
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class WineSession:
    """With `plain`, the session is only a prefix (`prefix`, kept; made when it is missing)
    with its server kept up and, at will, a keeper: no X server, no settings of its own, and
    the caller's environment, as the unit tests and the start-up benchmark want it."""

    def __init__(self, root: Path | None = None, keep: bool = False, log=None,
                 wine32: bool = False, prefix: Path | None = None, plain: bool = False):
        self.keep = keep
        self.plain = plain
        self.wine32 = Wine32() if wine32 else None
        # Time-outs of programs run in the session are this many times longer.
        self.time_factor = 5 if wine32 else 1
        self.keeper: subprocess.Popen | None = None
        self.keeper_args: list[str] = []
        self.clock: FakeClock | None = None
        self.log = log or (lambda text: None)
        self.root = Path(root) if root else Path(tempfile.mkdtemp(prefix="aq-e2e-"))
        self.prefix = Path(prefix).absolute() if prefix else self.root / "prefix"
        self.server_log = self.root / "wineserver.log"
        self.xvfb: subprocess.Popen | None = None
        self.display = ""
        # The locale whose values HKCU\Control Panel\International holds.
        self.registry_locale = BASE_LOCALE

    # --- lifetime ---------------------------------------------------------------------

    def __enter__(self) -> "WineSession":
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> None:
        self.root.mkdir(parents=True, exist_ok=True)
        started = time.monotonic()
        if not self.plain:
            self._start_xvfb()
        self._make_prefix()
        self.log(f"wine session ready in {time.monotonic() - started:.1f}s "
                 f"(display {self.display}, prefix {self.prefix})")

    def stop(self) -> None:
        if self.prefix.exists():
            self._server("-k")
            self._server("-w")
        self._reap_keeper()
        end_process(self.xvfb, 10)
        self.xvfb = None
        if self.clock is not None:
            self.clock.close()
            self.clock = None
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def _start_xvfb(self) -> None:
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
            os.close(write_end)
            write_end = -1
            text = b""
            deadline = time.monotonic() + 20
            while not text.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(remaining, 0))
                if not ready:
                    raise WineError("Xvfb did not report its display")
                chunk = os.read(read_end, 64)
                if not chunk:
                    raise WineError("Xvfb ended before reporting its display")
                text += chunk
            self.display = ":" + text.decode().strip()
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

    def _make_prefix(self) -> None:
        self.prefix.mkdir(parents=True, exist_ok=True)
        if (self.prefix / "system.reg").is_file() and not (self.prefix / ".complete").exists():
            pass  # made before
        elif self.wine32:
            shutil.copytree(self.wine32.seed, self.prefix, symlinks=True, dirs_exist_ok=True)
            (self.prefix / ".complete").unlink(missing_ok=True)
        else:
            self._quiet(["bash", str(REPO / "tests" / "harness" / "wine-prefix.sh")], timeout=240)
        if self.plain:
            self._server("-p")
            return
        reg = self.root / "setup.reg"
        reg.write_bytes(b"\xff\xfe" + REGISTRY_SETUP.replace("\n", "\r\n").encode("utf-16-le"))
        # From here on one wineserver serves the whole session.
        self._server("-p")
        self._apply_registry()

    @property
    def wine_command(self) -> list[str]:
        return self.wine32.wine if self.wine32 else ["wine"]

    @property
    def wineserver_command(self) -> str:
        return self.wine32.wineserver if self.wine32 else "wineserver"

    def _server(self, option: str) -> None:
        # What the server says stays in the session's log: it alone tells why it ended a
        # program (a "Protocol error" kills it with exit code 1 and no word of its own).
        with open(self.server_log, "ab") as log:
            subprocess.run([self.wineserver_command, option], env=self.env(),
                           stdin=subprocess.DEVNULL, stdout=log, stderr=log, timeout=30,
                           check=False)

    def server_log_size(self) -> int:
        return self.server_log.stat().st_size if self.server_log.exists() else 0

    def server_messages(self, since: int) -> str:
        """What the session's wineserver printed from byte `since` of its log on."""
        if self.server_log_size() <= since:
            return ""
        with open(self.server_log, "rb") as log:
            log.seek(since)
            return log.read().decode(errors="replace")

    def keep_alive(self, args: list[str]) -> None:
        """Keeps a program (`wine ARGS`, one that only waits) running in the prefix until the
        session ends, so that the other programs start faster; again after a time-out."""
        self.keeper_args = list(args)
        self._reap_keeper()
        self.keeper = subprocess.Popen([*self.wine_command, *args], env=self.env(),
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)

    def _reap_keeper(self) -> None:
        end_process(self.keeper, 30)
        self.keeper = None

    def _apply_registry(self) -> None:
        """Imports the session's registry settings; regedit runs in the session's locale,
        so the regional settings are that locale's, with the session's own changes."""
        self._quiet([*self.wine_command, "regedit", "/S",
                     self.windows_path(self.root / "setup.reg")], timeout=120)
        self.registry_locale = BASE_LOCALE

    def _quiet(self, command: list[str], timeout: float) -> None:
        done = run_captured(command, env=self.env(), timeout=timeout)
        if done.returncode != 0:
            raise WineError(f"{' '.join(command)} failed ({done.returncode}): "
                            f"{done.stdout.decode(errors='replace')[-2000:]}")

    # --- paths and environment --------------------------------------------------------

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def windows_path(self, path: Path | str) -> str:
        """The Windows name of a Unix path: C:\\... inside drive_c, Z:\\... elsewhere."""
        path = Path(path).absolute()
        try:
            relative = path.relative_to(self.drive_c)
            return str(PureWindowsPath("C:\\", *relative.parts))
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def unix_path(self, windows: str) -> Path:
        win = PureWindowsPath(windows)
        if win.drive.upper() == "C:":
            return self.drive_c.joinpath(*win.parts[1:])
        if win.drive.upper() == "Z:":
            return Path("/").joinpath(*win.parts[1:])
        raise ValueError(f"no Unix path for {windows}")

    def env(self, extra: dict[str, str] | None = None) -> dict[str, str]:
        if self.plain:
            env = dict(os.environ)
            env.setdefault("WINEDEBUG", WINE_ENV["WINEDEBUG"])
            env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
            # The programs run through tests/harness/wine-run.sh or wine32-run.sh take it.
            env["AQ_WINEPREFIX"] = str(self.prefix)
        else:
            env = {key: value for key, value in os.environ.items()
                   if not key.startswith(("WINE", "FAKETIME", "LC_", "AQ_CLOCK_")) and key not in
                   ("LD_PRELOAD", "DISPLAY", "NO_FAKE_STAT", "LANGUAGE")}
            env.update(WINE_ENV)
        env["WINEPREFIX"] = str(self.prefix)
        if self.wine32:
            env["WINELOADERNOEXEC"] = "1"
            env["WINESERVER"] = self.wine32.wineserver
        if self.display:
            env["DISPLAY"] = self.display
        env.update(extra or {})
        return env

    # --- running ----------------------------------------------------------------------

    def run(self, args: list[str], timeout: float, env: dict[str, str] | None = None,
            faketime: str | None = None, frozen: bool = False,
            locale: str | None = None) -> subprocess.CompletedProcess:
        """Runs `wine ARGS`, optionally with a clock that starts at `faketime`
        ("YYYY-MM-DD hh:mm:ss", local time) and, with `frozen`, stands still there, and in
        another locale than the session's (`locale`, an LC_ALL value such as en_US.UTF-8)."""
        command = [*self.wine_command, *args]
        extra = dict(env or {})
        locale = locale or BASE_LOCALE
        if locale == BASE_LOCALE and self.registry_locale != BASE_LOCALE:
            self._apply_registry()
        extra.update({"LC_ALL": locale, "LANG": locale})
        self.registry_locale = locale
        if faketime and self.wine32:
            moment = int(datetime.strptime(faketime, "%Y-%m-%d %H:%M:%S").replace(
                tzinfo=ZoneInfo(WINE_ENV["TZ"])).timestamp())
            if frozen:
                extra["AQ_CLOCK_AT"] = str(moment)
            else:
                extra["AQ_CLOCK_FROM"] = str(moment)
        elif faketime:
            if self.clock is None:
                self.clock = FakeClock()
            extra.update(self.clock.env(faketime, frozen))
        try:
            return run_captured(command, env=self.env(extra), timeout=timeout)
        except subprocess.TimeoutExpired:
            # Everything of this prefix goes; the next run gets a fresh wineserver.
            self._server("-k")
            self._server("-p")
            if self.keeper_args:
                self.keep_alive(self.keeper_args)
            raise


def main(argv: list[str]) -> int:
    """Runs one command in a session, from the repository's root:
        python3 -m tests.harness.wine bash     a shell in the end-to-end tests' Wine world
        python3 -m tests.harness.wine wine build/win64/e2e/aqprobe.exe clock 'C:\\t.txt'
    With --plain --prefix and no command it only ends the server of that prefix."""
    import argparse
    import shlex
    parser = argparse.ArgumentParser(prog="python3 -m tests.harness.wine", description=(
        "Runs a command in a Wine session: WINEPREFIX, DISPLAY and the rest in its "
        "environment; by default a fresh prefix (Japanese system, Xvfb), taken down at the end."))
    parser.add_argument("--keep", action="store_true", help="keep the session's folder")
    parser.add_argument("--wine32", action="store_true",
                        help="the emulated 32-bit Wine (tests/harness/wine32-run.sh)")
    parser.add_argument("--plain", action="store_true", help="no X server, no settings of "
                        "the session's own, the caller's environment")
    parser.add_argument("--prefix", type=Path, help="this prefix, kept (made when missing)")
    parser.add_argument("--keeper", help="a program and its arguments kept running in the "
                        "prefix meanwhile, so that Wine's own processes stay up")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args(argv)
    with WineSession(keep=options.keep, log=None if options.plain else print,
                     wine32=options.wine32, prefix=options.prefix,
                     plain=options.plain) as session:
        if not options.command:
            return 0
        if options.keeper:
            session.keep_alive(shlex.split(options.keeper))
        if not options.plain:
            print(f"WINEPREFIX={session.prefix} DISPLAY={session.display}", flush=True)
        return subprocess.run(options.command, env=session.env(), check=False).returncode


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv[1:]))
