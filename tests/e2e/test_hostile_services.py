"""The real portelle against a database service that misbehaves on purpose:
a tree that is no tree (domains listed under two parents), a tree deeper
than the walk goes, and a reply that never ends."""

import os
import subprocess
import sys
import unittest

from harness import RUN_TIMEOUT_S, ROOT_UID, Archive, ExportTestCase, command, domain, utf16

# The walk's depth bound and the client's reply limit (64 MiB).
MAX_TREE_DEPTH = 256
MAX_REPLY_BYTES = 64 << 20

# Runs the command after the output file name and writes the peak resident
# size of that command, in KiB, to the file; exits with its exit code.
PEAK_MEMORY = (
    "import resource, subprocess, sys\n"
    "code = subprocess.run(sys.argv[2:]).returncode\n"
    "with open(sys.argv[1], 'w') as f:\n"
    "    f.write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
    "sys.exit(code)\n")


def uid(number, side="0"):
    return "%08x-0000-4000-8000-00000000000%s" % (number, side)


def listing(children):
    """A DB_GET_DOMAIN reply: UID, entry name and an empty third field per child."""
    return "".join("%s\t%s\t\n" % (child, entry) for child, entry in children)


class HostileServices(ExportTestCase):
    def start(self, domains, faults=(), log=False):
        server = self.make_server(version="10.6")
        server.write("bsnscan.ini", "[Global Setting]\r\nOleLayer=1\r\n")
        if log:
            server.start_log()
        server.start_database({"domains": domains, "faults": list(faults)})
        return server

    def test_a_diamond_forty_levels_deep_ends_and_exports_each_domain_once(self):
        # Two domains per level, each listing both of the next level: 2^40
        # paths down to the last level. The stand-in holds them as a flat
        # list below the root; the faults answer the lists of the diamond.
        levels = 40
        node = {(level, side): (uid(level + 1, side), "L%d%s" % (level, side))
                for level in range(levels) for side in "ab"}
        domains = [domain(u, entry) for u, entry in node.values()]
        faults = [{"command": "DB_GET_DOMAIN", "match": ROOT_UID,
                   "reply": listing([node[0, "a"], node[0, "b"]])}]
        for level in range(levels - 1):
            for side in "ab":
                faults.append({"command": "DB_GET_DOMAIN", "match": node[level, side][0],
                               "reply": listing([node[level + 1, "a"], node[level + 1, "b"]])})
        for side in "ab":
            faults.append({"command": "DB_GET_DOMAIN", "match": node[levels - 1, side][0],
                           "reply": ""})
        server = self.start(domains, faults)
        archive_path = server.path("out.zip")
        self.assertExported(server.export("/c", "/t", archive_path), archive_path)
        entries = [utf16(r["computer"]) for r in Archive(archive_path).records]
        self.assertEqual(sorted(entries), sorted(entry for _, entry in node.values()))
        # L0a's subtree holds every deeper domain; L0b's list names only
        # domains met before.
        self.assertEqual(entries[-2:], ["L0a", "L0b"])
        lists = [e["arguments"][-1] for e in server.dump()["journal"]
                 if e["command"] == "DB_GET_DOMAIN"]
        self.assertEqual(sorted(lists), sorted([ROOT_UID] + [u for u, _ in node.values()]))
        self.assertEqual(server.leftovers(), [])

    def test_a_chain_of_10000_levels_is_cut_at_the_depth_bound_and_the_user_is_warned(self):
        parent = ROOT_UID
        domains = []
        for level in range(1, 10001):
            domains.append(domain(uid(level), "C%d" % level, parent))
            parent = uid(level)
        server = self.start(domains, log=True)
        archive_path = server.path("out.zip")
        result = server.export("/c", "/t", archive_path)
        # The archive is written, but it lacks the domains below the bound.
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertEqual(result.stderr.decode(),
                         "Exported the settings and files to %s, but at least 1 domain(s) below "
                         "the deepest level the tool walks were left out. Verify the domain tree "
                         "via the Bastionel console.\n" % archive_path)
        records = Archive(archive_path).records
        deepest = MAX_TREE_DEPTH - 1
        self.assertEqual([utf16(r["computer"]) for r in records],
                         ["C%d" % level for level in range(deepest, 0, -1)])
        self.assertEqual(server.leftovers(), [])
        lines = server.log_lines()
        self.assertTrue(any("level=69 " in line and
                            "CExportSkvaSettings::DigDown - [%s] below [%s] lies deeper than %d "
                            "levels; left out" % (uid(deepest + 1), uid(deepest), MAX_TREE_DEPTH)
                            in line for line in lines))

    def test_a_reply_over_the_limit_fails_its_exchange_without_filling_the_memory(self):
        a, b = uid(1, "a"), uid(1, "b")
        streamed = 16 * MAX_REPLY_BYTES
        server = self.start([domain(a, "A", config=["1"]), domain(b, "B", config=["1", "2"])],
                            [{"command": "DB_EXPORT", "match": a, "reply_bytes": streamed}],
                            log=True)
        archive_path = server.path("out.zip")
        peak_file = server.path("peak")
        result = subprocess.run(
            [sys.executable, "-c", PEAK_MEMORY, peak_file] + command("portelle", "/c", "/t",
                                                                      archive_path), stdin=subprocess.DEVNULL, capture_output=True, env=server.env(),
            cwd=server.root, timeout=RUN_TIMEOUT_S)
        self.assertExported(result, archive_path)
        with open(peak_file) as f:
            peak_kib = int(f.read())
        # Far from the 1 GiB the service offered: the reply up to the limit,
        # while its buffer grows, is the most the client holds at once. The
        # sanitizers' shadow memory and quarantine double what a build holds.
        allowance = 8 if os.environ.get("PORTELLE_SANITIZE") == "ON" else 4
        self.assertLess(peak_kib, allowance * MAX_REPLY_BYTES // 1024)
        records = {utf16(r["computer"]): r for r in Archive(archive_path).records}
        self.assertNotIn("config", records["A"])  # listed, without configuration
        self.assertIn("config", records["B"])
        lines = server.log_lines()
        self.assertTrue(any("level=5 pipe_Server" in line and
                            "[CPipeServer::FetchCmd] The reply is longer than %d bytes!"
                            % MAX_REPLY_BYTES in line for line in lines))
        self.assertTrue(any("CExportSkvaSettings::GetSetting - fail to export config from DB!"
                            in line for line in lines))
        journal = [e for e in server.dump()["journal"] if e["command"] == "DB_EXPORT"]
        self.assertTrue(journal[0]["reply"].startswith("failed after "), journal[0])
        self.assertEqual(server.leftovers(), [])


if __name__ == "__main__":
    unittest.main()
