#!/usr/bin/env python3
"""Asks the X window with the given title to close, as a window manager's
close button does (a WM_DELETE_WINDOW message), over the X11 protocol with
the Python standard library only. Wine turns that message into the
window's close command.

Usage: close_window.py TITLE        (uses $DISPLAY, a local ":N" display)
Exits 0 when the message was sent, 1 when no such window exists.
"""
import os
import socket
import struct
import sys

INTERN_ATOM, QUERY_TREE, GET_PROPERTY, SEND_EVENT = 16, 15, 20, 25
CLIENT_MESSAGE = 33
WM_NAME = 39


class Display:
    def __init__(self, name):
        number = name.split(":", 1)[1].split(".", 1)[0]
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect("/tmp/.X11-unix/X" + number)
        self.sock.sendall(struct.pack("<BxHHHHxx", ord("l"), 11, 0, 0, 0))
        head = self.read(8)
        if head[0] != 1:
            raise OSError("the X server refused the connection")
        setup = self.read(struct.unpack("<H", head[6:8])[0] * 4)
        vendor_length = struct.unpack("<H", setup[16:18])[0]
        formats = setup[21]
        screens_at = 32 + (vendor_length + 3) // 4 * 4 + 8 * formats
        self.root = struct.unpack("<I", setup[screens_at : screens_at + 4])[0]

    def read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise OSError("the X server closed the connection")
            data += chunk
        return data

    def request(self, opcode, detail, body):
        """Sends a request and returns its reply; None for an error."""
        self.sock.sendall(struct.pack("<BBH", opcode, detail, 1 + len(body) // 4) + body)
        while True:
            head = self.read(32)
            if head[0] == 0:
                return None
            if head[0] == 1:
                return head + self.read(struct.unpack("<I", head[4:8])[0] * 4)
            # An event: not asked for, skip it.

    def atom(self, name):
        raw = name.encode()
        body = struct.pack("<Hxx", len(raw)) + raw + b"\0" * (-len(raw) % 4)
        return struct.unpack("<I", self.request(INTERN_ATOM, 0, body)[8:12])[0]

    def children(self, window):
        reply = self.request(QUERY_TREE, 0, struct.pack("<I", window))
        if reply is None:
            return []
        count = struct.unpack("<H", reply[16:18])[0]
        return list(struct.unpack("<%dI" % count, reply[32 : 32 + 4 * count]))

    def title(self, window):
        body = struct.pack("<IIIII", window, WM_NAME, 0, 0, 256)
        reply = self.request(GET_PROPERTY, 0, body)
        if reply is None or reply[1] != 8:
            return None
        length = struct.unpack("<I", reply[16:20])[0]
        return reply[32 : 32 + length].decode("latin-1")

    def find(self, title):
        pending = [self.root]
        while pending:
            window = pending.pop()
            if self.title(window) == title:
                return window
            pending.extend(self.children(window))
        return None

    def ask_to_close(self, window):
        protocols, delete = self.atom("WM_PROTOCOLS"), self.atom("WM_DELETE_WINDOW")
        event = struct.pack("<BBHII5I", CLIENT_MESSAGE, 32, 0, window, protocols, delete, 0, 0, 0, 0)
        self.sock.sendall(struct.pack("<BBHII", SEND_EVENT, 0, 11, window, 0) + event)
        # A round trip makes sure the server has taken the event.
        self.atom("WM_PROTOCOLS")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: close_window.py TITLE")
    display = Display(os.environ.get("DISPLAY", ":0"))
    window = display.find(sys.argv[1])
    if window is None:
        sys.exit(1)
    display.ask_to_close(window)


if __name__ == "__main__":
    main()
