#!/usr/bin/env bash
# Benchmark: Job file conversion through the stand-in converters on a large job.
#
# Usage: bench/convert-job.sh [N]     N points in the job, default 200000
#
# Makes a Dexmor job of N points with bench/make-job.py, writes it as a Bramwick Job file with
# zandrel-jobwrite, and then measures, three times each, wall time and peak memory (GNU time) of
#   build/zandrel JOB.dxm Dexmor out     the Dexmor job copied: the road without conversion
#   build/zandrel JOB.job Dexmor out     the Job file converted, then copied
# so that the difference is the conversion (converter host, converter, private folder). Checks
# with cmp that both outputs equal the Dexmor job. Goal: the conversion costs no more than the
# copy of the job again, and its memory does not grow with the job.
#
# Exit status: 0 when every run succeeded and the outputs were identical, 1 otherwise, 2 when
# something needed is missing.
set -euo pipefail

N=${1:-200000}
case $N in
    '' | *[!0-9]*) echo "usage: bench/convert-job.sh [N]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
TIME=/usr/bin/time
for needed in build/zandrel build/zandrel-jobwrite build/zandrel-converter-host build/converters/config/zandrel/machine.reg bench/make-job.py; do
    [ -e "$needed" ] || { echo "bench: $needed is missing (build first)" >&2; exit 2; }
done
"$TIME" --version 2>&1 | grep -q GNU || { echo "bench: GNU time is missing: apt-get install time" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-bench-convert.XXXXXX")
trap 'rm -rf "$work"' EXIT
job="$work/job.dxm"
echo "job:     $N points"
python3 bench/make-job.py --points "$N" --seed 1 "$job"
echo "         $(stat -c %s "$job") bytes"

measure() { # LABEL COMMAND...
    local label=$1; shift
    "$TIME" -f '%e %M' -o "$work/time" "$@" </dev/null >"$work/log" 2>&1 || {
        echo "bench: $label failed:" >&2; tail -20 "$work/log" >&2; exit 1; }
    printf '  %-10s %8s s %10s KB\n' "$label" $(tail -n 1 "$work/time")
}
zandrel=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_DIRS="$PWD/build/converters/config"
         TMPDIR="$work" build/zandrel)

measure jobwrite build/zandrel-jobwrite --exact --product bramwick --version 1300 "$job" "$work/job.job"
echo "         Job file: $(stat -c %s "$work/job.job") bytes"
cat "$job" "$work/job.job" >/dev/null
for i in 1 2 3; do
    echo "run $i/3"
    rm -f "$work/copied.dxm" "$work/converted.dxm"
    measure copy "${zandrel[@]}" "$job" Dexmor "$work/copied"
    measure convert "${zandrel[@]}" "$work/job.job" Dexmor "$work/converted"
    cmp "$job" "$work/copied.dxm" && cmp "$job" "$work/converted.dxm" || {
        echo "bench: the outputs differ from the Dexmor job" >&2; exit 1; }
done
echo "outputs identical to the Dexmor job in every run"
