#!/usr/bin/env python3
"""Tavix CallerID end-to-end test of the Windows build: the program, the simulated
TavixHardware.dll and tavix-sim.exe under Wine, in a Wine prefix of their own, on Xvfb."""
import getpass
import glob
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import unittest

# The Linux end-to-end test's pieces: the display, the user's session, the web application and
# what the program must do.
from end_to_end import (ARTIFACTS, BIN, FORM1_TITLE, MAIN_TITLE, STARTUP_CALLS, Connector, Session,
                        SimBatch, Xvfb, wait_until)

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
WINE_RUN = os.path.join(SCRIPTS, "wine-run")
SETTINGS_KEY = r"HKCU\Software\Tavix\CallerID"


def wine_command(arch, *command):
    """A Wine command (a loader, wineserver) for the arch: 32-bit Wine is the one scripts/wine32
    provided, on the host or in an i386 root."""
    return [*([os.path.join(SCRIPTS, "wine32")] if arch == "win32" else []), *command]


def windows_path(path):
    """A Linux path as Windows programs under Wine name it: through drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession(Session):
    """A user's Windows account: a fresh Wine prefix, with its own wineserver and desktop."""

    wine = True
    burst_pause = 0.02
    # Wine draws the windows' frames itself: the border, then the caption.
    client_origin = (4, 23)

    def __init__(self, display):
        super().__init__(display)
        self.prefix = os.path.join(self.root, "wine")
        self.env["WINEPREFIX"] = self.prefix
        self.arch = self.env.setdefault("TAVIX_WINE_ARCH", "win64")
        # The session has a home of its own; Wine's cache (an i386 root, Qt) stays the user's.
        self.env.setdefault("TAVIX_CACHE_DIR", os.path.expanduser(os.path.join("~", ".cache", "tavix")))
        self.env["TAVIX_SIM_TRACE"] = windows_path(self.trace_file)
        self.log_file = os.path.join(self.prefix, "drive_c", "tavix.log")

    def make_prefix(self, authority):
        """The prefix, trusting the test authority as a shop trusts its own in the Windows store."""
        result = subprocess.run([os.path.join(SCRIPTS, "wine-prefix"), self.prefix, "--ca", authority],
                                env=self.env, capture_output=True, text=True, timeout=120)
        if result.returncode != 0:
            raise AssertionError(f"wine-prefix: {result.stderr}")

    def prepare(self, authority):
        self.make_prefix(authority)

    def web_host(self, port):
        # WinHTTP checks the certificate against DNS names only.
        return f"localhost:{port}"

    def configure(self, **values):
        """The settings in the registry, all of them replaced. The authority is the prefix's."""
        subprocess.run([WINE_RUN, "reg", "delete", SETTINGS_KEY, "/f"], env=self.env,
                       capture_output=True, timeout=60)
        for key, value in values.items():
            if key != "cafile":
                self.wine("reg", "add", SETTINGS_KEY, "/v", key, "/d", value, "/f")

    def batch(self):
        return SimBatch([WINE_RUN, os.path.join(BIN, "tavix-sim.exe")], self.env)

    def history_file(self):
        return os.path.join(self.prefix, "drive_c", "users", getpass.getuser(), "AppData", "Local",
                            "Tavix", "calls.sqlite")

    def history(self, sql):
        """While the program runs, its locks are Wine's, which a Linux reader does not take: the
        query reads a copy of the file and its journal, as they stand."""
        if self.program is None or self.program.poll() is not None:
            return super().history(sql)
        with tempfile.TemporaryDirectory(dir=self.root) as folder:
            copy = os.path.join(folder, "calls.sqlite")
            for suffix in ("", "-wal"):
                if os.path.exists(self.history_file() + suffix):
                    shutil.copyfile(self.history_file() + suffix, copy + suffix)
            db = sqlite3.connect(copy, timeout=5)
            try:
                return db.execute(sql).fetchall()
            finally:
                db.close()

    def uncover_main(self):
        """The diagnostics window opens over the main window: dragged to its left."""
        form_left, _, form_width = self.geometry(FORM1_TITLE)
        main_left = self.geometry(MAIN_TITLE)[0]
        if form_left + form_width > main_left:
            self.drag_caption(FORM1_TITLE, main_left - form_width - 10 - form_left)

    def capture(self, window, name):
        os.makedirs(ARTIFACTS, exist_ok=True)
        path = os.path.join(ARTIFACTS, name)
        subprocess.run(["import", "-window", window, path], env=self.env, check=True, timeout=30)
        return path

    def dialog_path(self, path):
        return windows_path(path)

    def close(self, sig=signal.SIGTERM):
        """Closes the program as Windows asks a program to: its windows are sent WM_CLOSE."""
        self.wine("taskkill", "/im", "tavix-callerid.exe")
        status = self.program.wait(timeout=30)
        if status != 0:
            sys.stderr.write(f"tavix-callerid exited with {status}:\n{self.stderr()[-4000:]}\n")
        return status

    def wine(self, *args):
        result = subprocess.run([WINE_RUN, *map(str, args)], env=self.env, capture_output=True,
                                text=True, timeout=60)
        if result.returncode != 0:
            raise AssertionError(f"{' '.join(map(str, args))}: {result.stdout}{result.stderr}")
        return result.stdout

    def settings(self):
        """The values under the program's registry key, as reg.exe lists them."""
        listing = self.wine("reg", "query", SETTINGS_KEY)
        return dict(re.findall(r"^\s+(\S+)\s+REG_SZ\s+(.*?)\r?$", listing, re.MULTILINE))

    def start(self, binary=None, wrapper=()):
        return super().start(os.path.join(BIN, "tavix-callerid.exe"), (WINE_RUN,))

    def sim(self, *args, check=True):
        result = subprocess.run([WINE_RUN, os.path.join(BIN, "tavix-sim.exe"), *map(str, args)],
                                env=self.env, capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError(f"tavix-sim {' '.join(map(str, args))}: {result.stderr}")
        return result

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                              capture_output=True, text=True, timeout=30).stdout

    def geometry(self, title):
        """The window's left, top and width on the screen."""
        window = wait_until(lambda: self.window_id(title))
        if not window:
            raise AssertionError(f"no window titled {title!r}")
        shell = dict(line.split("=", 1) for line in
                     self.xdotool("getwindowgeometry", "--shell", window).split())
        return int(shell["X"]), int(shell["Y"]), int(shell["WIDTH"])

    def click(self, title, x, y):
        """Clicks at (x, y) in the window's frame, a negative x counting from its right edge."""
        left, top, width = self.geometry(title)
        self.xdotool("mousemove", "--sync", left + (x if x >= 0 else width + x), top + y, "click", 1)

    def drag_caption(self, title, dx):
        """Drags the window sideways by its caption; Wine moves it as the pointer moves."""
        left, top, _ = self.geometry(title)
        x, y = left + 200, top + 10
        self.xdotool("mousemove", "--sync", x, y, "mousedown", 1)
        for step in range(1, 11):
            self.xdotool("mousemove", "--sync", x + dx * step // 10, y)
        self.xdotool("mouseup", 1)
        if not wait_until(lambda: self.geometry(title)[0] == left + dx):
            raise AssertionError(f"{title!r} did not move")

    def cleanup(self):
        if os.path.isdir(self.prefix):
            # Everything that runs in the prefix: the program if still there, the desktop, services.
            for option in ("-k", "-w"):
                subprocess.run(wine_command(self.arch, "wineserver", option), env=self.env,
                               capture_output=True, timeout=30)
        super().cleanup()


class WindowsEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def test_login_caller_and_closing_the_main_window(self):
        s = WineSession(self.xvfb.display)
        self.addCleanup(s.cleanup)
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.make_prefix(connector.ca)
        # The web application's host set beforehand, as a shop's installer does. WinHTTP checks
        # the certificate against DNS names only.
        s.wine("reg", "add", SETTINGS_KEY, "/v", "host", "/d", f"localhost:{connector.port}", "/f")
        s.start()
        s.wait_for_box()
        self.assertEqual(wait_until(lambda: s.trace()[:7] == STARTUP_CALLS and s.trace()[:7]),
                         STARTUP_CALLS)
        # The box's messages reach the diagnostics window: each line reports itself enabled.
        self.assertTrue(wait_until(lambda: s.log().count(b"MCU_BACKENABLE") == 4), s.log())

        # The login typed as a user does. The diagnostics window opens in front of the main
        # window and hides all of it, so it is dragged aside first. A click on the main
        # window's caption then brings it to the front with the user name box focused; Tab
        # leads to the password, then to SAVE.
        s.uncover_main()
        s.click(MAIN_TITLE, 60, 10)
        s.xdotool("type", "--delay", 40, "counter 1")
        s.xdotool("key", "Tab")
        s.xdotool("type", "--delay", 40, "p&ss=w#rd")
        s.xdotool("key", "Tab", "Return")
        self.assertTrue(wait_until(lambda: s.windows_titled(MAIN_TITLE) == 2),
                        "no message after SAVE")
        s.xdotool("key", "Return")  # its OK
        self.assertTrue(wait_until(lambda: s.windows_titled(MAIN_TITLE) == 1))
        settings = s.settings()
        self.assertEqual((settings.get("username"), settings.get("password")),
                         ("counter 1", "p&ss=w#rd"), settings)

        s.sim("call", 1, "0123456789", "--name", "A Caller", "--time", "12071530")
        requests = wait_until(connector.requests)
        self.assertEqual(len(requests), 1)
        self.assertEqual(requests[0]["path"], "/includes/content/caller_id/connector.php")
        self.assertEqual(requests[0]["query"],
                         [["action", "newcall"], ["user", "counter 1"], ["line", "2"],
                          ["password", "p&ss=w#rd"], ["caller", "0123456789"]])
        self.assertTrue(wait_until(lambda: b"Caller found" in s.log()), s.log())
        log = s.log()
        for text in (b"MCU_BACKCID", b"Incoming nLine: 1", b"Incoming szCallerID: 0123456789"):
            self.assertIn(text, log)
        self.assertLess(log.index(b"MCU_BACKCID"), log.index(b"Caller found"))
        self.assertNotIn(b"p&ss", log)
        # C:\ takes new files under Wine: the program keeps its log there, not in the user's folder.
        self.assertEqual(glob.glob(os.path.join(s.prefix, "drive_c", "users", "*", "AppData",
                                                "Local", "Tavix", "tavix.log")), [])

        s.screenshot(FORM1_TITLE, "windows-diagnostics-window.png")
        s.screenshot(MAIN_TITLE, "windows-main-window.png")

        # The main window's close button, at the right end of the caption Wine draws.
        s.click(MAIN_TITLE, -13, 12)
        status = s.program.wait(timeout=30)
        self.assertEqual(status, 0, s.stderr()[-4000:])
        # The box enabled its lines in order, so the last lamp switched was line 3's.
        self.assertEqual(s.last_device_calls(), ["AD101_SetLED 3 1", "AD101_FreeDevice"])
        self.assertEqual(len(connector.requests()), 1, "exactly one request per caller ID")


if __name__ == "__main__":
    unittest.main(verbosity=2)
