"""The import driver against archives that are good up to their last member,
or whose package is missing or unreadable: the whole archive is checked
before anything is written, so each is refused with message 133 and the
target's install folder stays byte for byte as it was."""

import io
import os
import unittest
import zipfile

from harness import CORRUPT, ImportTestCase, package, record, skva_dat, write_archive

A = "aaaaaaaa-0000-4000-8000-00000000000a"
DLP_EXCEPTION_INI = b"[Exception]\r\nStored=source\r\n"


def good_members(with_package=True):
    """What an export of a 10.0 server holds, each file with source content:
    firewall profiles, the alert files at the top level, DLP files, INI
    files and the package."""
    members = [("Private\\PFW\\Default.pfw", b"[Profile]\r\nName=source\r\n"),
               ("Private\\PFW\\Office.pfw", b"[Profile]\r\nName=office\r\n"),
               ("ous.ini", b"[OUS]\r\nSource=1\r\n"),
               ("ALERT.MSG", b"source alert"),
               ("Private\\dlp.ini", b"[DLP]\r\nSource=1\r\n"),
               ("Private\\DlpClc.ori.xml", b"<template source='1'/>"),
               ("sscfg.ini", b"[sscfg]\r\nSource=1\r\n"),
               ("ssnotify.ini", b"[notify]\r\n")]
    if with_package:
        members.append(("skva.dat", skva_dat(package([record(A, "Refused")]))))
    return members


def zip_bytes(members):
    buffer = io.BytesIO()
    write_archive(buffer, members)
    return buffer.getvalue()


class RefusedArchives(ImportTestCase):
    def fresh_target(self):
        super().fresh_target()
        # DLP files the archive's copies would replace, beside the sample's
        # firewall profile and DLP template.
        self.target.write("Private/dlp.ini", "[DLP]\r\nTarget=1\r\n")
        self.target.write("Private/DLP_exception.ini", "[Exception]\r\nTarget=1\r\n")

    def folders(self):
        return sorted(os.path.relpath(folder, self.target.install)
                      for folder, _, _ in os.walk(self.target.install))

    def assertNothingChanged(self, archive, reason):
        """Imports `archive` (the zip file's bytes) and checks that it was
        refused for `reason` and that nothing of it arrived anywhere."""
        files, folders = self.target.files(), self.folders()
        self.assertIn("Private/PFW/Default.pfw", files)
        self.assertIn("Private/DlpClc.xml", files)
        self.target.start_log()
        self.start_database()
        code, messages = self.run_import(archive)
        self.assertEqual(code, 1, messages)
        self.assertIn(CORRUPT, messages)
        self.assertEqual(self.target.files(), files)
        self.assertEqual(self.folders(), folders)
        self.assertEqual(self.target.dump()["journal"], [])
        self.assertEqual(self.target.report(), [])
        refused = "CImportSkvaSettings::ExtractFromZip - Refused %s: %s" % (
            self.target.path("hand.zip"), reason)
        log = "\n".join(self.target.log_lines())
        self.assertIn(refused, log)

    def test_a_hostile_last_member_refuses_the_whole_archive(self):
        for name in ("../escaped.txt", "Private\\..\\..\\escaped.txt", "ALERT.MSG\x1b[2J"):
            with self.subTest(name):
                self.fresh_target()
                shown = name.replace("/", "\\").replace("\x1b", "?")
                reason = ('member "%s" has a control character in its name' % shown
                          if "\x1b" in name else
                          'member "%s" would land outside the destination folder' % shown)
                self.assertNothingChanged(zip_bytes(good_members() + [(name, b"escaped")]),
                                          reason)
                self.assertFalse(os.path.exists(self.target.path("escaped.txt")))

    def test_a_last_member_with_a_damaged_crc_refuses_the_whole_archive(self):
        archive = bytearray(zip_bytes(good_members() +
                                      [("Private\\DLP_exception.ini", DLP_EXCEPTION_INI,
                                        zipfile.ZIP_STORED)]))
        at = archive.rindex(b"Stored=source")
        archive[at] = ord("s")
        # Another reader finds the same fault, and only that one.
        with zipfile.ZipFile(io.BytesIO(bytes(archive))) as z:
            self.assertEqual(z.testzip(), "Private\\DLP_exception.ini")
        self.assertNothingChanged(
            bytes(archive),
            'member "Private\\DLP_exception.ini" is damaged (its CRC does not match)')

    def test_an_archive_without_skva_dat_changes_nothing(self):
        self.assertNothingChanged(zip_bytes(good_members(with_package=False)),
                                  "it holds no skva.dat")

    def test_an_archive_whose_skva_dat_does_not_parse_changes_nothing(self):
        unreadable = "its skva.dat does not hold a readable settings package"
        for name, data in (("not a package", skva_dat(b"\xff\xff\xff\xff")),
                           ("no zlib stream", b"1234x garbage")):
            with self.subTest(name):
                self.fresh_target()
                members = good_members(with_package=False) + [("skva.dat", data)]
                self.assertNothingChanged(zip_bytes(members), unreadable)


if __name__ == "__main__":
    unittest.main()
