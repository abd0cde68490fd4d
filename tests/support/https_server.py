#!/usr/bin/env python3
# Tavix CallerID tests: a local HTTPS server that answers as a test tells it and records requests.
"""Listens on 127.0.0.1 on a free port, prints the port on stdout once it accepts connections,
and serves until terminated. Each request is appended to --record as one JSON line:
{"connection": n, "client_port": p, "method": "GET", "target": raw path and query,
 "path": path, "query": [[key, value], ...] decoded as a form query}.

With --folder, a test program that may run under Wine (where it can neither read a Linux
program's output nor end it) talks to the server through files in FOLDER: the options come from
options.json (the long options' names with "_"), the port goes to "port", the output to
output.txt; the server ends when "stop" appears or the process watch_pid ends, and then writes
"stopped". --make-certificates FOLDER makes the test certificates there the same way ("made").
"""

import argparse
import http.server
import json
import os
import socket
import subprocess
import ssl
import struct
import sys
import threading
import time
import urllib.parse

CHUNK = 64 * 1024


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--folder", help="take options from and report through this folder")
    parser.add_argument("--make-certificates", metavar="FOLDER",
                        help="make a test authority and certificates in FOLDER, then end")
    parser.add_argument("--openssl", default="openssl", help="the openssl program")
    parser.add_argument("--cert", help="server certificate (PEM)")
    parser.add_argument("--key", help="server private key (PEM)")
    parser.add_argument("--record", help="file the requests are appended to")
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
    parser.add_argument("--silent", action="store_true",
                        help="accept connections and never answer their TLS handshake")
    parser.add_argument("--echo", action="store_true",
                        help="answer with the request, raw and decoded, as debugging pages do")
    options = parser.parse_args()
    options.watch_pid = 0
    if options.folder:
        with open(os.path.join(options.folder, "options.json"), encoding="utf-8") as settings:
            vars(options).update(json.load(settings))
    if not options.make_certificates and not (options.cert and options.key and options.record):
        parser.error("--cert, --key and --record are required")
    return options


OPENSSL_CONFIG = """[req]
distinguished_name = dn
prompt = no
[dn]
CN = Tavix test
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[self_signed]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
[other_name]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.example
"""


def make_certificates(folder, openssl):
    """authority, server (signed by authority) and self-signed, each as NAME.crt and NAME.key.
    RSA keys: Wine (8.0) rejects an ECDSA signature whose r or s is shorter than the curve,
    one certificate in a few hundred, and every request of that test program would fail."""
    config = os.path.join(folder, "openssl.cnf")
    with open(config, "w", encoding="utf-8") as out:
        out.write(OPENSSL_CONFIG)
    for name, extensions, signer in (
            ("authority", "authority", []),
            ("server", "server", ["-CA", "authority.crt", "-CAkey", "authority.key"]),
            ("self-signed", "self_signed", [])):
        subprocess.run([openssl, "req", "-x509", "-config", config, "-extensions", extensions,
                        "-newkey", "rsa:2048", "-noenc",
                        "-days", "2", "-subj", "/CN=Tavix test " + name,
                        "-keyout", name + ".key", "-out", name + ".crt", *signer],
                       cwd=folder, check=True)
    # Signed by the authority but for another name; and one that expired a day ago, which
    # "req -x509" cannot make.
    subprocess.run([openssl, "req", "-x509", "-config", config, "-extensions", "other_name",
                    "-newkey", "rsa:2048", "-noenc", "-days", "2", "-subj", "/CN=other.example",
                    "-keyout", "other-name.key", "-out", "other-name.crt",
                    "-CA", "authority.crt", "-CAkey", "authority.key"], cwd=folder, check=True)
    subprocess.run([openssl, "req", "-new", "-config", config, "-newkey", "rsa:2048", "-noenc",
                    "-subj", "/CN=Tavix test expired", "-keyout", "expired.key",
                    "-out", "expired.csr"], cwd=folder, check=True)
    subprocess.run([openssl, "x509", "-req", "-in", "expired.csr", "-days", "-1",
                    "-CA", "authority.crt", "-CAkey", "authority.key", "-extfile", config,
                    "-extensions", "server", "-out", "expired.crt"], cwd=folder, check=True)


def detach(folder):
    """Output to FOLDER/output.txt, and none of the starter's descriptors (Wine's among them)
    kept open: a test runner waits for its pipes to close."""
    output = os.open(os.path.join(folder, "output.txt"), os.O_WRONLY | os.O_CREAT | os.O_APPEND,
                     0o600)
    nothing = os.open(os.devnull, os.O_RDONLY)
    for target, source in ((0, nothing), (1, output), (2, output)):
        os.dup2(source, target)
    for descriptor in sorted(int(name) for name in os.listdir("/proc/self/fd")):
        if descriptor > 2:
            try:
                os.close(descriptor)
            except OSError:
                pass


def announce(folder, name, text=""):
    """FOLDER/NAME appears whole, at once."""
    path = os.path.join(folder, name)
    with open(path + ".new", "w", encoding="utf-8") as out:
        out.write(text)
    os.replace(path + ".new", path)


def running(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8") as stat:
            return stat.read().rpartition(")")[2].split()[0] != "Z"
    except OSError:
        return False


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
        if self.options.silent:
            time.sleep(3600)  # a daemon thread: it goes with the server
            return
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
    # Headers and body go out in separate writes: with Nagle's algorithm the body would wait
    # for the client's delayed acknowledgement of the headers (40 ms on Linux).
    disable_nagle_algorithm = True

    def __init__(self, request, client_address, server, connection):
        self.connection_number = connection
        super().__init__(request, client_address, server)

    def log_message(self, format, *args):
        pass

    def do_HEAD(self):
        path, _, query = self.path.partition("?")
        self.record(path, query)
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def record(self, path, query):
        self.server.record({
            "connection": self.connection_number,
            "client_port": self.client_address[1],
            "method": self.command,
            "target": self.path,
            "path": path,
            "query": urllib.parse.parse_qsl(query, keep_blank_values=True),
        })

    def do_GET(self):
        options = self.server.options
        path, _, query = self.path.partition("?")
        self.record(path, query)
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
        body = options.body
        if options.echo:
            body = (f"You asked for {self.command} https://{self.headers.get('Host', '')}"
                    f"{self.path} decoded: " + "&".join(f"{k}={v}" for k, v in pairs))
        body = body.encode("utf-8")
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


def serve_in_folder(options):
    folder = options.folder
    server = Server(options)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05},
                     daemon=True).start()
    announce(folder, "port", str(server.server_address[1]))
    stop = os.path.join(folder, "stop")
    while not os.path.exists(stop) and (not options.watch_pid or running(options.watch_pid)):
        time.sleep(0.05)
    server.shutdown()
    server.server_close()
    announce(folder, "stopped")


def main():
    options = parse_arguments()
    if options.make_certificates:
        detach(options.make_certificates)
        make_certificates(options.make_certificates, options.openssl)
        announce(options.make_certificates, "made")
    elif options.folder:
        detach(options.folder)
        serve_in_folder(options)
    else:
        server = Server(options)
        print(server.server_address[1], flush=True)
        server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
