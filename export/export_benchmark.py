#!/usr/bin/env python3
"""Benchmark of a whole console export: portelle against the stand-in
database service holding a generated tree of 10,000 domains in three levels
with 10.5-layout configurations, once without and once with the log service.

  export_benchmark.py --bin BUILD/bin [--domains N] [--runs R] [--pipe-dir DIR]
                      [--url-entries N] [--without-log-only] [--windows]

--domains sets the size of the generated tree (default 10,000); --url-entries
gives the source's in-office web-threat approved list that many entries
(default: the sample's own three).

For each case it prints the total time, the time per domain, the share of it
the stand-in spent on the requests (its dump's timing), portelle's peak
resident memory and the archive's size; the best of R runs is kept.

The pipes (Unix-domain sockets, one new reply socket per request) live in a
fresh folder below --pipe-dir, by default /dev/shm: in memory, as a Windows
named pipe is. On a disk file system every socket costs an inode, which the
figures then include.

--windows runs the Windows build's programs and stand-ins under Wine (the
prefix WINEPREFIX names) over Windows named pipes; the CPU time is then that
of the programs' own processes, without the wine server's.
"""

import argparse
import json
import os
import shutil
import resource
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "demo"))
import build_target  # noqa: E402  (the Linux programs, or the Windows ones under Wine)
import make_samples  # noqa: E402  (the sample generator's 10.5 layout)

ROOT_UID = "00000000-0000-0000-0000-000000000000"


def tree(count):
    """`count` domains in three levels: 20 at the top, 20 below each, the rest
    spread over the second level."""
    top = [("t%d" % i, ROOT_UID) for i in range(min(20, count))]
    middle = [("m%d-%d" % (i, j), "t%d" % i) for i in range(len(top)) for j in range(20)]
    middle = middle[:max(0, count - len(top))]
    rest = count - len(top) - len(middle)
    bottom = [("b%d" % k, middle[k % len(middle)][0]) for k in range(rest)] if middle else []
    domains = []
    for i, (key, parent) in enumerate(top + middle + bottom):
        uid = "%08x-0000-4000-8000-%012x" % (i + 1, i + 1)
        domains.append({"key": key, "uid": uid, "parent": parent, "index": i})
    uid_of = {d["key"]: d["uid"] for d in domains}
    fixture = []
    for d in domains:
        i = d["index"]
        fixture.append({
            "uid": d["uid"],
            "parent": uid_of.get(d["parent"], ROOT_UID),
            "entry": "PC-%05d" % i,
            "name": "Domain %05d" % i,
            "config": make_samples.config_v105(i),
            "spyware": [1000 + k for k in range(i % 4)],
            "uninstall_password": "un-%d" % i,
            "unload_password": "ul-%d" % i,
            "dest_scan_type": i % 3,
            "service_switch": [7, 0, 0],
        })
    return {"domains": fixture}


def high_water_kb(pid):
    """VmHWM of a running process, 0 once it is gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def start(argv, env):
    process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    line = process.stdout.readline()
    if not line.startswith(b"listening on "):
        raise SystemExit("%s did not start: %r %r" % (argv[0], line, process.stderr.read()))
    return process


def stop(process):
    process.send_signal(build_target.stop_signal())
    process.wait(timeout=60)


def start_services(bin_dir, work, env, db, fixture_path, with_log):
    """The stand-in services of one run: the log service writing work/debug.log
    when `with_log`, and the database service seeded from the fixture."""
    services = []
    if with_log:
        services.append(start(build_target.command(bin_dir, "bastionel-logservice",
                                                   os.path.join(work, "debug.log")), env))
    services.append(start(build_target.command(bin_dir, "bastionel-dbservice", "--db", db,
                                               "--fixture", fixture_path), env))
    return services


def stop_all(services):
    for service in reversed(services):
        stop(service)


def children_cpu_seconds():
    """User and system time of this process's ended and waited-for children."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def measure(argv, env, cwd=None):
    """Runs a program to its end: (seconds, peak resident kB, exit code, CPU
    seconds). The CPU time is the program's own, which other load on the
    machine changes less than the elapsed time."""
    cpu_before = children_cpu_seconds()
    begin = time.perf_counter()
    child = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL)
    # The kernel's peak of the program's own memory, read until it ends; the
    # peak wait4 reports would include this process's pages from the fork.
    peak_kb = 0
    while child.poll() is None:
        peak_kb = max(peak_kb, high_water_kb(child.pid))
        time.sleep(0.005)
    return (time.perf_counter() - begin, peak_kb, child.returncode,
            children_cpu_seconds() - cpu_before)


def service_results(bin_dir, work, env, db, with_log):
    """After a run with the services stopped: the database's dump, and the
    stand-in's time, its request count and the log's line count (the log is
    removed)."""
    dump = json.loads(subprocess.run(
        build_target.command(bin_dir, "bastionel-dbservice", "--db", db, "--dump"), env=env,
        capture_output=True, check=True).stdout)
    log_lines = 0
    if with_log:
        with open(os.path.join(work, "debug.log"), "rb") as f:
            log_lines = sum(1 for _ in f)
        os.remove(os.path.join(work, "debug.log"))
    return dump, {"service_seconds": dump["timing"]["total_us"] / 1e6,
                  "requests": dump["timing"]["requests"], "log_lines": log_lines}


URL_SECTION = b"[URL_FILTER_INI_SECTION]"
URL_COUNT_KEY = b"URLFilterAWSLCount_InOffice"
URL_ENTRY_PREFIX = b"URLFilterAWSL_InOffice"


def url_entry(i):
    """The value of entry `i` of a generated web-threat list: an enciphered
    URL as the server stores it."""
    return b"!CRYPT!" + (b"%012X" % (i * 2654435761 % 2**48)) * 8


def set_url_list(ini_path, entries):
    """Replaces the in-office approved URL list of the INI file by `entries`
    generated entries, counted."""
    with open(ini_path, "rb") as f:
        lines = f.read().split(b"\r\n")
    kept = [line for line in lines
            if not line.startswith(URL_ENTRY_PREFIX) and not line.startswith(URL_COUNT_KEY)]
    at = kept.index(URL_SECTION) + 1
    generated = [URL_COUNT_KEY + b"=%d" % entries]
    generated += [URL_ENTRY_PREFIX + b"%03d=" % i + url_entry(i) for i in range(entries)]
    with open(ini_path, "wb") as f:
        f.write(b"\r\n".join(kept[:at] + generated + kept[at:]))


def make_source(work, count, url_entries=None):
    """The 10.5 sample installation in work/install/ (with a generated URL
    list of `url_entries` entries when given), its registry file and a
    fixture of `count` domains; returns the fixture's path."""
    install = os.path.join(work, "install") + "/"
    shutil.copytree(os.path.join(HERE, "..", "demo", "samples", "10.5", "install"), install)
    if url_entries is not None:
        set_url_list(os.path.join(install, "bsnscan.ini"), url_entries)
    with open(os.path.join(work, "registry.reg"), "w") as f:
        f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\"
                "Information]\n\"Server_Version\"=\"10.5\"\n\"Local_Path\"=\"%s\"\n"
                % build_target.native(install).replace("\\", "\\\\"))
    fixture_path = os.path.join(work, "fixture.json")
    with open(fixture_path, "w") as f:
        json.dump(tree(count), f)
    return fixture_path


def run_once(bin_dir, work, pipes, fixture_path, with_log):
    """One export of the source made by make_source into work/bench.zip."""
    env = build_target.environment(os.environ, pipes, os.path.join(work, "registry.reg"))
    db = os.path.join(work, "db.sqlite")
    archive = os.path.join(work, "bench.zip")
    if os.path.exists(archive):
        os.remove(archive)
    services = start_services(bin_dir, work, env, db, fixture_path, with_log)
    try:
        elapsed, peak_kb, code, cpu = measure(
            build_target.command(bin_dir, "portelle", "/c", "/t", archive), env)
    finally:
        stop_all(services)
    if code != 0:
        raise SystemExit("the export failed with exit code %d" % code)
    dump, result = service_results(bin_dir, work, env, db, with_log)
    result.update(seconds=elapsed, cpu_seconds=cpu, peak_rss_mb=peak_kb / 1024, archive=archive,
                  archive_bytes=os.path.getsize(archive), records_expected=len(dump["domains"]),
                  package_bytes=serialized_package_bytes(archive))
    return result


def serialized_package_bytes(archive):
    """The size of the settings package before compression: skva.dat starts
    with it in decimal digits."""
    with zipfile.ZipFile(archive) as z:
        name = next(n for n in z.namelist() if n.lower().endswith("skva.dat"))
        head = z.read(name)[:32]
    digits = head[:len(head) - len(head.lstrip(b"0123456789"))]
    return int(digits)


def best_of(runs, once):
    """The fastest of `runs` calls of `once`."""
    return min((once() for _ in range(runs)), key=lambda r: r["seconds"])


def figures(with_log, count, best, *more):
    """The line of one case: the figures both benchmarks give, then `more`,
    then the log's line count when the log service ran."""
    parts = ["total %.2f s, %.3f ms per domain" % (best["seconds"], 1000 * best["seconds"] / count),
             "portelle's CPU %.2f s, %.3f ms per domain" % (
                 best["cpu_seconds"], 1000 * best["cpu_seconds"] / count),
             "stand-in %.2f s (%.0f%%) for %d requests" % (
                 best["service_seconds"], 100 * best["service_seconds"] / best["seconds"],
                 best["requests"]),
             "peak RSS %.1f MB" % best["peak_rss_mb"]] + list(more)
    return "%-22s %d domains: %s%s" % (
        "with log service:" if with_log else "without log service:", count, "; ".join(parts),
        ", %d log lines" % best["log_lines"] if with_log else "")


def log_cases(args):
    """Whether each case runs with the log service."""
    return (False,) if args.without_log_only else (False, True)


def parse_arguments(doc):
    """The command line both benchmarks take; `doc`'s first line describes it."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--domains", type=int, default=10000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--pipe-dir", default="/dev/shm" if os.path.isdir("/dev/shm") else None)
    parser.add_argument("--url-entries", type=int, default=None)
    parser.add_argument("--without-log-only", action="store_true",
                        help="skip the case with the log service")
    parser.add_argument("--windows", action="store_true",
                        help="the Windows build's programs, under Wine (WINEPREFIX)")
    args = parser.parse_args()
    build_target.use_windows(args.windows)
    build_target.start_wine()
    return args


def main():
    args = parse_arguments(__doc__)
    bin_dir = os.path.abspath(args.bin)
    work = tempfile.mkdtemp(prefix="portelle-bench-")
    pipes = tempfile.mkdtemp(prefix="portelle-bench-pipes-", dir=args.pipe_dir)
    print("pipes in %s" % pipes)
    try:
        fixture_path = make_source(work, args.domains, args.url_entries)
        for with_log in log_cases(args):
            best = best_of(args.runs,
                           lambda: run_once(bin_dir, work, pipes, fixture_path, with_log))
            print(figures(with_log, args.domains, best,
                          "archive %d bytes, package %d bytes serialized" % (
                              best["archive_bytes"], best["package_bytes"])))
            sys.stdout.flush()
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(pipes, ignore_errors=True)


if __name__ == "__main__":
    main()
