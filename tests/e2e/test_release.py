"""What a release depends on: every program says the project's version
without looking for the server, and the installed layout (the programs in
PREFIX/libexec/portelle beside the zip library, links to them in PREFIX/bin)
gives programs that find that library."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from harness import BIN, RUN_TIMEOUT_S, SAMPLES, ExportTestCase

BUILD = os.path.dirname(os.path.abspath(BIN))
PROGRAMS = ["portelle", "portelle-import", "portelle-examine"]
STAND_INS = ["bastionel-dbservice", "bastionel-logservice", "bastionel-encipher"]


def project_version():
    """The version project() set, as the build's cache holds it."""
    with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as f:
        return re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.*)$", f.read(), re.M).group(1)


def installed_prefix(test):
    """Runs cmake --install into a fresh prefix, removed after the test."""
    cmake = shutil.which("cmake")
    if cmake is None:
        test.skipTest("cmake is not on PATH")
    prefix = tempfile.mkdtemp(prefix="portelle-release-")
    test.addCleanup(shutil.rmtree, prefix, True)
    result = subprocess.run([cmake, "--install", BUILD, "--prefix", prefix],
                            capture_output=True, timeout=RUN_TIMEOUT_S)
    test.assertEqual(result.returncode, 0, result.stderr)
    return prefix


class Version(unittest.TestCase):
    def test_each_program_prints_the_project_version_without_looking_for_the_server(self):
        version = project_version()
        self.assertRegex(version, r"^\d+\.\d+\.\d+$")
        # A registry file that does not exist and no display: looking for the
        # server, or opening the dialog, would say so on standard error.
        env = dict(os.environ, BASTIONEL_REGISTRY="/nonexistent/registry.reg", DISPLAY="",
                   WAYLAND_DISPLAY="")
        for name in PROGRAMS:
            for arguments in (["--version"], ["--version", "extra.zip"]):
                result = subprocess.run([os.path.join(BIN, name)] + arguments,
                                        capture_output=True, env=env, timeout=RUN_TIMEOUT_S,
                                        stdin=subprocess.DEVNULL)
                self.assertEqual((result.returncode, result.stdout.decode(), result.stderr),
                                 (0, "%s %s\n" % (name, version), b""), (name, arguments))


class InstalledLayout(ExportTestCase):
    def test_bin_holds_relative_links_to_the_programs_beside_their_libraries(self):
        prefix = installed_prefix(self)
        private = os.path.join(prefix, "libexec", "portelle")
        for name in PROGRAMS + STAND_INS:
            link = os.path.join(prefix, "bin", name)
            self.assertTrue(os.path.islink(link), link)
            self.assertEqual(os.readlink(link), "../libexec/portelle/" + name)
            self.assertTrue(os.access(link, os.X_OK), link)
        for name in ["zlibwapi.so", "libPackDll.so", "BsnPfwCommon.so", "SvcCfgRunner"]:
            self.assertTrue(os.path.isfile(os.path.join(private, name)), name)
        # Test doubles and test programs stay out.
        self.assertEqual(sorted(n for n in os.listdir(private) if "test" in n.lower()), [])

    def test_an_installed_portelle_started_through_its_link_finds_the_zip_library(self):
        prefix = installed_prefix(self)
        server = self.make_server(sample="10.5")
        server.start_database(os.path.join(SAMPLES, "10.5", "fixture.json"))
        archive = server.path("SkvaMigrate.zip")
        link = os.path.join(prefix, "bin", "portelle")
        result = subprocess.run([link, "/c", "/t", archive], capture_output=True,
                                env=server.env(), cwd=server.root, timeout=RUN_TIMEOUT_S)
        self.assertExported(result, archive)

        # The same program without the library beside it refuses to start.
        lonely = os.path.join(server.root, "lonely")
        os.makedirs(lonely)
        shutil.copy(os.path.join(prefix, "libexec", "portelle", "portelle"), lonely)
        result = subprocess.run([os.path.join(lonely, "portelle"), "/c", "/t", archive + "2"],
                                capture_output=True, env=server.env(), cwd=server.root,
                                timeout=RUN_TIMEOUT_S)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"zlibwapi.dll", result.stderr)


if __name__ == "__main__":
    unittest.main()
