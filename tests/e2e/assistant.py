"""The assistant under test: started from its own program folder beside the
simulator, read through its day log, ended the way Windows ends it."""

import re
import subprocess
from pathlib import Path

import pytest

from harness import start_program, wait_until

MAIN_FORM_CLASS = "TOrv_Assistant"
LOG_MARKER = "debug"
WM_COMMAND = 0x0111
WM_ENDSESSION = 0x0016

# Main-window commands (the notification-area menu sends the same).
CMD_COUNTDOWN_15 = 105
CMD_COUNTDOWN_8 = 104
CMD_COUNTDOWN_3 = 103
CMD_POINT_TIP = 120

MAIN_CASHIER = "Orv网络计费系统 v7-主收银台"
SECOND_CASHIER = "Orv网络计费系统-次收银台"

# "2024-03-07 09:05:03.45 text"
LOG_LINE = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.(0|[1-9]\d{0,2}) (.*)$")


class Assistant:
    def __init__(self, wine, sim, folder, log=True):
        self.wine, self.sim, self.folder = wine, sim, Path(folder)
        self.process = None
        self.logs = self.folder / "LOGS"
        self.logs.mkdir(exist_ok=True)
        if log:
            (self.folder / LOG_MARKER).touch()

    def start(self):
        self.process = start_program(self.wine, self.folder)
        wait_until(self.main_form, timeout=20, message="the assistant's main window")
        return self

    def main_form(self):
        return self.sim.find(MAIN_FORM_CLASS, "")

    def command(self, command_id):
        self.sim.post(self.main_form(), WM_COMMAND, command_id, 0)

    def stop(self, timeout=10.0):
        """Ends the assistant as a Windows shutdown does; returns its exit code."""
        if self.process is None or self.process.poll() is not None:
            return self.process.returncode if self.process else None
        form = self.main_form()
        if form:
            self.sim.post(form, WM_ENDSESSION, 1, 0)
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=timeout)
            raise AssertionError("the assistant did not end after WM_ENDSESSION")

    # The day log.

    def log_files(self):
        return sorted(self.logs.glob("*.TXT"))

    def log_lines(self):
        lines = []
        for path in self.log_files():
            lines += path.read_bytes().decode("gbk").split("\r\n")[:-1]
        return lines

    def log_texts(self, needle=""):
        """The texts (timestamp cut off) of the log lines containing needle."""
        texts = []
        for line in self.log_lines():
            match = LOG_LINE.match(line)
            if match and needle in match.group(2):
                texts.append(match.group(2))
        return texts

    def wait_log(self, needle, count=1, timeout=10.0):
        return wait_until(lambda: len(self.log_texts(needle)) >= count and self.log_texts(needle),
                          timeout=timeout, message=f"{count} log line(s) with {needle!r}")

    def wait_ticks(self, ticks, heartbeat, timeout=None):
        """Waits until `ticks` more watch cycles have run, counted by the log
        line the heartbeat dialog (a visible "提示" without buttons) earns on
        every tick."""
        needle = f"ButtonTip={heartbeat},"
        start = len(self.log_texts(needle))
        self.wait_log(needle, start + ticks, timeout=timeout or 2.0 * ticks + 5)


@pytest.fixture
def assistant(wine, sim, program_dir):
    a = Assistant(wine, sim, program_dir)
    yield a
    if a.process is not None and a.process.poll() is None:
        a.process.kill()
        a.process.wait(timeout=10)


@pytest.fixture
def heartbeat(sim):
    """A prompt dialog without buttons: left alone, logged on every tick."""
    return sim.dialog("提示")
