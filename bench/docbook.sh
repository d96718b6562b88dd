#!/usr/bin/env bash
# Benchmark: build/zandrel against xsltproc on a real DocBook manual with Debian's docbook-xsl,
# a large style sheet whose modules load their entities through a DOCTYPE.
#
# Usage: bench/docbook.sh [RUNS]     RUNS of each program, default 5
#
# The manual is the Gnumeric manual of Debian's gnumeric-doc, its entities and chapters
# expanded by `xmllint --noent --nonet` into one file. A small driver style sheet imports
# docbook-xsl's html/docbook.xsl and turns off the long-description pages, which it would
# otherwise write as extra files (style sheets may not write files here).
# Zandrel runs with PreserveWhiteSpace=1, as it would for a style sheet written for standard
# processors; xsltproc runs with --nonet. The programs take turns, which one starts a round
# alternates, and after every pair the two HTML files must be identical.
#
# Goal: median wall time ratio zandrel/xsltproc <= 1.05.
# Exit status: 0 when every run succeeded and the outputs were identical (goal met or not),
# 1 when they differ or a run failed, 2 when something needed is missing.
#
# Needs: docbook-xsl gnumeric-doc libxml2-utils xsltproc time (Debian packages).
set -euo pipefail

RUNS=${1:-5}
case $RUNS in '' | *[!0-9]* | 0) echo "usage: bench/docbook.sh [RUNS]" >&2; exit 2 ;; esac
cd "$(dirname "$0")/.."
ZANDREL=${ZANDREL:-build/zandrel}
DOCBOOK=/usr/share/xml/docbook/stylesheet/docbook-xsl/html/docbook.xsl
MANUAL=/usr/share/help/C/gnumeric/gnumeric.xml
TIME=/usr/bin/time
time_goal=1.05

[ -x "$ZANDREL" ] || { echo "bench: $ZANDREL is missing; build it first" >&2; exit 2; }
for need in "$DOCBOOK:docbook-xsl" "$MANUAL:gnumeric-doc" "$TIME:time"; do
    [ -e "${need%%:*}" ] || { echo "bench: ${need%%:*} is missing: apt-get install ${need#*:}" >&2; exit 2; }
done
for tool in xsltproc xmllint cmp; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-docbook.XXXXXX")
trap 'rm -rf "$work"' EXIT
xmllint --noent --nonet "$MANUAL" >"$work/manual.xml" 2>/dev/null
cat >"$work/driver.xsl" <<EOF
<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="file://$DOCBOOK"/>
  <xsl:param name="html.longdesc" select="0"/>
</xsl:stylesheet>
EOF
mkdir -p "$work/config/zandrel"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n"PreserveWhiteSpace"=dword:00000001\n' \
    >"$work/config/zandrel/user.reg"
echo "manual:   $MANUAL ($(stat -c %s "$work/manual.xml") bytes expanded)"
echo "sheet:    $DOCBOOK"

measure() { # LABEL COMMAND...: appends "seconds kilobytes" to $work/LABEL
    local label=$1; shift
    if ! "$TIME" -f '%e %M' -o "$work/time" "$@" </dev/null >"$work/log" 2>&1; then
        echo "bench: $label failed:" >&2
        tail -20 "$work/log" | sed 's/^/    /' >&2
        exit 1
    fi
    tail -n 1 "$work/time" >>"$work/$label"
    printf '  %-9s %8s s %10s KB\n' "$label" $(tail -n 1 "$work/time")
}
run_zandrel() {
    measure zandrel env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
        "$ZANDREL" "$work/manual.xml" "$work/driver.xsl" "$work/out.html"
}
run_xsltproc() {
    measure xsltproc xsltproc --nonet -o "$work/ref.html" "$work/driver.xsl" "$work/manual.xml"
}

for i in $(seq 1 "$RUNS"); do
    echo "run $i/$RUNS"
    rm -f "$work/out.html" "$work/ref.html"
    if [ $((i % 2)) -eq 1 ]; then run_zandrel; run_xsltproc; else run_xsltproc; run_zandrel; fi
    if ! cmp "$work/out.html" "$work/ref.html"; then
        echo "bench: out.html (zandrel) and ref.html (xsltproc) differ" >&2
        exit 1
    fi
done
echo "out.html and ref.html are identical in every run ($(stat -c %s "$work/ref.html") bytes)"

median() { # FILE COLUMN
    sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c }
        END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
zt=$(median "$work/zandrel" 1); zm=$(median "$work/zandrel" 2)
xt=$(median "$work/xsltproc" 1); xm=$(median "$work/xsltproc" 2)
echo
echo "median of $RUNS runs     wall time    peak RSS"
printf '  zandrel      %10s s %10s KB\n' "$zt" "$zm"
printf '  xsltproc     %10s s %10s KB\n' "$xt" "$xm"
awk -v zt="$zt" -v xt="$xt" -v zm="$zm" -v xm="$xm" -v tg="$time_goal" 'BEGIN {
    rt = zt / xt
    printf "  ratio zandrel/xsltproc: time %.3f, memory %.3f\n", rt, zm / xm
    printf "  goal (time <= %s): %s\n", tg, (rt <= tg) ? "met" : "NOT met"
}'
