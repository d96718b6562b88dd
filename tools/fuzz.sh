#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a given time.
# usage: tools/fuzz.sh [seconds per target, default 600] [target ...]
# New inputs collect in build-fuzz/corpus/<target>; inputs that break a property or crash
# land in build-fuzz/findings/. Copy the ones worth keeping into fuzz/corpus/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZANDREL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 >/dev/null
targets=("$@")
# The processor's targets start from libxslt's own test style sheets and documents.
seeds=build-fuzz/seeds
mkdir -p "$seeds/fuzz_stylesheet" "$seeds/fuzz_documentloader"
seed() { # extension target: each small file, named by its path, since names repeat across folders
    find tests/data/libxslt-tests -name "*.$1" -size -16k | while read -r file; do
        cp "$file" "$seeds/$2/$(echo "${file#tests/data/libxslt-tests/}" | tr / _)"
    done
}
seed xsl fuzz_stylesheet
seed xml fuzz_documentloader
[ ${#targets[@]} -gt 0 ] || targets=($(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//'))
mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    leaks=0
    extra=()
    if [ -d "$seeds/$target" ]; then
        extra=("$seeds/$target")
        leaks=1 # the processor's targets are checked for leaks as well
    fi
    ASAN_OPTIONS=detect_leaks=$leaks build-fuzz/fuzz/$target "$corpus" "fuzz/corpus/$target" "${extra[@]}" \
        -max_total_time="$seconds" -rss_limit_mb=4096 -artifact_prefix="build-fuzz/findings/$target-" \
        -print_final_stats=1 2>&1 | grep -E 'Done|stat::number_of_executed_units|ERROR|property|SUMMARY' || status=1
done
exit $status
