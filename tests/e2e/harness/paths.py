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


def pinned_build_dir():
    """The 64-bit build whose service is https://127.0.0.1:18443/tollimer/,
    pinned to tests/data/tls/service-cert.pem (scripts/build makes it)."""
    return _from_env("TOLLIMER_TLS_BUILD", REPO_ROOT / "build" / "win-tls")


def scratch_dir():
    """Locale, Wine prefix, home folder, logs and screenshots of a test run."""
    return _from_env("TOLLIMER_E2E_DIR", REPO_ROOT / "build" / "e2e")



SKIPS_32BIT = "this machine cannot run 32-bit programs: the 32-bit e2e half is skipped"


@functools.cache
def thirty_two_bit():
    """How this machine runs 32-bit programs under Wine: "native", "emulated"
    (qemu-i386, inside scripts/emulate-32bit) or "none". The scripts probe
    once and pass the answer on as TOLLIMER_32BIT (yes, emulated or no); a
    run started by hand asks the same probe, and takes emulation, which only
    scripts/emulate-32bit arranges, for none."""
    answer = os.environ.get("TOLLIMER_32BIT")
    if answer in ("yes", "emulated", "no"):
        return {"yes": "native", "emulated": "emulated", "no": "none"}[answer]
    probe = REPO_ROOT / "scripts" / "can-run-32bit"
    code = subprocess.run([str(probe)], stdin=subprocess.DEVNULL, capture_output=True, timeout=60).returncode
    return "native" if code == 0 else "none"


def runs_32bit():
    """Whether this machine can run 32-bit programs under Wine at all."""
    return thirty_two_bit() != "none"


def emulated():
    """Whether 32-bit programs run under emulation: each start of one takes
    tens of seconds, after which it keeps the normal pace."""
    return thirty_two_bit() == "emulated"


def wine_loader():
    """The Wine loader to start programs with: Debian's wine where the kernel
    runs 32-bit programs, else its 64-bit loader (wine would pick the 32-bit
    one and fail, or under emulation make every Wine tool pay it; the 64-bit
    loader starts a 32-bit program through the 32-bit one by itself)."""
    return "/usr/bin/wine" if thirty_two_bit() == "native" else "/usr/lib/wine/wine64"


def win32_exe():
    """The 32-bit Tollimer.exe of build/win32 (TOLLIMER_WIN32_BUILD)."""
    return _from_env("TOLLIMER_WIN32_BUILD", REPO_ROOT / "build" / "win32") / "Tollimer.exe"


def program_exes():
    """The Tollimer.exe builds under test, by name: TOLLIMER_EXE alone when it
    is set; else the 64-bit one of the Windows build tree and the 32-bit one
    of build/win32 when it is built and the machine runs it natively (under
    emulation the scripts name it in TOLLIMER_EXE for the subset marked
    main_path). Most cashier PCs need the 32-bit one, so both pass the same
    tests."""
    only = os.environ.get("TOLLIMER_EXE")
    if only:
        return {"exe": Path(only).resolve()}
    exes = {"x64": win_build_dir() / "Tollimer.exe"}
    if win32_exe().exists() and thirty_two_bit() == "native":
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
