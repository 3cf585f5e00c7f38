"""The companion simulator itself: its windows must look and behave like the
billing console's and the audit client's to another program, because every
end-to-end test of the assistant trusts them. `other_sim` plays the other
program (the assistant's part): it finds, reads and drives `sim`'s windows
across processes, the way the assistant does."""

import socket

import pytest

from harness import Child, SimError, wait_until

WM_CLOSE = 16
VK_TAB = 9

CAPTIONS = [
    pytest.param("会员激活", id="activation"),
    pytest.param("点数不足提醒", id="points-reminder"),
    pytest.param("积分&奖励操作", id="points-window"),
    pytest.param("Orv网络计费系统 v7-主收银台", id="main-cashier"),
    pytest.param("rwySvr.exe - 应用程序错误", id="server-error"),
    pytest.param("请如实核对上网人本人有效证件后激活证件号码", id="scan-form"),
    pytest.param("打开串口1失败，此串口不存在或者已被别的进程占用!", id="serial-port-text"),
    pytest.param("刷新（F11）", id="full-width-brackets"),
]


@pytest.mark.parametrize("caption", CAPTIONS)
def test_chinese_text_is_seen_by_another_program_as_created(sim, other_sim, caption):
    dialog = sim.dialog(caption)
    static = sim.child(dialog, "Static", caption)

    assert sim.text(dialog) == caption
    # FindWindowA and WM_GETTEXT in the other process compare and copy GBK.
    assert other_sim.find("#32770", caption) == dialog
    assert other_sim.find("", caption) == dialog
    assert other_sim.text(dialog) == caption
    assert other_sim.findchild(dialog, "Static", caption) == static


def test_window_of_a_delphi_class_is_found_by_class_alone(sim, other_sim):
    activation = sim.window("TFormActiveMem", "会员激活")

    assert other_sim.find("TFormActiveMem", "") == activation
    assert other_sim.class_name(activation) == "TFormActiveMem"
    assert other_sim.text(activation) == "会员激活"


@pytest.mark.parametrize("child_cls", [None, "Static", "Edit", "TEdit"], ids=["caption", "Static", "Edit", "TEdit"])
def test_text_set_by_another_program_is_recorded_and_shown(sim, other_sim, child_cls):
    dialog = sim.dialog("会员激活")
    hwnd = sim.child(dialog, child_cls) if child_cls else dialog
    text = "会员激活 ( 15 秒后关闭)"
    sim.clear()

    other_sim.settext(hwnd, text)

    assert [(e.hwnd, e.kind, e.detail) for e in sim.events()] == [(hwnd, "settext", text)]
    assert sim.text(hwnd) == text


# What one BM_CLICK from another program leaves behind. Wine would click a
# disabled button; the simulator must not, as Windows does not.
CLICK_CASES = [
    # button class,   parent class,   enabled, recorded on the button, parent told
    ("Button",        None,           True,    "click",                True),
    ("TButton",       None,           True,    "click",                True),
    ("TGroupButton",  "TRadioGroup",  True,    "click",                True),
    ("Button",        None,           False,   "click-ignored",        False),
    ("TGroupButton",  "TRadioGroup",  False,   "click-ignored",        False),
]


@pytest.mark.parametrize("cls, parent_cls, enabled, recorded, parent_told", CLICK_CASES)
def test_click_from_another_program(sim, other_sim, cls, parent_cls, enabled, recorded, parent_told):
    dialog = sim.dialog("RwyCHlp")
    parent = sim.child(dialog, parent_cls) if parent_cls else dialog
    button = sim.child(parent, cls, "否(&N)")
    sim.enable(button, enabled)
    sim.clear()

    other_sim.click(button)

    seen = [(e.hwnd, e.kind, e.detail) for e in sim.events() if e.kind in ("click", "click-ignored", "command")]
    expected = [(button, recorded, "")]
    if parent_told:
        expected.append((parent, "command", str(button)))
    assert seen == expected


def test_face_button_is_disabled_by_its_first_click(sim, other_sim):
    face = sim.dialog("人脸识别验证")
    button = sim.child(face, "Button", "人脸识别验证", onclick="disable")
    sim.clear()

    other_sim.click(button)
    other_sim.click(button)

    assert not other_sim.enabled(button)
    assert [e.kind for e in sim.events(hwnd=button)] == ["click", "click-ignored"]
    assert [e.detail for e in sim.events("command")] == [str(button)]


def test_button_that_ends_its_dialog_like_a_message_box(sim, other_sim):
    alert = sim.dialog("安全警报")
    yes = sim.child(alert, "Button", "是(&Y)", onclick="close")

    other_sim.click(yes)

    wait_until(lambda: other_sim.find("", "安全警报") == 0, message="the alert to close")
    assert not sim.exists(yes)


@pytest.mark.parametrize("make", [
    lambda sim: sim.dialog("点数不足提醒"),
    lambda sim: sim.window("TFormActiveMem", "会员激活"),
    lambda sim: sim.window("TFrmJiaoBan", "交班"),
], ids=["dialog", "TFormActiveMem", "TFrmJiaoBan"])
def test_wm_close_from_another_program_ends_the_window(sim, other_sim, make):
    window = make(sim)
    button = sim.child(window, "Button", "确定")
    caption = sim.text(window)
    sim.clear()

    other_sim.post(window, WM_CLOSE)

    wait_until(lambda: not sim.exists(window), message="the window to close")
    kinds = [e.kind for e in sim.events(hwnd=window)]
    assert kinds[0] == "close" and kinds[-1] == "destroyed"
    assert sim.events("destroyed", hwnd=button)
    assert other_sim.find("", caption) == 0


def test_combo_selection_by_another_program(sim, other_sim):
    scan = sim.dialog("请如实核对上网人本人有效证件后激活证件号码")
    combo = sim.child(scan, "ComboBox", items=["身份证", "护照", "军官证"])
    sim.clear()

    assert other_sim.findchild(scan, "ComboBox", "") == combo
    assert other_sim.select(combo, 1) == 1

    assert sim.cursel(combo) == 1
    assert other_sim.text(combo) == "护照"
    assert [(e.hwnd, e.kind, e.detail) for e in sim.events()] == [(combo, "setcursel", "1")]


def test_points_window_can_be_driven_like_the_real_one(sim, other_sim):
    # The points-and-rewards window: a radio group whose first button is the
    # usual choice, and an edit that the Tab key moves on to.
    points = sim.window("TFormPoints", "积分&奖励操作")
    group = sim.child(points, "TRadioGroup", "", h=80)
    first = sim.child(group, "TGroupButton", "积分兑换")
    sim.child(group, "TGroupButton", "奖励操作")
    edit = sim.child(points, "TEdit", "")
    sim.clear()

    assert other_sim.findchild(points, "TRadioGroup", "") == group
    assert other_sim.findchild(group, "TGroupButton", "") == first
    assert other_sim.findchild(points, "TEdit", "") == edit
    other_sim.click(first)
    assert other_sim.activate(points)
    other_sim.sendkey(VK_TAB)

    assert sim.checked(first)
    assert sim.events("command", hwnd=group)[0].detail == str(first)
    key = sim.wait_event("keydown", detail=str(VK_TAB))
    assert key.hwnd in (points, group, first, edit)


def test_mouse_click_over_a_button_is_recorded_where_it_happened(sim, other_sim):
    face = sim.dialog("人脸识别验证", x=200, y=200, w=400, h=300)
    button = sim.child(face, "Button", "人脸识别验证", x=20, y=20, w=160, h=40)
    left, top, _, _ = sim.rect(button)
    x, y = left + 35, top + 5
    sim.clear()

    other_sim.mouseclick(x, y)

    assert sim.wait_event("command", hwnd=face).detail == str(button)
    assert sim.events("lbuttondown", hwnd=button)[0].detail == f"{x},{y}"
    assert sim.events("lbuttonup", hwnd=button)[0].detail == f"{x},{y}"
    assert other_sim.cursor() == (x, y)


def test_placement_by_another_program_is_recorded(sim, other_sim):
    qr = sim.window("CQrCodeActiveWnd", "", x=100, y=100)
    sim.clear()

    other_sim.move(qr, 1024, 150, topmost=True)
    sim.wait_event("moved", hwnd=qr, detail="1024,150,topmost")
    assert sim.rect(qr)[:2] == (1024, 150)
    assert sim.topmost(qr)

    other_sim.move(qr, 1024, 150, topmost=False)
    sim.wait_event("moved", hwnd=qr, detail="1024,150")
    assert not sim.topmost(qr)

    other_sim.show(qr, False)
    sim.wait_event("hidden", hwnd=qr)
    assert not other_sim.visible(qr)


def test_filled_control_shows_its_colour_on_screen(wine, sim):
    face = sim.dialog("人脸识别验证", x=300, y=300, w=400, h=300)
    preview = sim.child(face, "Static", "", x=20, y=20, w=160, h=120, fill="FF0000")
    left, top, right, bottom = sim.rect(preview)
    centre = ((left + right) // 2, (top + bottom) // 2)

    wait_until(lambda: wine.grab_screen().pixel(*centre) == (255, 0, 0), timeout=10,
               message=f"red at {centre}")


def test_moving_preview_shows_a_new_picture_every_half_second_and_follows_its_size(wine, sim, other_sim):
    face = sim.dialog("人脸核验", x=300, y=300, w=400, h=320)
    preview = sim.child(face, "Static", "", x=20, y=20, w=160, h=120, moving=True)
    left, top, right, bottom = sim.rect(preview)
    centre = ((left + right) // 2, (top + bottom) // 2)
    # Counted from a picture the timer made, not from the first paint.
    wait_until(lambda: sim.frame(preview) >= 1, timeout=10, message="the first new picture")
    before = wine.grab_screen().pixel(*centre)
    wait_until(lambda: wine.grab_screen().pixel(*centre) != before, timeout=10,
               message="the preview's picture changing on screen")

    other_sim.move(preview, 20, 20, size=(200, 150))
    wait_until(lambda: sim.rect(preview)[2:] == (left + 200, top + 150), timeout=5, message="resized")


def test_clear_forgets_events_but_never_reuses_their_numbers(sim):
    dialog = sim.dialog("提示")
    sim.settext(dialog, "一")
    last_before = sim.events()[-1].seq

    sim.clear()
    assert sim.events() == []
    sim.settext(dialog, "二")

    after = sim.events()
    assert [e.detail for e in after] == ["二"]
    assert after[0].seq > last_before


# Lines a confused test (or a window that vanished) may send. Each is answered
# with err and a reason, and the simulator carries on.
BAD_LINES = [
    ("frobnicate", "unknown command"),
    ("", "unknown command"),
    ("text", "usage: text hwnd"),
    ("text\tnot-a-number", "bad handle"),
    ("text\t{dead}", "no such window"),
    ("click\t{dead}", "no such window"),
    ("child\t{dead}\tButton\tx", "no such window"),
    ("enable\t{foreign}\t0", "not a simulator window"),
    ("destroy\t{foreign}", "not a simulator window"),
    ("dialog\tx\tcolour=red", "unknown option colour"),
    ("dialog\tx\thidden=yes", "expected 0 or 1"),
    ("child\t{dialog}\tButton\tx\titems=a|b", "items need a combo or list box"),
    ("child\t{dialog}\tButton\tx\tonclick=explode", "onclick wants"),
    ("settext\t{dialog}\t\U0001F600", "not representable"),
    ("post\t{dialog}\t16\tx\t0", "bad message parameter"),
    ("send\t{dialog}\t13\t100\t12345", "may carry a pointer"),
    ("post\t{dialog}\t12\t0\t12345", "may carry a pointer"),
    ("move\t{dialog}\t1\t", "bad number"),
    ("sendkey\t300", "out of range"),
    ("move\t{dialog}\t1\t2\tw=50", "resizing wants both w and h"),
    ("frame\t{dialog}", "not a moving picture"),
    ("ping\textra", "extra field"),
]


@pytest.mark.parametrize("line, reason", BAD_LINES, ids=[b[0].split("\t")[0] or "empty" for b in BAD_LINES])
def test_bad_command_is_answered_and_survived(sim, other_sim, line, reason):
    dialog = sim.dialog("提示")
    dead = sim.dialog("gone")
    sim.destroy(dead)
    foreign = other_sim.dialog("另一个程序")

    reply = sim.raw(line.format(dialog=dialog, dead=dead, foreign=foreign).encode("utf-8"))

    assert reply.startswith("err\t") and reason in reply
    sim.ping()
    assert sim.text(dialog) == "提示"


def test_invalid_utf8_is_refused(sim):
    assert sim.raw(b"dialog\t\xff\xfe").startswith("err\ttext is not UTF-8")
    with pytest.raises(SimError, match="no such window"):
        sim.text(0)


def test_second_client_is_turned_away_while_the_first_is_served(sim):
    with socket.create_connection(("127.0.0.1", sim.port), timeout=10) as intruder:
        intruder.settimeout(10)
        assert intruder.makefile("rb").readline().startswith(b"err\tbusy")
    sim.ping()


def test_children_are_listed_in_creation_order(sim, other_sim):
    dialog = sim.dialog("人脸识别验证")
    button = sim.child(dialog, "Button", "人脸识别验证")
    edit = sim.child(dialog, "Edit", "110101199003070011")
    preview = sim.child(dialog, "Static", "")

    assert other_sim.children(dialog) == [
        Child(button, "Button", "人脸识别验证"),
        Child(edit, "Edit", "110101199003070011"),
        Child(preview, "Static", ""),
    ]


# The harness's registry helpers: the assistant's tests read its settings
# through them, so Chinese data and DWORDs must come back as written.
@pytest.mark.parametrize("value", ["网吧Tollimer", "1024.150", 0, 4294967295], ids=["chinese", "text", "zero", "max-dword"])
def test_registry_value_reads_back_as_written(wine, value):
    key = r"HKCU\Software\TollimerHarnessTest"
    wine.reg_add(key, "Value", value)
    try:
        assert wine.reg_query(key, "Value") == value
        assert wine.reg_query(key, "Absent") is None
    finally:
        wine.reg_delete(key)
