"""The central service on 127.0.0.1:18080, where the assistant's test build
looks for it: the real one (tollimer-central, built in the native tree), and
the fake (fakes/central_service.py) with canned replies for the faults a real
service does not produce (silence, garbage, cut downloads)."""

import base64
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from .signing import TEST_KEY, pe_machine_name, statement_of

FAKES = Path(__file__).resolve().parents[1] / "fakes"
FAKE = FAKES / "central_service.py"
sys.path.insert(0, str(FAKES))
import envelope  # noqa: E402  (the fakes' own envelope: DES-CBC, Base64)
UPDATE_PATH = "/tollimer/update/"
BLACKLIST_PATH = "/tollimer/data/blklist.txt"
# The parameter exchange's answer when a test asks for nothing else: the
# program is current and the parameters are the code defaults, so start-up
# goes on at once as with a service that has nothing to change.
DEFAULT_PAYLOAD = "delay=101\r\nclickmode=1\r\ninterval=60\r\nctidreturn=6\r\n"


REPO_ROOT = Path(__file__).resolve().parents[3]
CENTRAL_PROGRAM = REPO_ROOT / "build" / "native" / "tollimer-central"
CENTRAL_SEED = REPO_ROOT / "build" / "native" / "central_seed"
# The operator's parameters every test starts from: the assistant's own code
# defaults, so a start with the service is a start with nothing changed.
CODE_DEFAULT_PARAMS = {"delay": 101, "clickmode": 1, "interval": 60, "ctidreturn": 6}


class CentralProgram:
    """tollimer-central serving from a data folder of its own on the test
    build's HTTP port; notices on `collector_port` (0: any free port, so a
    test's own collector can have 8888). `run` is the operator's command line.
    Its release key is the test build's (`release_key`), so the releases it
    adds are the ones the test build installs."""

    def __init__(self, data, http_port=18080, collector_port=0, status_port="off", release_key=TEST_KEY,
                 config_lines=()):
        if not CENTRAL_PROGRAM.exists():
            raise RuntimeError(f"{CENTRAL_PROGRAM} is not built; run scripts/build")
        self.data = Path(data)
        self.data.mkdir(parents=True, exist_ok=True)
        # A configuration file of its own: the test build's key rows, which a
        # real chain's service refuses to serve with, allowed loudly by the
        # file's own line; and the lines a test needs.
        config = self.data.parent / f"{self.data.name}.conf"
        config.write_text("".join(line + "\n" for line in ("test_keys = yes", *config_lines)))
        self.options = ["--config", str(config), "--data", str(self.data)]
        self.set_release_key(release_key)
        for name, value in CODE_DEFAULT_PARAMS.items():
            self.run("params", "set", name, value)
        ports = self.data.parent / f"{self.data.name}.ports"
        ports.unlink(missing_ok=True)
        self.process = subprocess.Popen(
            [str(CENTRAL_PROGRAM), *self.options, "serve", "--http-port", str(http_port),
             "--collector-port", str(collector_port), "--status-port", str(status_port), "--port-file", str(ports)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while not (ports.exists() and "http=" in ports.read_text()):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"tollimer-central did not start (port {http_port} busy?)")
            time.sleep(0.05)
        # The ports it serves on (0: the one it picked).
        bound = dict(line.split("=", 1) for line in ports.read_text().split())
        self.http_port = int(bound["http"])
        self.status_port = int(bound.get("status", "-1"))

    def set_release_key(self, key):
        """The key `release add` signs with from now on, where keygen puts
        one; None: no key, releases are added unsigned."""
        target = self.data / "release-key.pem"
        target.unlink(missing_ok=True)
        if key is not None:
            shutil.copyfile(key, target)
            target.chmod(0o600)

    def run(self, *args):
        """One operator's command; its output."""
        result = subprocess.run([str(CENTRAL_PROGRAM), *self.options, *map(str, args)],
                                capture_output=True, timeout=60, check=True)
        return result.stdout.decode("utf-8", errors="replace")

    def list_one(self, id_number):
        """Imports a blacklist of one entry, `id_number`, as the operator does
        (a GBK file beside the data folder)."""
        listed = self.data.parent / f"{self.data.name}-blacklist.txt"
        listed.write_bytes(f"{id_number}\t张三\t2024-01-02\t打架斗殴\r\n".encode("gbk"))
        assert "imported 1 entries" in self.run("blacklist", "import", listed)

    def rows(self, *args):
        """A listing command's table as dicts by column name."""
        lines = self.run(*args).splitlines()
        header = lines[0].split("\t")
        return [dict(zip(header, line.split("\t"))) for line in lines[1:]]

    def stop(self):
        """Ends the service; the port is then dead (connections refused)."""
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=15)


def seeded_central(data, bars=50):
    """tollimer-central over a chain's month (central_seed: `bars` bars, their
    installations, releases and hits of 30 days), every listener on a free
    port and the status page on; its `status_port` says where the page is."""
    data = Path(data)
    data.mkdir(parents=True, exist_ok=True)
    seeded = subprocess.run([str(CENTRAL_SEED), str(data), str(bars)], capture_output=True, timeout=120, check=True)
    program = CentralProgram(data, http_port=0, collector_port="off", status_port=0)
    program.seeded = seeded.stdout.decode().strip()
    return program


class CentralService:
    def __init__(self, folder, port=18080):
        folder = Path(folder)
        folder.mkdir(parents=True, exist_ok=True)
        self.replies_file = folder / "replies.json"
        self.log = folder / "requests.jsonl"
        self.table = {}
        self.answer(DEFAULT_PAYLOAD)
        self.process = subprocess.Popen(
            [sys.executable, str(FAKE), "--port", str(port), "--log", str(self.log),
             "--replies", str(self.replies_file)],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        line = self.process.stdout.readline().decode()
        if "central service fake" not in line:
            self.process.wait(timeout=10)
            rest = self.process.stdout.read().decode(errors="replace")
            raise RuntimeError(f"the fake central service did not start: {(line + rest)[-600:]}")

    def _write(self):
        # Written whole and renamed, so the fake never reads half a table.
        part = self.replies_file.with_suffix(".part")
        part.write_text(json.dumps(self.table))
        os.replace(part, self.replies_file)

    def answer(self, payload=None, **reply):
        """The reply to the parameter exchange: `payload` is sealed between
        the markers; other keys as the fake's canned replies take them."""
        if payload is not None:
            reply["payload"] = payload
        self.table[UPDATE_PATH] = reply
        self._write()

    def reply(self, path, **reply):
        """Any other address's reply, as the fake's canned replies take it
        (status, body, body_file, mode, headers)."""
        self.table[path] = reply
        self._write()

    def blacklist(self, lines):
        """The blacklist download: `lines`, each sealed as the service seals
        blacklist lines: its GBK bytes under key row 3."""
        key, iv = envelope.key_row(3)
        sealed = [base64.b64encode(envelope.encrypt(line.encode("gbk"), key, iv)).decode("ascii")
                  for line in lines]
        self.reply(BLACKLIST_PATH, body="\r\n".join(sealed))

    def release(self, checksum, signature=TEST_KEY, number="1.0.0.2", machine=None, **reply):
        """What the download address of an executable with `checksum` gives,
        and the address of its statement beside it: a served `body_file`
        stated as release `number` for `machine` (the file's own processor
        unless told) and signed with the key file `signature` (the test
        build's by default), or the text `signature`, or nothing (a 404) for
        None."""
        self.table[f"{UPDATE_PATH}file/{checksum}.bin"] = reply
        if isinstance(signature, Path) and "body_file" in reply:
            signature = statement_of(reply["body_file"], number,
                                     machine or pe_machine_name(reply["body_file"]), signature).rstrip("\n")
        if isinstance(signature, str):
            self.table[f"{UPDATE_PATH}file/{checksum}.sig"] = {"body": signature + "\r\n"}
        else:
            self.table.pop(f"{UPDATE_PATH}file/{checksum}.sig", None)
        self._write()

    def requests(self, target_prefix=""):
        if not self.log.exists():
            return []
        entries = [json.loads(l) for l in self.log.read_text().splitlines() if l.strip()]
        return [e for e in entries if e["target"].startswith(target_prefix)]

    def stop(self):
        """Ends the service; the port is then dead (connections refused)."""
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.process.stdout.close()
