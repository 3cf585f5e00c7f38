"""Start-up, the single instance, the leftover of an update, the day log and
shutdown, seen from outside as a cashier or an operator would."""

import datetime
import hashlib
import re
import struct
import subprocess
from pathlib import Path

import pytest

from assistant import LOG_LINE, MAIN_CASHIER, Assistant, assistant, heartbeat  # noqa: F401
from harness import start_program, wait_until
from harness.wait import patience

REPO_ROOT = Path(__file__).resolve().parents[2]
# SHA-256 of the test build's release key as its 128 upper-case hex digits.
TEST_KEY_FINGERPRINT = hashlib.sha256(re.search(
    r"^release_key = ([0-9A-F]{128})$", (REPO_ROOT / "cmake/test-chain.conf").read_text(), re.M)[1].encode()
).hexdigest().upper()


@pytest.mark.main_path
def test_starts_hidden_and_a_second_start_beeps_and_leaves(wine, sim, assistant):
    assistant.start()
    form = assistant.main_form()
    assert not sim.visible(form)
    assert not sim.visible(sim.find("", "网吧Tollimer"))
    assistant.wait_log("StartOK:")
    lines_before = assistant.log_lines()

    second = start_program(wine, assistant.folder)
    assert second.wait(timeout=patience(20)) == 0
    assert assistant.process.poll() is None
    assert assistant.main_form() == form
    assert assistant.log_lines()[: len(lines_before)] == lines_before
    assert len(assistant.log_texts("Startup:")) == 1  # the second start wrote nothing


def test_deletes_the_leftover_of_an_update(assistant):
    old = assistant.folder / "Tollimer.exe.old"
    old.write_bytes(b"previous release")
    assistant.start()
    wait_until(lambda: not old.exists(), timeout=10, message="Tollimer.exe.old deleted")


def test_day_log_lines_and_running_time_on_shutdown(sim, assistant, heartbeat):
    assistant.start()
    assistant.wait_ticks(2, heartbeat)
    assert assistant.stop() == 0

    files = assistant.log_files()
    today = datetime.date.today().strftime("%Y-%m-%d")
    assert [f.name for f in files] == [f"{today}.TXT"] or len(files) == 2  # a run across midnight
    lines = assistant.log_lines()
    assert lines and all(LOG_LINE.match(line) for line in lines), lines
    assert any(t.startswith("StartOK:HotKey=1,") for t in assistant.log_texts())
    # The release key it trusts, by fingerprint; this build's is the test key.
    assert assistant.log_texts("ReleaseKey:") == [
        f"ReleaseKey:sha256={TEST_KEY_FINGERPRINT},测试密钥(私钥已公开,测试版,不可发给网吧)"]
    running = assistant.log_texts("RunTime=")
    assert len(running) == 1 and running[0].startswith("RunTime=0d 00:00:"), running


def test_writes_nothing_without_the_marker(wine, sim, program_dir):
    a = Assistant(wine, sim, program_dir, log=False)
    sim.window("TFrmMain", MAIN_CASHIER)
    activation = sim.window("TFormActiveMem", "")
    sim.dialog("提示")
    try:
        a.start()
        wait_until(lambda: len(sim.events("settext", activation)) >= 3, timeout=10,
                   message="three watch cycles")
        assert a.stop() == 0
    finally:
        if a.process.poll() is None:
            a.process.kill()
    assert list(a.logs.iterdir()) == []
    assert sorted(p.name for p in program_dir.iterdir()) == ["LOGS", "Tollimer.exe"]


def test_log_folder_missing_changes_nothing_for_the_cashier(wine, sim, program_dir):
    a = Assistant(wine, sim, program_dir)
    a.logs.rmdir()
    sim.window("TFrmMain", MAIN_CASHIER)
    activation = sim.window("TFormActiveMem", "")
    try:
        a.start()
        sim.wait_event("settext", activation, timeout=10)
        assert a.process.poll() is None
        assert a.stop() == 0
    finally:
        if a.process.poll() is None:
            a.process.kill()
    assert not a.logs.exists()


def test_executable_holds_no_plain_literal(program_dir):
    exe = (program_dir / "Tollimer.exe").read_bytes()
    for plain in [b"Software\\Tollimer", b"OrvBar.ini", b"OrvHost.ini", b"report.php?",
                  "Orv网络计费系统公告栏".encode("gbk"), "人脸核验".encode("gbk")]:
        assert plain not in exe, plain


def _pe_symbols_and_sections(exe):
    """The COFF symbol count and the section names of a PE file."""
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    assert exe[pe:pe + 4] == b"PE\0\0"
    _, sections, _, symbol_table, symbols, optional_size, _ = struct.unpack_from("<HHIIIHH", exe, pe + 4)
    first = pe + 24 + optional_size
    names = []
    for i in range(sections):
        raw = exe[first + 40 * i:first + 40 * i + 8].rstrip(b"\0").decode("ascii")
        if raw.startswith("/") and symbol_table:  # a long name, in the string table after the symbols
            table = symbol_table + 18 * symbols
            offset = table + int(raw[1:])
            raw = exe[offset:exe.index(b"\0", offset)].decode("ascii")
        names.append(raw)
    return (symbol_table, symbols), names


def test_executable_carries_no_symbols_to_read_the_literals_by(program_dir):
    # With a symbol table, every enciphered literal is listed by its role and
    # the key table beside them; the shipped program carries neither.
    symbols, sections = _pe_symbols_and_sections((program_dir / "Tollimer.exe").read_bytes())
    assert symbols == (0, 0)
    assert not [s for s in sections if s.startswith(".debug")]
