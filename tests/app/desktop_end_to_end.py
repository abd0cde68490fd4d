#!/usr/bin/env python3
"""Tavix CallerID on a desktop's real parts under Xvfb: an XEmbed system tray (trayer), a
notification server (dunst) on a D-Bus session bus of the test's own, and the autostart file as
systemd's XDG autostart generator reads it."""
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import ARTIFACTS, BIN, Session, Xvfb, wait_until  # noqa: E402
from connector import Connector  # noqa: E402

SETTINGS_TITLE = "Tavix CallerID \u2014 Settings"
GENERATOR = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator"
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>{address}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""
NOTIFICATION_SERVER_CONFIG = """[global]
    font = DejaVu Sans 10
    markup = full
    format = "<b>%s</b>\\n%b"
    origin = top-right
    offset = 10x50
    width = 420
    frame_width = 1
[urgency_normal]
    timeout = 0
"""


def run(*args, env, check=True):
    return subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=30,
                          check=check)


class Desktop:
    """A session bus with a notification server on it, and a system tray, on one display."""

    def __init__(self, display, root):
        self.root = root
        self.env = dict(os.environ, DISPLAY=display)
        self.processes = []
        folder = os.path.join(root, "bus")
        os.makedirs(folder, mode=0o700)
        socket = os.path.join(folder, "socket")
        self.address = "unix:path=" + socket
        config = os.path.join(folder, "session.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(address=self.address))
        self._start("dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile")
        if not wait_until(lambda: os.path.exists(socket), timeout=10):
            raise AssertionError("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.address
        # Every notification the program asks for, as it goes over the bus.
        self.calls_file = os.path.join(root, "notify-calls.txt")
        self._start("dbus-monitor", "--address", self.address,
                    "type='method_call',interface='org.freedesktop.Notifications',member='Notify'",
                    stdout=self.calls_file)
        server_config = os.path.join(root, "dunstrc")
        with open(server_config, "w") as f:
            f.write(NOTIFICATION_SERVER_CONFIG)
        self._start("dunst", "-config", server_config)
        if not wait_until(lambda: self.dunstctl("count", check=False).returncode == 0, timeout=10):
            raise AssertionError("the notification server did not start")
        self._start("trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "32", "--SetDockType", "true", "--tint", "0x808080")
        if not wait_until(lambda: self.tray_panel(), timeout=10):
            raise AssertionError("the system tray did not start")

    def _start(self, *args, stdout=None):
        with open(stdout or os.devnull, "w") as out:
            self.processes.append(subprocess.Popen(list(args), env=self.env, stdout=out,
                                                   stderr=subprocess.DEVNULL))

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def dunstctl(self, *args, check=True):
        return run("dunstctl", *args, env=self.env, check=check)

    def tree(self):
        return run("xwininfo", "-root", "-tree", env=self.env).stdout

    def tray_panel(self):
        match = re.search(r'^\s+(0x[0-9a-f]+) "panel": \("panel" "trayer"\)', self.tree(), re.M)
        return match and match.group(1)

    def tray_icon(self):
        """The program's icon embedded in the tray: (window, centre x, centre y), or None."""
        match = re.search(r'^\s+(0x[0-9a-f]+) "tavix-callerid": \("tavix-callerid" "tavix-callerid"\)'
                          r'\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', self.tree(), re.M)
        if not match:
            return None
        window, width, height, x, y = match.groups()
        return window, int(x) + int(width) // 2, int(y) + int(height) // 2

    def notify_calls(self):
        """The program's Notify calls: (replaces_id, summary, body) each."""
        with open(self.calls_file, errors="replace") as f:
            text = f.read()
        calls = []
        for block in re.split(r"^(?=method call )", text, flags=re.M)[1:]:
            values = re.findall(r'^   (?:string "(.*?)"|uint32 (\d+))$', block, re.M | re.S)
            app, replaces, _icon, summary, body = (s or u for s, u in values[:5])
            if app == "Tavix CallerID":
                calls.append((int(replaces), summary, body))
        return calls

    def history(self):
        self.dunstctl("close-all")
        data = json.loads(self.dunstctl("history").stdout)["data"][0]
        return [{key: value["data"] for key, value in entry.items()} for entry in data]

    def screenshot(self, name, window=None):
        os.makedirs(ARTIFACTS, exist_ok=True)
        path = os.path.join(ARTIFACTS, name)
        run(os.path.join(BIN, "tavix-screenshot"), *(["--window", window] if window else []), path,
            env=self.env)
        return path

    def xdotool(self, *args):
        return run("xdotool", *map(str, args), env=self.env, check=False)

    def shown_windows(self):
        """The program's mapped windows: its menus and tooltips among them."""
        found = self.xdotool("search", "--onlyvisible", "--class", "tavix-callerid")
        return set(found.stdout.split())

    def visible_window(self, title):
        found = self.xdotool("search", "--onlyvisible", "--name", "^" + re.escape(title) + "$")
        return found.stdout.split()[0] if found.returncode == 0 and found.stdout.split() else None


class DesktopEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def setUp(self):
        self.session = Session(self.xvfb.display)
        self.addCleanup(self.session.cleanup)
        self.desktop = Desktop(self.xvfb.display, self.session.root)
        self.addCleanup(self.desktop.stop)
        self.session.env["DBUS_SESSION_BUS_ADDRESS"] = self.desktop.address

    def start_with_icon(self, binary=None):
        s = self.session
        s.start(binary)
        s.wait_for_box()
        # Where the tray has settled it: the tray moves its icons as it resizes for them.
        placed = []

        def settled():
            placed.append(self.desktop.tray_icon())
            return len(placed) > 5 and placed[-1] and placed[-5:] == [placed[-1]] * 5

        self.assertTrue(wait_until(settled, step=0.1), "no icon in the system tray")
        return placed[-1]

    def open_tray_menu(self, icon):
        """Opens the icon's menu with the right button, as a person would, before any tooltip."""
        d = self.desktop
        before = d.shown_windows()
        for _ in range(3):
            d.xdotool("mousemove", icon[1], icon[2], "click", 3)
            if wait_until(lambda: d.shown_windows() - before, timeout=3):
                return
        self.fail("the tray menu did not open")

    def pick(self, *keys):
        """Picks a menu entry or presses a dialog's keys, then takes the mouse off the tray."""
        d = self.desktop
        d.xdotool("key", "--delay", "150", *keys)
        d.xdotool("mousemove", 10, 1000)

    def test_the_tray_shows_the_icon_and_each_caller_gets_one_notification(self):
        s, d = self.session, self.desktop
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.configure(username="till", password="p&ss=w#rd", host=f"127.0.0.1:{connector.port}",
                    cafile=connector.ca)
        icon = self.start_with_icon()
        d.screenshot("tray.png", d.tray_panel())

        s.sim("call", 1, "0123456789", "--name", "Jane & <Doe>", "--time", "12071530")
        self.assertTrue(wait_until(lambda: len(d.notify_calls()) == 2), d.notify_calls())
        self.assertTrue(wait_until(lambda: b"Caller found" in s.log()))
        first, second = d.notify_calls()
        # The server reads markup, so the name is escaped.
        caller = "0123456789 \u2014 Jane &amp; &lt;Doe&gt;"
        self.assertEqual(first, (0, "Call on line 2", caller + "\nSending to the web application\u2026"))
        self.assertNotEqual(second[0], 0, "the second notification replaces the first")
        self.assertEqual(second[1:], ("Call on line 2",
                                      caller + "\nThe web application got it: Caller found"))
        self.assertEqual(d.dunstctl("count", "displayed").stdout.strip(), "1")
        with open(d.calls_file, errors="replace") as f:
            everything = f.read()
        self.assertNotIn("p&ss", everything)
        self.assertNotIn("connector.php", everything)
        d.screenshot("notification.png", d.visible_window("Dunst"))
        d.screenshot("desktop-with-notification.png")

        history = d.history()
        self.assertEqual(len(history), 1)
        self.assertEqual(history[0]["id"], second[0])
        self.assertEqual(history[0]["appname"], "Tavix CallerID")
        self.assertEqual(history[0]["body"], second[2])
        # The tooltip tells the last caller; hovered as a person would, again should the first
        # hover come too early.
        before = d.shown_windows()
        for attempt in range(5):
            d.xdotool("mousemove", 10, 1000)
            d.xdotool("mousemove", icon[1], icon[2] + attempt % 2)
            if wait_until(lambda: d.shown_windows() - before, timeout=3):
                break
        self.assertTrue(d.shown_windows() - before, "no tooltip")
        d.screenshot("tray-tooltip.png")
        d.xdotool("mousemove", 10, 1000)
        self.assertEqual(s.close(), 0)

    def test_the_tray_menu_opens_the_settings_whose_start_at_logon_is_an_autostart_file(self):
        s, d = self.session, self.desktop
        # A folder whose name must be quoted in the entry's Exec.
        folder = os.path.join(s.root, "Tavix CallerID")
        os.makedirs(folder)
        for name in ("tavix-callerid", "libTavixHardware.so"):
            shutil.copy2(os.path.join(BIN, name), folder)
        program = os.path.join(folder, "tavix-callerid")
        icon = self.start_with_icon(program)
        autostart = os.path.join(s.env["XDG_CONFIG_HOME"], "autostart", "tavix-callerid.desktop")

        for step, wanted in enumerate((True, False)):
            self.open_tray_menu(icon)
            if step == 0:
                d.screenshot("tray-menu.png")
            # "Show the windows", then "Settings…" ("Calls…" is not there yet).
            self.pick("Down", "Down", "Return")
            dialog = wait_until(lambda: d.visible_window(SETTINGS_TITLE))
            self.assertTrue(dialog, "no Settings dialog")
            if step == 0:
                d.screenshot("settings-dialog.png", dialog)
            # The focus starts on "Start at log-on"; Return is OK.
            d.xdotool("windowfocus", "--sync", dialog)
            self.pick("space", "Return")
            self.assertTrue(wait_until(lambda: not d.visible_window(SETTINGS_TITLE)))
            self.assertEqual(wait_until(lambda: os.path.exists(autostart) == wanted), True)
            if wanted:
                check = run("desktop-file-validate", autostart, env=d.env, check=False)
                self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
                # What a session that starts autostart entries makes of it.
                units = os.path.join(s.root, "units")
                os.makedirs(units)
                generated = run(GENERATOR, units, units, units,
                                env=dict(d.env, XDG_CONFIG_HOME=s.env["XDG_CONFIG_HOME"],
                                         XDG_CONFIG_DIRS=os.path.join(s.root, "none")))
                unit = os.path.join(units, "app-tavix\\x2dcallerid@autostart.service")
                self.assertTrue(os.path.exists(unit), generated.stderr)
                with open(unit) as f:
                    self.assertIn(f'\nExecStart=:"{program}"\n', f.read())

        # "Quit", the last entry, closes as closing the main window does.
        self.open_tray_menu(icon)
        self.pick("Up", "Return")
        self.assertEqual(s.program.wait(timeout=20), 0)
        self.assertEqual(s.last_device_calls(), ["AD101_SetLED 3 1", "AD101_FreeDevice"])

    def test_notifications_switched_off_in_the_settings_file_show_nothing(self):
        s, d = self.session, self.desktop
        s.configure(notifications="false")
        self.start_with_icon()
        s.sim("call", 1, "0123456789", "--interval-ms", "100")
        self.assertTrue(wait_until(lambda: any(e.startswith("No web application host is set")
                                               for e in s.entries())))
        s.sim("event", 0, 7)
        self.assertTrue(wait_until(lambda: "AD101_GetCPUVersion 0 buf" in s.trace()))
        self.assertEqual(d.notify_calls(), [])
        self.assertEqual(s.close(), 0)

    def test_without_a_notification_service_callers_are_handled_and_it_is_said_once(self):
        s = self.session
        s.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(s.root, "no-bus")
        s.start()
        s.wait_for_box()
        for line, number in ((1, "0123456789"), (2, "0987654321")):
            s.sim("call", line, number, "--interval-ms", "100")
        self.assertTrue(wait_until(lambda: sum(e.startswith("No web application host is set")
                                               for e in s.entries()) == 2))
        self.assertTrue(wait_until(lambda: "no desktop notifications" in s.stderr()))
        self.assertEqual(s.stderr().count("no desktop notifications"), 1, s.stderr())
        self.assertEqual(s.close(), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
