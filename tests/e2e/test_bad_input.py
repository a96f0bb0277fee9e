"""The real portelle against broken installations and misbehaving services:
it reports failure where it must, finishes where it can, and never leaves a
partial archive, skva.dat or tmp.ini behind."""

import os
import shutil
import subprocess
import unittest
import zipfile

from harness import (REASON, ROOT_UID, RUN_TIMEOUT_S, Archive, ExportTestCase, domain,
                     ini_sections, linux_only, native, program, utf16)

A, B, C = ("aaaaaaaa-0000-4000-8000-00000000000a", "bbbbbbbb-0000-4000-8000-00000000000b",
           "cccccccc-0000-4000-8000-00000000000c")
TREE = [domain(A, "A", config=["1"]), domain(B, "B", A, config=["2"]),
        domain(C, "C", A, config=["3"])]


class BadInput(ExportTestCase):
    def export_ok(self, server):
        archive = server.path("out.zip")
        self.assertExported(server.export("/c", "/t", archive), archive)
        self.assertEqual(server.leftovers(), [])
        return Archive(archive)

    def test_missing_ini_files_give_the_defaults(self):
        server = self.make_server(version="8.0")
        server.start_database({"domains": []})  # reachable, with no domain: a plain success
        archive = self.export_ok(server)
        sections = ini_sections(archive.ini_text())
        self.assertEqual(sections["INI_SERVER_SECTION"], {
            "Update_Agent_Direct_Update": "1", "Client_Purge_Enable": "0",
            "Client_Purge_Days": "30", "MaxUploadSize": "64", "Quarantine_Folder_Capacity": "10240",
            "Cookie_Expire_Period": "30", "UseProxy": "0", "Proxy_IP": "", "Proxy_Port": "80",
            "Proxy_Login": "", "Proxy_Pwd": ""})
        self.assertEqual(sections["Global Setting"], {"SP_RestartService": "1",
                                                      "SP_RetryCount": "5"})
        self.assertEqual(archive.records, [])

    def test_ini_files_that_cannot_be_read_give_the_defaults(self):
        server = self.make_server(version="10.0")
        os.makedirs(os.path.join(server.install, "bsnscan.ini"))
        os.makedirs(os.path.join(server.install, "Private", "bsnserver.ini"))
        server.start_database({"domains": [domain(A, "A", config=["1", "2"])]})
        archive = self.export_ok(server)
        sections = ini_sections(archive.ini_text())
        self.assertEqual(sections["SERVER_CONSOLE_SECTION"]["Auto_Refresh_Rate"], "30")
        self.assertEqual(sections["Manual Scan Configuration"]["OleLayer"], "1")
        tokens = utf16(archive.records[0]["config"]).split("\t")
        self.assertEqual(len(tokens), 110)

    def test_a_service_that_dies_mid_export_leaves_the_rest_without_configuration(self):
        server = self.make_server(version="10.6", service_pack=1)
        server.start_database({"domains": TREE,
                               "faults": [{"command": "DB_GET_DOMAIN", "match": C,
                                           "crash": True}]})
        archive = self.export_ok(server)
        self.assertEqual(server.database.stop(), 3)
        b, c, a = archive.records
        self.assertEqual([utf16(r["computer"]) for r in (b, c, a)], ["B", "C", "A"])
        self.assertEqual(utf16(b["config"]).split("\t")[0], "2")
        self.assertEqual(len(b["uninstall"]), 512)
        self.assertEqual(["config" in r for r in (c, a)], [False, False])
        self.assertEqual(utf16(c["parent"]), utf16(a["uid"]))

    def test_garbage_answers_neither_hang_nor_crash_the_export(self):
        server = self.make_server(version="10.5")
        server.start_database({"domains": TREE, "faults": [
            # Every node claims the same child: the walk must still end.
            {"command": "DB_GET_DOMAIN", "match": ROOT_UID, "reply": "loop\tL\t1\n"},
            {"command": "DB_GET_DOMAIN", "reply": "loop\tL\t1\nloop\tL\t1\n"},
            {"command": "DB_EXPORT", "reply_hex": "410009004200"},
            {"command": "DB_GET_SERVICE_SWITCH", "reply": "abc\t-"},
            {"command": "DB_GET_SPYWARE_WHITE_LIST", "reply_hex": "3100"},
            {"command": "DB_GET_CLIENT_PASSWORD", "reply_hex": "41"}]})
        archive = self.export_ok(server)
        self.assertEqual([utf16(r["computer"]) for r in archive.records], ["L"])
        tokens = utf16(archive.records[0]["config"]).split("\t")
        self.assertEqual(len(tokens), 62 + 1 + int(tokens[62]) + 47)
        self.assertEqual(tokens[5], "0")

    def test_without_a_database_service_the_archive_holds_the_settings_and_the_user_is_warned(self):
        server = self.make_server(version="10.5")
        server.write("bsnscan.ini", "[PFW]\r\nEnablePFW=1\r\nPFWMode=1\r\n")
        archive_path = server.path("out.zip")
        result = server.export("/c", "/t", archive_path)
        # The archive is written, but without domains it is no plain success.
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertEqual(result.stderr.decode(),
                         "Exported the settings and files to %s, but no domain could be read "
                         "from the database service. Ensure that the Bastionel database service "
                         "is running and export again.\n" % archive_path)
        archive = Archive(archive_path)
        self.assertEqual(archive.records, [])
        self.assertEqual(ini_sections(archive.ini_text())["PFW"], {"PFWMode": "1"})
        self.assertEqual(server.leftovers(), [])

    def test_an_archive_that_cannot_be_written_fails_says_why_and_leaves_nothing(self):
        server = self.make_server(version="10.5")
        with open(server.path("file"), "w") as f:
            f.write("a file, not a folder")
        for archive, reason in ((server.path("missing/out.zip"), REASON["no such folder"]),
                                (server.path("file/out.zip"), REASON["not a folder"])):
            result = server.export("/c", "/t", archive)
            self.assertEqual((result.returncode, result.stdout), (1, b""), archive)
            self.assertEqual(result.stderr.decode(),
                             "Unable to continue. Unable to write the data file %s: %s. Select "
                             "another path and try again.\n" % (archive, reason))
            self.assertFalse(os.path.exists(archive))
            self.assertEqual(server.leftovers(), [])
        # A folder in the archive's place: asked, answered y, and left alone.
        os.makedirs(server.path("taken.zip/inside"))
        result = server.export("/c", "/t", server.path("taken.zip"), stdin=b"y")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Unable to write the data file %s: %s" % (server.path("taken.zip"),
                                                                 REASON["is a folder"]),
                      result.stderr.decode())
        self.assertTrue(os.path.isdir(server.path("taken.zip/inside")))
        self.assertEqual(server.leftovers(), [])

    def test_an_archive_path_longer_than_259_bytes_is_refused_before_anything_is_written(self):
        server = self.make_server(version="10.5")
        server.start_database({"domains": TREE})
        folder = server.path("d" * 200)
        os.makedirs(folder)
        archive = os.path.join(folder, "a" * (300 - len(folder) - 5) + ".zip")
        self.assertEqual(len(archive.encode()), 300)
        result = server.export("/c", "/t", archive)
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertEqual(result.stderr.decode(),
                         "Unable to continue. The data file path is longer than 259 bytes: %s "
                         "Select a shorter path and try again.\n" % archive)
        self.assertEqual(os.listdir(folder), [])
        self.assertEqual(server.leftovers(), [])
        # Nothing was asked of the database service either.
        self.assertEqual(server.dump()["journal"], [])

    @linux_only("the rights are Unix permission bits, and the superuser drops them with setpriv")
    def test_folders_without_write_rights_are_named_with_the_systems_reason(self):
        server = self.make_server(version="10.5")
        server.write("bsnscan.ini", "[Global Setting]\r\nOleLayer=1\r\n")
        out = server.path("out")
        os.makedirs(out)
        # Run as a user without rights on the install folder: the superuser
        # runs the program as "nobody", anyone else just loses the write bit.
        prefix = []
        if os.geteuid() == 0:
            if shutil.which("setpriv") is None:
                self.skipTest("setpriv is needed to drop the superuser's rights")
            prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
            # The build must be reachable for that user (a checkout below a
            # private home folder is not).
            if subprocess.run(prefix + ["test", "-x", program("portelle")]).returncode != 0:
                self.skipTest("the build cannot be run by an unprivileged user here")
            os.chmod(server.root, 0o755)
            os.chmod(out, 0o777)
        os.chmod(server.install, 0o555)
        self.addCleanup(os.chmod, server.install, 0o755)
        archive = os.path.join(out, "a.zip")

        def export_fails_with(stderr):
            result = subprocess.run(prefix + [program("portelle"), "/c", "/t", archive],
                                    capture_output=True, env=server.env(), cwd=server.root,
                                    timeout=RUN_TIMEOUT_S)
            self.assertEqual((result.returncode, result.stdout), (1, b""))
            self.assertEqual(result.stderr.decode(), stderr)
            self.assertEqual(os.listdir(out), [])
            self.assertEqual(server.leftovers(), [])

        export_fails_with("Unable to continue. Unable to write %stmp.ini in the Bastionel server "
                          "install folder: Permission denied. Run the tool as an administrator "
                          "and try again.\n" % server.install)

        # With rights on the install folder but not on the archive's folder.
        os.chmod(server.install, 0o777)
        os.chmod(out, 0o555)
        self.addCleanup(os.chmod, out, 0o755)
        export_fails_with("Unable to continue. Unable to write the data file %s: Permission "
                          "denied. Select another path and try again.\n" % archive)

    def test_a_package_file_that_cannot_be_created_keeps_the_old_archive(self):
        server = self.make_server(version="10.5")
        os.makedirs(os.path.join(server.install, "skva.dat"))
        archive = server.path("old.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("skva.dat", "old package")
        result = server.export("/c", "/t", archive, stdin=b"y")
        self.assertEqual(result.returncode, 1)
        self.assertIn("Unable to continue. Unable to write %sskva.dat in the Bastionel server "
                      "install folder: %s." % (native(server.install), REASON["is a folder"]),
                      result.stderr.decode())
        with zipfile.ZipFile(archive) as z:
            self.assertEqual(z.read("skva.dat"), b"old package")
        self.assertTrue(os.path.isdir(os.path.join(server.install, "skva.dat")))
        self.assertFalse(os.path.exists(os.path.join(server.install, "tmp.ini")))


if __name__ == "__main__":
    unittest.main()
