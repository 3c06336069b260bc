#!/usr/bin/env python3
"""Loopback servers for the network tests.

  loopback_servers.py http ROOT [CERT KEY]   an HTTP (HTTPS with CERT and KEY) server of ROOT
  loopback_servers.py ftp ROOT [USER PASSWORD]   an FTP server of ROOT, anonymous and USER
  loopback_servers.py silent                 accepts connections and never answers

Listens on 127.0.0.1 on a free port, prints the port on a line of its own
and serves until its standard input closes (or it is killed).

The HTTP server knows a few names that misbehave on purpose:
  cut.1        promises 100000 bytes and sends 30000
  soft404.1    a "404" page sent with status 200 as text/html
  late404.1    a text page with "404" after its first 30 characters
  binary404.1  an octet stream whose first bytes are "404"
  moved.1      a redirection to sub/moved.1
"""
import http.server
import logging
import os
import socket
import ssl
import sys
import threading


def serve_until_stdin_closes(serve):
    def watch():
        sys.stdin.read()
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()
    serve()


def http_server(root, cert=None, key=None):
    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def log_message(self, *args):
            pass

        def answer(self, status, body, content_type, length=None, headers=()):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body) if length is None else length))
            for name, value in headers:
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()

        def do_GET(self):
            name = self.path.rsplit("/", 1)[-1]
            if name == "cut.1":
                self.answer(200, b"c" * 30000, "application/octet-stream", length=100000)
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
            elif name == "soft404.1":
                self.answer(200, b"<h1>404 Not Found</h1><p>gone</p>", "text/html")
            elif name == "late404.1":
                self.answer(200, b"This page is long enough; then 404 appears.", "text/plain")
            elif name == "binary404.1":
                self.answer(200, b"404" + bytes(range(256)), "application/octet-stream")
            elif name == "moved.1" and "/sub/" not in self.path:
                self.answer(302, b"", "text/plain", headers=[("Location", "/sub/moved.1")])
            else:
                super().do_GET()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    serve_until_stdin_closes(server.serve_forever)


def ftp_server(root, user=None, password=None):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    log = logging.getLogger("pyftpdlib")
    log.addHandler(logging.NullHandler())
    log.setLevel(logging.ERROR)
    log.propagate = False
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    if user:
        authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Brimwell test server ready."
    # A refused login is answered at once.
    handler.auth_failed_timeout = 0
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    serve_until_stdin_closes(server.serve_forever)


def silent_server():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    held = []

    def accept():
        while True:
            held.append(listener.accept()[0])
    serve_until_stdin_closes(accept)


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "http":
        http_server(*sys.argv[2:5])
    elif mode == "ftp":
        ftp_server(*sys.argv[2:5])
    elif mode == "silent":
        silent_server()
    else:
        sys.exit("unknown mode " + mode)
