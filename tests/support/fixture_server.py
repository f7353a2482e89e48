#!/usr/bin/python3
r"""HTTP server for the tests: serves the folder ROOT on 127.0.0.1 and misbehaves on request.

Prints "PORT <n>" first. POST /__control {"path": ..., behaviour} sets how one file is answered
(only "path" restores it); POST /__reset forgets behaviours and the log; GET /__log returns
"REQUEST\t<method>\t<raw target>\t<decoded path>" lines, each followed by "HEADER\t<name>\t<value>"
and "PART\t<field name>\t<file name>\t<saved path>" lines (a multipart POST's parts, saved under
ROOT/__posts), with "\\", tab and newline escaped. Behaviour keys (see FixtureServer.h): status,
stall_after, close_after, content_length, omit_length, rate, forever, head (keys for HEAD only),
ignore_range, range_total, silent, etag and times (GETs until normal serving again). Other POSTs
are answered with the path's status. Files carry an ETag and a Last-Modified date; Range is
honoured unless If-Range names another version.
"""
import email.parser
import email.policy
import email.utils
import itertools
import json
import os
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

STATE_LOCK = threading.Lock()
BEHAVIOURS = {}
REQUEST_LOG = []
POST_NUMBERS = itertools.count(1)


def log_line(*fields):
    return "\t".join(f.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n") for f in fields) + "\n"


def normalise(path):
    return path.lstrip("/")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FixtureServer"

    def log_message(self, format, *args):  # keeps the test output clean
        pass

    def do_GET(self):
        if self.path == "/__log":
            self.send_log()
        else:
            self.serve(send_body=True)

    def do_HEAD(self):
        self.serve(send_body=False)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        data = self.rfile.read(length) if length > 0 else b""
        if self.path == "/__control":
            try:
                order = json.loads(data.decode("utf-8"))
                path = normalise(order.pop("path"))
            except (ValueError, KeyError, AttributeError):
                self.send_plain(400, b"bad control order\n")
                return
            with STATE_LOCK:
                if order:
                    BEHAVIOURS[path] = order
                else:
                    BEHAVIOURS.pop(path, None)
            self.send_plain(200, b"ok\n")
        elif self.path == "/__reset":
            with STATE_LOCK:
                BEHAVIOURS.clear()
                REQUEST_LOG.clear()
            self.send_plain(200, b"ok\n")
        else:
            self.receive_post(data)

    def receive_post(self, data):
        decoded = self.record(self.save_parts(data))
        with STATE_LOCK:
            status = int(BEHAVIOURS.get(normalise(decoded), {}).get("status", 200))
        self.send_plain(status, b"ok\n" if status == 200 else b"refused\n")

    def save_parts(self, data):
        content_type = self.headers.get("Content-Type", "")
        if not content_type.startswith("multipart/form-data"):
            return []
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + data)
        folder = os.path.join(self.server.root, "__posts")
        os.makedirs(folder, exist_ok=True)
        parts = []
        for part in message.iter_parts():
            name = part.get_param("name", header="content-disposition") or ""
            path = os.path.join(folder, "%d" % next(POST_NUMBERS))
            with open(path, "wb") as f:
                f.write(part.get_payload(decode=True) or b"")
            parts.append((name, part.get_filename() or "", path))
        return parts

    def send_plain(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_log(self):
        with STATE_LOCK:
            entries = list(REQUEST_LOG)
        lines = []
        for method, target, decoded, headers, parts in entries:
            lines.append(log_line("REQUEST", method, target, decoded))
            lines += [log_line("HEADER", *header) for header in headers]
            lines += [log_line("PART", *part) for part in parts]
        self.send_plain(200, "".join(lines).encode("utf-8", "surrogateescape"))

    def record(self, parts=()):
        """Logs the request; returns its decoded path (the raw target's bytes, as the client sent them)."""
        target = urllib.parse.urlsplit(self.path).path
        decoded = urllib.parse.unquote_to_bytes(target).decode("utf-8", "surrogateescape")
        with STATE_LOCK:
            REQUEST_LOG.append((self.command, self.path, decoded, list(self.headers.items()), list(parts)))
        return decoded

    def serve(self, send_body):
        name = normalise(self.record())
        with STATE_LOCK:
            behaviour = dict(BEHAVIOURS.get(name, {}))
            if send_body and "times" in behaviour:
                left = int(behaviour["times"]) - 1
                if left > 0:
                    BEHAVIOURS[name]["times"] = left
                else:
                    BEHAVIOURS.pop(name, None)
        if not send_body:  # "head" holds what differs for HEAD requests
            behaviour.update(behaviour.get("head", {}))
        if behaviour.get("silent"):  # the connection stays open, and nothing ever comes
            time.sleep(3600)
            return

        status = int(behaviour.get("status", 200))
        validators = []
        content_range = None
        if status == 200:
            full = os.path.realpath(os.path.join(self.server.root, name))
            inside = full == self.server.root or full.startswith(self.server.root + os.sep)
            status = 200 if inside and os.path.isfile(full) else 404
        if status in (204, 304):  # answers that never have a body; a client would read one as the next answer
            body = b""
        elif status != 200:
            body = ("<html><body>%d</body></html>\n" % status).encode()
        else:
            with open(full, "rb") as f:
                body = f.read()
            info = os.stat(full)
            etag = behaviour.get("etag", '"%x-%x"' % (info.st_size, info.st_mtime_ns))
            modified = email.utils.formatdate(info.st_mtime, usegmt=True)
            validators = [("ETag", etag), ("Last-Modified", modified), ("Accept-Ranges", "bytes")]
            if not behaviour.get("ignore_range"):
                status, body, content_range = self.ranged(body, etag, modified)
            if content_range and status == 206 and "range_total" in behaviour:
                content_range = content_range.rsplit("/", 1)[0] + "/%d" % int(behaviour["range_total"])

        endless = bool(behaviour.get("forever"))
        omit_length = endless or bool(behaviour.get("omit_length"))
        self.send_response(status)
        # Pages (a notice page) are shown by a browser; everything else is a download.
        page = name.endswith(".html") and status == 200
        self.send_header("Content-Type", "text/html" if page else "application/octet-stream")
        for header, value in validators:
            self.send_header(header, value)
        if content_range:
            self.send_header("Content-Range", content_range)
        # A server that closes after the answer says so, as real ones do (a client asked for it,
        # or asked with HTTP/1.0): a client may otherwise keep the connection for the next request.
        if omit_length or self.close_connection:
            self.send_header("Connection", "close")
        if not omit_length and status != 204:
            self.send_header("Content-Length", str(behaviour.get("content_length", len(body))))
        self.end_headers()
        if not send_body:
            return
        try:
            self.send_body(body, behaviour, endless)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def ranged(self, body, etag, modified):
        wanted = self.headers.get("Range", "")
        condition = self.headers.get("If-Range")
        if not wanted.startswith("bytes=") or (condition is not None and condition not in (etag, modified)):
            return 200, body, None
        first, _, last = wanted[len("bytes="):].partition("-")
        try:
            first = int(first)
            last = int(last) if last else len(body) - 1
        except ValueError:
            return 200, body, None
        if first >= len(body):
            return 416, b"", "bytes */%d" % len(body)
        last = min(last, len(body) - 1)
        return 206, body[first:last + 1], "bytes %d-%d/%d" % (first, last, len(body))

    def send_body(self, body, behaviour, endless):
        stall_after = behaviour.get("stall_after")
        close_after = behaviour.get("close_after")
        rate = behaviour.get("rate")
        piece = max(1, min(4096, int(rate) // 10)) if rate else 4096
        sent = 0
        filler = b"\0" * piece
        while True:
            if sent < len(body):
                chunk = body[sent:sent + piece]
            elif endless:
                chunk = filler
            else:
                break
            for limit in (stall_after, close_after):
                if limit is not None:
                    chunk = chunk[:max(0, int(limit) - sent)]
            if chunk:
                self.wfile.write(chunk)
                self.wfile.flush()
                sent += len(chunk)
            if stall_after is not None and sent >= int(stall_after):
                time.sleep(3600)
            if close_after is not None and sent >= int(close_after):
                self.close_connection = True
                return
            if rate:
                time.sleep(len(chunk) / float(rate))


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):  # clients that hang up are normal here
        pass


def main():
    root = os.path.realpath(sys.argv[1])
    server = Server(("127.0.0.1", 0), Handler)
    server.root = root
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
