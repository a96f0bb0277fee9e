"""The import driver against archives made by hand, hostile or broken, and
against missing services and components: it refuses what it cannot read with
message 133 and leaves the target's INI files alone, skips bad records, and
finishes what it can when the database service or a component is missing."""

import json
import os
import struct
import unittest
import zipfile
import zlib

from harness import ROOT_UID, SAMPLES, TARGET_SAMPLE, ExportTestCase, read_text

CORRUPT = "Selected data file is incorrect or corrupted."
DATABASE_FAILED = "Unable to continue importing data to database."
A, B, C = ("aaaaaaaa-0000-4000-8000-00000000000a", "bbbbbbbb-0000-4000-8000-00000000000b",
           "cccccccc-0000-4000-8000-00000000000c")
INI = "[INI_SERVER_SECTION]\nProxy_IP=proxy.hand.example\n"


# ------------------------------------------------- packages written by hand

def varint(value):
    value &= (1 << 64) - 1
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def field(number, value):
    """One protocol-buffer field: bytes are length-delimited, ints varints."""
    if isinstance(value, int):
        return varint(number << 3) + varint(value)
    return varint(number << 3 | 2) + varint(len(value)) + value


def config(number=1):
    """A configuration in the current layout: 38 numbers, 24 texts, an empty
    spyware list, 47 tail tokens."""
    tokens = [str(number)] * 38 + ["C:\\Source\\Folder"] * 24 + ["0"]
    tokens += ["x"] * 15 + ["1"] * 32
    return "\t".join(tokens).encode("utf-16-le")


def record(uid, entry, parent=ROOT_UID, overrides=None):
    """A ScanConfigs record; `overrides` replaces fields by number (None
    leaves one out)."""
    fields = {1: uid.encode("utf-16-le"), 2: entry.encode("utf-16-le"), 5: config(),
              6: len(entry), 7: parent.encode("utf-16-le"), 8: entry.encode("utf-16-le"),
              9: len(entry)}
    fields.update(overrides or {})
    return b"".join(field(n, v) for n, v in sorted(fields.items()) if v is not None)


def package(records, ini=INI, version=10.5, service_pack=0):
    body = varint(1 << 3 | 1) + struct.pack("<d", version)
    body += b"".join(field(2, r) for r in records)
    return body + field(3, ini.encode("utf-8")) + field(4, service_pack) + field(5, 0)


def skva_dat(serialised):
    return str(len(serialised)).encode() + zlib.compress(serialised)


def write_archive(path, members):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            z.writestr(name, data)


class ImportFailures(ExportTestCase):
    def setUp(self):
        self.fresh_target()

    def fresh_target(self):
        self.target = self.make_server(sample=TARGET_SAMPLE)
        self.target.install_firewall_library()
        self.ini_files = self.ini_bytes()

    def ini_bytes(self):
        return {n: read_text(self.target.install, n, binary=True)
                for n in ("bsnscan.ini", "Private/bsnserver.ini")}

    def start_database(self, faults=()):
        with open(os.path.join(SAMPLES, TARGET_SAMPLE, "fixture.json"), encoding="utf-8") as f:
            fixture = json.load(f)
        fixture["faults"] = list(faults)
        return self.target.start_database(fixture)

    def run_import(self, members):
        """Imports an archive of `members` ((name, bytes) pairs), or of the
        bytes `members` as the whole file."""
        path = self.target.path("hand.zip")
        if isinstance(members, bytes):
            with open(path, "wb") as f:
                f.write(members)
        else:
            write_archive(path, members)
        result = self.target.import_archive(path)
        return result.returncode, result.stderr.decode("utf-8", "replace")

    def journal(self, command):
        return [e for e in self.target.dump()["journal"] if e["command"] == command]

    def assertRefused(self, members):
        self.start_database()
        code, messages = self.run_import(members)
        self.assertEqual(code, 1, messages)
        self.assertIn(CORRUPT, messages)
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
            ("BsnPfwCommon.so", b"planted library"), ("SvcCfgRunner", b"#!/bin/sh\n"),
            ("Private\\PFW\\Office.pfw", b"[Profile]\r\n"),
            ("skva.dat", skva_dat(package([])))])
        self.assertEqual(code, 0, messages)
        self.assertNotEqual(read_text(self.target.install, "BsnPfwCommon.so", binary=True),
                            b"planted library")
        self.assertFalse(os.path.exists(os.path.join(self.target.install, "SvcCfgRunner")))
        self.assertEqual(read_text(self.target.install, "Private/PFW/Office.pfw", binary=True),
                         b"[Profile]\r\n")
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
        for library in (None, "BsnPfwCommonPackOnly.so"):
            with self.subTest(library):
                self.fresh_target()
                calls = os.path.join(self.target.install, "BsnPfwCommon.calls.txt")
                os.remove(os.path.join(self.target.install, "BsnPfwCommon.so"))
                if library:
                    self.target.install_firewall_library(library)
                self.start_database()
                code, messages = self.run_import([("skva.dat", skva_dat(package([])))])
                self.assertEqual((code, messages), (0, ""))
                if library:
                    with open(calls, encoding="utf-8") as f:
                        self.assertEqual(f.read(), "PFWCreateServerPackedPfwFile\t%s\n"
                                         % self.target.install)
                else:
                    self.assertFalse(os.path.exists(calls))
                # The DLP template step runs whatever the firewall step gave.
                self.assertTrue(os.path.exists(os.path.join(self.target.install,
                                                            "SvcCfgRunner.calls.txt")))


if __name__ == "__main__":
    unittest.main()
