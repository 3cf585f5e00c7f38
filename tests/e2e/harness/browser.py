"""A page as a real browser renders it: Debian's chromium, headless, with a
fresh empty profile and nothing of its own going to the network (no
component updates, sync, QUIC or first-run pages), so what it shows comes
from the page alone."""

import shutil
import subprocess
from pathlib import Path

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
QUIET = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]


def _chromium(url, scratch, *what, timeout=90):
    scratch = Path(scratch)
    profile = scratch / "profile"
    shutil.rmtree(profile, ignore_errors=True)
    profile.mkdir(parents=True)
    # HOME too: the browser keeps caches and crash reports under it.
    env = {"HOME": str(scratch), "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
    result = subprocess.run([CHROMIUM, *QUIET, f"--user-data-dir={profile}", *what, url], env=env,
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
    if result.returncode != 0:
        raise RuntimeError(f"chromium ended with {result.returncode}: {result.stderr.decode(errors='replace')[-800:]}")
    return result.stdout.decode("utf-8", errors="replace")


def rendered_dom(url, scratch):
    """The document after the browser loaded and laid it out (--dump-dom)."""
    return _chromium(url, scratch, "--dump-dom")


def screenshot(url, scratch, path, width=1280, height=4200):
    """A picture of the page's first `height` pixels at `width`."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.unlink(missing_ok=True)
    _chromium(url, scratch, f"--screenshot={path}", f"--window-size={width},{height}", "--hide-scrollbars")
    if not path.exists() or path.stat().st_size == 0:
        raise RuntimeError(f"chromium wrote no screenshot to {path}")
    return path
