"""Serves a folder over HTTPS on 127.0.0.1 with the given certificate, for the secure-channel tests.

Usage: tls_server.py ROOT CERTFILE KEYFILE
Prints "PORT <n>" once it listens; a failed handshake is logged and the server goes on.
"""
import functools
import http.server
import ssl
import sys


def main():
    root, certificate, key = sys.argv[1:4]
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
