#!/usr/bin/env python3
"""A small web server for the update check test: http_cases.py DIR.

Listens on a free port of 127.0.0.1 and writes the port number to DIR/port once it accepts
connections. GET /updates/uilv.bin is answered the way the case named in DIR/case says (read
anew for every request, so the test switches cases between two checks); any other path is a
404. Every request leaves a line "CASE PATH" in DIR/requests.
"""

import http.server
import os
import struct
import sys
import threading

DIR = sys.argv[1]
UPDATE_PATH = "/updates/uilv.bin"


def update_file(version, name):
    """The 34-byte update file: version, then the installer name NUL-padded to 30 bytes."""
    raw = name.encode()
    assert len(raw) <= 30
    return struct.pack("<i", version) + raw.ljust(30, b"\0")


# case -> (status, extra headers, body); None: the connection is accepted and never answered.
CASES = {
    "current": (200, {}, update_file(118, "setup.exe")),
    "newer": (200, {}, update_file(119, "setup.exe")),
    "newer-spaced": (200, {}, update_file(119, "Kestrava Setup 1.19.exe")),
    "missing": (404, {}, b"not here\n"),
    "short": (200, {}, update_file(119, "setup.exe")[:20]),
    # Only the first 34 bytes count; what follows must not be taken for anything.
    "long": (200, {}, update_file(119, "setup.exe") + b"../other.exe" + b"x" * (10000 - 46)),
    "parent": (200, {}, update_file(119, "../setup.exe")),
    "to-file": (302, {"Location": "file:///etc/passwd"}, b""),
    "silent": None,
}

log_lock = threading.Lock()
never = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with open(os.path.join(DIR, "case")) as f:
            case = f.read().strip()
        with log_lock, open(os.path.join(DIR, "requests"), "a") as log:
            log.write(f"{case} {self.path}\n")
        answer = CASES.get(case, (500, {}, b"unknown case\n"))
        if self.path != UPDATE_PATH:
            answer = (404, {}, b"not here\n")
        if answer is None:
            never.wait()
            return
        status, headers, body = answer
        self.send_response(status)
        for key, value in headers.items():
            self.send_header(key, value)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass  # the client stopped reading once it had what it wanted

    def log_message(self, format, *args):
        sys.stderr.write("%s\n" % (format % args))


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
port_file = os.path.join(DIR, "port")
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
