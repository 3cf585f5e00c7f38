"""The central-service exchange and the self-update, end to end: the real
Tollimer.exe under Wine in front of the fake central service on
127.0.0.1:18080 (the `fake_service` fixture: the faults and the raw
requests this file looks at are the fake's; tests/e2e/test_central_service.py
updates from the real service), which answers the parameter exchange
with a sealed reply and serves the release (a build of the same program with
version 1.0.0.2).

Whatever goes wrong with a release, the cashier PC keeps a working program:
the executable in the program folder is the old one, byte for byte, and it
still runs."""

import calendar
import hashlib
import re
import shutil
import sys
import time
import zlib
from datetime import datetime
from pathlib import Path

import pytest

from assistant import Assistant, assistant, heartbeat  # noqa: F401
import urllib.request

from harness import OTHER_KEY, TEST_KEY, copy_program, next_release_of, pe_machine_name, statement_of, wait_until
from harness.central import UPDATE_PATH
from harness.wait import patience

sys.path.insert(0, str(Path(__file__).parent / "fakes"))
import envelope  # noqa: E402

MESSAGE_CAPTION = "Tollimer-自动更新成功"
WM_ENDSESSION = 0x0016


def crc_text(path):
    return f"{zlib.crc32(Path(path).read_bytes()):08X}"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def end_every_assistant(sim, timeout=15):
    """Ends whatever assistant runs, the one a test started and the one an
    update started, as a Windows shutdown does."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        form = sim.find("TOrv_Assistant", "")
        if not form:
            return
        sim.post(form, WM_ENDSESSION, 1, 0)
        wait_until(lambda: not sim.exists(form), timeout=10, message="the assistant's window gone")


@pytest.fixture
def release(tmp_path, program_dir):
    """The new release: the later build of the program under test (of its
    bitness), and its checksum."""
    exe = next_release_of(program_dir / "Tollimer.exe")
    assert exe.exists(), f"{exe} is not built"
    copy = tmp_path / "release.bin"
    shutil.copy2(exe, copy)
    return copy, crc_text(copy)


def params_payload(identities, **values):
    values = {"delay": 300, "clickmode": 1, "interval": 60, "ctidreturn": 6, **values}
    lines = [f"{k}={v}" for k, v in values.items()] + [f"crclist={identities}"]
    return "\r\n".join(lines) + "\r\n"


def attempt_lines(a):
    return a.log_texts("Check_Update[")


def line_times(a, needle):
    """Seconds of the log lines containing needle ("…:03.45" is 45 ms)."""
    times = []
    for line in a.log_lines():
        if needle in line:
            millis = int(line[20:].split(" ")[0])
            times.append(datetime.strptime(line[:19], "%Y-%m-%d %H:%M:%S").timestamp() + millis / 1000)
    return times


# --- The exchange at start-up ------------------------------------------------

def test_dead_service_gives_fifteen_attempts_a_second_apart_then_the_defaults(assistant, fake_service):
    fake_service.stop()
    assistant.start()
    summary = assistant.wait_log("StartOK:", timeout=60)[0]
    assert attempt_lines(assistant) == [f"Check_Update[{n}]=-1" for n in range(1, 16)]
    times = line_times(assistant, "Check_Update[")
    assert all(b - a >= 0.9 for a, b in zip(times, times[1:])), times
    # The wait after the fifteenth attempt comes before the summary too.
    assert line_times(assistant, "StartOK:")[0] - times[-1] >= 0.9
    assert summary.endswith(",Delay=101,Mode=1,Refresh=60,Return=6"), summary
    assert assistant.process.poll() is None


def test_a_reply_sets_the_parameters_before_the_local_file_overrides_them(assistant, fake_service):
    own = crc_text(assistant.folder / "Tollimer.exe")
    fake_service.answer(params_payload(f"ABCD1234,{own}", delay=333, clickmode=0, interval=5,
                                  ctidreturn=9))
    # The local parameters file is read after the exchange: its click delay wins.
    (assistant.folder / "OrvBar.ini").write_bytes(b"[Assistant]\r\nfwait=500\r\n")
    sound = b"RIFF custom face sound"
    (assistant.folder / "FaceTip.wav").write_bytes(sound)
    assistant.start()
    summary = assistant.wait_log("StartOK:", timeout=30)[0]
    assert attempt_lines(assistant) == ["Check_Update[1]=1"]
    assert summary.endswith(",Delay=500,Mode=0,Refresh=5,Return=9"), summary

    # One sealed POST with kind 1, carrying what the installation reports.
    posts = fake_service.requests(UPDATE_PATH)
    assert [p["target"] for p in posts] == [UPDATE_PATH + "?t=1"] and posts[0]["method"] == "POST"
    request = envelope.open_sealed(posts[0]["body"])
    fields = dict(line.split("=", 1) for line in request.split("\r\n"))
    assert fields["crc"] == own
    assert re.fullmatch(r"[0-9A-F]{12}", fields["mac"]), fields
    assert fields["facesound"] == f"{hashlib.md5(sound).hexdigest()}.{len(sound)}"
    assert fields["monitors"] == "1" and fields["expcofig"] == "0"
    assert fields["barid"] == "45000" and fields["barname"] == "NoHostIP"
    assert re.fullmatch(r"\d+\.\d+\.\d+\.\d", fields["os"]), fields
    # Unix seconds of the local clock read as China time (eight hours ahead of UTC).
    local_now = calendar.timegm(time.localtime()) - 8 * 3600
    assert abs(int(fields["time"]) - local_now) < 300, fields
    assert fields["disk"], fields
    assert assistant.process.poll() is None


@pytest.mark.parametrize("reply", [
    pytest.param({"body": "[BODY]\r\n@@@ not a sealed text @@@[END]"}, id="garbage-inside-markers"),
    pytest.param({"payload": "no pairs in here"}, id="payload-without-equals"),
])
def test_an_unusable_reply_counts_as_none(assistant, fake_service, reply):
    fake_service.answer(**reply)
    assistant.start()
    summary = assistant.wait_log("StartOK:", timeout=60)[0]
    assert attempt_lines(assistant) == [f"Check_Update[{n}]=-1" for n in range(1, 16)]
    assert summary.endswith(",Delay=101,Mode=1,Refresh=60,Return=6"), summary


def test_identities_of_seven_characters_never_start_an_update(assistant, fake_service, release,
                                                             heartbeat):
    release_file, _ = release
    fake_service.answer(params_payload("ABCD123"))
    fake_service.release(crc_text(assistant.folder / "Tollimer.exe"), body_file=str(release_file))
    assistant.start()
    assistant.wait_log("StartOK:", timeout=30)
    assert attempt_lines(assistant) == ["Check_Update[1]=1"]
    assistant.wait_ticks(2, heartbeat)  # the first tick is past
    assert fake_service.requests(UPDATE_PATH + "file/") == []
    assert assistant.log_texts("AutoUpdate=") == []


# --- The update ---------------------------------------------------------------

@pytest.mark.parametrize("folder_name", ["program", "网吧 收银"])
def test_downloads_swaps_and_restarts_into_the_release(wine, sim, tmp_path, fake_service, release,
                                                      folder_name):
    release_file, new_crc = release
    folder = tmp_path / folder_name
    folder.mkdir()
    copy_program(folder)
    a = Assistant(wine, sim, folder)
    exe = folder / "Tollimer.exe"
    old_crc = crc_text(exe)
    # A read-only backup of an earlier update is still replaced.
    backup = folder / "Tollimer.exe.old"
    backup.write_bytes(b"an earlier release")
    backup.chmod(0o444)
    fake_service.answer(params_payload(f"{new_crc},FFFF0000"))
    fake_service.release(old_crc, body_file=str(release_file))
    # The billing console in front: the box comes up over it and leaves it enabled.
    cashier = sim.window("TFrmMain", "Orv网络计费系统 v7-主收银台")
    sim.activate(cashier)
    try:
        a.start()
        box = wait_until(lambda: sim.find("#32770", MESSAGE_CAPTION), timeout=30,
                         message="the update message box")
        shown = time.monotonic()
        wait_until(lambda: sim.visible(box), timeout=5, message="the message box shown")
        texts = [c.text for c in sim.children(box)]
        assert any(t.startswith("网吧Tollimer-自动更新成功，确定后重新启动!") and
                   re.search(r"当前速度:\d+\.\d\d KB/S$", t) for t in texts), texts
        assert sim.enabled(cashier)
        wait_until(lambda: not sim.exists(box), timeout=15, message="the message box closing by itself")
        assert time.monotonic() - shown >= 1.5
        assert a.process.wait(timeout=20) == 0  # the old program ends

        # The new one runs from the same path, and removes the backup.
        assert a.wait_log("Startup:ver=1.0.0.2,", timeout=30)
        assert exe.read_bytes() == release_file.read_bytes()
        wait_until(lambda: not backup.exists(), timeout=20, message="Tollimer.exe.old deleted")
        assert not (folder / "Tollimer.exe.NEW").exists()
        form = wait_until(lambda: sim.find("TOrv_Assistant", ""), timeout=10)
        assert "1.0.0.2" in sim.text(form)
        # It is the release itself, so the fake service finds it current.
        a.wait_log("Check_Update[1]=1", timeout=30)
        assert a.log_texts("Check_Update[1]=") == ["Check_Update[1]=2", "Check_Update[1]=1"]
        size = len(release_file.read_bytes())
        assert a.log_texts("AutoUpdate=") == [f"AutoUpdate={size},UpdateState=2"]
        downloads = fake_service.requests(UPDATE_PATH + "file/")
        # The statement first, then the release by the same lookup.
        assert [d["target"].rstrip("?") for d in downloads] == [f"{UPDATE_PATH}file/{old_crc}.sig",
                                                                f"{UPDATE_PATH}file/{old_crc}.bin"]
        assert "User-Agent:FlowKite" in downloads[1]["headers"]
    finally:
        end_every_assistant(sim)
        if a.process.poll() is None:
            a.process.kill()


def failed_update(assistant, fake_service, release, **served):
    """Starts the assistant with an update announced and `served` as the
    release; returns the log text of the failure once it is written."""
    release_file, new_crc = release
    exe = assistant.folder / "Tollimer.exe"
    fake_service.answer(params_payload(new_crc))
    if "body_file" not in served and "signature" not in served:
        # The release's own statement: what fails is the download.
        served["signature"] = statement_of(release_file, "1.0.0.2", pe_machine_name(release_file)).rstrip("\n")
    fake_service.release(crc_text(exe), **served)
    assistant.start()
    return assistant.wait_log("＃自动更新失败", timeout=60)


def assert_untouched_and_running(assistant, old_bytes):
    assert (assistant.folder / "Tollimer.exe").read_bytes() == old_bytes
    assert not (assistant.folder / "Tollimer.exe.old").exists()
    time.sleep(1)
    assert assistant.process.poll() is None
    assert assistant.main_form()
    assert assistant.log_texts("Startup:")[0].startswith("Startup:ver=1.0.0.1,")
    assert assistant.stop() == 0


# Every failed attempt deletes the download.
@pytest.mark.parametrize("served, failure, new_left", [
    pytest.param({"status": 404, "body": "gone"}, "＃自动更新失败C,CODE:-5", False, id="not-found"),
    pytest.param({"mode": "cut"}, "＃自动更新失败C,CODE:-7", False, id="cut-in-the-middle"),
    pytest.param({"mode": "garbage"}, "＃自动更新失败D,CODE:CRC=", False, id="garbage"),
])
def test_a_failed_download_leaves_the_program_in_place(assistant, fake_service, release, served,
                                                       failure, new_left):
    release_file, _ = release
    served = dict(served)
    if served.get("mode") == "cut":
        served["body_file"] = str(release_file)
    old_bytes = (assistant.folder / "Tollimer.exe").read_bytes()
    texts = failed_update(assistant, fake_service, release, **served)
    assert texts[0].startswith(failure), texts
    assert (assistant.folder / "Tollimer.exe.NEW").exists() == new_left
    assert_untouched_and_running(assistant, old_bytes)


def test_a_download_that_is_not_the_announced_release_is_not_swapped_in(assistant, fake_service, release,
                                                                         tmp_path):
    # A whole, working executable, but another one than the reply announced.
    other = tmp_path / "other.bin"
    other.write_bytes((assistant.folder / "Tollimer.exe").read_bytes() + b"patched")
    old_bytes = (assistant.folder / "Tollimer.exe").read_bytes()
    texts = failed_update(assistant, fake_service, release, body_file=str(other))
    assert texts == [f"＃自动更新失败D,CODE:CRC={crc_text(other)}"]
    assert not (assistant.folder / "Tollimer.exe.NEW").exists()
    assert_untouched_and_running(assistant, old_bytes)


def test_a_failed_second_rename_puts_the_program_back(assistant, fake_service, release, sim):
    # Another program holds the download open: it can be written and read,
    # but not renamed into place.
    release_file, _ = release
    fresh = assistant.folder / "Tollimer.exe.NEW"
    sim.hold_file(windows_path(fresh))
    old_bytes = (assistant.folder / "Tollimer.exe").read_bytes()
    try:
        texts = failed_update(assistant, fake_service, release, body_file=str(release_file))
        assert texts == ["＃自动更新失败B,CODE:ReName2"]
        assert assistant.wait_log("Restore=") == ["Restore=1"]
    finally:
        sim.release_file(windows_path(fresh))
    assert fresh.read_bytes() == release_file.read_bytes()
    assert_untouched_and_running(assistant, old_bytes)


def test_the_minute_timer_asks_again_and_starts_an_announced_update(wine, sim, assistant, fake_service,
                                                                    release):
    # A refresh interval of one minute; the release is announced only after
    # the start-up exchange found the program current.
    release_file, new_crc = release
    exe = assistant.folder / "Tollimer.exe"
    own = crc_text(exe)
    fake_service.answer(params_payload(own, interval=1))
    fake_service.release(own, body_file=str(release_file))
    try:
        assistant.start()
        assistant.wait_log("StartOK:", timeout=30)
        assert attempt_lines(assistant) == ["Check_Update[1]=1"]
        fake_service.answer(params_payload(new_crc, interval=1))

        assert assistant.wait_log("Call_Update=", timeout=90) == ["Call_Update=2"]
        assert assistant.process.wait(timeout=30) == 0
        assistant.wait_log("Startup:ver=1.0.0.2,", timeout=30)
        assert exe.read_bytes() == release_file.read_bytes()
        targets = [r["target"].rstrip("?") for r in fake_service.requests(UPDATE_PATH)]
        assert targets[:4] == [UPDATE_PATH + "?t=1", UPDATE_PATH + "?t=2", f"{UPDATE_PATH}file/{own}.sig",
                               f"{UPDATE_PATH}file/{own}.bin"]
    finally:
        end_every_assistant(sim)


# --- Signed releases ------------------------------------------------------------

@pytest.mark.parametrize("key, refusal", [
    pytest.param(TEST_KEY, None, id="signed", marks=pytest.mark.main_path),
    pytest.param(None, "＃自动更新失败E,CODE:NoSign", id="unsigned"),
    pytest.param(OTHER_KEY, "＃自动更新失败E,CODE:BadSign", id="another-key"),
])
def test_only_a_release_the_operator_signed_is_swapped_in(sim, service, assistant, release, key, refusal):
    """The real service, its operator adding the release with the test
    build's key, with no key, or with a key of their own: the CRC is
    announced every time, the signature decides."""
    release_file, new_crc = release
    service.set_release_key(key)
    assert "is now current" in service.run("release", "add", release_file, *([] if key else ["--unsigned"]))
    exe = assistant.folder / "Tollimer.exe"
    old_bytes = exe.read_bytes()
    try:
        assistant.start()
        if refusal is None:
            assert assistant.process.wait(timeout=patience(60)) == 0
            assistant.wait_log("Startup:ver=1.0.0.2,", timeout=30)
            assert exe.read_bytes() == release_file.read_bytes()
            assert assistant.wait_log("Check_Update[1]=1", count=1, timeout=30)
            assert assistant.log_texts("＃自动更新失败") == []
            return
        assert assistant.wait_log("＃自动更新失败", timeout=60) == [refusal]
        assert not (assistant.folder / "Tollimer.exe.NEW").exists()
        assert_untouched_and_running(assistant, old_bytes)
        assert assistant.log_texts("自动更新失败") == [refusal]
    finally:
        end_every_assistant(sim)


def test_a_signed_release_that_cannot_start_gives_the_old_program_back(sim, assistant, fake_service,
                                                                       tmp_path):
    """Announced, signed and swapped in, but no program Windows can start: the
    old program goes back in place and keeps running as the one instance."""
    broken = tmp_path / "broken.bin"
    broken.write_bytes(b"MZ" + b"\0" * 62 + b"not a program that Windows can start" * 100)
    exe = assistant.folder / "Tollimer.exe"
    old_bytes = exe.read_bytes()
    fake_service.answer(params_payload(crc_text(broken)))
    # Stated and signed with the test key for the processor under test.
    fake_service.release(crc_text(exe), body_file=str(broken), machine=pe_machine_name(exe))
    assistant.start()
    failure = assistant.wait_log("＃自动更新失败", timeout=60)
    assert re.fullmatch(r"＃自动更新失败F,CODE:Start=\d+", failure[0]), failure
    assert assistant.wait_log("Restore=") == ["Restore=1"]
    assert not (assistant.folder / "Tollimer.exe.NEW").exists()
    # It counts as the running instance again: a second start ends at once.
    assert sim.find("TApplication", "网吧Tollimer")
    assert_untouched_and_running(assistant, old_bytes)


# --- Releases that may not come in ------------------------------------------

def downloads_served(service):
    """The service's count of release downloads, from its /metrics."""
    text = urllib.request.urlopen(f"http://127.0.0.1:{service.status_port}/metrics", timeout=10).read().decode()
    return int(re.search(r"^tollimer_downloads_total (\d+)$", text, re.M).group(1))


def older_release(exe, path):
    """The running program's own build (its number, 1.0.0.1) with a byte more:
    another checksum, the same release number."""
    path.write_bytes(Path(exe).read_bytes() + b"\0")
    return path


def release_for_the_other_processor(release_file, path):
    """The next release with its PE header saying the other processor: what
    the service hands an installation it does not know as one of the other
    processor."""
    data = bytearray(Path(release_file).read_bytes())
    pe = int.from_bytes(data[0x3C:0x40], "little")
    other = 0x14C if pe_machine_name(release_file) == "x64" else 0x8664
    data[pe + 4:pe + 6] = other.to_bytes(2, "little")
    path.write_bytes(bytes(data))
    return path


@pytest.mark.parametrize("make, refusal, downloads", [
    pytest.param(lambda exe, rel, tmp: older_release(exe, tmp / "older.bin"), "＃自动更新失败E,CODE:NotNewer", 0,
                 id="not-above-the-running-release"),
    pytest.param(lambda exe, rel, tmp: release_for_the_other_processor(rel, tmp / "other.bin"),
                 "＃自动更新失败E,CODE:Machine", 0, id="for-the-other-processor"),
    pytest.param(None, "＃自动更新失败E,CODE:Sha256", 1, id="file-not-the-stated-one"),
])
def test_a_signed_release_that_may_not_come_in_is_never_swapped_and_not_fetched_again(
        sim, service, assistant, release, tmp_path, make, refusal, downloads):
    """The real service, its releases signed with the test build's key: a
    lower number, the other processor, a file that is not the one its
    statement names. Each is refused with its own code, and the same release
    is not fetched again within its back-off although the exchange repeats
    every minute."""
    release_file, _ = release
    exe = assistant.folder / "Tollimer.exe"
    old_bytes = exe.read_bytes()
    service.run("params", "set", "interval", "1")
    if make:
        added = make(exe, release_file, tmp_path)
        assert "is now current" in service.run("release", "add", added)
    else:
        # The statement on the service's disk replaced by one, signed with
        # the same key, that names another file.
        assert "is now current" in service.run("release", "add", release_file)
        other = tmp_path / "other.bin"
        other.write_bytes(release_file.read_bytes() + b"patched")
        crc = crc_text(release_file)
        (service.data / "releases" / f"{crc}.sig").write_text(
            statement_of(other, "1.0.0.2", pe_machine_name(release_file)))
    try:
        assistant.start()
        assert assistant.wait_log("＃自动更新失败", timeout=60) == [refusal]
        assert assistant.wait_log("UpdateBackoff=") == ["UpdateBackoff=60s"]
        assert downloads_served(service) == downloads
        # The next exchange announces the same release: nothing is fetched.
        assistant.wait_log("Call_Update=", timeout=150)
        assert downloads_served(service) == downloads
        assert assistant.log_texts("自动更新失败") == [refusal]
        assert not (assistant.folder / "Tollimer.exe.NEW").exists()
        assert_untouched_and_running(assistant, old_bytes)
    finally:
        end_every_assistant(sim)


def test_a_signed_release_that_exits_at_start_up_is_rolled_back(sim, assistant, fake_service, release):
    """Announced, signed, swapped in and started, but it ends before it says
    it is up: the old program ends it, goes back in place, shows no update
    box and keeps running, with its blacklist loaded; it never tries that
    release again."""
    release_file, _ = release
    exits = Path(release_file.parent) / "exits.bin"
    built = next_release_of(assistant.folder / "Tollimer.exe").parent / "TollimerExits.exe"
    if not built.exists():
        pytest.skip(f"{built} is not built")
    exits.write_bytes(built.read_bytes())
    exe = assistant.folder / "Tollimer.exe"
    old_bytes = exe.read_bytes()
    # The cafe's own list, which the old program must keep watching with.
    (assistant.folder / "blacklist.txt").write_bytes("11010119900307123X\t张三\t2024-01-02\t打架斗殴\r\n".encode("gbk"))
    fake_service.answer(params_payload(crc_text(exits), interval=1))
    fake_service.release(crc_text(exe), body_file=str(exits))
    try:
        assistant.start()
        assert assistant.wait_log("＃自动更新失败", timeout=90) == ["＃自动更新失败G,CODE:NoReply"]
        assert assistant.wait_log("Restore=") == ["Restore=1"]
        assert not sim.find("#32770", MESSAGE_CAPTION)
        assert assistant.wait_log("Load BlackList=", timeout=30) == ["Load BlackList=1"]
        assert sim.find("TApplication", "网吧Tollimer")
        # The next exchange announces it again: it is not fetched again.
        assistant.wait_log("Call_Update=", timeout=150)
        bins = [r for r in fake_service.requests(UPDATE_PATH + "file/") if ".bin" in r["target"]]
        assert len(bins) == 1
        assert_untouched_and_running(assistant, old_bytes)
    finally:
        end_every_assistant(sim)
