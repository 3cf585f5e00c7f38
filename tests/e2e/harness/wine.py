"""Running Windows programs and Wine's tools in the test prefix."""

import itertools
import os
import re
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path

from .paths import emulated, wine_loader
from .screen import Screen

LOCALE = "zh_CN.UTF-8"


class WineError(RuntimeError):
    pass


def ensure_locale(locale_dir):
    """Generates zh_CN.UTF-8 into locale_dir once.

    Wine takes its ANSI code page from the locale, and the machines have no
    Chinese locale installed; without it Wine falls back to code page 1252,
    which GBK bytes survive unnoticed.
    """
    locale_dir = Path(locale_dir)
    target = locale_dir / LOCALE
    if (target / "LC_CTYPE").exists():
        return locale_dir
    locale_dir.mkdir(parents=True, exist_ok=True)
    work = Path(tempfile.mkdtemp(dir=locale_dir))
    try:
        result = subprocess.run(["localedef", "--no-archive", "-i", "zh_CN", "-f", "UTF-8", str(work / LOCALE)],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        # localedef exits with 1 on mere warnings: the files decide.
        if not (work / LOCALE / "LC_CTYPE").exists():
            raise WineError(f"localedef failed ({result.returncode}): {result.stderr.strip()}")
        if not target.exists():
            os.rename(work / LOCALE, target)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return locale_dir


def _environment(prefix, home, display, locale_dir, loader):
    # Nothing of the caller's Wine, locale or XDG settings leaks in: the
    # prefix, its code page and its home folder are the test run's own.
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "XDG_", "LC_", "LANG"))}
    env.update(WINEPREFIX=str(prefix), HOME=str(home), WINEDLLOVERRIDES="winemenubuilder.exe=d",
               WINEDEBUG="-all", LOCPATH=str(locale_dir), LANG=LOCALE, LC_ALL=LOCALE, DISPLAY=display)
    if loader != "/usr/bin/wine":
        # Programs that Wine starts in turn (start.exe, a restart) take the
        # same loader.
        env["WINELOADER"] = loader
    return env


_REG_LINE = re.compile(r"^ {4}(.*?) {4}(REG_\w+) {4}(.*)$")


class _ProgramGroup(subprocess.Popen):
    """A Windows program started in a process group of its own: under
    emulation the loader starts a 32-bit program as a process apart from the
    one started here, which stays to wait for it, so kill() ends the group."""

    def kill(self):
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


class Wine:
    """One prefix on one display. `env` is the environment for any subprocess
    that must see the same Windows (wine, wineserver, xdotool); `loader` is
    the command that starts a Windows program there (in place of `wine`)."""

    def __init__(self, prefix, home, logs, display, locale_dir):
        self.prefix = Path(prefix)
        self.home = Path(home)
        self.logs = Path(logs)
        self.display = display
        self.loader = wine_loader()
        self.env = _environment(self.prefix, self.home, display, Path(locale_dir), self.loader)
        self._serial = itertools.count(1)

    def _log_file(self, name):
        self.logs.mkdir(parents=True, exist_ok=True)
        return self.logs / f"{next(self._serial):03d}-{name}.log"

    def run(self, args, cwd=None, log=None, env=None):
        """Starts a Windows program (args[0] a Unix or Windows path) and returns
        its Popen; the Unix process is the Windows process, so kill() ends it.

        Output goes to a log file and input comes from /dev/null: a wineserver
        started on the way inherits both, and a pipe would never see its end.
        """
        args = [str(a) for a in args]
        name = log or Path(args[0].replace("\\", "/")).stem
        start = _ProgramGroup if emulated() else subprocess.Popen
        with open(self._log_file(name), "wb") as out:
            return start([self.loader, *args], cwd=cwd, env={**self.env, **(env or {})}, stdin=subprocess.DEVNULL,
                         stdout=out, stderr=subprocess.STDOUT, start_new_session=emulated())

    def call(self, args, timeout=60, env=None):
        """Runs a Wine tool to its end; returns (exit code, output as text).
        Wine's console tools write the ANSI code page, GBK here."""
        args = [str(a) for a in args]
        path = self._log_file(Path(args[0]).stem)
        with open(path, "wb") as out:
            process = subprocess.Popen([self.loader, *args], env={**self.env, **(env or {})},
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=10)
                raise WineError(f"{self.loader} {' '.join(args)} took longer than {timeout} s; see {path}")
        return code, path.read_bytes().decode("gbk", errors="replace")

    def server(self, *flags, timeout=60):
        """Runs `wineserver` with flags (-p: stay up, -k: kill everything, -w: wait)."""
        with open(self._log_file("wineserver"), "wb") as out:
            subprocess.run(["wineserver", *flags], env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                           stderr=subprocess.STDOUT, timeout=timeout)

    def keys(self, *names):
        """Types keys (xdotool names: "Return", "alt+s") into the window that
        has the keyboard focus on Wine's screen."""
        subprocess.run(["xdotool", "key", "--delay", "100", *names], env=self.env, check=True, timeout=30)

    # Registry. Values are written with `wine reg`, which converts a UTF-8
    # argument to the code page, and read back with it, since the prefix's
    # registry files are flushed late.
    #
    # `view` 32 or 64 picks the registry view of HKEY_LOCAL_MACHINE\SOFTWARE
    # by the key's real name ("/reg:32"): once the 32-bit Wine is installed,
    # `wine reg` is the 32-bit tool, and a key spelled with "Wow6432Node"
    # would land in Wow6432Node\Wow6432Node.

    def reg_add(self, key, name, value, kind=None, view=None):
        """Sets a value; an int becomes REG_DWORD unless `kind` says otherwise.
        name None sets the key's default value."""
        kind = kind or ("REG_DWORD" if isinstance(value, int) else "REG_SZ")
        code, out = self.call(["reg", "add", key, *_value_name(name), "/t", kind, "/d", str(value), "/f",
                               *_view(view)])
        if code != 0:
            raise WineError(f"reg add {key} {name}: {out.strip()}")

    def reg_query(self, key, name, view=None):
        """The value's data (int for REG_DWORD, else text), or None when absent."""
        code, out = self.call(["reg", "query", key, *_value_name(name), *_view(view)])
        if code != 0:
            return None
        for line in out.splitlines():
            match = _REG_LINE.match(line)
            if match:
                kind, data = match.group(2), match.group(3)
                return int(data, 16) if kind == "REG_DWORD" else data
        return None

    def reg_delete(self, key, name=None, view=None):
        """Deletes one value, or the whole key when name is None; absent is fine."""
        which = ["/v", name] if name is not None else []
        self.call(["reg", "delete", key, *which, "/f", *_view(view)])

    # The screen.

    def screenshot(self, path, *options):
        """Saves the whole virtual screen; the format follows the file's
        extension; options go to ImageMagick's `import` before the file name."""
        subprocess.run(["import", "-display", self.display, "-window", "root", *options, str(path)],
                       env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=60, check=True)
        return Path(path)

    def grab_screen(self):
        """The whole virtual screen as pixels."""
        with tempfile.TemporaryDirectory(dir=self.logs) as work:
            path = self.screenshot(Path(work) / "screen.ppm", "-depth", "8")
            return Screen.from_ppm(path.read_bytes())


def _view(view):
    return [f"/reg:{view}"] if view else []


def _value_name(name):
    return ["/ve"] if name is None else ["/v", name]
