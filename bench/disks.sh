#!/bin/sh
# LOAD and SAVE of a 30 KB BASIC program on each disk controller drive 8 can
# sit behind: IDE, AHCI and NVMe. Seconds from the Enter of the command to
# READY, read by polling screendumps every 50 ms (so up to that much extra).
# Run from the repository root (make bench).
set -e
if [ ! -f kernel/kernel.cpp ] || ! command -v qemu-system-i386 >/dev/null; then
    echo "disk bench: skipped (no kernel entry or no QEMU)"
    exit 0
fi
exec python3 - "$@" <<'EOF'
import os, shutil, sys, tempfile, time
sys.path.insert(0, "tools")
sys.path.insert(0, "tests/system")
import bas2prg, screen, tarndisk
from tarnvm import TarnVM, accelerator

POLL = 0.05
DEADLINE = 180
BIG_BYTES = 30 * 1024


def wait_for(vm, probe):
    deadline = time.monotonic() + DEADLINE
    while time.monotonic() < deadline:
        if probe(screen.read_text_view(vm.screendump())):
            return time.monotonic()
        time.sleep(POLL)
    raise SystemExit("bench: nothing on screen within %ds" % DEADLINE)


def ready_below(view, command):
    rows = [r.rstrip() for r in view.rows]
    echo = [i for i, r in enumerate(rows) if r == command]
    return bool(echo) and "READY." in rows[echo[-1] + 1:]


def timed(vm, command):
    vm.type_text(command)
    t0 = time.monotonic()
    vm.tap(["ret"])
    return wait_for(vm, lambda v: ready_below(v, command)) - t0


def big_listing():
    lines, n, total = [], 10, 2
    while total < BIG_BYTES:
        text = "REM THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789"
        lines.append("%d %s\n" % (n, text))
        total += 4 + len(bas2prg.tokenize_line(text)) + 1
        n += 10
    return "".join(lines)


CONTROLLERS = {
    "IDE": lambda img: ["-drive", "file=%s,format=raw,if=ide,index=0" % img],
    "AHCI": lambda img: ["-drive", "file=%s,format=raw,if=none,id=d0" % img,
                         "-device", "ahci,id=ahci", "-device", "ide-hd,drive=d0,bus=ahci.0"],
    "NVMe": lambda img: ["-drive", "file=%s,format=raw,if=none,id=n0" % img,
                         "-device", "nvme,serial=tarn1,drive=n0"],
}

tmp = tempfile.mkdtemp(prefix="tarn-bench-")
big = os.path.join(tmp, "big.bas")
with open(big, "w") as f:
    f.write(big_listing())
size = len(bas2prg.tokenize(open(big).read()))
print("accelerator: %s" % accelerator())
try:
    for name, devices in CONTROLLERS.items():
        disk = os.path.join(tmp, "%s.img" % name)
        tarndisk.create(disk, tarndisk.DEFAULT_SIZE_MIB, [big])
        vm = TarnVM(kernel="build/tarn.elf", extra=devices(disk)).start()
        try:
            wait_for(vm, lambda v: "READY." in v)
            t_load = timed(vm, 'LOAD "BIG",8')
            vm.type_text("PRINT PEEK(45)+256*PEEK(46)-2049\n")
            wait_for(vm, lambda v: any(r.strip() == str(size) for r in v.rows))
            t_save = timed(vm, 'SAVE "BIG2",8')
        finally:
            vm.close()
        print("%-4s LOAD of %d bytes: %5.2f s   SAVE: %5.2f s" % (name, size, t_load, t_save))
finally:
    shutil.rmtree(tmp, ignore_errors=True)
