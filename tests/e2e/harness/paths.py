"""Where the harness finds the Windows build and keeps its scratch files."""

import os
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



def program_exes():
    """The Tollimer.exe builds under test, by name: TOLLIMER_EXE alone when it
    is set; else the 64-bit one of the Windows build tree and the 32-bit one
    of build/win32 (TOLLIMER_WIN32_BUILD) when it is built. Most cashier PCs
    need the 32-bit one, so both pass the same tests."""
    only = os.environ.get("TOLLIMER_EXE")
    if only:
        return {"exe": Path(only).resolve()}
    exes = {"x64": win_build_dir() / "Tollimer.exe"}
    x86 = _from_env("TOLLIMER_WIN32_BUILD", REPO_ROOT / "build" / "win32") / "Tollimer.exe"
    if x86.exists():
        exes["x86"] = x86
    return exes


def program_exe():
    """The first build under test (the 64-bit one unless TOLLIMER_EXE is set)."""
    return next(iter(program_exes().values()))
