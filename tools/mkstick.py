#!/usr/bin/env python3
"""The Tarn USB-stick image: one disk image that a PC boots through its
BIOS and through UEFI, whose single FAT32 partition holds the boot loader,
the kernel and the sample programs, and is drive 8.

  mkstick.py IMAGE --kernel build/tarn.elf [--size MIB] [--serial XXXX-XXXX]
             [--mode WxHxD] [PROGRAM ...]

Layout: an MBR partition table with partition 1 (FAT32, LBA, active) from
1 MiB to the end.  BIOS: GRUB's boot sector in the MBR and its core image
in the gap before the partition (sector 1 on).  UEFI: GRUB as
EFI/BOOT/BOOTX64.EFI (and BOOTIA32.EFI where GRUB's i386-efi files are
installed) on the partition, which firmware looks for on removable disks.
Both GRUBs find their partition by its FAT serial number and read
boot/grub/grub.cfg from it; its entries name the same serial on the kernel
command line (volume=XXXX-XXXX), so drive 8 is this partition whatever
other disks the PC holds.  Programs go to the root directory as tarndisk.py
stores them (tarndisk.py put IMAGE FILE works on the image too).

Built without root: mkfs.fat and mtools write the partition, grub-mkimage
the loaders; the boot sector and the core image's sector list are written
here.  --mode asks GRUB for a video mode (default: the kernel's request
through a BIOS, the firmware's own mode under UEFI).
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

_HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, _HERE)
import tarndisk  # noqa: E402

GRUB_LIB = "/usr/lib/grub"
SECTOR = 512
DEFAULT_SIZE_MIB = 512          # fits every stick sold as 1 GB
# 4 KiB clusters, as on sticks of this size; a small image (for tests) keeps
# 512-byte ones, or it would hold too few clusters for FAT32.
LARGE_CLUSTER_MIB = 512
SECTORS_PER_CLUSTER = 8
CORE_SECTOR = 1                 # the core image follows the MBR
# GRUB's boot sector (boot.img): where the core image starts, and the jump
# over the work-around for BIOSes that pass a wrong boot drive, which is
# taken out for a hard disk (a stick boots as one).
BOOT_KERNEL_SECTOR = 0x5C
BOOT_DRIVE_CHECK = 0x66
MBR_CODE_END = 0x1B8            # disk signature and partition table follow
# The core image's first sector (diskboot.img) ends in a sector list: the
# rest of the core image, from sector CORE_SECTOR + 1, this many sectors.
DISKBOOT_LIST_LENGTH = 0x1FC
PARTITION_ENTRY = 446
ACTIVE = 0x80

# Built into every GRUB image, so none is read from the partition.
COMMON_MODULES = ["part_msdos", "fat", "search", "search_fs_uuid", "configfile", "normal",
                  "multiboot", "boot", "test", "echo", "sleep"]
PLATFORM_MODULES = {
    "i386-pc": ["biosdisk", "all_video"],
    "x86_64-efi": ["efi_gop", "efi_uga"],
    "i386-efi": ["efi_gop", "efi_uga"],
}
EFI_LOADERS = {"x86_64-efi": "BOOTX64.EFI", "i386-efi": "BOOTIA32.EFI"}


class StickError(RuntimeError):
    pass


def _run(cmd):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    if r.returncode != 0:
        raise StickError("%s failed: %s" % (cmd[0], (r.stderr or r.stdout).decode(errors="replace").strip()))


def serial_text(serial):
    """A FAT serial number as blkid and mtools print it: XXXX-XXXX."""
    return "%04X-%04X" % (serial >> 16, serial & 0xFFFF)


def parse_serial(text):
    digits = text.replace("-", "")
    if len(digits) != 8:
        raise StickError("a serial is eight hexadecimal digits, XXXX-XXXX")
    return int(digits, 16)


def grub_cfg(volume, mode=None):
    """The menu: text mode, or full C64 mode within three seconds.  GRUB
    fills gfxpayload from the kernel's header (800 x 600 x 16) at the
    multiboot command; a mode set after it is the one GRUB uses."""
    video = ["set tarn_mode=%s" % mode] if mode else [
        "# Through a BIOS, GRUB sets the 800 x 600 x 16 mode the kernel asks for;",
        "# under UEFI the mode the display prefers (the panel's own) is taken.",
        "# Another mode: set tarn_mode=1920x1080x32 (for example) here.",
        'if [ "$grub_platform" = "efi" ]; then set tarn_mode=auto; fi']
    entries = []
    for title, words in (("Tarn", ""), ("Tarn - full C64", " c64")):
        entries += ['menuentry "%s" {' % title,
                    "    multiboot /boot/tarn.elf%s volume=%s" % (words, volume),
                    '    if [ -n "$tarn_mode" ]; then set gfxpayload=$tarn_mode; fi',
                    "    boot", "}"]
    return "\n".join([
        "# GRUB menu of the Tarn stick. volume= names this partition (its FAT",
        "# serial) as drive 8.",
        "set timeout=3", "set default=0",
        'if [ "$grub_platform" = "efi" ]; then',
        "    insmod efi_gop", "    insmod efi_uga",
        "else", "    insmod all_video", "fi"] + video + entries) + "\n"


def early_cfg(volume):
    """Built into each GRUB image: find this partition, read its menu."""
    return "search --no-floppy --fs-uuid --set=root %s\nset prefix=($root)/boot/grub\n" % volume


def grub_image(platform, out, config):
    modules = COMMON_MODULES + PLATFORM_MODULES[platform]
    _run(["grub-mkimage", "-O", platform, "-d", os.path.join(GRUB_LIB, platform), "-c", config,
          "-p", "/boot/grub", "-o", out] + modules)


def write_bios_boot(image, core, partition_start):
    """GRUB's boot sector into the MBR's code area (keeping the partition
    table), the core image into the gap, its sector list filled in."""
    with open(os.path.join(GRUB_LIB, "i386-pc", "boot.img"), "rb") as f:
        boot = bytearray(f.read())
    with open(core, "rb") as f:
        data = bytearray(f.read())
    sectors = (len(data) + SECTOR - 1) // SECTOR
    if CORE_SECTOR + sectors > partition_start:
        raise StickError("GRUB's core image (%d sectors) does not fit before the partition" % sectors)
    data += bytes(sectors * SECTOR - len(data))
    struct.pack_into("<H", data, DISKBOOT_LIST_LENGTH, sectors - 1)
    struct.pack_into("<Q", boot, BOOT_KERNEL_SECTOR, CORE_SECTOR)
    boot[BOOT_DRIVE_CHECK:BOOT_DRIVE_CHECK + 2] = b"\x90\x90"
    with open(image, "r+b") as f:
        mbr = bytearray(f.read(SECTOR))
        mbr[:MBR_CODE_END] = boot[:MBR_CODE_END]
        mbr[PARTITION_ENTRY] = ACTIVE
        f.seek(0)
        f.write(mbr)
        f.seek(CORE_SECTOR * SECTOR)
        f.write(data)


def efi_platforms():
    return [p for p in EFI_LOADERS if os.path.isdir(os.path.join(GRUB_LIB, p))]


def build(image, kernel, size_mib=DEFAULT_SIZE_MIB, programs=(), serial=None, mode=None):
    if not os.path.isdir(os.path.join(GRUB_LIB, "i386-pc")) or "x86_64-efi" not in efi_platforms():
        raise StickError("GRUB's i386-pc and x86_64-efi files are needed (make deps installs them)")
    serial = serial if serial is not None else struct.unpack("<I", os.urandom(4))[0]
    volume = serial_text(serial)
    cluster = SECTORS_PER_CLUSTER if size_mib >= LARGE_CLUSTER_MIB else 1
    tarndisk.create(image, size_mib, (), label="TARN", serial=serial, sectors_per_cluster=cluster)
    target = "%s@@%d" % (image, tarndisk.PARTITION_START * SECTOR)
    with tempfile.TemporaryDirectory() as tmp:
        early = os.path.join(tmp, "early.cfg")
        with open(early, "w") as f:
            f.write(early_cfg(volume))
        menu = os.path.join(tmp, "grub.cfg")
        with open(menu, "w") as f:
            f.write(grub_cfg(volume, mode))
        core = os.path.join(tmp, "core.img")
        grub_image("i386-pc", core, early)
        write_bios_boot(image, core, tarndisk.PARTITION_START)
        for d in ("::/boot", "::/boot/grub", "::/EFI", "::/EFI/BOOT"):
            _run(["mmd", "-i", target, d])
        _run(["mcopy", "-i", target, kernel, "::/boot/tarn.elf"])
        _run(["mcopy", "-i", target, menu, "::/boot/grub/grub.cfg"])
        for platform in efi_platforms():
            loader = os.path.join(tmp, EFI_LOADERS[platform])
            grub_image(platform, loader, early)
            _run(["mcopy", "-i", target, loader, "::/EFI/BOOT/" + EFI_LOADERS[platform]])
    if programs:
        tarndisk.put(image, list(programs))
    return volume


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog=__doc__.split("\n\n", 1)[1])
    ap.add_argument("image")
    ap.add_argument("programs", nargs="*")
    ap.add_argument("--kernel", required=True)
    ap.add_argument("--size", type=int, default=DEFAULT_SIZE_MIB, help="MiB (default %d)" % DEFAULT_SIZE_MIB)
    ap.add_argument("--serial", help="the partition's FAT serial, XXXX-XXXX (default: random)")
    ap.add_argument("--mode", help="video mode for GRUB to set, e.g. 1920x1080x32")
    args = ap.parse_intermixed_args(argv)
    try:
        serial = parse_serial(args.serial) if args.serial else None
        volume = build(args.image, args.kernel, args.size, args.programs, serial, args.mode)
    except (StickError, tarndisk.DiskError, OSError, ValueError) as e:
        print("mkstick: %s" % e, file=sys.stderr)
        return 1
    print("%s: %d MiB, drive 8 is volume %s" % (args.image, args.size, volume))
    return 0


if __name__ == "__main__":
    sys.exit(main())
