"""The customer's screen: the handover window centred, the app-activation QR
window and the face-comparison window put where the cashier saved them, and
the audit client's face button pressed for the cashier, with the camera
picture mirrored to the customer. Settings are seeded in the prefix's
registry and the local parameters file; what happened is read from the
simulator, the screen and the day log."""

import time

import pytest

from assistant import assistant, heartbeat  # noqa: F401
from harness import wait_until

APP_KEY = r"HKCU\Software\Tollimer"
EXTENDED_SCREEN, CTID_WINDOW, APP_QR_WINDOW, FACE_WINDOW = 1, 2, 4, 8

FACE_CAPTION = "人脸核验"
ID_NUMBER = "44010619900101123X"
HANDOVER_ON_1920_X_1080 = (514, 258)
WM_SYSCOMMAND, SC_MINIMIZE, SC_RESTORE = 0x0112, 0xF020, 0xF120


@pytest.fixture
def settings(wine):
    """Values under the application key, removed again after the test."""
    wine.reg_delete(APP_KEY)

    def seed(**values):
        for name, value in values.items():
            wine.reg_add(APP_KEY, name, str(value))
    yield seed
    wine.reg_delete(APP_KEY)


def local_parameters(folder, **values):
    """OrvBar.ini [Assistant] beside the assistant: fwait, clickmode."""
    lines = ["[Assistant]", *(f"{k}={v}" for k, v in values.items())]
    (folder / "OrvBar.ini").write_bytes(("\r\n".join(lines) + "\r\n").encode("gbk"))


def moves(sim, hwnd):
    """Where the window was moved to, in order, as (x, y, topmost)."""
    out = []
    for e in sim.events("moved", hwnd):
        x, y, *rest = e.detail.split(",")
        out.append((int(x), int(y), rest == ["topmost"]))
    return out


def face_dialog(sim, onclick="none", id_number=ID_NUMBER, **button_options):
    """The audit client's face-verification dialog, clear of the heartbeat
    dialog so that both can be seen on the screen; `button_options` go to the
    face button (hangonsettext=ms: the client hangs as its caption is set)."""
    dialog = sim.dialog(FACE_CAPTION, x=100, y=450, w=420, h=420)
    sim.child(dialog, "Static", "请正视摄像头", x=10, y=8, w=200, h=20)
    preview = sim.child(dialog, "Static", "", x=10, y=32, w=320, h=240, moving=True)
    edit = sim.child(dialog, "Edit", id_number, x=10, y=285, w=220, h=24)
    button = sim.child(dialog, "Button", FACE_CAPTION, x=240, y=330, w=120, h=32, onclick=onclick,
                       **button_options)
    return dialog, preview, edit, button


def face_form(sim):
    return sim.find("TfrmFaceCheck", "")


def image1(sim, form):
    panel = sim.findchild(form, "TPanel", "")
    return sim.findchild(panel, "TImage", "")


# --- Placement ----------------------------------------------------------------

def test_handover_and_app_qr_windows_are_placed_once_per_appearance(sim, assistant, heartbeat, settings):
    settings(ExpCofig=EXTENDED_SCREEN | APP_QR_WINDOW, OrvAppWin="1500.200")
    handover = sim.window("TFrmJiaoBan", "交班", x=20, y=20, w=891, h=563)
    qr = sim.window("CQrCodeActiveWnd", "", x=40, y=40, w=300, h=300)
    assistant.start()

    sim.wait_event("moved", handover, "514,258", timeout=10)
    sim.wait_event("moved", qr, "1500,200", timeout=10)
    # The cashier drags both away; the assistant leaves them there.
    sim.move(handover, 30, 30)
    sim.move(qr, 60, 60)
    assistant.wait_ticks(2, heartbeat)
    assert sim.rect(handover)[:2] == (30, 30)
    assert sim.rect(qr)[:2] == (60, 60)

    # Each new appearance is placed again.
    for window in (handover, qr):
        sim.show(window, False)
    assistant.wait_ticks(2, heartbeat)
    for window in (handover, qr):
        sim.show(window, True)
    wait_until(lambda: sim.rect(handover)[:2] == HANDOVER_ON_1920_X_1080 and sim.rect(qr)[:2] == (1500, 200),
               timeout=10, message="both windows placed again")
    assistant.wait_ticks(2, heartbeat)

    assert moves(sim, handover) == [(514, 258, False), (30, 30, False), (514, 258, False)]
    assert moves(sim, qr) == [(1500, 200, False), (60, 60, False), (1500, 200, False)]
    # Placed with HWND_NOTOPMOST: they stay ordinary windows.
    assert [e.detail for e in sim.events("zorder", handover)] == ["notopmost"] * 2
    assert [e.detail for e in sim.events("zorder", qr)] == ["notopmost"] * 2
    assert assistant.log_texts("JiaoBanWinOK=") == ["JiaoBanWinOK=1,JiaoBanWnd.x=514,JiaoBanWnd.y=258"] * 2
    assert assistant.log_texts("OrvAppWinOK=") == ["OrvAppWinOK=1,orvAPPWnd.x=1500,orvAPPWnd.y=200"] * 2


def test_second_app_qr_window_class_is_placed_when_the_first_is_absent(sim, assistant, settings):
    settings(ExpCofig=EXTENDED_SCREEN | APP_QR_WINDOW, OrvAppWin="1300.90")
    qr = sim.window("TCreateQRCodeFrm", "扫码激活", x=40, y=40, w=300, h=300)
    assistant.start()
    sim.wait_event("moved", qr, "1300,90", timeout=10)


@pytest.mark.parametrize("bits, stored, handover_moved, qr_moved, qr_line", [
    # The extended-screen switch off: nothing is touched.
    (APP_QR_WINDOW | FACE_WINDOW, "1500.200", False, False, None),
    # No position, or one that adds up to 0: the QR window stays, its line comes every tick.
    (EXTENDED_SCREEN | APP_QR_WINDOW, None, True, False, "OrvAppWinOK=0,orvAPPWnd.x=0,orvAPPWnd.y=0"),
    (EXTENDED_SCREEN | APP_QR_WINDOW, "-100.100", True, False, "OrvAppWinOK=0,orvAPPWnd.x=-100,orvAPPWnd.y=100"),
    (EXTENDED_SCREEN | APP_QR_WINDOW, "右边.abc", True, False, "OrvAppWinOK=0,orvAPPWnd.x=0,orvAPPWnd.y=0"),
    # The app QR window feature off.
    (EXTENDED_SCREEN, "1500.200", True, False, None),
])
def test_nothing_is_moved_without_the_switch_or_a_position(sim, assistant, heartbeat, settings, bits, stored,
                                                           handover_moved, qr_moved, qr_line):
    values = {"ExpCofig": bits}
    if stored is not None:
        values["OrvAppWin"] = stored
    settings(**values)
    handover = sim.window("TFrmJiaoBan", "交班", x=20, y=20)
    qr = sim.window("CQrCodeActiveWnd", "", x=40, y=40)
    assistant.start()
    assistant.wait_ticks(3, heartbeat)

    assert (moves(sim, handover) == [(514, 258, False)]) == handover_moved
    assert moves(sim, qr) == []
    if qr_line:
        assert len(assistant.log_texts(qr_line)) >= 2
    else:
        assert assistant.log_texts("OrvAppWinOK") == []


def test_huge_remembered_position_is_applied_without_harm(sim, assistant, heartbeat, settings):
    settings(ExpCofig=EXTENDED_SCREEN | APP_QR_WINDOW, OrvAppWin="2147483647.2147483647")
    qr = sim.window("CQrCodeActiveWnd", "", x=40, y=40)
    assistant.start()
    assistant.wait_log("orvAPPWnd.x=2147483647,orvAPPWnd.y=2147483647")
    assistant.wait_ticks(2, heartbeat)  # still watching
    assert sim.exists(qr)


# --- Face verification --------------------------------------------------------

def test_button_that_stays_enabled_is_pressed_twice_by_message_and_alerted_once(
        sim, assistant, heartbeat, settings, program_dir):
    settings(ExpCofig=0)
    local_parameters(program_dir, clickmode=1, fwait=101)
    dialog, preview, edit, button = face_dialog(sim)
    assistant.start()

    assistant.wait_log("eTryFaceVeifyCount=3", timeout=15)
    assistant.wait_ticks(3, heartbeat, timeout=20)

    assert len(sim.events("click", button)) == 2
    assert sim.events("lbuttondown") == []
    style = _style(assistant)
    assert int(style) & 0x40000000  # WS_CHILD: the button's own style, not 0
    assert assistant.log_texts("TryFaceVeifyCount=") == [
        f"TryFaceVeifyCount=2,BtnStyle={style}",
        f"eTryFaceVeifyCount=3,BtnStyle={style},srcWin.X=0,srcWin.Y=0"]
    presses = assistant.log_texts(f"FaceDlg={dialog},Btn={button},")
    assert len(presses) == 2
    assert presses[0].endswith(f",ClickRet=0,ClickPt=0.0,IdEdit={edit},CID={ID_NUMBER}")
    assert assistant.log_texts("PayWav=") == ["PayWav=1", "PayWav=1"]


def test_a_hung_audit_client_costs_each_message_at_most_about_a_second(sim, other_sim, assistant, settings,
                                                                      program_dir):
    # The audit client hangs with its face dialog up. The face step's reads,
    # presses and captions give up on it, and the watch cycle goes on: a
    # heartbeat dialog of another program still earns its line every tick.
    settings(ExpCofig=0)
    local_parameters(program_dir, clickmode=1, fwait=101)
    beat = other_sim.dialog("提示")
    face_dialog(sim)
    assistant.start()
    assistant.wait_log("TryFaceVeifyCount=", timeout=15)

    needle = f"ButtonTip={beat},"
    before = len(assistant.log_texts(needle))
    sim.hang(12000)
    time.sleep(10)
    assert len(assistant.log_texts(needle)) - before >= 3, "the watch cycle waited for the hung client"
    assert assistant.process.poll() is None


def _style(assistant):
    """The button style the assistant logged with its first retry line."""
    line = assistant.log_texts("TryFaceVeifyCount=2,BtnStyle=")[0]
    return line.rsplit("=", 1)[1]


def test_mouse_mode_clicks_the_button_at_its_origin_plus_35_5_once(sim, assistant, heartbeat, settings,
                                                                   program_dir):
    settings(ExpCofig=0)
    local_parameters(program_dir, clickmode=2, fwait=50)
    dialog, preview, edit, button = face_dialog(sim, onclick="disable")
    assistant.start()

    sim.wait_event("command", dialog, str(button), timeout=10)
    left, top, _, _ = sim.rect(button)
    point = f"{left + 35},{top + 5}"
    assert [e.detail for e in sim.events("lbuttondown", button)] == [point]
    assert [e.detail for e in sim.events("lbuttonup", button)] == [point]
    assert sim.cursor() == (left + 35, top + 5)
    assistant.wait_ticks(3, heartbeat)

    # Verified at once (the button disabled itself): no second press, no alert.
    assert len(sim.events("command", dialog)) == 1
    assert sim.events("click", button) == []
    assert assistant.log_texts("TryFaceVeifyCount") == []
    assert len(assistant.log_texts(f",ClickRet=1,ClickPt={left}.{top},")) == 1


def test_mode_zero_presses_nothing_but_still_prompts(sim, assistant, heartbeat, settings, program_dir):
    settings(ExpCofig=0)
    local_parameters(program_dir, clickmode=0)
    dialog, preview, edit, button = face_dialog(sim)
    assistant.start()
    assistant.wait_log("ClickRet=-1,ClickPt=0.0", timeout=10)
    assistant.wait_ticks(2, heartbeat)
    assert sim.events("click", button) == [] and sim.events("lbuttondown") == []
    assert assistant.log_texts("PayWav=1")


def region(screen, left, top, width, height, step=8):
    return tuple(screen.pixel(left + x, top + y) for y in range(0, height, step) for x in range(0, width, step))


@pytest.mark.parametrize("stored, place", [(None, (1024, 150)),
                                           pytest.param("1200.260", (1200, 260), marks=pytest.mark.main_path)])
def test_face_form_shows_the_id_and_mirrors_the_moving_preview_then_hides(wine, sim, assistant, heartbeat,
                                                                           settings, program_dir, stored, place):
    values = {"ExpCofig": EXTENDED_SCREEN | FACE_WINDOW}
    if stored:
        values["FaceVeifyWin"] = stored
    settings(**values)
    local_parameters(program_dir, clickmode=1)
    dialog, preview, edit, button = face_dialog(sim, onclick="disable")
    assistant.start()

    form = wait_until(lambda: face_form(sim) if face_form(sim) and sim.visible(face_form(sim)) else 0,
                      timeout=10, message="TfrmFaceCheck shown")
    wait_until(lambda: sim.rect(form)[:2] == place and sim.topmost(form), timeout=5,
               message=f"TfrmFaceCheck topmost at {place}")
    assert sim.text(sim.findchild(form, "Edit", "")) == ID_NUMBER
    image = image1(sim, form)
    il, it, ir, ib = sim.rect(image)
    assert (ir - il, ib - it) == (640, 480)

    # The copy shows what the preview shows, and keeps following it.
    pl, pt, pr, pb = sim.rect(preview)
    seen, matched = set(), 0
    deadline = time.monotonic() + 40
    while time.monotonic() < deadline:
        screen = wine.grab_screen()
        copy = region(screen, il, it, pr - pl, pb - pt)
        seen.add(copy)
        matched += copy == region(screen, pl, pt, pr - pl, pb - pt)
        if matched >= 2 and len(seen) >= 3:
            break
    assert matched >= 2, "the mirror never showed the preview's picture"
    assert len(seen) >= 3, "the mirror stood still"
    assert screen.pixel(il + 600, it + 400) == (0, 0, 0)  # beyond the preview's size: black

    sim.close(dialog)
    wait_until(lambda: not sim.visible(form), timeout=5, message="TfrmFaceCheck hidden after the dialog went")
    assert sim.text(sim.findchild(form, "Edit", "")) == ""
    assert len(assistant.log_texts(f"srcWin.X=0,srcWin.Y=0,FaceVeifyWin.x={place[0]},FaceVeifyWin.y={place[1]}")) == 1


def test_face_form_stays_hidden_without_the_switch_or_with_a_zero_position(sim, assistant, heartbeat, settings,
                                                                           program_dir):
    settings(ExpCofig=EXTENDED_SCREEN | FACE_WINDOW, FaceVeifyWin="-100.100")
    local_parameters(program_dir, clickmode=1)
    face_dialog(sim, onclick="disable")
    assistant.start()
    assistant.wait_log("PayWav=1", timeout=10)
    assistant.wait_ticks(2, heartbeat)
    form = face_form(sim)
    assert form == 0 or not sim.visible(form)


def mirrors(wine, sim, image, preview, timeout=30.0):
    """True once a screenshot shows Image1 holding the preview's picture (the
    copy lags the picture by up to a tenth of a second, more on a busy
    machine, so a few screenshots may catch it a picture behind). The places
    are read anew for every screenshot, as the form may still be settling,
    and the picture may sit a border's width off the window's corner."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        il, it, _, _ = sim.rect(image)
        pl, pt, pr, pb = sim.rect(preview)
        screen = wine.grab_screen()
        shown = region(screen, pl, pt, pr - pl, pb - pt)
        if any(region(screen, il + dx, it + dy, pr - pl, pb - pt) == shown
               for dx in range(-2, 3) for dy in range(-2, 3)):
            return True
    return False


def test_preview_that_is_resized_vanishes_or_is_minimised_while_mirrored_is_no_harm(wine, sim, assistant, heartbeat,
                                                                                 settings, program_dir):
    settings(ExpCofig=EXTENDED_SCREEN | FACE_WINDOW)
    local_parameters(program_dir, clickmode=1)
    dialog, preview, edit, button = face_dialog(sim, onclick="disable")
    assistant.start()
    form = wait_until(lambda: face_form(sim) if face_form(sim) and sim.visible(face_form(sim)) else 0,
                      timeout=10, message="TfrmFaceCheck shown")
    image = image1(sim, form)

    # A smaller picture is followed at its new size.
    sim.move(preview, 10, 32, size=(160, 120))
    assert mirrors(wine, sim, image, preview)
    # One larger than the form's image is cut to it.
    sim.move(preview, 0, 0, size=(900, 700))
    assistant.wait_ticks(1, heartbeat)
    sim.move(preview, 10, 32, size=(320, 240))

    sim.destroy(preview)
    assistant.wait_ticks(2, heartbeat)
    assert sim.visible(form)  # the dialog is still there

    # Minimised and restored (a minimised window may count as hidden for a
    # moment, which hides the form for this dialog: either way, no harm).
    sim.post(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0)
    assistant.wait_ticks(2, heartbeat)
    sim.post(dialog, WM_SYSCOMMAND, SC_RESTORE, 0)
    assistant.wait_ticks(2, heartbeat)

    sim.close(dialog)
    wait_until(lambda: not sim.visible(form), timeout=5, message="TfrmFaceCheck hidden")
    assistant.wait_ticks(2, heartbeat)
    assert assistant.process.poll() is None


def test_dialog_that_closes_when_pressed_gets_no_retry_and_takes_the_form_away(sim, assistant, heartbeat, settings,
                                                                               program_dir):
    """The dialog goes away inside the press, before the form, the prompt and
    the retry check that follow it in the same cycle."""
    settings(ExpCofig=EXTENDED_SCREEN | FACE_WINDOW)
    local_parameters(program_dir, clickmode=1)
    dialog, preview, edit, button = face_dialog(sim, onclick="close")
    assistant.start()

    sim.wait_event("destroyed", dialog, timeout=10)
    assistant.wait_ticks(3, heartbeat)
    form = face_form(sim)
    assert not sim.visible(form)
    assert len(sim.events("click", button)) == 1
    assert assistant.log_texts("TryFaceVeifyCount") == []
    assert assistant.log_texts("PayWav=1")


def test_face_form_is_placed_again_for_the_next_customer_after_being_moved_by_hand(sim, assistant, heartbeat,
                                                                                   settings, program_dir):
    settings(ExpCofig=EXTENDED_SCREEN | FACE_WINDOW, FaceVeifyWin="1100.200")
    local_parameters(program_dir, clickmode=1)
    dialog, *_ = face_dialog(sim, onclick="disable")
    assistant.start()
    form = wait_until(lambda: face_form(sim) if face_form(sim) and sim.visible(face_form(sim)) else 0,
                      timeout=10, message="TfrmFaceCheck shown")
    wait_until(lambda: sim.rect(form)[:2] == (1100, 200), timeout=5, message="TfrmFaceCheck at 1100, 200")

    # The cashier drags it aside; it stays there while the dialog lasts.
    sim.move(form, 600, 120)
    wait_until(lambda: sim.rect(form)[:2] == (600, 120), timeout=5, message="the form moved by hand")
    assistant.wait_ticks(2, heartbeat)
    assert sim.rect(form)[:2] == (600, 120)

    sim.close(dialog)
    wait_until(lambda: not sim.visible(form), timeout=5, message="TfrmFaceCheck hidden")
    face_dialog(sim, onclick="disable", id_number="110101199003077777")
    wait_until(lambda: sim.visible(form) and sim.rect(form)[:2] == (1100, 200), timeout=10,
               message="TfrmFaceCheck back at 1100, 200 for the next dialog")
    assert sim.text(sim.findchild(form, "Edit", "")) == "110101199003077777"
