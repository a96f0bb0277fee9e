#!/usr/bin/env python3
"""Runs a console export of one sample server installation and shows the archive.

  demo.py --bin BUILD/bin --out BUILD/demo [SAMPLE]

The sample (default 10.5; see demo/samples/) is copied to OUT/SAMPLE/, its
registry file pointed at that copy, the stand-in log and database services
started for it, and `portelle /c /t OUT/SAMPLE/SkvaMigrate.zip` run against
them. The services are stopped again and portelle-inspect shows what the
archive holds. The archive stays where it was written, for a later import.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

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
            self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=30)
        print("  %s stopped (exit code %d)" % (self.name, code))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="the build's bin folder")
    parser.add_argument("--out", required=True, help="where the work folders go")
    parser.add_argument("sample", nargs="?", default="10.5")
    args = parser.parse_args()

    names = sorted(os.listdir(SAMPLES))
    if args.sample not in names:
        raise SystemExit("no sample %r; the samples are: %s" % (args.sample, ", ".join(names)))
    sample = os.path.join(SAMPLES, args.sample)
    bin_dir = os.path.abspath(args.bin)
    work = os.path.join(os.path.abspath(args.out), args.sample)
    install = os.path.join(work, "install") + "/"
    archive = os.path.join(work, "SkvaMigrate.zip")

    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copytree(os.path.join(sample, "install"), install)
    with open(os.path.join(sample, "registry.reg"), encoding="utf-8") as f:
        registry = registry_with_install_path(f.read(), install)
    registry_file = os.path.join(work, "registry.reg")
    with open(registry_file, "w", encoding="utf-8", newline="") as f:
        f.write(registry)
    pipes = os.path.join(work, "pipes")
    if len(pipes) + len("/DbServerNamePipe") > MAX_SOCKET_PATH:
        pipes = tempfile.mkdtemp(prefix="bastionel-demo-")
    env = dict(os.environ, BASTIONEL_PIPE_DIR=pipes, BASTIONEL_REGISTRY=registry_file)

    print("== Sample server %s, copied to %s" % (args.sample, install))
    print(registry.replace("\r\n", "\n").strip())
    print("== Starting the stand-in services (pipes in %s)" % pipes)
    log_file = os.path.join(work, "debug.log")
    services = [Service("bastionel-logservice",
                        [os.path.join(bin_dir, "bastionel-logservice"), log_file], env)]
    try:
        services.append(Service("bastionel-dbservice",
                                [os.path.join(bin_dir, "bastionel-dbservice"),
                                 "--db", os.path.join(work, "database.sqlite"),
                                 "--fixture", os.path.join(sample, "fixture.json")], env))
        command = [os.path.join(bin_dir, "portelle"), "/c", "/t", archive]
        print("== " + " ".join(command))
        sys.stdout.flush()
        exported = subprocess.run(command, env=env, stdin=subprocess.DEVNULL)
        print("   exit code %d" % exported.returncode)
    finally:
        print("== Stopping the services")
        for service in reversed(services):
            service.stop()
    with open(log_file, encoding="utf-8", errors="replace") as f:
        log_lines = sum(1 for _ in f)
    print("   %d debug-log lines in %s" % (log_lines, log_file))
    if exported.returncode != 0:
        raise SystemExit("the export failed")

    print("== portelle-inspect %s" % archive)
    sys.stdout.flush()
    inspected = subprocess.run([os.path.join(bin_dir, "portelle-inspect"), archive])
    print("== The archive stays at %s" % archive)
    print("   (a later demo import takes it from there)")
    return inspected.returncode


if __name__ == "__main__":
    sys.exit(main())
