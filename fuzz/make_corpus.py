#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds come from the sample installations in demo/samples (their INI and
registry files, their domains' configuration strings and domain lists) and
from hand-built byte sequences of the formats: a skva.dat, a zip archive
holding one, serialized replies. Run it again after a sample changes; the
output is deterministic.
"""
import io
import json
import pathlib
import shutil
import struct
import sys
import zipfile
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
# The protocol-buffer writer the end-to-end tests build packages with.
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import field, varint  # noqa: E402

field_bytes = field_int = field
OUT = ROOT / "fuzz" / "corpus"
SAMPLES = ROOT / "demo" / "samples"
SAMPLE_NAMES = ["8.0", "10.5", "10.6-sp1", "10.6-sp2-target"]


def utf16(text):
    return text.encode("utf-16-le")


def fixture(name):
    return json.loads((SAMPLES / name / "fixture.json").read_text())


def config_stream(domain):
    return "\t".join(domain["config"])


def package_bytes(sample, domains):
    """A SettingAggregation with the first `domains` domains of a sample."""
    msg = bytearray(varint(1 << 3 | 1) + struct.pack("<d", 10.5))
    for d in fixture(sample)["domains"][:domains]:
        rec = (field_bytes(1, utf16(d["uid"])) + field_bytes(2, utf16(d["name"])) +
               field_bytes(3, utf16("unin")) + field_bytes(4, utf16("unl")) +
               field_bytes(5, utf16(config_stream(d))) + field_int(6, len(d["name"])) +
               field_bytes(7, utf16(d["parent"])) + field_bytes(8, utf16(d["entry"])) +
               field_int(9, len(d["entry"])))
        msg += field_bytes(2, rec)
    msg += field_bytes(3, utf16("1\t2\t3")) + field_int(4, 2) + field_int(5, 1)
    return str(len(msg)).encode() + zlib.compress(bytes(msg))


def item(data):
    return struct.pack("<I", len(data)) + data


def wide(text):
    return item(utf16(text) + b"\0\0")


def message(name, body, flags=0):
    header = bytearray(16)
    header[0], header[1], header[4] = 0x20, 0xAC, flags
    return (item(struct.pack("<I", 1)) + item(bytes(header)) + wide(name) +
            wide("0105" + name + "12345678") + body)


def write(target, name, data):
    folder = OUT / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    if OUT.exists():
        shutil.rmtree(OUT)
    small = fixture("10.5")["domains"]

    write("fuzz_package_data", "one_domain_10.5", package_bytes("10.5", 1))
    write("fuzz_package_data", "three_domains_10.6", package_bytes("10.6-sp1", 3))
    write("fuzz_package_data", "empty", b"0" + zlib.compress(b""))

    for name in ["deflated", "stored"]:
        buf = io.BytesIO()
        method = zipfile.ZIP_DEFLATED if name == "deflated" else zipfile.ZIP_STORED
        with zipfile.ZipFile(buf, "w", method) as z:
            info = zipfile.ZipInfo("skva.dat", date_time=(2020, 1, 2, 3, 4, 6))
            z.writestr(info, package_bytes("10.5", 1), method)
            info = zipfile.ZipInfo("Private/dlp.ini", date_time=(2020, 1, 2, 3, 4, 6))
            z.writestr(info, (SAMPLES / "10.5/install/Private/dlp.ini").read_bytes()[:1024], method)
            z.writestr(zipfile.ZipInfo("Admin/", date_time=(2020, 1, 2, 3, 4, 6)), b"")
        write("fuzz_unzip", name + ".zip", buf.getvalue())

    for sample in SAMPLE_NAMES:
        for ini in sorted((SAMPLES / sample / "install").rglob("*.ini")):
            data = ini.read_bytes()
            if 0 < len(data) <= 6000:
                write("fuzz_ini_document", f"{sample}_{ini.name}", data)
        write("fuzz_registry_file", f"{sample}.reg", (SAMPLES / sample / "registry.reg").read_bytes())
    reg = (SAMPLES / "10.5" / "registry.reg").read_text()
    write("fuzz_registry_file", "utf16_bom.reg", b"\xff\xfe" + utf16(reg))
    write("fuzz_registry_file", "hex_and_dword.reg",
          b'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"N"=dword:0000000a\r\n'
          b'"B"=hex:01,02,\\\r\n  03\r\n@="x\\\\y\\"z" ; c\r\n"D"=-\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n')
    ini = (SAMPLES / "10.5" / "install" / "ous.ini").read_text()
    write("fuzz_ini_document", "utf16_ous.ini", b"\xff\xfe" + utf16(ini))

    for i, sample in enumerate(SAMPLE_NAMES):
        d = fixture(sample)["domains"][0]
        write("fuzz_cmd_protocol", f"config_{sample}", bytes([i]) + utf16(config_stream(d)))
        write("fuzz_scan_config", f"config_{sample}", utf16(config_stream(d)))
    write("fuzz_cmd_protocol", "numbers", b"\x01" + utf16("70000\t-1\t4294967296\t\n99999999999999999999\t+5\t 7"))
    write("fuzz_scan_config", "odd_length", utf16(config_stream(small[1])) + b"\x31")

    listing = "".join(f"{d['uid']}\t{d['entry']}\t{d['third']}\n" for d in small[:4])
    write("fuzz_db_reply", "domain_list", utf16(listing))
    write("fuzz_db_reply", "status", utf16("3"))
    write("fuzz_db_reply", "spyware_list", utf16("1\t22\t333\t-4\t\t5"))
    write("fuzz_db_reply", "passwords", utf16("uninstall pw\tunload pw") + b"\0\0" + utf16("x"))

    status_body = item(struct.pack("<I", 0))
    write("fuzz_msg_serializer", "client_on_start_reply", b"\x00" + message("DBV2_CLIENT_ON_START", status_body))
    list_body = (struct.pack("<I", 2) + wide(small[0]["uid"]) + wide("") +
                 item(struct.pack("<H", 2)) + item(struct.pack("<I", 5)))
    write("fuzz_msg_serializer", "list_reply", b"\x21" + message("DBV2_SET_DLP_CFG", list_body))
    write("fuzz_msg_serializer", "cut_short", b"\x42" + message("X", b"")[:20])


if __name__ == "__main__":
    main()
