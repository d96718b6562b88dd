#!/usr/bin/env bash
# Checks the bundled samples with xsltproc:
#  - samples/job.dxm is what the generator writes for the documented command,
#    and its structure, references and geometry are consistent;
#  - every style sheet declares fileExt and well-formed user variables;
#  - every style sheet, with its default settings and with other settings
#    (the value lines rewritten the way the program does it), writes a
#    correct file: CSV fields and quoting, HTML (xmllint, tidy when
#    installed), SVG (xmllint, symbol positions, scale), GeoJSON (json.tool,
#    values and escaping), DXF (group code pairs, a POINT and a label per
#    point on its layer, line work), KML (placemarks, styles, coordinates),
#    LandXML (xmllint, CgPoints in the chosen unit, setups and
#    observations), each compared with the points of the job;
#  - the output is byte-identical when whitespace-only text nodes are
#    removed from the job and/or the style sheet (xmllint --noblanks, and
#    bench/strip-blanks.py, which removes every one of them), and the
#    comparison itself is shown to catch a style sheet that relies on them;
#  - samples/expected/ holds the current outputs of the default settings.
# Usage: bench/check-samples.sh        (from anywhere; needs xsltproc, xmllint, python3)
set -u
cd "$(dirname "$0")/.."
root=$PWD
sheets="$root/samples/stylesheets"
job="$root/samples/job.dxm"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

passed=0
failed=0
ok()   { passed=$((passed + 1)); echo "ok      $*"; }
bad()  { failed=$((failed + 1)); echo "FAILED  $*"; }
# check DESCRIPTION COMMAND...: runs the command, output to a log shown on failure
check() {
    local what=$1; shift
    if "$@" >"$tmp/log" 2>&1; then ok "$what"; else bad "$what"; sed 's/^/        /' "$tmp/log" | head -20; fi
}

for tool in xsltproc xmllint python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 2; }
done

# ---------------------------------------------------------------- the job
check "samples/job.dxm is reproduced by: bench/make-job.py --points 240 --seed 7" \
    sh -c "python3 bench/make-job.py --points 240 --seed 7 '$tmp/job.dxm' && cmp '$tmp/job.dxm' '$job'"
check "samples/job.dxm is well-formed" xmllint --noout "$job"
check "samples/job.dxm: structure, references and geometry" python3 bench/check-job.py "$job"
python3 bench/make-job.py --points 240 --seed 7 --angle-unit degree "$tmp/job-degree.dxm"
check "job with angles in degrees: structure, references and geometry" \
    python3 bench/check-job.py "$tmp/job-degree.dxm"

# strict and libxml2-style blank-free copies of a file
strip_copies() {  # FILE NAME -> $tmp/NAME.strict, $tmp/NAME.noblanks
    python3 bench/strip-blanks.py "$1" "$tmp/$2.strict" 2>/dev/null &&
    xmllint --noblanks "$1" >"$tmp/$2.noblanks"
}
strip_copies "$job" job
strip_copies "$tmp/job-degree.dxm" job-degree

# run SHEET JOB NAME: output of the sheet in $tmp/NAME.out; then compares it with the
# outputs from blank-free copies of job and sheet
run() {
    local sheet=$1 src=$2 name=$3 srcname
    srcname=$(basename "$src" .dxm)
    if ! xsltproc -o "$tmp/$name.out" "$sheet" "$src" 2>"$tmp/$name.err" || [ -s "$tmp/$name.err" ]; then
        bad "$name: xsltproc"; sed 's/^/        /' "$tmp/$name.err" | head; return 1
    fi
    strip_copies "$sheet" "$name-sheet"
    local diff=""
    xsltproc --novalid -o "$tmp/$name.1" "$sheet" "$tmp/$srcname.strict" && cmp -s "$tmp/$name.out" "$tmp/$name.1" || diff+=" blank-free-job"
    xsltproc --novalid -o "$tmp/$name.2" "$tmp/$name-sheet.strict" "$src" && cmp -s "$tmp/$name.out" "$tmp/$name.2" || diff+=" blank-free-sheet"
    xsltproc --novalid -o "$tmp/$name.3" "$tmp/$name-sheet.strict" "$tmp/$srcname.strict" && cmp -s "$tmp/$name.out" "$tmp/$name.3" || diff+=" both-blank-free"
    xsltproc --novalid -o "$tmp/$name.4" "$tmp/$name-sheet.noblanks" "$tmp/$srcname.noblanks" && cmp -s "$tmp/$name.out" "$tmp/$name.4" || diff+=" both-xmllint-noblanks"
    if [ -z "$diff" ]; then ok "$name: same output without whitespace-only text nodes (4 variants)"
    else bad "$name: output differs for:$diff"; fi
}

# variant BASE-SHEET NAME VAR=SELECT...: a copy of the sheet with value lines rewritten
variant() {
    local base=$1 name=$2; shift 2
    cp "$base" "$tmp/$name.xsl"
    local kv
    for kv in "$@"; do
        python3 bench/check-outputs.py setvar "$tmp/$name.xsl" "$tmp/$name.xsl" "${kv%%=*}" "${kv#*=}" || return 1
    done
    echo "$tmp/$name.xsl"
}

# ---------------------------------------------------------------- the check catches reliance on blanks
cat >"$tmp/fragile.xsl" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text" encoding="UTF-8"/>
<xsl:template match="/">
  <xsl:for-each select="DexmorJob/Points/Point[position() &lt;= 3]">
    <xsl:value-of select="@name"/><xsl:text>&#10;</xsl:text>
  </xsl:for-each>
</xsl:template>
</xsl:stylesheet>
EOF
python3 bench/strip-blanks.py "$tmp/fragile.xsl" "$tmp/fragile.strict" 2>/dev/null
xsltproc "$tmp/fragile.xsl" "$job" >"$tmp/fragile.1"
xsltproc --novalid "$tmp/fragile.strict" "$job" >"$tmp/fragile.2"
if cmp -s "$tmp/fragile.1" "$tmp/fragile.2"; then
    bad "the comparison misses a style sheet that writes <xsl:text>&#10;</xsl:text>"
else
    ok "the comparison catches a style sheet that writes <xsl:text>&#10;</xsl:text>"
fi

# ---------------------------------------------------------------- declarations
for declared in "Points CSV:csv" "Survey Report:html" "Plan Drawing:svg" "Points GeoJSON:geojson" \
                "Drawing DXF:dxf" "Points KML:kml" "Survey LandXML:xml"; do
    sheet=${declared%:*}
    check "$sheet.xsl: fileExt and user variables" \
        python3 bench/check-outputs.py userfields "$sheets/$sheet.xsl" "${declared##*:}"
done

# ---------------------------------------------------------------- CSV
csv_case() {  # NAME SHEET JOB CHECK-ARGS...
    local name=$1 sheet=$2 src=$3; shift 3
    run "$sheet" "$src" "$name" && check "$name: fields, quoting and values" \
        python3 bench/check-outputs.py csv "$tmp/$name.out" "$src" "$@"
}
csv_case csv-default "$sheets/Points CSV.xsl" "$job"
s=$(variant "$sheets/Points CSV.xsl" csv-semicolon "delimiter='Semicolon'" "decimals=2" \
    "headerLine='No'" "lineEnding='LF (Linux)'")
csv_case csv-semicolon "$s" "$job" --delimiter semicolon --decimals 2 --header no --eol lf
s=$(variant "$sheets/Points CSV.xsl" csv-tab "delimiter='Tab'" "decimals=0")
csv_case csv-tab "$s" "$job" --delimiter tab --decimals 0

# ---------------------------------------------------------------- HTML
html_case() {  # NAME SHEET JOB CHECK-ARGS...
    local name=$1 sheet=$2 src=$3; shift 3
    run "$sheet" "$src" "$name" || return
    check "$name: xmllint --html reports nothing" \
        sh -c "xmllint --html --noout '$tmp/$name.out' 2>&1 | (! grep .)"
    if command -v tidy >/dev/null; then
        check "$name: tidy (HTML5) reports nothing" tidy -q -e "$tmp/$name.out"
    else
        echo "skip    $name: tidy is not installed (apt-get install tidy)"
    fi
    check "$name: tables against the job" python3 bench/check-outputs.py html "$tmp/$name.out" "$src" "$@"
}
html_case html-default "$sheets/Survey Report.xsl" "$job"
s=$(variant "$sheets/Survey Report.xsl" html-options "reportTitle='Bestandsplan Übersicht – Teil 1'" \
    "decimals=1" "latLonFormat='Decimal degrees'" "showObservations='No'" "logoFile='/tmp/Logo Hartmann &amp; Partner.png'")
html_case html-options "$s" "$job" --observations no --decimals 1 --title 'Bestandsplan Übersicht – Teil 1'
html_case html-degrees "$sheets/Survey Report.xsl" "$tmp/job-degree.dxm"
check "html-degrees: angles are shown as degrees, minutes, seconds" \
    grep -q '<td class="num">[0-9]*°[0-5][0-9]′[0-5][0-9]\.[0-9]″</td>' "$tmp/html-degrees.out"
check "html-options: logo file name is written as the image source" \
    grep -q '<img class="logo" src="/tmp/Logo%20Hartmann%20&amp;%20Partner.png"' "$tmp/html-options.out"

# ---------------------------------------------------------------- SVG
svg_case() {  # NAME SHEET JOB
    local name=$1 sheet=$2 src=$3
    run "$sheet" "$src" "$name" || return
    check "$name: well-formed (xmllint)" xmllint --noout "$tmp/$name.out"
    check "$name: symbols, north up, round scale, labels" python3 bench/check-outputs.py svg "$tmp/$name.out" "$src"
    if command -v rsvg-convert >/dev/null; then
        check "$name: rsvg-convert renders it" rsvg-convert -o "$tmp/$name.png" "$tmp/$name.out"
    fi
}
svg_case svg-default "$sheets/Plan Drawing.xsl" "$job"
s=$(variant "$sheets/Plan Drawing.xsl" svg-a4 "paper='A4 landscape'" "labelSize=2.5" "drawingTitle='Lageplan &quot;Schulweg&quot; – Bestand'")
svg_case svg-a4 "$s" "$job"
s=$(variant "$sheets/Plan Drawing.xsl" svg-a1 "paper='A1 landscape'")
svg_case svg-a1 "$s" "$job"
python3 bench/make-job.py --points 1 --seed 7 "$tmp/one.dxm"
python3 bench/strip-blanks.py "$tmp/one.dxm" "$tmp/one.strict" 2>/dev/null
xmllint --noblanks "$tmp/one.dxm" >"$tmp/one.noblanks"
svg_case svg-one-point "$sheets/Plan Drawing.xsl" "$tmp/one.dxm"

# ---------------------------------------------------------------- GeoJSON
geojson_case() {  # NAME SHEET JOB CHECK-ARGS...
    local name=$1 sheet=$2 src=$3; shift 3
    run "$sheet" "$src" "$name" || return
    check "$name: valid JSON (python3 -m json.tool)" python3 -m json.tool "$tmp/$name.out"
    check "$name: features against the job" python3 bench/check-outputs.py geojson "$tmp/$name.out" "$src" "$@"
}
geojson_case geojson-default "$sheets/Points GeoJSON.xsl" "$job"
s=$(variant "$sheets/Points GeoJSON.xsl" geojson-2d "withHeight='No'")
geojson_case geojson-2d "$s" "$job" --height no

# ---------------------------------------------------------------- DXF, KML, LandXML
# xml_case KIND NAME SHEET JOB CHECK-ARGS...: runs the sheet, checks the output with check-outputs.py KIND
xml_case() {
    local kind=$1 name=$2 sheet=$3 src=$4; shift 4
    run "$sheet" "$src" "$name" || return
    if [ "$kind" != dxf ]; then check "$name: well-formed (xmllint)" xmllint --noout "$tmp/$name.out"; fi
    check "$name: against the job" python3 bench/check-outputs.py "$kind" "$tmp/$name.out" "$src" "$@"
}
xml_case dxf dxf-default "$sheets/Drawing DXF.xsl" "$job"
s=$(variant "$sheets/Drawing DXF.xsl" dxf-one-layer "textHeight=1.25" "layerPerCode='No'")
xml_case dxf dxf-one-layer "$s" "$job" --height 1.25 --layers one
xml_case dxf dxf-one-point "$sheets/Drawing DXF.xsl" "$tmp/one.dxm"
xml_case kml kml-default "$sheets/Points KML.xsl" "$job"
s=$(variant "$sheets/Points KML.xsl" kml-absolute "altitudeMode='Absolute (elevation above sea level)'")
xml_case kml kml-absolute "$s" "$job" --altitude absolute
xml_case landxml landxml-default "$sheets/Survey LandXML.xsl" "$job"
s=$(variant "$sheets/Survey LandXML.xsl" landxml-us-foot "linearUnit='US survey foot'")
xml_case landxml landxml-us-foot "$s" "$job" --unit us-foot
s=$(variant "$sheets/Survey LandXML.xsl" landxml-foot "linearUnit='International foot'")
xml_case landxml landxml-degrees "$s" "$tmp/job-degree.dxm" --unit foot
check "landxml-degrees: angles in decimal degrees" grep -q 'angularUnit="decimal degrees"' "$tmp/landxml-degrees.out"
xml_case landxml landxml-one-point "$sheets/Survey LandXML.xsl" "$tmp/one.dxm"

# ---------------------------------------------------------------- expected outputs
for pair in "csv-default:job.csv" "html-default:job.html" "svg-default:job.svg" "geojson-default:job.geojson" \
            "dxf-default:job.dxf" "kml-default:job.kml" "landxml-default:job.xml"; do
    check "samples/expected/${pair#*:} is the current output" cmp "$tmp/${pair%%:*}.out" "samples/expected/${pair#*:}"
done

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
