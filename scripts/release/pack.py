#!/usr/bin/env python3
"""Writes a zip or a gzip-compressed tar archive that is the same, byte for byte, whenever it is
given the same files and the same time (Python standard library only).

    pack.py --time SECONDS OUTPUT NAME=SOURCE [NAME=SOURCE ...]

OUTPUT ends in .zip or .tar.gz; each member NAME (a path inside the archive, with "/") takes the
contents of the file SOURCE. The archive holds nothing that depends on the machine, the folder,
the clock or the umask of the build:
- members in the order given, which the caller keeps fixed (a tarball also gets an entry for
  every folder, just before its first member; a zip has entries for files only);
- every time is SECONDS (the commit's time): in a zip as a date and time of day in UTC, which
  cannot be earlier than 1980-01-01; in a tarball and its gzip header as it is;
- permissions 0755 for folders and for files the owner may execute, 0644 for the others; owner
  and group 0 (root) in a tarball; a zip says it was made on Unix;
- no comment, no file name in the gzip header; deflate at level 9; in a zip no extra field but
  the one that gives a name outside ASCII in UTF-8 (below).
A zip stores a name outside ASCII in the Japanese Windows code page (932) without the UTF-8 flag
(general purpose bit 11), and the same name in UTF-8 in the Info-ZIP Unicode Path extra field
(0x7075). Windows Explorer, whatever its version, takes a name without the flag in the system's
OEM code page, which is 932 on a Japanese Windows; Windows 7, 8 and 8.1 do not read the flag at
all, so a UTF-8 name shows garbled there. Other unpackers (7-Zip, Info-ZIP unzip, libarchive)
read the extra field on any system.
"""

import argparse
import datetime
import gzip
import io
import os
import pathlib
import struct
import sys
import tarfile
import zipfile
import zlib

EXECUTABLE = 0o755
PLAIN = 0o644
ZIP_EARLIEST = (1980, 1, 1, 0, 0, 0)


def parse_members(members_given):
    """The members as (name, source) pairs in the archive's order; raises ValueError on a bad one."""
    members = {}
    for member in members_given:
        name, sep, source = member.partition("=")
        parts = name.split("/")
        if not sep or not source or not name or name.startswith("/") or "" in parts or ".." in parts or "\\" in name:
            raise ValueError(f"not a member NAME=SOURCE with a relative NAME: {member!r}")
        if name in members:
            raise ValueError(f"member given twice: {name}")
        if not pathlib.Path(source).is_file():
            raise ValueError(f"no such file: {source}")
        members[name] = source
    if not members:
        raise ValueError("no members given")
    return list(members.items())


CODE_PAGE = "cp932"
UNICODE_PATH = 0x7075


class CodePageInfo(zipfile.ZipInfo):
    """A zip member whose name is written in CODE_PAGE without the UTF-8 flag, where the standard
    library would write UTF-8 with the flag."""

    __slots__ = ()

    def _encodeFilenameFlags(self):
        return self.filename.encode(CODE_PAGE), self.flag_bits & ~zipfile._MASK_UTF_FILENAME


def zip_info(name, moment):
    """The member's header: a name outside ASCII as CodePageInfo, with its UTF-8 form in the
    Unicode Path field (version 1, the CRC-32 of the name as stored, the name in UTF-8)."""
    if name.isascii():
        return zipfile.ZipInfo(name, moment)
    try:
        stored = name.encode(CODE_PAGE)
    except UnicodeEncodeError:
        raise ValueError(f"a name that code page {CODE_PAGE[2:]} cannot hold: {name}") from None
    info = CodePageInfo(name, moment)
    utf8 = name.encode("utf-8")
    info.extra = struct.pack("<HHBI", UNICODE_PATH, 5 + len(utf8), 1, zlib.crc32(stored)) + utf8
    return info


def mode_of(source):
    return EXECUTABLE if os.stat(source).st_mode & 0o100 else PLAIN


def zip_bytes(members, seconds):
    moment = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).timetuple()[:6]
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, source in members:
            info = zip_info(name, max(moment, ZIP_EARLIEST))
            info.create_system = 3  # Unix, so that the permissions below mean what they say
            info.external_attr = (0o100000 | mode_of(source)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, pathlib.Path(source).read_bytes(), compresslevel=9)
    return out.getvalue()


def tar_gz_bytes(members, seconds):
    def entry(name, kind, mode, size=0):
        info = tarfile.TarInfo(name)
        info.type, info.mode, info.size, info.mtime = kind, mode, size, seconds
        info.uid = info.gid = 0
        info.uname = info.gname = "root"
        return info

    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        folders = set()
        for name, source in members:
            parts = name.split("/")
            for depth in range(1, len(parts)):
                folder = "/".join(parts[:depth])
                if folder not in folders:
                    folders.add(folder)
                    archive.addfile(entry(folder, tarfile.DIRTYPE, EXECUTABLE))
            data = pathlib.Path(source).read_bytes()
            archive.addfile(entry(name, tarfile.REGTYPE, mode_of(source), len(data)), io.BytesIO(data))
    out = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=out, compresslevel=9, mtime=seconds) as packed:
        packed.write(raw.getvalue())
    return out.getvalue()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--time", type=int, required=True, help="every time in the archive (seconds since 1970, UTC)")
    parser.add_argument("output", help="the archive to write, ending in .zip or .tar.gz")
    parser.add_argument("members", nargs="*", metavar="NAME=SOURCE")
    args = parser.parse_args(argv)
    if args.output.endswith(".zip"):
        write = zip_bytes
    elif args.output.endswith(".tar.gz"):
        write = tar_gz_bytes
    else:
        parser.error(f"the archive must end in .zip or .tar.gz: {args.output}")
    if not 0 <= args.time < 2**32:
        parser.error(f"--time out of range: {args.time}")
    try:
        data = write(parse_members(args.members), args.time)
    except ValueError as e:
        parser.error(str(e))
    # Written beside the archive and put in place whole: never a half-written archive.
    output = pathlib.Path(args.output)
    partial = output.with_name(output.name + ".partial")
    try:
        partial.write_bytes(data)
        os.replace(partial, output)
    finally:
        partial.unlink(missing_ok=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
