#!/usr/bin/env python3
"""Checks the release packages as a user gets them: unpacked, not built.

  check_release.py --scratch DIR [--debs FOLDER] [--zip ARCHIVE [--wine-prefix PREFIX]]

--debs: the Debian packages portelle and portelle-stand-ins in FOLDER are
unpacked with dpkg-deb -x; the layout is checked (links in usr/bin, the
programs beside zlibwapi.so in usr/libexec/portelle, the manual pages), each
program's --version and portelle-examine --help are run, and the demo's
console export of the 10.5 sample runs on the unpacked programs and
stand-ins, ending with portelle-examine of the archive.

--zip: the Windows release archive is unpacked with zipfile; its members,
the CR LF line ends of its text files and the programs' headers are checked,
and when Wine is installed each program's --version, portelle-examine.exe
--help and portelle-examine.exe of the demo's archive (with --debs) are run
under Wine in PREFIX (made on first use).

Prints what it checked and ends with "RELEASE CHECK PASSED", or names the
first failure and exits with 1.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAMS = ["portelle", "portelle-import", "portelle-examine"]
STAND_IN_PROGRAMS = ["bastionel-dbservice", "bastionel-logservice", "bastionel-encipher"]
LICENSES = ["zlib", "minizip", "protobuf"]
# DLLs every Windows system has; any other one a program imports must travel
# in the archive (a zlib1.dll or libstdc++-6.dll import is a fault of the build).
SYSTEM_DLLS = {"kernel32", "user32", "gdi32", "comdlg32", "comctl32", "advapi32", "shell32",
               "ole32", "oleaut32", "msvcrt", "ws2_32", "bcrypt", "crypt32", "shlwapi",
               "rpcrt4", "version", "ntdll", "uxtheme", "secur32", "userenv"}
OBJDUMP = "x86_64-w64-mingw32-objdump"
TIMEOUT_S = 300


class CheckFailed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise CheckFailed(what)


def run(argv, env=None, cwd=None):
    return subprocess.run(argv, capture_output=True, env=env, cwd=cwd, timeout=TIMEOUT_S,
                          stdin=subprocess.DEVNULL)


def text(data):
    return data.decode("utf-8", "replace")


def deb_field(deb, name):
    out = run(["dpkg-deb", "-f", deb, name])
    check(out.returncode == 0, "dpkg-deb -f %s %s: %s" % (deb, name, text(out.stderr)))
    return text(out.stdout).strip()


def check_debs(folder, scratch):
    """Returns the archive the demo export wrote with the unpacked programs."""
    debs = {}
    for name in sorted(os.listdir(folder)):
        if name.endswith(".deb"):
            debs[deb_field(os.path.join(folder, name), "Package")] = os.path.join(folder, name)
    check(sorted(debs) == ["portelle", "portelle-stand-ins"],
          "the Debian packages in %s are %s" % (folder, sorted(debs)))
    version = deb_field(debs["portelle"], "Version")
    check(re.fullmatch(r"\d+\.\d+\.\d+", version) is not None, "package version %r" % version)
    check(deb_field(debs["portelle-stand-ins"], "Version") == version,
          "the two packages have different versions")
    for package, deb in debs.items():
        print("== %s %s (%s): Depends: %s" % (package, version, os.path.basename(deb),
                                             deb_field(deb, "Depends")))

    root = os.path.join(scratch, "deb-root")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for deb in debs.values():
        out = run(["dpkg-deb", "-x", deb, root])
        check(out.returncode == 0, "dpkg-deb -x %s: %s" % (deb, text(out.stderr)))

    private = os.path.join(root, "usr", "libexec", "portelle")
    for name in PROGRAMS + STAND_IN_PROGRAMS:
        link = os.path.join(root, "usr", "bin", name)
        check(os.path.islink(link) and os.readlink(link) == "../libexec/portelle/" + name,
              "usr/bin/%s is no link to ../libexec/portelle/%s" % (name, name))
    for name in PROGRAMS + STAND_IN_PROGRAMS + ["zlibwapi.so", "libPackDll.so",
                                                "BsnPfwCommon.so", "SvcCfgRunner"]:
        check(os.path.isfile(os.path.join(private, name)), "usr/libexec/portelle/%s is missing"
              % name)
    for name in PROGRAMS:
        check(os.path.isfile(os.path.join(root, "usr", "share", "man", "man1", name + ".1")),
              "the manual page %s.1 is missing" % name)

    for name in PROGRAMS:
        out = run([os.path.join(root, "usr", "bin", name), "--version"])
        check((out.returncode, text(out.stdout)) == (0, "%s %s\n" % (name, version)),
              "%s --version: exit %d, %r %r" % (name, out.returncode, text(out.stdout),
                                                text(out.stderr)))
        print("   usr/bin/%s --version: %s" % (name, text(out.stdout).strip()))
    out = run([os.path.join(root, "usr", "bin", "portelle-examine"), "--help"])
    check(out.returncode == 0 and text(out.stdout).startswith("Usage: portelle-examine"),
          "portelle-examine --help: exit %d" % out.returncode)
    print("   usr/bin/portelle-examine --help: exit 0")

    # The demo's export runs every unpacked piece together: portelle /c
    # loading zlibwapi.so from its own folder, the stand-in services, and
    # portelle-examine on the archive written.
    demo = os.path.join(scratch, "demo")
    shutil.rmtree(demo, ignore_errors=True)
    out = run([sys.executable, os.path.join(SOURCE, "demo", "demo.py"), "--bin", private,
               "--out", demo, "10.5"])
    archive = os.path.join(demo, "10.5", "SkvaMigrate.zip")
    check(out.returncode == 0 and os.path.isfile(archive),
          "the demo export with the unpacked programs failed (exit %d):\n%s%s"
          % (out.returncode, text(out.stdout), text(out.stderr)))
    print("   demo export of the 10.5 sample with the unpacked programs: %s (%d bytes)"
          % (archive, os.path.getsize(archive)))
    return archive


def check_zip(path, scratch, wine_prefix, archive):
    match = re.fullmatch(r"portelle-(\d+\.\d+\.\d+)-windows-x64\.zip", os.path.basename(path))
    check(match is not None, "the release archive's name %s" % os.path.basename(path))
    version = match.group(1)
    folder = os.path.basename(path)[:-len(".zip")]
    expected = sorted([folder + "/" + name for name in
                       [p + ".exe" for p in PROGRAMS] + ["zlibwapi.dll", "README.txt"]] +
                      ["%s/licenses/%s.txt" % (folder, name) for name in LICENSES])
    with zipfile.ZipFile(path) as zf:
        check(zf.testzip() is None, "%s has a damaged member" % path)
        members = sorted(n for n in zf.namelist() if not n.endswith("/"))
        check(members == expected, "%s holds %s, not %s" % (path, members, expected))
        for name in members:
            data = zf.read(name)
            if name.endswith(".txt"):
                check(data and data.count(b"\n") == data.count(b"\r\n"),
                      "%s does not have CR LF line ends throughout" % name)
            else:
                check(data[:2] == b"MZ", "%s is no Windows program or library" % name)
        readme = text(zf.read(folder + "/README.txt"))
        check("Portelle %s" % version in readme, "README.txt does not name version " + version)
        unpacked = os.path.join(scratch, "zip")
        shutil.rmtree(unpacked, ignore_errors=True)
        zf.extractall(unpacked)
    print("== %s: %d members, text files with CR LF" % (os.path.basename(path), len(members)))
    bin_dir = os.path.join(unpacked, folder)
    check_imports(bin_dir)

    wine = shutil.which("wine")
    if wine is None:
        print("   Wine is not installed: the Windows programs were not run")
        return
    env = dict(os.environ, WINEPREFIX=wine_prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if not os.path.isfile(os.path.join(wine_prefix, "system.reg")):
        print("   preparing the Wine prefix %s" % wine_prefix)
        run([wine, "wineboot", "-i"], env=env)
        run(["wineserver", "-w"], env=env)
    try:
        for name in PROGRAMS:
            out = run([wine, os.path.join(bin_dir, name + ".exe"), "--version"], env=env)
            line = text(out.stdout).replace("\r\n", "\n")
            check((out.returncode, line) == (0, "%s %s\n" % (name, version)),
                  "wine %s.exe --version: exit %d, %r %r" % (name, out.returncode, line,
                                                            text(out.stderr)))
            print("   wine %s.exe --version: %s" % (name, line.strip()))
        out = run([wine, os.path.join(bin_dir, "portelle-examine.exe"), "--help"], env=env)
        check(out.returncode == 0 and "Usage: portelle-examine" in text(out.stdout),
              "wine portelle-examine.exe --help: exit %d" % out.returncode)
        print("   wine portelle-examine.exe --help: exit 0")
        if archive is not None:
            out = run([wine, os.path.join(bin_dir, "portelle-examine.exe"),
                       "Z:" + os.path.abspath(archive)], env=env)
            check(out.returncode == 0 and "skva.dat" in text(out.stdout),
                  "wine portelle-examine.exe of the demo archive: exit %d\n%s%s"
                  % (out.returncode, text(out.stdout), text(out.stderr)))
            print("   wine portelle-examine.exe of the demo archive: exit 0")
    finally:
        run(["wineserver", "-k"], env=env)


def check_imports(bin_dir):
    """Every DLL the programs and zlibwapi.dll import is a system one or in
    the archive."""
    if shutil.which(OBJDUMP) is None:
        print("   %s is not installed: the DLL imports were not checked" % OBJDUMP)
        return
    shipped = {name.lower() for name in os.listdir(bin_dir) if name.lower().endswith(".dll")}
    for name in sorted(os.listdir(bin_dir)):
        if not name.endswith((".exe", ".dll")):
            continue
        out = run([OBJDUMP, "-p", os.path.join(bin_dir, name)])
        check(out.returncode == 0, "%s -p %s failed" % (OBJDUMP, name))
        imports = re.findall(r"DLL Name: (\S+)", text(out.stdout))
        for dll in imports:
            lower = dll.lower()
            check(lower in shipped or lower[:-len(".dll")] in SYSTEM_DLLS
                  or lower.startswith("api-ms-win-"),
                  "%s imports %s, which is neither a system DLL nor in the archive" % (name, dll))
        print("   %s imports %s" % (name, ", ".join(imports)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--debs")
    parser.add_argument("--zip")
    parser.add_argument("--wine-prefix")
    args = parser.parse_args()
    if not args.debs and not args.zip:
        parser.error("nothing to check: give --debs, --zip or both")
    scratch = os.path.abspath(args.scratch)
    os.makedirs(scratch, exist_ok=True)
    try:
        archive = check_debs(args.debs, scratch) if args.debs else None
        if args.zip:
            check_zip(args.zip, scratch,
                      os.path.abspath(args.wine_prefix or os.path.join(scratch, "wine")), archive)
    except CheckFailed as failure:
        print("RELEASE CHECK FAILED: %s" % failure)
        return 1
    print("RELEASE CHECK PASSED")
    return 0


if __name__ == "__main__":
    sys.exit(main())
