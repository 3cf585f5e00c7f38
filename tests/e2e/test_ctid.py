"""The audit client's CTID window: moved onto the customer's screen once per
appearance, its QR code checked for a ticket and refreshed when it has none,
F11 as a refresh key, and the countdown that sends it back to the cashier."""

import re
import subprocess
import time
from dataclasses import dataclass

import pytest

from assistant import MAIN_CASHIER, Assistant, assistant, heartbeat  # noqa: F401
from harness import start_program, wait_until

APP_KEY = r"HKCU\Software\Tollimer"
CTID_CAPTION = "网证CTID扫码上机"
RZX_CAPTION = "任子行网证扫码上机"
F11_CAPTION = "刷新（F11）"

# Feature bits: 1 extended screen, 2 CTID window, 32 CTID return.
PLACE = "3"
PLACE_AND_RETURN = "35"
SPOT = "1300.200"


@dataclass
class Ctid:
    window: int
    first: int     # the first button: the countdown shows here
    refresh: int
    browser: int   # "Internet Explorer_Server", or 0 for the plain variant


def ctid_window(sim, caption=CTID_CAPTION, refresh="刷新", page=True):
    window = sim.window("TFormCTID", caption, x=200, y=150, w=420, h=520)
    first = sim.child(window, "Button", "关闭")
    refresh_button = sim.child(window, "Button", refresh)
    browser = 0
    if page:
        host = sim.child(window, "Shell Embedding", y=80, h=400)
        view = sim.child(host, "Shell DocObject View", x=0, y=0, h=400)
        browser = sim.child(view, "Internet Explorer_Server", x=0, y=0, h=400)
    return Ctid(window, first, refresh_button, browser)


@pytest.fixture
def settings(wine):
    """Seeds the assistant's settings in the prefix's registry; removed after the test."""
    def seed(**values):
        for name, value in values.items():
            wine.reg_add(APP_KEY, name, value, "REG_SZ")
    yield seed
    wine.reg_delete(APP_KEY)


def moves_to(sim, ctid, detail):
    return [e for e in sim.events("moved", ctid.window) if e.detail == detail]


def press_f11(wine):
    subprocess.run(["xdotool", "key", "F11"], env=wine.env, check=True, timeout=10)


def log_seconds(line):
    """Seconds of the day of a log line ("... 09:05:03.45 ..."; the digits
    after the point are milliseconds without leading zeros)."""
    match = re.match(r"^\S+ (\d\d):(\d\d):(\d\d)\.(\d+) ", line)
    h, m, s, ms = (int(g) for g in match.groups())
    return h * 3600 + m * 60 + s + ms / 1000


def test_moved_once_per_appearance_and_again_after_hide_and_show(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, ["<div>", '<input name="certToken" value="7f3a">'])
    assistant.start()

    sim.wait_event("moved", ctid.window, "1300,200,topmost", timeout=15)
    assistant.wait_ticks(3, heartbeat)
    assert len(moves_to(sim, ctid, "1300,200,topmost")) == 1
    assert assistant.log_texts("CTIDWinOK=") == ["CTIDWinOK=1,QRCode=19,CTIDWin.x=1300,CTIDWin.y=200"]
    assert sim.topmost(ctid.window)
    # A page with its ticket is left alone; F11 is ours, so the button says so.
    assert sim.events("click", ctid.refresh) == []
    assert sim.text(ctid.refresh) == F11_CAPTION

    # The cashier drags it away: it stays where it was put.
    sim.move(ctid.window, 40, 60)
    assistant.wait_ticks(2, heartbeat)
    assert sim.rect(ctid.window)[:2] == (40, 60)

    # Hidden and shown again: a new appearance, placed again.
    sim.show(ctid.window, False)
    assistant.wait_ticks(2, heartbeat)
    sim.show(ctid.window, True)
    wait_until(lambda: sim.rect(ctid.window)[:2] == (1300, 200), timeout=5, message="placed again")
    assistant.wait_ticks(2, heartbeat)
    assert len(moves_to(sim, ctid, "1300,200,topmost")) == 2
    assert len(assistant.log_texts("CTIDWinOK=1,")) == 2


def test_rzx_caption_is_handled_too_and_the_ctid_caption_wins(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    rzx = ctid_window(sim, RZX_CAPTION, page=False)
    ctid = ctid_window(sim, page=False)
    assistant.start()
    sim.wait_event("moved", ctid.window, "1300,200,topmost", timeout=15)
    assistant.wait_ticks(2, heartbeat)
    assert moves_to(sim, rzx, "1300,200,topmost") == []

    sim.destroy(ctid.window)
    sim.wait_event("moved", rzx.window, "1300,200,topmost", timeout=5)


@pytest.mark.parametrize("page, qrcode, clicks", [
    pytest.param(dict(elements=["<p>certToken</p>"]), 4, 0, id="ticket"),
    pytest.param(dict(elements=["<p>expired</p>", "<img src=qr.png>", "<p>CERTTOKEN</p>"]), 0, 1, id="no-ticket"),
    pytest.param(dict(answers=False), -6, 0, id="no-browser-object"),
])
def test_page_checked_once_per_appearance(sim, assistant, heartbeat, settings, page, qrcode, clicks):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, **page)
    assistant.start()

    assistant.wait_log("CTIDWinOK=", timeout=15)
    assistant.wait_ticks(3, heartbeat)
    assert assistant.log_texts("CTIDWinOK=") == [f"CTIDWinOK=1,QRCode={qrcode},CTIDWin.x=1300,CTIDWin.y=200"]
    assert len(sim.events("click", ctid.refresh)) == clicks
    assert len(assistant.log_texts("certToken=0,Auto Refresh=")) == clicks
    assert len(assistant.log_texts("QrocdeErr:")) == (1 if qrcode == -6 else 0)


def test_without_a_remembered_place_an_expired_code_is_refreshed_every_cycle(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, ["<p>expired</p>"])
    assistant.start()

    assistant.wait_log("CTIDWinOK=", timeout=15)
    assistant.wait_ticks(3, heartbeat)
    assert sim.events("moved", ctid.window) == []
    checks = assistant.log_texts("CTIDWinOK=")
    assert len(checks) >= 3 and set(checks) == {"CTIDWinOK=0,QRCode=0,CTIDWin.x=0,CTIDWin.y=0"}
    assert len(sim.events("click", ctid.refresh)) >= 3


def test_deep_page_read_stops_at_the_ticket(sim, assistant, heartbeat, settings):
    # 2000 elements nested in one another: the first one's inner HTML already
    # holds the ticket, the rest is never asked for.
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, nested=2000, leaf="<i>certToken</i>")
    assistant.start()

    assistant.wait_log("CTIDWinOK=", timeout=15)
    assert assistant.log_texts("CTIDWinOK=") == [f"CTIDWinOK=1,QRCode={1999 * 5 + 4},CTIDWin.x=1300,CTIDWin.y=200"]
    assert sim.pagereads(ctid.browser) == 1


def test_deep_page_without_ticket_is_read_whole_and_refreshed(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    # Every element crosses the process boundary on its own (about 12 ms
    # each on a quiet machine, several times that on a loaded one).
    sim.page(ctid.browser, nested=400, leaf="<i>expired</i>")
    assistant.start()

    assistant.wait_log("CTIDWinOK=", timeout=90)
    assert assistant.log_texts("CTIDWinOK=") == ["CTIDWinOK=1,QRCode=0,CTIDWin.x=1300,CTIDWin.y=200"]
    assert sim.pagereads(ctid.browser) == 400
    assert len(sim.events("click", ctid.refresh)) == 1


def test_plain_variant_is_logged_not_clicked(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim, page=False)
    static = sim.child(ctid.window, "Static", "")
    assistant.start()

    assistant.wait_log(f"RzxV8 Static={static}", timeout=15)
    assistant.wait_ticks(2, heartbeat)
    assert assistant.log_texts("CTIDWinOK=") == [f"CTIDWinOK=1,QRCode={static},CTIDWin.x=1300,CTIDWin.y=200"]
    assert sim.events("click", ctid.refresh) == []


@pytest.mark.parametrize("refresh, page", [
    pytest.param("刷新", True, id="刷新-page"),
    pytest.param("F11刷新", True, id="F11刷新-page", marks=pytest.mark.main_path),
    pytest.param("刷新", False, id="刷新-plain"),
    pytest.param("F11刷新", False, id="F11刷新-plain"),
])
def test_f11_key_clicks_refresh(wine, sim, assistant, heartbeat, settings, page, refresh):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim, refresh=refresh, page=page)
    if page:
        sim.page(ctid.browser, ["<p>certToken</p>"])
    else:
        sim.child(ctid.window, "Static", "")
    assistant.start()
    sim.wait_event("settext", ctid.refresh, F11_CAPTION, timeout=15)
    assistant.wait_ticks(1, heartbeat)
    assert sim.events("click", ctid.refresh) == []

    press_f11(wine)
    sim.wait_event("click", ctid.refresh, timeout=15)
    assistant.wait_log(f"HotKey ReBtn={ctid.refresh},Refresh=0")
    # Without the return switch F11 refreshes only: no move.
    assert len(moves_to(sim, ctid, "1300,200,topmost")) == 1


def test_return_countdown_then_back_to_the_cashier_screen(wine, sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE_AND_RETURN, CTIDWin=SPOT)
    sim.window("TFrmMain", MAIN_CASHIER)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, ["<p>certToken</p>"])
    assistant.start()

    sim.wait_event("settext", ctid.first, "关闭", timeout=25)
    captions = [e.detail for e in sim.events("settext", ctid.first)]
    assert captions == ["倒计5秒", "倒计4秒", "倒计3秒", "倒计2秒", "倒计1秒", "关闭"]
    # Right of centre on the cashier's screen (the main cashier window was
    # seen), 300 pixels above the bottom of the work area, out of the topmost band.
    assert assistant.log_texts("AutoSwitchOK=") == ["AutoSwitchOK=1,QRCode=22,CTIDWin.x=1690,CTIDWin.y=780"]
    assert sim.rect(ctid.window)[:2] == (1690, 780)
    assert not sim.topmost(ctid.window)

    # F11 brings it back to the customer's screen and counts down again.
    sim.clear()
    press_f11(wine)
    sim.wait_event("moved", ctid.window, "1300,200,topmost", timeout=15)
    sim.wait_event("click", ctid.refresh, timeout=15)
    sim.wait_event("settext", ctid.first, "关闭", timeout=15)
    captions = [e.detail for e in sim.events("settext", ctid.first)]
    assert captions == ["倒计5秒", "倒计4秒", "倒计3秒", "倒计2秒", "倒计1秒", "关闭"]
    assert sim.rect(ctid.window)[:2] == (1690, 780)


def test_hung_client_costs_each_cycle_at_most_about_a_second(sim, assistant, settings):
    # Nothing else of the simulator is on screen: every window of a hung
    # program stops answering, and only the CTID window is to be waited for.
    settings(ExpCofig=PLACE)
    ctid = ctid_window(sim, refresh=F11_CAPTION)
    sim.page(ctid.browser, ["<p>certToken</p>"])
    assistant.start()
    assistant.wait_log("CTIDWinOK=0,QRCode=4,", count=2, timeout=15)

    sim.hang(9000)
    hung_at = time.monotonic()
    assistant.wait_log("QrocdeErr:", count=3, timeout=8)
    assert time.monotonic() - hung_at < 8.5, "three cycles went by while the client was hung"
    assistant.wait_log("CTIDWinOK=0,QRCode=4,", count=3, timeout=20)  # answers again

    lines = [line for line in assistant.log_lines() if "CTIDWinOK=" in line]
    times = [log_seconds(line) for line in lines]
    gaps = [b - a for a, b in zip(times, times[1:])]
    assert max(gaps) < 2.6, f"cycles apart by {gaps}"
    assert any("QRCode=-6," in line for line in lines)


def test_window_closing_while_its_page_is_read(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, ["<p>expired</p>", "<img>"], vanish=True)
    assistant.start()

    assistant.wait_log("CTIDWinOK=", timeout=15)
    assistant.wait_ticks(2, heartbeat)
    assert not sim.exists(ctid.window)
    assert assistant.log_texts("certToken=0,Auto Refresh=") == ["certToken=0,Auto Refresh=0"]
    assert assistant.process.poll() is None


def test_an_answer_that_names_no_document_is_a_failure_not_a_crash(sim, assistant, heartbeat, settings):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, bogus=0x7FFF1234)
    assistant.start()

    assistant.wait_log("CTIDWinOK=", timeout=15)
    assistant.wait_ticks(2, heartbeat)
    assert assistant.log_texts("CTIDWinOK=") == ["CTIDWinOK=1,QRCode=-6,CTIDWin.x=1300,CTIDWin.y=200"]
    errors = assistant.log_texts("QrocdeErr:")
    assert len(errors) == 1 and "|ObjectFromLresult: " in errors[0]
    assert sim.events("click", ctid.refresh) == []
    assert assistant.process.poll() is None


def test_without_the_accessibility_library_the_page_is_not_read(wine, sim, heartbeat, settings, program_dir):
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, ["<p>expired</p>"])
    a = Assistant(wine, sim, program_dir)
    a.process = start_program(wine, program_dir, env={"WINEDLLOVERRIDES": "winemenubuilder.exe=d;oleacc=d"})
    try:
        a.wait_log("CTIDWinOK=", timeout=20)
        a.wait_ticks(2, heartbeat)
        assert a.log_texts("CTIDWinOK=") == ["CTIDWinOK=1,QRCode=-6,CTIDWin.x=1300,CTIDWin.y=200"]
        errors = a.log_texts("QrocdeErr:")
        assert len(errors) == 1 and errors[0].endswith("|Oleacc.dll missing")
        assert sim.events("click", ctid.refresh) == []
    finally:
        a.stop()


def test_client_stalling_in_the_middle_of_the_read_costs_about_a_second(sim, assistant, settings):
    # The client hands out its page, then takes 8 s over the second element.
    settings(ExpCofig=PLACE)
    ctid = ctid_window(sim, refresh=F11_CAPTION)
    sim.page(ctid.browser, ["<p>expired</p>", "<p>a</p>", "<p>b</p>"], stall=8000)
    assistant.start()

    assistant.wait_log("CTIDWinOK=", count=3, timeout=30)
    lines = [line for line in assistant.log_lines() if "CTIDWinOK=" in line]
    # The stalled read is given up (no click: the page was not read whole);
    # once the client answers again the check goes on as before.
    assert "CTIDWinOK=0,QRCode=-6," in lines[0]
    assert len(assistant.log_texts("QrocdeErr:")) >= 1
    times = [log_seconds(line) for line in lines]
    gaps = [b - a for a, b in zip(times, times[1:])]
    assert max(gaps) < 3.5, f"cycles apart by {gaps}"


def test_window_appearing_hung_is_not_waited_for(sim, assistant, settings):
    # The client shows its window and stops answering at once: the move
    # would wait for it, so it is left for a later cycle.
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim, refresh=F11_CAPTION)
    sim.page(ctid.browser, ["<p>certToken</p>"])
    sim.show(ctid.window, False)
    assistant.start()
    assistant.wait_log("StartOK:", timeout=20)

    sim.show(ctid.window, True)
    sim.hang(8000)
    assistant.wait_log("CTIDWinOK=", count=3, timeout=20)
    lines = [line for line in assistant.log_lines() if "CTIDWinOK=" in line]
    assert "CTIDWinOK=0,QRCode=-6," in lines[0]
    times = [log_seconds(line) for line in lines]
    gaps = [b - a for a, b in zip(times, times[1:])]
    assert max(gaps) < 3.6, f"cycles apart by {gaps}"
    # Once it answers again, it is placed.
    wait_until(lambda: sim.rect(ctid.window)[:2] == (1300, 200), timeout=15, message="placed after the hang")


def test_minute_timer_checks_the_code_of_a_window_already_placed(sim, assistant, heartbeat, settings):
    # Placed once, the window is not checked by the watch cycle again; the
    # minute timer still finds its expired code and refreshes it.
    settings(ExpCofig=PLACE, CTIDWin=SPOT)
    ctid = ctid_window(sim)
    sim.page(ctid.browser, ["<p>expired</p>"])
    assistant.start()
    sim.wait_event("click", ctid.refresh, timeout=15)
    assistant.wait_ticks(2, heartbeat)
    assert len(sim.events("click", ctid.refresh)) == 1

    wait_until(lambda: len(sim.events("click", ctid.refresh)) == 2, timeout=75, interval=1,
               message="the minute timer's refresh click")
    assert len(assistant.log_texts("certToken=0,Auto Refresh=")) == 2
    assert len(assistant.log_texts("CTIDWinOK=")) == 1
