#!/usr/bin/env python3
"""Checks that the release is the same, byte for byte, when it is built again elsewhere (Python
standard library only).

    check_reproducible.py

Builds the release (scripts/release/package.sh) in this working copy and again in a second clone of the
same commit under a temporary folder, with another time zone and a stricter umask, and compares
both archives, the three programs built and dist/SHA256SUMS, byte for byte; a
difference fails with the names of the files that differ. It also checks that the Windows
programs carry the commit's time (or SOURCE_DATE_EPOCH) in their headers, that no program holds
a folder of either build (the checkout, the build folders, the Debian 11 root and its cache),
and that dist/SHA256SUMS is right. The clone's cache folder lies beside it with a name that
begins like the clone's (DIR/c and DIR/cache), as a newcomer's may: no folder may be taken
for another whose name only begins like it. Uncommitted changes in the working
copy are not in the clone: commit first.

The last line is "N passed, N failed"; the exit code is 1 when anything failed.
"""

import hashlib
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
from tests.harness.checklist import Checks, take_pattern  # noqa: E402

WINDOWS_PROGRAMS = ["win32/AutoQuillmer.exe", "win64/AutoQuillmer.exe"]
PROGRAMS = WINDOWS_PROGRAMS + ["linux/AutoQuillmer", "linux-release/AutoQuillmer"]


def git(*args, cwd=ROOT):
    return subprocess.run(["git", *args], cwd=cwd, check=True, capture_output=True, text=True).stdout.strip()


def package(folder, **options):
    """Runs scripts/release/package.sh in folder; gives whether it worked and the seconds it took."""
    start = time.monotonic()
    run = subprocess.run(["bash", "scripts/release/package.sh"], cwd=folder, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **options)
    if run.returncode != 0:
        print(run.stdout[-3000:])
    return run.returncode == 0, time.monotonic() - start


def listed(dist):
    """The files that dist/SHA256SUMS lists, with their digests, in its order."""
    sums = dist / "SHA256SUMS"
    if not sums.is_file():
        return []
    return [tuple(line.split("  ", 1)) for line in sums.read_text(encoding="utf-8").splitlines() if line]


def members(path):
    """Each member of a zip or tar.gz archive: its name, with its time, mode, owner and digest."""
    out = {}
    if path.name.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            for info in archive.infolist():
                digest = hashlib.sha256(archive.read(info)).hexdigest()
                out[info.filename] = (info.date_time, oct(info.external_attr >> 16), digest)
    elif path.name.endswith(".tar.gz"):
        with tarfile.open(path, "r:gz") as archive:
            for info in archive.getmembers():
                data = archive.extractfile(info).read() if info.isfile() else b""
                out[info.name] = (info.mtime, oct(info.mode), info.uid, info.gid, hashlib.sha256(data).hexdigest())
    return out


def sysroot(folder):
    """The Debian 11 root the release in this folder was built against, as its build named it."""
    cache = folder / "build" / "linux-release" / "CMakeCache.txt"
    for line in cache.read_text(encoding="utf-8").splitlines() if cache.is_file() else []:
        if line.startswith("AQ_SYSROOT:"):
            return pathlib.Path(line.split("=", 1)[1])
    return None


def pe_time_stamp(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<I", data, pe + 8)[0]


def main():
    take_pattern()
    checks = Checks()
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or git("log", "-1", "--format=%ct")
    commit = git("rev-parse", "HEAD")
    changed = git("status", "--porcelain")
    if changed:
        print("info uncommitted changes are not in the second build:\n" + changed)

    built, first = package(ROOT)
    checks.check("scripts/release/package.sh builds the release in this working copy", built)
    print(f"info the build in this working copy took {first:.0f} s")
    dist = ROOT / "dist"
    files = listed(dist)
    # The programs it lists are those inside the archives, which check_package.py holds to it.
    names = [name for _, name in files if name.endswith((".zip", ".tar.gz"))]
    checks.check("dist/SHA256SUMS lists both archives", len(names) == 2, repr(files))
    wrong = [name for digest, name in files if name in names and
             hashlib.sha256((dist / name).read_bytes()).hexdigest() != digest]
    checks.check("dist/SHA256SUMS gives the right digest of both archives", files and not wrong, repr(wrong))

    moment = time.gmtime(int(epoch))
    zip_time = max((moment[:5] + (moment[5] // 2 * 2,)), (1980, 1, 1, 0, 0, 0))
    for name in names:
        if name.endswith((".zip", ".tar.gz")):
            times = {entry[0] for entry in members(dist / name).values()}
            checks.check(f"every member of {name} has the time {epoch}",
                         times == {zip_time if name.endswith(".zip") else int(epoch)}, repr(times))

    for name in WINDOWS_PROGRAMS:
        path = dist / name
        stamp = pe_time_stamp(path.read_bytes()) if path.is_file() else None
        checks.check(f"{name} carries the time stamp {epoch} (SOURCE_DATE_EPOCH or the commit's time)",
                     str(stamp) == epoch, f"found {stamp}")

    with tempfile.TemporaryDirectory(prefix="aq-rebuild-") as tmp:
        clone, cache = pathlib.Path(tmp) / "c", pathlib.Path(tmp) / "cache"
        subprocess.run(["git", "clone", "-q", "--no-checkout", str(ROOT), str(clone)], check=True)
        git("checkout", "-q", "--detach", commit, cwd=clone)
        # A copy of the root made for the first build serves the second, in the clone's cache
        # folder (a copy, not a link: the compiler would name the headers by the link's target).
        ours = sysroot(ROOT)
        if ours:
            shutil.copytree(ours.parent, cache / "auto-quillmer" / ours.parent.name, symlinks=True)
        env = dict(os.environ, TZ="Pacific/Kiritimati", LC_ALL="C.UTF-8", XDG_CACHE_HOME=str(cache))
        built, second = package(clone, env=env, umask=0o077)
        checks.check(f"scripts/release/package.sh builds the release again in a clone under {tmp}", built)
        print(f"info the build in the clone took {second:.0f} s (together {first + second:.0f} s)")
        other = clone / "dist"
        checks.check("both builds list the same files in dist/SHA256SUMS",
                     [n for _, n in files] == [n for _, n in listed(other)], repr(listed(other)))

        differ = []
        for name in names + PROGRAMS + ["SHA256SUMS"]:
            ours, theirs = dist / name, other / name
            same = ours.is_file() and theirs.is_file() and ours.read_bytes() == theirs.read_bytes()
            checks.check(f"dist/{name} is the same byte for byte in both builds", same)
            if not same:
                differ.append(name)
                if ours.is_file() and theirs.is_file():
                    a, b = members(ours), members(theirs)
                    for member in sorted(set(a) | set(b)):
                        if a.get(member) != b.get(member):
                            print(f"info   {name}: {member}: {a.get(member)} | {b.get(member)}")
        if differ:
            print("info these files differ between the two builds: " + ", ".join(differ))

        roots = [ours, sysroot(clone)]
        folders = {str(f) for f in (ROOT, clone, cache, *roots, *(r.resolve() for r in roots if r)) if f}
        for name in PROGRAMS:
            held = [folder for folder in sorted(folders) for path in (dist / name, other / name)
                    if not path.is_file() or folder.encode() in path.read_bytes()]
            checks.check(f"{name} holds neither build's folder", not held, repr(held))
    return checks.summary()


if __name__ == "__main__":
    sys.exit(main())
