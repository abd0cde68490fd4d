#!/usr/bin/env python3
"""Exit time of tavix-callerid after SIGTERM, with requests to the web application pending and
with none, on the simulated box and the offscreen platform.

The connector is the tests' local HTTPS server, told to hold every request back for longer than
the run. Three callers on three lines are sent and received by it; then the clock runs from
SIGTERM until the process has ended (LED off, device freed, one log entry per abandoned request)."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from connector import Connector  # noqa: E402


def _wait(predicate, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.01)
    return False


def measure(bin_dir, connector, root, pending):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=root)
    for name in ("XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CONFIG_HOME"):
        env[name] = os.path.join(root, name.lower())
        os.makedirs(env[name], mode=0o700)
    env.pop("TAVIX_SIM_TRACE", None)
    with open(os.path.join(env["XDG_CONFIG_HOME"], "Tavix.conf"), "w") as f:
        f.write(f"[CallerID]\nhost=127.0.0.1:{connector.port}\ncafile={connector.ca}\n")
    sim = lambda *args: subprocess.run([os.path.join(bin_dir, "tavix-sim"), *map(str, args)], env=env,
                                       capture_output=True, timeout=30).returncode == 0
    process = subprocess.Popen([os.path.join(bin_dir, "tavix-callerid")], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not _wait(lambda: sim("status")):
            raise RuntimeError("tavix-callerid did not open the simulated box")
        before = len(connector.requests())
        for line in range(pending):
            sim("call", line, f"01234{line}6789", "--interval-ms", 100)
        if not _wait(lambda: len(connector.requests()) == before + pending):
            raise RuntimeError("the callers did not reach the connector")
        start = time.monotonic()
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=120)
        return time.monotonic() - start
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def run(bin_dir, repetitions=5):
    folder = tempfile.mkdtemp(prefix="tavix-bench-exit-")
    connector = Connector(folder, delay=600)
    try:
        results = {}
        for pending in (0, 3):
            times = []
            for i in range(repetitions):
                root = os.path.join(folder, f"run-{pending}-{i}")
                os.makedirs(root)
                times.append(measure(bin_dir, connector, root, pending))
            results[pending] = sorted(times)[len(times) // 2]
        return results
    finally:
        connector.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    print(run(sys.argv[1]))
