#!/usr/bin/env python3
# Tavix CallerID tests: a stand-in for the shop's web application on 127.0.0.1, with a throw-away
# certificate authority made at run time.
"""Used by the end-to-end tests, the benchmarks and the demonstration."""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def make_certificates(folder):
    """A test authority and a server certificate for 127.0.0.1 that it signed."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Tavix test CA",
            "-keyout", "ca.key", "-out", "ca.pem")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
            "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(folder, "san.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "san.ext", "-out", "server.pem")
    return os.path.join(folder, "ca.pem"), os.path.join(folder, "server.pem"), os.path.join(folder, "server.key")


class Connector:
    """The shop's web application: tests/support/https_server.py on 127.0.0.1."""

    def __init__(self, folder, body="OK", delay=0.0):
        """Certificates go into folder, which must exist; the server's port is self.port."""
        self.ca, cert, key = make_certificates(folder)
        self.record = os.path.join(folder, "requests.jsonl")
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "https_server.py"), "--cert", cert, "--key", key,
             "--record", self.record, "--body", body, "--delay", str(delay)],
            stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline())

    def requests(self):
        try:
            with open(self.record) as f:
                return [json.loads(line) for line in f]
        except FileNotFoundError:
            return []

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


def main():
    """Makes the certificates in FOLDER, then serves there: the port on stdout, as the server
    prints it; the authority in FOLDER/ca.pem, the requests in FOLDER/requests.jsonl."""
    import argparse
    parser = argparse.ArgumentParser(description=main.__doc__)
    parser.add_argument("folder")
    parser.add_argument("--body", default="OK")
    args = parser.parse_args()
    _, cert, key = make_certificates(args.folder)
    os.execv(sys.executable, [sys.executable, os.path.join(HERE, "https_server.py"), "--cert", cert,
                              "--key", key, "--record", os.path.join(args.folder, "requests.jsonl"),
                              "--body", args.body])


if __name__ == "__main__":
    main()
