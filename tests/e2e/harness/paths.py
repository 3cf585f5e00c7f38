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


def program_exe():
    """The Tollimer.exe under test: TOLLIMER_EXE when set (the 32-bit build in
    build/win32, say), else the one of the Windows build tree."""
    return _from_env("TOLLIMER_EXE", win_build_dir() / "Tollimer.exe")
