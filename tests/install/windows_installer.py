#!/usr/bin/env python3
"""Tavix CallerID: the Windows installer as a shop deploys it by script (/S), each run on a fresh
Windows of its own (a Wine prefix of the installer's bits: 32-bit Wine for the one that ships):
installed with the simulated box, started as Windows starts it at log-on and driven through a
caller ID to the web application the installer named, then removed, keeping the user's login and
the log; installed with the shop's own library, which the simulated box never replaces; refused
without a library it can use."""
import filecmp
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app"))
from end_to_end import BIN, FORM1_TITLE, MAIN_TITLE, Connector, Session, Xvfb, wait_until  # noqa: E402
from end_to_end_windows import SCRIPTS, WineSession, wine_command, windows_path  # noqa: E402

INSTALLER = os.environ["TAVIX_INSTALLER"]
DEFAULT_HOST = os.environ.get("TAVIX_DEFAULT_HOST", "")
BITS = 64 if INSTALLER.endswith("-win64.exe") else 32
WINE = wine_command(f"win{BITS}", "/usr/lib/wine/wine64" if BITS == 64 else "/usr/lib/wine/wine")
PRODUCT = "Tavix CallerID"
MACHINE_SETTINGS = r"HKLM\Software\Tavix\CallerID"
USER_SETTINGS = r"HKCU\Software\Tavix\CallerID"
RUN = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavix CallerID"


def split_command(command):
    """A registry command line as Windows runs it: the quoted program, then its arguments."""
    match = re.fullmatch(r'"([^"]+)"\s*(.*)', command)
    if not match:
        raise AssertionError(f"not a quoted command: {command!r}")
    return [match[1], *match[2].split()]


def dll_header(machine):
    """The start of a DLL for another processor: all that a look at its headers sees."""
    return b"MZ" + bytes(58) + struct.pack("<I", 64) + b"PE\0\0" + struct.pack(
        "<HHIIIHH", machine, 0, 0, 0, 0, 0, 0x2102)


class Shop(WineSession):
    """A shop's computer. Its programs run as Windows runs them: nothing on the search path but
    what is installed, so a library the installation lacks is missing."""

    def __init__(self, display):
        super().__init__(display)
        self.arch = self.env["TAVIX_WINE_ARCH"] = f"win{BITS}"
        self.env.update(WINEARCH=self.arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.drive = os.path.join(self.prefix, "drive_c")
        self.folder = os.path.join(self.drive, "Program Files", PRODUCT)
        self.start_menu = os.path.join(self.drive, "ProgramData", "Microsoft", "Windows", "Start Menu",
                                       "Programs", PRODUCT + ".lnk")
        self.desktop = os.path.join(self.drive, "users", "Public", "Desktop", PRODUCT + ".lnk")

    def make_prefix(self, authority=None):
        result = subprocess.run([os.path.join(SCRIPTS, "wine-prefix"), self.prefix,
                                 *(["--ca", authority] if authority else [])],
                                env=self.env, capture_output=True, text=True, timeout=120)
        if result.returncode != 0:
            raise AssertionError(f"wine-prefix: {result.stderr}")

    def run(self, *command):
        # Output into files, not pipes: what a program starts (Wine's menu builder, the
        # uninstaller's copy of itself) keeps its standard error, and a pipe would stay open.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            status = subprocess.run([*WINE, *command], env=self.env, stdout=out, stderr=err,
                                    timeout=120).returncode
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(command, status, out.read(), err.read())

    def setup(self, *options):
        return self.run(windows_path(INSTALLER), "/S", *options)

    def values(self, key):
        """The key's values as reg.exe lists them; none when there is no such key."""
        listing = self.run("reg", "query", key).stdout
        return dict(re.findall(r"^ {4}(.+?) {4}REG_\w+ {4}(.*?)\r?$", listing, re.MULTILINE))

    def start_from(self, command):
        program, *arguments = split_command(command)
        if arguments:
            raise AssertionError(f"the program takes no arguments: {command!r}")
        return Session.start(self, program, WINE)

    def sim(self, *args, check=True):
        result = self.run(os.path.join(self.folder, "tavix-sim.exe"), *map(str, args))
        if check and result.returncode != 0:
            raise AssertionError(f"tavix-sim {' '.join(map(str, args))}: {result.stderr}")
        return result


class WindowsInstaller(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def shop(self):
        shop = Shop(self.xvfb.display)
        self.addCleanup(shop.cleanup)
        return shop

    def test_simulated_box_runs_at_log_on_and_uninstalling_keeps_the_login_and_the_log(self):
        s = self.shop()
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.make_prefix(connector.ca)
        host = f"localhost:{connector.port}"
        result = s.setup("/SIMULATOR=yes", f"/HOST={host}")
        self.assertEqual(result.returncode, 0, result.stderr)
        for name in ("tavix-callerid.exe", "Qt6Core.dll", "platforms/qwindows.dll", "Qt6Sql.dll",
                     "sqldrivers/qsqlite.dll", "TavixHardware.dll",
                     "tavix-sim.exe", "uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(s.folder, name)), name)
        self.assertTrue(os.path.isfile(s.start_menu))
        self.assertFalse(os.path.exists(s.desktop), "the desktop shortcut is chosen, not given")
        self.assertEqual(s.values(MACHINE_SETTINGS), {"host": host})
        uninstall = s.values(UNINSTALL)
        self.assertEqual(uninstall["DisplayName"], PRODUCT)

        # A user's login as SAVE stores it; the host is the installer's.
        for name, value in (("username", "counter 1"), ("password", "p&ss=w#rd")):
            s.run("reg", "add", USER_SETTINGS, "/v", name, "/d", value, "/f")
        s.start_from(s.values(RUN)[PRODUCT])
        s.wait_for_box()
        s.sim("call", 1, "0123456789", "--interval-ms", 200)
        requests = wait_until(connector.requests, timeout=60)
        self.assertEqual(len(requests), 1)
        self.assertEqual(requests[0]["query"], [["action", "newcall"], ["user", "counter 1"], ["line", "2"],
                                                ["password", "p&ss=w#rd"], ["caller", "0123456789"]])
        self.assertTrue(wait_until(lambda: b"Caller found" in s.log()), s.log())
        # The diagnostics window opens over the main window: moved aside, the main window's close
        # button shows.
        form_left, _, form_width = s.geometry(FORM1_TITLE)
        s.drag_caption(FORM1_TITLE, s.geometry(MAIN_TITLE)[0] - form_width - 10 - form_left)
        s.click(MAIN_TITLE, -13, 12)
        self.assertEqual(s.program.wait(timeout=30), 0, s.stderr()[-4000:])

        result = s.run(*split_command(uninstall["QuietUninstallString"]))
        self.assertEqual(result.returncode, 0, result.stderr)
        # The uninstaller finishes in a copy of itself, after the command has returned.
        self.assertTrue(wait_until(lambda: not os.path.exists(s.folder) and not s.values(UNINSTALL),
                                   timeout=60), os.listdir(s.folder) if os.path.exists(s.folder) else "")
        self.assertFalse(os.path.exists(s.start_menu))
        self.assertNotIn(PRODUCT, s.values(RUN))
        self.assertEqual(s.values(MACHINE_SETTINGS), {})
        self.assertEqual(s.values(USER_SETTINGS), {"username": "counter 1", "password": "p&ss=w#rd"})
        self.assertIn(b"Caller found", s.log())

    def test_shops_library_is_installed_and_never_replaced_by_the_simulated_box(self):
        s = self.shop()
        s.make_prefix()
        # A library that is not the simulated box: one that lacks entries, which the program names.
        library = os.path.join(s.drive, "Vendor Files", "AD101", "TavixHardware.dll")
        os.makedirs(os.path.dirname(library))
        with open(os.path.join(BIN, "incomplete", "TavixHardware.dll"), "rb") as source, \
                open(library, "wb") as copy:
            copy.write(source.read())
        installed = os.path.join(s.folder, "TavixHardware.dll")
        # Chosen with the simulated box and other options, then installed again without a library.
        for options in ((r"/LIBRARY=C:\Vendor Files\AD101\TavixHardware.dll", "/SIMULATOR=yes",
                         "/STARTUP=no", "/DESKTOP=yes"), ("/SIMULATOR=yes",)):
            with self.subTest(options=options):
                result = s.setup(*options)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertTrue(filecmp.cmp(installed, library, shallow=False))
                self.assertFalse(os.path.exists(os.path.join(s.folder, "tavix-sim.exe")))
                self.assertNotIn(PRODUCT, s.values(RUN))
                self.assertTrue(os.path.isfile(s.desktop))
        self.assertEqual(s.values(MACHINE_SETTINGS), {"host": DEFAULT_HOST} if DEFAULT_HOST else {})

        # The program refuses the library in a box, which the shop closes with its OK.
        program = s.start_from(r'"C:\Program Files\Tavix CallerID\tavix-callerid.exe"')
        self.assertTrue(wait_until(lambda: "has no entry" in s.stderr() and s.window_id(MAIN_TITLE),
                                   timeout=60), s.stderr())
        self.assertIn('The device library "TavixHardware.dll" has no entry', s.stderr())
        s.click(MAIN_TITLE, 60, 10)  # its caption, which gives it the keyboard
        s.xdotool("key", "Return")
        self.assertEqual(program.wait(timeout=30), 1)

    def test_refused_without_a_library_it_can_use(self):
        s = self.shop()
        s.make_prefix()
        other_bits = 32 if BITS == 64 else 64
        with open(os.path.join(s.drive, "other.dll"), "wb") as f:
            f.write(dll_header(0x14C if other_bits == 32 else 0x8664))
        for options, reason in (
                ((), "cannot work without the AD101 box's device library"),
                ((r"/LIBRARY=C:\AD101\TavixHardware.dll",), r"There is no file C:\AD101\TavixHardware.dll."),
                ((r"/LIBRARY=C:\windows\win.ini",), r"C:\windows\win.ini is not a Windows library"),
                ((r"/LIBRARY=C:\other.dll",), f"is not a {BITS}-bit library"),
                (("/SIMULATOR=yes", "/HOST=https://pos.myshop.example/"),
                 '"https://pos.myshop.example/" is not a host name')):
            with self.subTest(options=options):
                result = s.setup(*options)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(reason, result.stderr)
                self.assertFalse(os.path.exists(s.folder))
                self.assertEqual(s.values(UNINSTALL), {})


if __name__ == "__main__":
    unittest.main(verbosity=2)
