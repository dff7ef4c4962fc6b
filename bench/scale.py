#!/usr/bin/env python3
"""The scale benchmark: one sarvik-host watching N statistics sources of one sarvik-statserver.

For each N of --sources it builds a temporary install tree (the host program, the plug-in and dat/, with a
Netscape.cfg of 20 pattern counters of the numbered-source pages), starts `sarvik-statserver --sources N`,
runs `sarvik-host monitor --targets FILE --all --format csv` against /s/1/.perf .. /s/N/.perf and reads the
host's /proc entries after a warm-up. Every delivered value is checked against the server's formula (a gauge
of weight w on source K shows w*K + n, a total w*K*n, n the copy number; see `sarvik-statserver --help`).
It prints one line per run:

  sources=N cpu_us_per_value=... rss_mb=... rss_kb_per_source=... threads=... fds=... values=... wrong=...
  missed_rounds=...

and, when several N are given, the slope of the footprint between them. --terminate also times a SIGINT to
the host's exit with a fifth of the sources silent after their headers; --export-bench runs the InitMonitor
and GetNewData benchmark program (sarvik-export-bench) from a tree whose Netscape.cfg has 400 counters.
It measures and asserts nothing; every server it starts ends with --duration and is stopped by it.
"""

import argparse
import collections
import csv
import datetime
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)

# The figures a source page carries: (counter text, weight, kind). Kinds: "gauge" (w*K + n), "total"
# (w*K*n, read as a value) and "rate" (the same total, read as its change per second).
COUNTERS = [
    ("Current/Peak/Limit Queue Length", 1, "gauge"),
    ("Acceptor Threads", 2, "gauge"),
    ("KeepAliveCount", 3, "gauge"),
    ("Active Sessions", 4, "gauge"),
    ("Keep-Alive Sessions", 5, "gauge"),
    ("File Cache Entries", 6, "gauge"),
    ("Maximum Age", 7, "gauge"),
    ("Idle/Peak/Limit", 8, "gauge"),
    ("Work Queue Length/Peak/Limit", 9, "gauge"),
    ("CacheEntries", 10, "gauge"),
    ("Total Connections Queued", 1, "total"),
    ("KeepAliveHits", 2, "total"),
    ("KeepAliveFlushes", 3, "total"),
    ("KeepAliveRefusals", 4, "total"),
    ("KeepAliveTimeouts", 5, "total"),
    ("Total Sessions Created", 6, "total"),
    ("File Cache Hit Ratio", 7, "rate"),
    ("HitRatio", 8, "rate"),
    ("Total number of requests:", 9, "rate"),
    ("Number of Requests:", 10, "rate"),
]
BY_TEXT = {text: (weight, kind) for text, weight, kind in COUNTERS}


def config_text(counters):
    lines = [
        "; Scale benchmark: pattern counters of sarvik-statserver's numbered sources.",
        "[Netscape]",
        "Counters=%d" % len(counters),
        "infoURL=/.perf",
        "serverPort=80",
        "serverLogin=",
        "serverPassword=",
        "SamplingRate=0",
        "",
    ]
    for index, (text, label, keep, *table) in enumerate(counters):
        lines += ["[%d]" % index, "Counter=" + text, "Label=" + label,
                  "Description=" + label + ", from the scale benchmark's formula page.",
                  "KeepPrevValue=%d" % keep] + list(table) + [""]
    lines += ["[ProxySettings]", "useProxy=0", "proxyDomain=", "proxyUsername=", "proxyPassword=", "httpProxy=", ""]
    return "\n".join(lines)


def scale_counters():
    return [(text, "%s (w=%d, %s)" % (text.rstrip(":"), weight, kind), 1 if kind == "rate" else 0)
            for text, weight, kind in COUNTERS]


def make_tree(root, stage, counters, extra_programs=()):
    """An install tree under root: bin/ (host, plug-in, extra programs) and dat/ with our Netscape.cfg."""
    os.makedirs(os.path.join(root, "bin"))
    for name in ("sarvik-host", "libsarvik.so"):
        shutil.copy2(os.path.join(stage, "bin", name), os.path.join(root, "bin", name))
    for program in extra_programs:
        shutil.copy2(program, os.path.join(root, "bin", os.path.basename(program)))
    shutil.copytree(os.path.join(stage, "dat"), os.path.join(root, "dat"))
    with open(os.path.join(root, "dat", "monitors", "Netscape.cfg"), "w") as out:
        out.write(config_text(counters))
    return os.path.join(root, "bin")


class StatServer:
    """sarvik-statserver on an ephemeral loopback port, bounded by --duration; stopped on leaving."""

    def __init__(self, program, sources, duration, workdir):
        port_file = os.path.join(workdir, "statserver.port")
        self.process = subprocess.Popen(
            [program, "--sources", str(sources), "--interval", "1000", "--duration", str(int(duration)),
             "--port-file", port_file],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(workdir, "statserver.err"), "w"))
        deadline = time.time() + 20
        while not os.path.exists(port_file):
            if self.process.poll() is not None or time.time() > deadline:
                raise SystemExit("sarvik-statserver did not start (see %s)" % workdir)
            time.sleep(0.05)
        with open(port_file) as f:
            self.port = int(f.read().strip())

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def proc_sample(pid):
    """(cpu ticks, VmHWM kB, VmRSS kB, threads, fds) of a live process, or None once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        ticks = int(fields[11]) + int(fields[12])  # utime, stime (fields 14 and 15 of stat)
        status = {}
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                name, _, value = line.partition(":")
                status[name] = value.split()
        fds = len(os.listdir("/proc/%d/fd" % pid))
        return ticks, int(status["VmHWM"][0]), int(status["VmRSS"][0]), int(status["Threads"][0]), fds
    except (OSError, IndexError, KeyError, ValueError):
        return None


def raise_descriptor_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def iso_us(text):
    """Microseconds since the epoch of the host's "2024-05-01T12:00:03.250000Z"."""
    when = datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc)
    return int(when.timestamp()) * 1000000 + when.microsecond


def source_of(host):
    """The target's display name is 127.0.0.1 for the first line of the targets file, 127.0.0.1#K after."""
    return int(host.split("#", 1)[1]) if "#" in host else 1


def check_csv(path, sources, window):
    """Checks every value against the formula; counts values and missed rounds inside window (µs)."""
    implied = collections.defaultdict(collections.Counter)  # (K, snapshot µs) -> Counter of copy numbers
    checks = []  # (K, time µs, kind, weight, number, since µs)
    values = unchanged = errors = missed_rounds = rounds = 0
    bad = 0
    first_key = None
    round_sources = set()
    round_in_window = False

    def close_round():
        nonlocal missed_rounds, rounds
        if round_in_window:
            rounds += 1
            if len(round_sources) < sources:
                missed_rounds += 1

    with open(path, newline="") as f:
        reader = csv.DictReader(f)
        for row in reader:
            counter = row["counter"].split("|", 1)[0]
            key = (row["host"], counter)
            polled = iso_us(row["polled"])
            if first_key is None:
                first_key = key
            if key == first_key:
                close_round()
                round_sources = set()
                round_in_window = window[0] <= polled <= window[1]
            if row["status"] == "error":
                errors += 1
            if row["value"] == "" or counter not in BY_TEXT:
                continue
            source = source_of(row["host"])
            round_sources.add(source)
            if window[0] <= polled <= window[1]:
                values += 1
                unchanged += row["status"] == "unchanged"
            weight, kind = BY_TEXT[counter]
            number = float(row["value"])
            at = iso_us(row["time"])
            since = iso_us(row["since"]) if row["since"] else None
            if kind == "gauge":
                implied[(source, at)][number - weight * source] += 1
            elif kind == "total":
                implied[(source, at)][number / (weight * source)] += 1
            checks.append((source, at, kind, weight, number, since))
    close_round()

    # The copy number of each snapshot is what most of its values say; a value that says otherwise is wrong.
    copy_of = {snapshot: votes.most_common(1)[0][0] for snapshot, votes in implied.items()}
    wrong = 0
    for source, at, kind, weight, number, since in checks:
        n = copy_of.get((source, at))
        if kind == "gauge":
            ok = n is not None and number - weight * source == n and n >= 0 and n == int(n)
        elif kind == "total":
            ok = n is not None and number == weight * source * n and n >= 0 and n == int(n)
        else:
            if since is None or since == 0:
                continue  # the first rate of a measurement is taken against a zero sample: nothing to check
            copies = number * (at - since) / 1e6 / (weight * source)
            ok = copies >= -1e-6 and abs(copies - round(copies)) < 1e-3
            n_then = copy_of.get((source, since))
            if ok and n is not None and n_then is not None:
                ok = round(copies) == n - n_then
        if not ok:
            wrong += 1
            if bad < 5:
                print("  wrong: source %d %s w=%d value %r at %d since %r (copy %r)" %
                      (source, kind, weight, number, at, since, n), file=sys.stderr)
                bad += 1
    return {"values": values, "unchanged": unchanged, "errors": errors, "wrong": wrong,
            "missed_rounds": missed_rounds, "rounds": rounds, "checked": len(checks)}


def run_host(tree_bin, targets, duration, interval, workdir, csv_path):
    return subprocess.Popen(
        [os.path.join(tree_bin, "sarvik-host"), "monitor", "--targets", targets, "--all", "--format", "csv",
         "--interval", str(interval), "--duration", str(duration), "--no-test"],
        stdout=open(csv_path, "w"), stderr=open(os.path.join(workdir, "host.err"), "w"),
        preexec_fn=raise_descriptor_limit)


def measure(args, sources, statserver, workdir):
    tree_bin = make_tree(os.path.join(workdir, "tree"), args.stage, scale_counters())
    targets = os.path.join(workdir, "targets.txt")
    csv_path = os.path.join(workdir, "readings.csv")
    with StatServer(statserver, sources, args.duration + 60, workdir) as server:
        with open(targets, "w") as out:
            out.writelines("127.0.0.1=%d|/s/%d/.perf||\n" % (server.port, k) for k in range(1, sources + 1))
        start = time.time()
        host = run_host(tree_bin, targets, args.duration, args.interval, workdir, csv_path)
        samples = []  # (wall µs, sample)
        while host.poll() is None:
            sample = proc_sample(host.pid)
            if sample is not None:
                samples.append((int(time.time() * 1e6), sample))
            time.sleep(0.5)
    # The window runs from the end of the warm-up to a second before the host starts to shut down.
    in_window = [(t, s) for t, s in samples
                 if start + args.warmup <= t / 1e6 <= start + args.duration - 1]
    if len(in_window) < 2:
        raise SystemExit("no measuring window: the host ran %.1f s (see %s)" % (time.time() - start, workdir))
    (t0, first), (t1, last) = in_window[0], in_window[-1]
    result = check_csv(csv_path, sources, (t0, t1))
    cpu_us = (last[0] - first[0]) * 1e6 / os.sysconf("SC_CLK_TCK")
    result.update({
        "sources": sources,
        "cpu_us_per_value": cpu_us / result["values"] if result["values"] else float("nan"),
        "cpu_percent": 100.0 * cpu_us / (t1 - t0),
        "rss_mb": last[2] / 1024.0, "hwm_kb": last[1],
        "rss_kb_per_source": last[1] / sources,
        "threads": last[3], "fds": last[4],
        "host_exit": host.returncode,
    })
    if not args.keep:
        os.remove(csv_path)
    return result


def measure_terminate(args, sources, statserver, workdir):
    """SIGINT to exit of a host watching `sources` sources, every fifth one silent after its headers."""
    tree_bin = make_tree(os.path.join(workdir, "tree"), args.stage, scale_counters())
    targets = os.path.join(workdir, "targets.txt")
    silent = 0
    with StatServer(statserver, sources, args.warmup + 120, workdir) as server:
        with open(targets, "w") as out:
            for k in range(1, sources + 1):
                if k % 5 == 0:
                    silent += 1
                    out.write("127.0.0.1=%d|/fault/silent-after-headers||\n" % server.port)
                else:
                    out.write("127.0.0.1=%d|/s/%d/.perf||\n" % (server.port, k))
        host = run_host(tree_bin, targets, args.warmup + 90, args.interval, workdir, os.devnull)
        time.sleep(args.warmup)
        asked = time.monotonic()
        host.send_signal(signal.SIGINT)
        try:
            host.wait(timeout=60)
        except subprocess.TimeoutExpired:
            host.kill()
            host.wait()
        exit_ms = (time.monotonic() - asked) * 1000
    return {"sources": sources, "silent": silent, "sigint_to_exit_ms": exit_ms, "host_exit": host.returncode}


def export_counters(count=400):
    """The pattern counter and the table-cell counter the export benchmark reads, then distinct pattern
    counters up to `count` (the most a host selects in practice)."""
    counters = [("Total number of requests:", "Requests", 0),
                ("vs1 Requests", "https-demo Requests", 0,
                 "TblName=Virtual Server Statistics", "TblRow=2", "TblColumn=2")]
    for i in range(len(counters), count):
        text, _, kind = COUNTERS[i % len(COUNTERS)]
        counters.append(("%s %d" % (text.rstrip(":"), i), "%s %d" % (text.rstrip(":"), i), 1 if kind == "rate" else 0))
    return counters


def run_export_bench(args, workdir):
    counters = export_counters()
    tree_bin = make_tree(os.path.join(workdir, "tree"), args.stage, counters, [args.export_bench])
    subprocess.run([os.path.join(tree_bin, os.path.basename(args.export_bench))] + args.export_bench_args,
                   check=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sources", default="10,100,1000", help="comma-separated source counts (10,100,1000)")
    parser.add_argument("--runs", type=int, default=1, help="runs of each count (1)")
    parser.add_argument("--duration", type=int, default=60, help="seconds the host runs (60)")
    parser.add_argument("--warmup", type=int, default=10, help="seconds discarded at the start (10)")
    parser.add_argument("--interval", default="1", help="the host's sampling period in seconds (1)")
    parser.add_argument("--stage", default=os.path.join(REPO, "build", "stage"),
                        help="install tree whose bin/sarvik-host, bin/libsarvik.so and dat/ are measured")
    parser.add_argument("--statserver", help="sarvik-statserver with --sources (default: the stage's)")
    parser.add_argument("--terminate", action="store_true",
                        help="also time SIGINT to exit with a fifth of the sources silent")
    parser.add_argument("--no-scale", action="store_true", help="skip the monitoring runs")
    parser.add_argument("--export-bench", help="path of sarvik-export-bench: run it from a 400-counter tree")
    parser.add_argument("--export-bench-args", nargs=argparse.REMAINDER, default=[],
                        help="arguments for it (the rest of the line)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary trees and the CSV")
    args = parser.parse_args()
    args.stage = os.path.abspath(args.stage)
    statserver = os.path.abspath(args.statserver or os.path.join(args.stage, "bin", "sarvik-statserver"))
    counts = [int(n) for n in args.sources.split(",") if n]

    print("# %s, %d cores, load average %s" % (time.strftime("%Y-%m-%d %H:%M"), os.cpu_count(),
                                               " ".join("%.2f" % x for x in os.getloadavg())))
    results = []
    for sources in ([] if args.no_scale else counts):
        for _ in range(args.runs):
            workdir = tempfile.mkdtemp(prefix="sarvik-scale-")
            try:
                r = measure(args, sources, statserver, workdir)
            finally:
                if not args.keep:
                    shutil.rmtree(workdir, ignore_errors=True)
            results.append(r)
            print("sources=%d cpu_us_per_value=%.2f rss_mb=%.1f rss_kb_per_source=%.1f threads=%d fds=%d "
                  "values=%d wrong=%d missed_rounds=%d rounds=%d unchanged=%d errors=%d cpu_percent=%.1f" %
                  (r["sources"], r["cpu_us_per_value"], r["rss_mb"], r["rss_kb_per_source"], r["threads"],
                   r["fds"], r["values"], r["wrong"], r["missed_rounds"], r["rounds"], r["unchanged"],
                   r["errors"], r["cpu_percent"]), flush=True)
    for a, b in zip(results, results[1:]):
        if b["sources"] != a["sources"]:
            span = b["sources"] - a["sources"]
            print("slope sources=%d->%d hwm_kb_per_source=%.1f threads_per_source=%.2f fds_per_source=%.2f" %
                  (a["sources"], b["sources"], (b["hwm_kb"] - a["hwm_kb"]) / span,
                   (b["threads"] - a["threads"]) / span, (b["fds"] - a["fds"]) / span))
    if args.terminate:
        for sources in counts:
            workdir = tempfile.mkdtemp(prefix="sarvik-scale-")
            try:
                r = measure_terminate(args, sources, statserver, workdir)
            finally:
                if not args.keep:
                    shutil.rmtree(workdir, ignore_errors=True)
            print("terminate sources=%d silent=%d sigint_to_exit_ms=%.0f exit=%d" %
                  (r["sources"], r["silent"], r["sigint_to_exit_ms"], r["host_exit"]), flush=True)
    if args.export_bench:
        workdir = tempfile.mkdtemp(prefix="sarvik-scale-")
        try:
            run_export_bench(args, workdir)
        finally:
            if not args.keep:
                shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
