"""One test run under Wine: a private X display, a fresh prefix with code
page 936 and fast window closing, and a persistent wineserver."""

import fcntl
import os
import shutil
import signal
from pathlib import Path

from .sim import start_sim
from .paths import emulated
from .wait import patience, wait_until
from .wine import Wine, WineError, ensure_locale
from .xvfb import Xvfb

GBK_CODE_PAGE = 936
QEMU_I386 = "/usr/bin/qemu-i386"


class WineSession:
    def __init__(self, scratch, display=None):
        """display: an X display that is already running (such as the user's
        own desktop) to show the windows on; None starts a private Xvfb."""
        self.scratch = Path(scratch)
        self.display = display
        self.wine = None
        self._xvfb = None
        self._lock = None

    def start(self):
        """Prepares everything and returns the Wine; raises WineError with the
        reason when the prefix cannot be what the tests need."""
        self.scratch.mkdir(parents=True, exist_ok=True)
        self._take_lock()
        logs = self.scratch / "logs"
        shutil.rmtree(logs, ignore_errors=True)
        logs.mkdir()
        locale_dir = ensure_locale(self.scratch / "locale")
        display = self.display or self._start_xvfb(logs)

        prefix, home = self.scratch / "prefix", self.scratch / "home"
        self.wine = Wine(prefix, home, logs, display, locale_dir)
        if prefix.exists():
            self.wine.server("-k")  # whatever a crashed earlier run left in it
        for folder in (prefix, home):
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir()
        # A persistent server first: every later program starts several
        # times faster than with a server that comes and goes.
        self.wine.server("-p")
        # The Mono and Gecko installers would ask on screen and wait forever.
        code, out = self.wine.call(["wineboot", "-i"], timeout=patience(180),
                                   env={"WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d"})
        if code != 0:
            raise WineError(f"wineboot failed ({code}): {out.strip()[-500:]}")
        if emulated():
            # wineboot returns while the 32-bit half of the prefix's making
            # still runs under emulation, for minutes: the tests wait for it
            # rather than share the processor with it.
            wait_until(lambda: not _emulated_processes(prefix), timeout=60, interval=1,
                       message="the 32-bit setup of the prefix to finish")
        # Without a window manager every hide or destroy of a top-level window
        # takes about 2 s; unmanaged windows take milliseconds.
        self.wine.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
        self._check_code_page()
        return self.wine

    def _start_xvfb(self, logs):
        self._xvfb = Xvfb(logs / "xvfb.log")
        pid_file = self.scratch / "xvfb.pid"
        _end_stale_xvfb(pid_file)
        display = self._xvfb.start()
        pid_file.write_text(str(self._xvfb.process.pid))
        return display

    def _take_lock(self):
        self._lock = open(self.scratch / "session.lock", "w")
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            self._lock.close()
            self._lock = None
            raise WineError(f"another test run is using {self.scratch}; set TOLLIMER_E2E_DIR to another folder")

    def _check_code_page(self):
        # GBK bytes survive a round trip through code page 1252 too, so a
        # wrong code page would hide bugs instead of failing tests.
        sim = start_sim(self.wine)
        try:
            acp = sim.acp()
        finally:
            sim.stop()
        if acp != GBK_CODE_PAGE:
            raise WineError(f"Wine runs with ANSI code page {acp}, not {GBK_CODE_PAGE}; "
                            f"check the zh_CN.UTF-8 locale in {self.scratch / 'locale'}")

    def stop(self):
        if self.wine is not None:
            try:
                self.wine.server("-k")
            except Exception:  # teardown goes on: the display and lock must go too
                pass
        if self._xvfb is not None:
            self._xvfb.stop()
        if self._lock is not None:
            self._lock.close()
            self._lock = None


def _emulated_processes(prefix):
    """The processes that qemu-i386 runs in this prefix."""
    wanted = f"WINEPREFIX={prefix}".encode()
    found = []
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and os.readlink(entry / "exe") == QEMU_I386 and \
                    wanted in (entry / "environ").read_bytes().split(b"\0"):
                found.append(int(entry.name))
        except OSError:  # gone meanwhile, or not ours to read
            pass
    return found


def _end_stale_xvfb(pid_file):
    """Ends the Xvfb of an earlier run of this folder that was killed before
    its teardown (the lock taken above says that run is over)."""
    try:
        pid = int(pid_file.read_text())
        cmdline = Path(f"/proc/{pid}/cmdline").read_bytes()
    except (OSError, ValueError):
        return
    if cmdline.startswith(b"Xvfb\0"):
        os.kill(pid, signal.SIGTERM)
