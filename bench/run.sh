#!/usr/bin/env bash
# Benchmark: build/zandrel against xsltproc on a large Dexmor job, with the
# bundled CSV style sheet.
#
# Usage: bench/run.sh [N]        N points in the job, default 500000 (about 300 MB)
#
# Runs, alternately, five times each (the first of each round alternating too):
#   build/zandrel JOB.dxm "samples/stylesheets/Points CSV.xsl" out.csv
#   xsltproc -o ref.csv "samples/stylesheets/Points CSV.xsl" JOB.dxm
# measuring wall time and peak RSS with GNU time, prints the medians and the
# ratios zandrel/xsltproc, and checks with cmp that out.csv and ref.csv are
# identical after every pair of runs.
#
# Goals: in the default mode (white space dropped while the job loads, as the
# original platform's documents do) time <= 0.90 and memory <= 0.80; with
# MODE=preserve (the PreserveWhiteSpace setting) both <= 1.05.
#
# Exit status: 0 when every run succeeded and the outputs were identical
# (whether or not the goal was met), 1 when the outputs differ or a run
# failed, 2 when something needed is missing.
#
# Environment:
#   ZANDREL      program to measure (default build/zandrel); it is called as
#                $ZANDREL <job> <style sheet> <output>, without a display
#                (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM unset) and
#                with standard input from /dev/null
#   BENCH_CACHE  folder for the generated jobs (default ${TMPDIR:-/tmp}/zandrel-bench)
#   MODE         default (the default) or preserve: zandrel runs with settings of
#                its own in which PreserveWhiteSpace is absent or 1
set -euo pipefail

N=${1:-500000}
case $N in
    '' | *[!0-9]*) echo "usage: bench/run.sh [N]   (N: number of points, default 500000)" >&2; exit 2 ;;
esac
RUNS=5
cd "$(dirname "$0")/.."
ZANDREL=${ZANDREL:-build/zandrel}
MODE=${MODE:-default}
case $MODE in
    default) time_goal=0.90; memory_goal=0.80 ;;
    preserve) time_goal=1.05; memory_goal=1.05 ;;
    *) echo "bench: MODE must be default or preserve" >&2; exit 2 ;;
esac
SHEET="samples/stylesheets/Points CSV.xsl"
TIME=/usr/bin/time

if [ ! -x "$ZANDREL" ]; then
    echo "bench: $ZANDREL is missing or not executable; build it first:" >&2
    echo "       cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build" >&2
    exit 2
fi
if ! "$TIME" --version 2>&1 | grep -q 'GNU'; then
    echo "bench: GNU time ($TIME) is missing: apt-get install time" >&2
    exit 2
fi
for tool in xsltproc python3 cmp; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 2; }
done
[ -f "$SHEET" ] || { echo "bench: $SHEET is missing" >&2; exit 2; }

# ------------------------------------------------------------------ the job
# Cached by N and by the generator's content, so a changed generator makes a new job.
cache=${BENCH_CACHE:-${TMPDIR:-/tmp}/zandrel-bench}
mkdir -p "$cache"
gen_id=$(cksum <bench/make-job.py | cut -d' ' -f1)
job="$cache/job-$N-seed1-$gen_id.dxm"
if [ -f "$job" ]; then
    echo "job:      $job (cached)"
else
    echo "job:      generating $N points into $job ..."
    python3 bench/make-job.py --points "$N" --seed 1 "$job"
fi
job_bytes=$(stat -c %s "$job")
echo "          $job_bytes bytes ($((job_bytes / 1048576)) MiB)"
echo "program:  $ZANDREL"
echo "sheet:    $SHEET"
cat "$job" >/dev/null                  # into the page cache before the first measured run

work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-bench-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/zandrel"
if [ "$MODE" = preserve ]; then
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n"PreserveWhiteSpace"=dword:00000001\n' \
        >"$work/config/zandrel/user.reg"
fi
echo "mode:     $MODE"

# measure LABEL COMMAND...: runs it under GNU time; appends "seconds kilobytes" to $work/LABEL
measure() {
    local label=$1; shift
    local status=0
    "$TIME" -f '%e %M' -o "$work/time" "$@" </dev/null >"$work/log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "bench: $label exited with status $status:" >&2
        sed 's/^/    /' "$work/log" | tail -20 >&2
        exit 1
    fi
    tail -n 1 "$work/time" >>"$work/$label"
    printf '  %-9s %8s s %10s KB\n' "$label" $(tail -n 1 "$work/time")
}

run_zandrel() {
    measure zandrel env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
        "$ZANDREL" "$job" "$SHEET" "$work/out.csv"
}
run_xsltproc() {
    measure xsltproc xsltproc -o "$work/ref.csv" "$SHEET" "$job"
}

# The programs take turns; which one starts a round alternates too (zandrel,
# xsltproc | xsltproc, zandrel | ...), so that a machine whose load drifts
# during the benchmark does not favour one of them.
echo
for i in $(seq 1 "$RUNS"); do
    echo "run $i/$RUNS"
    rm -f "$work/out.csv" "$work/ref.csv"
    if [ $((i % 2)) -eq 1 ]; then
        run_zandrel
        run_xsltproc
    else
        run_xsltproc
        run_zandrel
    fi
    if [ ! -f "$work/out.csv" ]; then
        echo "bench: zandrel did not write out.csv" >&2
        exit 1
    fi
    if ! cmp "$work/out.csv" "$work/ref.csv"; then
        echo "bench: out.csv (zandrel) and ref.csv (xsltproc) differ" >&2
        exit 1
    fi
done
out_bytes=$(stat -c %s "$work/out.csv")
echo
echo "out.csv and ref.csv are identical in every run ($out_bytes bytes, $(($(wc -l <"$work/ref.csv"))) lines)"

# ------------------------------------------------------------------ medians and ratios
median() {  # column of file
    sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c }
        END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
fastest() {  # column of file
    sort -n -k"$2","$2" "$1" | head -n 1 | awk -v c="$2" '{ print $c }'
}
zt=$(median "$work/zandrel" 1)
zm=$(median "$work/zandrel" 2)
xt=$(median "$work/xsltproc" 1)
xm=$(median "$work/xsltproc" 2)
echo
echo "median of $RUNS runs     wall time    peak RSS"
printf '  zandrel      %10s s %10s KB\n' "$zt" "$zm"
printf '  xsltproc     %10s s %10s KB\n' "$xt" "$xm"
awk -v zt="$zt" -v xt="$xt" -v zm="$zm" -v xm="$xm" -v tg="$time_goal" -v mg="$memory_goal" 'BEGIN {
    rt = (xt > 0) ? zt / xt : (zt > 0 ? "inf" : 1)
    rm = zm / xm
    printf "  ratio zandrel/xsltproc: time %s, memory %.3f\n", (rt == "inf" ? rt : sprintf("%.3f", rt)), rm
    met = (rt != "inf" && rt <= tg && rm <= mg)
    printf "  goal (time <= %s, memory <= %s): %s\n", tg, mg, met ? "met" : "NOT met"
    if (xt < 1) print "  note: xsltproc took under a second; use a larger N for a meaningful time ratio"
}'
printf '  (fastest run: zandrel %s s, xsltproc %s s)\n' "$(fastest "$work/zandrel" 1)" "$(fastest "$work/xsltproc" 1)"
