#!/usr/bin/env python3
"""Disk images for Tarn: an MBR disk whose first partition holds FAT32.

  tarndisk.py create IMAGE [--size MIB] [FILE ...]
      A new sparse image with one FAT32 partition (made by mkfs.fat), holding
      the given .PRG files, or .bas listings tokenized on the way.
  tarndisk.py put IMAGE FILE [FILE ...] [--as NAME] [--keep-header]
      Copies .PRG files (or .bas listings) onto an existing image.
  tarndisk.py list IMAGE
      Lists the root directory.
  tarndisk.py get IMAGE NAME OUTFILE
      Copies a file off the image (NAME as on the C64, e.g. GAME).

Names.  Tarn looks a file up as NAME.PRG in the root directory, where NAME is
what you type in LOAD "NAME",8: one to eight characters, letters, digits and
- _ ! # $ % & ( ) @ ^ { } ~.  A file game.prg on the PC becomes GAME.PRG.

Load addresses.  Tarn's SAVE writes a program without the two-byte load
address that .PRG files usually start with, and LOAD "NAME",8 puts a file's
bytes at the start of BASIC as they are.  So `put` drops the header of a
file built for $0801 (a BASIC program), which then loads with LOAD "NAME",8.
Any other file keeps its header and is loaded with LOAD "NAME",8,1 to the
address it names.  --keep-header keeps every header as it is.

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
NAME_CHARS = re.compile(r"^[A-Z0-9\-_!#$%&()@^{}~]{1,8}$")


class DiskError(RuntimeError):
    pass


def _run(cmd, **kw):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="1")
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

def c64_name(path, override=None):
    """The 8.3 name a host file is stored under: NAME.PRG."""
    base = override if override else os.path.splitext(os.path.basename(path))[0]
    base = base.upper()
    if not NAME_CHARS.match(base):
        raise DiskError("%r cannot be a C64 file name here: use 1-8 letters or digits" % base)
    return base + ".PRG"


def program_bytes(path, keep_header=False):
    """What goes into the file: a .bas listing is tokenized; a program built
    for the start of BASIC loses its load address (see above)."""
    if path.lower().endswith(".bas"):
        with open(path, encoding="ascii") as f:
            try:
                return bas2prg.tokenize(f.read(), BASIC_START)
            except bas2prg.ListingError as e:
                raise DiskError("%s: %s" % (path, e))
    with open(path, "rb") as f:
        data = f.read()
    if not keep_header and len(data) >= 2 and data[0] | data[1] << 8 == BASIC_START:
        return data[2:]
    return data


def put(image, paths, name=None, keep_header=False):
    if name and len(paths) != 1:
        raise DiskError("--as names one file only")
    target = _target(image)
    with tempfile.TemporaryDirectory() as tmp:
        for path in paths:
            stored = c64_name(path, name)
            staged = os.path.join(tmp, stored)
            with open(staged, "wb") as f:
                f.write(program_bytes(path, keep_header))
            # -o: replace a file of the same name; -D o likewise for clashes
            _run(["mcopy", "-i", target, "-o", "-D", "o", staged, "::" + stored])
            print("%s -> %s" % (path, stored))


def create(image, size_mib=DEFAULT_SIZE_MIB, paths=(), label="TARN"):
    sectors = size_mib * 1024 * 1024 // SECTOR
    if sectors - PARTITION_START < 70000:
        raise DiskError("an image of %d MiB is too small for FAT32" % size_mib)
    count = sectors - PARTITION_START
    with open(image, "wb") as f:
        f.truncate(sectors * SECTOR)   # sparse: only written blocks take space
        f.write(mbr_bytes(PARTITION_START, count))
    _run(["mkfs.fat", "-F", "32", "-s", "1", "-n", label, "-h", str(PARTITION_START),
          "--offset", str(PARTITION_START), image, str(count * SECTOR // 1024)])
    if paths:
        put(image, list(paths))


def listing(image):
    return _run(["mdir", "-i", _target(image), "::"])


def get(image, name, out):
    stored = c64_name(name)
    _run(["mcopy", "-i", _target(image), "-o", "::" + stored, out])


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
    p.add_argument("--keep-header", action="store_true", help="store files exactly as given")
    l = sub.add_parser("list", help="list the root directory")
    l.add_argument("image")
    g = sub.add_parser("get", help="copy a program off an image")
    g.add_argument("image")
    g.add_argument("name")
    g.add_argument("output")
    args = ap.parse_args(argv)
    try:
        if args.cmd == "create":
            create(args.image, args.size, args.files)
        elif args.cmd == "put":
            put(args.image, args.files, args.name, args.keep_header)
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
