"""Host tools the system tests and users rely on: the BASIC tokenizer, the
disk-image tool and the screen reader.  No QEMU here."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import bas2prg  # noqa: E402
import layers  # noqa: E402
import screen  # noqa: E402
import tarndisk  # noqa: E402
from tarnvm import Image, keys_for_char  # noqa: E402


def line(link, number, body):
    return bytes([link & 0xFF, link >> 8, number & 0xFF, number >> 8]) + body + b"\0"


class TokenizerTest(unittest.TestCase):
    def test_print_line_becomes_token_string_and_end_marker(self):
        prg = bas2prg.to_prg('10 PRINT "HI"\n')
        body = b'\x99 "HI"'
        self.assertEqual(prg, b"\x01\x08" + line(0x0801 + 5 + len(body), 10, body) + b"\0\0")

    def test_links_chain_lines_at_their_addresses(self):
        image = bas2prg.tokenize("10 END\n20 END\n")
        first_link = image[0] | image[1] << 8
        self.assertEqual(first_link, 0x0801 + 6)
        second = first_link - 0x0801
        self.assertEqual(image[second + 2:second + 4], b"\x14\x00")
        self.assertEqual(image[-2:], b"\0\0")

    def test_keywords_in_strings_and_after_rem_stay_text(self):
        image = bas2prg.tokenize('10 PRINT "FOR TO":REM GOTO END?\n')
        body = image[4:-3]
        self.assertEqual(body, b'\x99 "FOR TO":\x8f GOTO END?')

    def test_data_stays_text_until_colon(self):
        body = bas2prg.tokenize("10 DATA TO,AND:PRINT\n")[4:-3]
        self.assertEqual(body, b"\x83 TO,AND:\x99")

    def test_question_mark_is_print_and_lowercase_is_capitals(self):
        body = bas2prg.tokenize('10 ?"a";x\n')[4:-3]
        self.assertEqual(body, b'\x99"A";X')

    def test_longest_keyword_first_where_the_table_says(self):
        body = bas2prg.tokenize("10 INPUT#1,A:PRINT#1:GOTO10\n")[4:-3]
        self.assertEqual(body, b"\x84" + b"1,A:\x98" + b"1:\x8910")

    def test_control_names_in_strings(self):
        body = bas2prg.tokenize('10 PRINT"{CLR}{RVSON}X"\n')[4:-3]
        self.assertEqual(body, b'\x99"\x93\x12X"')
        # Listing conventions: either case, spaced names, hex codes, counts.
        body = bas2prg.tokenize('10 ?"{clr}{rvs on}{Rvs Off}{orng}{gry3}{$a0}{3 down}{left*2}{2 spaces}"\n')[4:-3]
        self.assertEqual(body, b'\x99"\x93\x12\x92\x81\x9b\xa0\x11\x11\x11\x9d\x9d  "')

    def test_bad_listings_are_refused_with_the_line(self):
        for text, needle in (("PRINT 1\n", "no line number"),
                             ("20 END\n10 END\n", "does not rise"),
                             ("64000 END\n", "above"),
                             ('10 PRINT "\u00e9"\n', "cannot be typed"),
                             ('10 PRINT "{NOPE}"\n', "NOPE"),
                             ('10 PRINT "{$G0}"\n', "$G0"),
                             ('10 PRINT "{CLR"\n', "unclosed")):
            with self.assertRaises(bas2prg.ListingError) as ctx:
                bas2prg.tokenize(text)
            self.assertIn(needle, str(ctx.exception))

    def test_vars_placeholders_resolve_to_the_end_of_the_program(self):
        # The number written for the address changes the line's length; the
        # value must be the settled end, i.e. where the image really ends.
        image = bas2prg.tokenize("0 POKE45,{VARS_LO}:POKE46,{VARS_HI}\n10 END\n")
        end = 0x0801 + len(image)
        body = image[4:image.index(b"\0", 4)]
        self.assertEqual(body, b"\x9745,%d:\x9746,%d" % (end & 0xFF, end >> 8))

    def test_ca65_output_lists_the_same_bytes(self):
        text = '10 PRINT "HI"\n20 GOTO 10\n'
        image = bas2prg.tokenize(text)
        lines = [l for l in bas2prg.to_ca65(text).splitlines() if ".byte" in l]
        values = [int(v.strip().lstrip("$"), 16) for l in lines for v in l.split(".byte")[1].split(",")]
        self.assertEqual(bytes(values), image)

    def test_no_header_option(self):
        self.assertEqual(bas2prg.to_prg("10 END\n", header=False), bas2prg.tokenize("10 END\n"))


def fsck(image):
    """fsck.fat -n on the partition of an image; returns (exit code, output)."""
    offset = tarndisk.partition_offset(image)
    with tempfile.NamedTemporaryFile(suffix=".fat") as part:
        with open(image, "rb") as src:
            src.seek(offset)
            while True:
                block = src.read(1 << 20)
                if not block:
                    break
                if block.count(0) == len(block):
                    part.seek(len(block), 1)
                else:
                    part.write(block)
            part.truncate()
        part.flush()
        r = subprocess.run(["fsck.fat", "-n", part.name], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT)
        return r.returncode, r.stdout.decode(errors="replace")


class DiskToolTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.image = os.path.join(self.dir, "disk.img")

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_created_image_is_a_clean_fat32_partition_with_enough_clusters(self):
        bas = self.write("hello.bas", b'10 PRINT "HELLO"\n')
        tarndisk.create(self.image, 64, [bas])
        with open(self.image, "rb") as f:
            mbr = f.read(512)
            self.assertEqual(mbr[510:], b"\x55\xaa")
            self.assertEqual(mbr[446 + 4], 0x0C)
            start, count = struct.unpack_from("<II", mbr, 446 + 8)
            f.seek(start * 512)
            bpb = f.read(512)
        self.assertEqual(bpb[82:90], b"FAT32   ")
        sectors_per_cluster = bpb[13]
        reserved = struct.unpack_from("<H", bpb, 14)[0]
        fats = bpb[16]
        total = struct.unpack_from("<I", bpb, 32)[0]
        fat_size = struct.unpack_from("<I", bpb, 36)[0]
        clusters = (total - reserved - fats * fat_size) // sectors_per_cluster
        self.assertGreaterEqual(clusters, 65525)
        self.assertEqual(total, count)
        code, out = fsck(self.image)
        self.assertEqual(code, 0, out)
        self.assertIn("HELLO    PRG", tarndisk.listing(self.image))
        # sparse: far less on disk than its length
        self.assertLess(os.stat(self.image).st_blocks * 512, os.path.getsize(self.image) // 8)

    def test_put_keeps_every_load_address_and_bas_listings_get_one(self):
        tarndisk.create(self.image, 64)
        basic = self.write("game.prg", b"\x01\x08ABC")
        code = self.write("mcode.prg", b"\x00\xc0\xa9\x01")
        listing = self.write("list.bas", b"10 END\n")
        tarndisk.put(self.image, [basic, code, listing])
        out = os.path.join(self.dir, "back")
        for name, data in (("GAME", b"\x01\x08ABC"), ("mcode", b"\x00\xc0\xa9\x01"),
                           ("LIST", b"\x01\x08" + bas2prg.tokenize("10 END\n"))):
            tarndisk.get(self.image, name, out)
            with open(out, "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertEqual(fsck(self.image)[0], 0)

    def test_put_replaces_a_file_of_the_same_name(self):
        tarndisk.create(self.image, 64)
        tarndisk.put(self.image, [self.write("x.prg", b"\x00\xc0" + b"1" * 3000)])
        tarndisk.put(self.image, [self.write("x.prg", b"\x00\xc0" + b"2")])
        out = os.path.join(self.dir, "back")
        tarndisk.get(self.image, "X", out)
        self.assertEqual(open(out, "rb").read(), b"\x00\xc02")

    def test_names_that_are_no_c64_file_names_are_refused(self):
        tarndisk.create(self.image, 64)
        for bad in ("seventeen chars!!.prg", "a*b.prg", "why?.prg", "co,mma.prg", "$dir.prg", "dot..prg"):
            with self.assertRaises(tarndisk.DiskError):
                tarndisk.put(self.image, [self.write(bad, b"\x01\x08\0\0")])
        self.assertNotIn("PRG", tarndisk.listing(self.image))

    def test_long_names_get_a_long_name_entry_and_read_back(self):
        tarndisk.create(self.image, 64)
        tarndisk.make_d64(os.path.join(self.dir, "games.d64"), [self.write("a.prg", b"\x01\x08A")])
        with open(os.path.join(self.dir, "games.d64"), "rb") as f:
            d64 = f.read()
        files = {"boulder dash.prg": b"\x00\xc0BD", "notes.seq": b"HI\r", "sixteen chars ok.prg": b"\x00\x10",
                 "my games.d64": d64}
        tarndisk.put(self.image, [self.write(n, d) for n, d in files.items()])
        listing = tarndisk.listing(self.image)
        self.assertEqual(len(d64), 174848)
        self.assertIn("MY GAMES.D64", listing)
        self.assertIn("BOULDER DASH.PRG", listing)
        self.assertIn("SIXTEEN CHARS OK.PRG", listing)
        self.assertIn("NOTES    SEQ", listing)
        out = os.path.join(self.dir, "back")
        for name, data in files.items():
            tarndisk.get(self.image, name, out)
            self.assertEqual(open(out, "rb").read(), data, name)
        code, report = fsck(self.image)
        self.assertEqual(code, 0, report)

    def test_image_without_partition_table_is_refused(self):
        self.write("disk.img", b"\0" * 4096)
        with self.assertRaises(tarndisk.DiskError) as ctx:
            tarndisk.listing(self.image)
        self.assertIn("no MBR", str(ctx.exception))

    def test_too_small_image_is_refused(self):
        with self.assertRaises(tarndisk.DiskError):
            tarndisk.create(self.image, 8)


def render_text_view(rows, colours, border, background, f):
    """Paints a text view the way the kernel does, for the reader to read."""
    w, h = 800, 600
    pix = bytearray(bytes(f.c64pal[border]) * (w * h))

    def fill(x, y, cw, ch, rgb):
        for yy in range(y, y + ch):
            i = (yy * w + x) * 3
            pix[i:i + cw * 3] = bytes(rgb) * cw

    glyphs = {v: k for k, v in f.small.items()}
    left, top, _ = screen.text_geometry(w, h)
    for r in range(25):
        for c in range(40):
            x0, y0 = left + 12 * c, top + 18 * r
            fill(x0, y0, 12, 18, f.c64pal[background])
            ch = rows[r][c] if c < len(rows[r]) else " "
            for k, bits in enumerate(glyphs[ch]):
                for l in range(5):
                    if bits & (0x10 >> l):
                        fill(x0 + 2 * l, y0 + 2 * k, 2, 2, f.c64pal[colours])
    return Image(w, h, bytes(pix))


class ScreenReaderTest(unittest.TestCase):
    def test_text_view_reads_back_characters_and_colours(self):
        f = screen.fonts()
        rows = ["READY.", "PRINT 2+2", " 4", "!\"#$%&'()*+,-./0123456789:;<=>?@[\\]^_"] + [""] * 21
        img = render_text_view(rows, 14, 14, 6, f)
        view = screen.read_text_view(img, f)
        self.assertEqual(view.rows[0].rstrip(), "READY.")
        self.assertEqual(view.rows[3].rstrip(), rows[3])
        self.assertEqual(view.find(" 4"), (2, 0))
        self.assertEqual((view.border, view.background), (14, 6))
        self.assertEqual(view.colours[0][0], 14)
        self.assertIsNone(view.colours[0][10])

    def test_pixel_outside_any_glyph_reads_as_unknown(self):
        f = screen.fonts()
        img = render_text_view(["A"] + [""] * 24, 1, 14, 6, f)
        rgb = bytearray(img.rgb)
        left, top, _ = screen.text_geometry(800, 600)
        i = ((top + 2 * 3) * 800 + left + 2 * 2) * 3   # the hole in the middle of "A"
        rgb[i:i + 3] = bytes(f.c64pal[1])
        view = screen.read_text_view(Image(800, 600, bytes(rgb)), f)
        self.assertEqual(view.rows[0][0], screen.UNKNOWN)

    @unittest.skipUnless(screen.fonts().has_console_font, "no console font in the dump")
    def test_console_reads_back_text(self):
        f = screen.fonts()
        glyphs = {}
        for key, ch in f.console.items():
            glyphs.setdefault(ch, key)
        w, h = 800, 600
        pix = bytearray(w * h * 3)
        text = "ATA pri master: [OK] 0x00A00000"
        for c, ch in enumerate(text):
            for k, bits in enumerate(glyphs[ch]):
                for l in range(8):
                    if bits & (0x80 >> l):
                        i = ((16 * 2 + k) * w + 8 * c + l) * 3
                        pix[i:i + 3] = b"\x94\x94\x94"
        rows = screen.read_console(Image(w, h, bytes(pix)), f)
        self.assertEqual(rows[2], text)
        self.assertEqual(rows[0], "")


class LayersTest(unittest.TestCase):
    def test_an_include_against_the_layers_is_named_and_fails_the_check(self):
        with tempfile.TemporaryDirectory() as root:
            for folder, text in (("c64", '#include "lib/types.h"\n#include "drivers/keyboard.h"\n'),
                                 ("hardwarecommunication", '#include "kernel/gdt.h"\n'),
                                 ("host", '#include "c64/c64.h"\n#include "drivers/pit.h"\n')):
                os.makedirs(os.path.join(root, folder))
                with open(os.path.join(root, folder, "x.cpp"), "w") as f:
                    f.write(text)
            bad = layers.violations(root)
            self.assertEqual(bad, ["c64/x.cpp:2: c64 includes drivers/keyboard.h",
                                   "hardwarecommunication/x.cpp:1: hardwarecommunication includes kernel/gdt.h"])


class KeyMapTest(unittest.TestCase):
    def test_characters_map_to_us_keys(self):
        self.assertEqual(keys_for_char("a"), ["a"])
        self.assertEqual(keys_for_char("A"), ["a"])
        self.assertEqual(keys_for_char('"'), ["shift", "apostrophe"])
        self.assertEqual(keys_for_char("$"), ["shift", "4"])
        self.assertEqual(keys_for_char("\n"), ["ret"])
        with self.assertRaises(ValueError):
            keys_for_char("\u00e9")


if __name__ == "__main__":
    unittest.main()
