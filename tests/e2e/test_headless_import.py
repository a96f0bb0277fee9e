"""portelle-import, the import without the dialog: the 10.5 sample exported
by the real portelle /c /t, then imported with portelle-import into fresh
copies of the sample target server, beside the import driver's result for
the same archive. Also the question on the console, the refusal of a server
that cannot import, the JSON summary, the command line, and the usage texts
of all three programs."""

import json
import os
import subprocess
import unittest

from harness import (CORRUPT, RUN_TIMEOUT_S, SAMPLES, TARGET_SAMPLE, Archive, Server,
                     HELP_VARIABLES, REASON, command, export_sample, native, run, utf16)

SOURCE_SAMPLE = "10.5"
QUESTION = ("Warning: Selected data file will override current firewall profiles, policies, and "
            "Bastionel configurations and settings. Continue importing data file? (y/n): ")
DUPLICATES_MESSAGE = (
    "The tool didn't replace the setting for the duplicated domains. Please check "
    "'DuplicateDomainList.txt' and manually verify if they have the correct settings via the "
    "Bastionel console.")
TOOL_SUCCEEDED = "Tool has executed successfully"


def fixture(sample):
    return os.path.join(SAMPLES, sample, "fixture.json")


def backup_path(server):
    """The one backup an import took of `server`'s files."""
    folder = os.path.join(server.install, "Backup")
    names = os.listdir(folder)
    assert len(names) == 1, names
    return native(os.path.join(folder, names[0]))


def run_headless(server, *arguments, stdin=b""):
    """Runs portelle-import against `server` with its root folder current,
    so that DuplicateDomainList.txt lands there; (exit code, out, err)."""
    result = run(command("portelle-import", *arguments), input=stdin,
                            capture_output=True, env=server.env(), cwd=server.root,
                            timeout=RUN_TIMEOUT_S)
    return (result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8"))


EXPORT = {}


def setUpModule():
    """One export of the source sample serves every test."""
    EXPORT["path"] = export_sample(SOURCE_SAMPLE)


class HeadlessImportTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.archive_path = EXPORT["path"]
        cls.archive = Archive(cls.archive_path)
        with open(fixture(TARGET_SAMPLE), encoding="utf-8") as f:
            entries = {d["entry"].lower() for d in json.load(f)["domains"]}
        cls.created = [r for r in cls.archive.records if utf16(r["computer"]).lower() not in entries]
        cls.duplicates = len(cls.archive.records) - len(cls.created)
        assert cls.duplicates > 0, "the sample target shares no entry name"
        # Every member but the package is written into the install folder.
        cls.files = sum(1 for i in cls.archive.infos if i.file_size and i.filename != "skva.dat")

    def target(self, sample=TARGET_SAMPLE):
        """A fresh copy of `sample` with its database service running."""
        server = Server(sample=sample)
        self.addCleanup(server.close)
        server.install_firewall_library()
        server.start_database(fixture(sample))
        return server

    def summary_lines(self, server):
        return ["Duplicate domain report: %s" % native(server.path("DuplicateDomainList.txt")),
                "Domains created: %d" % len(self.created),
                "Duplicate domains left alone: %d" % self.duplicates,
                "Domains refused or damaged: 0",
                "Files replaced: %d" % self.files,
                "Firewall settings migrated.",
                "DLP template migrated.",
                "Backup of the files the import changes: %s" % backup_path(server)]


class SameResultAsTheImportDriver(HeadlessImportTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        reference = Server(sample=TARGET_SAMPLE)
        cls.addClassCleanup(reference.close)
        reference.install_firewall_library()
        reference.start_database(fixture(TARGET_SAMPLE))
        driven = reference.import_archive(cls.archive_path)
        assert driven.returncode == 0, driven.stderr
        cls.reference = reference

        headless = Server(sample=TARGET_SAMPLE)
        cls.addClassCleanup(headless.close)
        headless.install_firewall_library()
        headless.start_database(fixture(TARGET_SAMPLE))
        cls.code, cls.out, cls.err = run_headless(headless, "--yes", cls.archive_path)
        cls.headless = headless

    def test_the_database_and_the_report_hold_what_the_driver_gives(self):
        self.assertEqual(self.code, 3, self.err)
        mine, theirs = self.headless.dump(), self.reference.dump()
        for part in ("domains", "dlp", "detached"):
            self.assertEqual(sorted(mine[part], key=json.dumps),
                             sorted(theirs[part], key=json.dumps), part)
        uids = {d["uid"] for d in mine["domains"]}
        for record in self.created:
            self.assertIn(utf16(record["uid"]), uids)
        self.assertEqual(self.headless.report(), self.reference.report())
        self.assertEqual(len(self.headless.report()), self.duplicates)
        self.assertEqual(self.headless.leftovers(), [])

    def test_the_server_files_are_those_the_driver_leaves(self):
        def files(server):
            # The component stand-ins record the install path, which differs.
            install = native(server.install).encode()
            # The backup taken before the import is portelle-import's own.
            return {name: data.replace(install, b"INSTALL/").replace(install[:-1],
                                                                    b"INSTALL")
                    for name, data in server.files().items() if not name.startswith("Backup/")}
        self.assertEqual(files(self.headless), files(self.reference))

    def test_duplicates_end_with_messages_141_and_142_and_the_summary(self):
        self.assertEqual(self.out.splitlines(),
                         [DUPLICATES_MESSAGE, TOOL_SUCCEEDED] + self.summary_lines(self.headless))
        self.assertEqual(self.err, "")


class TheQuestion(HeadlessImportTestCase):
    def test_any_answer_but_y_changes_nothing(self):
        server = self.target()
        before, database = server.files(), server.dump()["domains"]
        for answer in (b"n", b"Y", b""):
            code, out, err = run_headless(server, self.archive_path, stdin=answer)
            self.assertEqual(code, 1, err)
            # The key read is echoed, as for the console export's question.
            self.assertEqual(out, QUESTION + answer.decode() + "\nImport is aborted\n")
            self.assertEqual(err, "")
        self.assertEqual(server.files(), before)
        self.assertEqual(server.dump()["domains"], database)
        self.assertFalse(os.path.exists(server.path("DuplicateDomainList.txt")))

    def test_y_imports(self):
        server = self.target()
        code, out, err = run_headless(server, self.archive_path, stdin=b"y")
        self.assertEqual(code, 3, err)
        self.assertEqual(out.splitlines(), [QUESTION + "y", DUPLICATES_MESSAGE, TOOL_SUCCEEDED]
                         + self.summary_lines(server))
        self.assertEqual(len(server.report()), self.duplicates)


class Refusals(HeadlessImportTestCase):
    def test_a_server_that_cannot_import_is_refused_before_anything_is_asked(self):
        server = self.target(SOURCE_SAMPLE)
        before = server.files()
        code, out, err = run_headless(server, "--yes", self.archive_path)
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err, "Unable to continue. This tool only imports into Bastionel 10.6 "
                              "SP2 without a patch; this server is version 10.5, service pack 0, "
                              "patch 0.\n")
        self.assertEqual(server.files(), before)
        self.assertFalse(os.path.exists(server.path("DuplicateDomainList.txt")))

    def test_discovery_failures_as_portelle_gives_them(self):
        server = self.target()
        os.remove(server.registry)
        code, out, err = run_headless(server, "--yes", self.archive_path)
        self.assertEqual((code, out), (1, ""))
        self.assertIn("Ensure that the Bastionel server is installed and try again.", err)
        self.assertIn("(the variable BASTIONEL_REGISTRY names another)", err)

    def test_an_archive_that_cannot_be_read_fails_with_its_reason(self):
        server = self.target()
        before = server.files()
        missing = server.path("missing.zip")
        code, out, err = run_headless(server, "--yes", missing)
        self.assertEqual((code, out), (1, ""))
        lines = err.splitlines()
        self.assertIn(CORRUPT, err)  # the engine's message box, before the reason
        self.assertEqual(lines[-1], "The data file %s was not imported: it cannot be read: %s. "
                                    "Nothing was changed on this server."
                                    % (missing, REASON["no such file"]))
        self.assertEqual(server.files(), before)

        code, out, err = run_headless(server, "--yes", "--json", missing)
        self.assertEqual(code, 1)
        summary = json.loads(out)
        self.assertEqual((summary["imported"], summary["exit_code"]), (False, 1))
        self.assertEqual(summary["failure"], lines[-1])


class Json(HeadlessImportTestCase):
    def test_the_summary_as_one_object_matching_the_text(self):
        server = self.target()
        code, out, err = run_headless(server, "--json", "--yes", self.archive_path)
        self.assertEqual(code, 3, err)
        self.assertEqual(err, "")
        self.assertEqual(out.count("\n"), 1)
        summary = json.loads(out)
        self.assertEqual(summary, {
            "archive": self.archive_path, "imported": True, "exit_code": 3,
            "messages": [DUPLICATES_MESSAGE, TOOL_SUCCEEDED],
            "report_file": native(server.path("DuplicateDomainList.txt")),
            "domains_created": len(self.created), "duplicates_left_alone": self.duplicates,
            "domains_refused_or_damaged": 0, "domains_refused": 0, "domains_not_imported": 0,
            "domains_without_config": 0, "files_replaced": self.files, "members_skipped": 0,
            "firewall_migrated": True, "dlp_template_migrated": True, "failure": None,
            "warnings": [], "backup": backup_path(server)})
        self.assertEqual(len(server.report()), self.duplicates)

    def test_the_question_goes_to_standard_error(self):
        server = self.target()
        code, out, err = run_headless(server, "--json", self.archive_path, stdin=b"n")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err, QUESTION + "\nImport is aborted\n")


class CommandLines(unittest.TestCase):
    def setUp(self):
        self.server = Server(sample=TARGET_SAMPLE)
        self.addCleanup(self.server.close)

    def run_program(self, name, *arguments):
        env = self.server.env()
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        result = run(command(name, *arguments), input=b"",
                                capture_output=True, env=env, cwd=self.server.root,
                                timeout=RUN_TIMEOUT_S)
        return (result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8"))

    def test_a_bad_command_line_gives_exit_code_2_before_anything_else(self):
        os.remove(self.server.registry)  # not even discovery runs
        for arguments in ([], ["--yes"], ["a.zip", "b.zip"], ["--force", "a.zip"], ["-y", "a"]):
            code, out, err = self.run_program("portelle-import", *arguments)
            self.assertEqual((code, out), (2, ""), arguments)
            self.assertTrue(err.startswith("portelle-import: "), err)
            self.assertIn("Usage: portelle-import [--yes] [--json] ARCHIVE", err)

    def test_help_in_three_spellings_for_all_three_programs(self):
        os.remove(self.server.registry)  # help needs no server
        for name in ("portelle", "portelle-import", "portelle-examine"):
            texts = set()
            for token in ("--help", "-h", "/?"):
                code, out, err = self.run_program(name, token)
                self.assertEqual((code, err), (0, ""), (name, token))
                self.assertTrue(out.startswith("Usage: %s " % name), out)
                self.assertIn("Exit codes", out)
                texts.add(out)
            self.assertEqual(len(texts), 1, name)
        _, out, _ = self.run_program("portelle", "-h")
        for text in ("/c", "/t", "/e", "/i", "C:\\SkvaMigrate.zip") + HELP_VARIABLES:
            self.assertIn(text, out)
        _, out, _ = self.run_program("portelle-import", "-h")
        for text in ("--yes", "--json", "  3  imported") + HELP_VARIABLES[:1]:
            self.assertIn(text, out)

    def test_other_flags_are_still_unknown_to_portelle(self):
        code, _, err = self.run_program("portelle", "/c", "/t", "-help")
        self.assertEqual(code, 1)
        self.assertIn("Unknown flag help", err)
        self.assertIn("Export file path is not specified", self.run_program(
            "portelle", "/c", "/t", "/H")[1])

    def test_console_mode_names_portelle_import(self):
        archive = self.server.path("a.zip")
        code, out, err = self.run_program("portelle", "/c", "/i", "/t", archive)
        self.assertEqual((code, out), (1, "Import is not supported by command-line mode yet\n"))
        self.assertEqual(err, "Use portelle-import to import without the dialog.\n")
        self.assertFalse(os.path.exists(archive))


if __name__ == "__main__":
    unittest.main()
