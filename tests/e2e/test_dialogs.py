"""The assistant answers the billing console's dialogs, watched through the
simulator's record of what each window received."""

import pytest

from assistant import (CMD_COUNTDOWN_3, CMD_POINT_TIP, MAIN_CASHIER, SECOND_CASHIER, assistant,  # noqa: F401
                       heartbeat)
from harness import wait_until


def countdown(n):
    return f"会员激活 ( {n} 秒后关闭)"


def test_activation_window_counts_down_fifteen_seconds_and_closes(sim, assistant):
    sim.window("TFrmMain", MAIN_CASHIER)
    activation = sim.window("TFormActiveMem", "会员激活")
    assistant.start()

    sim.wait_event("close", activation, timeout=25)
    captions = [e.detail for e in sim.events("settext", activation)]
    assert captions == [countdown(n) for n in range(15, 0, -1)]
    wait_until(lambda: not sim.exists(activation), message="the closed window gone")


def test_hidden_activation_window_starts_again_at_full_count(sim, assistant, heartbeat):
    sim.window("TFrmMain", SECOND_CASHIER)
    activation = sim.window("TFormActiveMem", "")
    assistant.start()
    sim.wait_event("settext", activation, countdown(11), timeout=15)
    sim.show(activation, False)
    assistant.wait_ticks(2, heartbeat)
    sim.clear()
    sim.show(activation, True)
    first = sim.wait_event("settext", activation, timeout=5)
    assert first.detail == countdown(15)


@pytest.mark.main_path
def test_three_second_choice_from_the_menu_command(sim, assistant):
    sim.window("TFrmMain", MAIN_CASHIER)
    assistant.start()
    assistant.command(CMD_COUNTDOWN_3)
    activation = sim.window("TFormActiveMem", "")
    sim.wait_event("close", activation, timeout=10)
    assert [e.detail for e in sim.events("settext", activation)] == [countdown(3), countdown(2), countdown(1)]


@pytest.mark.main_path
def test_scan_form_and_points_window_are_acted_on_once(sim, assistant, heartbeat):
    scan = sim.dialog("请如实核对上网人本人有效证件后激活证件号码")
    combo = sim.child(scan, "ComboBox", items=["身份证", "护照", "军官证"])
    points = sim.window("TFrmJiFen", "积分&奖励操作")
    group = sim.child(points, "TRadioGroup")
    first = sim.child(group, "TGroupButton", "积分兑换")
    sim.child(group, "TGroupButton", "奖励")
    edit = sim.child(points, "TEdit")
    assistant.start()

    sim.wait_event("setcursel", combo, "1", timeout=10)
    sim.wait_event("click", first, timeout=10)
    sim.wait_event("keydown", detail="9", timeout=5)
    sim.wait_event("keyup", detail="9", timeout=5)  # the Tab is not left held down
    assistant.wait_ticks(3, heartbeat)

    assert len(sim.events("setcursel", combo)) == 1
    assert len(sim.events("click", first)) == 1
    assert len(sim.events("keydown")) == 1
    assert sim.cursel(combo) == 1
    assert assistant.log_texts(f"ScanFormWnd={scan} ComBoxWnd={combo}") != []
    assert len(assistant.log_texts(f"PointsWnd={points},RadioGrp={group},GroupBtn={first},Edit={edit}")) == 1


@pytest.mark.main_path
def test_swipe_error_box_closes_the_handover_window_then_itself(sim, assistant):
    handover = sim.window("TFrmJiaoBan", "交班")
    box = sim.dialog(MAIN_CASHIER)
    text = sim.child(box, "Static", "交班或设置期间不允许刷卡。请关闭交班窗口再试")
    assistant.start()

    sim.wait_event("close", box, timeout=10)
    closes = [e.hwnd for e in sim.events("close")]
    assert closes[:2] == [handover, box]
    assert assistant.log_texts(f"ErrBoxWnd={box} JiaoBanWnd={handover}") != []
    assert assistant.log_texts(f"ErrBoxWnd={box} ComBoxWnd={text}") != []
    # Both went in the same tick: the handover window's log line comes first
    # and the box's right after it.
    texts = assistant.log_texts("ErrBoxWnd=")
    assert texts[:2] == [f"ErrBoxWnd={box} JiaoBanWnd={handover}", f"ErrBoxWnd={box} ComBoxWnd={text}"]


def test_points_reminder_waits_for_the_switch_and_a_cashier_window(sim, assistant, heartbeat):
    reminder = sim.dialog("点数不足提醒")
    assistant.start()
    assistant.command(CMD_POINT_TIP)
    box = wait_until(lambda: sim.find("#32770", "开启确认"), timeout=10, message="the confirmation box")
    sim.post(box, 0x0111, 6, 0)  # IDYES
    wait_until(lambda: not sim.find("#32770", "开启确认"), message="the confirmation box closed")

    # Switch on, but no cashier window: left alone and not even logged.
    assistant.wait_ticks(3, heartbeat)
    assert sim.exists(reminder)
    assert sim.events("close", reminder) == []
    assert assistant.log_texts("PointTip=") == []

    sim.window("TFrmMain", MAIN_CASHIER)
    sim.wait_event("close", reminder, timeout=10)
    assert assistant.log_texts(f"PointTip={reminder}") != []


def test_reminder_switch_off_leaves_the_reminder_open_and_logs_it_every_tick(sim, assistant):
    sim.window("TFrmMain", MAIN_CASHIER)
    reminder = sim.dialog("点数不足提醒")
    assistant.start()
    assistant.command(CMD_POINT_TIP)
    box = wait_until(lambda: sim.find("#32770", "开启确认"), timeout=10, message="the confirmation box")
    sim.post(box, 0x0111, 7, 0)  # IDNO: the switch stays off
    assistant.wait_log(f"PointTip={reminder}", count=4, timeout=15)
    assert sim.events("close", reminder) == []


def test_help_security_and_serial_port_boxes_are_answered(sim, assistant):
    sim.window("TFrmMain", MAIN_CASHIER)
    help_box = sim.dialog("RwyCHlp")
    sim.child(help_box, "Button", "是(&Y)")
    no = sim.child(help_box, "Button", "否(&N)")
    safety = sim.window("TFrmSafe", "安全警报")
    yes = sim.child(safety, "Button", "是(&Y)")
    com = sim.dialog("Orv计费系统")
    sim.child(com, "Static", "打开串口1失败，此串口不存在或者已被别的进程占用!")
    assistant.start()

    sim.wait_event("click", no, timeout=10)
    sim.wait_event("click", yes, timeout=10)
    sim.wait_event("close", com, timeout=10)
    assert assistant.log_texts(f"RwyCHlp={help_box},BtnX={no}") != []
    assert assistant.log_texts(f"SafeWnd={safety},BtnX={yes}") != []

    # A help dialog without the expected button: logged with button 0, and
    # the assistant carries on.
    sim.destroy(help_box)
    bare = sim.dialog("RwyCHlp")
    assistant.wait_log(f"RwyCHlp={bare},BtnX=0", timeout=10)
    assert sim.exists(bare) and assistant.process.poll() is None
