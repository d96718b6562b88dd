#!/usr/bin/env bash
# Benchmark: the fixed cost of a small job. build/zandrel against xsltproc on the bundled sample
# job with the bundled CSV style sheet, where start-up, not the transformation, is what counts.
#
# Usage: bench/small-job.sh [RUNS]        RUNS pairs, default 30
#
# The two programs take turns (which one starts a pair alternates too), after three warm-up runs
# each. Each runs under GNU time, which gives the peak RSS; the wall time is taken around that
# (GNU time's own 10 ms steps are too coarse here; its fork costs both programs the same).
# Prints the medians and the ratios zandrel/xsltproc and checks that both outputs are identical.
#
# Goal: time <= 1.5 and memory <= 3.0.
#
# Exit status: 0 when every run succeeded and the outputs were identical (whether or not the
# goal was met), 1 when a run failed or the outputs differ, 2 when something needed is missing.
#
# Environment:
#   ZANDREL   program to measure (default build/zandrel); run without a display and with
#             standard input from /dev/null, with settings of its own
set -euo pipefail
RUNS=${1:-30}
case $RUNS in
    '' | *[!0-9]* | 0) echo "usage: bench/small-job.sh [RUNS]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
ZANDREL=${ZANDREL:-build/zandrel}
[ -x "$ZANDREL" ] || { echo "bench: $ZANDREL is missing; build it first (cmake --preset default && cmake --build build)" >&2; exit 2; }
if ! /usr/bin/time --version 2>&1 | grep -q GNU; then
    echo "bench: GNU time (/usr/bin/time) is missing: apt-get install time" >&2
    exit 2
fi
for tool in xsltproc python3 cmp; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-small.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$RUNS" "$ZANDREL" "$work" <<'PY'
import os, statistics, subprocess, sys, time

runs, zandrel, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
job, sheet = "samples/job.dxm", "samples/stylesheets/Points CSV.xsl"
quiet = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
quiet["XDG_CONFIG_HOME"] = os.path.join(work, "config")
peak = os.path.join(work, "peak")
programs = {
    "zandrel": [zandrel, job, sheet, os.path.join(work, "out.csv")],
    "xsltproc": ["xsltproc", "-o", os.path.join(work, "ref.csv"), sheet, job],
}

def run(name):
    with open(os.devnull, "rb") as nothing, open(os.path.join(work, "log"), "wb") as log:
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", peak] + programs[name],
                                 stdin=nothing, stdout=log, stderr=log, env=quiet)
        seconds = time.perf_counter() - start
    if status != 0:
        sys.stderr.write(f"bench: {name} failed:\n" + open(os.path.join(work, "log")).read())
        sys.exit(1)
    return seconds, int(open(peak).read().split()[-1])

for _ in range(3):
    run("zandrel"); run("xsltproc")
samples = {"zandrel": [], "xsltproc": []}
for i in range(runs):
    for name in (("zandrel", "xsltproc") if i % 2 == 0 else ("xsltproc", "zandrel")):
        samples[name].append(run(name))
    if subprocess.run(["cmp", "-s", programs["zandrel"][3], programs["xsltproc"][2]]).returncode != 0:
        sys.stderr.write("bench: out.csv (zandrel) and ref.csv (xsltproc) differ\n")
        sys.exit(1)

median = {n: (statistics.median(s for s, _ in v), statistics.median(k for _, k in v)) for n, v in samples.items()}
print(f"sample job, {runs} alternating pairs; outputs identical in every pair")
print("median            wall time    peak RSS")
for name, (seconds, kib) in median.items():
    print(f"  {name:<10} {seconds * 1000:9.1f} ms {kib:8.0f} KiB")
time_ratio = median["zandrel"][0] / median["xsltproc"][0]
memory_ratio = median["zandrel"][1] / median["xsltproc"][1]
print(f"  ratio zandrel/xsltproc: time {time_ratio:.2f}, memory {memory_ratio:.2f}")
met = time_ratio <= 1.5 and memory_ratio <= 3.0
print(f"  goal (time <= 1.5, memory <= 3.0): {'met' if met else 'NOT met'}")
PY
