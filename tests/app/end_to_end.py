#!/usr/bin/env python3
"""Tavix CallerID end-to-end tests: the real program under Xvfb on the simulated box."""
import os
import shlex
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

BIN = os.environ["TAVIX_BIN_DIR"]
SUPPORT = os.environ["TAVIX_TEST_SUPPORT_DIR"]
sys.path.insert(0, SUPPORT)
from connector import Connector  # noqa: E402
ARTIFACTS = os.environ.get("TAVIX_ARTIFACT_DIR", os.path.join(BIN, "..", "artifacts"))
FORM1_TITLE = "AD101Demo Version1.0.2.04 (20100325 Built)"
MAIN_TITLE = "Tavix CallerID"
STARTUP_CALLS = [
    "AD101_InitDevice handle",
    "AD101_GetDevice",
    "AD101_SetDialOutStartTalkingTime 3",
    "AD101_SetRingOffTime 7",
    "AD101_SetLED 0 1",
    "AD101_ShowCollateralPhoneDialed 1",
    "AD101_SetLED 0 3",
]


def wait_until(predicate, timeout=20.0, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(step)
    return predicate()


class Xvfb:
    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def session_class():
    """The user's session a test runs in: Linux's own, or with TAVIX_SESSION=wine a Windows
    account under Wine, for the Windows build."""
    if os.environ.get("TAVIX_SESSION") == "wine":
        from end_to_end_windows import WineSession
        return WineSession
    return Session


class SimBatch:
    """`tavix-sim batch`: one tool for many commands, each answered with its exit status."""

    def __init__(self, command, env):
        self.process = subprocess.Popen([*command, "batch"], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True, bufsize=1)

    def run(self, *args):
        self.process.stdin.write(shlex.join(map(str, args)) + "\n")
        self.process.stdin.flush()
        for line in self.process.stdout:
            if line.startswith("exit "):
                return int(line.split()[1])
        raise AssertionError("tavix-sim batch ended early")

    def close(self):
        self.process.stdin.close()
        status = self.process.wait(timeout=60)
        self.process.stdout.close()
        return status


class Session:
    """A user account of its own: home, runtime, state and config folders in a temporary tree."""

    wine = False
    # Between two calls of a burst.
    burst_pause = 0.005
    # Where a window's client area starts inside the window X shows: the desktop draws no frames.
    client_origin = (0, 0)

    def __init__(self, display):
        self.root = tempfile.mkdtemp(prefix="tavix-e2e-")
        self.env = dict(os.environ)
        for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CONFIG_HOME"):
            path = os.path.join(self.root, name.lower())
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        self.env["DISPLAY"] = display
        self.env.pop("QT_QPA_PLATFORM", None)
        # Never the desktop's own session bus: a bus that is not there, so notifications go nowhere.
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.root, "no-bus")
        if "LSAN_OPTIONS" in self.env:
            # Under the sanitizers: leaks left by Qt's own threads at exit are not ours.
            self.env["LSAN_OPTIONS"] = "suppressions={}:print_suppressions=0".format(
                os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan-program.supp"))
        self.trace_file = os.path.join(self.root, "trace.txt")
        self.env["TAVIX_SIM_TRACE"] = self.trace_file
        self.log_file = os.path.join(self.env["XDG_STATE_HOME"], "tavix", "tavix.log")
        self.program = None
        self.bin = BIN

    def prepare(self, authority):
        """The account as a shop sets it up before the first start; `authority` is trusted by the
        program through its cafile setting, so nothing more here."""

    def web_host(self, port):
        return f"127.0.0.1:{port}"

    def configure(self, **values):
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "Tavix.conf"), "w") as f:
            f.write("[CallerID]\n")
            for key, value in values.items():
                f.write(f"{key}={value}\n")

    def start(self, binary=None, wrapper=()):
        self.stderr_file = os.path.join(self.root, "stderr.txt")
        with open(self.stderr_file, "ab") as stderr:
            self.program = subprocess.Popen([*wrapper, binary or os.path.join(BIN, "tavix-callerid")],
                                            env=self.env, stdout=subprocess.DEVNULL, stderr=stderr)
        return self.program

    def stderr(self):
        with open(self.stderr_file, errors="replace") as f:
            return f.read()

    def sim(self, *args, check=True):
        result = subprocess.run([os.path.join(self.bin, "tavix-sim"), *map(str, args)], env=self.env,
                                capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError(f"tavix-sim {' '.join(map(str, args))}: {result.stderr}")
        return result

    def batch(self):
        return SimBatch([os.path.join(self.bin, "tavix-sim")], self.env)

    def history_file(self):
        return os.path.join(self.env["XDG_STATE_HOME"], "tavix", "calls.sqlite")

    def history(self, sql):
        """The rows of a query on the calls list, read beside the program as SQLite allows."""
        db = sqlite3.connect(f"file:{self.history_file()}?mode=ro", uri=True, timeout=5)
        try:
            return db.execute(sql).fetchall()
        finally:
            db.close()

    def uncover_main(self):
        """Where windows open over the main window, moves them aside; here none does."""

    def capture(self, window, name):
        os.makedirs(ARTIFACTS, exist_ok=True)
        path = os.path.join(ARTIFACTS, name)
        subprocess.run([os.path.join(BIN, "tavix-screenshot"), "--window", window, path],
                       env=self.env, check=True, timeout=30)
        return path

    def dialog_path(self, path):
        """A path as it is typed into the program's file dialogs."""
        return path

    def kill(self):
        os.kill(self.program.pid, signal.SIGKILL)

    def wait_for_box(self):
        ok = wait_until(lambda: self.sim("status", check=False).returncode == 0)
        if not ok:
            ended = self.program.poll() if self.program else None
            raise AssertionError("the program did not open the simulated box"
                                 + (f" (it ended with {ended})" if ended is not None else "")
                                 + f"; it wrote:\n{self.stderr()}")

    def trace(self):
        return self.sim("trace").stdout.splitlines()

    def log(self):
        try:
            with open(self.log_file, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def window_id(self, title):
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                              text=True).stdout
        for line in tree.splitlines():
            if f'"{title}"' in line:
                return line.split()[0]
        return None

    def screenshot(self, title, name):
        window = wait_until(lambda: self.window_id(title))
        if not window:
            raise AssertionError(f"no window titled {title!r}")
        return self.capture(window, name)

    def windows_titled(self, title):
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                              text=True).stdout
        return sum(f'"{title}"' in line for line in tree.splitlines())

    def entries(self):
        """The texts of the log's entries, NULs removed."""
        return [entry.split(b": ", 1)[1].replace(b"\0", b"").decode("latin-1")
                for entry in self.log().split(b"\r\n...\r\n") if entry]

    def last_device_calls(self, count=2):
        with open(self.trace_file) as f:
            return f.read().splitlines()[-count:]

    def close(self, sig=signal.SIGTERM):
        """Closes the program the way a session end does and returns its exit status."""
        if self.program.args[0] == "strace":
            # The signal is for the program, not for the tracer that started it.
            with open(f"/proc/{self.program.pid}/task/{self.program.pid}/children") as f:
                os.kill(int(f.read().split()[0]), sig)
        else:
            self.program.send_signal(sig)
        status = self.program.wait(timeout=20)
        if status != 0:
            sys.stderr.write(f"tavix-callerid exited with {status}:\n{self.stderr()[-4000:]}\n")
        return status

    def cleanup(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        shutil.rmtree(self.root, ignore_errors=True)


class EndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def setUp(self):
        self.session = Session(self.xvfb.display)
        self.addCleanup(self.session.cleanup)

    def test_startup_events_and_clean_shutdown(self):
        s = self.session
        s.start()
        s.wait_for_box()
        self.assertEqual(wait_until(lambda: s.trace()[:7] == STARTUP_CALLS and s.trace()[:7]),
                         STARTUP_CALLS)
        entries = s.log().split(b"\r\n...\r\n")
        self.assertRegex(entries[0], rb"^> \d{6}: Turn line 0's light to green$")

        # A line going off hook and on hook, then a ring: logged as they are decoded.
        s.sim("set", 1, "rings", 3)
        s.sim("event", 0, 8, 4)
        s.sim("event", 0, 8, 1)
        s.sim("event", 1, 8, 7)
        s.sim("event", 4, 255)  # no such line: trapped and logged, the program carries on
        self.assertTrue(wait_until(lambda: b"HK ON STATE PRA" in s.log()))
        log = s.log()
        self.assertLess(log.index(b"HK OFF STATE PRA"), log.index(b"HK ON STATE PRA"))
        self.assertIn("AD101_GetRingIndex 1", s.trace())

        s.screenshot(FORM1_TITLE, "diagnostics-window.png")
        s.screenshot(MAIN_TITLE, "main-window.png")

        self.assertEqual(s.close(), 0)
        with open(s.trace_file) as f:
            last = f.read().splitlines()[-2:]
        # The box enabled its lines in order, so the last lamp switched was line 3's.
        self.assertEqual(last, ["AD101_SetLED 3 1", "AD101_FreeDevice"])

    def test_caller_reaches_the_connector(self):
        s = self.session
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.configure(username="counter 1", password="p&ss=w#rd", host=f"127.0.0.1:{connector.port}",
                    cafile=connector.ca)
        s.start()
        s.wait_for_box()
        s.sim("call", 1, "0123456789", "--name", "A Caller", "--time", "12071530")
        requests = wait_until(connector.requests)
        self.assertEqual(len(requests), 1)
        request = requests[0]
        self.assertEqual(request["path"], "/includes/content/caller_id/connector.php")
        self.assertEqual(request["query"], [["action", "newcall"], ["user", "counter 1"], ["line", "2"],
                                            ["password", "p&ss=w#rd"], ["caller", "0123456789"]])
        self.assertTrue(wait_until(lambda: b"Caller found" in s.log()))
        log = s.log()
        self.assertIn(b"> ", log)
        for text in (b"MCU_BACKCID", b"Incoming nLine: 1", b"Incoming szCallerID: 0123456789"):
            self.assertIn(text, log)
        self.assertLess(log.index(b"MCU_BACKCID"), log.index(b"Caller found"))
        self.assertNotIn(b"p&ss", log)
        self.assertNotIn(b"password=", log)
        self.assertIn("AD101_GetCallerID 1 buf buf buf", s.trace())
        self.assertEqual(s.close(), 0)
        self.assertEqual(len(connector.requests()), 1, "exactly one request per caller ID")

    def test_installed_program_finds_its_device_library(self):
        s = self.session
        prefix = os.path.join(s.root, "prefix")
        # What the two Debian packages hold: the program's, and the simulated box's.
        for component in ("program", "simulator"):
            subprocess.run(["cmake", "--install", os.path.dirname(BIN), "--prefix", prefix,
                            "--component", component], check=True, capture_output=True, timeout=120)
        for path in ("bin/tavix-callerid", "bin/tavix-sim", "lib/tavix-callerid/libTavixHardware.so",
                     "share/applications/tavix-callerid.desktop",
                     "share/icons/hicolor/48x48/apps/tavix-callerid.png",
                     "share/icons/hicolor/256x256/apps/tavix-callerid.png",
                     "share/doc/tavix-callerid/README.md"):
            self.assertTrue(os.path.exists(os.path.join(prefix, path)), path)
        s.bin = os.path.join(prefix, "bin")
        s.env.pop("LD_LIBRARY_PATH", None)
        s.start(os.path.join(s.bin, "tavix-callerid"))
        s.wait_for_box()
        self.assertEqual(wait_until(lambda: s.trace()[:7] == STARTUP_CALLS and s.trace()[:7]),
                         STARTUP_CALLS)
        self.assertEqual(s.close(), 0)

    def test_log_that_stops_being_writable_loses_only_those_entries(self):
        s = self.session
        connector = Connector(s.root)
        self.addCleanup(connector.stop)
        s.configure(host=f"127.0.0.1:{connector.port}", cafile=connector.ca)
        s.start()
        s.wait_for_box()
        self.assertTrue(wait_until(lambda: s.log().count(b"MCU_BACKENABLE") == 4))
        # The log's place taken by a folder: nothing can be appended while it is there.
        os.rename(s.log_file, s.log_file + ".old")
        os.mkdir(s.log_file)
        s.sim("trace", "--clear")
        s.sim("event", 2, 8, 2)
        # A caller all the same reaches the table and the web application.
        s.sim("call", 3, "0765432109", "--interval-ms", "100")
        self.assertTrue(wait_until(lambda: len(connector.requests()) == 1))
        self.assertIn(["caller", "0765432109"], connector.requests()[0]["query"])
        # An event that logs nothing: its device call shows when both have been handled.
        s.sim("event", 3, 7)
        self.assertTrue(wait_until(lambda: "AD101_GetCPUVersion 3 buf" in s.trace()))
        self.assertEqual(s.stderr().count("Cannot write the log file"), 1, s.stderr())
        os.rmdir(s.log_file)
        s.sim("event", 2, 8, 3)
        self.assertTrue(wait_until(lambda: b"HK ON STATE NOPR" in s.log()))
        self.assertNotIn(b"HK ON STATE PRB", s.log())
        self.assertIsNone(s.program.poll(), "the program keeps running")
        self.assertEqual(s.close(), 0)

    def test_log_that_cannot_be_written_at_start_up_does_not_stop_the_program(self):
        s = self.session
        os.makedirs(s.log_file)  # a folder where the log file should be
        s.start()
        s.wait_for_box()
        self.assertTrue(wait_until(lambda: "AD101_SetLED 0 3" in s.trace()))
        self.assertIn("Cannot write the log file", s.stderr())
        self.assertEqual(s.close(), 0)
        self.assertEqual(s.last_device_calls(), ["AD101_SetLED 3 1", "AD101_FreeDevice"])

    def test_calls_on_every_line_while_the_connector_is_slow(self):
        s = self.session
        connector = Connector(s.root, delay=3)
        self.addCleanup(connector.stop)
        s.configure(username="till", password="pw", host=f"127.0.0.1:{connector.port}",
                    cafile=connector.ca)
        s.start()
        s.wait_for_box()
        # Four callers, closer together than the web application answers.
        numbers = {line: f"01234{line}6789" for line in range(4)}
        for line, number in numbers.items():
            s.sim("call", line, number, "--interval-ms", "100")
            time.sleep(0.3)
        self.assertTrue(wait_until(lambda: len(connector.requests()) == 4))
        # Events are handled while all four wait for their replies.
        s.sim("event", 0, 8, 3)
        self.assertTrue(wait_until(lambda: "HK ON STATE NOPR" in s.entries()))
        self.assertNotIn("OK", s.entries())
        self.assertTrue(wait_until(lambda: s.entries().count("OK") == 4))
        sent = {}
        for request in connector.requests():
            query = dict(request["query"])
            self.assertNotIn(query["line"], sent, "a line sent twice")
            sent[query["line"]] = query["caller"]
        self.assertEqual(sent, {str(line + 1): number for line, number in numbers.items()})

        # Closing with a request pending does not wait for it.
        s.sim("call", 2, "0111222333", "--interval-ms", "100")
        self.assertTrue(wait_until(lambda: len(connector.requests()) == 5))
        self.assertEqual(s.close(), 0)
        self.assertEqual(s.last_device_calls(), ["AD101_SetLED 3 1", "AD101_FreeDevice"])
        self.assertIn("No reply from the web application yet for the caller 0111222333 on line 3: "
                      "the request was abandoned because the program is closing.", s.entries())

    def test_without_a_host_nothing_reaches_the_network(self):
        s = self.session
        # strace follows the program from its start; the leak checker's own tracing would clash.
        s.env["ASAN_OPTIONS"] = s.env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
        calls = os.path.join(s.root, "network-calls.txt")
        s.start(wrapper=("strace", "-f", "-qq", "-e", "trace=connect,sendto,sendmsg", "-o", calls))
        s.wait_for_box()
        s.sim("call", 1, "0123456789", "--interval-ms", "100")
        self.assertTrue(wait_until(lambda: any(e.startswith("No web application host is set")
                                               for e in s.entries())))
        self.assertEqual(s.close(), 0)
        with open(calls) as f:
            internet = [line for line in f if "AF_INET" in line]
        self.assertEqual(internet, [])

    def test_termination_signal_with_a_message_box_open(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                s = Session(self.xvfb.display)
                self.addCleanup(s.cleanup)
                # A settings file that cannot be read: a warning box opens after start-up.
                with open(os.path.join(s.env["XDG_CONFIG_HOME"], "Tavix.conf"), "wb") as f:
                    f.write(b"\x93\xfe garbage \x01\n")
                s.start()
                s.wait_for_box()
                self.assertTrue(wait_until(lambda: s.windows_titled(MAIN_TITLE) == 2))
                self.assertEqual(s.close(sig), 0)
                self.assertEqual(s.last_device_calls(), ["AD101_SetLED 3 1", "AD101_FreeDevice"])

    def test_second_instance_leaves_the_device_alone(self):
        s = self.session
        s.start()
        s.wait_for_box()
        second = subprocess.run([os.path.join(BIN, "tavix-callerid")],
                                env=dict(s.env, QT_QPA_PLATFORM="offscreen"),
                                capture_output=True, text=True, timeout=30)
        self.assertNotEqual(second.returncode, 0)
        self.assertIn("already running", second.stderr)
        self.assertEqual(s.trace().count("AD101_InitDevice handle"), 1)
        self.assertEqual(s.close(), 0)

    def test_missing_device_library_is_reported(self):
        s = self.session
        lonely = os.path.join(s.root, "bin")
        os.makedirs(lonely)
        shutil.copy2(os.path.join(BIN, "tavix-callerid"), lonely)
        # A library of that name in the working directory must not be picked up.
        shutil.copy2(os.path.join(BIN, "libTavixHardware.so"), s.root)
        result = subprocess.run([os.path.join(lonely, "tavix-callerid")], cwd=s.root,
                                env=dict(s.env, QT_QPA_PLATFORM="offscreen"),
                                capture_output=True, text=True, timeout=30)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("libTavixHardware.so", result.stderr)
        self.assertLess(result.returncode, 128, "it must exit, not crash")

    def test_library_lacking_an_entry_is_refused_before_the_device_is_opened(self):
        s = self.session
        for folder, entry in (("incomplete", "AD101_GetDevice"), ("no-caller-id", "AD101_GetCallerID")):
            with self.subTest(library=folder):
                partial = os.path.join(s.root, folder)
                os.makedirs(partial)
                shutil.copy2(os.path.join(BIN, "tavix-callerid"), partial)
                shutil.copy2(os.path.join(BIN, folder, "libTavixHardware.so"), partial)
                marker = os.path.join(s.root, folder + "-opened")
                result = subprocess.run([os.path.join(partial, "tavix-callerid")],
                                        env=dict(s.env, QT_QPA_PLATFORM="offscreen",
                                                 TAVIX_TEST_INIT_MARKER=marker),
                                        capture_output=True, text=True, timeout=30)
                self.assertNotEqual(result.returncode, 0)
                self.assertLess(result.returncode, 128, "it must exit, not crash")
                self.assertIn(f'has no entry "{entry}"', result.stderr)
                self.assertFalse(os.path.exists(marker), "the device was opened")


if __name__ == "__main__":
    unittest.main(verbosity=2)
