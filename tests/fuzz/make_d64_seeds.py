#!/usr/bin/env python3
"""Writes .D64 seeds for the fuzzer in its input form: one control byte (the
image size in its low bits), then the image from the BAM (track 18) on,
wrapping round to track 1. The disks come from the disk tool's own writer."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import tarndisk  # noqa: E402

BAM = 357 * 256
MAX_LEN = 70000


def seed(control, disk):
    image = disk.image(b"SEED", b"FZ")
    return bytes([control]) + (image[BAM:] + image[:BAM])[:MAX_LEN - 1]


def main(out):
    os.makedirs(out, exist_ok=True)
    few = tarndisk.D64()
    few.add(b"PROGRAM", "PRG", b"\x01\x08" + bytes(range(256)) * 3)
    few.add(b"NOTES", "SEQ", b"HELLO\r")
    many = tarndisk.D64(40)
    for i in range(20):
        many.add(b"FILE %d" % i, "USR" if i % 3 else "PRG", bytes([i]) * (i * 97))
    for name, control, disk in (("few", 0, few), ("few_scratch", 4, few), ("many40", 2, many)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(seed(control, disk))


if __name__ == "__main__":
    main(sys.argv[1])
