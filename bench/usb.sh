#!/bin/sh
# USB stick timings in QEMU (qemu-xhci, usb-storage):
#   - seconds from the Enter of LOAD "BIG",8 to READY, BIG being a 30 KB
#     BASIC program on a stick that is drive 8 from start-up, and of the
#     SAVE of it back under another name;
#   - seconds from plugging a stick in (QMP device_add) while the machine
#     runs to drive 8 answering from it: a BASIC loop opens a file on drive
#     8 until the error channel says 0 and then prints a word.
# Times are wall-clock, read by polling screendumps every 50 ms, so they
# carry up to that much extra. Run from the repository root (make bench).
set -e
if [ ! -f kernel/kernel.cpp ] || ! command -v qemu-system-i386 >/dev/null; then
    echo "usb bench: skipped (no kernel entry or no QEMU)"
    exit 0
fi
exec python3 - "$@" <<'EOF'
import os, shutil, sys, tempfile, time
sys.path[:0] = ["tools", "tests/system", "bench"]
import screen, tarndisk
from screen_timing import big_program, load_and_save, wait_for
from tarnvm import TarnVM, accelerator

XHCI = ["-device", "qemu-xhci,id=xhci"]


def stick(drive_id, image):
    return ["-drive", "file=%s,format=raw,if=none,id=%s" % (image, drive_id),
            "-device", "usb-storage,bus=xhci.0,drive=%s,id=stick" % drive_id]


def time_load_save(image, size):
    vm = TarnVM(kernel="build/tarn.elf", extra=XHCI + stick("u0", image)).start()
    try:
        wait_for(vm, lambda v: "READY." in v)
        return load_and_save(vm, size)
    finally:
        vm.close()


def time_plug(image):
    vm = TarnVM(kernel="build/tarn.elf", extra=XHCI).start()
    try:
        wait_for(vm, lambda v: "READY." in v)
        vm.type_text('10 OPEN 15,8,15:OPEN 2,8,2,"BIG":INPUT#15,A:CLOSE 2:CLOSE 15:IF A THEN 10\n')
        vm.type_text('20 PRINT "ANSWERED"\nRUN\n')
        time.sleep(2)  # the loop is running
        if any(r.strip() == "ANSWERED" for r in screen.read_text_view(vm.screendump()).rows):
            raise SystemExit("bench: drive 8 answered before a stick was plugged in")
        vm.cmd("human-monitor-command", **{
            "command-line": "drive_add 0 if=none,id=u1,format=raw,file=%s" % image})
        t0 = time.monotonic()
        vm.cmd("device_add", driver="usb-storage", bus="xhci.0", drive="u1", id="stick")
        t1 = wait_for(vm, lambda v: any(r.strip() == "ANSWERED" for r in v.rows))
        return t1 - t0
    finally:
        vm.close()


tmp = tempfile.mkdtemp(prefix="tarn-bench-usb-")
try:
    big, size = big_program(tmp)
    image = os.path.join(tmp, "stick.img")
    tarndisk.create(image, tarndisk.DEFAULT_SIZE_MIB, [big])
    print("accelerator: %s" % accelerator())
    t_load, t_save = time_load_save(image, size)
    print("USB stick LOAD of %d bytes: %5.2f s   SAVE: %5.2f s (from Enter to READY)" % (size, t_load, t_save))
    print("USB stick plugged in to drive 8: %5.2f s (from device_add to a file opened)" % time_plug(image))
finally:
    shutil.rmtree(tmp, ignore_errors=True)
EOF
