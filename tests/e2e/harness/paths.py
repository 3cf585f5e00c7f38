"""Where the harness finds the Windows build and keeps its scratch files."""

import functools
import os
import subprocess
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[3]


def _from_env(name, default):
    value = os.environ.get(name)
    return Path(value).resolve() if value else default


def win_build_dir():
    """The Windows build tree holding Tollimer.exe and tollsim.exe."""
    return _from_env("TOLLIMER_WIN_BUILD", REPO_ROOT / "build" / "win")


def scratch_dir():
    """Locale, Wine prefix, home folder, logs and screenshots of a test run."""
    return _from_env("TOLLIMER_E2E_DIR", REPO_ROOT / "build" / "e2e")



SKIPS_32BIT = "this machine cannot run 32-bit programs: the 32-bit e2e half is skipped"


@functools.cache
def runs_32bit():
    """Whether this machine can run 32-bit programs under Wine. The scripts
    probe once and pass the answer on as TOLLIMER_32BIT (yes or no); a run
    started by hand asks the same probe."""
    if os.environ.get("TOLLIMER_32BIT") == "yes":
        return True
    probe = REPO_ROOT / "scripts" / "can-run-32bit"
    return subprocess.run([str(probe)], stdin=subprocess.DEVNULL, capture_output=True, timeout=60).returncode == 0


def wine_loader():
    """The Wine loader to start programs with: Debian's wine, or its 64-bit
    loader where 32-bit programs cannot run (wine would pick the 32-bit one
    and fail for every program, 64-bit ones included)."""
    return "/usr/bin/wine" if runs_32bit() else "/usr/lib/wine/wine64"


def win32_exe():
    """The 32-bit Tollimer.exe of build/win32 (TOLLIMER_WIN32_BUILD)."""
    return _from_env("TOLLIMER_WIN32_BUILD", REPO_ROOT / "build" / "win32") / "Tollimer.exe"


def program_exes():
    """The Tollimer.exe builds under test, by name: TOLLIMER_EXE alone when it
    is set; else the 64-bit one of the Windows build tree and the 32-bit one
    of build/win32 when it is built and the machine can run it. Most cashier
    PCs need the 32-bit one, so both pass the same tests."""
    only = os.environ.get("TOLLIMER_EXE")
    if only:
        return {"exe": Path(only).resolve()}
    exes = {"x64": win_build_dir() / "Tollimer.exe"}
    if win32_exe().exists() and runs_32bit():
        exes["x86"] = win32_exe()
    return exes


def program_exe():
    """The first build under test (the 64-bit one unless TOLLIMER_EXE is set)."""
    return next(iter(program_exes().values()))



def pe_machine(exe):
    """The machine field of a PE file: 0x8664 for x64, 0x14C for x86."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    pe = int.from_bytes(header[0x3C:0x40], "little")
    return int.from_bytes(header[pe + 4:pe + 6], "little")


def next_release_of(exe):
    """TollimerNext.exe (the same program, one version later) beside the
    Tollimer.exe under test of the same bitness as `exe`."""
    for built in program_exes().values():
        if pe_machine(built) == pe_machine(exe):
            return Path(built).parent / "TollimerNext.exe"
    return win_build_dir() / "TollimerNext.exe"
