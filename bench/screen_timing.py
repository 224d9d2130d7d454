"""Timings of the booted kernel in QEMU read off its screen: the benches'
shared pieces. Times are wall-clock, read by polling screendumps every
POLL seconds, so they carry up to that much extra."""

import os
import time

import bas2prg
import screen

POLL = 0.05
DEADLINE = 180
BIG_BYTES = 30 * 1024


def wait_for(vm, probe, deadline=DEADLINE):
    """The time at which the text view first satisfies probe."""
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if probe(screen.read_text_view(vm.screendump())):
            return time.monotonic()
        time.sleep(POLL)
    raise SystemExit("bench: nothing on screen within %ds" % deadline)


def ready_below(view, command):
    rows = [r.rstrip() for r in view.rows]
    echo = [i for i, r in enumerate(rows) if r == command]
    return bool(echo) and "READY." in rows[echo[-1] + 1:]


def timed(vm, command):
    """Seconds from the Enter of command to READY below it."""
    vm.type_text(command)
    t0 = time.monotonic()
    vm.tap(["ret"])
    return wait_for(vm, lambda v: ready_below(v, command)) - t0


def big_program(folder):
    """BIG.BAS in folder: numbered REM lines until the tokenized program
    passes 30 KB. Returns its path and its size once tokenized."""
    lines, n, total = [], 10, 2
    while total < BIG_BYTES:
        text = "REM THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789"
        lines.append("%d %s\n" % (n, text))
        total += 4 + len(bas2prg.tokenize_line(text)) + 1
        n += 10
    path = os.path.join(folder, "big.bas")
    with open(path, "w") as f:
        f.write("".join(lines))
    return path, len(bas2prg.tokenize("".join(lines)))


def load_and_save(vm, size, save=True):
    """Seconds LOAD "BIG",8 takes on a machine at READY (checked whole: BASIC's
    end pointer sits just past it), and SAVE "BIG2",8 after it (None when
    not asked)."""
    t_load = timed(vm, 'LOAD "BIG",8')
    vm.type_text("PRINT PEEK(45)+256*PEEK(46)-2049\n")
    wait_for(vm, lambda v: any(r.strip() == str(size) for r in v.rows))
    return t_load, timed(vm, 'SAVE "BIG2",8') if save else None
