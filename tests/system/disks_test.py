#!/usr/bin/env python3
"""Drive 8 on the disks of today's PCs, one boot each: an AHCI disk with a
GPT, an NVMe disk of 4096-byte blocks with an MBR, and a second AHCI disk
whose primary GPT header is damaged and whose writes QEMU fails. Each boot
loads a program, saves one and lists the directory; afterwards fsck.fat
and mtype judge the image."""

import os
import re
import struct
import subprocess
import tempfile
import unittest

import harness
from harness import KERNEL, Machine

import tarndisk

READY = "READY."
SAVED_LINE = '10 PRINT "SAVED ON DISK"'
MIB = 1024 * 1024


def run(*cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def put_programs(image, offset, sources):
    with tempfile.TemporaryDirectory() as tmp:
        for src in sources:
            name = tarndisk.c64_name(src)
            staged = os.path.join(tmp, name)
            with open(staged, "wb") as f:
                f.write(tarndisk.program_bytes(src))
            run("mcopy", "-i", "%s@@%d" % (image, offset), staged, "::" + name)


def make_gpt(image, label, sources, size_mib=100):
    """One basic-data partition from sector 2048 holding FAT32."""
    with open(image, "wb") as f:
        f.truncate(size_mib * MIB)
    run("sgdisk", "-n", "1:2048:0", "-t", "1:0700", image)
    last = size_mib * MIB // 512 - 34
    run("mkfs.fat", "-F", "32", "-s", "1", "-n", label, "--offset", "2048", image,
        str((last - 2048 + 1) * 512 // 1024))
    put_programs(image, 2048 * 512, sources)
    return 2048 * 512, (last - 2048 + 1) * 512


def make_4k(image, label, sources, size_mib=320):
    """An MBR in a 4096-byte sector 0 and FAT32 of 4096-byte sectors."""
    start, sectors = 256, size_mib * MIB // 4096 - 256
    with open(image, "wb") as f:
        f.truncate(size_mib * MIB)
        mbr = bytearray(4096)
        mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\xfe\xff\xff", 0x0C, b"\xfe\xff\xff", start, sectors)
        mbr[510:512] = b"\x55\xaa"
        f.write(mbr)
    run("mkfs.fat", "-F", "32", "-S", "4096", "-s", "1", "-n", label, "--offset", str(start), image,
        str(sectors * 4))
    put_programs(image, start * 4096, sources)
    return start * 4096, sectors * 4096


def fsck(image, offset, length):
    """fsck.fat -n on the partition, copied out sparsely."""
    with tempfile.NamedTemporaryFile(suffix=".fat") as part:
        with open(image, "rb") as src:
            src.seek(offset)
            left = length
            while left:
                block = src.read(min(left, MIB))
                if not block:
                    break
                left -= len(block)
                if block.count(0) == len(block):
                    part.seek(len(block), 1)
                else:
                    part.write(block)
        part.truncate(length)
        part.flush()
        r = subprocess.run(["fsck.fat", "-n", part.name], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return r.returncode, r.stdout.decode(errors="replace")


def mtype(image, offset, name):
    r = subprocess.run(["mtype", "-i", "%s@@%d" % (image, offset), "::" + name], stdout=subprocess.PIPE)
    return r.returncode, r.stdout


class DiskBoot(unittest.TestCase):
    """One boot: the disk made by make(), the devices QEMU is given."""

    label = None
    saves = True

    @classmethod
    def setUpClass(cls):
        harness.require(KERNEL)
        if not all(subprocess.run(["which", t], stdout=subprocess.DEVNULL).returncode == 0
                   for t in ("sgdisk", "mkfs.fat", "mtype", "fsck.fat")):
            raise unittest.SkipTest("sgdisk, dosfstools or mtools missing")
        cls.tmp = tempfile.mkdtemp(prefix="tarn-disks-")
        cls.image = os.path.join(cls.tmp, "disk.img")
        cls.offset, cls.length = cls.make(cls.image)
        cls.machine = Machine(kernel=KERNEL, extra=cls.devices(cls.image))
        try:
            cls.machine.start()
            cls.machine.wait_text(READY, timeout=harness.BOOT_DEADLINE)
        except BaseException:
            cls.machine.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.machine.close()
        subprocess.run(["rm", "-rf", cls.tmp])

    def console(self):
        return "\n".join(r for r in self.machine.console_shadow() if r)

    def run_disk_steps(self, drive_line):
        m = self.machine
        self.assertIn(drive_line, self.console())
        m.type_line('LOAD "HELLO",8')
        m.wait_output('LOAD "HELLO",8', ["LOADING", READY])
        m.type_line("LIST 10")
        m.wait_output("LIST 10", ["10 ", READY])
        m.type_line("NEW")
        m.wait_output("NEW", [READY])
        m.type_line(SAVED_LINE)
        m.type_line('SAVE "NEWPROG",8')
        m.wait_output('SAVE "NEWPROG",8', [READY])
        m.type_line("PRINT ST")
        rows = m.wait_output("PRINT ST", [READY])
        st = next((r.strip() for r in rows if re.fullmatch(r" ?-?\d+ *", r)), None)
        m.type_line('LOAD "$",8')
        m.wait_output('LOAD "$",8', [READY])
        m.type_line("LIST 0-")
        listing = "\n".join(m.wait_output("LIST 0-", ["BLOCKS FREE", READY]))
        self.assertIn('"%s' % self.label, listing)
        self.assertRegex(listing, r'"HELLO *" +PRG')
        m.close()
        code, report = fsck(self.image, self.offset, self.length)
        self.assertEqual(code, 0, report)
        code, data = mtype(self.image, self.offset, "NEWPROG.PRG")
        return st, listing, code, data

    def check_saved(self, st, listing, code, data):
        self.assertEqual(st, "0")
        self.assertRegex(listing, r'"NEWPROG *" +PRG')
        self.assertEqual(code, 0)
        self.assertEqual(data[:2], b"\x01\x08")
        self.assertIn(b'"SAVED ON DISK"', data)


class AhciGptBoot(DiskBoot):
    label = "GPTDISK"

    @classmethod
    def make(cls, image):
        return make_gpt(image, cls.label, [harness.sample("hello.bas")])

    @staticmethod
    def devices(image):
        return ["-drive", "file=%s,format=raw,if=none,id=d0" % image,
                "-device", "ahci,id=ahci", "-device", "ide-hd,drive=d0,bus=ahci.0"]

    def test_load_save_and_directory_on_a_gpt_disk_behind_ahci(self):
        self.check_saved(*self.run_disk_steps('Drive 8: AHCI 0 port 0, GPT partition 1, volume "GPTDISK"'))


class Nvme4kBoot(DiskBoot):
    label = "FOURKDISK"

    @classmethod
    def make(cls, image):
        return make_4k(image, cls.label, [harness.sample("hello.bas")])

    @staticmethod
    def devices(image):
        return ["-drive", "file=%s,format=raw,if=none,id=n0" % image,
                "-device", "nvme,serial=tarn1,drive=n0,logical_block_size=4096,physical_block_size=4096"]

    def test_load_save_and_directory_on_4096_byte_blocks_behind_nvme(self):
        self.assertIn("NVMe 0 ns 1: 320 MiB, 4096-byte sectors", self.console())
        self.check_saved(*self.run_disk_steps('Drive 8: NVMe 0 ns 1, MBR partition 1, volume "FOURKDISK"'))


class AhciBackupGptFailingWrites(DiskBoot):
    """The primary GPT header is damaged: the backup finds the partition.
    Every write fails (blkdebug): the port reports a task-file error, SAVE
    ends with ST = 128 and leaves no directory entry, and the port, started
    again, still reads."""

    label = "BACKUPGPT"

    @classmethod
    def make(cls, image):
        where = make_gpt(image, cls.label, [harness.sample("hello.bas")])
        with open(image, "r+b") as f:
            f.seek(512 + 40)            # inside the primary header: its CRC fails
            f.write(b"\xff\xff\xff\xff")
        rules = os.path.join(os.path.dirname(image), "blkdebug.conf")
        with open(rules, "w") as f:
            f.write('[inject-error]\nevent = "write_aio"\niotype = "write"\nerrno = "5"\n')
        return where

    @staticmethod
    def devices(image):
        rules = os.path.join(os.path.dirname(image), "blkdebug.conf")
        return ["-drive", "file=blkdebug:%s:%s,format=raw,if=none,id=d0,werror=report" % (rules, image),
                "-device", "ahci,id=ahci", "-device", "ide-hd,drive=d0,bus=ahci.0"]

    def test_backup_header_mounts_and_a_failed_save_leaves_st_128_and_no_entry(self):
        st, listing, code, data = self.run_disk_steps(
            'Drive 8: AHCI 0 port 0, GPT (backup) partition 1, volume "BACKUPGPT"')
        self.assertEqual(st, "-128")
        self.assertNotIn("NEWPROG", listing)
        self.assertNotEqual(code, 0, "NEWPROG.PRG is on the disk")


if __name__ == "__main__":
    harness.main("__main__")
