#!/usr/bin/env python3
"""Tavix CallerID with a desktop's real parts under Xvfb: an XEmbed tray (trayer), a notification
server (dunst) on a session bus of the test's own, and systemd's XDG autostart generator."""
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
BUS_CONFIG = """<busconfig><type>session</type><listen>{}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>"""
SERVER_CONFIG = """[global]
font = DejaVu Sans 10
markup = full
format = "<b>%s</b>\\n%b"
offset = 10x50
width = 420
[urgency_normal]
timeout = 0
"""


def run(*args, env, check=True):
    return subprocess.run(list(map(str, args)), env=env, capture_output=True, text=True,
                          timeout=30, check=check)


class Desktop:
    def __init__(self, display, root):
        self.env = dict(os.environ, DISPLAY=display)
        self.processes = []
        self.address = "unix:path=" + os.path.join(root, "bus")
        for name, text in (("bus.conf", BUS_CONFIG.format(self.address)), ("dunstrc", SERVER_CONFIG)):
            with open(os.path.join(root, name), "w") as f:
                f.write(text)
        self._start("dbus-daemon", "--config-file=" + os.path.join(root, "bus.conf"), "--nofork")
        if not wait_until(lambda: os.path.exists(os.path.join(root, "bus")), timeout=10):
            raise AssertionError("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.address
        # The notifications the program asks for, as they go over the bus.
        self.calls_file = os.path.join(root, "notify-calls.txt")
        self._start("dbus-monitor", "--address", self.address,
                    "interface='org.freedesktop.Notifications',member='Notify'", out=self.calls_file)
        self._start("dunst", "-config", os.path.join(root, "dunstrc"))
        self._start("trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "32", "--SetDockType", "true")
        if not wait_until(lambda: self.dunstctl("count", check=False).returncode == 0
                          and self.panel(), timeout=10):
            raise AssertionError("the notification server or the tray did not start")

    def _start(self, *args, out=os.devnull):
        with open(out, "w") as f:
            self.processes.append(subprocess.Popen(args, env=self.env, stdout=f,
                                                   stderr=subprocess.DEVNULL))

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait(timeout=10)

    def dunstctl(self, *args, check=True):
        return run("dunstctl", *args, env=self.env, check=check)

    def xdotool(self, *args):
        return run("xdotool", *args, env=self.env, check=False)

    def tree(self):
        return run("xwininfo", "-root", "-tree", env=self.env).stdout

    def panel(self):
        match = re.search(r'^\s+(0x[0-9a-f]+) "panel": \("panel" "trayer"\)', self.tree(), re.M)
        return match and match.group(1)

    def icon_centre(self):
        """Where the program's icon is in the tray."""
        match = re.search(r'"tavix-callerid": \("tavix-callerid" "tavix-callerid"\)\s+(\d+)x(\d+)'
                          r'\S*\s+\+(-?\d+)\+(-?\d+)', self.tree())
        if match:
            width, height, x, y = map(int, match.groups())
            return x + width // 2, y + height // 2
        return None

    def shown(self):
        """The program's mapped windows, its menus and tooltips among them."""
        return set(self.xdotool("search", "--onlyvisible", "--class", "tavix-callerid").stdout.split())

    def window(self, title):
        return (self.xdotool("search", "--onlyvisible", "--name", f"^{title}$").stdout.split()
                or [None])[0]

    def notify_calls(self):
        """(replaces_id, summary, body) of each Notify call."""
        with open(self.calls_file, errors="replace") as f:
            blocks = re.split(r"^(?=method call )", f.read(), flags=re.M)[1:]
        calls = []
        for block in blocks:
            values = [s or u for s, u in re.findall(r'^   (?:string "(.*?)"|uint32 (\d+))$', block,
                                                    re.M | re.S)]
            calls.append((int(values[1]), values[3], values[4]))
        return calls

    def screenshot(self, name, window=None):
        os.makedirs(ARTIFACTS, exist_ok=True)
        run(os.path.join(BIN, "tavix-screenshot"), *(["--window", window] if window else []),
            os.path.join(ARTIFACTS, name), env=self.env)


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

    def start(self, binary=None):
        """The program, and its icon once the tray has settled it (the tray moves icons as it
        resizes for them)."""
        self.session.start(binary)
        self.session.wait_for_box()
        places = []
        self.assertTrue(wait_until(lambda: places.append(self.desktop.icon_centre())
                                   or (places[-1] and places[-5:] == [places[-1]] * 5), step=0.1))
        return places[-1]

    def until_shown(self, icon, *actions):
        """Hovers or clicks the icon until a window of the program (tooltip, menu) comes up."""
        d = self.desktop
        before = d.shown()
        for attempt in range(5):
            d.xdotool("mousemove", 10, 1000)
            d.xdotool("mousemove", icon[0], icon[1] + attempt % 2, *actions)
            if wait_until(lambda: d.shown() - before, timeout=3):
                return
        self.fail("nothing came up over the tray icon")

    def keys(self, *keys):
        self.desktop.xdotool("key", "--delay", "150", *keys)
        self.desktop.xdotool("mousemove", 10, 1000)

    def test_the_tray_shows_the_icon_and_each_caller_gets_one_notification(self):
        s, d = self.session, self.desktop
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.configure(username="till", password="p&ss=w#rd", host=f"127.0.0.1:{connector.port}",
                    cafile=connector.ca)
        icon = self.start()
        d.screenshot("tray.png", d.panel())
        s.sim("call", 1, "0123456789", "--name", "Jane & <Doe>")
        self.assertTrue(wait_until(lambda: len(d.notify_calls()) == 2), d.notify_calls())
        first, second = d.notify_calls()
        # The server reads markup, so the name is escaped.
        caller = "0123456789 \u2014 Jane &amp; &lt;Doe&gt;\n"
        self.assertEqual(first, (0, "Call on line 2", caller + "Sending to the web application\u2026"))
        self.assertNotEqual(second[0], 0, "the second replaces the first")
        self.assertEqual(second[1:], ("Call on line 2", caller + "The web application got it: Caller found"))
        self.assertEqual(d.dunstctl("count", "displayed").stdout.strip(), "1")
        with open(d.calls_file, errors="replace") as f:
            self.assertNotIn("p&ss", f.read())
        d.screenshot("notification.png", d.window("Dunst"))
        d.screenshot("desktop-with-notification.png")
        d.dunstctl("close-all")
        history = json.loads(d.dunstctl("history").stdout)["data"][0]
        self.assertEqual([(n["id"]["data"], n["body"]["data"]) for n in history], [second[::2]])

        self.until_shown(icon)  # the tooltip, with the last caller
        d.screenshot("tray-tooltip.png")
        self.assertEqual(s.close(), 0)

    def test_the_tray_menu_opens_the_settings_whose_start_at_logon_is_an_autostart_file(self):
        s, d = self.session, self.desktop
        folder = os.path.join(s.root, "Tavix CallerID")  # quoted in the entry's Exec
        os.makedirs(folder)
        for name in ("tavix-callerid", "libTavixHardware.so"):
            shutil.copy2(os.path.join(BIN, name), folder)
        program = os.path.join(folder, "tavix-callerid")
        icon = self.start(program)
        autostart = os.path.join(s.env["XDG_CONFIG_HOME"], "autostart", "tavix-callerid.desktop")
        for wanted in (True, False):
            self.until_shown(icon, "click", 3)
            if wanted:
                d.screenshot("tray-menu.png")
            self.keys("Down", "Down", "Down", "Return")  # "Settings…", after "Calls…"
            dialog = wait_until(lambda: d.window(SETTINGS_TITLE))
            self.assertTrue(dialog, "no Settings dialog")
            if wanted:
                d.screenshot("settings-dialog.png", dialog)
            d.xdotool("windowfocus", "--sync", dialog)
            # The host has the focus; past the authority file, its Choose… and Check connection
            # comes "Start at log-on". Return is OK.
            self.keys("Tab", "Tab", "Tab", "Tab", "space", "Return")
            self.assertTrue(wait_until(lambda: os.path.exists(autostart) == wanted))
            if wanted:
                check = run("desktop-file-validate", autostart, env=d.env, check=False)
                self.assertEqual(check.returncode, 0, check.stdout)
                # What a session that starts autostart entries makes of it.
                units = os.path.join(s.root, "units")
                os.makedirs(units)
                run(GENERATOR, units, units, units, env=dict(
                    d.env, XDG_CONFIG_HOME=s.env["XDG_CONFIG_HOME"], XDG_CONFIG_DIRS=units))
                with open(os.path.join(units, "app-tavix\\x2dcallerid@autostart.service")) as f:
                    self.assertIn(f'\nExecStart=:"{program}"\n', f.read())

        self.until_shown(icon, "click", 3)
        self.keys("Up", "Return")  # "Quit" closes as closing main does
        self.assertEqual(s.program.wait(timeout=20), 0)
        self.assertEqual(s.last_device_calls(), ["AD101_SetLED 3 1", "AD101_FreeDevice"])

    def test_without_a_notification_service_callers_are_handled_and_it_is_said_once(self):
        s = self.session
        s.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(s.root, "no-bus")
        s.start()
        s.wait_for_box()
        for line in (1, 2):
            s.sim("call", line, "0123456789", "--interval-ms", "100")
        self.assertTrue(wait_until(lambda: sum(e.startswith("No web application host")
                                               for e in s.entries()) == 2))
        self.assertTrue(wait_until(lambda: "no desktop notifications" in s.stderr()))
        self.assertEqual(s.stderr().count("no desktop notifications"), 1, s.stderr())
        self.assertEqual(s.close(), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
