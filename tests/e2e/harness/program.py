"""Starting and stopping the assistant, Tollimer.exe, under Wine."""

import shutil
import subprocess

from .paths import program_exe
from .sim import WM_CLOSE, WM_COMMAND, SimError

# Caption of the assistant's hidden application window: its single-instance
# marker, and the window a test can address to end it.
MAIN_CAPTION = "网吧Tollimer"
EXE_NAME = "Tollimer.exe"


def copy_program(program_dir, exe=None):
    """Copies a Tollimer.exe under test (the first one when `exe` is None)
    into program_dir; False when it is not built. The assistant keeps its logs
    and files beside itself, so each test gets a folder of its own."""
    exe = exe or program_exe()
    if not exe.exists():
        return False
    shutil.copy2(exe, program_dir / EXE_NAME)
    return True


def start_program(wine, program_dir, exe_name=EXE_NAME, env=None):
    """Starts the assistant from program_dir (also its working folder) and
    returns its Popen. It takes no command-line arguments."""
    exe = program_dir / exe_name
    if not exe.exists():
        raise FileNotFoundError(f"{exe} is missing; is {program_exe()} built?")
    return wine.run([exe], cwd=program_dir, log=exe.stem, env=env)


def stop_program(process, sim, command=None, timeout=10.0):
    """Ends the assistant and returns its exit code.

    Posts to the window captioned MAIN_CAPTION either WM_COMMAND with
    `command` (a menu command id, such as the exit command's) or, without
    one, WM_CLOSE; waits up to `timeout` seconds for the process to end, and
    kills it when it does not. A process that is already gone is fine.
    """
    if process.poll() is None:
        try:
            hwnd = sim.find("", MAIN_CAPTION)
            if hwnd:
                if command is None:
                    sim.post(hwnd, WM_CLOSE)
                else:
                    sim.post(hwnd, WM_COMMAND, command, 0)
        except (OSError, SimError):
            pass  # the window went away meanwhile, or the simulator did
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait(timeout=timeout)
