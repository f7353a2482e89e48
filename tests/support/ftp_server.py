#!/usr/bin/python3
"""FTP server for the tests: serves one folder on 127.0.0.1 to user "solane", password "patch".

Usage: ftp_server.py ROOT
The first line on stdout is "PORT <n>". Passive and active transfers both work.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    logging.basicConfig(level=logging.CRITICAL)
    root = os.path.realpath(sys.argv[1])
    authorizer = DummyAuthorizer()
    authorizer.add_user("solane", "patch", root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "test server ready"
    handler.auth_failed_timeout = 0.1
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
