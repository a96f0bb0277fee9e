"""portelle-import --dry-run, the backup taken before an import, --restore
and --list-backups, with the real programs: the 10.5 sample exported by the
real portelle /c /t, previewed and imported into fresh copies of the sample
target server. The preview must change nothing and send only lookups, and
list what the import then does, key for key and domain for domain; a backup
restored must give back the target's files byte for byte with their
times."""

import json
import os
import subprocess
import unittest

from harness import (RUN_TIMEOUT_S, SAMPLES, TARGET_SAMPLE, Server, WINDOWS, command, export_sample,
                     from_native, native)
from harness import run as run_built

SOURCE_SAMPLE = "10.5"
# What the stand-ins of the server's components write into the install
# folder when the import calls them: theirs, not the import's.
COMPONENT_RECORDS = ("BsnPfwCommon.calls.txt", "SvcCfgRunner.calls.txt", "SvcCfgRunner.given.")
LOOKUP = "DB_FIND_DOMAIN_UID"


def fixture(sample):
    return os.path.join(SAMPLES, sample, "fixture.json")


def run(server, *arguments, stdin=b""):
    result = run_built(command("portelle-import", *arguments), input=stdin,
                            capture_output=True, env=server.env(), cwd=server.root,
                            timeout=RUN_TIMEOUT_S)
    return (result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8"))


def modified_ns(path):
    """A file's last-write time as the system under test keeps it: Windows
    counts in steps of 100 ns."""
    ns = os.stat(path).st_mtime_ns
    return ns - ns % 100 if WINDOWS else ns


def server_files(server):
    """{path below the install folder: (bytes, last-write ns)}, without the
    backups and the component stand-ins' records."""
    found = {}
    for folder, folders, names in os.walk(server.install):
        if os.path.normpath(folder) == os.path.normpath(server.install):
            folders[:] = [f for f in folders if f != "Backup"]
        for name in names:
            full = os.path.join(folder, name)
            if name.startswith(COMPONENT_RECORDS):
                continue
            with open(full, "rb") as f:
                found[os.path.relpath(full, server.install)] = (f.read(),
                                                                 modified_ns(full))
    return found


def ini_values(data):
    """{(section, key): value} as the private-profile functions read the
    file: first section and first key of a name win, names compare
    case-insensitively, values trimmed."""
    if data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le")
    else:
        try:
            text = data.decode("utf-8-sig")
        except UnicodeDecodeError:
            text = data.decode("cp1252")
    values, section = {}, None
    for line in text.replace("\r", "\n").split("\n"):
        stripped = line.strip(" \t\v\f\x1a")
        if stripped.startswith("[") and "]" in stripped:
            section = stripped[1:stripped.rindex("]")].strip(" \t\v\f\x1a").lower()
        elif section is not None and "=" in stripped and not stripped.startswith(";"):
            key, value = stripped.split("=", 1)
            values.setdefault((section, key.strip(" \t\v\f\x1a").lower()),
                              value.strip(" \t\v\f\x1a"))
    return values


EXPORT = {}


def setUpModule():
    EXPORT["path"] = export_sample(SOURCE_SAMPLE)


class TargetTestCase(unittest.TestCase):
    def target(self):
        server = Server(sample=TARGET_SAMPLE)
        self.addCleanup(server.close)
        server.install_firewall_library()
        server.start_database(fixture(TARGET_SAMPLE))
        return server


class DryRun(TargetTestCase):
    @classmethod
    def setUpClass(cls):
        server = Server(sample=TARGET_SAMPLE)
        cls.addClassCleanup(server.close)
        server.install_firewall_library()
        server.start_database(fixture(TARGET_SAMPLE))
        cls.server = server
        cls.before = server_files(server)
        cls.domains_before = server.dump()["domains"]
        cls.code, out, cls.err = run(server, "--dry-run", "--json", EXPORT["path"])
        cls.plan = json.loads(out) if cls.code == 0 else None
        cls.text_code, cls.text, _ = run(server, "--dry-run", EXPORT["path"])
        cls.after_preview = server_files(server)
        cls.journal = server.dump()["journal"]
        cls.report_after_preview = os.path.exists(server.path("DuplicateDomainList.txt"))
        cls.backup_after_preview = os.path.exists(os.path.join(server.install, "Backup"))
        # Then the real import, to hold the preview against.
        cls.import_code, cls.import_out, cls.import_err = run(server, "--yes", EXPORT["path"])
        cls.after_import = server_files(server)

    def test_the_preview_changes_nothing_and_sends_only_lookups(self):
        self.assertEqual(self.code, 0, self.err)
        self.assertEqual(self.after_preview, self.before)
        self.assertFalse(self.report_after_preview)
        self.assertFalse(self.backup_after_preview)
        self.assertTrue(self.journal)
        self.assertEqual({e["command"] for e in self.journal}, {LOOKUP})

    def test_the_ini_keys_listed_are_those_the_import_changes(self):
        self.assertIn(self.import_code, (0, 3), self.import_err)
        changed = set()
        for name in ("bsnscan.ini", "Private/bsnserver.ini"):
            old = ini_values(self.before[name][0])
            new = ini_values(self.after_import[name][0])
            for key in set(old) | set(new):
                if old.get(key) != new.get(key):
                    changed.add((name.lower().replace("/", "\\"), key[0], key[1], new.get(key)))
        listed = {(c["file"].lower(), c["section"].lower(), c["key"].lower(), c["new"])
                  for c in self.plan["ini_changes"] if not c["kept"]}
        self.assertEqual(listed, changed)
        self.assertTrue(changed)
        # The target's server ID stays, and the preview says so.
        kept = {(c["section"], c["key"]) for c in self.plan["ini_changes"] if c["kept"]}
        self.assertIn(("Global Setting", "ServerID"), kept)
        for change in self.plan["ini_changes"]:
            if change["kept"]:
                self.assertEqual(change["current"], change["new"])
                self.assertNotEqual(change["archive_value"], change["current"])

    def test_the_domains_listed_are_those_the_import_creates_and_leaves_alone(self):
        created = {d["uid"] for d in self.server.dump()["domains"]} - {
            d["uid"] for d in self.domains_before}
        self.assertEqual({d["uid"] for d in self.plan["domains_created"]}, created)
        self.assertEqual(["%s\\%s" % (d["domain_name"], d["entry_name"])
                          for d in self.plan["duplicates_left_alone"]], self.server.report())
        self.assertTrue(self.plan["duplicates_left_alone"])
        self.assertEqual(self.plan["domains_not_imported"], [])

    def test_the_files_listed_are_those_the_import_writes(self):
        def native(names):
            return {n.replace("\\", "/").lower() for n in names}
        written = native(n for n, data in self.after_import.items()
                         if self.before.get(n) != data)
        removed = native(self.plan["files_removed"])
        listed = native(self.plan["files_replaced"] + self.plan["files_added"])
        inis = {"bsnscan.ini", "private/bsnserver.ini"}
        self.assertTrue(listed)
        self.assertEqual(written - inis, listed - removed)
        self.assertEqual(removed & native(self.after_import), set())
        self.assertTrue(native(self.plan["files_replaced"]) <= native(self.before))
        self.assertEqual(native(self.plan["files_added"]) & native(self.before), set())

    def test_the_component_calls_listed_are_those_made(self):
        with open(os.path.join(self.server.install, "BsnPfwCommon.calls.txt")) as f:
            made = ["BsnPfwCommon %s(\"%s\")" % tuple(line.split("\t"))
                    for line in f.read().splitlines()]
        self.assertEqual(self.plan["component_calls"][:2], made)
        self.assertTrue(self.plan["component_calls"][2].startswith(
            'SvcCfgRunner.exe -migrateDlpTemplate "Private\\DlpClc.ori.xml" '
            '"Private\\DlpClc.xml" 10.500000 0'))

    def test_text_and_json_show_the_same_plan(self):
        self.assertEqual(self.text_code, 0)
        lines = self.text.splitlines()
        self.assertEqual(lines[0], "Preview of the import of %s into %s. Nothing was changed on "
                                   "this server." % (EXPORT["path"], native(self.server.install)))
        self.assertIn("INI settings that would change: %d" % len(self.plan["ini_changes"]), lines)
        self.assertIn("Domains that would be created: %d" % len(self.plan["domains_created"]),
                      lines)
        self.assertIn("Duplicate domains that would be left alone: %d"
                      % len(self.plan["duplicates_left_alone"]), lines)
        self.assertIn("Files that would be replaced: %d" % len(self.plan["files_replaced"]),
                      lines)
        for change in self.plan["ini_changes"]:
            if not change["kept"]:
                self.assertIn("  %s [%s] %s: %s -> %s" % (
                    change["file"], change["section"], change["key"],
                    change["current"] if change["current"] is not None else "(none)",
                    change["new"] if change["new"] is not None else "(none)"), lines)
        for call in self.plan["component_calls"]:
            self.assertIn("  " + call, lines)

    def test_a_refused_archive_is_refused_by_the_preview_too(self):
        server = self.target()
        bad = server.path("bad.zip")
        with open(bad, "wb") as f:
            f.write(b"PK\x03\x04 not really")
        code, out, err = run(server, "--dry-run", "--json", bad)
        self.assertEqual(code, 1)
        self.assertEqual(json.loads(out)["previewed"], False)
        self.assertIn("The data file %s was not imported" % bad, err)
        self.assertEqual(server.dump()["journal"], [])


class ExamineAgainstServer(TargetTestCase):
    def test_examine_shows_the_archive_then_the_same_preview(self):
        server = self.target()
        before = server_files(server)
        examined = run_built(command("portelle-examine", EXPORT["path"], "--json", "--against-server"),
            capture_output=True, env=server.env(), cwd=server.root, timeout=RUN_TIMEOUT_S)
        self.assertEqual(examined.returncode, 0, examined.stderr)
        out = examined.stdout.decode("utf-8")
        archive, end = json.JSONDecoder().raw_decode(out)
        self.assertIn("domains", archive["package"])
        preview_line = out[end:].strip()
        code, previewed, _ = run(server, "--dry-run", "--json", EXPORT["path"])
        self.assertEqual(code, 0)
        self.assertEqual(json.loads(preview_line), json.loads(previewed))
        text = run_built(command("portelle-examine", "--against-server", EXPORT["path"]),
                              capture_output=True, env=server.env(), cwd=server.root,
                              timeout=RUN_TIMEOUT_S)
        self.assertEqual(text.returncode, 0, text.stderr)
        _, previewed_text, _ = run(server, "--dry-run", EXPORT["path"])
        self.assertTrue(text.stdout.decode("utf-8").endswith("\n\n" + previewed_text))
        self.assertEqual(server_files(server), before)
        self.assertEqual({entry["command"] for entry in server.dump()["journal"]}, {LOOKUP})


class BackupAndRestore(TargetTestCase):
    def test_restore_gives_back_the_files_bytes_and_times(self):
        server = self.target()
        before = server_files(server)
        code, out, err = run(server, "--yes", EXPORT["path"])
        self.assertIn(code, (0, 3), err)
        backup_lines = [l for l in out.splitlines()
                        if l.startswith("Backup of the files the import changes: ")]
        self.assertEqual(len(backup_lines), 1, out)
        backup = backup_lines[0].split(": ", 1)[1]
        self.assertTrue(backup.startswith(native(os.path.join(server.install, "Backup",
                                                              "portelle-backup-"))), backup)
        self.assertTrue(backup.endswith(".zip") and os.path.isfile(from_native(backup)))
        self.assertNotEqual(server_files(server), before)
        domains = server.dump()["domains"]

        code, out, err = run(server, "--list-backups")
        self.assertEqual(code, 0, err)
        self.assertTrue(out.startswith(backup + " ("), out)
        self.assertIn("taken before the import of %s" % EXPORT["path"], out)
        code, out, _ = run(server, "--list-backups", "--json")
        self.assertEqual([(b["path"], b["archive"]) for b in json.loads(out)],
                         [(backup, EXPORT["path"])])

        after_import = server_files(server)
        code, out, err = run(server, "--restore", backup, stdin=b"n")
        self.assertEqual(code, 1)
        self.assertTrue(out.endswith("Restore is aborted\n"), out)
        self.assertEqual(server_files(server), after_import)

        code, out, err = run(server, "--restore", os.path.basename(from_native(backup)), stdin=b"y")
        self.assertEqual(code, 0, err)
        self.assertEqual(server_files(server), before)
        self.assertIn("no database command removes them", out)
        self.assertEqual(server.dump()["domains"], domains)

    def test_a_backup_that_cannot_be_written_stops_the_import(self):
        server = self.target()
        server.write("Backup", "a file where the backup folder belongs")
        before = server_files(server)
        code, out, err = run(server, "--yes", EXPORT["path"])
        self.assertEqual((code, out), (1, ""))
        self.assertIn("Unable to write the backup %s" % native(os.path.join(server.install, "Backup")),
                      err)
        self.assertIn("Nothing was imported", err)
        self.assertEqual(server_files(server), before)
        self.assertEqual(server.dump()["journal"], [])
        self.assertFalse(os.path.exists(server.path("DuplicateDomainList.txt")))

        code, out, err = run(server, "--yes", "--json", EXPORT["path"])
        self.assertEqual(code, 1)
        summary = json.loads(out)
        self.assertEqual((summary["imported"], summary["backup"]), (False, None))
        self.assertIn("Unable to write the backup", summary["failure"])

    def test_a_damaged_backup_is_refused_and_changes_nothing(self):
        server = self.target()
        damaged = server.path("damaged.zip")
        with open(damaged, "wb") as f:
            f.write(b"not a zip")
        before = server_files(server)
        code, out, err = run(server, "--restore", "--yes", damaged)
        self.assertEqual((code, out), (1, ""))
        self.assertIn("Unable to restore the backup %s" % damaged, err)
        self.assertEqual(server_files(server), before)


class CommandLines(unittest.TestCase):
    def test_modes_exclude_each_other_and_take_their_arguments(self):
        server = Server(sample=TARGET_SAMPLE)
        self.addCleanup(server.close)
        for arguments in (["--dry-run", "--restore", "a.zip"], ["--list-backups", "a.zip"],
                          ["--restore"], ["--dry-run"], ["--dry-run", "a.zip", "b.zip"]):
            code, out, err = run(server, *arguments)
            self.assertEqual((code, out), (2, ""), arguments)
            self.assertTrue(err.startswith("portelle-import: "), err)

    def test_help_names_the_new_options(self):
        server = Server(sample=TARGET_SAMPLE)
        self.addCleanup(server.close)
        code, out, _ = run(server, "--help")
        self.assertEqual(code, 0)
        for text in ("--dry-run", "--restore [--yes] [--json] BACKUP", "--list-backups",
                     "Backup"):
            self.assertIn(text, out)

    def test_list_backups_of_a_server_without_any(self):
        server = Server(sample=TARGET_SAMPLE)
        self.addCleanup(server.close)
        code, out, _ = run(server, "--list-backups")
        self.assertEqual((code, out), (0, "No backups in %s.\n" % native(server.install + "Backup/")))


if __name__ == "__main__":
    unittest.main()
