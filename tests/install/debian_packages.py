#!/usr/bin/env python3
"""Tavix CallerID: the Debian packages, as a shop installs them. The program's package holds no
stand-in device, the simulated box comes in a package of its own, and the program installed alone
says that its device library is missing."""
import os
import subprocess
import sys
import tempfile
import unittest

BUILD = os.environ["TAVIX_BUILD_DIR"]
CPACK = os.environ.get("TAVIX_CPACK", "cpack")
LSAN_SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app",
                                 "lsan-program.supp")


def deb(*args):
    return subprocess.run(["dpkg-deb", *args], check=True, capture_output=True, text=True).stdout


def files_of(package):
    """The package's files (not folders), as installed paths without the leading slash."""
    return {line.split()[-1].lstrip("./") for line in deb("-c", package).splitlines()
            if not line.startswith("d")}


class DebianPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="tavix-deb-")
        subprocess.run([CPACK, "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                        "-B", cls.folder.name], check=True, capture_output=True, timeout=240)
        debs = [name for name in os.listdir(cls.folder.name) if name.endswith(".deb")]
        cls.packages = {deb("-f", os.path.join(cls.folder.name, name), "Package").strip():
                        os.path.join(cls.folder.name, name) for name in debs}

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_the_simulated_box_has_a_package_of_its_own(self):
        self.assertEqual(sorted(self.packages), ["tavix-callerid", "tavix-callerid-simulator"])
        program = files_of(self.packages["tavix-callerid"])
        simulator = files_of(self.packages["tavix-callerid-simulator"])
        self.assertIn("usr/bin/tavix-callerid", program)
        self.assertIn("usr/share/applications/tavix-callerid.desktop", program)
        self.assertEqual([path for path in program if "TavixHardware" in path or "tavix-sim" in path], [])
        self.assertEqual(simulator, {"usr/bin/tavix-sim", "usr/lib/tavix-callerid/libTavixHardware.so"})
        self.assertEqual(program & simulator, set(), "dpkg refuses two packages with one file")

        version = deb("-f", self.packages["tavix-callerid"], "Version").strip()
        self.assertIn(f"tavix-callerid (= {version})",
                      deb("-f", self.packages["tavix-callerid-simulator"], "Depends"))
        self.assertNotIn("simulator", deb("-f", self.packages["tavix-callerid"], "Depends"))

    def test_the_program_alone_says_its_device_library_is_missing(self):
        with tempfile.TemporaryDirectory(prefix="tavix-deb-root-") as root:
            deb("-x", self.packages["tavix-callerid"], root)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CONFIG_HOME"):
                env[name] = os.path.join(root, name.lower())
                os.mkdir(env[name], 0o700)
            env.pop("LD_LIBRARY_PATH", None)
            if "LSAN_OPTIONS" in env:
                env["LSAN_OPTIONS"] = f"suppressions={LSAN_SUPPRESSIONS}:print_suppressions=0"
            result = subprocess.run([os.path.join(root, "usr/bin/tavix-callerid")], env=env,
                                    capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("Tavix CallerID could not start", result.stderr)
        self.assertIn('Cannot load the device library "libTavixHardware.so"', result.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
