"""The import driver against archives made by hand, hostile or broken, and
against missing services and components: it refuses what it cannot read with
message 133 and leaves the target's INI files alone, skips bad records, and
finishes what it can when the database service or a component is missing."""

import os
import unittest
import zlib

from harness import (CORRUPT, LIBRARY_SUFFIX, ImportTestCase, native, package, read_text, record,
                     skva_dat)

DATABASE_FAILED = "Unable to continue importing data to database."
A, B, C = ("aaaaaaaa-0000-4000-8000-00000000000a", "bbbbbbbb-0000-4000-8000-00000000000b",
           "cccccccc-0000-4000-8000-00000000000c")


class ImportFailures(ImportTestCase):
    def assertRefused(self, members):
        files = self.target.files()
        self.start_database()
        code, messages = self.run_import(members)
        self.assertEqual(code, 1, messages)
        self.assertIn(CORRUPT, messages)
        # Refused before anything was extracted: no file of the target changed.
        self.assertEqual(self.target.files(), files)
        self.assertEqual(self.ini_bytes(), self.ini_files)
        self.assertEqual(self.journal("DBV2_CLIENT_ON_START"), [])
        self.assertEqual(self.target.leftovers(), [])

    def test_archives_whose_package_cannot_be_read_are_refused(self):
        cases = {
            "no skva.dat": [("ous.ini", b"[OUS]\r\n")],
            "corrupt stream": [("skva.dat", b"1234" + b"\x78\x9c garbage")],
            "length beyond the data": [("skva.dat", b"999999" + zlib.compress(b"\x08\x01"))],
            "not a package": [("skva.dat", skva_dat(b"\xff\xff\xff\xff"))],
            "not a zip file": b"PK\x03\x04 this is no archive",
        }
        for name, members in cases.items():
            with self.subTest(name):
                self.fresh_target()
                self.assertRefused(members)

    def test_members_escaping_the_install_folder_refuse_the_archive(self):
        outside = self.target.path("escaped.txt")
        absolute = self.target.path("absolute.txt")
        self.assertRefused([("../escaped.txt", b"out"), (absolute, b"out"),
                            ("Private\\..\\..\\escaped.txt", b"out"),
                            ("skva.dat", skva_dat(package([record(A, "A")])))])
        self.assertFalse(os.path.exists(outside))
        self.assertFalse(os.path.exists(absolute))

    def test_members_an_export_never_holds_are_not_extracted(self):
        self.start_database()
        code, messages = self.run_import([
            ("BsnPfwCommon" + LIBRARY_SUFFIX, b"planted library"), ("SvcCfgRunner", b"#!/bin/sh\n"),
            ("Private\\PFW\\Office.pfw", b"[Profile]\r\n"),
            ("skva.dat", skva_dat(package([])))])
        self.assertEqual(code, 0, messages)
        self.assertNotEqual(read_text(self.target.install, "BsnPfwCommon" + LIBRARY_SUFFIX,
                                      binary=True),
                            b"planted library")
        self.assertFalse(os.path.exists(os.path.join(self.target.install, "SvcCfgRunner")))
        self.assertEqual(read_text(self.target.install, "Private/PFW/Office.pfw", binary=True),
                         b"[Profile]\r\n")
        # The user is told how many were left in the archive.
        self.assertEqual(self.import_output,
                         "imported\n2 file(s) in the data file that no export archive holds were "
                         "not extracted. The debug log names them.\n")
        # The stand-in library ran, not the planted bytes.
        self.assertTrue(os.path.exists(os.path.join(self.target.install,
                                                    "BsnPfwCommon.calls.txt")))

    def test_a_package_without_records_merges_the_ini_settings_only(self):
        self.start_database()
        code, messages = self.run_import([("skva.dat", skva_dat(package([])))])
        self.assertEqual((code, messages), (0, ""))
        self.assertIn("Proxy_IP=proxy.hand.example", read_text(self.target.install, "bsnscan.ini"))
        self.assertEqual(self.journal("DBV2_CLIENT_ON_START"), [])
        self.assertEqual(self.target.report(), [])

    def test_bad_records_are_skipped_and_the_rest_imported(self):
        self.start_database()
        no_computer = record(A, "A", overrides={8: None})
        too_long = record(B, "B" * 300)
        odd = record(C, "C", overrides={1: C.encode("utf-16-le") + b"\x00",
                                         8: "C".encode("utf-16-le") + b"\x43"})
        code, messages = self.run_import([("skva.dat",
                                           skva_dat(package([no_computer, too_long, odd])))])
        self.assertEqual((code, messages), (0, ""))
        created = [e["arguments"]["entry"] for e in self.journal("DBV2_CLIENT_ON_START")]
        self.assertEqual(created, ["C"])
        domains = {d["uid"]: d for d in self.target.dump()["domains"]}
        self.assertNotIn(A, domains)
        self.assertNotIn(B, domains)
        self.assertEqual(domains[C]["entry"], "C")
        self.assertEqual(len(domains[C]["config"]), 110)

    def test_status_5_counts_as_created_and_minus_1_as_refused(self):
        self.start_database([
            {"command": "DBV2_CLIENT_ON_START", "match": "Odd", "status": 5},
            {"command": "DBV2_CLIENT_ON_START", "match": "Refused", "status": -1}])
        code, messages = self.run_import([("skva.dat", skva_dat(package([
            record(A, "Odd", parent=C), record(B, "Refused"), record(C, "Fine")])))])
        self.assertEqual(code, 0, messages)
        self.assertEqual(messages.count(DATABASE_FAILED), 1, messages)
        domains = {d["uid"]: d for d in self.target.dump()["domains"]}
        self.assertIn(A, domains)
        self.assertNotIn(B, domains)
        imported = [e["arguments"][0] for e in self.journal("DB_IMPORT")]
        self.assertEqual(imported, [A, C])
        linked = [e["arguments"][0] for e in self.journal("DB_SET_DOMAIN_UID")]
        self.assertEqual(linked, [C])
        self.assertEqual(len(self.journal("DBV2_SET_DLP_CFG")), 2)

    def test_without_the_database_service_the_ini_settings_are_still_merged(self):
        code, messages = self.run_import([("skva.dat", skva_dat(package([
            record(A, "A"), record(B, "B")])))])
        self.assertEqual(code, 0, messages)
        self.assertEqual(messages.count(DATABASE_FAILED), 2)
        self.assertIn("Proxy_IP=proxy.hand.example", read_text(self.target.install, "bsnscan.ini"))
        self.assertEqual(self.target.leftovers(), [])

    def test_missing_or_older_firewall_library(self):
        for library in (None, "BsnPfwCommonPackOnly"):
            with self.subTest(library):
                self.fresh_target()
                calls = os.path.join(self.target.install, "BsnPfwCommon.calls.txt")
                os.remove(os.path.join(self.target.install, "BsnPfwCommon" + LIBRARY_SUFFIX))
                if library:
                    self.target.install_firewall_library(library)
                self.start_database()
                code, messages = self.run_import([("skva.dat", skva_dat(package([])))])
                self.assertEqual((code, messages), (0, ""))
                if library:
                    with open(calls, encoding="utf-8") as f:
                        self.assertEqual(f.read(), "PFWCreateServerPackedPfwFile\t%s\n"
                                         % native(self.target.install))
                else:
                    self.assertFalse(os.path.exists(calls))
                # The DLP template step runs whatever the firewall step gave.
                self.assertTrue(os.path.exists(os.path.join(self.target.install,
                                                            "SvcCfgRunner.calls.txt")))


if __name__ == "__main__":
    unittest.main()
