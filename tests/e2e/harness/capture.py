"""What crosses the loopback interface on one TCP port, and every UDP
datagram, as a listener on the path would see it: an AF_PACKET socket on
"lo" (root: the tests run inside scripts/netns, whose loopback is their
own)."""

import socket
import struct
import threading

ETH_P_ALL = 0x0003
ETH_P_IP = 0x0800
IPPROTO_TCP = 6
IPPROTO_UDP = 17


class LoopbackCapture:
    """Collects the TCP payload bytes of every IPv4 packet on lo to or from
    `port`, and the payload of every UDP datagram on lo (a hit's notice goes
    to the collector so), until stop(). Each packet on lo is seen going out
    and coming in: both copies are kept, which changes no search for a text
    in them."""

    def __init__(self, port):
        self.port = port
        self.payload = bytearray()
        self.packets = 0
        self.datagrams = 0
        self.connections = 0  # connections opened to `port` (SYN without ACK, seen twice each)
        self._socket = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
        self._socket.bind(("lo", 0))
        self._socket.settimeout(0.2)
        self._stopped = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        while not self._stopped.is_set():
            try:
                frame = self._socket.recv(65600)
            except socket.timeout:
                continue
            self._take(frame)

    def _take(self, frame):
        if len(frame) < 34 or struct.unpack("!H", frame[12:14])[0] != ETH_P_IP:
            return
        ip = frame[14:]
        header = (ip[0] & 0x0F) * 4
        total = struct.unpack("!H", ip[2:4])[0]
        if ip[9] == IPPROTO_UDP and len(ip) >= header + 8:
            self.datagrams += 1
            self.payload += ip[header + 8:total]
            return
        if ip[9] != IPPROTO_TCP or len(ip) < header + 20:
            return
        tcp = ip[header:total]
        source, destination = struct.unpack("!HH", tcp[:4])
        if self.port not in (source, destination):
            return
        self.packets += 1
        if destination == self.port and tcp[13] & 0x12 == 0x02:
            self.connections += 1
        self.payload += tcp[(tcp[12] >> 4) * 4:]

    def stop(self):
        self._stopped.set()
        self._thread.join(timeout=5)
        self._socket.close()
        return bytes(self.payload)
