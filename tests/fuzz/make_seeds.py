#!/usr/bin/env python3
"""Writes small hand-built FAT32 disk images as the fuzzer's starting corpus:
an MBR, a boot sector with FSInfo, two FATs and a root directory holding a
label, a long name, files over several clusters, a deleted entry and a
subdirectory."""
import os
import struct
import sys
import zlib


def image(spc, kanji=False, clean=False):
    """clean: every file has a chain of its own, so the volume passes the
    consistency check and the fuzz target holds the operations to it."""
    part = 1
    reserved, fats, spf = 2, 2, 2
    total = reserved + fats * spf + 200 * spc   # 200 clusters: the 2-sector FAT covers them
    sectors = [bytearray(512) for _ in range(part + reserved + fats * spf + 8 * spc)]
    mbr = sectors[0]
    mbr[446:462] = struct.pack("<B3sB3sII", 0x80, b"\xfe\xff\xff", 0x0C, b"\xfe\xff\xff", part, total)
    mbr[510:512] = b"\x55\xaa"
    boot = sectors[part]
    boot[0:3] = b"\xeb\x58\x90"
    boot[3:11] = b"mkfs.fat"
    struct.pack_into("<HBHBHHBHHHII", boot, 11, 512, spc, reserved, fats, 0, 0, 0xF8, 0, 32, 64, 0, total)
    struct.pack_into("<IHHIHH", boot, 36, spf, 0, 0, 2, 1, 6)
    boot[510:512] = b"\x55\xaa"
    info = sectors[part + 1]
    struct.pack_into("<I", info, 0, 0x41615252)
    struct.pack_into("<III", info, 484, 0x61417272, 0xFFFFFFFF, 0xFFFFFFFF)
    info[510:512] = b"\x55\xaa"
    fat = bytearray(spf * 512)
    chain = {0: 0x0FFFFFF8, 1: 0x0FFFFFFF, 2: 0x0FFFFFFF, 3: 4, 4: 0x0FFFFFFF, 5: 0x0FFFFFFF, 6: 0x0FFFFFFF}
    if clean:
        chain.update({7: 0x0FFFFFFF, 8: 0x0FFFFFFF})
    deleted_cluster, inner_cluster = (7, 8) if clean else (6, 6)
    for k, v in chain.items():
        struct.pack_into("<I", fat, 4 * k, v)
    fat_start = part + reserved
    for copy in range(fats):
        for i in range(spf):
            sectors[fat_start + copy * spf + i][:] = fat[i * 512:(i + 1) * 512]
    data = fat_start + fats * spf

    def entry(name, attr, cluster, size, first=None):
        e = bytearray(32)
        e[0:11] = name
        if first is not None:
            e[0] = first
        e[11] = attr
        struct.pack_into("<HHHHI", e, 20, cluster >> 16, 0x83C7, 0x4B3D, cluster & 0xFFFF, size)
        return e

    lfn = bytearray(32)
    lfn[0] = 0x41
    lfn[1:11] = "long.".encode("utf-16-le")
    lfn[11] = 0x0F
    lfn[14:26] = "prg\0\uffff\uffff".encode("utf-16-le")
    lfn[28:32] = b"\xff\xff\xff\xff"
    root = b"".join([
        entry(b"SEED       ", 0x08, 0, 0),
        lfn,
        entry(b"LONGNA~1PRG", 0x20, 6, 10),
        entry(b"FILE    PRG", 0x20, 3, 512 * spc + 188),
        entry(b"GONE    PRG", 0x20, 0, 5, first=0xE5),
        entry(b"SUB        ", 0x10, 5, 0),
        entry(b"\xe5ILE    PRG" if not kanji else b"\x05ILE    PRG", 0x20, deleted_cluster, 3,
              first=0x05 if kanji else ord("A")),
    ])
    sectors[data][0:len(root)] = root
    for s in range(spc):
        for k in (3, 4):
            sectors[data + (k - 2) * spc + s][:] = bytes((k * 37 + s + i) & 0xFF for i in range(512))
    sub = entry(b".          ", 0x10, 5, 0) + entry(b"..         ", 0x10, 0, 0) + entry(b"INNER   PRG", 0x20, inner_cluster, 7)
    sectors[data + 3 * spc][0:len(sub)] = sub
    return b"".join(bytes(s) for s in sectors)


BASIC_DATA = bytes.fromhex("a2a0d0ebe5b9334487c068b6b72699c7")


def gpt(volume_image):
    """The same volume behind a GPT: protective MBR, primary header and a
    16-entry array with one basic-data partition at sector 8."""
    volume = volume_image[512:]            # the MBR image's volume starts at sector 1
    start = 8
    sectors = start + len(volume) // 512
    mbr = bytearray(512)
    mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\x00\x02\x00", 0xEE, b"\xff\xff\xff", 1, sectors - 1)
    mbr[510:512] = b"\x55\xaa"
    entries = bytearray(16 * 128)
    entries[0:16] = BASIC_DATA
    entries[16:32] = bytes(range(16))
    struct.pack_into("<QQ", entries, 32, start, sectors - 1)
    header = bytearray(512)
    struct.pack_into("<8sIIIIQQQQ16sQIII", header, 0, b"EFI PART", 0x00010000, 92, 0, 0, 1, sectors - 1,
                     start, sectors - 1, bytes(range(16, 32)), 2, 16, 128, zlib.crc32(entries))
    struct.pack_into("<I", header, 16, zlib.crc32(bytes(header[:92])))
    return bytes(mbr) + bytes(header) + bytes(entries) + bytes(512 * (start - 6)) + volume


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, img in (("spc1", image(1)), ("spc2", image(2)), ("kanji", image(1, kanji=True)),
                      ("clean", image(1, clean=True)), ("gpt", gpt(image(1, clean=True)))):
        with open(os.path.join(out, name + ".img"), "wb") as f:
            f.write(img)


if __name__ == "__main__":
    main()
