#!/usr/bin/env python3
"""Writes the demo's sample server installations into demo/samples/.

Each sample is one Bastionel server as an export finds it:

  registry.reg   the server's registry key (its Local_Path is rewritten by the
                 demo to the copy of install/ it works on)
  install/       the install folder: bsnscan.ini, Private/bsnserver.ini, the
                 firewall profiles, alert files, DLP files, ous.ini, sscfg.ini,
                 ssnotify.ini, with the letter cases the server uses
  fixture.json   the database service's content: the domain tree with every
                 domain's scan configuration in that version's own layout,
                 its status, spyware list, passwords, destination scan type
                 and service switches

One more sample, 10.6-sp2-target, is the server an import goes to: the
current version with INI files, domains and DLP template of its own. The
server's firewall library is not part of it: whoever imports into a copy of
it puts the build's BsnPfwCommon.so stand-in into the copy's install folder
(the import loads it from there); the setup program SvcCfgRunner is found
beside the importing program.

The output is committed; running the script again writes the same bytes.
Enciphered INI values come from bastionel-encipher of the build, with initial
vectors derived from the values, so they too are the same on every run:

  python3 demo/make_samples.py --encipher build/bin/bastionel-encipher
"""

import argparse
import hashlib
import json
import os
import shutil
import subprocess
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT_UID = "00000000-0000-0000-0000-000000000000"
UID_NAMESPACE = uuid.UUID("5b0e6b0c-4d0a-4f55-8a51-6c1f3f2d9e11")

ALERT_FILES = ["ALERT.MSG", "AlertAS.msg", "AlertBM.msg", "alertcfw.msg", "AlertDAC.MSG",
               "AlertDLP.MSG", "AlertH.MSG", "AlertL.MSG", "AlertM.MSG", "AlertWSR.msg"]


class Encipher:
    """Stored forms of values, made by the build's bastionel-encipher."""

    def __init__(self, program):
        self.program = program

    def __call__(self, plain):
        iv = hashlib.sha256(("iv:" + plain).encode("utf-8")).hexdigest()[:32]
        out = subprocess.run([self.program, "--iv", iv, plain], check=True,
                             capture_output=True, text=True).stdout
        return out.strip()


def ini_text(sections):
    """An INI file as the server writes it: CR LF line ends, no BOM."""
    lines = []
    for name, entries in sections:
        lines.append("[%s]" % name)
        for key, value in entries:
            lines.append("%s=%s" % (key, value))
        lines.append("")
    return "\r\n".join(lines)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(path, mode, **({} if mode == "wb" else {"encoding": "utf-8", "newline": ""})) as f:
        f.write(data)


# ---------------------------------------------------------------- domains

# (key, entry name, domain name, parent key). Three levels below the root.
TREE = [
    ("hq", "HQ", "Headquarters", None),
    ("fin", "Finance", "Finance", "hq"),
    ("hr", "HR", "Human Resources", "hq"),
    ("it", "IT", "Information Technology", "hq"),
    ("it-srv", "IT-Servers", "IT Servers", "it"),
    ("it-desk", "IT-Helpdesk", "IT Helpdesk", "it"),
    ("it-lab", "IT-Lab", "Test Lab", "it"),
    ("branch", "Branches", "Branch Offices", None),
    ("zrh", "Zurich", "Zürich", "branch"),
    ("zrh-sales", "ZRH-Sales", "Zürich Sales", "zrh"),
    ("zrh-supp", "ZRH-Support", "Zürich Support", "zrh"),
    ("lyon", "Lyon", "Lyon", "branch"),
    ("lyon-sales", "LYS-Sales", "Lyon Ventes", "lyon"),
    ("porto", "Porto", "Porto", "branch"),
    ("mobile", "Laptops", "Mobile Devices", None),
    ("mob-sales", "Sales-Laptops", "Sales Laptops", "mobile"),
    ("mob-eng", "Eng-Laptops", "Engineering Laptops", "mobile"),
    ("kiosk", "Kiosks", "Reception Kiosks", "mobile"),
    ("servers", "Servers", "Data Centre Servers", None),
    ("quar", "Isolated", "Isolated Machines", None),
]

# The 8.x servers keep no tree: every domain lies under the root.
FLAT = [
    ("ws", "Workstations", "Workstations"),
    ("srv", "Servers", "Servers"),
    ("lap", "Laptops", "Laptops"),
    ("acct", "Accounting", "Accounting"),
    ("sales", "Sales", "Sales"),
    ("mkt", "Marketing", "Marketing"),
    ("dev", "Development", "Development"),
    ("qa", "QA", "Quality Assurance"),
    ("ops", "Operations", "Operations"),
    ("legal", "Legal", "Legal"),
    ("hr", "HR", "Human Resources"),
    ("supp", "Support", "Customer Support"),
    ("wh", "Warehouse", "Warehouse"),
    ("lab", "Lab", "Lab"),
    ("kiosk", "Kiosks", "Kiosks"),
    ("guest", "Guests", "Guest Machines"),
    ("exec", "Executive", "Executive Office"),
    ("train", "Training", "Training Room"),
    ("remote", "Remote", "Remote Workers"),
    ("old", "Legacy", "Legacy Systems"),
]


def uid_of(sample, key):
    return str(uuid.uuid5(UID_NAMESPACE, sample + "/" + key))


# ------------------------------------------------ scan configuration parts

EXT_LISTS = ["EXE;COM;DLL;SYS;DOC;DOT;XLS;PPT;ZIP;RAR;CAB;JS;VBS;HTM;HTML",
             "EXE;COM;DLL;SYS;DOC;XLS;ZIP;RAR;JS;VBS",
             "EXE;COM;DLL;SYS;DOC;DOT;XLS;PPT;ZIP;RAR;CAB;7Z",
             "EXE;COM;DLL;SYS;DOC;XLS;PPT;ZIP"]
MOVE_DIRS = ["C:\\Program Files\\Korvane\\Bastionel Client\\Suspect",
             "C:\\Program Files\\Korvane\\Bastionel Client\\Suspect\\RealTime",
             "D:\\Quarantine\\Scheduled", "C:\\Program Files\\Korvane\\Bastionel Client\\Suspect"]
EXCLUDES = ["C:\\pagefile.sys;C:\\hiberfil.sys", "C:\\pagefile.sys",
            "C:\\pagefile.sys;D:\\Backup\\*.bak", ""]
EXT_GROUP = ["MP3;AVI;MPG", "MP3;AVI", "MP3;AVI;MPG;ISO", "", "1", "1", "0", "1"]
EX_FOLDERS = ["C:\\Windows\\Temp", "C:\\Windows\\Temp;C:\\Temp", "", "C:\\Windows\\Temp"]


def numbers(*values):
    return [str(v) for v in values]


def scan_groups(i):
    """Positions 39 to 62 of every layout: lists, move folders, exclusions,
    excluded extensions, excluded folders."""
    lists = [x if i % 3 else x + ";PDF" for x in EXT_LISTS]
    return lists + MOVE_DIRS + EXCLUDES + EXT_GROUP + EX_FOLDERS


def config_v8(i):
    """An 8.x scan configuration: 67 tokens."""
    header1 = 16778240 if i % 4 == 0 else 1  # 0x1000400 on every fourth domain
    tokens = numbers(header1, 96)
    tokens += numbers(16385 + i, 3, 1, 2, 16385, 3)  # MS flag/compress, RT, PS
    tokens += numbers(2, 12 + i % 12, 30, 1, 15, 3)  # schedule
    tokens += numbers(16387, 3, 1, 1, 1, 0)  # SN flag/compress, spyware flags
    tokens += numbers(*([0] * 12))  # fields the current layout no longer has
    tokens += scan_groups(i)
    tokens += numbers(*([0] * 11))
    assert len(tokens) == 67
    return tokens


def config_v105(i):
    """A 10.5 scan configuration: 69 tokens."""
    tokens = numbers(1 + (i % 2) * 1024, i % 5, 0, 0, 33554432)
    tokens += numbers(536887297 + i, 3, 2, 4)  # MS flag, compress, OLE layer, action
    tokens += numbers(536887297, 2, 2, 4)  # RT
    tokens += numbers(536887297, 3, 1, 4)  # PS
    tokens += numbers(2, 8 + i % 10, 15, 0, 1, 5)  # schedule
    tokens += numbers(536887299, 3, 2, 4)  # SN
    tokens += numbers(1, 1, 1, i % 2)  # spyware scan flags
    tokens += scan_groups(i)
    tokens += ["DAC:%d;audit" % i, str(1 - i % 3 // 2)]  # behaviour monitoring
    tokens += ["BM-Default", "C:\\Tools\\unwanted.exe", "C:\\Program Files\\Office\\*"]
    tokens += numbers(25, 9, 0, 2 + i % 3, 3)  # web-threat words
    tokens += ["intranet.example.com|wiki.example.com|", "", "ads.example.net|",
               "tracker.example.org|"]
    assert len(tokens) == 69
    return tokens


def config_v106(i, spyware):
    """A current-layout configuration: 62 + 1 + N + 47 tokens."""
    tokens = numbers(1, 126976 + 4096 * (i % 2), 0, 0, 33554432, 7 - i % 3, 1 + i % 2)
    tokens += numbers(536887297 + i, 3, 2, 4, 536887297, 2, 2, 4, 536887297, 3, 1, 4)
    tokens += numbers(2, 9 + i % 10, 0, 0, 1, 5, 1, 1)  # schedule, aux words
    tokens += numbers(536887299, 3, 2, 4, 1, 1, 1, i % 2, 28, 60, 30)
    tokens += scan_groups(i)
    assert len(tokens) == 62
    tokens += numbers(len(spyware), *spyware)
    tail = ["DAC:%d;audit" % i, "DAC:%d;audit;out" % i, "1"]
    tail += ["BM-Default", "C:\\Tools\\unwanted.exe", "C:\\Program Files\\Office\\*"]
    tail += numbers(25, 9, 0, 2 + i % 3, 3)
    tail += ["intranet.example.com|", "", "ads.example.net|", ""]
    tail += numbers(1, 1, 3, 3)  # device control flags and devices
    tail += ["USB\\VID_0781&PID_5567", ""]
    tail += numbers(1, 0)
    tail += ["HTTP;FTP;SMTP", "HTTP"]
    # A compress layer of 65535 is the 16-bit -1 ("no limit").
    tail += numbers(1, 1, 20480, 20480, 3, 65535 if i % 5 == 4 else 3, 100, 100)
    tail += ["10.0.0.0/8", "", "192.168.1.10", "", "*@competitor.example", "",
             "*@example.com", "", "USB\\VID_1234", "", "USB\\VID_0781", "",
             "Confidential", "Confidential;Internal"]
    assert len(tail) == 47
    return tokens + tail


# ----------------------------------------------------------------- INI files

def scan_section(kind, move_dir, v8):
    entries = [("Enable", 1), ("ScanCompressed", 1), ("CompressLayer", 3),
               ("ActionVirus", 2), ("MoveDir", move_dir), ("Extensions", EXT_LISTS[0])]
    if v8:
        entries.append(("UseIntelliScan", 1))
    return (kind, entries)


def bsnscan_sections(sample, version, service_pack, crypt, move_dirs=MOVE_DIRS,
                     disk_reserved=None):
    """bsnscan.ini's sections as (name, [(key, value)]) in file order."""
    v8 = version < 9.99
    v105 = version >= 10.49
    scan = [scan_section("Manual Scan Configuration", move_dirs[0], v8),
            scan_section("Real Time Scan Configuration", move_dirs[1], v8),
            scan_section("Prescheduled Scan Configuration", move_dirs[2], v8),
            scan_section("Scan Now Configuration", move_dirs[3], v8)]
    ex = [(n + " Ex", [("ScanMappedDrive", 0), ("ScanRemovable", 1)]) for n, _ in scan]
    spyware = [("Spyware " + n, [("Enable", 1), ("Action", 1)]) for n, _ in scan]
    global_setting = [("OleLayer", 3), ("ServerID", "BSN-%s-4711" % sample.upper()),
                      ("MaxLogDays", 30), ("ECSP", 1), ("SP_EnableFileProtection", 1),
                      ("SP_EnableRegistryKeyProtection", 0), ("SP_EnableProcessProtection", 1)]
    if v8:
        global_setting += [("WatchDogOnOff", 1), ("WatchDogRetry", 10)]
    if disk_reserved is not None:
        global_setting.append(("DiskReserved", disk_reserved))
    sections = [("INI_PROGRAM_VERSION_SECTION",
                 [("Version", version), ("ServicePack_Version", service_pack)])]
    sections += scan + ex + spyware
    sections += [
        ("LOCATION_AWARENESS_INI_SECTION", [("Enable", 1), ("Gateway0", "10.0.0.1")]),
        ("DefinedList", [("Count", 2), ("Item0", "*.example.com"), ("Item1", "10.1.*")]),
        ("Global Setting", global_setting),
        ("INI_SCHEDULED_UPDATE_SECTION", [("Enable", 1), ("Frequency", 2), ("Hour", 3)]),
        ("INI_STANDARD_ALERT_SECTION", [("Email", 1), ("EmailTo", "secops@example.com")]),
        ("INI_STANDARD_ALERT_SPYWARE_SECTION", [("Email", 1)]),
        ("INI_OUTBREAK_ALERT_SECTION", [("Threshold", 5), ("Period", 24)]),
        ("INI_OUTBREAK_ALERT_SPYWARE_SECTION", [("Threshold", 15)]),
        ("INI_CLIENT_SECTION", [("Uninstall_Pwd", crypt("remove-" + sample)),
                                ("Unload_Pwd", crypt("unload-" + sample)),
                                ("AllowUnload", 0), ("ShowTrayIcon", 1)]),
        ("CAV_INI_SESSION", [("Enable", 1), ("Mode", 2)]),
        ("INI_REESTABLISH_COMMUNICATION_SECTION", [("Interval", 60)]),
        ("INI_SCHEDULED_DELETE_LOG_SECTION", [("Enable", 1), ("Days", 90)]),
        ("INI_UNREACHABLE_NETWORK_SETTING_SECTION", [("Interval", 15)]),
        ("INI_SERVER_SECTION", [("Client_Purge_Enable", 1), ("Client_Purge_Days", 45),
                                ("MaxUploadSize", 128), ("UseProxy", 1),
                                ("Proxy_IP", "proxy.example.com"), ("Proxy_Port", 3128),
                                ("Proxy_Login", "svc-bastionel"),
                                ("Proxy_Pwd", crypt("proxy-" + sample)),
                                ("Server_Port", 8080)]),
        ("INI_INTERNET_PROXY_SECTION", [("UseIEProxy", 0), ("BypassLocal", 1)]),
        ("PFW", [("EnablePFW", 1), ("PFWMode", 2), ("AllowCertifiedSoftware", 1)]),
    ]
    approved_in = ["intranet.example.com", "wiki.example.com", "portal.example.com"]
    approved_out = ["mail.example.com", "vpn.example.com"]
    url = [("URLFilterRatingLevel_InOffice", 2), ("URLFilterRatingLevel_OutOffice", 3),
           ("URLFilterQueryMode_InOffice", 0)]
    if version < 10.49:
        url += [("URLFilterEnable_InOffice", 1), ("URLFilterLogEnable_InOffice", 1),
                ("URLFilterEnable_OutOffice", 1), ("URLFilterLogEnable_OutOffice", 0)]
    else:
        url += [("URLFilterCfgFlag_InOffice", 25), ("URLFilterCfgFlag_OutOffice", 9)]
    url.append(("URLFilterAWSLCount_InOffice", len(approved_in)))
    url += [("URLFilterAWSL_InOffice%03d" % n, crypt(v)) for n, v in enumerate(approved_in)]
    url.append(("URLFilterAWSLCount_OutOffice", len(approved_out)))
    url += [("URLFilterAWSL_OutOffice%03d" % n, crypt(v)) for n, v in enumerate(approved_out)]
    url += [("URLFilterBlackListCount_InOffice", 1),
            ("URLFilterBlackList_InOffice000", crypt("ads.example.net")),
            ("URLFilterBlackListCount_OutOffice", 0)]
    sections.append(("URL_FILTER_INI_SECTION", url))
    sections.append(("INI_NOTIFICATION_SECTION", [("VirusFound", 1), ("OutbreakAlert", 1)]))
    if not v8:
        sections += [
            ("KSRC_SCAN_INI_SECTION", [("Enable", 1), ("DestScanType", 1)]),
            ("VIGIL", [("Enable", 1), ("Mode", 1)]),
            ("VIGIL_BMPolicy", [("Count", 1), ("Policy0", "BM-Default")]),
            ("VIGIL_Exception", [("Count", 1), ("Item0", "C:\\Program Files\\Office\\*")]),
            ("VIGIL_DACPolicy", [("Count", 2), ("Enable", 1), ("PopAlert", 0),
                                 ("PolicyId0", 1), ("Action0", 2), ("Enable0", 1),
                                 ("PolicyId1", 4), ("Action1", 1), ("Enable1", 0)]),
            ("DAC_EXECUTABLE_LIST", [("Count", 1), ("Item0", "setup.exe"), ("Type0", 1)]),
            ("DAC_APPROVED_LIST", [("Count", 1), ("Item0", "USB\\VID_0781&PID_5567")]),
        ]
    if v105:
        sections.append(("ServiceSwitch", [("AntiVirus", 1), ("Firewall", 1), ("WebThreat", 1)]))
    # A section of the server's own that the export leaves behind.
    sections.append(("INI_CONSOLE_SESSION", [("LastLogin", "2015-03-02 08:15:00")]))
    return sections


def bsnserver_ini(sample):
    return ini_text([
        ("Other Update Source", [("Count", 1), ("Source0", "http://update.example.com/bsn")]),
        ("INI_AUUNC_SUPPORT", [("Enable", 1), ("Path", "\\\\fileserver\\bsn-updates")]),
        ("SERVER_CONSOLE_SECTION", [("Enable_Auto_Refresh", 1), ("Theme", "classic")]),
        ("INI_UPDATE_SETTING", [("UpdateSourceType", 2),
                                ("AUServerUNCPath", "\\\\fileserver\\bsn-updates"),
                                ("DefaultAUServer", "http://au.korvane.example/bsn"),
                                ("UpdateSource", "http://update.example.com/bsn"),
                                ("UseServerOus", 1), ("TOTAL_OUS", 2),
                                ("ServerOUS0", "http://ous1.example.com"),
                                ("ServerOUS1", "http://ous2.example.com")]),
        ("INI_SERVER_INFO", [("InstallDate", "2014-11-20"), ("Sample", sample)]),
    ])


# ------------------------------------------------------------------ samples

SAMPLES = {
    "8.0": {"version": "8.0", "service_pack": 1, "patch": 0, "disk_reserved": 200},
    "10.5": {"version": "10.5", "service_pack": 0, "patch": 0, "disk_reserved": 4096},
    "10.6-sp1": {"version": "10.6", "service_pack": 1, "patch": 0},
}

# The server an import goes to: the current version, 10.6 Service Pack 2
# without patch. Its own server ID, move directories and reserved disk space
# stay through an import; its domains "Servers", "hr" and "Porto" share entry
# names with domains of the sources (letter case aside), so that the import
# reports them as duplicates and leaves them alone.
TARGET = "10.6-sp2-target"
TARGET_SERVER = {"version": "10.6", "service_pack": 2, "patch": 0, "disk_reserved": 1024}
TARGET_MOVE_DIRS = ["E:\\Bastionel\\Quarantine\\Manual",
                    "E:\\Bastionel\\Quarantine\\RealTime",
                    "E:\\Bastionel\\Quarantine\\Scheduled",
                    "E:\\Bastionel\\Quarantine\\ScanNow"]
TARGET_DOMAINS = [
    ("srv", "Servers", "Target Servers", None),
    ("ops", "Operations-Target", "Target Operations", None),
    ("hr", "hr", "Target HR", "ops"),
    ("porto", "Porto", "Porto (target)", "ops"),
]


def registry_text(server):
    return ("Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\Information]\r\n"
            "\"Server_Version\"=\"%s\"\r\n"
            "\"ServicePack_VersionNumber\"=dword:%08x\r\n"
            "\"Patch_VersionNumber\"=dword:%08x\r\n"
            "\"Local_Path\"=\"/opt/bastionel/server/\"\r\n"
            % (server["version"], server["service_pack"], server["patch"]))


def fixture(sample, version, rows=None):
    domains = []
    if rows is None and version < 9.99:
        rows = [(key, entry, name, None) for key, entry, name in FLAT]
    elif rows is None:
        rows = TREE
    for i, (key, entry, name, parent) in enumerate(rows):
        spyware = [1000 + 17 * i + k for k in range(i % 4)]
        if version < 9.99:
            config = config_v8(i)
        elif version < 10.59:
            config = config_v105(i)
        else:
            config = config_v106(i, spyware)
        domains.append({
            "uid": uid_of(sample, key),
            "parent": uid_of(sample, parent) if parent else ROOT_UID,
            "entry": entry,
            "name": name,
            "third": str(1 + i % 3),
            "config": config,
            "status": 1024 * (i % 2) + 3,
            "spyware": spyware,
            "uninstall_password": "un-%s" % entry.lower() if i % 3 else "",
            "unload_password": "ul-%s" % entry.lower() if i % 2 else "",
            "dest_scan_type": i % 3,
            "service_switch": [7 - i % 4, i % 2, -1 if i % 5 == 0 else 0],
        })
    return {"comment": "Bastionel %s sample server" % sample, "domains": domains}


def install_files(sample, version, service_pack, crypt, disk_reserved=None):
    sections = bsnscan_sections(sample, version, service_pack, crypt,
                                disk_reserved=disk_reserved)
    files = {
        "bsnscan.ini": ini_text(sections),
        "Private/bsnserver.ini": bsnserver_ini(sample),
        "Private/PFW/Office.pfw": "[Profile]\r\nName=Office\r\nSecurity=Medium\r\n",
        "Private/PFW/Outside.pfw": "[Profile]\r\nName=Outside\r\nSecurity=High\r\n",
        "Private/PFW/PfwPolicy.dat": "PFW-POLICY-1\r\nallow tcp 80 out\r\nallow tcp 443 out\r\n",
        "Private/PFW/.PfwLock": "locked by console\r\n",
        "Private/PFW/Backup/Office.pfw.bak": "[Profile]\r\nName=Office (old)\r\n",
        "ous.ini": "[OUS]\r\nCount=2\r\nOU0=OU=Sales,DC=example,DC=com\r\n"
                   "OU1=OU=IT,DC=example,DC=com\r\n",
        "sscfg.ini": "[SmartScan]\r\nEnable=1\r\nCacheDays=7\r\n",
    }
    alerts = ALERT_FILES if version >= 10.49 else [
        "ALERT.MSG", "AlertAS.msg", "alertcfw.msg", "AlertH.MSG", "AlertL.MSG", "AlertM.MSG"]
    alert_folder = "Admin/" if version >= 10.49 else ""
    for name in alerts:
        files[alert_folder + name] = ("Bastionel %s alert: %%VIRUSNAME%% found on "
                                      "%%COMPUTER%% (%s)\r\n" % (name.split(".")[0], sample))
    ssnotify = "[Notify]\r\nPopup=1\r\nMessage=Smart scan finished\r\n"
    files["Admin/ssnotify.ini" if version >= 10.01 else "ssnotify.ini"] = ssnotify
    if version >= 9.99:
        files["Private/SortingRuleStore/SortingRule.xml"] = (
            "<?xml version=\"1.0\"?>\r\n<SortingRules>\r\n"
            "  <Rule domain=\"Branch Offices\" ip=\"10.20.0.0/16\"/>\r\n</SortingRules>\r\n")
        files["Private/dlp.ini"] = "[DLP]\r\nEnable=1\r\nTemplateCount=2\r\n"
        files["Private/DlpClc.xml"] = ("<?xml version=\"1.0\"?>\r\n<DlpClc>\r\n"
                                       "  <Template name=\"Confidential\"/>\r\n</DlpClc>\r\n")
        files["Private/DLP_exception.ini"] = "[Exception]\r\nCount=1\r\nItem0=backup.exe\r\n"
    return files


def set_value(sections, section, key, value):
    """Replaces the value of `key`, or appends the key to `section`."""
    for name, entries in sections:
        if name == section:
            for n, (k, _) in enumerate(entries):
                if k == key:
                    entries[n] = (key, value)
                    return
            entries.append((key, value))
            return
    raise KeyError(section)


def target_install_files(crypt):
    """The target's install folder before an import: its own INI values where
    the sources have theirs, keys and sections the packages do not carry, an
    older firewall profile, alert file and DLP template."""
    sample, server = TARGET, TARGET_SERVER
    sections = bsnscan_sections(sample, float(server["version"]), server["service_pack"], crypt,
                                move_dirs=TARGET_MOVE_DIRS, disk_reserved=server["disk_reserved"])
    set_value(sections, "INI_SERVER_SECTION", "Proxy_IP", "proxy.target.example.com")
    set_value(sections, "INI_SERVER_SECTION", "Server_Port", 8443)
    set_value(sections, "INI_SERVER_SECTION", "TargetOnlyKey", "kept")
    set_value(sections, "Global Setting", "MaxLogDays", 60)
    set_value(sections, "INI_CONSOLE_SESSION", "LastLogin", "2026-11-30 17:45:00")
    private = [
        ("Other Update Source", [("Count", 0)]),
        ("INI_UPDATE_SETTING", [("UpdateSourceType", 1),
                                ("UpdateSource", "http://update.target.example.com/bsn"),
                                ("TargetOnlyKey", "kept")]),
        ("INI_SERVER_INFO", [("InstallDate", "2026-11-30"), ("Sample", sample)]),
    ]
    return {
        "bsnscan.ini": ini_text(sections),
        "Private/bsnserver.ini": ini_text(private),
        "Private/PFW/Default.pfw": "[Profile]\r\nName=Default\r\nSecurity=Low\r\n",
        "Private/DlpClc.xml": ("<?xml version=\"1.0\"?>\r\n<DlpClc>\r\n"
                               "  <Template name=\"Target default\"/>\r\n</DlpClc>\r\n"),
        "Admin/ALERT.MSG": "Bastionel target alert: %VIRUSNAME% found on %COMPUTER%\r\n",
        "ous.ini": "[OUS]\r\nCount=0\r\n",
    }


def write_sample(folder, server, files, fixture_content):
    shutil.rmtree(folder, ignore_errors=True)
    write(os.path.join(folder, "registry.reg"), registry_text(server))
    for relative, text in files.items():
        write(os.path.join(folder, "install", relative), text)
    write(os.path.join(folder, "fixture.json"),
          json.dumps(fixture_content, indent=1, ensure_ascii=False) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--encipher", required=True, help="the build's bastionel-encipher")
    parser.add_argument("--out", default=os.path.join(HERE, "samples"))
    args = parser.parse_args()
    crypt = Encipher(os.path.abspath(args.encipher))
    for sample, server in SAMPLES.items():
        version = float(server["version"])
        files = install_files(sample, version, server["service_pack"], crypt,
                              server.get("disk_reserved"))
        write_sample(os.path.join(args.out, sample), server, files, fixture(sample, version))
    write_sample(os.path.join(args.out, TARGET), TARGET_SERVER, target_install_files(crypt),
                 fixture(TARGET, float(TARGET_SERVER["version"]), TARGET_DOMAINS))


if __name__ == "__main__":
    main()
