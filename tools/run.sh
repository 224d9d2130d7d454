#!/bin/sh
# Boots Tarn in QEMU: the kernel through QEMU's own Multiboot loader, the
# disk image as primary master, an Intel HDA sound card (and the PC speaker)
# routed to an audio back end where one exists.  Without a display QEMU serves the screen over VNC.
# usage: run.sh KERNEL DISK [c64]   (environment: VNC_LISTEN, default 127.0.0.1:0)
# With c64 the kernel starts in full C64 mode. With FIRMWARE=uefi the PC
# has OVMF's UEFI firmware and boots GRUB from the CD image ISO instead
# (its menu's second entry is full C64 mode).
set -e
kernel="$1"; disk="$2"; mode="$3"
firmware="${FIRMWARE:-bios}"
[ -f "$kernel" ] || { echo "run: no kernel at $kernel" >&2; exit 1; }
[ -f "$disk" ] || { echo "run: no disk image at $disk" >&2; exit 1; }
case "$mode" in
    "") ;;
    c64) ;;
    *) echo "run: unknown MODE '$mode' (use MODE=c64 or leave it out)" >&2; exit 1 ;;
esac

qemu=qemu-system-i386
boot="-kernel $kernel"
case "$firmware" in
    bios) ;;
    uefi)
        ovmf=/usr/share/ovmf/OVMF.fd
        [ -f "$ovmf" ] || { echo "run: no UEFI firmware at $ovmf (make deps installs ovmf)" >&2; exit 1; }
        [ -f "$ISO" ] || { echo "run: no CD image at $ISO (make iso)" >&2; exit 1; }
        [ -n "$mode" ] && echo "run: under UEFI, choose full C64 mode in GRUB's menu"
        # OVMF is 64-bit firmware; the 32-bit kernel runs on this QEMU too.
        qemu=qemu-system-x86_64
        boot="-bios $ovmf -net none -cdrom $ISO -boot d"
        mode="" ;;
    *) echo "run: unknown FIRMWARE '$firmware' (bios or uefi)" >&2; exit 1 ;;
esac
displays=$($qemu -display help 2>/dev/null || true)
audio=$($qemu -audiodev help 2>/dev/null || true)
has() { printf '%s\n' "$1" | grep -qx "$2"; }

# Sound: PulseAudio/PipeWire, then ALSA, else silence.
snd=none
if has "$audio" pa && { [ -n "$PULSE_SERVER" ] || [ -d "${XDG_RUNTIME_DIR:-/nonexistent}/pulse" ]; }; then
    snd=pa
elif has "$audio" alsa && [ -e /dev/snd/pcmC0D0p ]; then
    snd=alsa
fi

# Picture: a window when there is a desktop and a GUI front end, else VNC.
if [ -n "$DISPLAY$WAYLAND_DISPLAY" ] && has "$displays" gtk; then
    view="-display gtk"
elif [ -n "$DISPLAY$WAYLAND_DISPLAY" ] && has "$displays" sdl; then
    view="-display sdl"
else
    listen="${VNC_LISTEN:-127.0.0.1:0}"
    host="${listen%:*}"; num="${listen##*:}"
    echo "No display here: Tarn's screen is served over VNC."
    echo "Connect a VNC viewer to ${host}:$((5900 + num)) (display :$num)."
    echo "From another machine: ssh -L $((5900 + num)):localhost:$((5900 + num)) this-host, then localhost:$((5900 + num))."
    echo "Stop with Ctrl-C here."
    view="-display none -vnc $listen"
fi

# The processor: virtualised where KVM is usable and a short probe finds it
# faster than QEMU's translator (TARN_ACCEL=tcg or kvm decides instead).
accel=$(python3 "$(dirname "$0")/tarnvm.py" accelerator 2>/dev/null || echo tcg)
echo "QEMU accelerator: $accel"

# shellcheck disable=SC2086
exec $qemu -accel $accel -m 128 -vga std $boot ${mode:+-append "$mode"} \
    -drive "file=$disk,format=raw,if=ide,index=0" \
    -audiodev "$snd,id=snd" -machine pcspk-audiodev=snd \
    -device intel-hda -device hda-output,audiodev=snd $view
