"""The Windows-side unit tests (win_tests.exe: registry, INI files, code-page
conversions, file digests, HTTP over WinInet) run under Wine with code page
936, in front of the fake central service they talk to."""

import subprocess
import sys
from pathlib import Path

from harness import win_build_dir

FAKE = Path(__file__).parent / "fakes" / "central_service.py"


def test_windows_side_unit_tests_pass(wine, tmp_path):
    exe = win_build_dir() / "win_tests.exe"
    assert exe.exists(), f"{exe} is not built"
    result = subprocess.run(
        [sys.executable, str(FAKE), "--port", "0", "--log", str(tmp_path / "requests.jsonl"),
         "--", wine.loader, str(exe)],
        env=wine.env, cwd=tmp_path, stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    output = result.stdout.decode("gbk", errors="replace") + result.stderr.decode("gbk", errors="replace")
    summary = [line for line in output.splitlines() if line.startswith(("[  PASSED  ]", "[  FAILED  ]", "[  SKIPPED ]"))]
    assert result.returncode == 0, output[-4000:]
    assert any(line.startswith("[  PASSED  ]") for line in summary), output[-4000:]
    assert not any(line.startswith(("[  SKIPPED ]", "[  FAILED  ]")) for line in summary), summary
