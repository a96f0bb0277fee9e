"""How the real portelle walks the stand-in's domain tree: record order,
parent links, flat export of old servers, fresh UIDs, missing names."""

import unittest

from harness import ROOT_UID, Archive, ExportTestCase, domain, utf16

A, B, C = ("aaaaaaaa-0000-4000-8000-00000000000a", "bbbbbbbb-0000-4000-8000-00000000000b",
           "cccccccc-0000-4000-8000-00000000000c")
TREE = [domain(A, "A", name="Domain A"), domain(B, "B", A, name="Domain B"),
        domain(C, "C", A, name="Domain C")]


class DomainWalk(ExportTestCase):
    def export(self, domains, version="10.5", faults=(), log=False):
        server = self.make_server(version=version)
        server.write("bsnscan.ini", "[Global Setting]\r\nOleLayer=1\r\n")
        if log:
            server.start_log()
        server.start_database({"domains": domains, "faults": list(faults)})
        archive = server.path("out.zip")
        self.assertExported(server.export("/c", "/t", archive), archive)
        self.assertEqual(server.leftovers(), [])
        return server, Archive(archive)

    def test_children_come_before_their_parent_and_point_to_its_new_uid(self):
        _, archive = self.export(TREE)
        b, c, a = archive.records
        self.assertEqual([utf16(r["computer"]) for r in (b, c, a)], ["B", "C", "A"])
        self.assertEqual([utf16(r["name"]) for r in (b, c, a)], ["Domain B", "Domain C", "Domain A"])
        self.assertEqual(utf16(b["parent"]), utf16(a["uid"]))
        self.assertEqual(utf16(c["parent"]), utf16(a["uid"]))
        self.assertEqual(utf16(a["parent"]), ROOT_UID)

    def test_two_exports_give_different_uids_with_consistent_links(self):
        _, first = self.export(TREE)
        _, second = self.export(TREE)
        for archive in (first, second):
            self.assertEqual(utf16(archive.records[0]["parent"]), utf16(archive.records[2]["uid"]))
        first_uids = {utf16(r["uid"]) for r in first.records}
        self.assertFalse(first_uids & {utf16(r["uid"]) for r in second.records})

    def test_a_root_without_children_gives_no_records_but_the_settings(self):
        server, archive = self.export([], log=True)
        self.assertEqual(archive.records, [])
        self.assertIn("[Global Setting]", archive.ini_text())
        self.assertTrue(any("CExportSkvaSettings::DigDown - [%s] is a leaf node" % ROOT_UID in line
                            for line in server.log_lines()))

    def test_servers_up_to_10_01_export_flat_and_10_02_walks_the_tree(self):
        for version in ("10.0", "10.01"):
            server, archive = self.export(TREE, version=version)
            self.assertEqual([utf16(r["computer"]) for r in archive.records], ["A"])
            record = archive.records[0]
            self.assertEqual((utf16(record["name"]), record["name_size"]), ("root", 4))
            self.assertEqual(utf16(record["parent"]), ROOT_UID)
            commands = [e["command"] for e in server.dump()["journal"]]
            self.assertEqual(commands.count("DB_GET_DOMAIN"), 1, version)
        _, archive = self.export(TREE, version="10.02")
        self.assertEqual([utf16(r["computer"]) for r in archive.records], ["B", "C", "A"])

    def test_a_child_whose_name_query_answers_nothing_has_an_empty_name(self):
        faults = [{"command": "DB_GET_CLN_DOMAIN_NAME_AND_UID", "match": B, "reply": ""}]
        _, archive = self.export(TREE, faults=faults)
        b = archive.records[0]
        self.assertEqual((b["name"], b["name_size"]), (b"", 0))
        self.assertEqual(utf16(b["computer"]), "B")


if __name__ == "__main__":
    unittest.main()
