"""What a carousel step costs: composes two 1920 x 1080 JPEGs into
"Wallpaper.bmp" with build/win/carousel_bench.exe under Wine (and times the
step's parts, the whole step, and the picture search over a folder of 10 000
files), then has Debian's ImageMagick do the same composition on the same
files. Prints figures only.

    /usr/bin/python3 tests/bench/carousel_compose.py

Scratch folder: build/bench-carousel.
"""

import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from harness import REPO_ROOT, WineSession, win_build_dir  # noqa: E402

# The real ImageMagick: the `convert` first on PATH may be a stand-in.
CONVERT = "/usr/bin/convert-im6.q16"
RUNS = 5
LARGE_FOLDER_FILES = 10_000


def windows_path(path, folder=False):
    return "Z:" + str(path).replace("/", "\\") + ("\\" if folder else "")


def make_inputs(work):
    bg, top = work / "背景.jpg", work / "上层.jpg"
    # Gradients and noise, so the JPEGs carry detail as photos do.
    subprocess.run([CONVERT, "-size", "1920x1080", "gradient:#204080-#C0A060", "-attenuate", "0.3",
                    "+noise", "Gaussian", "-quality", "90", str(bg)], check=True)
    subprocess.run([CONVERT, "-size", "1920x1080", "plasma:fractal", "-quality", "90", str(top)], check=True)
    large = work / "大文件夹"
    large.mkdir()
    for i in range(LARGE_FOLDER_FILES):
        (large / (f"{i:05d}.jpg" if i % 10 == 0 else f"{i:05d}.txt")).write_bytes(b"x")
    return bg, top, large


def imagemagick(bg, top, out):
    """The same composition: background stretched to the screen, upper picture
    unscaled in the centre, a 24-bit BMP."""
    times = []
    for _ in range(RUNS):
        start = time.monotonic()
        subprocess.run([CONVERT, str(bg), "-resize", "1920x1080!", str(top), "-gravity", "center",
                        "-composite", "-type", "TrueColor", f"BMP3:{out}"], check=True)
        times.append(1000 * (time.monotonic() - start))
    return times


def main():
    scratch = REPO_ROOT / "build" / "bench-carousel"
    exe = win_build_dir() / "carousel_bench.exe"
    if not exe.exists():
        raise SystemExit(f"{exe} is not built; run scripts/build")
    session = WineSession(scratch)
    try:
        wine = session.start()
        work = scratch / "work"
        shutil.rmtree(work, ignore_errors=True)
        work.mkdir()
        bg, top, large = make_inputs(work)
        program = work / "program"
        program.mkdir()

        print(f"carousel_bench.exe under Wine ({RUNS * 2} runs each unless said):", flush=True)
        process = subprocess.run([wine.loader, str(exe), windows_path(bg), windows_path(top),
                                  windows_path(program, folder=True), windows_path(large, folder=True)],
                                 env=wine.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
        print(process.stdout.decode("gbk", errors="replace"), end="")
        if process.returncode != 0:
            print(process.stderr.decode("gbk", errors="replace")[-2000:])

        times = imagemagick(bg, top, work / "magick.bmp")
        print(f"{'ImageMagick convert, same composition into a BMP':<52} median "
              f"{statistics.median(times):8.1f} ms   fastest {min(times):8.1f} ms   ({RUNS} runs)")
    finally:
        session.stop()


if __name__ == "__main__":
    main()
