"""Anonymous read-only FTP server for the integration tests.

    python3 qlk_ftpd.py ROOT PORT

Serves ROOT on 127.0.0.1:PORT. Both "anonymous" and "ftp" log in without a
password, as on the usual anonymous servers (pyftpdlib's own command line
knows only "anonymous"). Active mode (PORT, EPRT) works.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port = sys.argv[1], int(sys.argv[2])
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("ftp", "", root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
