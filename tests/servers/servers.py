#!/usr/bin/python3
"""Starts and stops the test servers on loopback addresses of their own.

    servers.py start STATE_DIR    start nginx, pyftpdlib and the fault server
    servers.py stop STATE_DIR     stop whatever start left running

Each run picks a fresh base address 127.0.0.x so that port 80 never collides with
anything on 127.0.0.1 or with another run:
    127.0.0.x:80     nginx serving STATE_DIR/www (Range, 206, Date)
    127.0.0.x:21     pyftpdlib serving STATE_DIR/ftp, anonymous and user "talv" / "secret"
    127.0.0.x+1:80   the fault server (fault_http.py) over STATE_DIR/www
    127.0.0.x+1:21   the fault FTP server (fault_ftp.py) over STATE_DIR/ftp, any login;
                     it drops its control connection on request (see fault_ftp.py)
    127.0.0.x+2:80   the link emulator (link_emulator.py) in front of nginx, and
    127.0.0.x+2:21   in front of pyftpdlib; no delay or limit until a test writes
                     STATE_DIR/link-control ("delay_ms D", "rate B"); counters in
                     STATE_DIR/link-stats
STATE_DIR/servers.env names them for the tests (KEY=VALUE lines, values quoted for sh), including the Windows
(Z:) form of the folders so that tests under Wine can write files the servers serve.
"""
import os
import random
import shlex
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def port_free(host, port):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind((host, port))
            return True
        except OSError:
            return False


def wait_listening(host, port, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection((host, port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def pick_base():
    candidates = list(range(10, 250, 3))
    random.shuffle(candidates)
    for x in candidates:
        hosts = ["127.0.0.%d" % (x + i) for i in range(3)]
        if all(port_free(h, p) for h in hosts for p in (80, 21)):
            return hosts
    raise SystemExit("no free loopback address for the test servers")


def write_nginx_conf(state, host):
    conf = os.path.join(state, "nginx.conf")
    www = os.path.join(state, "www")
    with open(conf, "w") as f:
        f.write("""daemon on;
pid {state}/nginx.pid;
error_log {state}/nginx-error.log;
worker_processes 1;
events {{ worker_connections 256; }}
http {{
  access_log {state}/nginx-access.log;
  client_body_temp_path {state}/tmp;
  proxy_temp_path {state}/tmp;
  fastcgi_temp_path {state}/tmp;
  uwsgi_temp_path {state}/tmp;
  scgi_temp_path {state}/tmp;
  default_type application/octet-stream;
  sendfile on;
  server {{
    listen {host}:80;
    root {www};
    location / {{ }}
  }}
}}
""".format(state=state, host=host, www=www))
    return conf


def start(state):
    state = os.path.abspath(state)
    stop(state)
    for sub in ("www", "ftp", "tmp"):
        os.makedirs(os.path.join(state, sub), exist_ok=True)
    base, fault, link = pick_base()

    conf = write_nginx_conf(state, base)
    subprocess.run(["nginx", "-c", conf, "-e", os.path.join(state, "nginx-error.log")], check=True)

    log = open(os.path.join(state, "servers.log"), "a")
    ftp = subprocess.Popen([sys.executable, os.path.join(HERE, "ftp_server.py"), base, "21",
                            os.path.join(state, "ftp")], stdout=log, stderr=log,
                           start_new_session=True)
    faults = subprocess.Popen([sys.executable, os.path.join(HERE, "fault_http.py"), fault, "80",
                               os.path.join(state, "www")], stdout=log, stderr=log,
                              start_new_session=True)
    ftp_faults = subprocess.Popen([sys.executable, os.path.join(HERE, "fault_ftp.py"), fault, "21",
                                   os.path.join(state, "ftp")], stdout=log, stderr=log,
                                  start_new_session=True)
    for name in ("link-control", "link-stats"):
        if os.path.exists(os.path.join(state, name)):
            os.unlink(os.path.join(state, name))
    emulator = subprocess.Popen([sys.executable, os.path.join(HERE, "link_emulator.py"),
                                 "--control", os.path.join(state, "link-control"),
                                 "--stats", os.path.join(state, "link-stats"),
                                 "tcp:%s:80=%s:80" % (link, base), "ftp:%s:21=%s:21" % (link, base)],
                                stdout=log, stderr=log, start_new_session=True)
    with open(os.path.join(state, "pids"), "w") as f:
        f.write("%d\n%d\n%d\n%d\n" % (ftp.pid, faults.pid, ftp_faults.pid, emulator.pid))

    for host, port in ((base, 80), (base, 21), (fault, 80), (fault, 21), (link, 80), (link, 21)):
        if not wait_listening(host, port):
            stop(state)
            raise SystemExit("test server %s:%d did not start" % (host, port))

    env = {
        "TALV_HTTP_HOST": base,
        "TALV_FTP_HOST": base,
        "TALV_FTP_USER": "talv",
        "TALV_FTP_PASSWORD": "secret",
        "TALV_FAULT_HOST": fault,
        "TALV_WWW_ROOT": os.path.join(state, "www"),
        "TALV_FTP_ROOT": os.path.join(state, "ftp"),
        "TALV_WWW_ROOT_WIN": wine_path(os.path.join(state, "www")),
        "TALV_FTP_ROOT_WIN": wine_path(os.path.join(state, "ftp")),
        "TALV_NGINX_ACCESS_LOG": os.path.join(state, "nginx-access.log"),
        "TALV_NGINX_ACCESS_LOG_WIN": wine_path(os.path.join(state, "nginx-access.log")),
        "TALV_LINK_HOST": link,
        "TALV_LINK_CONTROL_WIN": wine_path(os.path.join(state, "link-control")),
        "TALV_LINK_STATS_WIN": wine_path(os.path.join(state, "link-stats")),
    }
    with open(os.path.join(state, "servers.env"), "w") as f:
        for k, v in env.items():
            # Sourced by scripts/wine-run: quoted, or the shell eats the backslashes.
            f.write("%s=%s\n" % (k, shlex.quote(v)))
    print("test servers: http %s:80, ftp %s:21, fault %s:80 and %s:21, link %s:80 and %s:21"
          % (base, base, fault, fault, link, link))


def stop(state):
    state = os.path.abspath(state)
    pid_file = os.path.join(state, "nginx.pid")
    if os.path.exists(pid_file):
        try:
            os.kill(int(open(pid_file).read().strip()), signal.SIGQUIT)
        except (ValueError, ProcessLookupError):
            pass
        for _ in range(100):
            if not os.path.exists(pid_file):
                break
            time.sleep(0.05)
        if os.path.exists(pid_file):
            os.unlink(pid_file)
    pids = os.path.join(state, "pids")
    if os.path.exists(pids):
        for line in open(pids):
            try:
                os.killpg(int(line), signal.SIGTERM)
            except (ValueError, ProcessLookupError, PermissionError):
                pass
        os.unlink(pids)
    env = os.path.join(state, "servers.env")
    if os.path.exists(env):
        os.unlink(env)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        raise SystemExit(__doc__)
    (start if sys.argv[1] == "start" else stop)(sys.argv[2])
