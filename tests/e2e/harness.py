"""What the end-to-end tests share: a server installation in a temporary
folder, the stand-in services for it, the real portelle program and the
import driver, and readers of the archive that share no code with them
(zipfile, zlib, a protocol-buffer wire reader of our own and protoc
--decode_raw).

The same tests drive the Windows build under Wine when PORTELLE_TARGET is
"windows": the programs are then the .exe files of PORTELLE_BIN_DIR, started
through wine in the prefix WINEPREFIX names, the installation lies on drive
Z: (which Wine maps to /), and pipe names get a prefix of the test's own."""

import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

BIN = os.environ.get("PORTELLE_BIN_DIR") or os.path.join(
    os.path.dirname(__file__), "..", "..", "build", "bin")
SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLES = os.path.join(SOURCE, "demo", "samples")
sys.path.insert(0, os.path.join(SOURCE, "demo"))
import build_target  # noqa: E402  (which build the tests drive)

TARGET_SAMPLE = "10.6-sp2-target"
ROOT_UID = "00000000-0000-0000-0000-000000000000"
GUID = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
# No reply of the stand-in takes long; a hung export fails the test instead.
RUN_TIMEOUT_S = 60


build_target.use_windows(os.environ.get("PORTELLE_TARGET") == "windows")
build_target.start_wine()
WINDOWS = build_target.WINDOWS
native = build_target.native
from_native = build_target.from_native
# The suffix of the firewall library the import loads.
LIBRARY_SUFFIX = build_target.library("")


def program(name):
    """The built program `name` (a library keeps the name it is given)."""
    return build_target.program(BIN, name)


def command(name, *arguments):
    """The argument list that starts the built program `name`."""
    return build_target.command(BIN, name, *arguments)


# The system's own words for the errors the tests provoke, as the programs
# quote them: errno texts on Linux, the system's message texts on Windows
# (which reports a folder where a file is wanted as access denied).
REASON = {
    "no such file": "File not found" if WINDOWS else "No such file or directory",
    "no such folder": "Path not found" if WINDOWS else "No such file or directory",
    "not a folder": "Path not found" if WINDOWS else "Not a directory",
    "is a folder": "Access denied" if WINDOWS else "Is a directory",
}


# The environment variables the programs' help names: on Windows the server's
# key is in the registry and the pipes need no folder, so there are none.
HELP_VARIABLES = () if WINDOWS else ("BASTIONEL_REGISTRY", "BASTIONEL_PIPE_DIR")


def run(argv, **kwargs):
    """subprocess.run; a Windows program's console lines end in CR LF, which
    become LF here, so that tests compare the same text for both builds."""
    result = subprocess.run(argv, **kwargs)
    if WINDOWS:
        for stream in ("stdout", "stderr"):
            data = getattr(result, stream)
            if isinstance(data, bytes):
                setattr(result, stream, data.replace(b"\r\n", b"\n"))
    return result


def linux_only(reason):
    """Skips a test or class that cannot run against the Windows build."""
    return unittest.skipIf(WINDOWS, "Linux only: " + reason)


def utf16(data):
    """A UTF-16LE field as text; the field must have an even length."""
    assert len(data) % 2 == 0, "odd byte count %d" % len(data)
    return data.decode("utf-16-le")


# ------------------------------------------------------- protocol buffers

def _varint(data, pos):
    value = shift = 0
    while True:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, pos


def wire_fields(data):
    """The fields of one message, in order: (number, wire type, value)."""
    fields = []
    pos = 0
    while pos < len(data):
        key, pos = _varint(data, pos)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, pos = _varint(data, pos)
        elif wire == 1:
            value = data[pos:pos + 8]
            pos += 8
        elif wire == 2:
            size, pos = _varint(data, pos)
            value = data[pos:pos + size]
            assert len(value) == size, "field %d runs past the end" % number
            pos += size
        elif wire == 5:
            value = data[pos:pos + 4]
            pos += 4
        else:
            raise AssertionError("wire type %d" % wire)
        fields.append((number, wire, value))
    return fields


RECORD_FIELDS = {1: "uid", 2: "name", 3: "uninstall", 4: "unload", 5: "config",
                 6: "name_size", 7: "parent", 8: "computer", 9: "computer_size"}


def int32(value):
    return value - (1 << 64) if value >= 1 << 63 else value


def decode_package(serialised):
    """SettingAggregation as a dict; records as dicts of RECORD_FIELDS."""
    package = {"records": []}
    for number, wire, value in wire_fields(serialised):
        if number == 1:
            assert wire == 1
            package["version"] = struct.unpack("<d", value)[0]
        elif number == 2:
            assert wire == 2
            record = {}
            for n, w, v in wire_fields(value):
                name = RECORD_FIELDS[n]
                assert name not in record, "field %d twice" % n
                assert w == (0 if n in (6, 9) else 2), "field %d wire type %d" % (n, w)
                record[name] = int32(v) if w == 0 else v
            package["records"].append(record)
        elif number == 3:
            package["ini"] = value
        elif number == 4:
            package["service_pack"] = int32(value)
        elif number == 5:
            package["patch"] = int32(value)
        else:
            raise AssertionError("unknown field %d" % number)
    return package


def decode_raw_top_level(serialised):
    """protoc --decode_raw's top-level lines: field numbers in order."""
    out = subprocess.run(["protoc", "--decode_raw"], input=serialised, capture_output=True,
                         check=True).stdout.decode("utf-8", "replace")
    return [int(m.group(1)) for m in re.finditer(r"^(\d+)[: ]", out, re.MULTILINE)]


def read_text(folder, relative, binary=False):
    """A file below `folder` (relative with forward slashes): UTF-8 text, or
    its bytes."""
    with open(os.path.join(folder, relative), "rb") as f:
        data = f.read()
    return data if binary else data.decode("utf-8")


# ----------------------------------------------------------------- archive

class Archive:
    """An export archive read with zipfile, its skva.dat with zlib."""

    def __init__(self, path):
        self.path = path
        with zipfile.ZipFile(path) as z:
            assert z.testzip() is None, "a member fails its CRC"
            self.infos = z.infolist()
            self.data = {i.filename: z.read(i) for i in self.infos}
        self.names = [i.filename for i in self.infos]
        raw = self.data["skva.dat"]
        digits = re.match(rb"\d+", raw).group(0)
        self.prefix = digits
        self.stream = raw[len(digits):]
        self.serialised = zlib.decompress(self.stream)
        self.package = decode_package(self.serialised)

    @property
    def records(self):
        return self.package["records"]

    def ini_text(self):
        return self.package["ini"].decode("utf-8")


def ini_sections(text):
    """{section: {key: value}} of INI text, names as written."""
    sections = {}
    current = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and "]" in line:
            current = sections.setdefault(line[1:line.rindex("]")].strip(), {})
        elif current is not None and "=" in line and not line.startswith(";"):
            key, value = line.split("=", 1)
            current[key.strip()] = value.strip()
    return sections


# ------------------------------------------------- packages written by hand

# Message 133 as the import driver writes it to standard error.
CORRUPT = "Selected data file is incorrect or corrupted."
INI = "[INI_SERVER_SECTION]\nProxy_IP=proxy.hand.example\n"

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
    """Writes a zip file of `members`: (name, bytes) pairs, deflated, or
    (name, bytes, compression) triples."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, *compression in members:
            z.writestr(name, data, *compression)


# --------------------------------------------------------- the installation

class Server:
    """A server installation in a temporary folder: registry file, install
    folder, pipe folder; the stand-in services started for it."""

    def __init__(self, version="10.5", service_pack=0, patch=0, sample=None):
        self.root = tempfile.mkdtemp(prefix="portelle-e2e-")
        self.install = os.path.join(self.root, "install") + "/"
        self.pipes = os.path.join(self.root, "p")
        self.services = []
        if sample is not None:
            shutil.copytree(os.path.join(SAMPLES, sample, "install"), self.install)
            with open(os.path.join(SAMPLES, sample, "registry.reg"), encoding="utf-8") as f:
                registry = f.read()
            self.version = float(re.search(r'"Server_Version"="([^"]*)"', registry).group(1))
            service_pack = int(re.search(r'"ServicePack_VersionNumber"=dword:(\w+)',
                                         registry).group(1), 16)
            patch = int(re.search(r'"Patch_VersionNumber"=dword:(\w+)', registry).group(1), 16)
            version = re.search(r'"Server_Version"="([^"]*)"', registry).group(1)
        else:
            os.makedirs(self.install)
            self.version = float(version)
        self.registry = os.path.join(self.root, "registry.reg")
        with open(self.registry, "w", encoding="utf-8") as f:
            f.write("Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\Information]\n"
                    "\"Server_Version\"=\"%s\"\n\"ServicePack_VersionNumber\"=dword:%08x\n"
                    "\"Patch_VersionNumber\"=dword:%08x\n\"Local_Path\"=\"%s\"\n"
                    % (version, service_pack, patch,
                       native(self.install).replace("\\", "\\\\")))

    def close(self):
        for service in self.services:
            service.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.root, relative)

    def write(self, relative, text):
        full = os.path.join(self.install, relative)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8", newline="") as f:
            f.write(text)

    def env(self):
        # On Windows the pipes get the installation's folder name as their
        # prefix, which no other test shares.
        pipes = self.root if WINDOWS else self.pipes
        return build_target.environment(os.environ, pipes, self.registry)

    def start_database(self, fixture):
        if not isinstance(fixture, str):
            path = self.path("fixture.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(fixture, f)
            fixture = path
        self.database = Service(command("bastionel-dbservice", "--db", self.path("db.sqlite"),
                                         "--fixture", fixture), self.env())
        self.services.append(self.database)
        return self.database

    def start_log(self):
        self.log_file = self.path("debug.log")
        self.log_service = Service(command("bastionel-logservice", self.log_file), self.env())
        self.services.append(self.log_service)

    def log_lines(self):
        """The lines logged; the log service is stopped first, so that it has
        written every record that reached it."""
        self.log_service.stop()
        with open(self.log_file, encoding="utf-8") as f:
            return f.read().splitlines()

    def dump(self):
        out = run(command("bastionel-dbservice", "--db", self.path("db.sqlite"), "--dump"),
                  env=self.env(), capture_output=True, check=True)
        return json.loads(out.stdout)

    def export(self, *arguments, stdin=b"", cwd=None):
        """Runs portelle with `arguments`; the completed process, text out."""
        return run(command("portelle", *arguments), input=stdin, capture_output=True,
                   env=self.env(), cwd=cwd or self.root, timeout=RUN_TIMEOUT_S)

    def import_archive(self, archive):
        """Runs the import driver on `archive` with the server's root folder
        current, so that DuplicateDomainList.txt lands there."""
        return run(command("portelle-import-driver", native(self.install), archive),
                   stdin=subprocess.DEVNULL, capture_output=True, env=self.env(), cwd=self.root,
                   timeout=RUN_TIMEOUT_S)

    def install_firewall_library(self, built_name="BsnPfwCommon"):
        """Puts the firewall library stand-in where the import loads it from."""
        shutil.copy(program(built_name + LIBRARY_SUFFIX),
                    os.path.join(self.install, "BsnPfwCommon" + LIBRARY_SUFFIX))

    def report(self):
        """DuplicateDomainList.txt's lines; the file must be UTF-16LE with its
        byte-order mark and CR LF line ends."""
        with open(self.path("DuplicateDomainList.txt"), "rb") as f:
            data = f.read()
        assert data[:2] == b"\xff\xfe", data[:2]
        text = utf16(data[2:])
        assert text == "" or text.endswith("\r\n"), text
        return text.split("\r\n")[:-1]

    def files(self):
        """{path below the install folder: bytes} of every file in it."""
        found = {}
        for folder, _, names in os.walk(self.install):
            for name in names:
                full = os.path.join(folder, name)
                with open(full, "rb") as f:
                    found[os.path.relpath(full, self.install)] = f.read()
        return found

    def leftovers(self):
        """Files an export must not leave behind."""
        found = [n for n in ("tmp.ini", "skva.dat", "Private/DlpClc.ori.xml",
                             "tmp.ini.staging", "skva.dat.part", "bsnscan.ini.staging",
                             "Private/bsnserver.ini.staging")
                 if os.path.exists(os.path.join(self.install, n))]
        for folder, _, files in os.walk(self.root):
            found += [os.path.join(folder, f) for f in files if f.endswith(".part.zip")]
        return found


class Service:
    def __init__(self, argv, env):
        self.process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self.process.stdout.readline()
        assert line.startswith(b"listening on "), line + self.process.stderr.read()

    def stop(self):
        """Stops the service (once) and returns its exit code."""
        if self.process.poll() is None:
            self.process.send_signal(build_target.stop_signal())
        try:
            return self.process.wait(timeout=30)
        finally:
            self.process.stdout.close()
            self.process.stderr.close()


def export_sample(sample):
    """Exports the sample server `sample` with the real portelle /c /t and
    returns the archive's path; the source server goes when the test
    module ends."""
    source = Server(sample=sample)
    unittest.addModuleCleanup(source.close)
    source.start_database(os.path.join(SAMPLES, sample, "fixture.json"))
    path = source.path("SkvaMigrate.zip")
    exported = source.export("/c", "/t", path)
    assert exported.returncode == 0, exported.stdout + exported.stderr
    source.database.stop()
    return path


def domain(uid, entry, parent=ROOT_UID, **fields):
    return dict(uid=uid, entry=entry, parent=parent, **fields)


class ExportTestCase(unittest.TestCase):
    """A test with one server installation, removed afterwards."""

    def make_server(self, **kwargs):
        server = Server(**kwargs)
        self.addCleanup(server.close)
        return server

    def assertExported(self, result, archive_shown):
        out = result.stdout.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 0, out + result.stderr.decode("utf-8", "replace"))
        self.assertIn("Settings are successfully exported to %s\n" % archive_shown, out)


class ImportTestCase(ExportTestCase):
    """A test that imports archives made by hand into a fresh copy of the
    target sample, with the firewall library stand-in installed."""

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
        self.import_output = result.stdout.decode("utf-8", "replace")
        return result.returncode, result.stderr.decode("utf-8", "replace")

    def journal(self, command):
        return [e for e in self.target.dump()["journal"] if e["command"] == command]
