"""Whether the assistant's windows leak: starts Wine, the companion simulator
and Tollimer.exe, then opens and closes the settings window (main-window
command 110) and the blacklist panel (command 111) ten times each, as the
icon's menu does, and prints the assistant's working set, its GDI and USER
object counts (GetGuiResources) and the windows it owns before, after the
first round and after the tenth (build/win/gui_resources_bench.exe).
Prints figures only. Wine answers GetGuiResources with 0 (it does not count
them); there the window counts are what shows a leak of USER objects.

    /usr/bin/python3 tests/bench/panel_cycles.py

Scratch folder: build/bench-panel.
"""

import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from harness import (REPO_ROOT, WineSession, copy_program, start_program,  # noqa: E402
                     start_sim, wait_until, win_build_dir)

MAIN_FORM_CLASS = "TOrv_Assistant"
BLACKLIST_CLASS = "TfrmBlackList"
WM_COMMAND, WM_CLOSE, WM_ENDSESSION = 0x0111, 0x0010, 0x0016
CMD_SETTINGS, CMD_BLACKLIST = 110, 111
ROUNDS = 10
SETTLE_SECONDS = 3


def figures(wine):
    code, output = wine.call([win_build_dir() / "gui_resources_bench.exe"], timeout=60)
    if code != 0:
        raise RuntimeError(f"gui_resources_bench.exe exited with {code}: {output.strip()}")
    return output.strip()


def open_and_close(sim, form, command, window_of):
    sim.post(form, WM_COMMAND, command, 0)
    window = wait_until(lambda: (lambda w: w if w and sim.visible(w) else 0)(window_of()), timeout=10,
                        message=f"the window of command {command} shown")
    sim.post(window, WM_CLOSE, 0, 0)
    wait_until(lambda: not sim.visible(window), timeout=10, message=f"the window of command {command} hidden")


def main():
    scratch = REPO_ROOT / "build" / "bench-panel"
    session = WineSession(scratch)
    sim = process = None
    try:
        wine = session.start()
        sim = start_sim(wine)
        folder = scratch / "program"
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir()
        if not copy_program(folder):
            raise RuntimeError(f"Tollimer.exe is not in {win_build_dir()}; run scripts/build")
        process = start_program(wine, folder)
        form = wait_until(lambda: sim.find(MAIN_FORM_CLASS, ""), timeout=20, message="the main window")
        time.sleep(SETTLE_SECONDS)  # start-up and the first watch ticks
        print(f"before:        {figures(wine)}", flush=True)

        for round_ in range(1, ROUNDS + 1):
            open_and_close(sim, form, CMD_SETTINGS, lambda: form)
            open_and_close(sim, form, CMD_BLACKLIST, lambda: sim.find(BLACKLIST_CLASS, ""))
            if round_ == 1:
                time.sleep(SETTLE_SECONDS)
                print(f"after 1 round: {figures(wine)}", flush=True)
        time.sleep(SETTLE_SECONDS)
        print(f"after {ROUNDS} rounds: {figures(wine)}", flush=True)

        sim.post(form, WM_ENDSESSION, 1, 0)
        process.wait(timeout=10)
        return 0
    except Exception as error:
        print(f"benchmark failed: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
    finally:
        if process is not None and process.poll() is None:
            process.kill()
            process.wait(timeout=10)
        if sim is not None:
            sim.stop()
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
