#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs batch mode with every bundled style
# sheet over the bundled sample job, writing into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 >/dev/null
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
echo "Files written into out/:"
ls -l out
exit $status
