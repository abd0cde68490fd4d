#!/usr/bin/env python3
# Tavix CallerID tests: a local HTTPS server that answers as a test tells it and records requests.
"""Listens on 127.0.0.1 on a free port, prints the port on stdout once it accepts connections,
and serves until terminated. Each request is appended to --record as one JSON line:
{"connection": n, "client_port": p, "method": "GET", "target": raw path and query,
 "path": path, "query": [[key, value], ...] decoded as a form query}.
"""

import argparse
import http.server
import json
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

CHUNK = 64 * 1024


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--cert", required=True, help="server certificate (PEM)")
    parser.add_argument("--key", required=True, help="server private key (PEM)")
    parser.add_argument("--record", required=True, help="file the requests are appended to")
    parser.add_argument("--body", default="OK", help="reply body (UTF-8)")
    parser.add_argument("--status", type=int, default=200, help="HTTP status of the reply")
    parser.add_argument("--header", action="append", default=[],
                        help="extra reply header as Name:Value")
    parser.add_argument("--delay", type=float, default=0.0,
                        help="seconds to wait before answering")
    parser.add_argument("--delay-only", default="",
                        help="KEY=VALUE: wait only before answering requests whose query has it")
    parser.add_argument("--reset", action="store_true",
                        help="reset the connection instead of answering")
    parser.add_argument("--large-body-mib", type=int, default=0,
                        help="answer with this many MiB instead of --body")
    return parser.parse_args()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, options):
        super().__init__(("127.0.0.1", 0), Handler)
        self.options = options
        self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.tls.load_cert_chain(options.cert, options.key)
        self.lock = threading.Lock()
        self.connections = 0

    def finish_request(self, request, client_address):
        # The handshake happens on the connection's own thread, so a client that stalls or
        # refuses the certificate holds up nobody else.
        try:
            request = self.tls.wrap_socket(request, server_side=True)
        except OSError:
            return
        with self.lock:
            self.connections += 1
            connection = self.connections
        try:
            self.RequestHandlerClass(request, client_address, self, connection)
        finally:
            request.close()

    def record(self, entry):
        with self.lock, open(self.options.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry) + "\n")

    def handle_error(self, request, client_address):
        pass  # clients that give up early are part of the tests


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keeps connections open for reuse

    def __init__(self, request, client_address, server, connection):
        self.connection_number = connection
        super().__init__(request, client_address, server)

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        options = self.server.options
        path, _, query = self.path.partition("?")
        self.server.record({
            "connection": self.connection_number,
            "client_port": self.client_address[1],
            "method": self.command,
            "target": self.path,
            "path": path,
            "query": urllib.parse.parse_qsl(query, keep_blank_values=True),
        })
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
        if options.delay and (not options.delay_only
                              or tuple(options.delay_only.split("=", 1)) in pairs):
            time.sleep(options.delay)
        if options.reset:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.close_connection = True
            self.connection.close()
            return
        if options.large_body_mib:
            self.send_large_body(options.large_body_mib * 1024 * 1024)
            return
        body = options.body.encode("utf-8")
        self.send_response(options.status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        for header in options.header:
            name, _, value = header.partition(":")
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def send_large_body(self, size):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        chunk = b"x" * CHUNK
        try:
            for sent in range(0, size, CHUNK):
                self.wfile.write(chunk[:min(CHUNK, size - sent)])
        except OSError:
            self.close_connection = True

    def finish(self):
        try:
            super().finish()
        except (OSError, ValueError):
            pass  # the connection was reset on purpose or dropped by the client


def main():
    server = Server(parse_arguments())
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
