"""The manual pages in docs/man/: each renders without a warning from groff,
names every option and environment variable its program's --help lists, and
is installed with the programs by cmake --install."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from harness import BIN, RUN_TIMEOUT_S, SOURCE, program

PROGRAMS = ["portelle", "portelle-import", "portelle-examine"]
MAN = os.path.join(SOURCE, "docs", "man")

# An option of a usage text: "-x", "--word" or "/x" (a slash and one letter or
# "?"), standing alone: not inside a word or a path like /etc/... .
OPTION = re.compile(r"(?<![\w/.\-])(--?[a-z][a-z-]*|/[a-z?])(?![\w/-])")
VARIABLE = re.compile(r"\b[A-Z][A-Z0-9]*_[A-Z0-9_]+\b")


def page_source(name):
    with open(os.path.join(MAN, name + ".1"), encoding="utf-8") as f:
        return f.read()


def page_text(source):
    """The page's source with the escapes that hide plain text undone."""
    text = re.sub(r"\\f[BIRP]", "", source)
    text = text.replace("\\-", "-").replace("\\e", "\\").replace("\\(dq", '"')
    return text.replace("\\~", " ")


def help_text(name):
    result = subprocess.run([program(name), "--help"], capture_output=True,
                            timeout=RUN_TIMEOUT_S, env=dict(os.environ, DISPLAY=""))
    assert result.returncode == 0, result.stderr
    return result.stdout.decode("utf-8")


class ManualPages(unittest.TestCase):
    def test_the_option_pattern_finds_options_and_not_paths(self):
        found = OPTION.findall("  /c /? -h, --help --dry-run /etc/x.reg /tmp/bastionel-pipe "
                               "portelle-import (\".Zip\") -c, -t")
        self.assertEqual(found, ["/c", "/?", "-h", "--help", "--dry-run", "-c", "-t"])

    def test_every_option_and_variable_of_the_usage_text_is_in_the_page(self):
        for name in PROGRAMS:
            usage = help_text(name)
            text = page_text(page_source(name))
            words = set(re.findall(r"[^\s,()\[\]|]+", text))
            listed = set(OPTION.findall(usage)) | set(VARIABLE.findall(usage))
            self.assertIn("--help", listed, name)
            for token in sorted(listed):
                self.assertTrue(token in words, "%s: %s is not in the manual page" % (name, token))

    def test_each_page_is_a_section_1_page_that_groff_renders_without_warnings(self):
        groff = shutil.which("groff")
        for name in PROGRAMS:
            source = page_source(name)
            header = source.splitlines()[0]
            self.assertRegex(header, r'^\.TH %s 1 "' % re.escape(name.upper().replace("-", "\\-")))
            for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS",
                            "SEE ALSO"):
                self.assertIn("\n.SH %s\n" % section, source, name)
            if groff is None:
                continue
            result = subprocess.run([groff, "-man", "-Tutf8", "-ww", "-z",
                                     os.path.join(MAN, name + ".1")],
                                    capture_output=True, timeout=RUN_TIMEOUT_S)
            self.assertEqual((result.returncode, result.stderr.decode("utf-8")), (0, ""), name)
        if groff is None:
            self.skipTest("groff is not installed: the pages were not rendered")

    def test_cmake_install_puts_the_programs_and_their_pages_in_place(self):
        cmake = shutil.which("cmake")
        if cmake is None:
            self.skipTest("cmake is not on PATH")
        build = os.path.dirname(os.path.abspath(BIN))
        prefix = tempfile.mkdtemp(prefix="portelle-install-")
        self.addCleanup(shutil.rmtree, prefix, True)
        result = subprocess.run([cmake, "--install", build, "--prefix", prefix],
                                capture_output=True, timeout=RUN_TIMEOUT_S)
        self.assertEqual(result.returncode, 0, result.stderr)
        for name in PROGRAMS:
            installed = os.path.join(prefix, "bin", name)
            self.assertTrue(os.access(installed, os.X_OK), installed)
            with open(os.path.join(prefix, "share", "man", "man1", name + ".1"),
                      encoding="utf-8") as f:
                self.assertEqual(f.read(), page_source(name))


if __name__ == "__main__":
    unittest.main()
