"""Serves a folder over HTTPS on 127.0.0.1 with the given certificate and key, for the tests
that prove HTTPS (certificates from the tests' own authority, tests/support/TestAuthority.h).

Usage: tls_server.py ROOT CERTFILE KEYFILE
Prints "PORT <n>" once it listens; a failed handshake ends that connection and the server goes on.
A file "<name>.redirect" makes <name> answer with a redirect to the address the file holds.
"""
import functools
import http.server
import os
import ssl
import sys


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):  # keeps the test output clean
        pass

    def send_head(self):
        """A file "<name>.redirect" answers for <name> with a redirect to the address it holds."""
        redirect = self.translate_path(self.path) + ".redirect"
        if not os.path.isfile(redirect):
            return super().send_head()
        with open(redirect) as f:
            location = f.read().strip()
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()
        return None


def main():
    root, certificate, key = sys.argv[1:4]
    handler = functools.partial(QuietHandler, directory=root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
