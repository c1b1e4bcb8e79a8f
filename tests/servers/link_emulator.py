#!/usr/bin/python3
"""A slow link on loopback: a TCP proxy that adds a round-trip delay and a bandwidth limit
to every connection, for tests and benchmarks on a kernel without netem.

    link_emulator.py [options] KIND:LISTEN_HOST:PORT=TARGET_HOST:PORT ...

    KIND            "tcp" (plain relay, for HTTP) or "ftp" (see below)
    --delay-ms D    round-trip delay added to each connection (half each way); default 0
    --rate B        bytes per second per connection and direction; 0 = unlimited (default)
    --control FILE  "delay_ms D" and "rate B" lines read again at every new connection,
                    so a test can change the link between runs without restarting it; each
                    change of the file also starts the peaks afresh (peak = active)
    --stats FILE    counters, rewritten (write and rename) whenever they changed, at most
                    every 50 ms: lines "NAME.KEY VALUE" with NAME the listener ("tcp:80",
                    "ftp:21", "ftp-data") and KEY one of bytes_down (server to client),
                    bytes_up, connections (accepted so far), active, peak (most active at once);
                    and "link.changes N", how many changes of the control file were taken
    --lifetime S    ends by itself after S seconds (default 7200)

Every address must be a loopback address (127.0.0.0/8); at most 64 connections are relayed
at once per listener, later ones are closed at once.

FTP: the data connections of passive mode would bypass a plain relay, since the server names
its own address in the reply to PASV. The "ftp" kind reads the server's replies on the control
connection: for each "227 ... (h1,h2,h3,h4,p1,p2)" it opens a one-shot listener on the
proxy's own host, relays it (with the same delay and limit) to the address the server named,
and rewrites the reply to the proxy's address and port; "229 ... (|||p|)" (EPSV) likewise.
The client therefore only ever talks to the proxy. Active mode (PORT) is not relayed.
Outgoing connections are bound to the proxy's host, so the server sees one peer address for
the control and the data connections of a session.
"""
import argparse
import ipaddress
import os
import queue
import re
import socket
import sys
import threading
import time

MAX_ACTIVE = 64
CHUNK = 65536
QUEUE_CHUNKS = 8   # what a direction holds in flight, so back-pressure reaches the sender
DATA_ACCEPT_S = 30

LOCK = threading.Lock()
STATS = {}
CHANGED = threading.Event()
SETTINGS = {"delay_ms": 0, "rate": 0}
CONTROL = {"path": None, "mtime": None, "lock": threading.Lock(), "changes": 0}

PASV = re.compile(rb"^227 [^(]*\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")
EPSV = re.compile(rb"^229 [^(]*\(\|\|\|(\d+)\|\)")


def loopback(host):
    try:
        return ipaddress.ip_address(host).is_loopback
    except ValueError:
        return False


def counters(name):
    with LOCK:
        return STATS.setdefault(name, {"bytes_down": 0, "bytes_up": 0, "connections": 0,
                                       "active": 0, "peak": 0})


def count(name, key, amount):
    with LOCK:
        c = STATS[name]
        c[key] += amount
        if key == "active":
            c["peak"] = max(c["peak"], c["active"])
    CHANGED.set()


def current_settings():
    path = CONTROL["path"]
    with CONTROL["lock"]:
        if path:
            read_control(path)
        return dict(SETTINGS)


def read_control(path):
    if path:
        try:
            mtime = os.stat(path).st_mtime_ns
            if mtime != CONTROL["mtime"]:
                CONTROL["mtime"] = mtime
                CONTROL["changes"] += 1
                with LOCK:
                    for c in STATS.values():
                        c["peak"] = c["active"]
                CHANGED.set()
                for line in open(path):
                    key, _, value = line.strip().partition(" ")
                    if key in SETTINGS and value.strip().isdigit():
                        SETTINGS[key] = int(value)
        except OSError:
            pass


class Direction:
    """One way of a relayed connection: a reader that stamps each chunk with the time it may
    leave, and a writer that holds it until then and paces it to the rate."""

    def __init__(self, source, sink, name, key, settings, rewrite=None):
        self.source, self.sink = source, sink
        self.name, self.key = name, key
        self.delay = settings["delay_ms"] / 2000.0
        self.rate = settings["rate"]
        self.rewrite = rewrite
        self.chunks = queue.Queue(QUEUE_CHUNKS)

    def read(self):
        pending = b""
        try:
            while True:
                data = self.source.recv(CHUNK)
                if not data:
                    break
                if self.rewrite:
                    pending += data
                    lines = pending.split(b"\r\n")
                    pending = lines.pop()
                    data = b"".join(self.rewrite(line) + b"\r\n" for line in lines)
                    if not data:
                        continue
                self.chunks.put((time.monotonic() + self.delay, data))
        except OSError:
            pass
        if pending:
            self.chunks.put((time.monotonic() + self.delay, pending))
        self.chunks.put(None)

    def write(self):
        started, sent, ended = None, 0, False
        piece = max(1024, self.rate // 50) if self.rate else CHUNK
        try:
            while True:
                item = self.chunks.get()
                if item is None:
                    ended = True
                    break
                due, data = item
                wait = due - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                for i in range(0, len(data), piece):
                    part = data[i:i + piece]
                    if self.rate:
                        if started is None:
                            started = time.monotonic()
                        ahead = started + sent / self.rate - time.monotonic()
                        if ahead > 0:
                            time.sleep(ahead)
                    self.sink.sendall(part)
                    sent += len(part)
                    count(self.name, self.key, len(part))
        except OSError:
            pass
        try:
            self.sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        # After a failed write, drain so that the reader is never left blocked on a full queue.
        while not ended:
            ended = self.chunks.get() is None


def relay(client, target, own_host, name, rewrite=None):
    settings = current_settings()
    try:
        server = socket.socket()
        server.bind((own_host, 0))
        server.connect(target)
    except OSError:
        client.close()
        return
    count(name, "connections", 1)
    count(name, "active", 1)
    down = Direction(server, client, name, "bytes_down", settings, rewrite)
    up = Direction(client, server, name, "bytes_up", settings)
    threads = [threading.Thread(target=f, daemon=True) for f in (down.read, down.write, up.read, up.write)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    client.close()
    server.close()
    count(name, "active", -1)


def admit(name):
    with LOCK:
        return STATS[name]["active"] < MAX_ACTIVE


def serve(listener, target, own_host, name, rewrite_for=None):
    while True:
        client, _ = listener.accept()
        if not admit(name):
            client.close()
            continue
        rewrite = rewrite_for(own_host, target[0]) if rewrite_for else None
        threading.Thread(target=relay, args=(client, target, own_host, name, rewrite), daemon=True).start()


def data_listener(own_host, target):
    """One passive data connection: listens on the proxy's host, relays to the server's."""
    listener = socket.socket()
    listener.bind((own_host, 0))
    listener.listen(1)
    listener.settimeout(DATA_ACCEPT_S)

    def accept_once():
        try:
            client, _ = listener.accept()
            client.settimeout(None)
        except OSError:
            return
        finally:
            listener.close()
        relay(client, target, own_host, "ftp-data")

    threading.Thread(target=accept_once, daemon=True).start()
    return listener.getsockname()[1]


def ftp_rewriter(own_host, server_host):
    def rewrite(line):
        m = PASV.match(line)
        if m:
            host = ".".join(g.decode() for g in m.groups()[:4])
            port = int(m.group(5)) * 256 + int(m.group(6))
            if not loopback(host):
                return b"425 passive address refused by the link emulator"
            own = data_listener(own_host, (host, port))
            return b"227 Entering Passive Mode (%s,%d,%d)" % (own_host.replace(".", ",").encode(), own >> 8, own & 255)
        m = EPSV.match(line)
        if m:
            own = data_listener(own_host, (server_host, int(m.group(1))))
            return b"229 Entering Extended Passive Mode (|||%d|)" % own
        return line
    return rewrite


def write_stats(path):
    while True:
        CHANGED.wait(0.1)
        current_settings()
        if not CHANGED.is_set():
            continue
        CHANGED.clear()
        with LOCK:
            text = "".join("%s.%s %d\n" % (name, key, value)
                           for name in sorted(STATS) for key, value in STATS[name].items())
            text += "link.changes %d\n" % CONTROL["changes"]
        tmp = path + ".tmp"
        with open(tmp, "w") as f:
            f.write(text)
        os.replace(tmp, path)
        time.sleep(0.05)


def parse_spec(spec):
    m = re.match(r"^(tcp|ftp):([\d.]+):(\d+)=([\d.]+):(\d+)$", spec)
    if not m:
        raise SystemExit("bad listener %r (KIND:HOST:PORT=HOST:PORT)" % spec)
    kind, host, port, thost, tport = m.groups()
    if not loopback(host) or not loopback(thost):
        raise SystemExit("the link emulator works on loopback addresses only: %r" % spec)
    return kind, host, int(port), (thost, int(tport))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--control")
    parser.add_argument("--stats")
    parser.add_argument("--lifetime", type=float, default=7200)
    parser.add_argument("listeners", nargs="+")
    args = parser.parse_args()
    SETTINGS.update(delay_ms=args.delay_ms, rate=args.rate)
    CONTROL["path"] = args.control

    counters("ftp-data")
    for spec in args.listeners:
        kind, host, port, target = parse_spec(spec)
        name = "%s:%d" % (kind, port)
        counters(name)
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((host, port))
        listener.listen(128)
        threading.Thread(target=serve, daemon=True,
                         args=(listener, target, host, name, ftp_rewriter if kind == "ftp" else None)).start()
    if args.stats:
        CHANGED.set()
        threading.Thread(target=write_stats, args=(args.stats,), daemon=True).start()
    time.sleep(args.lifetime)


if __name__ == "__main__":
    sys.exit(main())
