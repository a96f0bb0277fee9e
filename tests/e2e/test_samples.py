"""The real portelle against the stand-in services, for each sample server of
the demo: the archive is read back with zipfile, zlib and a wire reader of
our own and compared with the sample's files and database fixture."""

import json
import os
import unittest

from harness import (ROOT_UID, GUID, SAMPLES, Archive, ExportTestCase, decode_raw_top_level,
                     ini_sections, utf16)

ALERTS = ["ALERT.MSG", "AlertAS.msg", "AlertBM.msg", "alertcfw.msg", "AlertDAC.MSG",
          "AlertDLP.MSG", "AlertH.MSG", "AlertL.MSG", "AlertM.MSG", "AlertWSR.msg"]
SCAN_SECTIONS = ["Manual Scan Configuration", "Real Time Scan Configuration",
                 "Prescheduled Scan Configuration", "Scan Now Configuration"]


def install_file(install, member):
    """The install file behind a member name, found as Windows would find it."""
    folder = install
    for part in member.split("\\"):
        names = {n.lower(): n for n in os.listdir(folder)}
        folder = os.path.join(folder, names[part.lower()])
    with open(folder, "rb") as f:
        return f.read()


def expected_members(install, version):
    def exists(relative):
        try:
            install_file(install, relative)
            return True
        except (KeyError, NotADirectoryError, FileNotFoundError):
            return False
    pfw = os.path.join(install, "Private", "PFW")
    members = ["Private\\PFW\\" + n for n in sorted(os.listdir(pfw))
               if not n.startswith(".") and os.path.isfile(os.path.join(pfw, n))]
    members.append("ous.ini")
    members += [n for n in (("Admin\\" if version >= 10.49 else "") + a for a in ALERTS)
                if exists(n)]
    for name in ["Private\\SortingRuleStore\\SortingRule.xml", "Private\\dlp.ini"]:
        if exists(name):
            members.append(name)
    if exists("Private\\DlpClc.xml"):
        members.append("Private\\DlpClc.ori.xml")
    for name in ["Private\\DLP_exception.ini", "sscfg.ini",
                 "admin\\ssnotify.ini" if version >= 10.01 else "ssnotify.ini"]:
        if exists(name):
            members.append(name)
    return members + ["skva.dat"]


def post_order(domains, flat):
    """The fixture's domains in the order the package must list them."""
    children = {}
    for d in domains:
        children.setdefault(d.get("parent", ROOT_UID), []).append(d)
    if flat:
        return children.get(ROOT_UID, [])
    order = []

    def walk(uid):
        for child in children.get(uid, []):
            walk(child["uid"])
            order.append(child)
    walk(ROOT_UID)
    return order


def password_field(text):
    data = text.encode("utf-16-le")
    return data + b"\0" * (512 - len(data))


class SampleExport:
    """Mixed into one test class per sample."""

    SAMPLE = None

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(SAMPLES, cls.SAMPLE, "fixture.json"), encoding="utf-8") as f:
            cls.fixture = json.load(f)

    def setUp(self):
        self.server = self.make_server(sample=self.SAMPLE)
        self.server.start_database(os.path.join(SAMPLES, self.SAMPLE, "fixture.json"))
        self.server.start_log()
        self.archive_path = self.server.path("SkvaMigrate.zip")
        result = self.server.export("/c", "/t", self.archive_path)
        self.assertExported(result, self.archive_path)
        self.archive = Archive(self.archive_path)
        self.flat = self.server.version <= 10.01
        self.expected = post_order(self.fixture["domains"], self.flat)

    def test_members_in_order_deflated_with_the_servers_bytes(self):
        archive = self.archive
        self.assertEqual(archive.names, expected_members(self.server.install, self.server.version))
        for info in archive.infos:
            self.assertEqual(info.compress_type, 8, info.filename)
            if info.filename == "skva.dat":
                continue
            source = "Private\\DlpClc.xml" if info.filename == "Private\\DlpClc.ori.xml" \
                else info.filename
            self.assertEqual(archive.data[info.filename],
                             install_file(self.server.install, source), info.filename)
        self.assertEqual(self.server.leftovers(), [])

    def test_package_prefix_versions_and_top_level_fields(self):
        archive = self.archive
        self.assertEqual(archive.prefix, str(len(archive.serialised)).encode())
        self.assertNotEqual(archive.prefix[:1], b"0")
        self.assertEqual(archive.stream[:1], b"x")
        self.assertEqual(decode_raw_top_level(archive.serialised),
                         [1] + [2] * len(self.expected) + [3, 4, 5])
        self.assertEqual(archive.package["version"], self.server.version)

    def test_every_record_in_post_order_with_fresh_uids_and_consistent_parents(self):
        records = self.archive.records
        self.assertEqual([utf16(r["computer"]) for r in records],
                         [d["entry"] for d in self.expected])
        uids = [utf16(r["uid"]) for r in records]
        self.assertEqual(len(set(uids)), len(uids))
        fixture_uids = {d["uid"] for d in self.fixture["domains"]}
        by_uid = {}
        for index, (record, source) in enumerate(zip(records, self.expected)):
            self.assertEqual(len(record["uid"]), 72)
            self.assertRegex(uids[index], GUID)
            self.assertNotIn(uids[index], fixture_uids)
            by_uid[uids[index]] = (index, source)
            name = "root" if self.flat else source.get("name", source["entry"])
            self.assertEqual(utf16(record["name"]), name)
            self.assertEqual(record["name_size"], len(name.encode("utf-16-le")) // 2)
            self.assertEqual(record["computer_size"], len(source["entry"]))
            self.assertEqual(record["uninstall"], password_field(source["uninstall_password"]))
            self.assertEqual(record["unload"], password_field(source["unload_password"]))
        for index, (record, source) in enumerate(zip(records, self.expected)):
            parent = utf16(record["parent"])
            self.assertEqual(len(record["parent"]), 72)
            if self.flat or source["parent"] == ROOT_UID:
                self.assertEqual(parent, ROOT_UID)
                continue
            parent_index, parent_source = by_uid[parent]
            self.assertGreater(parent_index, index)  # children before their parent
            self.assertEqual(parent_source["uid"], source["parent"])

    def test_configurations_in_the_current_layout_without_move_folders(self):
        for record, source in zip(self.archive.records, self.expected):
            tokens = utf16(record["config"]).split("\t")
            count = int(tokens[62])
            self.assertEqual(len(tokens), 62 + 1 + count + 47, source["entry"])
            self.assertEqual(tokens[42:46], ["", "", "", ""])
            self.check_configuration(tokens, count, source)

    def test_ini_settings_without_the_firewall_switch(self):
        text = self.archive.ini_text()
        self.assertNotIn("EnablePFW", text)
        sections = ini_sections(text)
        self.assertEqual(sections["PFW"], {"PFWMode": "2", "AllowCertifiedSoftware": "1"})
        self.assertEqual(sections["Manual Scan Configuration"]["MoveDir"],
                         "C:\\Program Files\\Korvane\\Bastionel Client\\Suspect")
        self.assertTrue(sections["INI_CLIENT_SECTION"]["Uninstall_Pwd"].startswith("!CRYPT!"))
        self.assertEqual(sections["INI_SERVER_SECTION"]["Proxy_IP"], "proxy.example.com")
        self.assertEqual(sections["INI_SERVER_SECTION"]["Update_Agent_Direct_Update"], "1")
        self.assertEqual(sections["SERVER_CONSOLE_SECTION"],
                         {"Enable_Auto_Refresh": "1", "Auto_Refresh_Rate": "30"})
        for kept_behind in ["INI_CONSOLE_SESSION", "INI_PROGRAM_VERSION_SECTION",
                            "INI_SERVER_INFO"]:
            self.assertNotIn(kept_behind, sections)
        self.assertNotIn("Server_Port", sections["INI_SERVER_SECTION"])
        self.check_ini(sections)

    def test_the_log_service_received_the_exports_lines(self):
        last = "CExportSkvaSettings::ExportConfigToFile - <=ExportConfigToFile(), return 1"
        self.assertTrue(any(line.endswith(last) for line in self.server.log_lines()))


class Sample80(SampleExport, ExportTestCase):
    SAMPLE = "8.0"

    def check_configuration(self, tokens, count, source):
        status = source["status"]
        if status & 0x400:
            status = (status & ~0x400) | 0x2000000
        self.assertEqual(tokens[4], str(status))
        self.assertEqual(tokens[5:7], ["0", "0"])
        self.assertEqual(tokens[9], "3")  # OleLayer of "Global Setting"
        self.assertEqual(tokens[35:38], ["28", "60", "30"])
        config = source["config"]
        self.assertEqual(tokens[38:42], config[32:36])
        self.assertEqual(tokens[46:62], config[40:56])
        self.assertEqual([int(t) for t in tokens[63:63 + count]], source["spyware"])
        tail = tokens[63 + count:]
        self.assertEqual(tail[0:2], ["", ""])
        # The approved lists come deciphered from the INI file.
        self.assertEqual(tail[11], "intranet.example.com|wiki.example.com|portal.example.com|")
        self.assertEqual(tail[12], "mail.example.com|vpn.example.com|")
        self.assertEqual(tail[6:8], ["25", "9"])  # in-office enabled and logging; out-office on

    def check_ini(self, sections):
        self.assertEqual(sections["Global Setting"]["SP_RestartService"], "1")
        self.assertEqual(sections["Global Setting"]["SP_RetryCount"], "1")
        for name in SCAN_SECTIONS:
            self.assertEqual(sections[name]["OleLayer"], "3")
            self.assertEqual(sections[name]["OleExploitDetection"], "1")
        update = sections["INI_UPDATE_SETTING"]
        self.assertEqual(update["UpdateSource"], "http://update.example.com/bsn")
        self.assertEqual([update["TOTAL_OUS"], update["ServerOUS1"]],
                         ["2", "http://ous2.example.com"])
        self.assertEqual(sections["URL_FILTER_INI_SECTION"]["URLFilterCfgFlag_InOffice"], "25")

    def test_one_flat_domain_list_request(self):
        commands = [e["command"] for e in self.server.dump()["journal"]]
        self.assertEqual(commands.count("DB_GET_DOMAIN"), 1)
        self.assertNotIn("DB_GET_CLN_DOMAIN_NAME_AND_UID", commands)


class Sample105(SampleExport, ExportTestCase):
    SAMPLE = "10.5"

    def check_configuration(self, tokens, count, source):
        config = source["config"]
        self.assertEqual(tokens[0], config[0])
        self.assertEqual(tokens[5], str(source["service_switch"][0]))
        self.assertEqual(tokens[6], str(source["dest_scan_type"]))
        self.assertEqual(tokens[7:25], config[5:23])
        self.assertEqual(tokens[25:27], ["1", "1"])
        self.assertEqual(tokens[27:35], config[23:31])
        self.assertEqual(tokens[35:38], ["28", "60", "30"])
        self.assertEqual(tokens[38:42] + tokens[46:62], config[31:35] + config[39:55])
        self.assertEqual([int(t) for t in tokens[63:63 + count]], source["spyware"])
        tail = tokens[63 + count:]
        self.assertEqual(tail[0:15], [config[55]] + config[55:69])
        self.assertEqual(tail[33:], [""] * 14)

    def check_ini(self, sections):
        for name in SCAN_SECTIONS:
            self.assertNotIn("OleExploitDetection", sections[name])
        self.assertEqual(sections["ServiceSwitch"]["Firewall"], "1")
        self.assertEqual(sections["INI_CLIENT_SECTION"]["SP_EnableRegistryKeyProtection"], "0")
        self.assertEqual(sections["VIGIL_DACPolicy"]["PolicyIdOut1"], "4")


class Sample106SP1(SampleExport, ExportTestCase):
    SAMPLE = "10.6-sp1"

    def check_configuration(self, tokens, count, source):
        config = source["config"]
        self.assertEqual(tokens[:42] + tokens[46:], config[:42] + config[46:])
        self.assertEqual(count, len(source["spyware"]))

    def check_ini(self, sections):
        self.assertEqual(sections["DAC_APPROVED_LIST"]["Item0"], "USB\\VID_0781&PID_5567")
        self.assertNotIn("ECSP", sections["INI_CLIENT_SECTION"])

    def test_the_tree_is_walked_from_the_root(self):
        commands = [e["command"] for e in self.server.dump()["journal"]]
        self.assertEqual(commands.count("DB_GET_DOMAIN"), len(self.fixture["domains"]) + 1)


if __name__ == "__main__":
    unittest.main()
