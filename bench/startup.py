#!/usr/bin/env python3
"""Start-up time and resident memory of tavix-callerid against two empty Qt windows.

Both run on the offscreen platform. The clock runs from process start until the program's
event loop is running with both windows shown: for tavix-callerid, the first event of the
simulated box in the activity log (the box posts its device report as soon as it is opened,
and the log entry is written from the event loop, after start-up has shown both windows);
for the floor, a marker line that it writes from its first event-loop turn."""
import os
import shutil
import subprocess
import tempfile
import time


def _wait_for(path, needle, deadline):
    while time.monotonic() < deadline:
        try:
            with open(path, "rb") as f:
                if needle in f.read():
                    return True
        except FileNotFoundError:
            pass
        time.sleep(0.0005)
    return False


def _rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def measure(command, marker, needle, env):
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not _wait_for(marker, needle, start + 30):
            raise RuntimeError(f"{command[0]} did not come up")
        elapsed = time.monotonic() - start
        time.sleep(0.3)  # let start-up settle before reading memory
        return elapsed, _rss_kib(process.pid)
    finally:
        process.terminate()
        process.wait(timeout=20)


def run(bin_dir, repetitions=7):
    results = {"tavix-callerid": [], "minimal": []}
    for _ in range(repetitions):
        root = tempfile.mkdtemp(prefix="tavix-bench-start-")
        try:
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=root)
            for name in ("XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CONFIG_HOME"):
                env[name] = os.path.join(root, name.lower())
                os.makedirs(env[name], mode=0o700)
            env.pop("TAVIX_SIM_TRACE", None)
            log = os.path.join(env["XDG_STATE_HOME"], "tavix", "tavix.log")
            results["tavix-callerid"].append(
                measure([os.path.join(bin_dir, "tavix-callerid")], log, b"MCU_BACKDEVICE", env))
            marker = os.path.join(root, "shown")
            results["minimal"].append(
                measure([os.path.join(bin_dir, "tavix_minimal_two_windows"), marker], marker, b"shown", env))
        finally:
            shutil.rmtree(root, ignore_errors=True)
    median = lambda values: sorted(values)[len(values) // 2]
    return {name: {"startup_s": median([t for t, _ in runs]), "rss_kib": median([m for _, m in runs])}
            for name, runs in results.items()}


if __name__ == "__main__":
    import sys
    print(run(sys.argv[1]))
