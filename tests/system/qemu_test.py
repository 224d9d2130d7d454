"""Tarn booted in QEMU, driven through QMP: keys in, screendumps out.

One machine per class; the steps of a class run in order on the same
machine (their names are numbered), like a user's session.  Run a single
class with `qemu_test.py KernelBoot`.
"""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

import harness
from harness import BOOT_DEADLINE, ISO, KERNEL, STEP_DEADLINE, Machine

import bas2prg
import mkstick
import screen
import tarndisk
import tarnvm
from tools_test import fsck

READY = "READY."
BANNER = "**** COMMODORE 64 BASIC V2 ****"
FREE = "38911 BASIC BYTES FREE"
MONITOR_BANNER = "Tarn v0.10 - Debugging:"
PASTE_GAP = 0.02  # seconds between pasted characters
RAM_SYMBOL = "tarn::host::g_machine_ram"  # the running machine's RAM, for reading its screen
SAVED_LINE = '10 PRINT "SAVED"'


def c64_ram(vm, address, size):
    """Bytes of the running machine's RAM (zeros while there is none)."""
    ram = struct.unpack("<I", vm.read_physical(harness.kernel_symbol(RAM_SYMBOL), 4))[0]
    if ram == 0:
        return bytes(size)
    return vm.read_physical(ram + address, size)


def c64_screen_rows(vm):
    """The C64's 40 x 25 screen memory as text."""
    codes = c64_ram(vm, 0x0400, 1000)
    # Screen codes 1-26 are the letters, 32-63 are ASCII as they are.
    text = "".join(chr(c + 64) if 1 <= c <= 26 else chr(c) if 32 <= c <= 63 else "@" if c == 0 else "?"
                   for c in codes)
    return [text[r * 40:(r + 1) * 40].rstrip() for r in range(25)]


def picture_mismatch(img, codes, row, scale):
    """None when the raster picture, centred at `scale`, shows screen codes
    `codes` in text row `row` dot for dot as the character ROM draws them;
    else what differs."""
    with open(os.path.join(harness.ROOT, "data", "chargen.bin"), "rb") as f:
        rom = f.read()
    shown = min(img.width // 384, img.height // 272)
    if shown != scale:
        return "scale %d" % shown
    x0 = (img.width - 384 * scale) // 2 + 32 * scale   # the display window
    y0 = (img.height - 272 * scale) // 2 + 36 * scale + 8 * scale * row
    bg = img.pixel(x0 + 8 * scale * 39, y0)           # the row's last cell is blank
    for i, code in enumerate(codes):
        for k in range(8):
            for l in range(8):
                for dx, dy in ((0, 0), (scale - 1, scale - 1)):
                    p = img.pixel(x0 + scale * (8 * i + l) + dx, y0 + scale * k + dy)
                    if ((rom[8 * code + k] >> (7 - l)) & 1) != (p != bg):
                        return "cell %d dot %d,%d" % (i, l, k)
    return None


def wait_picture_shows_ready(machine, scale):
    """Waits until READY. is on the C64 screen and the picture shows it in
    ROM glyphs at `scale`."""
    rows = machine.wait_until(lambda: (lambda r: r if READY in r else None)(c64_screen_rows(machine.vm)),
                              "READY. on the C64 screen", BOOT_DEADLINE)
    row = max(i for i, text in enumerate(rows) if text == READY)
    codes = c64_ram(machine.vm, 0x0400 + 40 * row, len(READY))
    machine.wait_until(lambda: picture_mismatch(machine.shot(), codes, row, scale) is None,
                       "READY. in ROM glyphs at scale %d" % scale,
                       describe=lambda _: picture_mismatch(machine.last_image, codes, row, scale))


class KernelImage(unittest.TestCase):
    """The ELF a boot loader is given."""

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(KERNEL):
            raise unittest.SkipTest("%s has not been built" % KERNEL)
        with open(KERNEL, "rb") as f:
            cls.elf = f.read()

    def test_multiboot_header_asks_for_memory_info_and_800x600x16_within_8k(self):
        head = self.elf[:8192]
        found = [o for o in range(0, len(head) - 48, 4)
                 if struct.unpack_from("<I", head, o)[0] == 0x1BADB002]
        self.assertEqual(len(found), 1, "one header, 4-byte aligned, in the first 8 KiB")
        words = struct.unpack_from("<12I", head, found[0])
        self.assertEqual(words[1], 7)
        self.assertEqual((words[0] + words[1] + words[2]) & 0xFFFFFFFF, 0)
        self.assertEqual(words[2], 0xE4524FF7)
        self.assertEqual(words[3:8], (0, 0, 0, 0, 0))
        self.assertEqual(words[8:12], (0, 800, 600, 16))

    def test_image_is_linked_at_one_megabyte_and_enters_at_loader(self):
        self.assertEqual(self.elf[:4], b"\x7fELF")
        self.assertEqual(self.elf[4], 1, "32-bit")
        entry, phoff = struct.unpack_from("<II", self.elf, 24)
        phentsize, phnum = struct.unpack_from("<HH", self.elf, 42)
        loads = []
        for i in range(phnum):
            ptype, offset, vaddr, paddr = struct.unpack_from("<IIII", self.elf, phoff + i * phentsize)
            if ptype == 1:
                loads.append((paddr, offset))
        self.assertEqual(min(loads)[0], 0x100000)
        self.assertEqual(entry, harness.kernel_symbol("loader"))

    def test_constructor_list_is_empty_and_the_stack_opens_the_bss_with_two_megabytes(self):
        self.assertEqual(harness.kernel_symbol("start_ctors"), harness.kernel_symbol("end_ctors"))
        top = harness.kernel_symbol("kernel_stack")
        bottom = harness.kernel_symbol("kernel_stack_bottom")
        self.assertEqual(top - bottom, 0x200000)
        out = subprocess.run(["readelf", "-SW", KERNEL], stdout=subprocess.PIPE, check=True).stdout.decode()
        bss = [l for l in out.splitlines() if " .bss " in l][0]
        self.assertEqual(int(bss.split(".bss")[1].split()[1], 16), bottom)


class Session(unittest.TestCase):
    """Boots one machine for the class and waits for READY."""

    boot_args = {}
    programs = (harness.sample("hello.bas"),)
    with_disk = True

    @classmethod
    def setUpClass(cls):
        harness.require(*cls.needs())
        cls.machine = None
        cls.dir = tempfile.mkdtemp(prefix="tarn-disk-")
        cls.disk = cls.make_disk() if cls.with_disk else None
        args = dict(cls.boot_args)
        if cls.with_disk:
            args["disk"] = cls.disk
        try:
            cls.machine = Machine(**args).boot(lambda m: m.wait_text(READY, BOOT_DEADLINE))
        except BaseException:
            shutil.rmtree(cls.dir, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.machine:
            cls.machine.close()
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def needs(cls):
        return (KERNEL,)

    @classmethod
    def make_disk(cls):
        return harness.make_disk(cls.dir, cls.programs)

    @property
    def m(self):
        return self.machine

    def startup_lines(self):
        return [r for r in self.m.console_shadow() if r]

    def check_startup_report(self, volume=""):
        """The start-up lines: every step reported, no ERROR anywhere, the
        memory the boot loader's map gave, and drive 8's line holding
        `volume`."""
        lines = self.startup_lines()
        text = "\n".join(lines)
        self.assertEqual(lines[0], "Tarn Operating System Starting...")
        self.assertNotIn("ERROR", text)
        for step, result in (("Initializing interrupts", "[OK]"), ("Initializing filesystem driver", "[OK]"),
                             ("Obtaining video mode", "[OK]"), ("Drive 8: ", volume)):
            line = next((l for l in lines if l.startswith(step)), None)
            self.assertIsNotNone(line, "%s missing in:\n%s" % (step, text))
            self.assertIn(result, line)
        memory = re.search(r"Memory: (\d+) MB usable, heap (\d+) MB @ 0x[0-9A-F]{8}", text)
        self.assertIsNotNone(memory, text)
        usable, heap = int(memory.group(1)), int(memory.group(2))
        self.assertTrue(100 <= usable <= 128 and 64 <= heap <= usable, text)   # QEMU's -m 128
        for label in ("ATA pri master: ", "ATA pri slave : ", "ATA sec master: ", "ATA sec slave : "):
            self.assertIn(label.rstrip(), text)
        self.assertRegex(text, r"Clock: (TSC|PIT count)")   # a counter that loses no ticks
        self.assertRegex(text, r"Getting date: \d+/\d+/\d{4}")
        self.assertRegex(text, r"Getting time: \d+:\d+:\d+")
        return lines


class KernelBoot(Session):
    """QEMU's own Multiboot loader: no framebuffer is handed over, so the
    kernel sets 800 x 600 x 16 through the adapter's registers."""

    boot_args = {"kernel": KERNEL}

    def test_01_picture_is_800_by_600_and_shows_the_basic_banner(self):
        img = self.m.shot()
        self.assertEqual((img.width, img.height), (800, 600))
        view = self.m.wait_text(FREE)
        self.assertIn(BANNER, view)

    def test_02_startup_report_ends_each_step_in_ok_and_probes_four_ata_positions(self):
        text = "\n".join(self.check_startup_report())
        # QEMU's loader hands over no framebuffer: the adapter's mode is set.
        self.assertIn("Screen 800 X 600 X 16 - Pitch 1600 (adapter)", text)
        self.assertRegex(text, r"ATA pri master: (.*\n)*.*QEMU HARDDISK")

    def test_03_a_line_pasted_at_full_speed_arrives_whole(self):
        # Fifty characters a second, more than the KERNAL's buffer takes.
        # (QEMU's PS/2 model keeps only 16 bytes: sent faster, a busy host
        # makes QEMU itself drop some before the guest can read them.)
        line = 'PRINT 2+2;"PASTED, NOT TYPED: 10 KEYS"'
        self.m.vm.type_text(line + "\n", gap=PASTE_GAP)
        self.m.wait_output(line, [" 4 PASTED, NOT TYPED: 10 KEYS", READY])

    def test_04_save_new_load_list_round_trip(self):
        self.m.type_line(SAVED_LINE)
        self.m.type_line('SAVE "ROUND",8')
        self.m.wait_output('SAVE "ROUND",8', [READY])
        self.m.type_line("NEW")
        self.m.wait_output("NEW", [READY])
        self.m.type_line("LIST")
        rows = self.m.wait_output("LIST", [READY])
        self.assertEqual([r for r in rows[:rows.index(READY)] if r], [], "NEW left a program")
        self.m.type_line('LOAD "ROUND",8')
        self.m.wait_output('LOAD "ROUND",8', [READY])
        self.m.type_line("LIST 10")
        self.m.wait_output("LIST 10", [SAVED_LINE, READY])
        self.m.type_line("RUN")
        self.m.wait_output("RUN", ["SAVED", READY])

    def test_05_load_dollar_lists_the_disk(self):
        self.m.type_line('LOAD "$",8')
        self.m.wait_output('LOAD "$",8', [READY])
        self.m.type_line("LIST 0-")
        rows = self.m.wait_output("LIST 0-", ["BLOCKS FREE", READY])
        listing = "\n".join(rows)
        self.assertRegex(listing, r'"HELLO *" +PRG')
        self.assertRegex(listing, r'"ROUND *" +PRG')
        self.assertIn("PRG", listing)

    def test_06_escape_opens_the_monitor_runs_a_command_and_escape_returns(self):
        if not screen.fonts().has_console_font:
            self.skipTest("no console font to read the monitor with")
        self.m.key("esc")
        self.m.wait_console(MONITOR_BANNER)
        self.m.vm.type_text("d\n")
        rows = self.m.wait_console("ROUND")
        self.assertTrue(any("HELLO" in r for r in rows), "\n".join(rows))
        self.m.key("esc")
        self.m.wait_text(READY)
        self.m.type_line("PRINT 6*7")
        self.m.wait_output("PRINT 6*7", [" 42", READY])

    def test_07_poke_313_then_run_shows_the_built_in_menu(self):
        self.m.type_line("POKE 313,255")
        self.m.wait_output("POKE 313,255", [READY])
        self.m.type_line("RUN")
        self.m.wait_text("WELCOME TO TARN")

    def test_08_f10_resets_to_a_fresh_ready(self):
        self.m.key("f10")
        view = self.m.wait_view(lambda v: FREE in v and "WELCOME" not in v.text(), "a fresh machine")
        self.assertIn(BANNER, view)
        self.m.wait_text(READY)
        self.m.type_line("LIST")
        rows = self.m.wait_output("LIST", [READY])
        self.assertEqual([r for r in rows[:rows.index(READY)] if r], [], "a fresh machine holds no program")

    def test_09_the_cursor_blinks_and_tab_stops_a_running_program(self):
        self.m.type_line("PRINT 5*5")
        self.m.wait_output("PRINT 5*5", [" 25", READY])
        # A screendump taken while the text view is being redrawn shows no
        # text: wait for one that shows READY.
        rows_of = lambda v: [r.rstrip() for r in v.rows]
        rows = rows_of(self.m.wait_view(lambda v: READY in rows_of(v), "READY on the screen"))
        cursor_row = max(i for i, r in enumerate(rows) if r == READY) + 1
        # The cursor cell's top-left dot: lit in one phase, dark in the other.
        x, y = screen.text_cell_origin(self.m.last_image, 0, cursor_row)
        seen = set()
        def both_phases():
            seen.add(self.m.shot().pixel(x, y))
            return len(seen) >= 2
        self.m.wait_until(both_phases, "a blinking cursor at row %d" % cursor_row)

        self.m.type_line("10 GOTO 10")
        self.m.type_line("RUN")
        time.sleep(1)
        self.m.vm.key("tab", hold_ms=300)
        self.m.wait_output("RUN", ["BREAK IN 10", READY])

    def test_10_saved_file_reads_back_with_mtools_and_the_volume_is_clean(self):
        self.machine.vm.close()
        out = os.path.join(self.dir, "round.prg")
        tarndisk.get(self.disk, "ROUND", out)
        with open(out, "rb") as f:
            saved = f.read()
        # A standard program file: the load address, then the program.
        self.assertEqual(saved, bas2prg.to_prg(SAVED_LINE + "\n"))
        code, report = fsck(self.disk)
        self.assertEqual(code, 0, report)


class IsoBoot(Session):
    """GRUB from the CD image: the boot loader sets the mode and hands over
    the framebuffer."""

    boot_args = {"iso": ISO}

    @classmethod
    def needs(cls):
        return (KERNEL, ISO)

    def test_01_startup_report_shows_the_boot_loaders_800x600x16_framebuffer(self):
        lines = self.check_startup_report()
        self.assertIn("Screen 800 X 600 X 16 - Pitch 1600", "\n".join(lines))
        img = self.m.shot()
        self.assertEqual((img.width, img.height), (800, 600))

    def test_02_a_program_loads_from_the_disk_and_runs(self):
        self.m.type_line('LOAD "HELLO",8')
        self.m.wait_output('LOAD "HELLO",8', [READY])
        self.m.type_line("RUN")
        self.m.wait_output("RUN", ["HELLO FROM THE DISK", "LINE 1", "LINE 3", READY])


class UsbStickBoot(Session):
    """The CD image written to a disk, as `dd` writes it to a USB stick: the
    PC's firmware boots GRUB from the disk's boot sector."""

    boot_args = {"disk": ISO, "snapshot": True}
    with_disk = False

    @classmethod
    def needs(cls):
        return (KERNEL, ISO)

    def test_01_grub_on_a_disk_boots_tarn_with_its_framebuffer(self):
        text = "\n".join(self.check_startup_report(volume="no usable FAT32 volume"))
        self.assertIn("Screen 800 X 600 X 16 - Pitch 1600", text)
        self.assertRegex(text, r"ATA pri master: (.*\n)*.*QEMU HARDDISK")

    def test_02_basic_runs_and_a_disk_without_fat32_gives_file_not_found(self):
        self.m.type_line("PRINT 2+2")
        self.m.wait_output("PRINT 2+2", [" 4", READY])
        self.m.type_line('LOAD "$",8')
        self.m.wait_output('LOAD "$",8', ["FILE NOT FOUND", READY])


class StickSession(Session):
    """The USB-stick image (tools/mkstick.py) as the PC's first disk."""

    SERIAL = 0x7A12C64E
    VOLUME = 'volume "TARN" (7A12-C64E)'
    mode = None
    size_mib = 64

    @classmethod
    def needs(cls):
        return (KERNEL, "/usr/lib/grub/i386-pc", "/usr/lib/grub/x86_64-efi")

    @classmethod
    def make_disk(cls):
        image = os.path.join(cls.dir, "stick.img")
        mkstick.build(image, KERNEL, cls.size_mib, cls.programs, serial=cls.SERIAL, mode=cls.mode)
        return image


class StickBoot(StickSession):
    """Through a BIOS: GRUB from the stick's boot sector. An AHCI disk with
    a FAT32 volume of its own sits beside it and would be drive 8 by the
    disk order; the volume= word GRUB passes names the stick's instead."""

    @classmethod
    def make_disk(cls):
        other = harness.make_disk(cls.dir, (harness.sample("primes.bas"),))
        cls.boot_args = {"extra": ["-device", "ahci,id=ahci", "-drive", "file=%s,if=none,id=other,format=raw" % other,
                                   "-device", "ide-hd,drive=other,bus=ahci.0"]}
        return super().make_disk()

    def test_01_drive_8_is_the_sticks_own_partition_named_by_its_serial(self):
        text = "\n".join(self.check_startup_report(volume=self.VOLUME))
        self.assertIn("Screen 800 X 600 X 16 - Pitch 1600 (boot loader)", text)

    def test_02_a_program_on_the_stick_loads_and_runs(self):
        self.m.type_line('LOAD "HELLO",8')
        self.m.wait_output('LOAD "HELLO",8', [READY])
        self.m.type_line("RUN")
        self.m.wait_output("RUN", ["HELLO FROM THE DISK", READY])


class UefiIsoBoot(Session):
    """The hybrid CD image under UEFI (OVMF): GRUB keeps the mode the
    firmware is in, 32 bits a pixel."""

    boot_args = {"iso": ISO, "firmware": "uefi"}

    @classmethod
    def needs(cls):
        return (KERNEL, ISO, tarnvm.OVMF)

    def test_01_startup_report_shows_the_firmwares_32_bit_framebuffer(self):
        text = "\n".join(self.check_startup_report())
        mode = re.search(r"Screen (\d+) X (\d+) X 32 - Pitch (\d+) \(boot loader\)", text)
        self.assertIsNotNone(mode, text)
        width, height, pitch = (int(g) for g in mode.groups())
        self.assertEqual(pitch, 4 * width)
        img = self.m.shot()
        self.assertEqual((img.width, img.height), (width, height))

    def test_02_a_program_loads_from_the_disk_and_runs(self):
        self.m.type_line('LOAD "HELLO",8')
        self.m.wait_output('LOAD "HELLO",8', [READY])
        self.m.type_line("RUN")
        self.m.wait_output("RUN", ["HELLO FROM THE DISK", READY])

    def test_03_full_mode_shows_the_picture_at_the_largest_scale_and_f11_returns(self):
        img = self.m.shot()
        self.m.key("f11")
        wait_picture_shows_ready(self.m, min(img.width // 384, img.height // 272))
        self.m.key("f11")
        self.m.type_line("PRINT 3*3")
        self.m.wait_output("PRINT 3*3", [" 9", READY])


class UefiLargeStickBoot(StickSession):
    """The stick under UEFI with GRUB asked for 1920 x 1080 x 32: the
    console's and the text view's cells at twice their size, the picture at
    three times."""

    boot_args = {"firmware": "uefi"}
    mode = "1920x1080x32"

    @classmethod
    def needs(cls):
        return super().needs() + (tarnvm.OVMF,)

    def test_01_startup_report_shows_the_large_mode_and_the_sticks_volume(self):
        text = "\n".join(self.check_startup_report(volume=self.VOLUME))
        self.assertIn("Screen 1920 X 1080 X 32 - Pitch 7680 (boot loader)", text)
        self.assertIn("text x2", text)
        self.assertEqual((self.m.shot().width, self.m.shot().height), (1920, 1080))
        # The reader takes the text view's cells at twice their size, centred:
        # READY. read so was drawn so.
        self.assertEqual(screen.text_geometry(1920, 1080), (480, 90, 2))
        self.assertIn(FREE, self.m.view())

    def test_02_the_monitor_draws_the_console_at_twice_the_cell_size(self):
        if not screen.fonts().has_console_font:
            self.skipTest("no console font to read the monitor with")
        # The reader samples one pixel a dot at the console's scale for
        # this screen, 2: text drawn at any other scale reads as nothing.
        self.assertEqual(screen.console_grid(1920, 1080), (120, 33, 2))
        self.m.key("esc")
        self.m.wait_console(MONITOR_BANNER)
        self.m.vm.type_text("d\n")
        self.m.wait_console("HELLO")
        self.m.key("esc")
        self.m.wait_text(READY)

    def test_03_full_mode_shows_the_picture_at_three_times_its_size(self):
        self.m.key("f11")
        wait_picture_shows_ready(self.m, 3)
        self.m.key("f11")
        self.m.wait_text(READY)


class NoDiskBoot(Session):
    """No disk attached at all: start-up goes on and LOAD says so."""

    boot_args = {"kernel": KERNEL}
    with_disk = False

    def test_01_startup_says_no_disk_was_found_and_where_it_looked(self):
        text = "\n".join(self.check_startup_report(volume="no disk found (looked at"))
        self.assertIn("ATA pri master: no device", text)
        self.assertIn("Drive 8: no disk found (looked at AHCI, NVMe and the four IDE positions)", text)
        self.assertNotIn("ERROR", text)

    def test_02_load_reports_file_not_found(self):
        self.m.type_line('LOAD "HELLO",8')
        self.m.wait_output('LOAD "HELLO",8', ["FILE NOT FOUND", READY])


class FullModeBoot(unittest.TestCase):
    """`c64` on the kernel command line: the machine starts in full C64 mode.
    The raster picture is not a text view, so the C64's screen is read from
    guest memory: the kernel's pointer to the running machine's memory map
    (the host's g_machine_ram) leads to its RAM."""

    @classmethod
    def setUpClass(cls):
        harness.require(KERNEL)
        cls.machine = Machine(kernel=KERNEL, extra=["-append", "c64"]).start()

    @classmethod
    def tearDownClass(cls):
        cls.machine.close()

    def c64_ram(self, address, size):
        return c64_ram(self.machine.vm, address, size)

    def screen_rows(self):
        return c64_screen_rows(self.machine.vm)

    def wait_rows(self, predicate, what, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            rows = self.screen_rows()
            if predicate(rows):
                return rows
            time.sleep(harness.POLL)
        self.fail("no %s on the C64 screen; it holds:\n%s" % (what, "\n".join(self.screen_rows())))

    def jiffies(self):
        t = self.c64_ram(0xA0, 3)
        return t[0] << 16 | t[1] << 8 | t[2]

    def test_01_boots_to_ready_on_the_chips_own_clock(self):
        rows = self.wait_rows(lambda rows: READY in rows, "READY.", BOOT_DEADLINE)
        self.assertTrue(any(FREE in r for r in rows), "\n".join(rows))

    def test_02_the_jiffy_clock_runs_no_faster_than_sixty_a_second(self):
        t0, j0 = time.monotonic(), self.jiffies()
        time.sleep(3)
        t1, j1 = time.monotonic(), self.jiffies()
        self.assertGreater(j1, j0)
        self.assertLessEqual((j1 - j0) / (t1 - t0), 66)

    def test_03_keys_reach_basic_through_the_keyboard_matrix(self):
        # Each key pressed and let go at once: the machine holds every change
        # of the matrix for a frame, so the KERNAL's scan (one a jiffy) sees it.
        self.machine.vm.type_text("PRINT 7-2\n", gap=0.1)
        self.wait_rows(lambda rows: " 5" in rows, "the result 5", STEP_DEADLINE)

    def test_04_a_line_pasted_at_full_speed_arrives_whole_in_its_shift_states(self):
        self.machine.vm.type_text('PRINT 6*7;":K"+"L"\n', gap=PASTE_GAP)
        self.wait_rows(lambda rows: " 42 :KL" in rows, "the pasted line's result", STEP_DEADLINE)

    def test_05_the_picture_shows_ready_from_the_character_rom(self):
        """A screendump of READY. at twice its size, centred: the cells of the
        word compared dot by dot with the character ROM."""
        wait_picture_shows_ready(self.machine, 2)


if __name__ == "__main__":
    harness.main("__main__")
