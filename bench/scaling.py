#!/usr/bin/env python3
"""How the program's time grows with the job: grouping idioms and the bundled style sheets.

Usage:
  bench/scaling.py grouping [--runs N]     bench/stylesheets/grouping.xsl at 10 000 and 40 000 points,
                                           against xsltproc at 40 000
  bench/scaling.py sheets [--runs N] [--points 5000,40000,200000] [--sheet NAME ...]
                                           every bundled style sheet at each size, against the
                                           Points CSV export of the same job

Each figure is the median of N runs (default 3) of the whole program, measured with GNU time
(/usr/bin/time -f '%e %M'); the programs and sizes take turns within a round, and the order of a
round alternates, so that a machine whose load drifts does not favour one of them. Outputs are
compared with xsltproc's byte for byte where xsltproc finishes in reasonable time (grouping: both
sizes; sheets: the smallest size).

The program is build/zandrel (or $ZANDREL), run without a display and with standard input from
/dev/null, on copies of the style sheets (their user variables' answers are written back). Jobs
come from bench/make-job.py --seed 1 and are kept in $BENCH_CACHE (default
${TMPDIR:-/tmp}/zandrel-bench).

Exit status: 0 when every run succeeded and the outputs compared equal (the goals are reported,
met or not); 1 when a run failed or outputs differ; 2 when something needed is missing.
"""
import argparse
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIME = "/usr/bin/time"


def fail(message, status=1):
    print("bench: " + message, file=sys.stderr)
    sys.exit(status)


def job(points):
    cache = os.environ.get("BENCH_CACHE") or os.path.join(os.environ.get("TMPDIR", "/tmp"), "zandrel-bench")
    os.makedirs(cache, exist_ok=True)
    generator = os.path.join(ROOT, "bench", "make-job.py")
    with open(generator, "rb") as f:
        generator_id = hashlib.sha1(f.read()).hexdigest()[:10]
    path = os.path.join(cache, "job-%d-seed1-%s.dxm" % (points, generator_id))
    if not os.path.exists(path):
        print("job: generating %d points into %s ..." % (points, path), flush=True)
        subprocess.run([sys.executable, generator, "--points", str(points), "--seed", "1", path + ".tmp"], check=True)
        os.replace(path + ".tmp", path)
    with open(path, "rb") as f:  # into the page cache before the first measured run
        while f.read(1 << 24):
            pass
    return path


class Runner:
    def __init__(self, work):
        self.work = work
        self.program = os.environ.get("ZANDREL") or os.path.join(ROOT, "build", "zandrel")
        if not os.access(self.program, os.X_OK):
            fail("%s is missing; build it first (cmake --preset default && cmake --build --preset default)"
                 % self.program, 2)
        if not os.access(TIME, os.X_OK):
            fail("GNU time (%s) is missing: apt-get install time" % TIME, 2)
        if not shutil.which("xsltproc"):
            fail("xsltproc is missing", 2)
        self.config = os.path.join(work, "config")
        os.makedirs(os.path.join(self.config, "zandrel"), exist_ok=True)
        self.sheets = os.path.join(work, "sheets")
        os.makedirs(self.sheets, exist_ok=True)

    def sheet(self, source):
        copy = os.path.join(self.sheets, os.path.basename(source))
        if not os.path.exists(copy):
            shutil.copyfile(source, copy)
        return copy

    def measure(self, label, command, env=None):
        timing = os.path.join(self.work, "time")
        result = subprocess.run([TIME, "-f", "%e %M", "-o", timing] + command, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        if result.returncode != 0:
            fail("%s exited with status %d:\n%s" % (label, result.returncode,
                                                   result.stdout.decode(errors="replace")[-2000:]))
        with open(timing) as f:
            seconds, kilobytes = f.read().split()[-2:]
        print("  %-34s %8s s %10s KB" % (label, seconds, kilobytes), flush=True)
        return float(seconds), int(kilobytes)

    def zandrel(self, label, job_path, sheet, output):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env["XDG_CONFIG_HOME"] = self.config
        return self.measure(label, [self.program, job_path, self.sheet(sheet), output], env)

    def xsltproc(self, label, job_path, sheet, output):
        return self.measure(label, ["xsltproc", "-o", output, self.sheet(sheet), job_path])


def same(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def output_of(path):
    """The file the program wrote: the name given, or with the extension the style sheet names."""
    folder, name = os.path.split(path)
    matches = [f for f in os.listdir(folder) if f == name or f.startswith(name + ".")]
    if len(matches) != 1:
        fail("expected one output for %s, found %s" % (path, matches))
    return os.path.join(folder, matches[0])


def grouping(runner, runs):
    sheet = os.path.join(ROOT, "bench", "stylesheets", "grouping.xsl")
    small, large = job(10000), job(40000)
    times = {"zandrel 10000": [], "zandrel 40000": [], "xsltproc 40000": []}
    reference_small = os.path.join(runner.work, "ref-10000.txt")
    runner.xsltproc("xsltproc 10000 (reference)", small, sheet, reference_small)
    for run in range(runs):
        print("round %d/%d" % (run + 1, runs))
        steps = [
            ("zandrel 10000", lambda: runner.zandrel("zandrel 10000", small, sheet, os.path.join(runner.work, "z10.txt"))),
            ("zandrel 40000", lambda: runner.zandrel("zandrel 40000", large, sheet, os.path.join(runner.work, "z40.txt"))),
            ("xsltproc 40000", lambda: runner.xsltproc("xsltproc 40000", large, sheet, os.path.join(runner.work, "x40.txt"))),
        ]
        if run % 2:
            steps.reverse()
        for label, step in steps:
            times[label].append(step()[0])
        if not same(os.path.join(runner.work, "z10.txt"), reference_small) or \
                not same(os.path.join(runner.work, "z40.txt"), os.path.join(runner.work, "x40.txt")):
            fail("zandrel's and xsltproc's outputs differ")
    medians = {label: statistics.median(values) for label, values in times.items()}
    print()
    for label, value in medians.items():
        print("median %-20s %8.2f s" % (label, value))
    growth = medians["zandrel 40000"] / medians["zandrel 10000"]
    share = medians["zandrel 40000"] / medians["xsltproc 40000"]
    print("4x the points: %.2fx the time (goal <= 6): %s" % (growth, "met" if growth <= 6 else "NOT met"))
    print("zandrel/xsltproc at 40000 points: %.4f (goal <= 0.1): %s" % (share, "met" if share <= 0.1 else "NOT met"))
    print("outputs identical to xsltproc's at both sizes")


def sheets(runner, runs, sizes, names):
    folder = os.path.join(ROOT, "samples", "stylesheets")
    all_sheets = sorted(f for f in os.listdir(folder) if f.endswith(".xsl"))
    chosen = [s for s in all_sheets if not names or os.path.splitext(s)[0] in names]
    if "Points CSV.xsl" not in chosen:
        chosen.append("Points CSV.xsl")
    jobs = {n: job(n) for n in sizes}
    times = {(s, n): [] for s in chosen for n in sizes}
    smallest = min(sizes)
    for sheet in chosen:
        reference = os.path.join(runner.work, "ref-" + sheet)
        runner.xsltproc("xsltproc %s %d" % (sheet, smallest), jobs[smallest], os.path.join(folder, sheet), reference)
        output = os.path.join(runner.work, "check-" + os.path.splitext(sheet)[0])
        runner.zandrel("zandrel %s %d" % (sheet, smallest), jobs[smallest], os.path.join(folder, sheet), output)
        written = output_of(output)
        if not same(written, reference):
            fail("%s: zandrel's output differs from xsltproc's at %d points" % (sheet, smallest))
        os.remove(written)
    for run in range(runs):
        print("round %d/%d" % (run + 1, runs))
        order = [(s, n) for n in sizes for s in chosen]
        if run % 2:
            order.reverse()
        for sheet, n in order:
            output = os.path.join(runner.work, "out-%d" % n)
            times[(sheet, n)].append(runner.zandrel("%s %d" % (sheet, n), jobs[n], os.path.join(folder, sheet), output)[0])
            os.remove(output_of(output))
    print()
    largest = max(sizes)
    csv = statistics.median(times[("Points CSV.xsl", largest)])
    header = "".join("%12d" % n for n in sizes)
    print("median seconds       %s   growth %d->%d   vs CSV at %d" % (header, sizes[0], sizes[1] if len(sizes) > 1 else sizes[0], largest))
    for sheet in chosen:
        medians = [statistics.median(times[(sheet, n)]) for n in sizes]
        growth = medians[1] / medians[0] if len(sizes) > 1 else 1.0
        versus = medians[-1] / csv
        print("%-20s %s   %6.1fx %s   %6.1fx %s" % (
            os.path.splitext(sheet)[0], "".join("%12.2f" % m for m in medians),
            growth, "met" if growth <= 12 else "NOT met", versus, "met" if versus <= 10 else "NOT met"))
    print("goals: %d points in at most 12x the time of %d; %d points in at most 10x the Points CSV export"
          % (sizes[1] if len(sizes) > 1 else sizes[0], sizes[0], largest))
    print("outputs identical to xsltproc's at %d points" % smallest)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("benchmark", choices=["grouping", "sheets"])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--points", default="5000,40000,200000")
    parser.add_argument("--sheet", action="append", default=[], help="a bundled style sheet's name, without .xsl")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="zandrel-scaling.")
    try:
        runner = Runner(work)
        if args.benchmark == "grouping":
            grouping(runner, args.runs)
        else:
            sizes = sorted(int(n) for n in args.points.split(","))
            sheets(runner, args.runs, sizes, set(args.sheet))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
