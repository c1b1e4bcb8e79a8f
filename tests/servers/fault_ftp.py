#!/usr/bin/python3
"""A small passive-mode FTP server that drops its control connection on request.

    fault_ftp.py HOST PORT ROOT

Any user name and password are accepted; files come from ROOT (read only). RETR chooses the
behaviour by the first components of the file's path (relative to the current directory):
    <path>                         sent normally
    drop/<path>                    the control connection is closed at every RETR
    droponce/<key>/<path>          closed at the first RETR naming key, later ones served
A path (of CWD or RETR, joined to the current directory) may also begin with
    stallafter/<n>/<name>/<path>   served from <path>, but a file whose last component begins
                                   with <name> gets n bytes, then nothing on an open data
                                   connection until the client closes it (60 s at most)
A path (of CWD or RETR) whose first component is "cp950" is read in code page 950, as a
Windows FTP server reads a request in the system code page, and names the file or folder of
that (Unicode) name under ROOT; pyftpdlib reads every request as UTF-8, so a launcher's Big5
names find nothing there.
A dropped connection is what an idle session timed out by the server looks like to the
client. (Wine's WinINet reports it from FtpOpenFile as 12003 or 12110; Windows as 12030.)
Every command is appended to ROOT/../fault-ftp.log as "<connection> <COMMAND> <argument>".
"""
import os
import socket
import socketserver
import sys
import threading

ROOT = "."
HOST = "127.0.0.1"
COUNTS = {}
LOCK = threading.Lock()
CONNECTIONS = [0]


def seen(key):
    with LOCK:
        COUNTS[key] = COUNTS.get(key, 0) + 1
        return COUNTS[key]


class Handler(socketserver.StreamRequestHandler):
    def setup(self):
        super().setup()
        with LOCK:
            CONNECTIONS[0] += 1
            self.number = CONNECTIONS[0]
        self.cwd = "/"
        self.passive = None

    def reply(self, text):
        self.wfile.write((text + "\r\n").encode("latin-1"))
        self.wfile.flush()

    def record(self, command, argument):
        with LOCK, open(os.path.join(ROOT, "..", "fault-ftp.log"), "a") as f:
            f.write("%d %s %s\n" % (self.number, command, argument))

    def joined(self, name):
        return os.path.normpath(os.path.join(self.cwd, name)).lstrip("/")

    def stall_limit(self, name):
        """The bytes a stallafter path sends of the file before it stalls, or None."""
        parts = self.joined(name).split("/")
        if len(parts) > 3 and parts[0] == "stallafter" and parts[-1].startswith(parts[2]):
            return int(parts[1])
        return None

    def local(self, name):
        joined = self.joined(name)
        parts = joined.split("/")
        if parts[0] == "stallafter" and len(parts) >= 3:
            parts = parts[3:]
            joined = "/".join(parts)
        if parts[0] == "cp950":
            # The command line was read as Latin-1: these are the bytes the client sent.
            try:
                joined = "/".join(p.encode("latin-1").decode("cp950") for p in parts[1:])
            except UnicodeDecodeError:
                return None
        path = os.path.realpath(os.path.join(ROOT, joined))
        if path != os.path.realpath(ROOT) and not path.startswith(os.path.realpath(ROOT) + os.sep):
            return None
        return path

    def handle(self):
        self.reply("220 fault ftp ready")
        while True:
            line = self.rfile.readline()
            if not line:
                return
            line = line.decode("latin-1").rstrip("\r\n")
            command, _, argument = line.partition(" ")
            command = command.upper()
            self.record(command, argument)
            if not self.dispatch(command, argument):
                return

    def dispatch(self, command, argument):
        if command == "USER":
            self.reply("331 any password will do")
        elif command == "PASS":
            self.reply("230 logged in")
        elif command in ("TYPE", "MODE", "STRU", "NOOP", "OPTS"):
            self.reply("200 ok")
        elif command == "SYST":
            self.reply("215 UNIX Type: L8")
        elif command == "PWD":
            self.reply('257 "%s"' % self.cwd)
        elif command == "CWD":
            path = self.local(argument)
            if path is None or not os.path.isdir(path):
                self.reply("550 no such directory")
            else:
                # Kept as the client named it, so that a "cp950" folder reads its files so too.
                self.cwd = "/" + self.joined(argument).lstrip(".")
                self.reply("250 ok")
        elif command == "PASV":
            self.open_passive()
        elif command == "RETR":
            return self.retrieve(argument)
        elif command == "QUIT":
            self.reply("221 bye")
            return False
        else:
            self.reply("502 not implemented")
        return True

    def open_passive(self):
        if self.passive:
            self.passive.close()
        self.passive = socket.socket()
        self.passive.bind((HOST, 0))
        self.passive.listen(1)
        self.passive.settimeout(20)
        port = self.passive.getsockname()[1]
        self.reply("227 Entering Passive Mode (%s,%d,%d)" % (HOST.replace(".", ","), port >> 8, port & 255))

    def retrieve(self, argument):
        parts = argument.lstrip("/").split("/")
        if parts[0] == "drop":
            return False
        if parts[0] == "droponce":
            if seen(parts[1]) == 1:
                return False
            argument = "/".join(parts[2:]) if argument[0] != "/" else "/" + "/".join(parts[2:])
        path = self.local(argument)
        if path is None or not os.path.isfile(path) or self.passive is None:
            self.reply("550 no such file")
            return True
        limit = self.stall_limit(argument)
        self.reply("150 opening binary data connection")
        try:
            data, _ = self.passive.accept()
            with data, open(path, "rb") as f:
                content = f.read()
                if limit is not None:
                    data.sendall(content[:limit])
                    data.settimeout(60)
                    try:
                        data.recv(1)  # until the client closes
                    except socket.timeout:
                        pass
                    raise OSError("stalled")
                data.sendall(content)
        except OSError:
            self.reply("426 transfer aborted")
            return True
        finally:
            self.passive.close()
            self.passive = None
        self.reply("226 transfer complete")
        return True


def main():
    global ROOT, HOST
    HOST, port, ROOT = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    socketserver.ThreadingTCPServer.daemon_threads = True
    socketserver.ThreadingTCPServer.allow_reuse_address = True
    socketserver.ThreadingTCPServer((HOST, port), Handler).serve_forever()


if __name__ == "__main__":
    main()
