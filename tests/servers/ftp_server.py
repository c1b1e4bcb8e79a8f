#!/usr/bin/python3
"""pyftpdlib in passive mode: anonymous (read only) and user talv / secret (full rights).

    ftp_server.py HOST PORT ROOT
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    host, port, root = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("talv", "secret", root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = range(40000, 50000)
    server = FTPServer((host, port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
