"""How long the watch cycle waits for the network: runs the end-to-end tests
of tests/e2e/test_network_wait.py against the built Tollimer.exe and prints
the figures they measure: the time from the start-up line to the first watch
tick with the central service silent, the time from a swipe to its alert and
the longest gap between two watch ticks while a release trickles in, and the
time from the menu's exit to the program's end during that download. Prints
figures only (the tests' own bounds are generous).

    scripts/netns env TOLLIMER_32BIT=no TOLLIMER_EXE=$PWD/build/win/Tollimer.exe \\
        TOLLIMER_E2E_DIR=$PWD/build/e2e /usr/bin/python3 tests/bench/network_wait.py
"""

import subprocess
import sys
from pathlib import Path

E2E = Path(__file__).resolve().parents[1] / "e2e"


def main():
    run = subprocess.run([sys.executable, "-m", "pytest", str(E2E / "test_network_wait.py"), "-q", "-s",
                          "-p", "no:cacheprovider"], cwd=E2E, capture_output=True, text=True)
    figures = [line for line in run.stdout.splitlines() if line.startswith("FIGURE ")]
    for line in figures:
        print(line[len("FIGURE "):])
    if run.returncode != 0 or not figures:
        print(run.stdout[-3000:], run.stderr[-2000:], sep="\n", file=sys.stderr)
    return run.returncode


if __name__ == "__main__":
    sys.exit(main())
