"""The machine's sound on each of QEMU's sound devices, captured in a WAV
file: a BASIC program in full C64 mode holds a three-voice chord for three
seconds (180 jiffies), and the capture must hold it at its three pitches,
for its length, without a gap.

QEMU runs with -icount (its clock counts the guest's instructions and skips
ahead when the guest waits), so the guest's time, the sound device's and
the WAV file's are one timeline, whatever else the host is busy with: a
gap in the file is the kernel's, not the host's.  Run one device with
`sound_test.py Hda`.
"""

import math
import os
import shutil
import struct
import tempfile
import time
import unittest
import wave

import harness
from harness import BOOT_DEADLINE, KERNEL, STEP_DEADLINE, Machine
from qemu_test import c64_screen_rows

import tarnvm

ICOUNT = ["-icount", "shift=1,sleep=off"]
CHORD_HZ = (523.25, 659.26, 783.99)  # C, E and G: the registers 8910, 11226, 13350
PAL_HZ = 985248
CHORD = """10 S=54272:FORI=0TO24:POKES+I,0:NEXT:POKES+24,15
20 FORV=0TO2:READF:POKES+7*V,FAND255:POKES+7*V+1,INT(F/256):POKES+7*V+6,240:NEXT
30 T=TI:POKES+4,17:POKES+11,17:POKES+18,17
40 IFTI-T<180THEN40
50 POKES+4,16:POKES+11,16:POKES+18,16
60 PRINT"CHORD DONE"
70 DATA 8910,11226,13350
"""
GAP_MS = 5


def register_hz(reg):
    return reg * PAL_HZ / 2 ** 24


def read_wav(path):
    """The left channel as numbers, and the rate."""
    with wave.open(path) as w:
        rate, channels, n = w.getframerate(), w.getnchannels(), w.getnframes()
        data = w.readframes(n)
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    return list(samples[0::channels]), rate


def strength(x, hz, rate):
    """Amplitude of the component at hz (Hann window)."""
    n = len(x)
    re = im = 0.0
    for i, v in enumerate(x):
        w = v * (0.5 - 0.5 * math.cos(2 * math.pi * i / n))
        a = 2 * math.pi * hz * i / rate
        re += w * math.cos(a)
        im -= w * math.sin(a)
    return 4 * math.hypot(re, im) / n


def peak_near(x, hz, rate, spread=0.02, step=0.5):
    """The frequency within hz +- spread where x is strongest."""
    best, best_hz = -1.0, hz
    f = hz * (1 - spread)
    while f <= hz * (1 + spread):
        s = strength(x, f, rate)
        if s > best:
            best, best_hz = s, f
        f += step
    return best_hz


def sounding_span(x, rate, threshold=1000):
    """Start and end of the longest stretch whose 5 ms windows all reach the
    threshold (the click of the volume register, a few ms, is not one)."""
    w = rate // 200
    loud = [max(abs(v) for v in x[i:i + w]) >= threshold for i in range(0, len(x) - w, w)]
    best, start = (None, None), None
    for k, on in enumerate(loud + [False]):
        if on and start is None:
            start = k
        if not on and start is not None:
            if best[0] is None or k - start > (best[1] - best[0]) // w:
                best = (start * w, k * w)
            start = None
    return best


def longest_quiet(x, threshold=100):
    run = worst = 0
    for v in x:
        run = run + 1 if abs(v) < threshold else 0
        worst = max(worst, run)
    return worst


class ChordOnDevice(unittest.TestCase):
    """Boots with the device, plays the chord, analyses the capture."""

    device = []        # QEMU arguments adding the sound device
    startup = None     # what the start-up console says about it
    pitches = CHORD_HZ  # what the capture must hold

    @classmethod
    def setUpClass(cls):
        if cls is ChordOnDevice:
            raise unittest.SkipTest("base class")
        harness.require(KERNEL)
        cls.dir = tempfile.mkdtemp(prefix="tarn-sound-")
        source = os.path.join(cls.dir, "chord.bas")
        with open(source, "w") as f:
            f.write(CHORD)
        cls.wav = os.path.join(cls.dir, "sound.wav")
        disk = harness.make_disk(cls.dir, [source])
        cls.machine = Machine(kernel=KERNEL, disk=disk, wav=cls.wav,
                              extra=["-append", "c64"] + ICOUNT + cls.device)
        try:
            cls.machine.start()
            cls.wait_rows(lambda rows: "READY." in rows, "READY.", BOOT_DEADLINE)
            cls.console = [r for r in cls.machine.console_shadow() if r]
            for line in ('LOAD"CHORD",8', "RUN"):
                for ch in line:
                    cls.type_char(ch)
                cls.machine.vm.key("ret", hold_ms=80, gap=0.1)
                if line.startswith("LOAD"):
                    cls.wait_rows(lambda rows: rows.count("READY.") >= 2, "the program loaded", STEP_DEADLINE)
            cls.wait_rows(lambda rows: "CHORD DONE" in rows, "the chord's end", STEP_DEADLINE)
        except BaseException:
            cls.machine.close()
            shutil.rmtree(cls.dir, ignore_errors=True)
            raise
        cls.machine.close()  # the capture is complete once QEMU has ended
        cls.x, cls.rate = read_wav(cls.wav)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def type_char(cls, ch):
        keys = tarnvm.keys_for_char(ch)
        cls.machine.vm.send_keys(keys, hold_ms=60)
        time.sleep(0.12)

    @classmethod
    def wait_rows(cls, predicate, what, timeout):
        deadline = time.monotonic() + timeout
        rows = []
        while time.monotonic() < deadline:
            rows = c64_screen_rows(cls.machine.vm)
            if predicate(rows):
                return rows
            time.sleep(harness.POLL)
        raise AssertionError("no %s on the C64 screen; it holds:\n%s" % (what, "\n".join(rows)))

    def test_start_up_names_the_sound_device(self):
        line = next((l for l in self.console if l.startswith("Sound: ")), "")
        self.assertIn(self.startup, line, "\n".join(self.console))

    def test_the_chord_sounds_at_its_pitches_for_three_seconds_without_a_gap(self):
        first, last = sounding_span(self.x, self.rate)
        self.assertIsNotNone(first, "nothing was heard")
        # The guest's own timeline is fixed by -icount, but QEMU's capture is
        # not: on a loaded host the same run's WAV holds the chord for 2.97 s
        # where an idle one holds 3.03 s (the machine dropped nothing in
        # either), and up to 90 ms less under heavier load.
        self.assertAlmostEqual((last - first) / self.rate, 3.0, delta=0.12)
        middle = self.x[first + self.rate // 2: first + self.rate // 2 + self.rate // 2]
        loudest = max(strength(middle, f, self.rate) for f in self.pitches)
        for f in self.pitches:
            self.assertAlmostEqual(peak_near(middle, f, self.rate), f, delta=f * 0.005)
            self.assertGreater(strength(middle, f, self.rate), loudest / 3, "%.0f Hz" % f)
        quiet = longest_quiet(self.x[first: last])
        self.assertLessEqual(quiet * 1000 / self.rate, GAP_MS, "a gap in the chord")


class Hda(ChordOnDevice):
    device = ["-device", "intel-hda", "-device", "hda-output,audiodev=snd"]
    startup = "Intel HDA"


class Ac97(ChordOnDevice):
    device = ["-device", "AC97,audiodev=snd"]
    startup = "AC'97"


class Sb16(ChordOnDevice):
    device = ["-device", "sb16,audiodev=snd"]
    startup = "Sound Blaster 16"


class PcSpeaker(ChordOnDevice):
    """No sound card: the PC speaker sounds the loudest voice (the three are
    equally loud: the first, C) as a square wave."""
    device = []
    startup = "PC speaker"
    pitches = (CHORD_HZ[0],)


if __name__ == "__main__":
    harness.main("__main__")
