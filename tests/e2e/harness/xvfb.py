"""A private virtual X display for one test run."""

import subprocess
from pathlib import Path

from .wait import wait_until

DISPLAYS = range(90, 121)
SCREEN = "1920x1080x24"  # one monitor, as Wine reports it to the programs


def _taken(number):
    # Xvfb refuses a display whose lock file exists, but checking first keeps
    # its "already active" errors out of the log.
    return Path(f"/tmp/.X{number}-lock").exists() or Path(f"/tmp/.X11-unix/X{number}").exists()


class Xvfb:
    def __init__(self, log_path):
        self.log_path = Path(log_path)
        self.process = None
        self.display = None

    def start(self):
        """Starts Xvfb on the first free display and waits for its socket."""
        with open(self.log_path, "w") as log:
            for number in DISPLAYS:
                if _taken(number):
                    continue
                process = subprocess.Popen(
                    ["Xvfb", f":{number}", "-nolisten", "tcp", "-screen", "0", SCREEN],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
                socket = Path(f"/tmp/.X11-unix/X{number}")
                # Another run may take the same display between the check and
                # the start; Xvfb then exits and the next number is tried.
                wait_until(lambda: socket.exists() or process.poll() is not None, timeout=15,
                           message=f"Xvfb on :{number}")
                if process.poll() is None:
                    self.process, self.display = process, f":{number}"
                    return self.display
        raise RuntimeError(f"no free X display in :{DISPLAYS[0]}..:{DISPLAYS[-1]}; see {self.log_path}")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        self.process = None

