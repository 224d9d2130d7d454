"""Drives a Tarn machine in QEMU through QMP: start, type keys, take
screendumps, stop.  Standard library only.

    with TarnVM(kernel="build/tarn.elf", disk="build/disk.img") as vm:
        vm.type_text("PRINT 2+2\\n")
        img = vm.screendump()
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

QEMU = "qemu-system-i386"
# UEFI firmware is 64-bit: its QEMU is the x86-64 one, which runs the 32-bit
# kernel all the same.
QEMU_UEFI = "qemu-system-x86_64"
OVMF = "/usr/share/ovmf/OVMF.fd"
_HERE = os.path.dirname(os.path.abspath(__file__))
_BUILD = os.environ.get("TARN_BUILD", os.path.join(_HERE, "..", "build"))
PROBE_SOURCE = os.path.join(_HERE, "kvmprobe.s")
PROBE_STATUS = 99           # (0x31 << 1) | 1: the probe ran to its end
_chosen = None


def accelerator():
    """The accelerator QEMU runs Tarn with.  TARN_ACCEL names one (tcg or
    kvm) outright; otherwise KVM where /dev/kvm is usable and a short probe
    shows it beats QEMU's own translator (some KVM hosts trap every
    framebuffer store, or every instruction, and a boot takes minutes), else
    the translator.  The verdict is kept in the build directory for the
    life of the host's boot."""
    global _chosen
    forced = os.environ.get("TARN_ACCEL")
    if forced:
        return forced
    if _chosen is None:
        _chosen = _cached_verdict() if kvm_usable() else "tcg"
    return _chosen


def kvm_usable():
    return os.access("/dev/kvm", os.R_OK | os.W_OK)


def _cache_key():
    try:
        with open("/proc/sys/kernel/random/boot_id") as f:
            boot = f.read().strip()
    except OSError:
        boot = "?"
    qemu = shutil.which(QEMU) or QEMU
    stamp = lambda p: int(os.path.getmtime(p)) if os.path.exists(p) else 0
    return "%s %s %d %d" % (boot, qemu, stamp(qemu), stamp(PROBE_SOURCE))


def _cached_verdict():
    path = os.path.join(_BUILD, "accel-probe")
    key = _cache_key()
    try:
        with open(path) as f:
            cached_key, verdict = f.read().rsplit("\n", 2)[:2]
        if cached_key == key and verdict in ("kvm", "tcg"):
            return verdict
    except (OSError, ValueError):
        pass
    verdict = probe()
    try:
        os.makedirs(_BUILD, exist_ok=True)
        tmp = "%s.%d" % (path, os.getpid())
        with open(tmp, "w") as f:
            f.write("%s\n%s\n" % (key, verdict))
        os.replace(tmp, path)
    except OSError:
        pass
    return verdict


def _run_probe(elf, accel, timeout):
    """Seconds the probe kernel took under accel, or None when it did not
    reach its end in time."""
    cmd = [QEMU, "-accel", accel, "-m", "32", "-vga", "std", "-display", "none", "-no-reboot",
           "-serial", "null", "-monitor", "none", "-kernel", elf,
           "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04"]
    t0 = time.monotonic()
    try:
        status = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:   # run() has killed QEMU
        return None
    return time.monotonic() - t0 if status == PROBE_STATUS else None


def probe():
    """"kvm" when the probe kernel finishes under KVM sooner than under the
    translator, else "tcg"."""
    work = tempfile.mkdtemp(prefix="tarn-probe-")
    try:
        obj, elf = os.path.join(work, "probe.o"), os.path.join(work, "probe.elf")
        subprocess.run(["as", "--32", PROBE_SOURCE, "-o", obj], check=True)
        subprocess.run(["ld", "-m", "elf_i386", "-Ttext", "0x100000", "-e", "start", "-o", elf, obj], check=True)
        translated = _run_probe(elf, "tcg", 60)
        limit = max(3.0, 2 * translated) if translated else 10.0
        virtualised = _run_probe(elf, "kvm", limit)
    except (OSError, subprocess.CalledProcessError):
        return "tcg"
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if virtualised is not None and (translated is None or virtualised < translated):
        return "kvm"
    return "tcg"

# Characters to QEMU key names (US layout, the layout the kernel decodes).
_PLAIN = {
    " ": "spc", "\n": "ret", "-": "minus", "=": "equal", "[": "bracket_left",
    "]": "bracket_right", ";": "semicolon", "'": "apostrophe", "`": "grave_accent",
    "\\": "backslash", ",": "comma", ".": "dot", "/": "slash", "\t": "tab",
}
_SHIFTED = {
    "!": "1", "@": "2", "#": "3", "$": "4", "%": "5", "^": "6", "&": "7",
    "*": "8", "(": "9", ")": "0", "_": "minus", "+": "equal", "{": "bracket_left",
    "}": "bracket_right", ":": "semicolon", '"': "apostrophe", "~": "grave_accent",
    "|": "backslash", "<": "comma", ">": "dot", "?": "slash",
}


def keys_for_char(ch):
    """QEMU key names pressed together for one character.  Letters are typed
    unshifted in either case: the C64 shows them as capitals."""
    if ch.isalpha() and ch.isascii():
        return [ch.lower()]
    if ch.isdigit():
        return [ch]
    if ch in _PLAIN:
        return [_PLAIN[ch]]
    if ch in _SHIFTED:
        return ["shift", _SHIFTED[ch]]
    raise ValueError("no key for %r" % ch)


class QMPError(RuntimeError):
    pass


class TarnVM:
    """One QEMU process with a QMP socket.  `kernel` boots through QEMU's own
    Multiboot loader, `iso` through GRUB from a CD; with neither, the PC
    boots from `disk` (an IDE disk) or `usb_disk` (a USB stick on an xHCI
    controller).  `firmware` is "bios" (SeaBIOS) or "uefi" (OVMF).
    The machine's sound (the PC speaker, and any sound card given in
    `extra` with audiodev=snd) goes nowhere, or into the WAV file `wav`."""

    def __init__(self, kernel=None, iso=None, disk=None, memory=128, extra=(),
                 snapshot=False, log=None, firmware="bios", usb_disk=None, wav=None):
        if not (kernel or iso or disk or usb_disk):
            raise ValueError("need a kernel, an ISO or a bootable disk")
        if firmware not in ("bios", "uefi"):
            raise ValueError("firmware is bios or uefi")
        self.kernel, self.iso, self.disk, self.firmware = kernel, iso, disk, firmware
        self.usb_disk = usb_disk
        self.memory, self.extra, self.snapshot = memory, list(extra), snapshot
        self.wav = wav
        self.log_path = log
        self.proc = None
        self.sock = None
        self._buf = b""
        self._dir = None
        self.started_at = None

    # ---- life cycle -----------------------------------------------------------

    def command_line(self, qmp_path):
        qemu = QEMU_UEFI if self.firmware == "uefi" else QEMU
        cmd = [qemu, "-accel", accelerator(), "-m", str(self.memory), "-vga", "std", "-display", "none",
               "-no-reboot", "-qmp", "unix:%s,server=on,wait=off" % qmp_path,
               "-audiodev", ("wav,id=snd,path=%s" % self.wav) if self.wav else "none,id=snd",
               "-machine", "pcspk-audiodev=snd",
               "-serial", "null", "-monitor", "none"]
        if self.firmware == "uefi":
            cmd += ["-bios", OVMF, "-net", "none"]
        if self.kernel:
            cmd += ["-kernel", self.kernel]
        if self.iso:
            cmd += ["-cdrom", self.iso, "-boot", "d"]
        if self.disk:
            drive = "file=%s,format=raw,if=ide,index=0" % self.disk
            if self.snapshot:
                drive += ",snapshot=on"
            cmd += ["-drive", drive]
        if self.usb_disk:
            cmd += ["-device", "qemu-xhci,id=xhci",
                    "-drive", "file=%s,format=raw,if=none,id=usbstick" % self.usb_disk,
                    "-device", "usb-storage,bus=xhci.0,drive=usbstick,bootindex=0"]
        return cmd + self.extra

    def start(self, timeout=20):
        """Starts QEMU and connects to QMP; on any failure QEMU is stopped
        again before the error goes up."""
        try:
            return self._start(timeout)
        except BaseException:
            self.close()
            raise

    def _start(self, timeout):
        self._dir = tempfile.mkdtemp(prefix="tarnvm-")
        qmp_path = os.path.join(self._dir, "qmp.sock")
        out = open(self.log_path or os.devnull, "wb")
        self.proc = subprocess.Popen(self.command_line(qmp_path), stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=subprocess.STDOUT)
        out.close()
        self.started_at = time.monotonic()
        deadline = self.started_at + timeout
        while True:
            if self.proc.poll() is not None:
                raise QMPError("QEMU exited with %d before QMP answered" % self.proc.returncode)
            try:
                s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                s.connect(qmp_path)
                break
            except OSError:
                s.close()
                if time.monotonic() > deadline:
                    raise QMPError("no QMP socket within %ss" % timeout)
                time.sleep(0.05)
        self.sock = s
        self.sock.settimeout(timeout)
        self._read_message()  # greeting
        self.cmd("qmp_capabilities")
        return self

    def close(self):
        if self.sock:
            try:
                self.cmd("quit")
            except (OSError, QMPError):
                pass
            self.sock.close()
            self.sock = None
        if self.proc:
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
            self.proc = None
        if self._dir:
            shutil.rmtree(self._dir, ignore_errors=True)
            self._dir = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    # ---- QMP ------------------------------------------------------------------------

    def _read_message(self):
        while b"\n" not in self._buf:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise QMPError("QMP connection closed")
            self._buf += chunk
        line, self._buf = self._buf.split(b"\n", 1)
        return json.loads(line)

    def cmd(self, name, **arguments):
        msg = {"execute": name}
        if arguments:
            msg["arguments"] = arguments
        self.sock.sendall(json.dumps(msg).encode() + b"\n")
        while True:
            reply = self._read_message()
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise QMPError("%s: %s" % (name, reply["error"].get("desc")))
            # asynchronous events are of no interest here

    # ---- keyboard -------------------------------------------------------------------

    def send_keys(self, names, hold_ms=40):
        """Presses the named keys together (a chord), then releases them."""
        keys = [{"type": "qcode", "data": n} for n in names]
        self.cmd("send-key", keys=keys, **{"hold-time": hold_ms})

    def key(self, name, hold_ms=40, gap=0.05):
        self.send_keys([name], hold_ms)
        time.sleep((hold_ms / 1000.0) + gap)

    def tap(self, names):
        """Presses the named keys in order and releases them in reverse, all
        in one batch, so the machine sees a key held for no longer than it
        takes to read the scan codes.  That matters for Shift: Tarn's Shift
        is also the fire button of joystick 2, and the C64's own keyboard
        scan can see a stray key while it is held."""
        down = [{"type": "key", "data": {"down": True, "key": {"type": "qcode", "data": n}}}
                for n in names]
        up = [{"type": "key", "data": {"down": False, "key": {"type": "qcode", "data": n}}}
              for n in reversed(names)]
        self.cmd("input-send-event", events=down + up)

    def type_text(self, text, gap=0.04):
        """Types text key by key, with a short gap after each so the
        machine's ten-character keyboard buffer keeps up."""
        for ch in text:
            self.tap(keys_for_char(ch))
            time.sleep(gap)

    # ---- memory ----------------------------------------------------------------------

    def read_physical(self, address, size):
        """Bytes of guest physical memory (the kernel runs unpaged, so its
        addresses are physical)."""
        path = os.path.join(self._dir, "mem.bin")
        self.cmd("pmemsave", val=address, size=size, filename=path)
        with open(path, "rb") as f:
            data = f.read()
        os.unlink(path)
        return data

    # ---- screen ----------------------------------------------------------------------

    def screendump(self):
        """The current picture as an Image (RGB, 8 bits a channel)."""
        path = os.path.join(self._dir, "screen.ppm")
        self.cmd("screendump", filename=path)
        with open(path, "rb") as f:
            data = f.read()
        os.unlink(path)
        return Image.from_ppm(data)


class Image:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @staticmethod
    def from_ppm(data):
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit P6 picture")
        width, height = int(fields[1]), int(fields[2])
        pos += 1  # the single whitespace byte before the raster
        rgb = data[pos:pos + width * height * 3]
        if len(rgb) != width * height * 3:
            raise ValueError("short picture")
        return Image(width, height, rgb)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def save_ppm(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height))
            f.write(self.rgb)


if __name__ == "__main__":
    # `tarnvm.py accelerator`: prints the accelerator QEMU should use here.
    if sys.argv[1:] == ["accelerator"]:
        print(accelerator())
    else:
        sys.exit("usage: tarnvm.py accelerator")
