#!/usr/bin/env python3
"""Loopback stand-in for a chain's group-chat robot, for end-to-end tests:
企业微信's group robot, 钉钉's custom robot, 飞书's custom bot, or a plain
JSON receiver (--kind wecom|dingtalk|feishu|json).

Listens on 127.0.0.1 (--port, 0: any free port; the bound port goes to
--port-file once it listens) and appends every POST as one JSON line to --log:
  {"ms": Unix milliseconds at arrival, "target": path and query,
   "body": the body as UTF-8 text, "answer": the mode it was answered in}
It checks nothing itself: the test checks the body and the signature, so a
fault of the fake cannot hide one of the service. How it answers is one word
in --mode FILE, read for every request ("ok" when the file is missing):
  ok        200 and the robot's own success body
  error     500
  too_fast  200 and the robot's own rate-limit answer
  silent    reads the request and never answers (until the robot stops)
Standard library only; runs until stopped.
"""
import argparse
import http.server
import json
import os
import sys
import threading
import time

# The bodies each robot answers with, as their documents give them.
ANSWERS = {
    "wecom": {"ok": {"errcode": 0, "errmsg": "ok"},
              "too_fast": {"errcode": 45009, "errmsg": "api freq out of limit"}},
    "dingtalk": {"ok": {"errcode": 0, "errmsg": "ok"},
                 "too_fast": {"errcode": 130101, "errmsg": "send too fast, exceed 20 times per minute"}},
    "feishu": {"ok": {"code": 0, "msg": "success", "data": {}},
               "too_fast": {"code": 11232, "msg": "frequency limited"}},
    "json": {"ok": {}, "too_fast": None},  # a chain's own system: HTTP 429
}
SILENT_SECONDS = 120
MAX_BODY = 1 << 20


class Robot(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, kind, log, mode_file):
        super().__init__(("127.0.0.1", port), Handler)
        self.kind, self.log_path, self.mode_file = kind, log, mode_file
        self.lock = threading.Lock()

    def mode(self):
        try:
            with open(self.mode_file) as f:
                return f.read().strip() or "ok"
        except OSError:
            return "ok"

    def record(self, entry):
        with self.lock, open(self.log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry, ensure_ascii=False) + "\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        arrived = int(time.time() * 1000)
        length = min(int(self.headers.get("Content-Length") or 0), MAX_BODY)
        body = self.rfile.read(length).decode("utf-8", errors="replace")
        mode = self.server.mode()
        self.server.record({"ms": arrived, "target": self.path, "body": body, "answer": mode,
                            "content_type": self.headers.get("Content-Type", "")})
        if mode == "silent":
            time.sleep(SILENT_SECONDS)
            return
        answers = ANSWERS[self.server.kind]
        if mode == "error":
            self.reply(500, b"robot error")
        elif mode == "too_fast" and answers["too_fast"] is None:
            self.reply(429, b"")
        else:
            self.reply(200, json.dumps(answers["too_fast" if mode == "too_fast" else "ok"]).encode())

    def reply(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kind", choices=sorted(ANSWERS), required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--mode", required=True, help="file holding the answer mode")
    args = parser.parse_args()
    robot = Robot(args.port, args.kind, args.log, args.mode)
    with open(args.port_file + ".part", "w") as f:
        f.write("%d\n" % robot.server_address[1])
    # Renamed into place: a reader never sees half the number.
    os.replace(args.port_file + ".part", args.port_file)
    try:
        robot.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
