#!/usr/bin/env bash
# Builds everything and runs Qelvaro on the bundled demo driver set: for now the
# command-line report of what a backup reads from the demo INF files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QELVARO_JOBS:-$(nproc)}
"$root/scripts/deps.sh"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs" >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" >/dev/null
cd resources/demo/inf
exec "$root/build/linux/cli/qelvaro" inf qvdisp.inf qvnet.inf qvprint.inf
