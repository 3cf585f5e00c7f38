"""A chain's group-chat robot on loopback (fakes/robot.py) and the checks of
what it received: the text of each message and its signature, computed here
with Python's own hmac from the robots' documented rules, never from the
service's code."""

import base64
import hashlib
import hmac
import json
import subprocess
import sys
import time
import urllib.parse
from pathlib import Path

FAKE_ROBOT = Path(__file__).resolve().parents[1] / "fakes" / "robot.py"
# A signature's timestamp may be this far from the robot's clock (the robots
# take an hour).
SIGNATURE_SKEW_S = 3600


class FakeRobot:
    """fakes/robot.py of `kind` answering from `folder`; `answer` changes how
    it answers, `stop` leaves its port dead, `start` brings it back on the
    same port."""

    def __init__(self, folder, kind, port=0):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.kind = kind
        self.log = self.folder / "requests.jsonl"
        self.mode_file = self.folder / "mode"
        self.process = None
        self.port = port
        self.start()

    def start(self):
        port_file = self.folder / "port"
        port_file.unlink(missing_ok=True)
        self.process = subprocess.Popen(
            [sys.executable, str(FAKE_ROBOT), "--kind", self.kind, "--port", str(self.port),
             "--port-file", str(port_file), "--log", str(self.log), "--mode", str(self.mode_file)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        while not port_file.exists():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"the fake {self.kind} robot did not start on port {self.port}")
            time.sleep(0.02)
        self.port = int(port_file.read_text())
        return self

    def url(self, path_and_query):
        return f"http://127.0.0.1:{self.port}{path_and_query}"

    def answer(self, mode):
        """ok, error, too_fast or silent, from the next request on."""
        self.mode_file.write_text(mode)

    def requests(self):
        """Every request so far, oldest first: ms, target, body, answer."""
        if not self.log.exists():
            return []
        return [json.loads(line) for line in self.log.read_text(encoding="utf-8").splitlines() if line.strip()]

    def taken(self):
        """The requests the robot took (answered ok)."""
        return [r for r in self.requests() if r["answer"] == "ok"]

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        if self.process is not None and self.process.stderr is not None:
            self.process.stderr.close()


def message_text(kind, request):
    """The text a robot shows for a request, read by the robot's documented
    fields: msgtype/text.content (企业微信, 钉钉), msg_type/content.text (飞书),
    event/text (the plain JSON receiver)."""
    body = json.loads(request["body"])
    if kind in ("wecom", "dingtalk"):
        assert body["msgtype"] == "text", body
        return body["text"]["content"]
    if kind == "feishu":
        assert body["msg_type"] == "text", body
        return body["content"]["text"]
    assert body["event"] == "blacklist_hit", body
    return body["text"]


def _b64_hmac_sha256(key, message):
    return base64.b64encode(hmac.new(key.encode(), message.encode(), hashlib.sha256).digest()).decode()


def signature_error(kind, secret, request):
    """Why the request's signature is not the one the robot expects, or None.
    钉钉: timestamp (ms) and sign in the query, sign = URL-encoded Base64 of
    HMAC-SHA256 keyed with the secret over "timestamp\\nsecret". 飞书:
    timestamp (s, a string) and sign in the body, sign = Base64 of
    HMAC-SHA256 keyed with "timestamp\\nsecret" over nothing."""
    now_s = request["ms"] / 1000
    if kind == "dingtalk":
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(request["target"]).query)
        if "timestamp" not in query or "sign" not in query:
            return f"no timestamp or sign in {request['target']}"
        timestamp, sign = query["timestamp"][0], query["sign"][0]
        if abs(int(timestamp) / 1000 - now_s) > SIGNATURE_SKEW_S:
            return f"timestamp {timestamp} is not milliseconds of now"
        expected = _b64_hmac_sha256(secret, f"{timestamp}\n{secret}")
    elif kind == "feishu":
        body = json.loads(request["body"])
        timestamp, sign = body.get("timestamp"), body.get("sign")
        if not isinstance(timestamp, str) or not isinstance(sign, str):
            return f"no timestamp or sign string in {request['body']}"
        if abs(int(timestamp) - now_s) > SIGNATURE_SKEW_S:
            return f"timestamp {timestamp} is not seconds of now"
        expected = _b64_hmac_sha256(f"{timestamp}\n{secret}", "")
    else:
        return None
    return None if hmac.compare_digest(sign, expected) else f"sign {sign!r}, expected {expected!r}"
