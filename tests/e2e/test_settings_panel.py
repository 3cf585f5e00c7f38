"""The settings window of the real assistant under Wine: opened with the
main window's command as the icon's menu does, its controls read back from
another process (places, captions, check marks, list items and selections)
after seeding the registry, and its save button followed into the registry
and the day log, with the windows the simulator shows for the capture."""

import shutil

import pytest

from assistant import assistant  # noqa: F401
from harness import start_program, wait_until
from test_carousel import Folders, make_picture

APP_KEY = r"HKCU\Software\Tollimer"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
WM_COMMAND = 0x0111
WM_LBUTTONDBLCLK = 0x0203
WM_SYSCOMMAND, SC_MINIMIZE = 0x0112, 0xF020
BM_CLICK = 0x00F5
MK_LBUTTON, MK_SHIFT = 0x0001, 0x0004
IDOK, IDCANCEL = 1, 2
CMD_SETTINGS = 110

# Children of the window, of each group box, in creation order:
# (name, class, left, top, width, height, caption) in client pixels of the parent.
FORM = [
    ("chk_AutoMoveScreen", "Button", 24, 7, 217, 25, None),
    ("grp_ExpConfig", "TGroupBox", 8, 16, 529, 105, ""),
    ("chk_DeskWallpaper", "Button", 24, 135, 153, 25, "桌面图片轮播"),
    ("grp_deskConfig", "TGroupBox", 8, 144, 529, 185, ""),
    ("btn_SaveConfig", "Button", 111, 343, 120, 33, "保存配置(&S)"),
]
EXP = [
    ("chk_CTID", "Button", 15, 48, 162, 25, None),
    ("chk_orvAPP", "Button", 198, 48, 177, 25, "Orv扫码激活"),
    ("chk_rzxFace", "Button", 381, 48, 140, 25, "人脸识别"),
    ("chk_CTIDSwitch", "Button", 15, 72, 170, 25, "网证自动回屏"),
]
DESK = [
    ("Label4", "Static", 13, 37, None, None, "上层："),
    ("edt_topPicPath", "Edit", 64, 32, 361, 28, None),
    ("btn_topBrowse", "Button", 435, 28, 81, 33, "浏 览"),
    ("Label1", "Static", 13, 85, None, None, "底层："),
    ("edt_bgPicPath", "Edit", 64, 80, 361, 28, None),
    ("btn_bgBrowse", "Button", 435, 78, 81, 33, "浏 览"),
    ("Label5", "Static", 13, 137, None, None, "位置："),
    ("cbb_topPos", "ComboBox", 64, 132, 70, None, None),  # a closed list is as tall as its font
    ("Label2", "Static", 157, 137, None, None, "效果："),
    ("cbb_style", "ComboBox", 208, 132, 70, None, None),
    ("Label3", "Static", 305, 137, None, None, "间隔："),
    ("cbb_Interval", "ComboBox", 355, 132, 70, None, None),
    ("btn_picTest", "Button", 435, 128, 81, 33, "测 试"),
]
ITEMS = {
    "cbb_topPos": ["靠左", "居中", "靠右"],
    "cbb_style": ["填充", "适应", "拉伸", "平铺", "居中"],
    "cbb_Interval": ["10秒", "15秒", "30秒", "1分钟", "3分钟", "5分钟", "10分钟", "15分钟", "30分钟",
                     "1小时", "2小时", "3小时", "6小时", "1天"],
}


@pytest.fixture
def registry(wine):
    yield wine
    wine.reg_delete(APP_KEY)
    for name in ("Interval", "WallpaperPos", "WallpaperStyle", "TileWallpaper"):
        wine.reg_delete(DESKTOP_KEY, name)


@pytest.fixture
def folders(wine):
    made = Folders(wine)
    yield made
    shutil.rmtree(made.root, ignore_errors=True)


def seed(wine, **values):
    """Application-key values by name; Interval, WallpaperPos and
    WallpaperStyle go to the desktop key."""
    for name, value in values.items():
        key = DESKTOP_KEY if name in ("Interval", "WallpaperPos", "WallpaperStyle") else APP_KEY
        wine.reg_add(key, name, value)


def open_settings(assistant, sim):
    form = assistant.main_form()
    assistant.command(CMD_SETTINGS)
    wait_until(lambda: sim.visible(form), timeout=10, message="the settings window shown")
    return form


def controls(sim, form):
    """Every control by name, checked against the expected class."""
    found = {}
    for parent, layout in ((form, FORM), (None, EXP), (None, DESK)):
        if parent is None:
            parent = found["grp_ExpConfig" if layout is EXP else "grp_deskConfig"]
        children = sim.children(parent)
        assert [c.cls for c in children] == [row[1] for row in layout], parent
        for child, row in zip(children, layout):
            found[row[0]] = child.hwnd
    return found


def test_window_shows_its_controls_in_place_filled_from_the_registry(sim, registry, assistant):
    seed(registry, ExpCofig="35", BgWallpaperPath="C:\\网吧图片\\背景\\", topWallpaperPath="D:\\价格表\\",
         WallpaperPos="2", Interval=60, WallpaperStyle="1")
    assistant.start()
    assistant.wait_log("StartOK:", timeout=20)
    form = open_settings(assistant, sim)
    c = controls(sim, form)

    width, height, _, _ = sim.clientrect(form)
    assert (width, height) == (546, 392)
    captions = {"chk_AutoMoveScreen": "记忆双屏幕显示位置[1]", "chk_CTID": "网证二维码[F11]",
                "edt_topPicPath": "D:\\价格表\\", "edt_bgPicPath": "C:\\网吧图片\\背景\\",
                "cbb_topPos": "靠右", "cbb_style": "平铺", "cbb_Interval": "1分钟"}
    for parent, layout in ((form, FORM), (c["grp_ExpConfig"], EXP), (c["grp_deskConfig"], DESK)):
        _, _, origin_x, origin_y = sim.clientrect(parent)
        for name, _, left, top, w, h, caption in layout:
            rect = sim.rect(c[name])
            assert (rect[0] - origin_x, rect[1] - origin_y) == (left, top), name
            if w is not None:
                assert rect[2] - rect[0] == w, name
            if h is not None:
                assert rect[3] - rect[1] == h, name
            assert sim.text(c[name]) == (captions[name] if caption is None else caption), name

    # Bits 1, 2 and 32: the extended-screen group usable, the carousel's greyed;
    # the return box checked but hidden.
    checks = {"chk_AutoMoveScreen": True, "chk_CTID": True, "chk_orvAPP": False, "chk_rzxFace": False,
              "chk_CTIDSwitch": True, "chk_DeskWallpaper": False}
    assert {name: sim.checked(c[name]) for name in checks} == checks
    assert not sim.visible(c["chk_CTIDSwitch"])
    assert sim.enabled(c["grp_ExpConfig"]) and not sim.enabled(c["grp_deskConfig"])
    assert {name: sim.items(c[name]) for name in ITEMS} == ITEMS
    assert [sim.cursel(c[n]) for n in ("cbb_topPos", "cbb_style", "cbb_Interval")] == [2, 3, 3]
    assert sim.enabled(c["btn_SaveConfig"]) and not sim.enabled(c["btn_picTest"])

    # A double-click on the group shows the return box only with Shift held.
    sim.send(c["grp_ExpConfig"], WM_LBUTTONDBLCLK, MK_LBUTTON, 0)
    assert not sim.visible(c["chk_CTIDSwitch"])
    sim.send(c["grp_ExpConfig"], WM_LBUTTONDBLCLK, MK_LBUTTON | MK_SHIFT, 0)
    assert sim.visible(c["chk_CTIDSwitch"])

    # A click on the carousel's box makes its group usable at once.
    sim.click(c["chk_DeskWallpaper"])
    assert sim.checked(c["chk_DeskWallpaper"]) and sim.enabled(c["grp_deskConfig"])


def capture_lines(assistant):
    """The save's position lines (the CTID window's own lines carry
    "CTIDWin.x=" too, after other names)."""
    return [t for t in assistant.log_texts("Win.x=")
            if t.startswith(("CTIDWin.x=", "OrvAppWin.x=", "FaceVeifyWin.x="))]


def tick_by_mouse(sim, box):
    left, top, _, bottom = sim.rect(box)
    sim.mouseclick(left + 8, (top + bottom) // 2)
    wait_until(lambda: sim.checked(box), message="a box ticked by a click")


def test_the_keyboard_moves_between_boxes_and_saves(wine, sim, registry, assistant):
    # Tab goes to the next box, Space ticks it, Alt+S and Enter save.
    seed(registry, ExpCofig="1")
    assistant.start()
    form = open_settings(assistant, sim)
    c = controls(sim, form)
    # One click (a second would untick the box), once the window has the
    # keyboard, so the click is not spent on activating it.
    wait_until(lambda: sim.foreground() == form, timeout=10, message="the settings window in front")
    tick_by_mouse(sim, c["chk_CTID"])
    wine.keys("Tab", "space")
    wait_until(lambda: sim.checked(c["chk_orvAPP"]), message="Tab and Space tick the next box")
    wine.keys("alt+s")
    wait_until(lambda: registry.reg_query(APP_KEY, "ExpCofig") == "7", message="Alt+S saves")
    tick_by_mouse(sim, c["chk_rzxFace"])
    wine.keys("Return")
    wait_until(lambda: registry.reg_query(APP_KEY, "ExpCofig") == "15", message="Enter saves")


@pytest.mark.main_path
def test_save_writes_the_window_state_and_captures_positions(wine, sim, registry, folders, assistant):
    empty_path, empty = folders.folder("空")
    # Bit 32: the CTID window goes back to its parked spot on the cashier's
    # screen a few cycles after it appears.
    seed(registry, ExpCofig="32", WallpaperStyle="22", WallpaperPos="5", Interval=20,
         BgWallpaperPath=empty, topWallpaperPath="C:\\没有这个\\", FaceVeifyWin="777.88",
         OrvAppWin="1.2", CTIDWin="3.4")
    ctid = sim.window("TFrmCTID", "网证CTID扫码上机", x=1300, y=220, w=300, h=300)
    app = sim.window("CQrCodeActiveWnd", "", x=140, y=260, w=200, h=200)
    assistant.start()
    assistant.wait_log("AutoSwitchOK=1,", timeout=30)
    form = open_settings(assistant, sim)
    c = controls(sim, form)

    sim.click(c["chk_DeskWallpaper"])
    sim.click(c["chk_AutoMoveScreen"])
    sim.click(c["chk_rzxFace"])
    app_rect = sim.rect(app)
    sim.click(c["btn_SaveConfig"])  # returns once the save has run

    # No picture in either folder: the carousel's box is cleared again.
    assert not sim.checked(c["chk_DeskWallpaper"]) and not sim.enabled(c["grp_deskConfig"])
    assert sim.enabled(c["btn_SaveConfig"])
    expected = {
        (APP_KEY, "ExpCofig"): "41",  # 1 + 8 + the hidden box's 32
        (DESKTOP_KEY, "WallpaperStyle"): "10",
        (DESKTOP_KEY, "TileWallpaper"): "0",
        (DESKTOP_KEY, "WallpaperPos"): "-1",
        (DESKTOP_KEY, "Interval"): 20,
        (APP_KEY, "bgWallpaperPath"): empty,
        (APP_KEY, "topWallpaperPath"): "C:\\没有这个\\",
        (APP_KEY, "CTIDWin"): "3.4",  # parked: not remembered
        (APP_KEY, "OrvAppWin"): f"{app_rect[0]}.{app_rect[1]}",
        (APP_KEY, "FaceVeifyWin"): "777.88",  # the face window is hidden
    }
    assert {k: wine.reg_query(*k) for k in expected} == expected
    assert wine.reg_query(APP_KEY, "BarID") is not None
    assert capture_lines(assistant) == [f"OrvAppWin.x={app_rect[0]},OrvAppWin.y={app_rect[1]}",
                                        "FaceVeifyWin.x=0,FaceVeifyWin.y=0"]

    # Dragged to the customer's screen, the CTID window is remembered.
    sim.move(ctid, 1250, 180)
    ctid_rect = sim.rect(ctid)
    sim.click(c["btn_SaveConfig"])
    assert wine.reg_query(APP_KEY, "CTIDWin") == f"{ctid_rect[0]}.{ctid_rect[1]}"
    assert capture_lines(assistant)[2] == f"CTIDWin.x={ctid_rect[0]},CTIDWin.y={ctid_rect[1]}"

    # Minimised windows have no place on a screen: their saved places stay.
    for window in (ctid, app):
        sim.post(window, WM_SYSCOMMAND, SC_MINIMIZE)
    wait_until(lambda: sim.rect(ctid)[0] != ctid_rect[0] and sim.rect(app)[0] != app_rect[0], timeout=10,
               message="both windows minimised")
    sim.click(c["btn_SaveConfig"])
    assert wine.reg_query(APP_KEY, "CTIDWin") == f"{ctid_rect[0]}.{ctid_rect[1]}"
    assert wine.reg_query(APP_KEY, "OrvAppWin") == f"{app_rect[0]}.{app_rect[1]}"


def browser_texts(sim, browser):
    return [child.text for child in sim.children(browser)]


def choose_folder(sim, button, edit, title, folder, attempts=3):
    """Opens the folder browser with the button and confirms it once the path
    shown above its tree is `folder`. Wine's browser now and then leaves the
    start folder unselected; the cashier would cancel and try again, and a
    cancel must leave the box as it was."""
    for _ in range(attempts):
        sim.post(button, BM_CLICK)
        browser = wait_until(lambda: (lambda w: w if w and sim.visible(w) else 0)(sim.find("#32770", "")),
                             timeout=10, message="the folder browser")
        assert title in browser_texts(sim, browser)
        try:
            wait_until(lambda: folder in browser_texts(sim, browser), timeout=5,
                       message="the typed folder selected in the browser")
        except AssertionError:
            sim.post(browser, WM_COMMAND, IDCANCEL)
            wait_until(lambda: not sim.exists(browser), timeout=10, message="the browser closed")
            assert sim.text(edit) == folder
            continue
        sim.post(browser, WM_COMMAND, IDOK)
        return
    raise AssertionError(f"the browser never selected {folder!r}")


def test_folder_choice_fills_the_box_and_a_vanished_folder_still_saves_its_text(
        wine, sim, registry, folders, assistant):
    path, windows = folders.folder("底图")
    make_picture(path / "a.jpg", (16, 9), "#336699")
    make_picture(path / "b.png", (16, 9), "#996633")
    seed(registry, ExpCofig="16")
    assistant.start()
    assistant.wait_log("StartOK:", timeout=20)
    form = open_settings(assistant, sim)
    c = controls(sim, form)

    # The cashier types the folder, then confirms it in the browser, which
    # opens there.
    typed = windows.rstrip("\\")
    sim.settext(c["edt_bgPicPath"], typed)
    choose_folder(sim, c["btn_bgBrowse"], c["edt_bgPicPath"], "浏览到你希望用于桌面背景的图片文件夹:", typed)
    assistant.wait_log("bgPicCount=2", timeout=10)
    assert sim.text(c["edt_bgPicPath"]) == windows
    wait_until(lambda: sim.enabled(c["btn_picTest"]), timeout=5, message="the test button usable")

    # The folder goes before the save: the text is saved, the carousel is off.
    shutil.rmtree(path)
    sim.click(c["btn_SaveConfig"])
    assert wine.reg_query(APP_KEY, "bgWallpaperPath") == windows
    assert wine.reg_query(APP_KEY, "ExpCofig") == "0"
    assert not sim.checked(c["chk_DeskWallpaper"])


def test_long_and_odd_registry_values_come_back_unchanged_from_a_save(wine, sim, registry, assistant):
    long_chinese = "C:\\" + "网吧图片" * 74 + "\\"  # 300 characters
    huge = "D:\\" + "x" * 20000 + "\\"
    seed(registry, BgWallpaperPath=long_chinese, topWallpaperPath=huge)
    wine.reg_add(DESKTOP_KEY, "WallpaperStyle", 6)  # a number instead of text
    assistant.process = start_program(wine, assistant.folder)
    box = wait_until(lambda: sim.find("#32770", "注册表数据类型不匹配:String"), timeout=20,
                     message="the type-mismatch box")
    assert "WallpaperStyle Data type mismatch!" in [child.text for child in sim.children(box)]
    sim.post(box, WM_COMMAND, IDOK)
    assistant.wait_log("StartOK:", timeout=20)
    form = open_settings(assistant, sim)
    c = controls(sim, form)

    assert sim.cursel(c["cbb_style"]) == 2  # the default, stretch
    sim.click(c["btn_SaveConfig"])
    assert wine.reg_query(APP_KEY, "bgWallpaperPath") == long_chinese
    assert wine.reg_query(APP_KEY, "topWallpaperPath") == huge
    assert wine.reg_query(DESKTOP_KEY, "WallpaperStyle") == "2"
    assert assistant.process.poll() is None
