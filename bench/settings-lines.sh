#!/usr/bin/env bash
# Benchmark: reading a settings file of many lines. A batch run of the sample job with a user
# settings file whose key is followed by LINES lines of "[" (lines that are no section, no value),
# and one with a fifth of them: the time should grow with the lines, not with their square.
#
# Usage: bench/settings-lines.sh [LINES]    default 100000
#
# Prints both wall times and their ratio. Goal: ratio <= 10 (at most 5 for linear time).
# Exit status: 0 when both runs succeeded, 1 when one failed, 2 when something needed is missing.
set -euo pipefail
LINES=${1:-100000}
case $LINES in
    '' | *[!0-9]* | 0) echo "usage: bench/settings-lines.sh [LINES]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
ZANDREL=${ZANDREL:-build/zandrel}
[ -x "$ZANDREL" ] || { echo "bench: $ZANDREL is missing; build it first" >&2; exit 2; }
command -v python3 >/dev/null || { echo "bench: python3 is missing" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-settings.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$LINES" "$ZANDREL" "$work" <<'PY'
import os, subprocess, sys, time

lines, zandrel, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
env["XDG_CONFIG_HOME"] = os.path.join(work, "config")
os.makedirs(os.path.join(work, "config", "zandrel"))

def run(count):
    with open(os.path.join(work, "config", "zandrel", "user.reg"), "w") as reg:
        reg.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n" + "[\n" * count)
    start = time.monotonic()
    done = subprocess.run([zandrel, "samples/job.dxm", "Dexmor", os.path.join(work, "out.dxm")],
                          env=env, stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        sys.exit(1)
    return time.monotonic() - start

small, large = run(lines // 5), run(lines)
print(f"{lines // 5} lines: {small:.2f} s, {lines} lines: {large:.2f} s, ratio {large / small:.1f}")
PY
