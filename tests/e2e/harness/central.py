"""The fake central service (fakes/central_service.py) on 127.0.0.1:18080,
where the assistant's test build looks for it: its canned replies, changed
while it runs, and its record of the requests."""

import base64
import json
import os
import subprocess
import sys
from pathlib import Path

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
            raise RuntimeError(f"the fake central service did not start: {line!r}")

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

    def release(self, checksum, **reply):
        """What the download address of an executable with `checksum` gives."""
        self.table[f"{UPDATE_PATH}file/{checksum}.bin"] = reply
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
