"""The cafe's identity at start-up: read from the billing console's
installation seeded into the Wine prefix, or asked of a fake billing server on
127.0.0.1:2985; and the checksum the running executable reports of itself."""

import json
import re
import subprocess
import sys
import zlib
from pathlib import Path

import pytest

from assistant import assistant  # noqa: F401
from harness import wait_until

FAKE = Path(__file__).parent / "fakes" / "billing_server.py"
CONSOLE_KEY = r"HKCU\Software\Orv\Console"
# The billing console is a 32-bit program: its machine-wide values live in the
# 32-bit view of HKEY_LOCAL_MACHINE, where both builds of the assistant read them.
V8_KEY = r"HKLM\SOFTWARE\Orv\Billing"


class Installation:
    """A billing console's folder under C:\\ and its registry values."""

    def __init__(self, wine, name):
        self.wine = wine
        self.folder = wine.prefix / "drive_c" / name
        self.folder.mkdir()
        self.windows_path = f"C:\\{name}\\"

    def ini(self, file_name, section, **values):
        lines = [f"[{section}]"] + [f"{k}={v}" for k, v in values.items()]
        (self.folder / file_name).write_bytes(("\r\n".join(lines) + "\r\n").encode("gbk"))

    def read_ini(self, file_name):
        return (self.folder / file_name).read_bytes().decode("gbk")


@pytest.fixture
def installation(wine):
    made = []

    def make(name="orv"):
        made.append(Installation(wine, name))
        return made[-1]

    yield make
    wine.reg_delete(r"HKCU\Software\Orv")
    wine.reg_delete(r"HKLM\SOFTWARE\Orv", view=32)
    for inst in made:
        for f in inst.folder.iterdir():
            f.unlink()
        inst.folder.rmdir()


@pytest.fixture
def billing_server(tmp_path):
    servers = []

    def start(mode="good", number="123456", client_name="abc"):
        record = tmp_path / f"billing-{len(servers)}.jsonl"
        record.touch()
        process = subprocess.Popen([sys.executable, str(FAKE), "--mode", mode, "--number", number,
                                    "--client-name", client_name, "--greet", "--record", str(record)],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        line = process.stderr.readline().decode()
        assert line.startswith("listening"), f"fake billing server did not start: {line!r}"
        servers.append(process)
        return lambda: [json.loads(l) for l in record.read_text().splitlines() if l.strip()]

    yield start
    for process in servers:
        process.terminate()
        process.wait(timeout=10)


def startup_line(assistant):
    return assistant.wait_log("Startup:", timeout=30)[0]


@pytest.mark.parametrize("mode, expected", [
    pytest.param("good", "ret=40000,barid=123456,barname=@abc", marks=pytest.mark.main_path),
    # The server closes without a reply: a failed receive, not a reply.
    ("close", "ret=53206,barid=53206,barname=接收GetInfo数据失败:10101"),
])
def test_start_up_asks_the_billing_server(wine, assistant, installation, billing_server, mode, expected):
    orv = installation()
    orv.ini("OrvBar.ini", "Bar", BarID="12", BarName="旧名")
    orv.ini("OrvHost.ini", "Server", IP="127.0.0.1")
    wine.reg_add(CONSOLE_KEY, "Path", orv.windows_path)
    requests = billing_server(mode)

    assistant.start()
    assert assistant.wait_log("ret=", timeout=30) == [expected]
    assert [r["cmd"] for r in requests()] == [833]
    barid, barname = expected.split(",")[1][6:], expected.split(",")[2][8:]
    assert f"barid={barid},barname={barname}" in startup_line(assistant)

    ini = orv.read_ini("OrvBar.ini")
    if mode == "good":
        assert "BarID=123456" in ini and "BarName=@abc" in ini and "Updated=1" in ini
        assert re.search(r"UpdateTime=\d{14}\r\n", ini), ini
    else:
        assert "BarID=12\r\n" in ini and "Updated" not in ini


@pytest.mark.parametrize("kind", ["v8", "long bar id"])
def test_no_query_when_the_installation_knows_the_bar(wine, assistant, installation, billing_server, kind):
    orv = installation()
    if kind == "v8":
        (orv.folder / "OrvV8.flag").write_bytes(b"")
        wine.reg_add(V8_KEY, "InstallDir", orv.windows_path.rstrip("\\"), view=32)
        wine.reg_add(V8_KEY, "BarID", "654321", view=32)
        wine.reg_add(V8_KEY, "BarName", "星空网吧", view=32)
        expected = "barid=654321,barname=V8:星空网吧"
    else:
        orv.ini("OrvBar.ini", "Bar", BarID="7654321", BarName="@星空网吧")
        wine.reg_add(CONSOLE_KEY, "Path", orv.windows_path)
        expected = "barid=7654321,barname=@星空网吧"
    orv.ini("OrvHost.ini", "Server", IP="127.0.0.1")
    requests = billing_server()

    assistant.start()
    assert expected in startup_line(assistant)
    assistant.wait_log("StartOK:")
    assert assistant.log_texts("ret=") == []
    assert requests() == []


def test_missing_host_file_is_logged_with_its_code(wine, assistant, installation):
    orv = installation()
    orv.ini("OrvBar.ini", "Bar", BarID="12")
    wine.reg_add(CONSOLE_KEY, "Path", orv.windows_path)
    assistant.start()
    assert assistant.wait_log("ret=", timeout=30) == ["ret=45000,barid=45000,barname=NoHostIP"]


def test_reports_the_crc32_of_its_own_executable(assistant):
    expected = f"{zlib.crc32((assistant.folder / 'Tollimer.exe').read_bytes()):08X}"
    assistant.start()
    assert f"crc={expected}," in startup_line(assistant)
