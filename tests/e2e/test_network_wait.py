"""The watch cycle never waits for the network: with the central service
silent, or a release trickling in for a minute, the one-second cycle goes on
(countdowns, blacklist alerts), the network's results are applied when they
come, and the program still ends at once when the cashier exits.

Lines starting with "FIGURE" give the measured times (run with -s, or
tests/bench/network_wait.py)."""

import time

from assistant import MAIN_CASHIER, assistant, heartbeat  # noqa: F401
from harness import wait_until
from harness.central import UPDATE_PATH
from test_blacklist import write_blacklist
from test_dialogs import countdown
from test_placement_face import face_dialog
from test_tray import choose, wait_dialog
from test_update import (attempt_lines, crc_text, end_every_assistant, line_times,  # noqa: F401
                         params_payload, release)

LISTED_ID = "11010119900307123X"
WM_COMMAND = 0x0111
IDYES = 6
TRICKLE_SECONDS = 70


def tick_times(assistant, heartbeat):
    return line_times(assistant, f"ButtonTip={heartbeat},")


def longest_gap(times):
    return max((b - a for a, b in zip(times, times[1:])), default=0.0)


def trickle_release(fake_service, program_dir, release):
    """The service announces the release and sends it slowly; the local
    blacklist lists LISTED_ID."""
    release_file, new_crc = release
    write_blacklist(program_dir, [f"{LISTED_ID}\t张三\t2024-01-02\t打架斗殴"])
    fake_service.answer(params_payload(f"{new_crc},FFFF0000"))
    fake_service.release(crc_text(program_dir / "Tollimer.exe"), body_file=str(release_file),
                         mode="trickle", seconds=TRICKLE_SECONDS)
    return release_file


def download_begun(fake_service, program_dir):
    wait_until(lambda: fake_service.requests(UPDATE_PATH + "file/"), timeout=30,
               message="the release's download begun")
    return wait_until(lambda: (program_dir / "Tollimer.exe.NEW").exists(), timeout=10,
                      message="the download's file")


def still_downloading(program_dir, release_file):
    new = program_dir / "Tollimer.exe.NEW"
    return new.exists() and new.stat().st_size < release_file.stat().st_size


def test_a_silent_service_holds_neither_the_first_tick_nor_a_countdown(sim, assistant, heartbeat,
                                                                      fake_service):
    # The service's port takes the connection and never answers.
    fake_service.answer(mode="stall")
    sim.window("TFrmMain", MAIN_CASHIER)
    assistant.start()
    assistant.wait_log("Startup:", timeout=30)
    assistant.wait_ticks(1, heartbeat, timeout=20)
    # The cycle runs while the first attempt of the exchange still waits.
    assert attempt_lines(assistant) == []
    first_tick = tick_times(assistant, heartbeat)[0] - line_times(assistant, "Startup:")[0]
    print(f"FIGURE silent service: start-up line to the first watch tick {first_tick:.2f} s")
    assert first_tick < 10

    # A member-activation window that comes up now is counted down from its
    # first second.
    activation = sim.window("TFormActiveMem", "会员激活")
    sim.wait_event("settext", activation, countdown(12), timeout=15)
    captions = [e.detail for e in sim.events("settext", activation)]
    assert captions[:4] == [countdown(n) for n in (15, 14, 13, 12)]
    assert assistant.stop() == 0
    assert assistant.log_texts("RunTime=")


def test_a_trickling_release_holds_neither_an_alert_nor_a_countdown(sim, assistant, heartbeat, fake_service,
                                                                   program_dir, release):
    release_file = trickle_release(fake_service, program_dir, release)
    sim.window("TFrmMain", MAIN_CASHIER)
    try:
        assistant.start()
        download_begun(fake_service, program_dir)

        # A swiped blacklisted ID is alerted while the release still comes.
        swiped = time.monotonic()
        dialog, _, _, button = face_dialog(sim, id_number=LISTED_ID)
        assistant.wait_log("FindBlackList:", timeout=15)
        print(f"FIGURE trickling release: swipe to alert {time.monotonic() - swiped:.2f} s")
        assert still_downloading(program_dir, release_file)
        assert sim.events("click", button) == []

        # A member-activation window runs its whole course meanwhile.
        activation = sim.window("TFormActiveMem", "会员激活")
        sim.wait_event("close", activation, timeout=30)
        captions = [e.detail for e in sim.events("settext", activation)]
        assert captions == [countdown(n) for n in range(15, 0, -1)]
        assert still_downloading(program_dir, release_file)
        assert assistant.log_texts("AutoUpdate=") == []

        # The alert handled, the release is swapped in once it is complete.
        sim.close(dialog)
        assistant.wait_log("Startup:ver=1.0.0.2,", timeout=TRICKLE_SECONDS + 90)
        assert (program_dir / "Tollimer.exe").read_bytes() == release_file.read_bytes()
        assert not (program_dir / "Tollimer.exe.NEW").exists()
        old_ticks = [t for t in tick_times(assistant, heartbeat)
                     if t < line_times(assistant, "Startup:ver=1.0.0.2,")[0]]
        gap = longest_gap(old_ticks)
        print(f"FIGURE trickling release: longest gap between watch ticks {gap:.2f} s "
              f"over {len(old_ticks)} ticks")
        assert gap < 10
    finally:
        end_every_assistant(sim)


def test_the_menus_exit_during_a_trickling_download_ends_at_once_without_a_new_file(
        wine, sim, assistant, fake_service, program_dir, release):
    trickle_release(fake_service, program_dir, release)
    before = (program_dir / "Tollimer.exe").read_bytes()
    assistant.start()
    download_begun(fake_service, program_dir)
    choose(wine, sim, "exit")
    box = wait_dialog(sim, "操作确认")
    # Its "退出助手" button, pressed through the box itself: a key might go
    # to whichever window has the X focus.
    sim.post(box, WM_COMMAND, IDYES, 0)
    pressed = time.monotonic()
    assert assistant.process.wait(timeout=15) == 0
    print(f"FIGURE trickling release: exit to the program's end {time.monotonic() - pressed:.2f} s")
    assert not (program_dir / "Tollimer.exe.NEW").exists()
    assert (program_dir / "Tollimer.exe").read_bytes() == before
    assert assistant.log_texts("RunTime=")
