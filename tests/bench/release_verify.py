"""What the signature check costs a self-update, under Wine: for a release of
1 MiB and one of 10 MiB (the 64-bit Tollimer.exe padded to that size),
tollimer-central adds it signed with the test build's key and serves it on
loopback; build/win/release_verify_bench.exe then downloads it as the
assistant does, fetches its signature and checks it, and prints the times.
Prints figures only.

    /usr/bin/python3 tests/bench/release_verify.py [REPETITIONS]

Scratch folder: build/bench-release.
"""

import random
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from harness import REPO_ROOT, CentralProgram, WineSession, win_build_dir  # noqa: E402

SIZES_MIB = (1, 10)


def padded_release(exe, size, path):
    """The executable followed by random bytes up to `size`: still a Windows
    executable to tollimer-central, and a file of the size to measure."""
    data = exe.read_bytes()
    path.write_bytes(data + random.Random(size).randbytes(max(0, size - len(data))))
    return path


def main():
    repetitions = sys.argv[1] if len(sys.argv) > 1 else "5"
    scratch = REPO_ROOT / "build" / "bench-release"
    bench = win_build_dir() / "release_verify_bench.exe"
    exe = win_build_dir() / "Tollimer.exe"
    for needed in (bench, exe):
        if not needed.exists():
            print(f"{needed} is not built; run scripts/build", file=sys.stderr)
            return 1
    session = WineSession(scratch)
    try:
        wine = session.start()
        for mib in SIZES_MIB:
            data = scratch / f"central-{mib}"
            shutil.rmtree(data, ignore_errors=True)
            central = CentralProgram(data, http_port=0)
            try:
                release = padded_release(exe, mib << 20, scratch / f"release-{mib}.exe")
                print(central.run("release", "add", release).strip())
                update = f"http://127.0.0.1:{central.http_port}/tollimer/update/"
                code, output = wine.call([bench, update, repetitions], timeout=600)
                print(output.rstrip(), flush=True)
                if code != 0:
                    raise RuntimeError(f"release_verify_bench.exe exited with {code}")
            finally:
                central.stop()
        return 0
    except Exception as error:
        print(f"benchmark failed: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
