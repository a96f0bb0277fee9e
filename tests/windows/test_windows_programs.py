"""The Windows programs as an administrator starts them: under Wine, with the
server's registry key in the prefix's registry (written with reg.exe) and a
server installation on drive Z:, without the server's services. Python runs
on the Linux side and starts each program through wine."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from harness import SAMPLES, Archive, ini_sections  # noqa: E402

BIN = os.environ.get("PORTELLE_WINDOWS_BIN_DIR") or os.path.join(
    os.path.dirname(__file__), "..", "..", "build-windows", "bin")
KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Bastionel\service\Information"
RUN_TIMEOUT_S = 120


def windows_path(path):
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, env=None):
    full_env = dict(os.environ, WINEDEBUG="-all")
    full_env.pop("BASTIONEL_REGISTRY", None)
    full_env.update(env or {})
    return subprocess.run(["wine"] + list(args), capture_output=True, env=full_env,
                          timeout=RUN_TIMEOUT_S, stdin=subprocess.DEVNULL)


def program(name):
    return os.path.join(BIN, name)


class WindowsProgramsTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="portelle-windows-")
        self.install = os.path.join(self.folder, "install")
        shutil.copytree(os.path.join(SAMPLES, "10.5", "install"), self.install)
        values = [("Server_Version", "REG_SZ", "10.5"),
                  ("ServicePack_VersionNumber", "REG_DWORD", "0"),
                  ("Patch_VersionNumber", "REG_DWORD", "0"),
                  ("Local_Path", "REG_SZ", windows_path(self.install) + "\\")]
        for name, kind, data in values:
            # reg.exe reads a backslash before a closing quote as an escape.
            if data.endswith("\\"):
                data += "\\"
            result = wine("reg", "add", KEY, "/v", name, "/t", kind, "/d", data, "/f")
            self.assertEqual(result.returncode, 0, result.stderr)

    def tearDown(self):
        wine("reg", "delete", KEY, "/f")
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_console_export_without_a_database_service_writes_the_settings_and_warns(self):
        with open(os.path.join(self.install, "bsnscan.ini"), "wb") as f:
            f.write(b"[PFW]\r\nEnablePFW=1\r\nPFWMode=1\r\n")
        archive = os.path.join(self.folder, "out.zip")
        result = wine(program("portelle.exe"), "/c", "/t", windows_path(archive))
        self.assertEqual((result.returncode, result.stdout), (1, b""), result.stderr)
        self.assertEqual(
            result.stderr.decode().replace("\r\n", "\n"),
            "Exported the settings and files to %s, but no domain could be read from the "
            "database service. Ensure that the Bastionel database service is running and "
            "export again.\n" % windows_path(archive))
        exported = Archive(archive)
        self.assertEqual(exported.records, [])
        self.assertEqual(ini_sections(exported.ini_text())["PFW"], {"PFWMode": "1"})

        # The examiner reads what the export wrote.
        examined = wine(program("portelle-examine.exe"), windows_path(archive))
        self.assertEqual(examined.returncode, 0, examined.stderr)
        self.assertIn(b"skva.dat", examined.stdout)

    def test_without_a_display_the_dialog_says_so_and_fails(self):
        result = wine(program("portelle.exe"), env={"DISPLAY": "", "WAYLAND_DISPLAY": ""})
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("/c", result.stderr.decode())

    def test_help_needs_no_server(self):
        wine("reg", "delete", KEY, "/f")
        for name in ("portelle.exe", "portelle-import.exe", "portelle-examine.exe"):
            result = wine(program(name), "--help")
            self.assertEqual(result.returncode, 0, (name, result.stderr))
            self.assertTrue(result.stdout or result.stderr, name)


if __name__ == "__main__":
    unittest.main()
