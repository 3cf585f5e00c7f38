#!/usr/bin/env python3
"""Fake billing server for the end-to-end tests: answers "GetInfo" on TCP.

Listens on 127.0.0.1:2985 (by default), takes any number of connections (the
program probes first, then opens its session), optionally greets each one, reads
one request packet per connection and answers the way --mode says. Each request
read is recorded as one JSON line: {"cmd": 833, "datalen": 0, "bytes": 28,
"token": "<32 hex digits>"}.

Packet: "XXLDKS" (6 bytes), command (uint16 LE), DataLen (int32 LE), token (16
bytes), then DataLen bytes of GBK text.

Modes:
  good               reply "Number=<--number>\\r\\nClientName=<--client-name>"
  silent             read the request, never answer
  wrong-magic        a reply starting "ABCDEF" instead of "XXLDKS"
  datalen0           a bare header with DataLen 0
  datalen-too-large  DataLen 100 with only 10 bytes of data
  close              read the request, close without answering

Standard library only. Prints "listening HOST:PORT" on standard error once it
accepts connections (useful with --port 0), and stops on SIGTERM or Ctrl-C.
"""

import argparse
import json
import signal
import socket
import socketserver
import struct
import sys
import threading

MAGIC = b"XXLDKS"
HEADER = struct.Struct("<6sHi16s")  # 28 bytes
PAYLOAD_AREA = 32769
REPLY_CMD = 165


def packet(magic, data_len, data=b""):
    return HEADER.pack(magic, REPLY_CMD, data_len, b"\0" * 16) + data


def read_exactly(conn, size):
    chunks = b""
    while len(chunks) < size:
        try:
            chunk = conn.recv(size - len(chunks))
        except OSError:
            break
        if not chunk:
            break
        chunks += chunk
    return chunks


class Recorder:
    def __init__(self, path):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8") if path else sys.stdout

    def record(self, entry):
        with self._lock:
            self._file.write(json.dumps(entry) + "\n")
            self._file.flush()


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        opts = self.server.opts
        conn = self.request
        conn.settimeout(opts.idle_timeout)
        try:
            if opts.greet:
                conn.sendall(packet(MAGIC, 4, b"helo"))
            header = read_exactly(conn, HEADER.size)
            if len(header) < HEADER.size:
                return  # the probe connection, closed without a request
            magic, cmd, data_len, token = HEADER.unpack(header)
            data = b""
            if 0 < data_len <= PAYLOAD_AREA:
                data = read_exactly(conn, data_len)
            self.server.recorder.record({
                "cmd": cmd, "datalen": data_len, "bytes": len(header) + len(data),
                "magic": magic.decode("latin-1"), "token": token.hex(),
            })
            reply = self.server.reply
            if reply is None:  # silent or close
                if opts.mode == "close":
                    conn.shutdown(socket.SHUT_RDWR)
                    return
            else:
                conn.sendall(reply)
            # Hold the connection until the program closes it.
            while conn.recv(256):
                pass
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def build_reply(opts):
    if opts.mode == "good":
        text = "Number=%s\r\nClientName=%s" % (opts.number, opts.client_name)
        data = text.encode("gbk")
        return packet(MAGIC, len(data), data)
    if opts.mode == "wrong-magic":
        return packet(b"ABCDEF", 5, b"hello")
    if opts.mode == "datalen0":
        return packet(MAGIC, 0)
    if opts.mode == "datalen-too-large":
        return packet(MAGIC, 100, b"0123456789")
    return None  # silent, close


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mode", default="good",
                        choices=["good", "silent", "wrong-magic", "datalen0",
                                 "datalen-too-large", "close"])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=2985, help="0 picks a free port")
    parser.add_argument("--number", default="123456", help="bar id in a good reply")
    parser.add_argument("--client-name", default="abc",
                        help="bar name in a good reply (sent as GBK)")
    parser.add_argument("--greet", action="store_true",
                        help="send a 32-byte greeting packet on every connection")
    parser.add_argument("--record", help="append one JSON line per request to this file "
                                         "(default: standard output)")
    parser.add_argument("--idle-timeout", type=float, default=30.0,
                        help="seconds a connection may stay idle before it is dropped")
    opts = parser.parse_args(argv)

    server = Server((opts.host, opts.port), Handler)
    server.opts = opts
    server.reply = build_reply(opts)
    server.recorder = Recorder(opts.record)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    host, port = server.server_address
    print("listening %s:%d" % (host, port), file=sys.stderr, flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
