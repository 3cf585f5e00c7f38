"""Shows a newcomer the assistant at work: starts Wine, the companion
simulator and the real Tollimer.exe, opens a member-activation window and a
swipe error box as the billing console would, runs one wallpaper carousel
step from two picture folders, shows the blacklist panel, and prints what the
assistant does to them and what it writes to its day log; then a fake central
service announces a release and the assistant updates itself and restarts. It ends with the chain operator's
status page: tollimer-central over a seeded chain of 50 bars, its address
printed and the page's screenshot taken in headless Chromium.

Run by scripts/run-demo after the build. Uses the user's own X display when
one answers; otherwise a private Xvfb, and then saves screenshots. Exits with
1 and the reason when a step fails; Wine and Xvfb are always torn down.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (REPO_ROOT, SimError, CentralService, WineSession, copy_program,  # noqa: E402
                     seeded_central, start_program, start_sim, wait_until, win_build_dir)
from harness.browser import screenshot as browser_screenshot  # noqa: E402

MAIN_FORM_CLASS = "TOrv_Assistant"
MAIN_CASHIER = "Orv网络计费系统 v7-主收银台"
ACTIVATION_CLASS = "TFormActiveMem"
ACTIVATION_CAPTION = "会员激活"
HANDOVER_CLASS = "TFrmJiaoBan"
SWIPE_ERROR = "交班或设置期间不允许刷卡。请关闭交班窗口再试"
APP_KEY = r"HKCU\Software\Tollimer"
CTID_CAPTION = "网证CTID扫码上机"
CTID_SPOT = (1100, 300)  # where the cashier once put the CTID window: the customer's screen
WM_ENDSESSION = 0x0016
# The blacklist panel: its main-window command and its own texts.
WM_COMMAND = 0x0111
CMD_BLACKLIST = 111
# The settings window: the main window itself, shown by its menu command.
CMD_SETTINGS = 110
DEMO_BLACKLIST = ["# 本店黑名单", "11010119900307123X\t张三\t2024-01-02\t打架斗殴",
                  "440304198512310021 欧阳小明 2023/12/1 欠费逃单"]
DEMO_SERVICE_LINES = ["320102197001010012 #某   2022-05-05 盗窃财物",
                      "330106198001010013 #某某 2022-06-06 冒用证件"]
# Debian's ImageMagick itself: the `convert` first on PATH may be a stand-in.
CONVERT = "/usr/bin/convert-im6.q16"
FACE_CAPTION = "人脸核验"
FACE_ID = "44010619900101123X"


class DemoError(Exception):
    """A step of the demo did not happen; the message says which."""


def step(text):
    print(f"\n== {text}", flush=True)


def say(text):
    print(f"   {text}", flush=True)


def await_(predicate, timeout, what):
    """wait_until with the demo's own error: a step that did not happen."""
    try:
        return wait_until(predicate, timeout=timeout, interval=0.1, message=what)
    except AssertionError as error:
        raise DemoError(str(error)) from None


def scratch_folder():
    value = os.environ.get("TOLLIMER_E2E_DIR")
    return Path(value).resolve() if value else REPO_ROOT / "build" / "demo"


def working_display():
    """The user's own X display when DISPLAY names one that answers, else None.

    Wine runs with a home folder of its own, so a display that needs the
    user's ~/.Xauthority gets it through XAUTHORITY."""
    display = os.environ.get("DISPLAY")
    if not display or shutil.which("xdpyinfo") is None:
        return None
    try:
        answered = subprocess.run(["xdpyinfo"], stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=10).returncode == 0
    except subprocess.TimeoutExpired:
        answered = False
    if not answered:
        return None
    cookie = Path.home() / ".Xauthority"
    if "XAUTHORITY" not in os.environ and cookie.exists():
        os.environ["XAUTHORITY"] = str(cookie)
    return display


class DayLog:
    """The assistant's day log, LOGS\\YYYY-MM-DD.TXT in GBK with CRLF lines."""

    def __init__(self, folder):
        self.folder = folder
        self.shown = 0

    def lines(self):
        lines = []
        for path in sorted(self.folder.glob("*.TXT")):
            lines += path.read_bytes().decode("gbk", errors="replace").split("\r\n")[:-1]
        return lines

    def having(self, needle):
        return [line for line in self.lines() if needle in line]

    def print_new(self):
        """Prints the lines written since the last call."""
        lines = self.lines()
        for line in lines[self.shown:]:
            say(line)
        self.shown = len(lines)


class Demo:
    def __init__(self, scratch, display):
        self.scratch = scratch
        self.session = WineSession(scratch, display=display)
        self.on_xvfb = display is None
        self.wine = self.sim = self.process = self.billing = self.central = self.chain = None
        self.started = time.monotonic()

    def screenshot(self, name, what):
        """On Xvfb nobody sees the windows: keep a picture of them."""
        if not self.on_xvfb:
            return
        path = self.scratch / f"{name}.png"
        try:
            self.wine.screenshot(path)
            say(f"screenshot ({what}): {path}")
        except (OSError, subprocess.SubprocessError) as error:
            say(f"screenshot ({what}) failed: {error}")

    def screenshot_before_close(self, name, what):
        """A picture of windows the assistant closes within a second: kept
        only when nothing had been closed yet once it was taken."""
        self.screenshot(name, what)
        path = self.scratch / f"{name}.png"
        if self.on_xvfb and self.sim.events("close") and path.exists():
            path.unlink()
            say("(removed again: the assistant was quicker than the screenshot)")

    def elapsed(self, since):
        return f"{time.monotonic() - since:5.1f} s"

    def run(self):
        for old in self.scratch.glob("*.png"):  # pictures of an earlier run
            old.unlink()
        step("Starting Wine (a fresh prefix with code page 936)")
        self.wine = self.session.start()
        where = "a private virtual screen (Xvfb)" if self.on_xvfb else "your desktop"
        say(f"display {self.wine.display}: {where}; scratch folder {self.scratch}")

        step("Starting the companion simulator (it plays the billing console's windows)")
        self.sim = start_sim(self.wine)
        say(f"tollsim.exe listens on 127.0.0.1:{self.sim.port}")

        self.billing_console_installation()
        self.carousel_folders()
        self.customer_screen_settings()
        self.central_service()
        self.start_assistant()
        self.tray_menu()
        self.countdown()
        self.swipe_error_box()
        self.face_verification()
        self.ctid_window()
        self.blacklist_panel()
        self.blacklist_alert()
        self.carousel_step()
        self.settings_window()

        step("What the assistant wrote to its log meanwhile")
        self.log.print_new()

        self.stop_assistant()
        self.self_update()
        self.screenshot("end", "everything closed")
        self.status_page()
        step(f"Done in {self.elapsed(self.started).strip()}; tearing down Wine"
             + (" and Xvfb" if self.on_xvfb else ""))

    def billing_console_installation(self):
        step("Laying out a billing console's installation and starting a fake billing server")
        folder = self.wine.prefix / "drive_c" / "orv"
        folder.mkdir(exist_ok=True)
        # A bar id of fewer than 6 characters makes the assistant ask the server.
        (folder / "OrvBar.ini").write_bytes("[Bar]\r\nBarID=12\r\n".encode("gbk"))
        (folder / "OrvHost.ini").write_bytes("[Server]\r\nIP=127.0.0.1\r\n".encode("gbk"))
        self.wine.reg_add(r"HKCU\Software\Orv\Console", "Path", "C:\\orv\\")
        self.billing = subprocess.Popen(
            [sys.executable, str(Path(__file__).parent / "fakes" / "billing_server.py"), "--mode", "good",
             "--number", "880123", "--client-name", "星空网吧", "--greet"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        line = self.billing.stderr.readline().decode().strip()
        if line.startswith("listening"):
            say(f"C:\\orv\\ holds OrvBar.ini and OrvHost.ini; the billing server is {line[10:]}")
        else:
            say(f"the fake billing server did not start ({line or 'port 2985 busy?'}); "
                "the assistant will log that it could not reach it")

    def carousel_folders(self):
        step("Laying out two picture folders for the wallpaper carousel (every 10 s)")
        root = self.wine.prefix / "drive_c" / "网吧图片"
        shutil.rmtree(root, ignore_errors=True)
        for name, size, colour in (("背景", "1920x1080", "gradient:#204080-#80C0E0"),
                                   ("价格表", "480x320", "xc:#F0C020")):
            (root / name).mkdir(parents=True)
            subprocess.run([CONVERT, "-size", size, colour, str(root / name / f"{name}.jpg")],
                           check=True, capture_output=True, timeout=60)
        app, desktop = r"HKCU\Software\Tollimer", r"HKCU\Control Panel\Desktop"
        self.wine.reg_add(app, "BgWallpaperPath", "C:\\网吧图片\\背景\\")
        self.wine.reg_add(app, "topWallpaperPath", "C:\\网吧图片\\价格表\\")
        self.wine.reg_add(desktop, "WallpaperPos", "2")  # the upper picture at the right
        self.wine.reg_add(desktop, "Interval", 10)
        say("C:\\网吧图片\\背景\\ (a 1920 x 1080 background), C:\\网吧图片\\价格表\\ (a price list), "
            "upper picture at the right")

    def carousel_step(self):
        step("The wallpaper carousel: a step every 10 watch cycles composes Wallpaper.bmp and sets it")
        line = await_(lambda: self.assistant_gone() or self.log.having(" Mode="), 15, "a carousel step")
        say(f"log: {line[0]}")
        # Shown for this session only (Wine's volatile copy): the profile keeps the cafe's own.
        code, out = self.wine.call(["reg", "query", r"HKCU\Software\Wine\Temporary System Parameters\Control Panel\Desktop",
                                    "/v", "Wallpaper"])
        say("wallpaper now: " + next((l.split("REG_SZ")[-1].strip() for l in out.splitlines() if "REG_SZ" in l),
                                     "(not set)"))
        composed = self.scratch / "program" / "Wallpaper.bmp"
        if composed.exists():
            picture = self.scratch / "wallpaper.png"
            subprocess.run([CONVERT, str(composed), str(picture)], capture_output=True, timeout=60)
            say(f"the composed wallpaper as a picture: {picture}")
    def central_service(self):
        step("Starting a fake central service (runtime parameters and releases)")
        self.central = CentralService(self.scratch / "central")
        # Two sealed blacklist lines (DES with key row 3, as the real service seals them).
        self.central.blacklist(DEMO_SERVICE_LINES)
        say("127.0.0.1:18080 answers the parameter exchange (the program is current) "
            "and serves two blacklist lines")

    def self_update(self):
        step("The central service announces a release: the assistant downloads it, swaps it in "
             "and restarts into it")
        release = win_build_dir() / "TollimerNext.exe"
        if not release.exists():
            say(f"{release} is not built; skipped")
            return
        exe = self.folder / "Tollimer.exe"
        self.central.answer("interval=60\r\ncrclist=%08X\r\n" % zlib.crc32(release.read_bytes()))
        self.central.release("%08X" % zlib.crc32(exe.read_bytes()), body_file=str(release))
        self.process = start_program(self.wine, self.folder)
        box = await_(lambda: self.assistant_gone() or self.sim.find("#32770", "Tollimer-自动更新成功"), 30,
                     "the update message box")
        say("the message box \"Tollimer-自动更新成功\" is shown; it closes by itself after 3 s")
        self.screenshot("update", "the update message box")
        await_(lambda: not self.sim.exists(box), 15, "the message box closing by itself")
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise DemoError("the old assistant did not end after the update") from None
        await_(lambda: self.log.having(" Startup:ver=1.0.0.2,"), 30,
               "the new release's start-up line in the log")
        await_(lambda: self.log.having(" StartOK:"), 30, "the new release's start-up summary")
        self.log.print_new()
        form = await_(lambda: self.sim.find(MAIN_FORM_CLASS, ""), 10, "the new release's main window")
        say(f"the running release's caption: {self.sim.text(form)}")
        self.sim.post(form, WM_ENDSESSION, 1, 0)
        await_(lambda: not self.sim.exists(form), 10, "the new release ending")

    def customer_screen_settings(self):
        step("Settings the cashier saved once: the customer's screen on, the CTID window's place")
        # Feature bits: 1 extended screen, 2 CTID window, 8 face-comparison
        # window, 16 the wallpaper carousel.
        self.wine.reg_add(APP_KEY, "ExpCofig", "27", "REG_SZ")
        self.wine.reg_add(APP_KEY, "CTIDWin", f"{CTID_SPOT[0]}.{CTID_SPOT[1]}", "REG_SZ")
        say(f"{APP_KEY}: ExpCofig=27, CTIDWin={CTID_SPOT[0]}.{CTID_SPOT[1]}; no FaceVeifyWin saved, "
            "so the face-comparison window goes to 1024, 150")

    def start_assistant(self):
        step("Starting the assistant, Tollimer.exe, from a program folder of its own")
        folder = self.folder = self.scratch / "program"
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir()
        if not copy_program(folder):
            raise DemoError(f"Tollimer.exe is not in {win_build_dir()}; run scripts/build")
        # The log is written only while the "debug" marker exists at start-up,
        # and only into a LOGS folder that is already there.
        (folder / "debug").touch()
        (folder / "LOGS").mkdir()
        # The cafe's own blacklist, loaded at the first tick with the service's lines.
        (folder / "blacklist.txt").write_bytes("\r\n".join(DEMO_BLACKLIST).encode("gbk") + b"\r\n")
        self.log = DayLog(folder / "LOGS")
        self.process = start_program(self.wine, folder)
        say(f"{folder / 'Tollimer.exe'} (process {self.process.pid})")
        form = await_(lambda: self.assistant_gone() or self.sim.find(MAIN_FORM_CLASS, ""), 20,
                      f"the assistant's main window {MAIN_FORM_CLASS}")
        say(f"its hidden main window {MAIN_FORM_CLASS} is up (handle {form})")
        await_(lambda: self.assistant_gone() or self.log.having(" StartOK:"), 20,
               "the start-up line StartOK: in the log")

        step("Start-up lines of its day log")
        self.log.print_new()

    def tray_menu(self):
        step("The assistant's icon in the notification area: a right click opens its menu")
        tray = await_(lambda: self.assistant_gone() or self.sim.find("TTrayIcon", ""), 10, "the icon's window")
        self.sim.post(tray, 0x0400 + 123, 0, 0x0204)  # the icon's callback: right button pressed
        menu = await_(lambda: self.assistant_gone() or self.sim.find("#32768", ""), 10, "the icon's menu")
        await_(lambda: self.assistant_gone() or self.sim.visible(menu), 10, "the menu shown")
        say("关于 / Tollimer配置 / 黑名单监控 / 点数不足自动确定 / 倒计时15秒 8秒 3秒 / 开机自动运行 / 退出/重启")
        self.screenshot("tray-menu", "the icon and its menu")
        # A click beside the menu closes it, as on the cashier's screen.
        subprocess.run(["xdotool", "mousemove", "1900", "1060", "click", "1"], env=self.wine.env,
                       capture_output=True, timeout=20)

        def closed():
            try:
                return not self.sim.visible(menu)
            except SimError:  # a closed menu's window is gone
                return True
        await_(lambda: self.assistant_gone() or closed(), 10, "the menu closed")

    def assistant_gone(self):
        code = self.process.poll()
        if code is not None:
            raise DemoError(f"the assistant ended unexpectedly with exit code {code}; "
                            f"see {self.wine.logs}")
        return False

    def countdown(self):
        step(f"Opening the billing console's main cashier window \"{MAIN_CASHIER}\"")
        self.sim.window("TFrmMain", MAIN_CASHIER, x=40, y=40, w=900, h=600, fill="D8E4F0")
        step(f"Opening a member-activation window \"{ACTIVATION_CAPTION}\"; "
             "the assistant counts it down once a second and closes it")
        activation = self.sim.window(ACTIVATION_CLASS, ACTIVATION_CAPTION, x=300, y=200, w=420, h=260,
                                     fill="FFF4D0")
        opened = time.monotonic()
        shown = 0
        while True:
            # The simulator records every caption the assistant sets; each is
            # printed as it arrives, so the lines come at the assistant's pace.
            await_(lambda: self.assistant_gone() or len(self.sim.events("settext", activation)) > shown
                   or self.sim.events("close", activation), 5, "the next caption of the activation window")
            captions = [e.detail for e in self.sim.events("settext", activation)]
            for caption in captions[shown:]:
                say(f"[{self.elapsed(opened)}] caption: {caption}")
            if shown == 0 and captions:
                self.screenshot("countdown", "the activation window counting down")
            shown = len(captions)
            if self.sim.events("close", activation):
                break
        say(f"[{self.elapsed(opened)}] the assistant closed the activation window")
        await_(lambda: not self.sim.exists(activation), 5, "the activation window gone")

    def swipe_error_box(self):
        step("Opening a handover window and the swipe error box "
             f"\"{SWIPE_ERROR}\"; the assistant closes both")
        self.sim.clear()
        handover = self.sim.window(HANDOVER_CLASS, "交班", x=120, y=120, w=500, h=360)
        box = self.sim.dialog(MAIN_CASHIER, x=560, y=380, w=420, h=160)
        self.sim.child(box, "Static", SWIPE_ERROR, x=20, y=40, w=380, h=40)
        opened = time.monotonic()
        self.screenshot_before_close("swipe-error", "the handover window and the error box")
        names = {handover: f"handover window {HANDOVER_CLASS} ({handover})",
                 box: f"swipe error box #32770 ({box})"}
        await_(lambda: self.assistant_gone() or self.sim.events("close", box), 10,
               "the assistant to close the swipe error box")
        for event in self.sim.events("close"):
            if event.hwnd in names:
                say(f"closed: {names[event.hwnd]}")
        say(f"[{self.elapsed(opened)}] both closed")
        await_(lambda: not self.sim.exists(box) and not self.sim.exists(handover), 5,
               "the handover window and the error box gone")

    def blacklist_panel(self):
        step("Opening the blacklist panel (the menu command TfrmBlackList)")
        say("loaded at the first tick: " + ", ".join(self.log.having("Load BlackList=")))
        self.sim.post(self.sim.find(MAIN_FORM_CLASS, ""), WM_COMMAND, CMD_BLACKLIST, 0)
        panel = await_(lambda: self.sim.find("TfrmBlackList", ""), 10, "the blacklist panel")
        await_(lambda: self.sim.visible(panel), 10, "the blacklist panel shown")
        say("its status line: " + self.sim.text(self.sim.findchild(panel, "Static")))
        say("the list shows digits 13 to 18 of every ID as xxxxxx")
        self.screenshot("blacklist-panel", "the blacklist panel")
        self.sim.post(panel, 0x0010, 0, 0)  # WM_CLOSE hides it
    def ctid_window(self):
        step(f"Opening the audit client's CTID window \"{CTID_CAPTION}\" with an expired QR code; "
             "the assistant moves it to the customer's screen and refreshes the code")
        self.sim.clear()
        window = self.sim.window("TFormCTID", CTID_CAPTION, x=60, y=420, w=360, h=420, fill="E8F4E8")
        self.sim.child(window, "Button", "关闭", x=20, y=370, w=100, h=28)
        refresh = self.sim.child(window, "Button", "刷新", x=240, y=370, w=100, h=28)
        host = self.sim.child(window, "Shell Embedding", x=20, y=20, w=320, h=330)
        view = self.sim.child(host, "Shell DocObject View", x=0, y=0, w=320, h=330)
        browser = self.sim.child(view, "Internet Explorer_Server", x=0, y=0, w=320, h=330, fill="FFFFFF")
        self.sim.page(browser, ["<img src=qr.png>", "<p>二维码已过期</p>"])
        opened = time.monotonic()
        await_(lambda: self.assistant_gone() or self.sim.rect(window)[:2] == CTID_SPOT, 10,
               f"the CTID window at {CTID_SPOT}")
        say(f"[{self.elapsed(opened)}] moved to {CTID_SPOT[0]}, {CTID_SPOT[1]}, above the other windows")
        await_(lambda: self.assistant_gone() or self.sim.events("click", refresh), 5,
               "the click on the refresh button")
        say(f"[{self.elapsed(opened)}] no \"certToken\" on its page: refresh clicked; "
            f"the button now reads \"{self.sim.text(refresh)}\"")
        self.screenshot("ctid", "the CTID window on the customer's screen")

        if shutil.which("xdotool"):
            step("Pressing F11, the cashier's refresh key, anywhere")
            self.sim.clear()
            subprocess.run(["xdotool", "key", "F11"], env=self.wine.env, timeout=10)
            await_(lambda: self.assistant_gone() or self.sim.events("click", refresh), 5,
                   "the F11 click on the refresh button")
            say("refresh clicked again")
        self.sim.destroy(window)

    # The customer's screen: the face-verification dialog and TfrmFaceCheck.

    def face_verification(self):
        step(f"Opening the audit client's face-verification dialog \"{FACE_CAPTION}\" with an ID number "
             "and a moving camera picture; the assistant presses its button and shows the customer "
             "the ID and the picture")
        self.sim.clear()
        dialog = self.sim.dialog(FACE_CAPTION, x=100, y=420, w=420, h=420)
        self.sim.child(dialog, "Static", "请正视摄像头", x=10, y=8, w=200, h=20)
        self.sim.child(dialog, "Static", "", x=10, y=32, w=320, h=240, moving=True)
        self.sim.child(dialog, "Edit", FACE_ID, x=10, y=285, w=220, h=24)
        button = self.sim.child(dialog, "Button", FACE_CAPTION, x=240, y=330, w=120, h=32, onclick="disable")
        opened = time.monotonic()
        await_(lambda: self.assistant_gone() or self.sim.events("click", button), 10,
               "the assistant to press the face button")
        say(f"[{self.elapsed(opened)}] the face button was pressed (BM_CLICK)")
        form = await_(lambda: self.assistant_gone() or self.face_form_shown(), 10, "TfrmFaceCheck shown")
        left, top, _, _ = self.sim.rect(form)
        say(f"[{self.elapsed(opened)}] TfrmFaceCheck shown at {left}, {top}, topmost, "
            f"ID number {self.sim.text(self.sim.findchild(form, 'Edit', ''))}")
        time.sleep(1.5)  # a few mirrored pictures
        self.screenshot("face-window", "TfrmFaceCheck mirroring the camera picture")
        self.sim.close(dialog)
        await_(lambda: self.assistant_gone() or not self.sim.visible(form), 5, "TfrmFaceCheck hidden")
        say(f"[{self.elapsed(opened)}] the dialog closed; TfrmFaceCheck hidden on the next tick")

    def blacklist_alert(self):
        listed = DEMO_BLACKLIST[1].split("\t")[0]
        step(f"A customer on the blacklist swipes the ID {listed}: the assistant marks the dialog, "
             "sounds the alert, announces and reports the hit, and presses nothing")
        self.sim.clear()
        dialog = self.sim.dialog(FACE_CAPTION, x=100, y=420, w=420, h=420)
        self.sim.child(dialog, "Static", "", x=10, y=32, w=320, h=240, moving=True)
        self.sim.child(dialog, "Edit", listed, x=10, y=285, w=220, h=24)
        button = self.sim.child(dialog, "Button", FACE_CAPTION, x=240, y=330, w=120, h=32)
        hit = await_(lambda: self.assistant_gone() or self.log.having(" FindBlackList:"), 10, "the alert")
        say(f"log: {hit[-1]}")
        await_(lambda: self.assistant_gone() or self.sim.text(button) == "可疑名单", 5, "the button marked")
        say(f"the button now reads \"{self.sim.text(button)}\"; the dialog's caption is the entry: "
            f"\"{self.sim.text(dialog)}\"")
        # In front of the console window, so the picture shows the marks.
        self.sim.move(dialog, 100, 420, topmost=True)
        self.screenshot("blacklist-alert", "the marked face-verification dialog")
        say("pressed: " + ("nothing" if not self.sim.events("click", button) else "the button (wrong!)"))
        self.sim.close(dialog)

    def face_form_shown(self):
        form = self.sim.find("TfrmFaceCheck", "")
        return form if form and self.sim.visible(form) else 0

    def settings_window(self):
        step("Opening the settings window (the menu command Tollimer配置)")
        form = self.sim.find(MAIN_FORM_CLASS, "")
        self.sim.post(form, WM_COMMAND, CMD_SETTINGS, 0)
        await_(lambda: self.sim.visible(form), 10, "the settings window shown")
        children = self.sim.children(form)
        for child in (children[0], children[2]):  # the two check boxes on the group boxes' edges
            say(f"{child.text}: {'checked' if self.sim.checked(child.hwnd) else 'not checked'}")
        self.screenshot("settings-window", "the settings window")
        self.sim.post(form, 0x0010, 0, 0)  # WM_CLOSE hides it

    def status_page(self):
        step("The chain operator's status page: tollimer-central over a seeded chain of 50 bars")
        data = self.scratch / "chain"
        shutil.rmtree(data, ignore_errors=True)
        self.chain = seeded_central(data)
        say(self.chain.seeded)
        url = f"http://127.0.0.1:{self.chain.status_port}/"
        path = browser_screenshot(url, self.scratch / "browser", self.scratch / "status-page.png")
        say(f"status page: {url} (served until the demo ends)")
        say(f"screenshot (the status page in headless Chromium): {path}")

    def stop_assistant(self):
        step("Ending the assistant as a Windows shutdown does (WM_ENDSESSION)")
        form = self.sim.find(MAIN_FORM_CLASS, "")
        if not form:
            raise DemoError(f"the assistant's main window {MAIN_FORM_CLASS} is gone")
        self.sim.post(form, WM_ENDSESSION, 1, 0)
        try:
            code = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise DemoError("the assistant did not end within 10 s of WM_ENDSESSION") from None
        say(f"exit code {code}")
        running = await_(lambda: self.log.having(" RunTime="), 5, "the running-time line RunTime= in the log")
        say(f"its last log line: {running[-1]}")
        if code != 0:
            raise DemoError(f"the assistant ended with exit code {code}")

    def tear_down(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        if self.sim is not None:
            self.sim.stop()
        if self.billing is not None:
            self.billing.terminate()
            self.billing.wait(timeout=10)
        if self.central is not None:
            self.central.stop()
        if self.chain is not None:
            self.chain.stop()
        self.session.stop()


def main():
    # Ctrl-C and a plain kill both end up in the teardown below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    scratch = scratch_folder()
    demo = Demo(scratch, working_display())
    try:
        demo.run()
        return 0
    except (KeyboardInterrupt, SystemExit):
        print("\ndemo interrupted", file=sys.stderr)
        return 130
    except Exception as error:
        print(f"\ndemo failed: {type(error).__name__}: {error}", file=sys.stderr)
        if demo.wine is not None:
            print(f"Wine's and the programs' output: {demo.wine.logs}", file=sys.stderr)
        return 1
    finally:
        try:
            demo.tear_down()
        except Exception as error:  # the exit code above stays; say what was left
            print(f"teardown: {type(error).__name__}: {error}", file=sys.stderr)


if __name__ == "__main__":
    sys.exit(main())
