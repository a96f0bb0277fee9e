"""INI settings from damaged or crafted files: a counted list that claims two
billion entries costs no more than the entries it holds, on export and on
import; and an import killed at any moment leaves bsnscan.ini as it was or as
the import makes it, never with the source server's ID."""

import json
import os
import random
import signal
import subprocess
import time
import unittest

from harness import (RUN_TIMEOUT_S, SAMPLES, TARGET_SAMPLE, Archive, ExportTestCase,
                     command, ini_sections, native, package, read_text, record, skva_dat,
                     write_archive)

BILLIONS = "2000000000"
TARGET_SERVER_ID = "BSN-10.6-SP2-TARGET-4711"
SOURCE_SERVER_ID = "SOURCE-SERVER-ID-0001"
UID = "aaaaaaaa-0000-4000-8000-00000000000a"


def staging_names(install):
    return [os.path.join(install, name) for name in
            ("bsnscan.ini.staging", os.path.join("Private", "bsnserver.ini.staging"))]


class HostileListCounts(ExportTestCase):
    def test_an_export_carries_the_entries_a_list_of_billions_holds(self):
        source = self.make_server(sample="10.5")
        main = os.path.join(source.install, "bsnscan.ini")
        text = read_text(source.install, "bsnscan.ini")
        for old, new in (("URLFilterBlackListCount_OutOffice=0\r\n",
                          "URLFilterBlackListCount_OutOffice=%s\r\n"
                          "URLFilterBlackList_OutOffice000=one.example\r\n"
                          "URLFilterBlackList_OutOffice001=two.example\r\n"
                          "URLFilterBlackList_OutOffice002=three.example\r\n" % BILLIONS),
                         ("[DAC_APPROVED_LIST]\r\nCount=1\r\n",
                          "[DAC_APPROVED_LIST]\r\nCount=%s\r\n" % BILLIONS)):
            self.assertIn(old, text)
            text = text.replace(old, new)
        with open(main, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        source.start_database(os.path.join(SAMPLES, "10.5", "fixture.json"))

        archive = source.path("out.zip")
        # The run's time-out is the bound: the copy of two billion keys never ended.
        self.assertExported(source.export("/c", "/t", archive), archive)
        sections = ini_sections(Archive(archive).ini_text())
        wtp = sections["URL_FILTER_INI_SECTION"]
        self.assertEqual(wtp["URLFilterBlackListCount_OutOffice"], "3")
        self.assertEqual([wtp.get("URLFilterBlackList_OutOffice%03d" % i) for i in range(4)],
                         ["one.example", "two.example", "three.example", None])
        approved = sections["DAC_APPROVED_LIST"]
        self.assertEqual((approved["Count"], approved["CountOut"]), ("1", "1"))
        self.assertEqual(sorted(approved), ["Count", "CountOut", "Item0", "ItemOut0"])
        self.assertEqual(source.leftovers(), [])

    def test_an_import_merges_the_entries_a_list_of_billions_holds(self):
        target = self.make_server(sample=TARGET_SAMPLE)
        target.install_firewall_library()
        target.start_database(os.path.join(SAMPLES, TARGET_SAMPLE, "fixture.json"))
        before = os.path.getsize(os.path.join(target.install, "bsnscan.ini"))
        ini = ("[URL_FILTER_INI_SECTION]\nURLFilterAWSLCount_OutOffice=%s\n"
               "URLFilterAWSL_OutOffice000=a.example\nURLFilterAWSL_OutOffice001=b.example\n"
               "URLFilterAWSL_OutOffice002=c.example\n" % BILLIONS)
        archive = target.path("hand.zip")
        write_archive(archive, [("skva.dat", skva_dat(package([], ini=ini)))])

        result = target.import_archive(archive)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        main = os.path.join(target.install, "bsnscan.ini")
        self.assertLess(os.path.getsize(main), before + 1024)
        wtp = ini_sections(read_text(target.install, "bsnscan.ini"))["URL_FILTER_INI_SECTION"]
        self.assertEqual(wtp["URLFilterAWSLCount_OutOffice"], "3")
        self.assertEqual([wtp.get("URLFilterAWSL_OutOffice%03d" % i) for i in range(4)],
                         ["a.example", "b.example", "c.example", None])


class KilledImport(ExportTestCase):
    """The import is killed while it merges, while it waits for the database
    service right after the merge, and at random moments in between; a
    package with many keys makes the merge last long enough to be caught."""

    ROUNDS = 6
    KEYS = 3000  # fewer than one key-name list of 32,767 units holds

    def setUp(self):
        # The merge of this many keys lasts long enough to be caught in the
        # middle: it costs little per key.
        keys = "".join("Key%05d=%s\n" % (i, "v" * 40) for i in range(self.KEYS))
        self.ini = ("[Global Setting]\nServerID=%s\n%s"
                    "[Manual Scan Configuration]\nMoveDir=C:\\Source\\Manual\n"
                    "[Scan Now Configuration]\nMoveDir=C:\\Source\\Now\n"
                    % (SOURCE_SERVER_ID, keys))
        self.members = [("skva.dat", skva_dat(package([record(UID, "Held")], ini=self.ini)))]

    def fresh_target(self, delay_ms=0):
        target = self.make_server(sample=TARGET_SAMPLE)
        target.install_firewall_library()
        with open(os.path.join(SAMPLES, TARGET_SAMPLE, "fixture.json"), encoding="utf-8") as f:
            fixture = json.load(f)
        if delay_ms:
            # Holds the import at its first database request, after the merge.
            fixture["faults"] = [{"command": "DB_FIND_DOMAIN_UID", "delay_ms": delay_ms}]
        target.start_database(fixture)
        archive = target.path("hand.zip")
        write_archive(archive, self.members)
        return target, archive

    def main_bytes(self, target):
        return read_text(target.install, "bsnscan.ini", binary=True)

    def test_bsnscan_ini_is_as_it_was_or_as_it_will_be(self):
        finished, archive = self.fresh_target()
        result = finished.import_archive(archive)
        self.assertEqual(result.returncode, 0, result.stderr)
        merged = self.main_bytes(finished)
        self.assertIn(b"Key%05d=" % (self.KEYS - 1), merged)
        self.assertIn(b"ServerID=%s\r\n" % TARGET_SERVER_ID.encode(), merged)

        rng = random.Random(os.environ.get("PORTELLE_TEST_SEED", "hostile-ini"))
        seen = set()
        for round_number in range(self.ROUNDS):
            target, archive = self.fresh_target(delay_ms=RUN_TIMEOUT_S * 1000)
            original = self.main_bytes(target)
            self.assertNotEqual(original, merged)
            # First the merge itself, then the wait after it, then anywhere.
            stage = ("merging", "held", "random")[min(round_number, 2)]
            state = self.kill_import(target, archive, stage, rng)
            seen.add(state)
            after = self.main_bytes(target)
            with self.subTest(round=round_number, stage=stage, state=state):
                self.assertFalse(SOURCE_SERVER_ID.encode() in after,
                                 "bsnscan.ini holds the source's ServerID")
                self.assertTrue(after in (original, merged),
                                "bsnscan.ini is neither as it was nor as the import makes it")
                if state == "held":
                    self.assertTrue(after == merged, "the merged bsnscan.ini is not in place")
        self.assertIn("merging", seen)
        self.assertIn("held", seen)

    def kill_import(self, target, archive, stage, rng):
        """Starts the import and kills it with SIGKILL: at the first sign of the
        merge (a staging copy, or bsnscan.ini changed) for "merging", once
        bsnscan.ini has changed and no staging copy is left for "held", after
        a random number of looks for "random". Returns what was seen last:
        "started", "merging" or "held"."""
        staging = staging_names(target.install)
        main = os.path.join(target.install, "bsnscan.ini")
        original_inode = os.stat(main).st_ino
        process = subprocess.Popen(command("portelle-import-driver", native(target.install), archive),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=target.env(), cwd=target.root)
        # The merge lasts some thousand looks on a quiet machine.
        looks = rng.randrange(40000) if stage == "random" else None
        state = "started"
        deadline = time.monotonic() + RUN_TIMEOUT_S
        try:
            while time.monotonic() < deadline and process.poll() is None:
                staged = any(os.path.exists(path) for path in staging)
                changed = os.stat(main).st_ino != original_inode
                if staged or changed:
                    state = "held" if changed and not staged else "merging"
                if looks is not None:
                    if looks == 0:
                        break
                    looks -= 1
                elif state == stage or (stage == "merging" and state == "held"):
                    break
        finally:
            process.send_signal(signal.SIGKILL)
            process.wait(timeout=RUN_TIMEOUT_S)
        self.assertEqual(process.returncode, -signal.SIGKILL, "the import ended on its own")
        return state


if __name__ == "__main__":
    unittest.main()
