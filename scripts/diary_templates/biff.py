"""Reading and mending Excel 97-2003 workbooks (.xls) with the Python standard library only: the
compound file that holds the "Workbook" stream, the stream's BIFF8 records, and writing a
changed stream back into the same file (finish_xls, tests/templates/check_templates.py)."""

import struct

CFB_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
END_OF_CHAIN = 0xFFFFFFFE
FREE_SECTOR = 0xFFFFFFFF

class CompoundFileError(Exception):
    pass


class CompoundFile:
    """A reader of the compound file binary format, enough to fetch one stream by name."""

    def __init__(self, data):
        if len(data) < 512 or data[:8] != CFB_SIGNATURE:
            raise CompoundFileError("no compound-file signature")
        self.data = data
        (major, byte_order, sector_shift, mini_shift) = struct.unpack_from("<HHHH", data, 26)
        if byte_order != 0xFFFE:
            raise CompoundFileError(f"byte order mark {byte_order:#06x}")
        if major not in (3, 4) or sector_shift not in (9, 12):
            raise CompoundFileError(f"version {major} with sector shift {sector_shift}")
        self.sector_size = 1 << sector_shift
        self.mini_size = 1 << mini_shift
        (self.fat_sectors, self.first_dir, _, self.mini_cutoff, self.first_minifat, self.minifat_sectors,
         self.first_difat, self.difat_sectors) = struct.unpack_from("<IIIIIIII", data, 44)
        self.fat = self._read_fat()
        self.entries = self._read_directory()

    def _sector(self, n):
        start = (n + 1) * self.sector_size
        if start + self.sector_size > len(self.data):
            raise CompoundFileError(f"sector {n} lies past the end of the file")
        return self.data[start:start + self.sector_size]

    def _read_fat(self):
        difat = [s for s in struct.unpack_from("<109I", self.data, 76) if s != FREE_SECTOR]
        sector, seen = self.first_difat, 0
        while sector not in (END_OF_CHAIN, FREE_SECTOR) and seen < self.difat_sectors:
            words = struct.unpack(f"<{self.sector_size // 4}I", self._sector(sector))
            difat += [s for s in words[:-1] if s != FREE_SECTOR]
            sector, seen = words[-1], seen + 1
        fat = []
        for s in difat[: self.fat_sectors]:
            fat += struct.unpack(f"<{self.sector_size // 4}I", self._sector(s))
        return fat

    def _chain(self, first, table, limit):
        chain, sector = [], first
        while sector != END_OF_CHAIN:
            if sector >= len(table) or len(chain) > limit:
                raise CompoundFileError("broken sector chain")
            chain.append(sector)
            sector = table[sector]
        return chain

    def _read_directory(self):
        self.dir_chain = self._chain(self.first_dir, self.fat, len(self.fat))
        raw = b"".join(self._sector(s) for s in self.dir_chain)
        self.entry_at = {}  # name: offset of the entry in the directory
        entries = []
        for off in range(0, len(raw), 128):
            name_len, kind = struct.unpack_from("<HB", raw, off + 64)
            if kind == 0:
                continue
            name = raw[off:off + max(0, name_len - 2)].decode("utf-16-le", "replace")
            start, size = struct.unpack_from("<II", raw, off + 116)
            entries.append((name, kind, start, size))
            self.entry_at[name] = off
        return entries

    def stream(self, wanted):
        root = next((e for e in self.entries if e[1] == 5), None)
        for name, kind, start, size in self.entries:
            if kind != 2 or name != wanted:
                continue
            if size >= self.mini_cutoff:
                sectors = self._chain(start, self.fat, len(self.fat))
                return b"".join(self._sector(s) for s in sectors)[:size]
            # A small stream lives in the mini stream, which is the root entry's stream.
            if root is None:
                raise CompoundFileError("no root entry")
            mini_stream = b"".join(self._sector(s) for s in self._chain(root[2], self.fat, len(self.fat)))
            minifat = []
            for s in self._chain(self.first_minifat, self.fat, len(self.fat)):
                minifat += struct.unpack(f"<{self.sector_size // 4}I", self._sector(s))
            parts = [mini_stream[m * self.mini_size:(m + 1) * self.mini_size]
                     for m in self._chain(start, minifat, len(minifat))]
            return b"".join(parts)[:size]
        return None

    def _pos(self, chain, offset):
        """The file position of a byte at offset in the sectors of chain."""
        return (chain[offset // self.sector_size] + 1) * self.sector_size + offset % self.sector_size

    def replace_stream(self, wanted, data):
        """The file's bytes with the stream wanted (one of the regular sectors, at least the
        mini-stream cutoff long) replaced by data, growing its sector chain into free sectors
        appended at the end when it needs more room."""
        name, kind, start, size = next(e for e in self.entries if e[0] == wanted and e[1] == 2)
        if size < self.mini_cutoff or len(data) < self.mini_cutoff:
            raise CompoundFileError(f"{wanted} does not live in regular sectors")
        out = bytearray(self.data)
        fat = list(self.fat)
        chain = self._chain(start, fat, len(fat))
        while len(chain) * self.sector_size < len(data):
            new = len(out) // self.sector_size - 1
            if new >= len(fat) or fat[new] != FREE_SECTOR:
                raise CompoundFileError("no free sector left in the allocation table")
            fat[chain[-1]], fat[new] = new, END_OF_CHAIN
            chain.append(new)
            out += bytes(self.sector_size)
        padded = data + bytes(len(chain) * self.sector_size - len(data))
        for i, s in enumerate(chain):
            at = (s + 1) * self.sector_size
            out[at:at + self.sector_size] = padded[i * self.sector_size:(i + 1) * self.sector_size]
        per_sector = self.sector_size // 4
        difat = [s for s in struct.unpack_from("<109I", self.data, 76) if s != FREE_SECTOR][: self.fat_sectors]
        if self.fat_sectors > 109:
            raise CompoundFileError("allocation table too large")
        for i, s in enumerate(difat):
            at = (s + 1) * self.sector_size
            out[at:at + self.sector_size] = struct.pack(f"<{per_sector}I", *fat[i * per_sector:(i + 1) * per_sector])
        entry = self._pos(self.dir_chain, self.entry_at[wanted])
        struct.pack_into("<I", out, entry + 120, len(data))
        return bytes(out)


def records(stream):
    off = 0
    while off + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, off)
        yield kind, stream[off + 4:off + 4 + length]
        off += 4 + length


def record(kind, body):
    return struct.pack("<HH", kind, len(body)) + body


NUMBER, RK, MULRK = 0x0203, 0x027E, 0x00BD


def rk_value(rk):
    """The number an RK value stands for: a signed 30-bit integer or the high 30 bits of a
    double, divided by 100 when its lowest bit says so."""
    if rk & 2:
        value = (rk >> 2) - (1 << 30) if rk & 0x80000000 else rk >> 2
    else:
        value = struct.unpack("<d", struct.pack("<Q", (rk & 0xFFFFFFFC) << 32))[0]
    return value / 100 if rk & 1 else value


def numbers(recs):
    """{(row, column): number} of the constant numbers (NUMBER, RK, MULRK records) among recs."""
    out = {}
    for kind, body in recs:
        if kind == NUMBER:
            row, column = struct.unpack_from("<HH", body)
            out[row, column] = struct.unpack_from("<d", body, 6)[0]
        elif kind == RK:
            row, column, _, rk = struct.unpack_from("<HHHI", body)
            out[row, column] = rk_value(rk)
        elif kind == MULRK:
            row, first = struct.unpack_from("<HH", body)
            for i in range((len(body) - 6) // 6):
                out[row, first + i] = rk_value(struct.unpack_from("<I", body, 6 + 6 * i)[0])
    return out
