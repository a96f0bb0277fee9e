"""The progress line of the console export and of portelle-import, with the
real programs: on a terminal (a pseudo-terminal here) one line on standard
error, rewritten in place with carriage returns and blanked before the
outcome; on a pipe not a byte of it. Standard output is the same either
way."""

import os
import pty
import re
import select
import subprocess
import termios
import unittest

from harness import (RUN_TIMEOUT_S, SAMPLES, TARGET_SAMPLE, Archive, Server, command,
                     linux_only, run)

SOURCE_SAMPLE = "10.5"
ELAPSED = r"\d+:\d\d elapsed *"


def fixture(sample):
    return os.path.join(SAMPLES, sample, "fixture.json")


def run_with_terminal(argv, env, cwd):
    """Runs `argv` with standard error on a pseudo-terminal and standard
    output on a pipe; (exit code, standard output, the terminal's bytes)."""
    master, slave = pty.openpty()
    # The terminal passes the bytes on as written (no CR LF for LF).
    attributes = termios.tcgetattr(slave)
    attributes[1] &= ~termios.OPOST
    termios.tcsetattr(slave, termios.TCSANOW, attributes)
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=slave, env=env, cwd=cwd)
    os.close(slave)
    received = b""
    try:
        while True:
            ready, _, _ = select.select([master], [], [], RUN_TIMEOUT_S)
            if not ready:
                process.kill()
                raise AssertionError("%s wrote nothing for %ds" % (argv[0], RUN_TIMEOUT_S))
            try:
                chunk = os.read(master, 4096)
            except OSError:  # EIO: every holder of the terminal has closed it
                break
            if not chunk:
                break
            received += chunk
    finally:
        os.close(master)
    out, _ = process.communicate(timeout=RUN_TIMEOUT_S)
    return process.returncode, out.decode("utf-8"), received.decode("utf-8")


def split_progress(terminal, pattern):
    """The progress lines at the start of `terminal` (each "\\r" + a line
    matching `pattern`), checked to end with the blanking of the widest;
    returns (lines, what followed)."""
    match = re.match(r"((?:\r%s)+)\r( +)\r" % pattern, terminal)
    assert match, repr(terminal[:300])
    lines = [line.rstrip(" ") for line in match.group(1).split("\r")[1:]]
    assert len(match.group(2)) == max(len(line) for line in match.group(1).split("\r")), \
        repr(match.group(0))
    return lines, terminal[match.end():]


@linux_only("under Wine a terminal shows what Wine's console makes of the output")
class ConsoleExportProgress(unittest.TestCase):
    def setUp(self):
        self.server = Server(sample=SOURCE_SAMPLE)
        self.addCleanup(self.server.close)
        self.server.start_database(fixture(SOURCE_SAMPLE))

    def test_a_terminal_sees_the_walk_count_and_a_pipe_sees_nothing(self):
        archive = self.server.path("terminal.zip")
        code, out, terminal = run_with_terminal(command("portelle", "/c", "/t", archive),
                                                self.server.env(), self.server.root)
        self.assertEqual((code, out), (0, "Settings are successfully exported to %s\n" % archive))
        lines, rest = split_progress(terminal, r"Exporting: \d+ domains done, " + ELAPSED)
        self.assertEqual(rest, "")
        self.assertTrue(lines[0].startswith("Exporting: 0 domains done, "), lines)
        records = len(Archive(archive).records)
        self.assertGreater(records, 0)
        counts = [int(re.search(r"(\d+) domains", line).group(1)) for line in lines]
        self.assertEqual(counts, sorted(counts))
        self.assertLessEqual(counts[-1], records)

        piped = self.server.export("/c", "/t", self.server.path("pipe.zip"))
        self.assertEqual(piped.returncode, 0)
        self.assertEqual(piped.stderr, b"")
        self.assertEqual(piped.stdout.decode("utf-8"),
                         "Settings are successfully exported to %s\n" % self.server.path("pipe.zip"))


@linux_only("under Wine a terminal shows what Wine's console makes of the output")
class HeadlessImportProgress(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        source = Server(sample=SOURCE_SAMPLE)
        cls.addClassCleanup(source.close)
        source.start_database(fixture(SOURCE_SAMPLE))
        cls.archive = source.path("SkvaMigrate.zip")
        exported = source.export("/c", "/t", cls.archive)
        assert exported.returncode == 0, exported.stdout + exported.stderr
        cls.records = len(Archive(cls.archive).records)

    def target(self, with_database=True):
        server = Server(sample=TARGET_SAMPLE)
        self.addCleanup(server.close)
        if with_database:
            server.install_firewall_library()
            server.start_database(fixture(TARGET_SAMPLE))
        return server

    def import_on_terminal(self, server):
        """(exit code, standard output, the terminal's bytes)"""
        return run_with_terminal(command("portelle-import", "--yes", self.archive),
                                 server.env(), server.root)

    def import_on_pipes(self, server):
        """(exit code, standard output, standard error)"""
        result = run(command("portelle-import", "--yes", self.archive),
                                stdin=subprocess.DEVNULL, capture_output=True, env=server.env(),
                                cwd=server.root, timeout=RUN_TIMEOUT_S)
        return (result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8"))

    def test_a_terminal_counts_against_the_archives_total_and_a_pipe_sees_nothing(self):
        server = self.target()
        code, out, terminal = self.import_on_terminal(server)
        lines, rest = split_progress(terminal,
                                     r"Importing: \d+ of %d domains done, " % self.records + ELAPSED)
        self.assertTrue(lines[0].startswith("Importing: 0 of %d domains done, " % self.records))
        # The last count is always shown, however soon it comes.
        self.assertTrue(lines[-1].startswith("Importing: %d of %d domains done, "
                                             % (self.records, self.records)), lines)

        piped_server = self.target()
        piped_code, piped_out, piped_err = self.import_on_pipes(piped_server)
        self.assertEqual(piped_code, code)
        self.assertNotIn("\r", piped_err)
        self.assertNotIn("domains done", piped_err)
        # After the blanked line the terminal gets what the pipe gets, and
        # standard output is the same but for the servers' own folders and
        # the time in the name of each import's backup.
        self.assertEqual(rest, piped_err)

        def same_part(text, root):
            return re.sub(r"portelle-backup-\d{8}-\d{6}(_\d+)?\.zip", "portelle-backup-TIME.zip",
                          text.replace(root, "ROOT"))

        self.assertEqual(same_part(out, server.root), same_part(piped_out, piped_server.root))

    def test_messages_during_the_import_start_on_a_line_of_their_own(self):
        # No database service: every domain ends with message 134 on
        # standard error while the progress line is up.
        code, _, terminal = self.import_on_terminal(self.target(with_database=False))
        piped_code, _, piped_err = self.import_on_pipes(self.target(with_database=False))
        self.assertEqual(piped_code, code)
        self.assertEqual(piped_err.count("Korvane Bastionel Portelle: Unable to continue importing"),
                         self.records)
        # Each message comes after the line was blanked, never behind it.
        for match in re.finditer("Korvane Bastionel Portelle: ", terminal):
            self.assertRegex(terminal[:match.start()], r"(\r +\r|\n)$")
        # Without the progress line the terminal got what the pipe got.
        progress = r"\rImporting: \d+ of %d domains done, %s" % (self.records, ELAPSED)
        self.assertEqual(re.sub(r"\r +\r", "", re.sub(progress, "", terminal)), piped_err)


if __name__ == "__main__":
    unittest.main()
