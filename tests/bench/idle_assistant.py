"""What the assistant costs while nothing happens: starts Wine, the companion
simulator and Tollimer.exe with no billing-console window open, lets it run
idle for 60 seconds and prints its CPU use over that time and its memory at
the end; then runs build/win/idle_cycle_bench.exe in the same Wine and
prints its output. Prints figures only.

    /usr/bin/python3 tests/bench/idle_assistant.py

Scratch folder: build/bench-idle. The assistant runs as a cashier PC runs
it, without the log marker.
"""

import os
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from harness import (REPO_ROOT, WineSession, copy_program, start_program,  # noqa: E402
                     start_sim, wait_until, win_build_dir)

IDLE_SECONDS = 60
MAIN_FORM_CLASS = "TOrv_Assistant"
WM_ENDSESSION = 0x0016
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """utime + stime of every thread of the process, from /proc/<pid>/stat."""
    stat = Path(f"/proc/{pid}/stat").read_text()
    fields = stat[stat.rindex(")") + 2:].split()  # the name may hold spaces
    return (int(fields[11]) + int(fields[12])) / TICKS  # fields 14 and 15 of the line


def memory_kib(pid):
    values = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        key, _, rest = line.partition(":")
        if key in ("VmRSS", "VmHWM"):
            values[key] = int(rest.split()[0])
    return values


def processes_running(name):
    """Pids of this user's processes whose command line holds `name`."""
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if entry.stat().st_uid == os.getuid() and name.encode() in (entry / "cmdline").read_bytes():
                pids.append(int(entry.name))
        except OSError:
            pass  # ended meanwhile
    return pids


def windows_process(popen, exe_path):
    """The Unix process running exe_path: the Popen's own pid when wine ran
    the program in place (the usual case), else the one other process whose
    command line names this very program file."""
    own = f"/proc/{popen.pid}/cmdline"
    if exe_path.name.encode() in Path(own).read_bytes():
        return popen.pid, "the pid wine was started with"
    others = processes_running(str(exe_path))
    if len(others) != 1:
        raise RuntimeError(f"cannot tell which process runs {exe_path}: {others}")
    return others[0], "a process wine started on its way"


def wineserver_of(prefix):
    """The wineserver of this prefix: its working folder is the server folder
    named after the prefix's device and inode."""
    st = prefix.stat()
    folder = f"server-{st.st_dev:x}-{st.st_ino:x}"
    for pid in processes_running("wineserver"):
        try:
            if os.readlink(f"/proc/{pid}/cwd").endswith(folder):
                return pid
        except OSError:
            pass
    return None


def main():
    scratch = REPO_ROOT / "build" / "bench-idle"
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
        wait_until(lambda: sim.find(MAIN_FORM_CLASS, ""), timeout=20, message="the assistant's main window")
        pid, how = windows_process(process, folder / "Tollimer.exe")
        server = wineserver_of(wine.prefix)
        threads = len(list(Path(f"/proc/{pid}/task").iterdir()))
        print(f"Tollimer.exe: Unix process {pid} ({how}), threads: {threads}")

        cpu_start = cpu_seconds(pid)
        server_start = cpu_seconds(server) if server else None
        wall_start = time.monotonic()
        print(f"CPU used by start-up (until its main window was found): {cpu_start:.2f} s")
        print(f"running idle for {IDLE_SECONDS} s ...", flush=True)
        # The measurement itself: the assistant alone, nothing to do.
        time.sleep(IDLE_SECONDS)
        if process.poll() is not None:
            raise RuntimeError(f"the assistant ended during the idle run (exit code {process.returncode})")
        cpu = cpu_seconds(pid) - cpu_start
        wall = time.monotonic() - wall_start
        memory = memory_kib(pid)

        print(f"idle {wall:.1f} s: Tollimer.exe CPU {cpu:.2f} s = {100 * cpu / wall:.2f} % of one core")
        if server:
            served = cpu_seconds(server) - server_start
            print(f"idle {wall:.1f} s: wineserver (serves every program of the prefix) CPU {served:.2f} s "
                  f"= {100 * served / wall:.2f} % of one core")
        print(f"memory at the end: VmRSS {memory['VmRSS'] / 1024:.1f} MiB, "
              f"VmHWM {memory['VmHWM'] / 1024:.1f} MiB")

        sim.post(sim.find(MAIN_FORM_CLASS, ""), WM_ENDSESSION, 1, 0)
        process.wait(timeout=10)

        print("\nidle_cycle_bench.exe (same Wine, assistant ended):", flush=True)
        code, output = wine.call([win_build_dir() / "idle_cycle_bench.exe"], timeout=600)
        print(output.rstrip())
        if code != 0:
            raise RuntimeError(f"idle_cycle_bench.exe exited with {code}")
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
