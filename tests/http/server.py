#!/usr/bin/env python3
"""The HTTP client tests' server: listens on 127.0.0.1 only, on a free port.

Prints three lines: the port it serves, a port bound but never listening
(connections to it are refused), and a port serving the same paths over TLS
with a self-signed certificate that no client trusts (0 when the openssl
command is missing).  It ends by itself after --lifetime seconds.

Paths:
  /echo          any method: "METHOD /path", the request's header lines in
                 order, a blank line, then the request body
  /text          UTF-8 text with a byte-order mark, CR LF, a lone CR and LF
  /bytes         the 256 byte values in order
  /twice         X-Twice given twice, X-Once once
  /latin1        a header value in Latin-1
  /status/N      status N
  /redirect      302 to /text
  /bad-utf8      a body that is not UTF-8
  /silent        reads the request and never answers
  /truncated     claims 100 bytes, sends 5, closes
  /huge          claims 4000000000 bytes, sends 3, closes
  /garbage       bytes that are no HTTP response, then closes
  /bad-chunks    a chunked body whose chunk size is no number
  /endless       a body that never ends (stopped by the client's size limit)
  /endless-head  header lines that never end
"""
import argparse
import os
import shutil
import socket
import ssl
import subprocess
import tempfile
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

TEXT = "\ufeffone\r\ntwo\rthree\nfour caf\u00e9".encode("utf-8")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.close_connection = True

    def raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()
        self.close_connection = True

    def handle_any(self):
        path = self.path
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        if path == "/echo":
            lines = ["%s %s" % (self.command, path)]
            lines += ["%s: %s" % (k, v) for k, v in self.headers.items()]
            self.send(200, ("\n".join(lines) + "\n\n").encode("utf-8") + body,
                      [("Content-Type", "text/plain")])
        elif path == "/text":
            self.send(200, TEXT, [("Content-Type", "text/plain; charset=utf-8")])
        elif path == "/bytes":
            self.send(200, bytes(range(256)), [("Content-Type", "application/octet-stream")])
        elif path == "/twice":
            self.send(200, b"ok", [("X-Twice", "one"), ("X-Once", "1"), ("X-Twice", "two")])
        elif path == "/latin1":
            self.send(200, b"ok", [("X-Name", "caf\u00e9")])   # sent as Latin-1
        elif path.startswith("/status/"):
            code = int(path[len("/status/"):])
            self.send(code, ("status %d" % code).encode())
        elif path == "/redirect":
            self.send(302, b"", [("Location", "/text")])
        elif path == "/bad-utf8":
            self.send(200, b"ab\xff\xfecd")
        elif path == "/silent":
            self.wfile.flush()
            self.server.stopping.wait(60)
            self.close_connection = True
        elif path == "/truncated":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort")
        elif path == "/huge":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 4000000000\r\n\r\nabc")
        elif path == "/garbage":
            self.raw(b"\x00\xffnot http at all\r\n\r\n")
        elif path == "/bad-chunks":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n")
        elif path == "/endless":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
            chunk = b"x" * 65536
            deadline = time.time() + 60
            try:
                while time.time() < deadline and not self.server.stopping.is_set():
                    self.wfile.write(chunk)
            except OSError:
                pass
            self.close_connection = True
        elif path == "/endless-head":
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            line = b"X-Filler: " + b"y" * 1000 + b"\r\n"
            deadline = time.time() + 60
            try:
                while time.time() < deadline and not self.server.stopping.is_set():
                    self.wfile.write(line * 64)
            except OSError:
                pass
            self.close_connection = True
        else:
            self.send(404, b"no such path")

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = do_PATCH = do_OPTIONS = handle_any

    def handle_one_request(self):
        # Methods of any spelling are answered like the others.
        try:
            super().handle_one_request()
        except (ConnectionError, OSError):
            self.close_connection = True

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.handle_any
        raise AttributeError(name)


def tls_server():
    """The same paths over TLS, under a fresh self-signed certificate."""
    if not shutil.which("openssl"):
        return None
    folder = tempfile.mkdtemp(prefix="qor-http-tls-")
    key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                           "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if made.returncode != 0:
        return None
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    shutil.rmtree(folder, ignore_errors=True)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.stopping = threading.Event()
    server.socket = context.wrap_socket(server.socket, server_side=True)
    return server


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lifetime", type=float, default=600)
    args = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.stopping = threading.Event()
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))
    tls = tls_server()
    print(server.server_address[1])
    print(refused.getsockname()[1])
    print(tls.server_address[1] if tls else 0)
    sys.stdout.flush()
    if tls:
        threading.Thread(target=tls.serve_forever, daemon=True).start()
    timer = threading.Timer(args.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    try:
        server.serve_forever()
    finally:
        server.stopping.set()
        refused.close()


if __name__ == "__main__":
    main()
