#!/usr/bin/env python3
"""Disk images for Tarn: an MBR disk whose first partition holds FAT32.

  tarndisk.py create IMAGE [--size MIB] [FILE ...]
      A new sparse image with one FAT32 partition (made by mkfs.fat), holding
      the given files (.prg, .seq, .usr, .d64), or .bas listings tokenized on
      the way.
  tarndisk.py put IMAGE FILE [FILE ...] [--as NAME]
      Copies files onto an existing image.
  tarndisk.py list IMAGE
      Lists the root directory.
  tarndisk.py get IMAGE NAME OUTFILE
      Copies a file off the image (NAME as on the C64, e.g. GAME).
  tarndisk.py d64 OUT.D64 FILE [FILE ...] [--name NAME] [--id ID] [--tracks 40]
      Writes a 1541 disk image (.d64) holding the given files.

Names.  A file is stored as NAME.PRG (NAME.SEQ, NAME.USR, NAME.REL, NAME.D64
for those extensions; a .rel file is one byte of record length, then its
records), NAME being its C64 name: one to sixteen characters, stored in
capitals, none of  " * ? , : = / \\ < > |  and not starting with $.
game.prg on the PC becomes GAME.PRG; boulder dash.prg becomes
BOULDER DASH.PRG, a long name with a short alias (BOULDE~1.PRG) beside it,
as any FAT system writes one.

Load addresses.  Files are stored exactly as given: a .prg keeps the two-byte
load address it starts with, as on every C64 system, and a .bas listing is
tokenized with the start of BASIC ($0801) in front.  LOAD "NAME",8 puts what
follows the header at the start of BASIC, LOAD "NAME",8,1 at the address the
header names.

Everything goes through mtools on the partition (IMAGE@@OFFSET); nothing is
mounted.  Standard library only, plus mkfs.fat and mtools.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

_HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, _HERE)
import bas2prg  # noqa: E402

SECTOR = 512
PARTITION_START = 2048          # first sector of the partition (1 MiB, aligned)
PARTITION_TYPE_FAT32_LBA = 0x0C
DEFAULT_SIZE_MIB = 64           # at 512-byte clusters, well above FAT32's 65525
BASIC_START = 0x0801
MAX_NAME = 16
# Characters FAT or the C64's DOS give a meaning of their own.
FORBIDDEN = '"*?,:=/\\<>|'
# Host extension -> the type a file is stored (and listed) as.
EXTENSIONS = {".prg": "PRG", ".bas": "PRG", ".seq": "SEQ", ".usr": "USR", ".rel": "REL", ".d64": "D64"}


class DiskError(RuntimeError):
    pass


def _run(cmd, **kw):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, **kw)
    if r.returncode != 0:
        raise DiskError("%s failed: %s" % (cmd[0], (r.stderr or r.stdout).decode(errors="replace").strip()))
    return r.stdout.decode(errors="replace")


# ---- partition table -----------------------------------------------------------

def mbr_bytes(start, count):
    """A boot sector with one partition-table entry (entry 0) and the 55 AA mark."""
    entry = struct.pack("<B3sB3sII", 0x00, b"\xfe\xff\xff", PARTITION_TYPE_FAT32_LBA,
                        b"\xfe\xff\xff", start, count)
    sector = bytearray(SECTOR)
    sector[446:446 + 16] = entry
    sector[510:512] = b"\x55\xaa"
    return bytes(sector)


def partition_offset(image):
    """Byte offset of partition entry 0 of an image's MBR."""
    with open(image, "rb") as f:
        mbr = f.read(SECTOR)
    if len(mbr) < SECTOR or mbr[510:512] != b"\x55\xaa":
        raise DiskError("%s: no MBR partition table" % image)
    ptype = mbr[446 + 4]
    start, count = struct.unpack_from("<II", mbr, 446 + 8)
    if ptype == 0 or count == 0:
        raise DiskError("%s: partition entry 0 is empty" % image)
    return start * SECTOR


def _target(image):
    return "%s@@%d" % (image, partition_offset(image))


# ---- files ----------------------------------------------------------------------

def check_name(base):
    """A C64 file name (in capitals), or DiskError saying why it cannot be one."""
    base = base.upper()
    if not 1 <= len(base) <= MAX_NAME:
        raise DiskError("%r cannot be a C64 file name: use 1-%d characters" % (base, MAX_NAME))
    if (any(c in FORBIDDEN or not " " <= c <= "~" for c in base) or base.startswith("$")
            or base != base.strip(" .")):
        raise DiskError("%r cannot be a C64 file name: no %s, no $ first, no space or dot at "
                        "either end" % (base, " ".join(FORBIDDEN)))
    return base


def c64_name(path, override=None):
    """The FAT name a host file is stored under: NAME.PRG, NAME.SEQ ..."""
    base, ext = os.path.splitext(os.path.basename(path))
    kind = EXTENSIONS.get(ext.lower())
    if kind is None:
        base, kind = base + ext, "PRG"
    return check_name(override if override else base) + "." + kind


def program_bytes(path):
    """What goes into the file: a .bas listing tokenized, with its load
    address; anything else as it is."""
    if path.lower().endswith(".bas"):
        with open(path, encoding="ascii") as f:
            try:
                return bas2prg.to_prg(f.read(), BASIC_START)
            except bas2prg.ListingError as e:
                raise DiskError("%s: %s" % (path, e))
    with open(path, "rb") as f:
        return f.read()


def put(image, paths, name=None):
    if name and len(paths) != 1:
        raise DiskError("--as names one file only")
    target = _target(image)
    with tempfile.TemporaryDirectory() as tmp:
        for path in paths:
            stored = c64_name(path, name)
            staged = os.path.join(tmp, stored)
            with open(staged, "wb") as f:
                f.write(program_bytes(path))
            # -o: replace a file of the same name; -D o likewise for clashes
            _run(["mcopy", "-i", target, "-o", "-D", "o", staged, "::" + stored])
            print("%s -> %s" % (path, stored))


def create(image, size_mib=DEFAULT_SIZE_MIB, paths=(), label="TARN", serial=None, sectors_per_cluster=1):
    """serial: the FAT volume serial number (mkfs.fat picks one without)."""
    sectors = size_mib * 1024 * 1024 // SECTOR
    if (sectors - PARTITION_START) // sectors_per_cluster < 70000:
        raise DiskError("an image of %d MiB is too small for FAT32" % size_mib)
    count = sectors - PARTITION_START
    with open(image, "wb") as f:
        f.truncate(sectors * SECTOR)   # sparse: only written blocks take space
        f.write(mbr_bytes(PARTITION_START, count))
    volume_id = ["-i", "%08X" % serial] if serial is not None else []
    _run(["mkfs.fat", "-F", "32", "-s", str(sectors_per_cluster), "-n", label, "-h", str(PARTITION_START)]
         + volume_id + ["--offset", str(PARTITION_START), image, str(count * SECTOR // 1024)])
    if paths:
        put(image, list(paths))


def listing(image):
    return _run(["mdir", "-i", _target(image), "::"])


def get(image, name, out):
    stored = c64_name(name)
    _run(["mcopy", "-i", _target(image), "-o", "::" + stored, out])


# ---- 1541 disk images --------------------------------------------------------------

D64_TYPES = {"SEQ": 1, "PRG": 2, "USR": 3}
DIRECTORY_TRACK = 18
FILE_INTERLEAVE = 10
DIRECTORY_INTERLEAVE = 3


def sectors_on(track):
    return 21 if track <= 17 else 19 if track <= 24 else 18 if track <= 30 else 17


class D64:
    """A 1541 disk built in memory: files laid out along sector chains as
    the 1541 lays them, then the directory and BAM written from them."""

    def __init__(self, tracks=35):
        if tracks not in (35, 40):
            raise DiskError("a .d64 has 35 or 40 tracks")
        self.tracks = tracks
        self.data = bytearray(256 * sum(sectors_on(t) for t in range(1, tracks + 1)))
        self.free = {t: set(range(sectors_on(t))) for t in range(1, tracks + 1)}
        self.free[DIRECTORY_TRACK] -= {0, 1}
        self.entries = []   # (type byte, first track, first sector, name, blocks)

    def offset(self, track, sector):
        return 256 * (sum(sectors_on(t) for t in range(1, track)) + sector)

    def _next(self, track, sector):
        """The next data sector: interleave on the same track, else the
        nearest track outward from the directory, else the other half."""
        if track and self.free[track]:
            n = sectors_on(track)
            return track, next((sector + FILE_INTERLEAVE + i) % n for i in range(n)
                               if (sector + FILE_INTERLEAVE + i) % n in self.free[track])
        d = DIRECTORY_TRACK
        if not track:
            order = [t for k in range(1, self.tracks) for t in (d - k, d + k)]
        elif track < d:
            order = list(range(track - 1, 0, -1)) + list(range(d + 1, self.tracks + 1))
        else:
            order = list(range(track + 1, self.tracks + 1)) + list(range(d - 1, 0, -1))
        for t in order:
            if 1 <= t <= self.tracks and t != d and self.free[t]:
                return t, min(self.free[t])
        raise DiskError("the .d64 is full")

    def add(self, name, kind, content):
        if name in (e[3] for e in self.entries):
            raise DiskError("%s is on the .d64 twice" % name)
        if len(self.entries) >= 8 * (sectors_on(DIRECTORY_TRACK) - 1):
            raise DiskError("the .d64's directory is full")
        blocks = max(1, -(-len(content) // 254))
        if blocks > sum(len(f) for t, f in self.free.items() if t != DIRECTORY_TRACK):
            raise DiskError("the .d64 is full")
        chain, track, sector = [], 0, 0
        for _ in range(blocks):
            track, sector = self._next(track, sector)
            self.free[track].discard(sector)
            chain.append((track, sector))
        for i, (t, s) in enumerate(chain):
            part = content[254 * i:254 * i + 254]
            link = chain[i + 1] if i + 1 < len(chain) else (0, len(part) + 1)
            o = self.offset(t, s)
            self.data[o:o + 2 + len(part)] = bytes(link) + part
        self.entries.append((0x80 | D64_TYPES[kind], chain[0][0], chain[0][1], name, blocks))

    def image(self, disk_name="TARN", disk_id="TA"):
        d = DIRECTORY_TRACK
        sectors = [1]
        while len(sectors) * 8 < len(self.entries):
            nxt = next((sectors[-1] + DIRECTORY_INTERLEAVE + i) % 19 for i in range(19)
                       if (sectors[-1] + DIRECTORY_INTERLEAVE + i) % 19 in self.free[d])
            self.free[d].discard(nxt)
            sectors.append(nxt)
        for k, s in enumerate(sectors):
            o = self.offset(d, s)
            block = bytearray(256)
            block[0:2] = bytes((d, sectors[k + 1])) if k + 1 < len(sectors) else b"\x00\xff"
            for i, (typ, t, fs, name, blocks) in enumerate(self.entries[8 * k:8 * k + 8]):
                e = 32 * i
                block[e + 2:e + 5] = bytes((typ, t, fs))
                block[e + 5:e + 21] = name.ljust(16, b"\xa0")
                block[e + 30:e + 32] = struct.pack("<H", blocks)
            self.data[o:o + 256] = block
        bam = bytearray(256)
        bam[0:4] = bytes((d, 1, 0x41, 0))
        for t in range(1, self.tracks + 1):
            bits = sum(1 << s for s in self.free[t])
            entry = bytes((len(self.free[t]), bits & 0xFF, bits >> 8 & 0xFF, bits >> 16))
            # tracks 36-40 where 40-track DOSes keep them
            o = 4 * t if t <= 35 else 0xC0 + 4 * (t - 36)
            bam[o:o + 4] = entry
        bam[0x90:0xAB] = b"\xa0" * 0x1B
        bam[0x90:0x90 + len(disk_name)] = disk_name
        bam[0xA2:0xA4] = disk_id
        bam[0xA5:0xA7] = b"2A"
        o = self.offset(d, 0)
        self.data[o:o + 256] = bam
        return bytes(self.data)


def make_d64(out, paths, disk_name="TARN", disk_id="TA", tracks=35):
    disk = D64(tracks)
    for path in paths:
        stored = c64_name(path)
        base, kind = stored.rsplit(".", 1)
        if kind not in D64_TYPES:
            raise DiskError("%s: only programs and SEQ/USR files go into a .d64" % path)
        disk.add(base.encode("ascii"), kind, program_bytes(path))
        print("%s -> %s,%s" % (path, base, kind))
    name = check_name(disk_name).encode("ascii")
    if len(disk_id) != 2 or any(c in FORBIDDEN for c in disk_id):
        raise DiskError("a disk id is two characters")
    with open(out, "wb") as f:
        f.write(disk.image(name, disk_id.upper().encode("ascii")))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog=__doc__.split("\n\n", 1)[1])
    sub = ap.add_subparsers(dest="cmd", required=True)
    c = sub.add_parser("create", help="make a new image")
    c.add_argument("image")
    c.add_argument("files", nargs="*")
    c.add_argument("--size", type=int, default=DEFAULT_SIZE_MIB, help="size in MiB (default 64)")
    p = sub.add_parser("put", help="copy programs onto an image")
    p.add_argument("image")
    p.add_argument("files", nargs="+")
    p.add_argument("--as", dest="name", help="C64 name for a single file")
    l = sub.add_parser("list", help="list the root directory")
    l.add_argument("image")
    g = sub.add_parser("get", help="copy a program off an image")
    g.add_argument("image")
    g.add_argument("name")
    g.add_argument("output")
    d = sub.add_parser("d64", help="write a 1541 disk image holding files")
    d.add_argument("image")
    d.add_argument("files", nargs="+")
    d.add_argument("--name", default="TARN", help="disk name (up to 16 characters)")
    d.add_argument("--id", default="TA", help="disk id (two characters)")
    d.add_argument("--tracks", type=int, default=35, choices=(35, 40))
    args = ap.parse_args(argv)
    try:
        if args.cmd == "create":
            create(args.image, args.size, args.files)
        elif args.cmd == "put":
            put(args.image, args.files, args.name)
        elif args.cmd == "d64":
            make_d64(args.image, args.files, args.name, args.id, args.tracks)
        elif args.cmd == "list":
            sys.stdout.write(listing(args.image))
        else:
            get(args.image, args.name, args.output)
    except (DiskError, OSError) as e:
        print("tarndisk: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
