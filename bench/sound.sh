#!/bin/sh
# Sound latency in QEMU, on each sound card: the time from a SID register
# write to its sound leaving the device, and the longest silence while a
# chord is held for 30 seconds on HDA.
#
# QEMU runs with -icount (guest time counts instructions), and each card's
# sound goes into a WAV file. In full mode BASIC sets the volume (a click),
# waits, then gates a triangle on voice 1. For the last sound that began
# after a tenth of a second of quiet the kernel keeps the device's play
# position when the ring was given it, where its first loud sample was put,
# and how many samples of that write came after it (read from guest
# memory). Latency = (samples after it in its write: the SID produced them
# later and handed them over together, so the first waited that long for
# the frame's end) + (where it was put - where the device was playing): the
# time until the device reads it. The card's own buffering after that is
# QEMU's; the WAV checks the figures: the time from the click's onset to
# the note's must be the same in the WAV as in the ring. Left out: the
# envelope's first 0.3 ms and the resampler's 0.3 ms delay. Run from the
# repository root (make bench).
set -e
if [ ! -f build/tarn.elf ] || ! command -v qemu-system-i386 >/dev/null; then
    echo "sound bench: skipped (no kernel image or no QEMU)"
    exit 0
fi
exec python3 - "$@" <<'PY'
import os, shutil, struct, sys, tempfile, time, wave
sys.path.insert(0, "tools")
sys.path.insert(0, "tests/system")
import harness
from harness import Machine, kernel_symbol
from qemu_test import c64_screen_rows
import tarnvm

# A nanosecond an instruction: the guest as fast as a PC that keeps up with
# the machine's frames (at two, it falls behind in places and the ring
# lengthens its queue, as it does for a slow PC).
ICOUNT = ["-icount", "shift=0,sleep=off"]
# Name, QEMU arguments, the rate the kernel drives the card at.
CARDS = [("HDA", ["-device", "intel-hda", "-device", "hda-output,audiodev=snd"], 48000),
         ("AC'97", ["-device", "AC97,audiodev=snd"], 48000),
         ("SB16", ["-device", "sb16,audiodev=snd"], 44100)]
LOUD = 1000
DEADLINE = 240
HOLD_S = 30


def wait_rows(vm, predicate, what):
    deadline = time.monotonic() + DEADLINE
    while time.monotonic() < deadline:
        if predicate(c64_screen_rows(vm)):
            return
        time.sleep(0.2)
    raise SystemExit("sound bench: no %s on the C64 screen" % what)


def enter(vm, line):
    for ch in line:
        vm.send_keys(tarnvm.keys_for_char(ch), hold_ms=60)
        time.sleep(0.12)
    vm.key("ret", hold_ms=80, gap=0.1)


def left_channel(path):
    with wave.open(path) as w:
        rate, channels, n = w.getframerate(), w.getnchannels(), w.getnframes()
        data = w.readframes(n)
    return list(struct.unpack("<%dh" % (len(data) // 2), data))[0::channels], rate


def onsets(x, quiet):
    """Indices of the loud samples that follow `quiet` quiet ones."""
    found, last_loud = [], -quiet
    for i, v in enumerate(x):
        if abs(v) >= LOUD:
            if i - last_loud >= quiet:
                found.append(i)
            last_loud = i
    return found


def longest_quiet(x):
    run = worst = 0
    for v in x:
        run = run + 1 if abs(v) < 100 else 0
        worst = max(worst, run)
    return worst


def boot(card, wav):
    m = Machine(kernel=harness.KERNEL, wav=wav, extra=["-append", "c64"] + ICOUNT + card)
    m.start()
    wait_rows(m.vm, lambda rows: "READY." in rows, "READY.")
    return m


def latency(name, card, device_rate, tmp):
    wav = os.path.join(tmp, "latency.wav")
    m = boot(card, wav)
    at = kernel_symbol("g_sound_onset", qualified=True)
    try:
        enter(m.vm, "S=54272:POKES+24,15:POKES+5,0:POKES+6,240:POKES+1,34")
        time.sleep(2)
        click = struct.unpack("<3I", m.vm.read_physical(at, 12))
        enter(m.vm, "POKES+4,17")
        time.sleep(2)
        played, placed, behind = struct.unpack("<3I", m.vm.read_physical(at, 12))
    finally:
        m.close()
    x, rate = left_channel(wav)
    heard = onsets(x, rate // 10)
    if len(heard) < 2 or click[1] == 0 or placed == click[1]:
        print("%-6s latency: onsets not found (WAV %s, ring %d and %d)" % (name, heard, click[1], placed))
        return False
    ms = 1000.0 * (behind + placed - played) / device_rate
    in_wav = 1000.0 * (heard[-1] - heard[0]) / rate
    in_ring = 1000.0 * (placed - click[1]) / device_rate
    print("%-6s latency %.1f ms: %.1f ms waiting for the frame's end, %.1f ms queued (%d Hz); "
          "click to note %.1f ms in the WAV, %.1f ms in the ring" % (name, ms, 1000.0 * behind / device_rate,
                                                                   1000.0 * (placed - played) / device_rate,
                                                                   device_rate, in_wav, in_ring))
    return True


def held_chord(name, card, device_rate, tmp):
    wav = os.path.join(tmp, "held.wav")
    m = boot(card, wav)
    try:
        enter(m.vm, "S=54272")
        enter(m.vm, "FORV=0TO14STEP7:POKES+V+6,240:POKES+V+1,17+V:POKES+V+4,33:NEXT:POKES+24,15")
        wait_rows(m.vm, lambda rows: rows.count("READY.") >= 3, "READY. after the chord")
        # The WAV grows with guest time, which runs slower than the host's
        # when the host is busy: wait until it holds the hold and a margin.
        want = os.path.getsize(wav) + (HOLD_S + 3) * 48000 * 4
        deadline = time.monotonic() + DEADLINE
        while os.path.getsize(wav) < want and time.monotonic() < deadline:
            time.sleep(1)
    finally:
        m.close()
    x, rate = left_channel(wav)
    first = next((i for i, v in enumerate(x) if abs(v) >= LOUD), None)
    if first is None or len(x) - first < HOLD_S * rate:
        print("%-6s %d s chord: only %.1f s captured" % (name, HOLD_S, (len(x) - (first or len(x))) / rate))
        return False
    gap = longest_quiet(x[first:first + HOLD_S * rate])
    print("%-6s %d s chord: longest silence %.2f ms (goal: none over 5 ms)" % (name, HOLD_S, 1000.0 * gap / rate))
    return True


tmp = tempfile.mkdtemp(prefix="tarn-sound-bench-")
try:
    ok = all([latency(name, card, rate, tmp) for name, card, rate in CARDS])
    ok = held_chord(*CARDS[0], tmp) and ok
    print("  (goal: latency under 60 ms)")
finally:
    shutil.rmtree(tmp, ignore_errors=True)
sys.exit(0 if ok else 1)
PY
