"""The notification-area icon and its menu, the settings window shown and
hidden, exit and restart, autorun and the desktop shortcut, seen from outside
as a cashier would: menu items are chosen with the keyboard, as on a real
screen."""

import os
import stat
import subprocess

import pytest

from assistant import MAIN_CASHIER, Assistant, assistant  # noqa: F401
from harness import MAIN_CAPTION, wait_until
from test_bar_identity import CONSOLE_KEY, installation  # noqa: F401

TRAY_CLASS = "TTrayIcon"
TRAY_CALLBACK = 0x0400 + 123  # WM_USER + 123
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_ENDSESSION = 0x0016
WM_LBUTTONDBLCLK = 0x0203
WM_SYSCOMMAND, SC_MINIMIZE = 0x0112, 0xF020
WM_RBUTTONDOWN = 0x0204
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
IDYES, IDNO = 6, 7
MENU_CLASS = "#32768"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
ICON_BLUE = (20, 110, 200)  # the icon's background


def visible_window(sim, cls, caption=""):
    hwnd = sim.find(cls, caption)
    return hwnd if hwnd and sim.visible(hwnd) else 0


# The menu's items in order (separators left out), by what a test calls them.
MENU_ITEMS = ["about", "settings", "blacklist", "points", "countdown15", "countdown8", "countdown3",
              "autorun", "exit"]


def item_rows(wine, menu_rect):
    """The screen rows of the menu's items, read off the screen: runs of rows
    holding dark text pixels; separators are single grey lines, not text."""
    left, top, right, bottom = menu_rect
    screen = wine.grab_screen()
    rows = [y for y in range(top + 2, bottom - 2)
            if sum(1 for x in range(left + 10, right - 10) if max(screen.pixel(x, y)) < 100) >= 2]
    runs = []
    for y in rows:
        if runs and y - runs[-1][-1] <= 2:
            runs[-1].append(y)
        else:
            runs.append([y])
    return [(run[0] + run[-1]) // 2 for run in runs if len(run) >= 4]


def choose(wine, sim, item):
    """Opens the icon's menu with the right button and clicks an item, as the
    cashier does. (Keys would go to whichever window holds the X focus, not
    to the menu of a hidden icon window.)"""
    tray = wait_until(lambda: sim.find(TRAY_CLASS, ""), timeout=10, message="the icon's window")
    sim.post(tray, TRAY_CALLBACK, 0, WM_RBUTTONDOWN)
    menu = wait_until(lambda: visible_window(sim, MENU_CLASS), timeout=10, message="the icon's menu")
    rect = sim.rect(menu)
    rows = wait_until(lambda: (lambda r: r if len(r) == len(MENU_ITEMS) else None)(item_rows(wine, rect)),
                      timeout=10, message="the menu's items drawn")
    x = (rect[0] + rect[2]) // 2
    subprocess.run(["xdotool", "mousemove", str(x), str(rows[MENU_ITEMS.index(item)]), "click", "1"],
                   env=wine.env, check=True, timeout=30)
    wait_until(lambda: not visible_window(sim, MENU_CLASS), timeout=10, message="the menu closed")


def wait_dialog(sim, caption):
    return wait_until(lambda: visible_window(sim, "#32770", caption), timeout=10,
                      message=f"the box {caption!r}")


def icon_pixels(wine):
    """How many pixels of the screen have the icon's blue, a colour nothing
    else on the test screen has."""
    screen = wine.grab_screen()
    return sum(1 for y in range(0, screen.height, 2) for x in range(0, screen.width, 2)
               if screen.pixel(x, y) == ICON_BLUE)


def exe_path(assistant):
    return "Z:" + str(assistant.folder / "Tollimer.exe").replace("/", "\\")


def test_icon_shows_in_the_tray_and_its_menu_reaches_every_command(wine, sim, assistant):
    assistant.start()
    tray = wait_until(lambda: sim.find(TRAY_CLASS, ""), timeout=10, message="the icon's window")
    wait_until(lambda: icon_pixels(wine) > 50, timeout=10, message="the icon drawn in the shell's tray")

    # Settings by its mnemonic; a second choice only brings it to the front.
    form = assistant.main_form()
    assert not sim.visible(form)
    choose(wine, sim, "settings")
    wait_until(lambda: sim.visible(form), timeout=10, message="the settings window shown")
    place = sim.rect(form)
    choose(wine, sim, "settings")
    assert sim.visible(form) and sim.rect(form) == place

    # Its close box hides it; the icon's double-click brings it back in place.
    sim.post(form, WM_CLOSE)
    wait_until(lambda: not sim.visible(form), timeout=10, message="the settings window hidden")
    assert assistant.process.poll() is None and sim.exists(tray)
    sim.post(tray, TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK)
    wait_until(lambda: sim.visible(form), timeout=10, message="the settings window back")
    assert sim.rect(form) == place

    # Minimised, it comes back restored in place too.
    sim.post(form, WM_SYSCOMMAND, SC_MINIMIZE)
    wait_until(lambda: sim.rect(form) != place, timeout=10, message="the settings window minimised")
    sim.post(tray, TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK)
    wait_until(lambda: sim.rect(form) == place, timeout=10, message="the settings window restored")

    # The 3-second countdown.
    choose(wine, sim, "countdown3")
    sim.window("TFrmMain", MAIN_CASHIER)
    activation = sim.window("TFormActiveMem", "")
    sim.wait_event("settext", activation, timeout=10)
    assert sim.text(activation) == "会员激活 ( 3 秒后关闭)"
    wait_until(lambda: not sim.exists(activation), timeout=10, message="closed after 3 seconds")

    # The 8-second countdown counts a new window from 8 and closes it at the
    # end; the 15-second one starts the next window at 15.
    choose(wine, sim, "countdown8")
    activation = sim.window("TFormActiveMem", "")
    sim.wait_event("settext", activation, timeout=10)
    assert sim.text(activation) == "会员激活 ( 8 秒后关闭)"
    wait_until(lambda: not sim.exists(activation), timeout=15, message="closed after 8 seconds")
    choose(wine, sim, "countdown15")
    activation = sim.window("TFormActiveMem", "")
    sim.wait_event("settext", activation, timeout=10)
    assert sim.text(activation) == "会员激活 ( 15 秒后关闭)"
    sim.destroy(activation)

    # The blacklist panel.
    panel = sim.find("TfrmBlackList", "")
    choose(wine, sim, "blacklist")
    wait_until(lambda: sim.visible(panel), timeout=10, message="the blacklist panel shown")
    sim.post(panel, WM_CLOSE)

    # The points reminder asks first.
    choose(wine, sim, "points")
    box = wait_dialog(sim, "开启确认")
    sim.post(box, WM_COMMAND, IDNO, 0)
    wait_until(lambda: not sim.exists(box), timeout=10, message="the question answered")
    assert assistant.stop() == 0
    wait_until(lambda: icon_pixels(wine) == 0, timeout=10, message="the icon removed at the end")


def test_the_program_ends_cleanly_while_the_icons_menu_is_open(wine, sim, assistant):
    # The menu's own message loop carries out the close: the icon and its
    # window go while the menu call has not yet returned.
    assistant.start()
    tray = wait_until(lambda: sim.find(TRAY_CLASS, ""), timeout=10, message="the icon's window")
    sim.post(tray, TRAY_CALLBACK, 0, WM_RBUTTONDOWN)
    wait_until(lambda: visible_window(sim, MENU_CLASS), timeout=10, message="the icon's menu")
    assert assistant.stop() == 0
    assert len(assistant.log_texts("RunTime=")) == 1


def test_about_opens_the_service_page_in_the_browser(wine, sim, assistant, tmp_path):
    # Wine hands URLs to the first program of its browser list: a recorder.
    opened = tmp_path / "opened.txt"
    browser = tmp_path / "browser.sh"
    browser.write_text(f'#!/bin/sh\necho "$@" >> {opened}\n')
    browser.chmod(browser.stat().st_mode | stat.S_IEXEC)
    wine.reg_add(r"HKCU\Software\Wine\WineBrowser", "Browsers", str(browser))
    try:
        assistant.start()
        choose(wine, sim, "about")
        # The shell creates the file before it writes the line: wait for the line.
        wait_until(lambda: opened.exists() and opened.read_text().endswith("\n"),
                   timeout=20, message="the browser started")
        assert opened.read_text().split() == ["http://127.0.0.1:18080/tollimer/about.html"]
    finally:
        wine.reg_delete(r"HKCU\Software\Wine\WineBrowser")
    assert assistant.stop() == 0


@pytest.fixture
def run_key(wine):
    yield
    wine.reg_delete(RUN_KEY, "Tollimer")


def test_autorun_on_off_and_moved(wine, sim, assistant, run_key):
    path = exe_path(assistant)
    # Switched on for this executable, stored in other letters: shown on, so
    # the click asks to switch off; No keeps it.
    wine.reg_add(RUN_KEY, "Tollimer", path.upper())
    assistant.start()
    choose(wine, sim, "autorun")
    box = wait_dialog(sim, "取消启动确认")
    sim.post(box, WM_COMMAND, IDNO, 0)
    wait_until(lambda: not sim.exists(box), timeout=10, message="the question answered")
    assert wine.reg_query(RUN_KEY, "Tollimer") == path.upper()

    # Yes: the entry stays, behind ";".
    choose(wine, sim, "autorun")
    box = wait_dialog(sim, "取消启动确认")
    sim.post(box, WM_COMMAND, IDYES, 0)
    wait_until(lambda: wine.reg_query(RUN_KEY, "Tollimer") == ";" + path, timeout=10,
               message="autorun switched off")

    # Off now: the next click switches on without asking.
    choose(wine, sim, "autorun")
    wait_until(lambda: wine.reg_query(RUN_KEY, "Tollimer") == path, timeout=10,
               message="autorun switched on")
    assert not visible_window(sim, "#32770", "取消启动确认")
    assert assistant.stop() == 0


def test_autorun_of_a_moved_executable_is_off_and_switching_on_writes_the_new_path(
        wine, sim, assistant, run_key):
    wine.reg_add(RUN_KEY, "Tollimer", r"D:\old place\Tollimer.exe")
    assistant.start()
    choose(wine, sim, "autorun")
    wait_until(lambda: wine.reg_query(RUN_KEY, "Tollimer") == exe_path(assistant), timeout=10,
               message="autorun switched on")
    assert assistant.stop() == 0


def test_exit_dialog_close_box_does_nothing_and_enter_exits(wine, sim, assistant):
    assistant.start()
    choose(wine, sim, "exit")
    box = wait_dialog(sim, "操作确认")
    assert [c.text for c in sim.children(box) if c.cls == "Button"] == \
        [" 退出助手(&X) ", " 重启助手(&R) "]
    sim.post(box, WM_SYSCOMMAND, SC_CLOSE, 0)
    wait_until(lambda: not sim.exists(box), timeout=10, message="the box closed")
    assert assistant.process.poll() is None

    choose(wine, sim, "exit")
    wait_dialog(sim, "操作确认")
    wine.keys("Return")
    assert assistant.process.wait(timeout=15) == 0
    assert assistant.wait_log("RunTime=")


def test_escape_restarts_into_a_new_instance(wine, sim, assistant):
    assistant.start()
    first_form = assistant.main_form()
    choose(wine, sim, "exit")
    wait_dialog(sim, "操作确认")
    wine.keys("Escape")
    assert assistant.process.wait(timeout=15) == 0
    # The new instance is not a child of the test: find it by its windows.
    new_form = wait_until(lambda: (lambda f: f if f and f != first_form else 0)(assistant.main_form()),
                          timeout=20, message="a new instance")
    try:
        wait_until(lambda: sim.find("", MAIN_CAPTION), timeout=10, message="its marker window")
        wait_until(lambda: len(assistant.log_texts("Startup:")) == 2, timeout=20,
                   message="the new instance's start-up line")
    finally:
        sim.post(new_form, WM_ENDSESSION, 1, 0)
        wait_until(lambda: not sim.exists(new_form), timeout=15, message="the new instance ended")


def desktop_links(wine):
    return list((wine.prefix / "drive_c" / "users").glob("*/Desktop/Tollimer.lnk"))


def remove_desktop_links(wine):
    for link in desktop_links(wine):
        if link.is_dir():
            link.rmdir()
        else:
            link.unlink()


@pytest.fixture
def clean_desktop(wine):
    """No Tollimer.lnk on the desktop: any start with a known bar makes one."""
    remove_desktop_links(wine)
    yield
    remove_desktop_links(wine)


@pytest.fixture
def known_bar(wine, installation, clean_desktop):  # noqa: F811
    orv = installation()
    orv.ini("OrvBar.ini", "Bar", BarID="7654321", BarName="@星空网吧")
    wine.reg_add(CONSOLE_KEY, "Path", orv.windows_path)


def test_shortcut_made_once_the_bar_is_known_and_never_replaced(wine, sim, assistant, known_bar):
    assistant.start()
    assistant.wait_log("StartOK:", timeout=30)
    [link] = wait_until(lambda: desktop_links(wine), timeout=10, message="Tollimer.lnk on the desktop")
    data = link.read_bytes()
    assert data[:4] == b"\x4c\x00\x00\x00"  # a shell link
    assert "网吧收银".encode("gbk") in data or "网吧收银".encode("utf-16-le") in data
    assert assistant.stop() == 0

    # Present: left as it is, whatever it holds; a directory of that name too.
    link.write_bytes(b"mine")
    second = Assistant(wine, sim, assistant.folder).start()
    second.wait_log("StartOK:", timeout=30)
    assert link.read_bytes() == b"mine"
    assert second.stop() == 0
    link.unlink()
    link.mkdir()
    third = Assistant(wine, sim, assistant.folder).start()
    third.wait_log("StartOK:", timeout=30)
    assert link.is_dir() and third.process.poll() is None
    assert third.stop() == 0


def test_no_shortcut_without_a_known_bar(wine, sim, assistant, clean_desktop):
    assistant.start()
    assistant.wait_log("StartOK:", timeout=30)
    assert desktop_links(wine) == []
    assert assistant.stop() == 0
