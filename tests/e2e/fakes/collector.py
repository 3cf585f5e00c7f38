#!/usr/bin/env python3
"""Loopback stand-in for the collector of notices, for end-to-end tests.

Listens on UDP 127.0.0.1:8888 (--host, --port) and appends each datagram, as
upper-case hex on a line of its own, to --out (standard output without it).
Standard library only; runs until stopped.
"""
import argparse
import socket
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8888)
    parser.add_argument("--out", help="file that gets one hex line per datagram")
    parser.add_argument("--port-file", help="write the bound port here once ready")
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((args.host, args.port))
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write("%d\n" % sock.getsockname()[1])
    out = open(args.out, "a") if args.out else sys.stdout
    try:
        while True:
            datagram, _ = sock.recvfrom(65536)
            out.write(datagram.hex().upper() + "\n")
            out.flush()
    except KeyboardInterrupt:
        return 0


if __name__ == "__main__":
    sys.exit(main())
