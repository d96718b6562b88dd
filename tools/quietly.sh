#!/usr/bin/env bash
# Runs a command (a configure or build step) with its output held back; when the command fails,
# prints what it said, without the build's progress lines, and exits with its status, so that a
# failed build shows the compiler's errors and a good one stays quiet.
# Usage: tools/quietly.sh COMMAND [ARGUMENT ...]
set -uo pipefail
log=$(mktemp "${TMPDIR:-/tmp}/quietly.XXXXXX") || exit 1
trap 'rm -f "$log"' EXIT
"$@" >"$log" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
    grep -v '^\[[0-9]*/[0-9]*\] ' "$log" >&2
    echo "$(basename "$1") failed with exit status $status: $*" >&2
fi
exit "$status"
