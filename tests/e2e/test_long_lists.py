"""Spyware white lists beyond the 1,024 entries of the older versions'
database query: a 10.6 source's list of 1,100 entries travels whole from the
real portelle's export through the import driver into the target's database
stand-in; and a hand-built record whose list count claims more tokens than
it holds creates its domain without a configuration, and the driver says so."""

import os
import unittest

from harness import ROOT_UID, SAMPLES, TARGET_SAMPLE, Archive, ExportTestCase, utf16
from test_import import imported_tokens, load_fixture
from harness import package, record, skva_dat, write_archive

SOURCE_SAMPLE = "10.6-sp1"
LONG_ENTRY = "Finance"
LONG_LIST = [100000 + 7 * k for k in range(1100)]
FINE, DAMAGED, TOO_LONG = ("aaaaaaaa-0000-4000-8000-00000000000a",
                           "bbbbbbbb-0000-4000-8000-00000000000b",
                           "cccccccc-0000-4000-8000-00000000000c")
LEFT_OUT = ("1 domain(s) of the data file were not imported and 1 were imported without their "
            "scan configuration. The debug log names them; verify them via the Bastionel "
            "console.\n")


class LongListRoundTrip(ExportTestCase):
    def setUp(self):
        fixture = load_fixture(SOURCE_SAMPLE)
        source_domain = next(d for d in fixture["domains"] if d["entry"] == LONG_ENTRY)
        config = source_domain["config"]
        count = int(config[62])
        config[62:63 + count] = [str(len(LONG_LIST))] + [str(e) for e in LONG_LIST]
        source_domain["spyware"] = LONG_LIST
        self.tail = config[63 + len(LONG_LIST):]
        self.assertEqual(len(self.tail), 47)

        source = self.make_server(sample=SOURCE_SAMPLE)
        source.start_database(fixture)
        self.archive_path = source.path("SkvaMigrate.zip")
        self.assertExported(source.export("/c", "/t", self.archive_path), self.archive_path)

        self.target = self.make_server(sample=TARGET_SAMPLE)
        self.target.install_firewall_library()
        self.target.start_database(os.path.join(SAMPLES, TARGET_SAMPLE, "fixture.json"))

    def test_a_list_of_1100_entries_arrives_whole_with_its_tail(self):
        # The export gives the domains UIDs of their own: the entry name finds it.
        long_record = next(r for r in Archive(self.archive_path).records
                           if utf16(r["computer"]) == LONG_ENTRY)
        uid = utf16(long_record["uid"])
        package_tokens = utf16(long_record["config"]).split("\t")
        self.assertEqual(package_tokens[62:63 + len(LONG_LIST)],
                         ["1100"] + [str(e) for e in LONG_LIST])

        result = self.target.import_archive(self.archive_path)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, b"imported\n", b""))
        dump = self.target.dump()
        tokens = {d["uid"]: d for d in dump["domains"]}[uid]["config"]
        self.assertEqual(len(tokens), 62 + 1 + 1100 + 47)
        self.assertEqual(tokens[62], "1100")
        self.assertEqual(tokens[63:63 + 1100], [str(e) for e in LONG_LIST])
        self.assertEqual(tokens, imported_tokens(long_record))
        # The DLP settings come from the tail behind the list.
        dlp = {entry["uid"]: entry for entry in dump["dlp"]}[uid]
        self.assertEqual(dlp["dc"]["m_strDevExceptionListIn"], self.tail[19])
        self.assertEqual(dlp["clc"]["m_strTemplateOut"], self.tail[46])


class DamagedListCount(ExportTestCase):
    def test_the_domain_is_created_without_configuration_and_the_driver_says_so(self):
        target = self.make_server(sample=TARGET_SAMPLE)
        target.install_firewall_library()
        target.start_database(os.path.join(SAMPLES, TARGET_SAMPLE, "fixture.json"))
        target.start_log()
        # A count of 5,000 followed by two tokens.
        damaged = "\t".join(["1"] * 38 + ["x"] * 24 + ["5000", "1", "2"]).encode("utf-16-le")
        archive = target.path("hand.zip")
        write_archive(archive, [("skva.dat", skva_dat(package([
            record(FINE, "Fine"), record(DAMAGED, "Damaged", overrides={5: damaged}),
            record(TOO_LONG, "L" * 300)])))])

        result = target.import_archive(archive)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode("utf-8"), "imported\n" + LEFT_OUT)
        self.assertEqual(result.stderr, b"")

        log = "\n".join(target.log_lines())
        dump = target.dump()
        domains = {d["uid"]: d for d in dump["domains"]}
        self.assertEqual(domains[DAMAGED]["entry"], "Damaged")
        self.assertEqual(domains[DAMAGED]["parent"], ROOT_UID)
        self.assertIsNone(domains[DAMAGED]["config"])
        self.assertEqual(len(domains[FINE]["config"]), 110)
        self.assertNotIn(TOO_LONG, domains)
        sent = [e["arguments"][0] for e in dump["journal"] if e["command"] == "DB_IMPORT"]
        self.assertEqual(sent, [FINE])
        self.assertEqual([e["uid"] for e in dump["dlp"]], [FINE])
        self.assertIn("domain Damaged (%s): the spyware white list count 5000 is above the 2 "
                      "tokens that follow it" % DAMAGED, log)
        self.assertIn("domain %s (%s): the entry name does not fit the creation record"
                      % ("L" * 300, TOO_LONG), log)


if __name__ == "__main__":
    unittest.main()
