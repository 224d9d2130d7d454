#!/bin/sh
# Boot and LOAD timings of the real image in QEMU:
#   - seconds from QEMU start to READY on screen, through QEMU's own Multiboot
#     loader (-kernel) and through GRUB from the CD image;
#   - seconds from the Enter of LOAD "BIG",8 to READY, BIG being a 30 KB
#     BASIC program on the disk image;
#   - where /dev/kvm is usable, seconds to READY under KVM as well (whether
#     or not the harness's probe chose it), or that it took longer than 30 s.
# Times are wall-clock, read by polling screendumps every 50 ms, so they
# carry up to that much extra. Run from the repository root (make bench).
set -e
if [ ! -f kernel/kernel.cpp ] || ! command -v qemu-system-i386 >/dev/null; then
    echo "boot bench: skipped (no kernel entry or no QEMU)"
    exit 0
fi
make --no-print-directory iso disk >/dev/null
exec python3 - "$@" <<'EOF'
import os, shutil, sys, tempfile
sys.path[:0] = ["tools", "tests/system", "bench"]
import tarndisk
from screen_timing import big_program, load_and_save, wait_for
from tarnvm import QMPError, TarnVM, accelerator, kvm_usable


def boot(**where):
    vm = TarnVM(disk="build/disk.img", snapshot=True, **where)
    vm.start()
    t0 = vm.started_at
    t1 = wait_for(vm, lambda v: "READY." in v)
    return vm, t1 - t0


tmp = tempfile.mkdtemp(prefix="tarn-bench-")
disk = os.path.join(tmp, "disk.img")
big, size = big_program(tmp)
tarndisk.create(disk, tarndisk.DEFAULT_SIZE_MIB, [big])

print("accelerator: %s" % accelerator())
vm, t_kernel = boot(kernel="build/tarn.elf")
vm.close()
print("boot to READY, -kernel build/tarn.elf : %6.2f s" % t_kernel)
if kvm_usable():
    os.environ["TARN_ACCEL"] = "kvm"
    vm = TarnVM(kernel="build/tarn.elf", disk="build/disk.img", snapshot=True).start()
    try:
        t = wait_for(vm, lambda v: "READY." in v, 30) - vm.started_at
        print("boot to READY under KVM, -kernel      : %6.2f s" % t)
    except SystemExit:
        print("boot to READY under KVM, -kernel      : not within 30 s")
    except (OSError, QMPError):
        print("boot to READY under KVM, -kernel      : QEMU stopped (this host's KVM cannot run the kernel)")
    vm.close()
    del os.environ["TARN_ACCEL"]
vm, t_iso = boot(iso="build/tarn.iso")
vm.close()
print("boot to READY, GRUB build/tarn.iso    : %6.2f s" % t_iso)

vm = TarnVM(kernel="build/tarn.elf", disk=disk, snapshot=True).start()
wait_for(vm, lambda v: "READY." in v)
t_load, _ = load_and_save(vm, size, save=False)
vm.close()
print("LOAD \"BIG\",8 of %d bytes            : %6.2f s (from Enter to READY)" % (size, t_load))
shutil.rmtree(tmp, ignore_errors=True)
EOF
