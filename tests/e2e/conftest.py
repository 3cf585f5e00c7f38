"""Fixtures of the end-to-end tests: one Wine session per run, a fresh
simulator per test, and a program folder for the assistant."""

import os
import re

import pytest

from harness import (CentralProgram, CentralService, WineError, WineSession, copy_program, program_exes,
                     scratch_dir, start_program, start_sim, stop_program)
from harness.paths import SKIPS_32BIT, pe_machine, runs_32bit, wine_loader, win32_exe

PE_X86 = 0x14C

__all__ = ["start_program", "stop_program"]  # for the assistant's tests


def pytest_sessionstart(session):
    """Says which Wine loader runs the programs and, where the 32-bit build
    is left out because this machine cannot run it, that it is (also under -q)."""
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    if reporter is None:
        return
    reporter.write_line(f"Wine loader: {wine_loader()}")
    if not runs_32bit() and win32_exe().exists() and not os.environ.get("TOLLIMER_EXE"):
        reporter.write_line(SKIPS_32BIT)


@pytest.fixture(scope="session")
def wine():
    """The Wine prefix of this run (code page 936, private X display)."""
    exes = [exe for exe in program_exes().values() if exe.exists()]
    if not runs_32bit() and any(pe_machine(exe) == PE_X86 for exe in exes):
        pytest.exit(f"this machine cannot run 32-bit programs: {exes[0]} cannot be tested here", returncode=3)
    session = WineSession(scratch_dir())
    try:
        started = session.start()
    except (WineError, OSError) as error:
        # Every test would fail the same way: end the run with the reason.
        session.stop()
        pytest.exit(f"cannot start the Wine session: {error}", returncode=3)
    try:
        yield started
    finally:
        session.stop()


@pytest.fixture
def sim(wine):
    """A fresh simulator: the billing console and the audit client."""
    s = start_sim(wine)
    yield s
    s.stop()


@pytest.fixture
def other_sim(wine):
    """A second simulator, as "another program" that sends the first one's
    windows what the assistant would send, across processes."""
    s = start_sim(wine)
    yield s
    s.stop()


@pytest.fixture(params=list(program_exes()))
def program_dir(request, tmp_path):
    """A fresh folder for the assistant, holding a copy of Tollimer.exe when
    it is built; every test that uses it runs once per build (x64, x86). The
    folder's name is Chinese, as program folders on cashier PCs often are, so
    every path the assistant builds is GBK."""
    folder = tmp_path / "网吧收银"
    folder.mkdir()
    copy_program(folder, program_exes()[request.param])
    return folder


@pytest.fixture(autouse=True)
def service(request, tmp_path):
    """The central service on 127.0.0.1:18080 for every test, as a cafe
    chain runs it: tollimer-central from a clean data folder, its parameters
    the assistant's code defaults. Without a service each start of the
    assistant would wait out 15 attempts. A test that needs the faults a real
    service does not produce asks for `fake_service` instead."""
    if "fake_service" in request.fixturenames:
        yield None
        return
    # Its status page (and /metrics) on a free port: tests count its downloads there.
    s = CentralProgram(tmp_path / "central", status_port=0)
    yield s
    s.stop()


@pytest.fixture
def fake_service(tmp_path):
    """The fake central service on 127.0.0.1:18080 instead of the real one:
    canned replies (garbage, cut downloads, 404s) that a test sets while it
    runs; fake_service.stop() leaves the port dead."""
    s = CentralService(tmp_path / "fake-central")
    yield s
    s.stop()


def pytest_collection_modifyitems(config, items):
    """With TOLLIMER_E2E_ASSISTANT_ONLY set, only the tests that run
    Tollimer.exe: a second run that tries another build of it leaves the
    simulator's and the Windows-side tests to the first."""
    if os.environ.get("TOLLIMER_E2E_ASSISTANT_ONLY"):
        kept = [item for item in items if "program_dir" in getattr(item, "fixturenames", ())]
        config.hook.pytest_deselected(items=[item for item in items if item not in kept])
        items[:] = kept


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """Keeps a picture of the screen when a test that used Wine fails, taken
    before teardown closes the windows it would show."""
    outcome = yield
    report = outcome.get_result()
    wine = item.funcargs.get("wine") if hasattr(item, "funcargs") else None
    if report.when != "call" or not report.failed or wine is None:
        return
    shots = wine.logs.parent / "screenshots"
    shots.mkdir(exist_ok=True)
    path = shots / (re.sub(r"[^\w.-]+", "_", item.nodeid)[-150:] + ".png")
    try:
        wine.screenshot(path)
        report.sections.append(("screenshot", str(path)))
    except Exception as error:  # a failed picture must not hide the failure itself
        report.sections.append(("screenshot", f"failed: {error}"))
