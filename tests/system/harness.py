"""What the QEMU system tests share: paths, images, and a machine wrapper
that waits for text on screen with a deadline (never a blind sleep)."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import screen  # noqa: E402
import tarndisk  # noqa: E402
from tarnvm import QEMU, TarnVM, accelerator  # noqa: E402

BUILD = os.environ.get("TARN_BUILD", os.path.join(ROOT, "build"))
KERNEL = os.path.join(BUILD, "tarn.elf")
ISO = os.path.join(BUILD, "tarn.iso")

# Deadlines: generous, since the suite may share two cores with the rest of
# `make test` and QEMU may have to translate instead of virtualise.
BOOT_DEADLINE = float(os.environ.get("TARN_BOOT_DEADLINE", 120))
STEP_DEADLINE = float(os.environ.get("TARN_STEP_DEADLINE", 45))
POLL = 0.25

SKIP = 77   # CTest's SKIP_RETURN_CODE for these scripts


def require(*paths):
    """Skips the calling test class when QEMU or an image is missing."""
    if shutil.which(QEMU) is None:
        raise unittest.SkipTest("%s is not installed" % QEMU)
    for p in paths:
        if not os.path.exists(p):
            raise unittest.SkipTest("%s has not been built" % p)


def make_disk(directory, programs=()):
    """A fresh disk image (MBR + FAT32) with the given .bas/.prg files."""
    image = os.path.join(directory, "disk.img")
    tarndisk.create(image, tarndisk.DEFAULT_SIZE_MIB, list(programs))
    return image


def sample(name):
    return os.path.join(ROOT, "tools", "samples", name)


def kernel_symbol(name, elf=None, qualified=False):
    """Address of a symbol of the kernel image named `name` (with
    `qualified`, also one named `...::name`, e.g. inside a namespace)."""
    out = subprocess.run(["nm", "-C", elf or KERNEL], stdout=subprocess.PIPE, check=True).stdout.decode()
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and (parts[2] == name or (qualified and parts[2].endswith("::" + name))):
            return int(parts[0], 16)
    return None


class TimedOut(AssertionError):
    pass


class Machine:
    """A booted Tarn in QEMU, seen through screendumps."""

    CONSOLE_MAX_COLS, CONSOLE_MAX_ROWS = 240, 68   # the console's kVgaMaxCols, kVgaMaxRows

    def __init__(self, **vm_args):
        self.tmp = tempfile.mkdtemp(prefix="tarn-system-")
        self.vm = TarnVM(log=os.path.join(self.tmp, "qemu.log"), **vm_args)
        self.last_image = None

    def start(self):
        try:
            self.vm.start()
        except BaseException:
            self.close()
            raise
        return self

    def boot(self, wait):
        """Starts QEMU and runs wait(self); QEMU is stopped again when
        either fails, so a set-up that raises leaves no process behind."""
        self.start()
        try:
            wait(self)
        except BaseException:
            self.close()
            raise
        return self

    def close(self):
        self.vm.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # ---- looking ---------------------------------------------------------------

    def shot(self):
        if not self.vm.alive():
            raise AssertionError("QEMU is no longer running (log: %s)" % self._log_tail())
        self.last_image = self.vm.screendump()
        return self.last_image

    def view(self):
        return screen.read_text_view(self.shot())

    def console(self):
        return screen.read_console(self.shot())

    def wait_until(self, probe, what, timeout=STEP_DEADLINE, describe=None):
        """Polls probe() until it returns something true; fails with what the
        screen showed last when the deadline passes."""
        deadline = time.monotonic() + timeout
        last = None
        while True:
            last = probe()
            if last:
                return last
            if time.monotonic() > deadline:
                shown = describe(last) if describe else ""
                raise TimedOut("no %s within %.0fs; screen was:\n%s" % (what, timeout, shown or self._screen_text()))
            time.sleep(POLL)

    def wait_text(self, text, timeout=STEP_DEADLINE):
        """Waits until the C64 text view shows `text`; returns the view."""
        return self.wait_until(lambda: self._view_if(lambda v: text in v), repr(text), timeout)

    def wait_view(self, predicate, what, timeout=STEP_DEADLINE):
        return self.wait_until(lambda: self._view_if(predicate), what, timeout)

    def wait_console(self, text, timeout=STEP_DEADLINE):
        """Waits until the framebuffer console shows `text`; returns its rows."""
        def probe():
            rows = self.console()
            return rows if any(text in r for r in rows) else None
        return self.wait_until(probe, "console text %r" % text, timeout)

    def wait_output(self, command, expected, timeout=STEP_DEADLINE):
        """Waits until the rows below the last echo of `command` in the text
        view contain each of `expected`, in order; returns those rows.  The
        command should differ from those typed earlier and still on screen,
        or their output would be taken for its own."""
        def below(view):
            rows = [r.rstrip() for r in view.rows]
            echo = [i for i, r in enumerate(rows) if r == command]
            if not echo:
                return None
            rest = rows[echo[-1] + 1:]
            pos = 0
            for want in expected:
                while pos < len(rest) and want not in rest[pos]:
                    pos += 1
                if pos == len(rest):
                    return None
                pos += 1
            return rest
        return self.wait_until(lambda: self._view_if(below, keep=True),
                               "output %r after %r" % (expected, command), timeout)

    def _view_if(self, predicate, keep=False):
        view = self.view()
        result = predicate(view)
        if keep:
            return result
        return view if result else None

    def _screen_text(self):
        if self.last_image is None:
            return "(no screendump taken)"
        view = screen.read_text_view(self.last_image)
        text = view.text()
        if text.strip().strip(screen.UNKNOWN):
            return text
        try:
            return "\n".join(screen.read_console(self.last_image))
        except RuntimeError:
            return text

    def _log_tail(self):
        try:
            with open(self.vm.log_path, "rb") as f:
                return f.read()[-400:].decode(errors="replace")
        except OSError:
            return ""

    # ---- typing -----------------------------------------------------------------

    def type_line(self, line):
        self.vm.type_text(line + "\n")

    def key(self, name):
        self.vm.key(name)

    # ---- kernel memory ------------------------------------------------------------

    def console_shadow(self):
        """The console's own record of its characters (kept column by
        column, kVgaMaxRows to a column), read from guest memory: start-up
        messages stay there after the C64 picture has covered them."""
        address = kernel_symbol("vga_textscreen", qualified=True)
        cols_at = kernel_symbol("vga_textCols", qualified=True)
        rows_at = kernel_symbol("vga_textRows", qualified=True)
        if None in (address, cols_at, rows_at):
            raise unittest.SkipTest("the kernel image has no console shadow screen symbols")
        cols, rows = self.vm.read_physical(cols_at, 1)[0], self.vm.read_physical(rows_at, 1)[0]
        data = self.vm.read_physical(address, self.CONSOLE_MAX_COLS * self.CONSOLE_MAX_ROWS)
        lines = []
        for r in range(rows):
            row = bytes(data[c * self.CONSOLE_MAX_ROWS + r] for c in range(cols))
            lines.append(row.decode("latin-1").rstrip(" \0"))
        return lines


def main(module_name):
    """Runs the module's tests; exit code 77 when everything was skipped."""
    suite = unittest.defaultTestLoader.loadTestsFromName(module_name) if module_name != "__main__" \
        else unittest.defaultTestLoader.loadTestsFromModule(sys.modules["__main__"])
    if len(sys.argv) > 1:
        suite = unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromName(n, sys.modules["__main__"])
                                   for n in sys.argv[1:])
    if shutil.which(QEMU):
        print("QEMU accelerator: %s" % accelerator(), file=sys.stderr)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    if result.skipped and len(result.skipped) >= result.testsRun:
        sys.exit(SKIP)
    sys.exit(0)
