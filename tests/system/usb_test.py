#!/usr/bin/env python3
"""USB in QEMU: an xHCI controller with a keyboard, a hub with a mouse
behind it, and a FAT32 stick as drive 8, on a PC without a PS/2
controller, so every key arrives over USB. One boot checks typing in both
modes, a keyboard plugged in behind the hub, the mouse on the SID's POT
lines, LOAD, SAVE and the directory on the stick, and the stick pulled out
during a LOAD and during a SAVE and plugged in again; fsck.fat and mtools
judge the stick afterwards. A second boot starts the stick image from USB
under UEFI."""

import os
import shutil
import tempfile
import time
import unittest

import harness
from harness import BOOT_DEADLINE, KERNEL, STEP_DEADLINE, Machine

import qemu_test
import screen
import tarndisk
import tarnvm
from tools_test import fsck

READY = "READY."
POT_X, POT_Y, PORT_1 = 54297, 54298, 56321
# Before it is pulled out the stick answers twenty commands a second, so a
# LOAD or SAVE of the big program takes seconds and the stick leaves in the
# middle of it (one that finishes first is as good: no hang, no error).
SLOW = dict(bps=0, bps_rd=0, bps_wr=0, iops=20, iops_rd=0, iops_wr=0)
PULL_AFTER = 1.0  # seconds after the command is typed


def big_program(path):
    """A BASIC program of about 30 KB (400 REM lines): the size of program
    the LOAD is timed with."""
    with open(path, "w") as f:
        for n in range(1, 401):
            f.write("%d REM %s\n" % (n, chr(65 + n % 26) * 70))
    return path


class UsbSession(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        harness.require(KERNEL)
        cls.machine = None
        cls.dir = tempfile.mkdtemp(prefix="tarn-usb-")
        cls.big = big_program(os.path.join(cls.dir, "big.bas"))
        cls.stick = harness.make_disk(cls.dir, (harness.sample("hello.bas"), cls.big))
        extra = ["-machine", "i8042=off", "-device", "qemu-xhci,id=xhci",
                 "-device", "usb-kbd,bus=xhci.0,port=1,id=kbd",
                 "-device", "usb-hub,bus=xhci.0,port=2",
                 "-device", "usb-mouse,bus=xhci.0,port=2.2",
                 "-drive", "if=none,id=stickdrive,format=raw,file=" + cls.stick,
                 "-device", "usb-storage,bus=xhci.0,port=3,drive=stickdrive,id=stick"]
        try:
            cls.machine = Machine(kernel=KERNEL, extra=extra).boot(lambda m: m.wait_text(READY, BOOT_DEADLINE))
        except BaseException:
            shutil.rmtree(cls.dir, ignore_errors=True)
            raise
        cls.plugs = 0
        cls.drive = "stickdrive"  # the stick's block backend, renamed at each plug

    @classmethod
    def tearDownClass(cls):
        if cls.machine:
            cls.machine.close()
        shutil.rmtree(cls.dir, ignore_errors=True)

    @property
    def m(self):
        return self.machine

    def run_line(self, line, expected):
        """Types a program line that prints between brackets, RUNs it and
        waits for the output; the line number keeps each command new."""
        self.m.type_line("NEW")
        self.m.type_line(line)
        self.m.type_line("RUN")
        return self.m.wait_output("RUN", expected)

    def error_channel(self, number):
        return self.run_line('%d OPEN 15,8,15:INPUT#15,A,B$:CLOSE 15:PRINT "<";A;B$;">"' % number, [READY])

    def pull_stick(self):
        self.m.vm.cmd("device_del", id="stick")

    def plug_stick(self):
        # The drive went with the device: a new one over the same image.
        UsbSession.plugs += 1
        drive = UsbSession.drive = "stickdrive%d" % self.plugs
        self.m.vm.cmd("human-monitor-command", **{
            "command-line": "drive_add 0 if=none,id=%s,format=raw,file=%s" % (drive, self.stick)})
        self.m.vm.cmd("device_add", driver="usb-storage", bus="xhci.0", port="3", drive=drive, id="stick")

    def test_01_startup_finds_every_device_and_takes_the_stick_as_drive_8(self):
        text = "\n".join(l for l in self.m.console_shadow() if l)
        self.assertRegex(text, r"USB: xHCI controller, \d+ ports")
        for device in ("keyboard ready", "hub ready", r"\.2: mouse ready", "disk ready"):
            self.assertRegex(text, r"USB port \d+%s" % ("" if device.startswith("\\") else ": ") + device)
        self.assertRegex(text, r"Drive 8: USB QEMU QEMU HARDDISK, MBR partition 1")

    def test_02_basic_is_typed_on_the_usb_keyboard_and_one_plugged_in_behind_the_hub(self):
        self.m.type_line("PRINT 2+2")
        self.m.wait_output("PRINT 2+2", [" 4", READY])
        # The newest keyboard gets QEMU's keys: the one behind the hub.
        self.m.vm.cmd("device_add", driver="usb-kbd", bus="xhci.0", port="2.1", id="hubkbd")
        self.m.wait_until(lambda: self.type_and_see("PRINT 6*7", " 42"), "keys from the keyboard behind the hub")
        self.m.vm.cmd("device_del", id="hubkbd")
        self.m.wait_until(lambda: self.type_and_see("PRINT 5*5", " 25"), "keys from the first keyboard again")

    def type_and_see(self, command, result):
        self.m.type_line(command)
        try:
            self.m.wait_output(command, [result], timeout=10)
            return True
        except harness.TimedOut:
            return False

    def test_03_the_mouse_moves_the_pot_lines_and_its_left_button_is_fire(self):
        self.m.type_line("NEW")
        self.m.type_line('10 PRINT "<";(PEEK(%d)-X)AND127;(PEEK(%d)-Y)AND127;">"' % (POT_X, POT_Y))
        self.m.type_line("X=PEEK(%d):Y=PEEK(%d)" % (POT_X, POT_Y))
        self.m.wait_output("X=PEEK(%d):Y=PEEK(%d)" % (POT_X, POT_Y), [READY])
        # Ten counts right and seven away from the user: the 1351 shows
        # twice the counts in bits 1-6, Y counting up as the mouse moves away.
        self.m.vm.cmd("input-send-event", events=[{"type": "rel", "data": {"axis": "x", "value": 10}},
                                                    {"type": "rel", "data": {"axis": "y", "value": -7}}])
        time.sleep(0.5)
        self.m.type_line("GOTO 10")
        self.m.wait_output("GOTO 10", ["< 20  14 >", READY])
        # Port 1's fire line: the program waits (ten seconds at most) for
        # it to go low while the button is held.
        button = lambda down: self.m.vm.cmd("input-send-event", events=[
            {"type": "btn", "data": {"down": down, "button": "left"}}])
        self.m.type_line("NEW")
        self.m.type_line("20 T=TI")
        self.m.type_line("30 IF (PEEK(%d)AND16)=16 AND TI-T<600 THEN 30" % PORT_1)
        self.m.type_line('40 PRINT "<";PEEK(%d)AND16;">"' % PORT_1)
        self.m.type_line("RUN")
        button(True)
        try:
            self.m.wait_output("RUN", ["< 0 >"])
        finally:
            button(False)

    def test_04_full_mode_takes_the_usb_keyboard_through_the_key_matrix(self):
        self.m.key("f11")
        for ch in "PRINT 7-2":
            self.m.vm.key({" ": "spc", "-": "minus"}.get(ch, ch.lower()), hold_ms=120, gap=0.1)
        self.m.vm.key("ret", hold_ms=120, gap=0.1)
        self.m.wait_until(lambda: " 5" in qemu_test.c64_screen_rows(self.m.vm), "the result 5 in full mode")
        self.m.key("f11")
        self.m.wait_text(READY)

    def test_05_load_save_and_the_directory_on_the_stick(self):
        self.m.type_line('LOAD "HELLO",8')
        self.m.wait_output('LOAD "HELLO",8', [READY])
        self.m.type_line("RUN")
        self.m.wait_output("RUN", ["HELLO FROM THE DISK", READY])
        self.m.type_line('SAVE "ROUND",8')
        self.m.wait_output('SAVE "ROUND",8', [READY])
        self.m.type_line('LOAD "$",8')
        self.m.wait_output('LOAD "$",8', [READY])
        self.m.type_line("LIST 0-")
        listing = "\n".join(self.m.wait_output("LIST 0-", ["BLOCKS FREE", READY]))
        for name in ("HELLO", "BIG", "ROUND"):
            self.assertRegex(listing, r'"%s *" +PRG' % name)

    def monitor_disks(self):
        """The monitor's P: the disks found and drive 8's partition."""
        self.m.key("esc")
        self.m.wait_console(qemu_test.MONITOR_BANNER)
        self.m.vm.type_text("p\n")
        try:
            return self.m.wait_console("Drive 8 (*)")
        finally:
            self.m.key("esc")
            self.m.wait_text(READY)

    def pull_stick_during(self, command):
        """Slows the stick down, types command and pulls the stick out while
        the transfer is under way (the screen shows nothing until it ends)."""
        self.m.vm.cmd("block_set_io_throttle", device=UsbSession.drive, **SLOW)
        self.m.type_line(command)
        time.sleep(PULL_AFTER)
        self.pull_stick()

    def test_06_the_stick_pulled_out_during_a_load_gives_drive_not_ready_and_plugged_in_is_used_again(self):
        self.pull_stick_during('LOAD "BIG",8')
        self.m.wait_output('LOAD "BIG",8', [READY])
        self.error_channel(20)
        self.m.wait_output("RUN", ["< 74 DRIVE NOT READY>", READY])
        self.plug_stick()
        self.m.wait_until(lambda: self.type_and_see('LOAD "HELLO",8', "LOADING"), "the stick back as drive 8")
        self.m.wait_output('LOAD "HELLO",8', [READY])
        self.error_channel(30)
        self.m.wait_output("RUN", ["< 0 OK>", READY])
        if screen.fonts().has_console_font:
            rows = self.monitor_disks()
            self.assertTrue(any(r.startswith("USB QEMU QEMU HARDDISK:") for r in rows), "\n".join(rows))
            self.assertTrue(any(r.startswith(" * 1 ") for r in rows), "\n".join(rows))

    def test_07_the_stick_pulled_out_during_a_save_reports_it_and_leaves_no_half_file(self):
        self.m.type_line('LOAD "BIG",8')
        self.m.wait_output('LOAD "BIG",8', [READY])
        self.pull_stick_during('SAVE "COPY",8')
        self.m.wait_output('SAVE "COPY",8', [READY])
        self.error_channel(40)
        self.m.wait_output("RUN", ["< 74 DRIVE NOT READY>", READY])

    def test_08_afterwards_the_stick_is_clean_and_holds_whole_files(self):
        self.machine.close()
        UsbSession.machine = None
        code, report = fsck(self.stick)
        self.assertEqual(code, 0, report)
        saved = os.path.join(self.dir, "copy.prg")
        try:
            tarndisk.get(self.stick, "COPY", saved)
        except tarndisk.DiskError:
            return  # not stored: as it should be when the stick left first
        with open(saved, "rb") as f:
            self.assertEqual(f.read(), tarndisk.program_bytes(self.big), "a SAVE that reached the stick is whole")


class UefiUsbStickBoot(qemu_test.StickSession):
    """The stick image on an xHCI controller and no other disk: OVMF boots
    GRUB from it over USB, and Tarn's own USB driver finds it again and takes
    its partition, named on the command line, as drive 8."""

    @classmethod
    def needs(cls):
        return super().needs() + (tarnvm.OVMF,)

    @classmethod
    def setUpClass(cls):
        harness.require(*cls.needs())
        cls.machine = None
        cls.dir = tempfile.mkdtemp(prefix="tarn-usb-stick-")
        cls.disk = cls.make_disk()
        try:
            cls.machine = Machine(firmware="uefi", usb_disk=cls.disk).boot(
                lambda m: m.wait_text(READY, BOOT_DEADLINE))
        except BaseException:
            shutil.rmtree(cls.dir, ignore_errors=True)
            raise

    def test_01_drive_8_is_the_sticks_own_partition_found_over_usb(self):
        text = "\n".join(self.check_startup_report(volume=self.VOLUME))
        self.assertIn("Drive 8: USB QEMU QEMU HARDDISK", text)

    def test_02_a_program_on_the_stick_loads_and_runs(self):
        self.m.type_line('LOAD "HELLO",8')
        self.m.wait_output('LOAD "HELLO",8', [READY])
        self.m.type_line("RUN")
        self.m.wait_output("RUN", ["HELLO FROM THE DISK", READY])


if __name__ == "__main__":
    harness.main("__main__")
