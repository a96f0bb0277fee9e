#!/usr/bin/env python3
"""Runs the demo: a console export of a sample server, or an import through the dialog.

  demo.py --bin BUILD/bin --out BUILD/demo [--windows] [SAMPLE]
  demo.py --bin BUILD/bin --out BUILD/demo [--windows] import [--no-dialog]

Export: the sample (default 10.5; see demo/samples/) is copied to
OUT/SAMPLE/, its registry file pointed at that copy, the stand-in log and
database services started for it, and `portelle /c /t OUT/SAMPLE/SkvaMigrate.zip`
run against them. The services are stopped again and portelle-examine shows
what the archive holds. The archive stays where it was written.

Import: the sample target server (10.6 SP2) is copied to OUT/import/ with the
firewall-library stand-in, its services are started, and the dialog opens on
it with the archive of the last demo export (a 10.5 export is made first when
there is none) in its path field: the dialog's default path
C:\\SkvaMigrate.zip, a relative name here, is OUT/import/C:/SkvaMigrate.zip.
Press Import, answer Yes, read the messages, close the dialog; the demo then
shows what the import did. Without a display, or with --no-dialog, the same
import runs without the dialog (portelle-import --yes).

With --windows the programs are those of the Windows build, run under Wine in
the prefix WINEPREFIX names: the installation is named on drive Z:, the
services listen on Windows named pipes with the name prefix "demo-", the
firewall library is BsnPfwCommon.dll, the native dialog opens (under Xvfb
or any X display), and its default path C:\\SkvaMigrate.zip is on the
prefix's own drive C:.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

import build_target
from build_target import native

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "samples")
# A Unix-domain socket path holds at most 107 bytes.
MAX_SOCKET_PATH = 100
def registry_with_install_path(text, install_path):
    escaped = install_path.replace("\\", "\\\\").replace('"', '\\"')
    lines = []
    for line in text.splitlines():
        if line.lower().startswith('"local_path"='):
            line = '"Local_Path"="%s"' % escaped
        lines.append(line)
    return "\r\n".join(lines) + "\r\n"


class Service:
    """A stand-in service, started and waited for until it listens."""

    def __init__(self, name, argv, env):
        self.name = name
        self.process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        line = self.process.stdout.readline()
        if not line.startswith("listening on "):
            self.process.wait(timeout=30)
            raise SystemExit("%s did not start: %s%s" % (name, line, self.process.stderr.read()))
        print("  %s %s" % (name, line.strip()))

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(build_target.stop_signal())
        code = self.process.wait(timeout=30)
        print("  %s stopped (exit code %d)" % (self.name, code))


TARGET = "10.6-sp2-target"


class Installation:
    """A copy of a sample server in a work folder, with its registry file
    pointed at the copy and its stand-in services."""

    def __init__(self, bin_dir, sample, work):
        self.bin_dir = bin_dir
        self.sample = os.path.join(SAMPLES, sample)
        self.work = work
        self.install = os.path.join(work, "install") + "/"
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        shutil.copytree(os.path.join(self.sample, "install"), self.install)
        with open(os.path.join(self.sample, "registry.reg"), encoding="utf-8") as f:
            self.registry = registry_with_install_path(f.read(), native(self.install))
        registry_file = os.path.join(work, "registry.reg")
        with open(registry_file, "w", encoding="utf-8", newline="") as f:
            f.write(self.registry)
        self.pipes = os.path.join(work, "pipes")
        if build_target.WINDOWS:
            self.pipes = "demo"  # pipe names start "demo-"
        elif len(self.pipes) + len("/DbServerNamePipe") > MAX_SOCKET_PATH:
            self.pipes = tempfile.mkdtemp(prefix="bastionel-demo-")
        self.env = build_target.environment(os.environ, self.pipes, registry_file)
        self.log_file = os.path.join(work, "debug.log")
        self.database = os.path.join(work, "database.sqlite")
        self.services = []
        print("== Sample server %s, copied to %s" % (sample, self.install))
        print(self.registry.replace("\r\n", "\n").strip())

    def program(self, name):
        return os.path.join(self.bin_dir, name)

    def command(self, name, *arguments):
        """The argument list that starts the built program `name`."""
        return build_target.command(self.bin_dir, name, *arguments)

    def start_services(self):
        where = "names prefixed " if build_target.WINDOWS else "in "
        print("== Starting the stand-in services (pipes %s%s)"
              % (where, build_target.pipe_namespace(self.pipes)))
        self.services.append(Service("bastionel-logservice",
                                     self.command("bastionel-logservice", self.log_file),
                                     self.env))
        self.services.append(Service("bastionel-dbservice",
                                     self.command("bastionel-dbservice", "--db", self.database,
                                                  "--fixture",
                                                  os.path.join(self.sample, "fixture.json")),
                                     self.env))

    def stop_services(self):
        print("== Stopping the services")
        for service in reversed(self.services):
            service.stop()
        self.services = []
        with open(self.log_file, encoding="utf-8", errors="replace") as f:
            log_lines = sum(1 for _ in f)
        print("   %d debug-log lines in %s" % (log_lines, self.log_file))

    def run(self, command, **kwargs):
        print("== " + " ".join(command))
        sys.stdout.flush()
        result = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL, **kwargs)
        print("   exit code %d" % result.returncode)
        return result

    def dump(self):
        out = subprocess.run(self.command("bastionel-dbservice", "--db", self.database, "--dump"),
                             env=self.env, capture_output=True, check=True).stdout
        return json.loads(out)


def export(bin_dir, out, sample):
    names = sorted(n for n in os.listdir(SAMPLES) if n != TARGET)
    if sample not in names:
        raise SystemExit("no sample %r; the samples are: %s, or import"
                         % (sample, ", ".join(names)))
    server = Installation(bin_dir, sample, os.path.join(out, sample))
    archive = os.path.join(server.work, "SkvaMigrate.zip")
    try:
        server.start_services()
        exported = server.run(server.command("portelle", "/c", "/t", archive))
    finally:
        server.stop_services()
    if exported.returncode != 0:
        raise SystemExit("the export failed")

    print("== portelle-examine %s" % archive)
    sys.stdout.flush()
    examined = subprocess.run(server.command("portelle-examine", archive), env=server.env)
    print("== The archive stays at %s" % archive)
    print("   (./run demo import imports it through the dialog)")
    return examined.returncode


def last_export(out):
    """The newest archive a demo export left in OUT, or None."""
    archives = [os.path.join(out, n, "SkvaMigrate.zip") for n in os.listdir(out)
                if n != "import"] if os.path.isdir(out) else []
    archives = [a for a in archives if os.path.isfile(a)]
    return max(archives, key=os.path.getmtime) if archives else None


def has_display():
    return any(os.environ.get(name) for name in ("DISPLAY", "WAYLAND_DISPLAY"))


def show_import(server, report):
    """What the import did, read from the stand-in's database and the files."""
    dump = server.dump()
    print("== After the import")
    print("   %d domains in the target's database, %d DLP records" % (
        len(dump["domains"]), len(dump["dlp"])))
    if os.path.exists(report):
        with open(report, "rb") as f:
            lines = f.read()[2:].decode("utf-16-le").splitlines()
        print("   %d duplicate domains left alone (%s): %s" % (
            len(lines), report, "; ".join(lines) or "none"))
    for calls in ("BsnPfwCommon.calls.txt", "SvcCfgRunner.calls.txt"):
        path = os.path.join(server.install, calls)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                print("   %s:\n      %s" % (calls, f.read().strip().replace("\n", "\n      ")))
    with open(os.path.join(server.install, "bsnscan.ini"), encoding="utf-8") as f:
        shown = [line.strip() for line in f
                 if line.startswith(("ServerID=", "DiskReserved=", "Proxy_IP="))]
    print("   bsnscan.ini: " + " ".join(shown))


def import_demo(bin_dir, out, with_dialog):
    archive = last_export(out)
    if archive is None:
        print("== No demo export yet: exporting the 10.5 sample first")
        if export(bin_dir, out, "10.5") != 0:
            raise SystemExit("the export failed")
        archive = last_export(out)
    server = Installation(bin_dir, TARGET, os.path.join(out, "import"))
    library = build_target.library("BsnPfwCommon")
    shutil.copy(server.program(library), server.install)
    print("   with the firewall-library stand-in " + library)
    # The dialog starts with the path C:\SkvaMigrate.zip: on Windows the
    # prefix's drive C:, on Linux a name relative to the current folder.
    if build_target.WINDOWS:
        default_path = os.path.join(os.environ["WINEPREFIX"], "drive_c", "SkvaMigrate.zip")
    else:
        default_path = os.path.join(server.work, "C:", "SkvaMigrate.zip")
    os.makedirs(os.path.dirname(default_path), exist_ok=True)
    shutil.copy(archive, default_path)
    print("== The archive of the last export, %s, is at %s" % (archive, default_path))
    if with_dialog and not has_display():
        print("   no display (DISPLAY and WAYLAND_DISPLAY are not set): importing without the "
              "dialog")
        with_dialog = False
    try:
        server.start_services()
        if with_dialog:
            print("== The dialog opens: press Import, answer Yes, then close it")
            result = server.run(server.command("portelle"), cwd=server.work)
        else:
            given = "C:\\SkvaMigrate.zip" if build_target.WINDOWS else default_path
            result = server.run(server.command("portelle-import", "--yes", given),
                                cwd=server.work)
    finally:
        server.stop_services()
    show_import(server, os.path.join(server.work, "DuplicateDomainList.txt"))
    # portelle-import's 3 is an import that left duplicates alone, as the
    # sample target's own domains make it.
    return 0 if not with_dialog and result.returncode == 3 else result.returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="the build's bin folder")
    parser.add_argument("--out", required=True, help="where the work folders go")
    parser.add_argument("sample", nargs="?", default="10.5",
                        help="the sample to export, or import")
    parser.add_argument("--no-dialog", action="store_true",
                        help="import without the dialog")
    parser.add_argument("--windows", action="store_true",
                        help="the Windows build's programs, under Wine (WINEPREFIX)")
    args = parser.parse_args()
    build_target.use_windows(args.windows)
    build_target.start_wine()
    bin_dir = os.path.abspath(args.bin)
    out = os.path.abspath(args.out)
    if args.sample == "import":
        return import_demo(bin_dir, out, not args.no_dialog)
    return export(bin_dir, out, args.sample)


if __name__ == "__main__":
    sys.exit(main())
