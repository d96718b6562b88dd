#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs batch mode with every bundled style
# sheet over the bundled sample job and over its Job files, writing into out/; lists what it
# wrote and which programs open it.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup-debian.sh
# Quiet while the build goes well; a failed step shows what the compiler said.
./tools/quietly.sh cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
./tools/quietly.sh cmake --build build -j2
mkdir -p out
status=0
run() { # batch mode without a display and without a terminal to ask on
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./build/zandrel "$@" </dev/null || status=1
}
for sheet in samples/stylesheets/*.xsl samples/stylesheets/*.xslt; do
    [ -e "$sheet" ] || continue
    name=$(basename "${sheet%.*}")
    run samples/job.dxm "$sheet" "out/$name"
done
# The Dexmor output format copies the job itself.
run samples/job.dxm Dexmor "out/job copy"

# The sample job as a Job file of each product (build/samples), converted by the stand-in converters
# that the build's own registry file registers; the machine's /etc/xdg is never read.
run_job() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_DIRS="$PWD/build/converters/config" \
        ./build/zandrel "$@" </dev/null || status=1
}
for job in build/samples/*.job; do
    [ -e "$job" ] || continue
    product=$(basename "${job%.job}")
    mkdir -p "out/$product"
    for sheet in samples/stylesheets/*.xsl samples/stylesheets/*.xslt; do
        [ -e "$sheet" ] || continue
        run_job "$job" "$sheet" "out/$product/$(basename "${sheet%.*}")"
    done
    run_job "$job" Dexmor "out/$product/job copy"
    # A Job file gives the same files as the Dexmor job it was made from.
    for made in "out/$product"/*; do
        [ -e "$made" ] || continue
        if ! cmp -s "$made" "out/$(basename "$made")"; then
            echo "$made differs from out/$(basename "$made")" >&2
            status=1
        fi
    done
done

# What each file is and which program opens it, by its extension.
describe() {
    case "$1" in
        csv) echo "point list (CSV)|LibreOffice Calc, Excel, QGIS" ;;
        html) echo "survey report (HTML, prints on A4)|a web browser" ;;
        svg) echo "plan drawing (SVG)|a web browser, Inkscape" ;;
        geojson) echo "points for GIS (GeoJSON)|QGIS" ;;
        dxf) echo "CAD drawing (DXF R12)|AutoCAD, BricsCAD, LibreCAD, QCAD" ;;
        kml) echo "placemarks (KML)|Google Earth, QGIS" ;;
        xml) echo "points and setups (LandXML 1.2)|Civil 3D, Trimble Business Center, 12d Model" ;;
        dxm) echo "copy of the Dexmor job|Zandrel, a text editor" ;;
        *) echo "|" ;;
    esac
}
echo "Files written into out/ (the same from each Job file in out/<product>/):"
for made in out/*; do
    [ -f "$made" ] || continue
    IFS='|' read -r what opens <<<"$(describe "${made##*.}")"
    printf '  %-26s %-34s %s\n' "$(basename "$made")" "$what" "$opens"
done
exit $status
