"""Symbolic links planted in an install folder or at the archive's name:
the export writes nothing through them and creates its archive and skva.dat
owner-only whatever the umask; the import refuses an archive whose members
a linked folder would carry outside the install folder, with message 133,
and writes nothing there."""

import os
import shutil
import stat
import tempfile
import unittest

from harness import (CORRUPT, SAMPLES, Archive, ExportTestCase, ImportTestCase, linux_only,
                     package, record, skva_dat)

A = "aaaaaaaa-0000-4000-8000-00000000000a"


def outside_folder(test, content):
    """A folder outside every installation holding `target` with `content`;
    removed afterwards."""
    folder = tempfile.mkdtemp(prefix="portelle-outside-")
    test.addCleanup(shutil.rmtree, folder, True)
    with open(os.path.join(folder, "target"), "wb") as f:
        f.write(content)
    return folder


def read_file(folder, relative):
    with open(os.path.join(folder, relative), "rb") as f:
        return f.read()


def tree(folder):
    """{relative path: bytes} of every file below `folder`."""
    found = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            full = os.path.join(parent, name)
            with open(full, "rb") as f:
                found[os.path.relpath(full, folder)] = f.read()
    return found


@linux_only("symbolic links and Unix file modes")
class ExportThroughLinks(ExportTestCase):
    def export(self, source, archive, stdin=b""):
        source.start_database(os.path.join(SAMPLES, "10.5", "fixture.json"))
        # Under umask 000 every file would be world-readable unless created
        # owner-only on purpose.
        saved = os.umask(0)
        try:
            result = source.export("/c", "/t", archive, stdin=stdin)
        finally:
            os.umask(saved)
        self.assertExported(result, archive)

    def test_links_at_the_written_files_are_replaced_not_written_through(self):
        source = self.make_server(sample="10.5")
        outside = outside_folder(self, b"outside content")
        target = os.path.join(outside, "target")
        archive = source.path("out.zip")
        for link in (os.path.join(source.install, "skva.dat"),
                     os.path.join(source.install, "skva.dat.part"),
                     os.path.join(source.install, "tmp.ini"),
                     os.path.join(source.install, "tmp.ini.staging"),
                     archive):
            os.symlink(target, link)
        # The archive's name is taken (by the link): the user agrees to replace it.
        self.export(source, archive, stdin=b"y")

        self.assertEqual(tree(outside), {"target": b"outside content"})
        mode = os.lstat(archive).st_mode
        self.assertTrue(stat.S_ISREG(mode))
        self.assertEqual(stat.S_IMODE(mode), 0o600)
        self.assertIn("skva.dat", Archive(archive).names)
        # tmp.ini was a link, not a file a run left: it took no part, and it
        # is gone like a left tmp.ini.
        self.assertFalse(os.path.lexists(os.path.join(source.install, "tmp.ini")))
        self.assertEqual(source.leftovers(), [])

    def test_the_archive_and_skva_dat_are_owner_only_under_umask_000(self):
        source = self.make_server(sample="10.5")
        archive = source.path("out.zip")
        # A partial archive a killed export left: its process is gone.
        left = source.path(".out.zip.999999999.part.zip")
        with open(left, "wb") as f:
            f.write(b"partial")
        self.export(source, archive)
        self.assertEqual(stat.S_IMODE(os.stat(archive).st_mode), 0o600)
        self.assertGreater(len(Archive(archive).data["skva.dat"]), 0)
        self.assertFalse(os.path.exists(left))
        self.assertEqual(source.leftovers(), [])


@linux_only("symbolic links and Unix file modes")
class ImportThroughLinkedFolders(ImportTestCase):
    def members(self):
        return [("Private\\PFW\\Default.pfw", b"[Profile]\r\nName=source\r\n"),
                ("Admin\\AlertDLP.MSG", b"source alert"),
                ("ous.ini", b"[OUS]\r\nSource=1\r\n"),
                ("skva.dat", skva_dat(package([record(A, "Linked")])))]

    def test_the_same_archive_without_links_is_imported(self):
        self.start_database()
        code, messages = self.run_import(self.members())
        self.assertEqual(code, 0, messages)
        self.assertEqual(read_file(self.target.install, "Admin/AlertDLP.MSG"), b"source alert")

    def test_a_linked_folder_in_the_install_folder_carries_no_member_outside(self):
        for linked in ("Private/PFW", "Admin", "ous.ini"):
            with self.subTest(linked):
                self.fresh_target()
                outside = outside_folder(self, b"outside content")
                place = os.path.join(self.target.install, linked)
                if os.path.isdir(place):
                    shutil.rmtree(place)
                elif os.path.lexists(place):
                    os.remove(place)
                os.makedirs(os.path.dirname(place), exist_ok=True)
                os.symlink(os.path.join(outside, "target") if linked == "ous.ini" else outside,
                           place)
                files = self.target.files()
                self.start_database()
                code, messages = self.run_import(self.members())
                self.assertEqual(code, 1, messages)
                self.assertIn(CORRUPT, messages)
                self.assertEqual(tree(outside), {"target": b"outside content"})
                self.assertEqual(self.target.files(), files)
                self.assertEqual(self.ini_bytes(), self.ini_files)
                self.assertEqual(self.target.dump()["journal"], [])


if __name__ == "__main__":
    unittest.main()
