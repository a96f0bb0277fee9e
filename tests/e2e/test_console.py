"""The console mode of the real portelle: flags, the archive path, the
overwrite question and the final key wait, answered through standard input."""

import os
import unittest
import zipfile

from harness import ExportTestCase


class Console(ExportTestCase):
    def setUp(self):
        self.server = self.make_server(version="10.5")
        self.server.write("bsnscan.ini", "[Global Setting]\r\nOleLayer=1\r\n")
        # A reachable service with an empty tree: exports are plain successes.
        self.server.start_database({"domains": []})

    def run_portelle(self, *arguments, stdin=b""):
        result = self.server.export(*arguments, stdin=stdin)
        return (result.returncode, result.stdout.decode("utf-8"),
                result.stderr.decode("utf-8"))

    def test_flags(self):
        code, out, _ = self.run_portelle("/c", "/t")
        self.assertEqual((code, out), (1, "Export file path is not specified\n"))

        archive = self.server.path("a.zip")
        code, out, _ = self.run_portelle("/c", "/i", "/t", archive)
        self.assertEqual((code, out), (1, "Import is not supported by command-line mode yet\n"))
        self.assertFalse(os.path.exists(archive))

        code, out, _ = self.run_portelle("/c", "/i", "/e", "/t", archive)
        self.assertEqual(code, 0)
        self.assertTrue(zipfile.is_zipfile(archive))

        # An unknown flag is reported and skipped: upper case is not "c".
        code, out, err = self.run_portelle("/C", "/c", "-x", "/t", self.server.path("b.zip"))
        self.assertEqual(code, 0, out + err)
        self.assertIn("Unknown flag C", err)
        self.assertIn("Unknown flag x", err)

        code, _, err = self.run_portelle("/C")
        self.assertEqual(code, 1)
        self.assertIn("Unknown flag C", err)
        self.assertIn("/c", err)  # without /c only the console export is available here

    def test_the_last_path_counts_and_it_is_trimmed(self):
        first, second = self.server.path("first.zip"), self.server.path("second.zip")
        code, out, _ = self.run_portelle("/c", "/t", first, "  %s\t " % second)
        self.assertEqual(code, 0)
        self.assertEqual(out, "Settings are successfully exported to %s\n" % second)
        self.assertFalse(os.path.exists(first))
        self.assertTrue(zipfile.is_zipfile(second))

    def test_zip_is_appended_to_a_name_without_it_and_the_line_names_the_file_written(self):
        plain = self.server.path("archive")
        code, out, _ = self.run_portelle("/c", "/t", plain)
        self.assertEqual(code, 0)
        self.assertEqual(out, "Settings are successfully exported to %s.Zip\n" % plain)
        self.assertFalse(os.path.exists(plain))
        self.assertTrue(zipfile.is_zipfile(plain + ".Zip"))

    def test_only_a_lower_case_y_overwrites(self):
        archive = self.server.path("old.zip")
        for answer in (b"Y", b"n", b""):
            with open(archive, "wb") as f:
                f.write(b"previous archive")
            code, out, _ = self.run_portelle("/c", "/t", archive, stdin=answer)
            self.assertEqual(code, 1, answer)
            # The key read is echoed.
            self.assertEqual(out, "Export file %s already exists. Overwrite? (y/n): %s\n"
                             "Export is aborted\n" % (archive, answer.decode()))
            with open(archive, "rb") as f:
                self.assertEqual(f.read(), b"previous archive")
        code, out, _ = self.run_portelle("/c", "/t", archive, stdin=b"y")
        self.assertEqual(code, 0)
        self.assertTrue(zipfile.is_zipfile(archive))

    def test_without_t_the_program_waits_for_a_key(self):
        archive = self.server.path("old.zip")
        with open(archive, "wb") as f:
            f.write(b"previous archive")
        code, out, _ = self.run_portelle("/c", archive, stdin=b"yq")
        self.assertEqual(code, 0)
        self.assertTrue(out.endswith("Settings are successfully exported to %s\n"
                                     "Press any key to exit...\n" % archive), out)
        code, out, _ = self.run_portelle("/c")  # end of input counts as the key
        self.assertEqual((code, out),
                         (1, "Export file path is not specified\nPress any key to exit...\n"))

    def test_a_relative_archive_path_is_taken_from_the_callers_folder(self):
        os.makedirs(self.server.path("here/out"))
        result = self.server.export("/c", "/t", "out/a.zip", cwd=self.server.path("here"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(zipfile.is_zipfile(self.server.path("here/out/a.zip")))
        self.assertFalse(os.path.exists(os.path.join(self.server.install, "out")))
        self.assertEqual(self.server.leftovers(), [])


if __name__ == "__main__":
    unittest.main()
