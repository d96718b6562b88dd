#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup-debian.sh --tests
preset=${1:-default}
# Quiet while the configure step goes well; a failed one shows why.
./tools/quietly.sh cmake --preset "$preset"
cmake --build --preset "$preset" -j2
ctest --preset "$preset"
