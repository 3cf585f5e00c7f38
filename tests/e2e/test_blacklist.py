"""The blacklist under Wine: the list loaded at the first tick from the
program folder's "blacklist.txt" and from the fake central service's sealed
lines, the count in the day log, the status line and the list of the panel
TfrmBlackList, opened by its main-window command."""

import json
import re
import subprocess
import sys
import time
from pathlib import Path

import pytest

from assistant import assistant  # noqa: F401
from harness import wait_until

FAKE = Path(__file__).parent / "fakes" / "central_service.py"
LIST_PATH = "/tollimer/data/blklist.txt"
CMD_BLACKLIST = 111
LB_GETCOUNT = 0x018B
LB_GETSELCOUNT = 0x0190
LB_GETTOPINDEX = 0x018E
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


class CentralService:
    """The fake central service on 127.0.0.1:18080 with a canned blacklist."""

    def __init__(self, folder):
        self.replies = folder / "replies.json"
        self.log = folder / "requests.jsonl"
        self.log.touch()
        self.serve("")
        self.process = subprocess.Popen(
            [sys.executable, str(FAKE), "--port", "18080", "--log", str(self.log),
             "--replies", str(self.replies), "--port-file", str(folder / "port")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: (folder / "port").exists() and (folder / "port").read_text().strip(),
                   timeout=10, message="the fake central service")

    def serve(self, body):
        # The fake re-reads the file whenever it changes.
        self.replies.write_text(json.dumps({LIST_PATH: {"status": 200, "body": body}}))

    def requests(self):
        return [json.loads(l) for l in self.log.read_text().splitlines() if l.strip()]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


@pytest.fixture
def central(tmp_path):
    service = CentralService(tmp_path)
    yield service
    service.stop()


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


def test_dead_service_leaves_the_local_records_and_the_failure_status(sim, assistant, program_dir):
    write_blacklist(program_dir, LOCAL_LINES)
    assistant.start()
    assert loaded(assistant) == 2
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


def test_huge_file_without_line_ends_and_megabyte_lines(sim, assistant, program_dir):
    # 24 MB: a line of 16 MB without an end, binary bytes, two good records.
    good = "\r\n".join([GOOD_TAB, GOOD_SPACE]).encode("gbk")
    (program_dir / "blacklist.txt").write_bytes(
        good + b"\r\n" + b"A" * (16 << 20) + b"\n" + bytes(range(256)) * (32 << 10) + b"\r\n" + good)
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


@pytest.mark.skip(reason="needs the simulator's face-verification dialog; the alert is covered by unit tests")
def test_swiped_blacklisted_id_raises_the_alert():
    pass
