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
import os, shutil, sys, tempfile, time
sys.path.insert(0, "tools")
sys.path.insert(0, "tests/system")
import bas2prg, screen, tarndisk
from tarnvm import QMPError, TarnVM, accelerator, kvm_usable

POLL = 0.05
DEADLINE = 180
BIG_BYTES = 30 * 1024


def wait_for(vm, probe, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if probe(screen.read_text_view(vm.screendump())):
            return time.monotonic()
        time.sleep(POLL)
    raise SystemExit("bench: nothing on screen within %ds" % deadline)


def boot(**where):
    vm = TarnVM(disk="build/disk.img", snapshot=True, **where)
    vm.start()
    t0 = vm.started_at
    t1 = wait_for(vm, lambda v: "READY." in v)
    return vm, t1 - t0


def big_listing():
    """Numbered REM lines until the tokenized program passes 30 KB."""
    lines, n, total = [], 10, 2
    while total < BIG_BYTES:
        text = "REM THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789"
        lines.append("%d %s\n" % (n, text))
        total += 4 + len(bas2prg.tokenize_line(text)) + 1
        n += 10
    return "".join(lines)


tmp = tempfile.mkdtemp(prefix="tarn-bench-")
disk = os.path.join(tmp, "disk.img")
big = os.path.join(tmp, "big.bas")
with open(big, "w") as f:
    f.write(big_listing())
tarndisk.create(disk, tarndisk.DEFAULT_SIZE_MIB, [big])
size = len(bas2prg.tokenize(open(big).read()))

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


def ready_below(view, command):
    rows = [r.rstrip() for r in view.rows]
    echo = [i for i, r in enumerate(rows) if r == command]
    return bool(echo) and "READY." in rows[echo[-1] + 1:]


command = 'LOAD "BIG",8'
vm.type_text(command)
t0 = time.monotonic()
vm.tap(["ret"])
t1 = wait_for(vm, lambda v: ready_below(v, command))
# The whole program arrived: BASIC's end pointer sits just past it.
vm.type_text("PRINT PEEK(45)+256*PEEK(46)-2049\n")
wait_for(vm, lambda v: any(r.strip() == str(size) for r in v.rows))
vm.close()
print("LOAD \"BIG\",8 of %d bytes            : %6.2f s (from Enter to READY)" % (size, t1 - t0))
shutil.rmtree(tmp, ignore_errors=True)
EOF
