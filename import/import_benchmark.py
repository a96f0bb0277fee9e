#!/usr/bin/env python3
"""Benchmark of a whole import: portelle-import-driver applying a package of
10,000 domains to the 10.6 SP2 sample target against an empty stand-in
database service, once without and once with the log service.

  import_benchmark.py --bin BUILD/bin [--domains N] [--runs R] [--pipe-dir DIR]
                      [--url-entries N] [--without-log-only] [--windows]

The package is made once, by the export the export benchmark runs (the 10.5
sample and its generated tree of domains). Every run gets a fresh copy of the
target installation, an empty database and a fresh pipe folder below
--pipe-dir (by default /dev/shm, see export_benchmark.py), and its result is
checked in the database's dump: every domain created with a configuration and
a DLP record, none detached from the tree. With --url-entries the source's
in-office approved URL list has that many entries, and the target's bsnscan.ini
must hold all of them, counted, after the import. For each case it prints the total
time, the time per domain, the share of it the stand-in spent on the requests
(its dump's timing), the request count, the driver's peak resident memory and,
with the log service, the log's line count; the best of R runs is kept.

--windows runs the Windows build under Wine, as export_benchmark.py says.

Targets: under 1.5 ms per domain without the log service; peak memory under
100 MB.
"""

import json
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "export"))
import export_benchmark as bench  # noqa: E402

TARGET = os.path.join(HERE, "..", "demo", "samples", "10.6-sp2-target", "install")


def make_package(bin_dir, work, count, pipe_dir, url_entries=None):
    """The export of `count` domains as the export benchmark makes it: its
    figures and the archive's path."""
    pipes = tempfile.mkdtemp(prefix="portelle-ibench-pipes-", dir=pipe_dir)
    try:
        fixture_path = bench.make_source(work, count, url_entries)
        return bench.run_once(bin_dir, work, pipes, fixture_path, False)
    finally:
        shutil.rmtree(pipes, ignore_errors=True)


def check(dump, count, work):
    """Ends the benchmark when the import did not create the whole package."""
    domains = dump["domains"]
    uids = {d["uid"] for d in domains}
    problems = []
    if len(domains) != count:
        problems.append("%d domains created" % len(domains))
    if any(not d["config"] for d in domains):
        problems.append("%d without a configuration" % sum(1 for d in domains if not d["config"]))
    if len(dump["dlp"]) != count or {r["uid"] for r in dump["dlp"]} != uids:
        problems.append("%d DLP records" % len(dump["dlp"]))
    if dump["detached"]:
        problems.append("%d subtrees detached from the tree" % len(dump["detached"]))
    if os.path.getsize(os.path.join(work, "DuplicateDomainList.txt")) != 2:
        problems.append("duplicates listed")
    if problems:
        raise SystemExit("the import of %d domains went wrong: %s" % (count, "; ".join(problems)))


def check_url_list(install, entries):
    """Ends the benchmark when the target's INI lacks the imported URL list."""
    with open(os.path.join(install, "bsnscan.ini"), "rb") as f:
        lines = set(f.read().split(b"\r\n"))
    last = entries - 1
    wanted = [bench.URL_COUNT_KEY + b"=%d" % entries,
              bench.URL_ENTRY_PREFIX + b"%03d=" % last + bench.url_entry(last)]
    if entries > 0 and not all(line in lines for line in wanted):
        raise SystemExit("the import did not bring the %d URL list entries" % entries)


def import_once(bin_dir, archive, count, pipe_dir, with_log, url_entries=None):
    """One import of the archive into a fresh target and an empty database."""
    work = tempfile.mkdtemp(prefix="portelle-ibench-run-")
    pipes = tempfile.mkdtemp(prefix="portelle-ibench-pipes-", dir=pipe_dir)
    try:
        install = os.path.join(work, "install") + "/"
        shutil.copytree(TARGET, install)
        shutil.copy(bench.build_target.program(bin_dir, bench.build_target.library("BsnPfwCommon")),
                    install)
        fixture_path = os.path.join(work, "empty.json")
        with open(fixture_path, "w") as f:
            json.dump({"domains": []}, f)
        env = bench.build_target.environment(os.environ, pipes)
        db = os.path.join(work, "db.sqlite")
        services = bench.start_services(bin_dir, work, env, db, fixture_path, with_log)
        try:
            elapsed, peak_kb, code, cpu = bench.measure(
                bench.build_target.command(bin_dir, "portelle-import-driver",
                                           bench.build_target.native(install), archive),
                env, cwd=work)
        finally:
            bench.stop_all(services)
        if code != 0:
            raise SystemExit("the import failed with exit code %d" % code)
        dump, result = bench.service_results(bin_dir, work, env, db, with_log)
        check(dump, count, work)
        if url_entries is not None:
            check_url_list(install, url_entries)
        result.update(seconds=elapsed, cpu_seconds=cpu, peak_rss_mb=peak_kb / 1024)
        return result
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(pipes, ignore_errors=True)


def main():
    args = bench.parse_arguments(__doc__)
    bin_dir = os.path.abspath(args.bin)
    source = tempfile.mkdtemp(prefix="portelle-ibench-")
    try:
        exported = make_package(bin_dir, source, args.domains, args.pipe_dir, args.url_entries)
        archive = exported["archive"]
        print("package of %d domains%s: archive %d bytes, package %d bytes serialized" % (
            args.domains,
            "" if args.url_entries is None else " and %d URL entries" % args.url_entries,
            exported["archive_bytes"], exported["package_bytes"]))
        for with_log in bench.log_cases(args):
            best = bench.best_of(args.runs, lambda: import_once(
                bin_dir, archive, args.domains, args.pipe_dir, with_log, args.url_entries))
            print(bench.figures(with_log, args.domains, best))
            sys.stdout.flush()
    finally:
        shutil.rmtree(source, ignore_errors=True)


if __name__ == "__main__":
    main()
