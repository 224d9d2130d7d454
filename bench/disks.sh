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
import os, shutil, sys, tempfile
sys.path[:0] = ["tools", "tests/system", "bench"]
import tarndisk
from screen_timing import big_program, load_and_save, wait_for
from tarnvm import TarnVM, accelerator

CONTROLLERS = {
    "IDE": lambda img: ["-drive", "file=%s,format=raw,if=ide,index=0" % img],
    "AHCI": lambda img: ["-drive", "file=%s,format=raw,if=none,id=d0" % img,
                         "-device", "ahci,id=ahci", "-device", "ide-hd,drive=d0,bus=ahci.0"],
    "NVMe": lambda img: ["-drive", "file=%s,format=raw,if=none,id=n0" % img,
                         "-device", "nvme,serial=tarn1,drive=n0"],
}

tmp = tempfile.mkdtemp(prefix="tarn-bench-")
big, size = big_program(tmp)
print("accelerator: %s" % accelerator())
try:
    for name, devices in CONTROLLERS.items():
        disk = os.path.join(tmp, "%s.img" % name)
        tarndisk.create(disk, tarndisk.DEFAULT_SIZE_MIB, [big])
        vm = TarnVM(kernel="build/tarn.elf", extra=devices(disk)).start()
        try:
            wait_for(vm, lambda v: "READY." in v)
            t_load, t_save = load_and_save(vm, size)
        finally:
            vm.close()
        print("%-4s LOAD of %d bytes: %5.2f s   SAVE: %5.2f s" % (name, size, t_load, t_save))
finally:
    shutil.rmtree(tmp, ignore_errors=True)
