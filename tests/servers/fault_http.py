#!/usr/bin/python3
"""An HTTP server that misbehaves on request, for what real servers won't do.

    fault_http.py HOST PORT ROOT

Files come from ROOT; the first path components choose the behaviour:
    /<path>                        served normally (Range "bytes=n-" answered with 206)
    /cut/<n>/<path>                headers for the whole reply, then only n bytes, then close
    /cutonce/<n>/<key>/<path>      like cut for the first request naming key, then normal
    /status/<code>/<path>          answers <code> with a short page (and a Date header)
    /nodate/<path>                 served without a Date header
    /flaky/<k>/<key>/<path>        the first k requests naming key get 500, later ones succeed
    /slow/<bytes>/<ms>/<path>      the body in pieces of <bytes>, <ms> apart
    /stall/<path>                  headers, then nothing until the client gives up (60 s at most)
    /stallafter/<n>/<name>/<path>  served normally, but a file whose last component begins
                                   with <name> gets its headers and n bytes, then nothing until
                                   the client gives up (60 s at most)
    /silent/<path>                 the request is read and never answered (60 s at most)
    /cp950/<path>                  the path read in code page 950, as a Windows server reads it,
                                   and served from the file of that (Unicode) name
    /corrupt/<name>/<path>         served normally, but a file whose last component is <name>
                                   comes with its first byte changed (same length)
Every request is appended to ROOT/../fault-requests.log as "METHOD PATH RANGE".
"""
import email.utils
import os
import select
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ROOT = "."
COUNTS = {}
LOCK = threading.Lock()


def seen(key):
    with LOCK:
        COUNTS[key] = COUNTS.get(key, 0) + 1
        return COUNTS[key]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def date_time_string(self, timestamp=None):
        return email.utils.formatdate(timestamp, usegmt=True)

    def record(self):
        with LOCK, open(os.path.join(ROOT, "..", "fault-requests.log"), "a") as f:
            f.write("%s %s %s\n" % (self.command, self.path, self.headers.get("Range", "-")))

    def send_page(self, code, with_date=True):
        body = ("<html><body>%d</body></html>" % code).encode()
        self.send_response_only(code)
        if with_date:
            self.send_header("Date", self.date_time_string())
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def go_silent(self):
        """Sends nothing more until the client closes its end, or for 60 s at most."""
        self.wfile.flush()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 0.2)
            if readable and not self.connection.recv(4096, socket.MSG_PEEK):
                break
        self.close_connection = True

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        self.record()
        parts = self.path.lstrip("/").split("/")
        mode = parts[0]
        try:
            if mode == "cut":
                return self.serve(parts[2:], limit=int(parts[1]))
            if mode == "cutonce":
                limit = int(parts[1]) if seen("cutonce/" + parts[2]) == 1 else None
                return self.serve(parts[3:], limit=limit)
            if mode == "status":
                return self.send_page(int(parts[1]))
            if mode == "nodate":
                return self.serve(parts[1:], with_date=False)
            if mode == "flaky":
                if seen("flaky/" + parts[2]) <= int(parts[1]):
                    return self.send_page(500)
                return self.serve(parts[3:])
            if mode == "slow":
                return self.serve(parts[3:], piece=int(parts[1]), delay=int(parts[2]) / 1000.0)
            if mode == "corrupt":
                return self.serve(parts[2:], corrupt=parts[-1] == parts[1])
            if mode == "stall":
                return self.serve(parts[1:], stall=True)
            if mode == "stallafter":
                return self.serve(parts[3:], limit=int(parts[1]) if parts[-1].startswith(parts[2]) else None, silent=True)
            if mode == "silent":
                return self.go_silent()
            if mode == "cp950":
                # The request line arrives as bytes (read here as Latin-1).
                return self.serve([p.encode("latin-1").decode("cp950") for p in parts[1:]])
            return self.serve(parts)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def serve(self, parts, limit=None, with_date=True, piece=None, delay=0.0, stall=False, corrupt=False,
              silent=False):
        path = os.path.realpath(os.path.join(ROOT, *parts))
        if not path.startswith(os.path.realpath(ROOT)) or not os.path.isfile(path):
            return self.send_page(404, with_date)
        with open(path, "rb") as f:
            data = f.read()
        if corrupt and data:
            data = bytes([data[0] ^ 0xFF]) + data[1:]
        start = 0
        rng = self.headers.get("Range", "")
        if rng.startswith("bytes=") and rng[6:].split("-")[0].isdigit():
            start = int(rng[6:].split("-")[0])
        if start > len(data):
            return self.send_page(416, with_date)
        body = data[start:]
        self.send_response_only(206 if start else 200)
        if with_date:
            self.send_header("Date", self.date_time_string())
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
        self.end_headers()
        if self.command == "HEAD":
            return
        if stall:
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                time.sleep(0.2)
            self.close_connection = True
            return
        if limit is not None:
            self.wfile.write(body[:limit])
            if silent:
                return self.go_silent()
            self.wfile.flush()
            self.close_connection = True
            return
        if piece:
            for i in range(0, len(body), piece):
                self.wfile.write(body[i:i + piece])
                self.wfile.flush()
                time.sleep(delay)
            return
        self.wfile.write(body)


def main():
    global ROOT
    host, port, ROOT = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer((host, port), Handler).serve_forever()


if __name__ == "__main__":
    main()
