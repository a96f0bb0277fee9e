"""Round trips: each sample source exported by the real portelle, its archive
imported by the import driver into a fresh copy of the sample target server,
the result read back from the database stand-in's dump and the target's
files."""

import json
import os
import unittest

from harness import SAMPLES, TARGET_SAMPLE, Archive, Server, ini_sections, native, utf16
from test_samples import ALERTS, install_file

TARGET_MOVE_DIRS = ["E:\\Bastionel\\Quarantine\\Manual", "E:\\Bastionel\\Quarantine\\RealTime",
                    "E:\\Bastionel\\Quarantine\\Scheduled", "E:\\Bastionel\\Quarantine\\ScanNow"]
# The target's values an import keeps, lower-case as INI names compare.
KEPT = {("manual scan configuration", "movedir"), ("real time scan configuration", "movedir"),
        ("prescheduled scan configuration", "movedir"), ("scan now configuration", "movedir"),
        ("global setting", "serverid")}
PRIVATE_SECTIONS = {"other update source", "ini_auunc_support", "server_console_section",
                    "ini_update_setting"}
TARGET_DISK_RESERVED = 1024
# The DLP records' members in the order of the configuration's tail tokens
# 16 to 47; the two compress layers are signed 16-bit.
DLP_TAIL = [("dc", "m_dwDCFlagIn"), ("dc", "m_dwDCFlagOut"), ("dc", "m_dwDeviceIn"),
            ("dc", "m_dwDeviceOut"), ("dc", "m_strDevExceptionListIn"),
            ("dc", "m_strDevExceptionListOut"), ("clc", "m_dwClcFlagIn"),
            ("clc", "m_dwClcFlagOut"), ("clc", "m_strChannelListIn"),
            ("clc", "m_strChannelListOut"), ("clc", "m_dwActionIn"), ("clc", "m_dwActionOut"),
            ("clc", "m_dwCompressFileSizeIn"), ("clc", "m_dwCompressFileSizeOut"),
            ("clc", "m_sCompressLayerIn"), ("clc", "m_sCompressLayerOut"),
            ("clc", "m_dwCompressFileCountIn"), ("clc", "m_dwCompressFileCountOut"),
            ("clc", "m_strIpBlIn"), ("clc", "m_strIpBlOut"), ("clc", "m_strIpWlIn"),
            ("clc", "m_strIpWlOut"), ("clc", "m_strEmailBlIn"), ("clc", "m_strEmailBlOut"),
            ("clc", "m_strEmailWlIn"), ("clc", "m_strEmailWlOut"), ("clc", "m_strUsbBlIn"),
            ("clc", "m_strUsbBlOut"), ("clc", "m_strUsbWlIn"), ("clc", "m_strUsbWlOut"),
            ("clc", "m_strTemplateIn"), ("clc", "m_strTemplateOut")]
COMPRESS_LAYERS = (29, 30)  # tail indexes of T30 and T31


def load_fixture(sample):
    with open(os.path.join(SAMPLES, sample, "fixture.json"), encoding="utf-8") as f:
        return json.load(f)


def read_ini(path):
    """{section: {key: value}} with lower-case names."""
    with open(path, encoding="utf-8") as f:
        sections = ini_sections(f.read())
    return {s.lower(): {k.lower(): v for k, v in kv.items()} for s, kv in sections.items()}


def signed16(text):
    value = int(text) & 0xFFFF
    return value - 0x10000 if value & 0x8000 else value


def imported_tokens(record):
    """The configuration the target must hold for a package record: the
    record's tokens with the target's move folders and the compress layers as
    signed 16-bit numbers."""
    tokens = utf16(record["config"]).split("\t")
    tokens[42:46] = TARGET_MOVE_DIRS
    tail = 63 + int(tokens[62])
    for index in COMPRESS_LAYERS:
        tokens[tail + index] = str(signed16(tokens[tail + index]))
    return tokens


class RoundTrip:
    """Mixed into one test class per source sample."""

    SOURCE = None

    @classmethod
    def setUpClass(cls):
        source = Server(sample=cls.SOURCE)
        cls.addClassCleanup(source.close)
        source.start_database(os.path.join(SAMPLES, cls.SOURCE, "fixture.json"))
        archive_path = source.path("SkvaMigrate.zip")
        exported = source.export("/c", "/t", archive_path)
        assert exported.returncode == 0, exported.stdout + exported.stderr
        cls.archive = Archive(archive_path)

        target = Server(sample=TARGET_SAMPLE)
        cls.addClassCleanup(target.close)
        target.install_firewall_library()
        cls.before = target.files()
        target.start_database(os.path.join(SAMPLES, TARGET_SAMPLE, "fixture.json"))
        target.start_log()
        cls.result = target.import_archive(archive_path)
        cls.log = target.log_lines()
        cls.dump = target.dump()
        cls.target = target
        cls.target_fixture = load_fixture(TARGET_SAMPLE)
        target_entries = {d["entry"].lower() for d in cls.target_fixture["domains"]}
        cls.created = [r for r in cls.archive.records
                       if utf16(r["computer"]).lower() not in target_entries]
        cls.duplicates = [r for r in cls.archive.records if r not in cls.created]
        cls.domains = {d["uid"]: d for d in cls.dump["domains"]}

    def test_the_import_succeeds_without_a_message(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual(self.result.stdout, b"imported\n")
        self.assertEqual(self.result.stderr, b"")
        self.assertTrue(self.duplicates, "the sample target shares no entry name")
        self.assertIn("CImportSkvaSettings::ImportToIni - <=ImportToIni()",
                      "\n".join(self.log))

    def test_new_domains_under_their_parents_and_duplicates_reported_and_left_alone(self):
        for record in self.created:
            uid = utf16(record["uid"])
            self.assertIn(uid, self.domains, utf16(record["computer"]))
            domain = self.domains[uid]
            self.assertEqual(domain["entry"], utf16(record["computer"]))
            self.assertEqual(domain["name"], utf16(record["name"]))
            self.assertEqual(domain["parent"], utf16(record["parent"]))
        for record in self.duplicates:
            self.assertNotIn(utf16(record["uid"]), self.domains)
        self.assertEqual(self.dump["detached"], [])
        self.assertEqual(len(self.domains), len(self.target_fixture["domains"]) + len(self.created))
        for own in self.target_fixture["domains"]:
            dumped = self.domains[own["uid"]]
            for key in ("entry", "name", "parent", "config"):
                self.assertEqual(dumped[key], own[key], own["entry"])
        self.assertEqual(self.target.report(),
                         ["%s\\%s" % (utf16(r["name"]), utf16(r["computer"]))
                          for r in self.duplicates])

    def test_configurations_carry_the_targets_move_folders_in_normal_form(self):
        for record in self.created:
            tokens = self.domains[utf16(record["uid"])]["config"]
            self.assertEqual(len(tokens), 110 + int(tokens[62]))
            self.assertEqual(tokens, imported_tokens(record), utf16(record["computer"]))

    def test_dlp_records_from_the_configurations_tail(self):
        dlp = {entry["uid"]: entry for entry in self.dump["dlp"]}
        self.assertEqual(set(dlp), {utf16(r["uid"]) for r in self.created})
        for record in self.created:
            tokens = imported_tokens(record)
            tail = tokens[63 + int(tokens[62]):]
            entry = dlp[utf16(record["uid"])]
            for token, (part, member) in zip(tail[15:], DLP_TAIL):
                expected = token if member.startswith("m_str") else int(token)
                self.assertEqual(entry[part][member], expected, member)

    def test_ini_settings_merged_keeping_the_targets_own_values(self):
        install = self.target.install
        main = read_ini(os.path.join(install, "bsnscan.ini"))
        private = read_ini(os.path.join(install, "Private", "bsnserver.ini"))
        original = read_ini(os.path.join(SAMPLES, TARGET_SAMPLE, "install", "bsnscan.ini"))
        original_private = read_ini(os.path.join(SAMPLES, TARGET_SAMPLE, "install", "Private",
                                                 "bsnserver.ini"))
        package = {s.lower(): {k.lower(): v for k, v in kv.items()}
                   for s, kv in ini_sections(self.archive.ini_text()).items()}
        for section, values in package.items():
            merged = private if section in PRIVATE_SECTIONS else main
            for key, value in values.items():
                if (section, key) in KEPT or key == "diskreserved":
                    continue
                self.assertEqual(merged[section].get(key), value, "[%s] %s" % (section, key))
        for section, key in KEPT:
            self.assertEqual(main[section][key], original[section][key])
        disk = int(package["global setting"].get("diskreserved", "0"))
        self.assertEqual(main["global setting"]["diskreserved"],
                         str(max(disk, TARGET_DISK_RESERVED)))
        self.assertEqual(main["ini_server_section"]["targetonlykey"], "kept")
        self.assertEqual(main["ini_console_session"], original["ini_console_session"])
        self.assertEqual(private["ini_update_setting"]["targetonlykey"], "kept")
        self.assertEqual(private["ini_server_info"], original_private["ini_server_info"])

    def test_archive_files_in_place_with_alert_files_under_admin(self):
        install = self.target.install
        for name, data in self.archive.data.items():
            if name in ("skva.dat", "Private\\DlpClc.ori.xml"):
                continue
            placed = "Admin\\" + name if name in ALERTS + ["ssnotify.ini"] else name
            self.assertEqual(install_file(install, placed), data, name)
        top_level = {n.lower() for n in os.listdir(install)}
        for name in ALERTS + ["ssnotify.ini"]:
            self.assertNotIn(name.lower(), top_level)
        self.assertIn("Private/PFW/Default.pfw", [p.replace(os.sep, "/") for p in
                                                   self.target.files()])
        self.assertEqual(self.target.leftovers(), [])

    def test_firewall_library_and_setup_program_called_with_the_packages_version(self):
        install = self.target.install
        with open(os.path.join(install, "BsnPfwCommon.calls.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read().splitlines(),
                             ["PFWMigrateFirewallSettings\t%sPrivate\\PFW\\" % native(install),
                              "PFWCreateServerPackedPfwFile\t%s" % native(install)])
        with open(os.path.join(install, "SvcCfgRunner.calls.txt"), encoding="utf-8") as f:
            calls = [line.split("\t") for line in f.read().splitlines()]
        self.assertEqual(calls[0], ["call", native(install)[:-1]])
        self.assertEqual([c[2] for c in calls if c[0] == "arg"],
                         ["SvcCfgRunner.exe", "-migrateDlpTemplate", "Private\\DlpClc.ori.xml",
                          "Private\\DlpClc.xml", "%f" % self.archive.package["version"],
                          str(self.archive.package["service_pack"])])
        given = {c[1] for c in calls if c[0] == "file"}
        template = self.archive.data.get("Private\\DlpClc.ori.xml")
        self.assertEqual("2" in given, template is not None)
        if template is not None:
            with open(os.path.join(install, "SvcCfgRunner.given.2"), "rb") as f:
                self.assertEqual(f.read(), template)
        self.assertEqual(install_file(install, "Private\\DlpClc.xml"),
                         self.before[os.path.join("Private", "DlpClc.xml")])


class From80(RoundTrip, unittest.TestCase):
    SOURCE = "8.0"


class From105(RoundTrip, unittest.TestCase):
    SOURCE = "10.5"


class From106SP1(RoundTrip, unittest.TestCase):
    SOURCE = "10.6-sp1"

    def test_a_compress_layer_of_65535_arrives_as_minus_one(self):
        layers = [entry["clc"]["m_sCompressLayerOut"] for entry in self.dump["dlp"]]
        self.assertIn(-1, layers)
        configs = [self.domains[utf16(r["uid"])]["config"] for r in self.created]
        self.assertTrue(any(c[63 + int(c[62]) + 30] == "-1" for c in configs))


if __name__ == "__main__":
    unittest.main()
