"""The blacklist under Wine: the list loaded at the first tick from the
program folder's "blacklist.txt" and from the fake central service's sealed
lines, the count in the day log, the status line and the list of the panel
TfrmBlackList, opened by its main-window command."""

import re
import subprocess
import sys
import time
from pathlib import Path

import pytest

from assistant import assistant, heartbeat  # noqa: F401
from test_placement_face import face_dialog, local_parameters
from harness import wait_until

LIST_PATH = "/tollimer/data/blklist.txt"
CMD_BLACKLIST = 111
LB_GETCOUNT = 0x018B
LB_GETSELCOUNT = 0x0190
LB_GETTOPINDEX = 0x018E
LINE_HEIGHT = 16  # pixels of one line of the panel's list
# Envelope key row 3: DES key, then the initial vector.
ROW3_KEY, ROW3_IV = "9F2B6D40C1E8537A", "1E5C9B3F7026D48E"

GOOD_TAB = "11010119900307123X\t张三\t2024-01-02\t打架斗殴|多次"
GOOD_SPACE = "440304198512310021 欧阳小明 2023/12/1 欠费逃单"
LOCAL_LINES = [
    "# 本店黑名单",
    GOOD_TAB,
    "#11010119900307123X\t张三\t2024-01-02\t注释掉的",
    "10010119900307123X\t李四\t2024-01-02\t地区码错误",   # region 10
    "11010119900307123X\t李四\t2024-13-02\t日期错误",
    "only two\tfields",
    GOOD_SPACE,
]
SERVICE_LINES = [
    "320102197001010012 #某   2022-05-05 盗窃财物",
    "330106198001010013 #某某 2022-06-06 冒用证件",
    "11010119900307123X #三   2021-01-01 重复记录",
]


def seal(text):
    """One entry line as the central service sends it: GBK, DES-CBC with key
    row 3, PKCS#5 padding, Base64."""
    result = subprocess.run(
        ["openssl", "enc", "-des-cbc", "-K", ROW3_KEY, "-iv", ROW3_IV, "-base64", "-A",
         "-provider", "legacy", "-provider", "default"],
        input=text.encode("gbk"), capture_output=True, check=True)
    return result.stdout.decode()


@pytest.fixture
def central(fake_service):
    """The run's fake central service, serving what a test puts at the
    blacklist's address."""
    fake_service.serve = lambda body: fake_service.reply(LIST_PATH, status=200, body=body)
    return fake_service


def write_blacklist(folder, lines, extra=b""):
    (folder / "blacklist.txt").write_bytes("\r\n".join(lines).encode("gbk") + b"\r\n" + extra)


class Panel:
    def __init__(self, sim):
        self.sim = sim
        self.hwnd = wait_until(lambda: sim.find("TfrmBlackList", ""), timeout=20,
                               message="the blacklist panel")
        self.list = sim.findchild(self.hwnd, "ListBox")
        self.label = sim.findchild(self.hwnd, "Static")
        self.edit = sim.findchild(self.hwnd, "Edit")
        self.find_button = sim.findchild(self.hwnd, "Button", "查找(&S)")
        self.update_button = sim.findchild(self.hwnd, "Button", "更")

    def status(self):
        return self.sim.text(self.label)

    def count(self):
        return self.sim.send(self.list, LB_GETCOUNT)


def loaded(assistant, timeout=30):
    text = assistant.wait_log("Load BlackList=", timeout=timeout)[0]
    return int(text.split("=")[1])


def test_list_from_file_and_service_with_status_and_masked_panel(wine, sim, assistant, central, program_dir):
    # A binary tail without a line end: no record, no harm.
    write_blacklist(program_dir, LOCAL_LINES, extra=bytes(range(256)) * 40)
    central.serve("\r\n".join([seal(l) for l in SERVICE_LINES] + ["not a sealed line"]))
    assistant.start()

    assert loaded(assistant) == 5
    panel = Panel(sim)
    assert re.fullmatch(r"黑名单:5条,本地2条耗时:\d+ms", panel.status()), panel.status()
    assert panel.count() == 5
    gets = [r for r in central.requests() if r["target"].startswith(LIST_PATH)]
    assert [r["request_line"] for r in gets] == [f"GET {LIST_PATH}? HTTP/1.1"]

    assert not sim.visible(panel.hwnd)
    assistant.command(CMD_BLACKLIST)
    wait_until(lambda: sim.visible(panel.hwnd), message="the panel shown")
    left, top, right, bottom = sim.rect(panel.hwnd)
    assert (right - left, bottom - top) == (442, 640)

    # A click on the first line puts its first 14 characters into the find box.
    # (The click is repeated until it lands: the first may arrive while the
    # newly shown window is still being activated; clicking the same line
    # again changes nothing.)
    l, t, _, _ = sim.rect(panel.list)

    def click_first_line():
        sim.mouseclick(l + 60, t + 8)
        return sim.text(panel.edit) == "11010119900307"
    wait_until(click_first_line, timeout=10, interval=0.5, message="14 characters in the edit")
    # Finding them selects the two lines holding that number, not scrolled.
    sim.click(panel.find_button)
    wait_until(lambda: panel.status() == "找到相关记录:2", message="the find count")
    assert sim.send(panel.list, LB_GETSELCOUNT) == 2
    assert sim.send(panel.list, LB_GETTOPINDEX) == 0

    # The picture of the panel: masked numbers, Chinese names and reasons.
    shots = wine.logs.parent / "screenshots"
    shots.mkdir(exist_ok=True)
    wine.screenshot(shots / "blacklist_panel.png")

    # Sorting by ID number puts the highest last and lets the find's
    # selection and count go: they named lines that have moved.
    sim.click(sim.findchild(panel.hwnd, "Button", "↓"))
    wait_until(lambda: panel.status().startswith("黑名单:5条"), message="the list's status back")
    assert sim.send(panel.list, LB_GETSELCOUNT) == 0

    def click_last_line():
        sim.mouseclick(l + 60, t + 8 + 4 * LINE_HEIGHT)
        return sim.text(panel.edit) == "44030419851231"
    wait_until(click_last_line, timeout=10, interval=0.5, message="the highest ID on the last line")

    # The keyboard: Enter finds, as does the button's mnemonic; Esc closes.
    wine.keys("Return")
    wait_until(lambda: panel.status() == "找到相关记录:1", message="Enter finds")
    wait_until(click_first_line, timeout=10, interval=0.5, message="the first line's ID in the edit")
    wine.keys("alt+s")
    wait_until(lambda: panel.status() == "找到相关记录:2", message="Alt+S finds")
    wine.keys("Escape")
    wait_until(lambda: not sim.visible(panel.hwnd), message="Esc closes the panel")


def test_dead_service_leaves_the_local_records_and_the_failure_status(sim, assistant, fake_service, program_dir):
    write_blacklist(program_dir, LOCAL_LINES)
    fake_service.stop()
    assistant.start()
    # Start-up first tries the parameter exchange 15 times, a second apart.
    assert loaded(assistant, timeout=60) == 2
    panel = Panel(sim)
    assert re.fullmatch(r"获取黑名单失败:0, 本地数据2条, 耗时:\d+ms", panel.status()), panel.status()
    assert panel.count() == 2


def test_garbage_reply_and_no_file(sim, assistant, central, program_dir):
    central.serve("<html>502 Bad Gateway</html>\r\nQUJD\r\n" + seal("no spaces")[:10])
    assistant.start()
    assert loaded(assistant) == 0
    panel = Panel(sim)
    assert re.fullmatch(r"黑名单:0条,耗时:\d+ms", panel.status()), panel.status()
    assert panel.count() == 0


def test_update_button_reloads_after_three_seconds(sim, assistant, central, program_dir):
    write_blacklist(program_dir, LOCAL_LINES)
    central.serve(seal(SERVICE_LINES[0]))
    assistant.start()
    assert loaded(assistant) == 3
    panel = Panel(sim)
    central.serve("\r\n".join(seal(l) for l in SERVICE_LINES))
    time.sleep(3.2)  # the load guard: a reload within 3 s of the last does nothing
    sim.click(panel.update_button)
    wait_until(lambda: panel.count() == 5, message="the reloaded list")
    assert re.fullmatch(r"黑名单:5条,本地2条耗时:\d+ms", panel.status()), panel.status()


def test_huge_file_without_line_ends_and_megabyte_lines(sim, assistant, central, program_dir):
    # 24 MB: a line of 16 MB without an end, binary bytes, two good records.
    good = "\r\n".join([GOOD_TAB, GOOD_SPACE]).encode("gbk")
    (program_dir / "blacklist.txt").write_bytes(
        good + b"\r\n" + b"A" * (16 << 20) + b"\n" + bytes(range(256)) * (32 << 10) + b"\r\n" + good)
    central.serve("")  # no reply: the service's part fails
    assistant.start()
    assert loaded(assistant) == 4
    panel = Panel(sim)
    assert re.fullmatch(r"获取黑名单失败:0, 本地数据4条, 耗时:\d+ms", panel.status()), panel.status()


def test_dragging_the_title_moves_the_panel(wine, sim, assistant, program_dir):
    write_blacklist(program_dir, LOCAL_LINES)
    assistant.start()
    panel = Panel(sim)
    assistant.command(CMD_BLACKLIST)
    wait_until(lambda: sim.visible(panel.hwnd), message="the panel shown")
    left, top, _, _ = sim.rect(panel.hwnd)
    x, y = left + 150, top + 12  # on the title, away from its buttons
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "mousedown", "1",
                    "mousemove", "--sync", str(x + 80), str(y + 60), "sleep", "0.3",
                    "mousemove", "--sync", str(x + 120), str(y + 90), "sleep", "0.3", "mouseup", "1"],
                   env=wine.env, check=True, timeout=20)
    wait_until(lambda: sim.rect(panel.hwnd)[:2] == (left + 120, top + 90), message="the panel moved")


# --- The alert on a swiped ID ---------------------------------------------------

COLLECTOR = Path(__file__).parent / "fakes" / "collector.py"
REPORT_PATH = "/tollimer/report.php"
NOTICE_PREFIX = bytes.fromhex("7F3F805F4D53477C")  # every notice datagram starts so


@pytest.fixture
def collector(tmp_path):
    """The fake collector of notices on UDP 127.0.0.1:8888; yields a function
    giving the datagrams received so far."""
    out, port = tmp_path / "datagrams.hex", tmp_path / "collector.port"
    process = subprocess.Popen([sys.executable, str(COLLECTOR), "--out", str(out), "--port-file", str(port)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: port.exists() and port.read_text().strip(), timeout=10, message="the fake collector")
    yield lambda: [bytes.fromhex(l) for l in out.read_text().split()] if out.exists() else []
    process.terminate()
    process.wait(timeout=10)


def bar_of(assistant):
    startup = assistant.wait_log("Startup:", timeout=30)[0]
    fields = dict(f.split("=", 1) for f in startup.split(":", 1)[1].split(","))
    return fields["barid"], fields["barname"]


@pytest.mark.main_path
def test_swiped_blacklisted_id_raises_the_alert_and_nothing_is_pressed(
        sim, assistant, heartbeat, central, collector, program_dir):
    write_blacklist(program_dir, LOCAL_LINES)
    assistant.start()
    assert loaded(assistant) == 2
    bar_id, bar_name = bar_of(assistant)

    # The audit client shows the swiped ID (lower-case x) in its face dialog.
    dialog, _, edit, button = face_dialog(sim, id_number="11010119900307123x")
    [hit] = assistant.wait_log("FindBlackList:", timeout=15)
    entry = hit[len("FindBlackList:"):]
    assert entry.startswith("11010119900307123X")
    wait_until(lambda: sim.text(button) == "可疑名单", timeout=5, message="the button marked")
    assert sim.text(dialog) == entry

    wait_until(lambda: collector(), timeout=10, message="the notice datagram")
    assert collector() == [NOTICE_PREFIX + f"Bid={bar_id},BarName={bar_name},BlackID={entry}".encode("gbk")]

    reports = wait_until(lambda: [r for r in central.requests() if r["target"].startswith(REPORT_PATH)],
                         timeout=15, message="the hit report")
    target = reports[0]["target"]
    assert target.startswith(f"{REPORT_PATH}?CID=11010119900307123x&RET=")
    mac, rest = target.split("&RET=", 1)[1].split("|", 1)
    assert re.fullmatch(r"[0-9A-F]{12}", mac) or mac == "", mac
    assert rest == f"{bar_id}|{bar_name}|"

    # A few more ticks: nothing pressed, no second alert for the same dialog.
    assistant.wait_ticks(3, heartbeat)
    assert sim.events("click", button) == []
    assert assistant.log_texts("FaceDlg=") == []
    assert len(assistant.log_texts("FindBlackList:")) == 1
    assert len(collector()) == 1

    # A new swipe of the same ID into a new dialog raises a new alert.
    sim.close(dialog)
    face_dialog(sim, id_number="11010119900307123X")
    assistant.wait_log("FindBlackList:", count=2, timeout=15)


def test_an_audit_client_that_hangs_as_it_is_marked_does_not_hold_the_alert(
        sim, other_sim, assistant, central, program_dir):
    # The audit client stops answering for 20 s as the alert sets its button's
    # caption: both captions give up on it, the hit is logged and reported,
    # and the watch cycle goes on, a heartbeat dialog of another program
    # earning its line every tick, while the client still hangs (the
    # simulator answers the test only once the hang is over).
    write_blacklist(program_dir, LOCAL_LINES)
    local_parameters(program_dir, clickmode=0)
    beat = other_sim.dialog("提示")
    assistant.start()
    assert loaded(assistant) == 2
    needle = f"ButtonTip={beat},"

    dialog, _, _, button = face_dialog(sim, id_number="11010119900307123X", hangonsettext=20000)
    assistant.wait_log("FindBlackList:", timeout=20)
    at_hit = len(assistant.log_texts(needle))
    sim.answering()
    assert len(assistant.log_texts(needle)) - at_hit >= 3, "the alert waited for the hung client"
    wait_until(lambda: [r for r in central.requests() if r["target"].startswith(REPORT_PATH)],
               timeout=15, message="the hit report")
    assert assistant.process.poll() is None


@pytest.mark.parametrize("id_number", ["1101011", "44010619900101123X"])
def test_short_and_unlisted_ids_go_on_to_the_face_press(sim, assistant, collector, program_dir, id_number):
    # "1101011" is inside a listed ID but shorter than 8 characters.
    write_blacklist(program_dir, LOCAL_LINES)
    (program_dir / "OrvBar.ini").write_bytes(b"[Assistant]\r\nfwait=101\r\nclickmode=1\r\n")
    assistant.start()
    assert loaded(assistant) == 2
    _, _, _, button = face_dialog(sim, id_number=id_number)
    assistant.wait_log("FaceDlg=", timeout=15)
    sim.wait_event("click", button, timeout=5)
    assert assistant.log_texts("FindBlackList:") == []
    assert sim.text(button) == "人脸核验"
    assert collector() == []
