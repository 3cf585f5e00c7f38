#!/usr/bin/env python3
"""Loopback stand-in for the central service, for end-to-end tests.

Listens on 127.0.0.1:18080 (--port), records every request as one JSON line
(request line, header lines as sent, body) in --log, and answers:

  * canned replies per path from --replies, a JSON file re-read whenever it
    changes:  {"/tollimer/update/": {"status": 200, "body": "text",
               "body_file": "path", "headers": {"X-A": "b"},
               "payload": "delay=5\r\n...",
               "mode": "normal" | "stall" | "endless" | "cut" | "garbage"}}
    A key with a query ("/p?t=1") wins over the bare path ("/p").
    "payload" is sealed (envelope.py, key row 1) and put between the reply
    markers after "body": body + "[BODY]" + CR LF + sealed + "[END]".
    A "body_file" is served with "Range: bytes=n-" / "n-m" answered 206.
    "cut" announces the whole length, sends the first half and closes;
    "garbage" sends 64 KiB of random bytes as a 200 reply.
  * files under --files for any other GET, with "Range: bytes=n-" / "n-m"
    answered 206 (the path is percent-decoded as UTF-8);
  * built-in test routes under /__fake/:
      /__fake/echo...            200, body = the request as received
      /__fake/say?status=N&hex=H status N, body = the bytes of hex text H
      /__fake/stall              reads the request, never answers
      /__fake/endless            200 and a body without end
  * 404 for everything else.

Run in front of a command (--port 0 picks a free port):
  central_service.py --port 0 --log req.jsonl -- wine win_tests.exe
The command sees TOLLIMER_FAKE_SERVICE_PORT, TOLLIMER_FAKE_SERVICE_LOG (the log
as a Wine path, Z:\\...) and TOLLIMER_FAKE_DEAD_PORT (a loopback port where
nothing listens), and the fake's exit code is the command's.
Standard library only.
"""
import argparse
import http.server
import json
import os
import re
import select
import socket
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import envelope  # noqa: E402

OPEN_MARKER, CLOSE_MARKER = "[BODY]", "[END]"

STALL_SECONDS = 60
ENDLESS_CHUNK = b"x" * 65536


class _Tee:
    """Passes readline through and keeps every line, to record headers as sent."""

    def __init__(self, stream):
        self.stream = stream
        self.lines = []

    def readline(self, *args):
        line = self.stream.readline(*args)
        self.lines.append(line)
        return line

    def __getattr__(self, name):
        return getattr(self.stream, name)


class Replies:
    def __init__(self, path):
        self.path = path
        self.mtime = None
        self.table = {}
        self.lock = threading.Lock()

    def lookup(self, target):
        if not self.path:
            return None
        with self.lock:
            try:
                mtime = os.stat(self.path).st_mtime_ns
            except OSError:
                return None
            if mtime != self.mtime:
                with open(self.path, encoding="utf-8") as f:
                    self.table = json.load(f)
                self.mtime = mtime
            path = target.split("?", 1)[0]
            return self.table.get(target) or self.table.get(path)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeCentral/1"

    def log_message(self, format, *args):  # quiet; the JSON log is the record
        pass

    def parse_request(self):
        stream, self.rfile = self.rfile, _Tee(self.rfile)
        try:
            return super().parse_request()
        finally:
            self.header_lines = [l.decode("latin-1").rstrip("\r\n") for l in self.rfile.lines]
            self.header_lines = [l for l in self.header_lines if l]
            self.rfile = stream

    def do_GET(self):
        self.handle_any()

    do_POST = do_PUT = do_HEAD = do_DELETE = do_GET

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        request_line = self.raw_requestline.decode("latin-1").rstrip("\r\n")
        self.server.record({
            "time": time.time(),
            "client": self.client_address[0],
            "method": self.command,
            "target": self.path,
            "request_line": request_line,
            "headers": self.header_lines,
            # Bytes as latin-1 code points: .encode("latin-1") gives them back.
            "body": body.decode("latin-1"),
        })
        target = self.path
        path = urllib.parse.urlsplit(target).path
        if path.startswith("/__fake/"):
            return self.builtin(path, target, request_line, body)
        canned = self.server.replies.lookup(target)
        if canned is not None:
            return self.canned(canned)
        if self.command == "GET" and self.server.files:
            return self.serve_file(path)
        self.reply(404, b"not found")

    def reply(self, status, body, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def stall(self):
        # Holds the connection silent until the client gives up.
        deadline = time.time() + STALL_SECONDS
        while time.time() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 0.1)
            if readable and not self.connection.recv(1, 0x2):  # MSG_PEEK
                break
        self.close_connection = True

    def endless(self):
        self.send_response(200)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            while True:
                self.wfile.write(ENDLESS_CHUNK)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def builtin(self, path, target, request_line, body):
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(target).query)
        if path.startswith("/__fake/echo"):
            text = "\r\n".join([request_line] + self.header_lines) + "\r\n\r\n"
            return self.reply(200, text.encode("latin-1") + body)
        if path == "/__fake/say":
            status = int(query.get("status", ["200"])[0])
            return self.reply(status, bytes.fromhex(query.get("hex", [""])[0]))
        if path == "/__fake/stall":
            return self.stall()
        if path == "/__fake/endless":
            return self.endless()
        if path == "/__fake/trickle":
            return self.trickle(int(query.get("bytes", ["4000"])[0]),
                                float(query.get("gap_ms", ["2"])[0]) / 1000)
        self.reply(404, b"no such fake route")

    def trickle(self, size, gap):
        # A whole, announced reply that arrives one byte at a time.
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.flush()
        try:
            for _ in range(size):
                self.wfile.write(b"t")
                self.wfile.flush()
                time.sleep(gap)
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def canned(self, canned):
        mode = canned.get("mode", "normal")
        if mode == "stall":
            return self.stall()
        if mode == "endless":
            return self.endless()
        if mode == "garbage":
            return self.reply(200, os.urandom(65536))
        if "body_file" in canned:
            if mode == "cut":
                return self.cut(canned["body_file"])
            if mode == "trickle":
                return self.trickle_file(canned["body_file"], float(canned.get("seconds", 60)))
            if int(canned.get("status", 200)) == 200:
                return self.serve_file(canned["body_file"], absolute=True)
            with open(canned["body_file"], "rb") as f:
                body = f.read()
        else:
            text = canned.get("body", "")
            if "payload" in canned:
                text += OPEN_MARKER + "\r\n" + envelope.seal(canned["payload"]) + CLOSE_MARKER
            body = text.encode("utf-8")
        self.reply(int(canned.get("status", 200)), body, canned.get("headers"))

    def cut(self, name):
        """Announces the whole file, sends its first half, closes."""
        with open(name, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data[: len(data) // 2])
        self.wfile.flush()
        self.close_connection = True

    def trickle_file(self, name, seconds):
        """Announces the whole file and sends it in small pieces five times a
        second, so that it takes about `seconds` (a slow line that the
        download's low-speed limit still accepts)."""
        with open(name, "rb") as f:
            data = f.read()
        steps = max(1, int(seconds * 5))
        piece = -(-len(data) // steps)
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.flush()
        try:
            for start in range(0, len(data), piece):
                self.wfile.write(data[start:start + piece])
                self.wfile.flush()
                time.sleep(0.2)
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def serve_file(self, path, absolute=False):
        if absolute:
            name = path
        else:
            root = os.path.realpath(self.server.files)
            name = os.path.realpath(os.path.join(root, urllib.parse.unquote(path).lstrip("/")))
            if not name.startswith(root + os.sep):
                return self.reply(404, b"not found")
        if not os.path.isfile(name):
            return self.reply(404, b"not found")
        size = os.path.getsize(name)
        start, end, status = 0, size - 1, 200
        match = re.fullmatch(r"\s*bytes=(\d+)-(\d*)\s*", self.headers.get("Range") or "")
        if match:
            start = int(match.group(1))
            end = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
            if start >= size or start > end:
                return self.reply(416, b"", {"Content-Range": "bytes */%d" % size})
            status = 206
        self.send_response(status)
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        if self.command == "HEAD":
            return
        with open(name, "rb") as f:
            f.seek(start)
            left = end - start + 1
            try:
                while left > 0:
                    chunk = f.read(min(left, 1 << 20))
                    if not chunk:
                        break
                    self.wfile.write(chunk)
                    left -= len(chunk)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, log, files, replies):
        super().__init__(address, Handler)
        self.log_path = log
        self.files = files
        self.replies = Replies(replies)
        self.log_lock = threading.Lock()

    def record(self, entry):
        if not self.log_path:
            return
        with self.log_lock, open(self.log_path, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=True) + "\n")


def dead_port(host):
    """A loopback port that was free a moment ago and has no listener."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=18080)
    parser.add_argument("--log", help="JSON-lines record of every request")
    parser.add_argument("--files", help="folder served for GET, with Range support")
    parser.add_argument("--replies", help="JSON file of canned replies per path")
    parser.add_argument("--port-file", help="write the listening port here once ready")
    parser.add_argument("command", nargs=argparse.REMAINDER,
                        help="-- command to run while serving; its exit code is ours")
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command

    server = Server((args.host, args.port), args.log, args.files, args.replies)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write("%d\n" % port)
    if not command:
        print("central service fake on %s:%d" % (args.host, port), flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass
        return 0

    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    env = dict(os.environ, TOLLIMER_FAKE_SERVICE_PORT=str(port),
               TOLLIMER_FAKE_DEAD_PORT=str(dead_port(args.host)))
    if args.log:
        env["TOLLIMER_FAKE_SERVICE_LOG"] = wine_path(args.log)
    try:
        return subprocess.call(command, env=env)
    finally:
        server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
