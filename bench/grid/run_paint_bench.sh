#!/usr/bin/env bash
# Builds the grid paint benchmark for 32-bit Windows and runs it under Wine and Xvfb:
# full repaints of a window-sized grid with 1,000 and 1,000,000 rows, and a page
# scrolled in the big one, side by side in one run (min/median/max and the ratios).
#   run_paint_bench.sh [ROUNDS] [BATCH]
# QELVARO_PAINT_BENCH_BUILD names the build folder (default build/gridbench-win32);
# QELVARO_WINE_TEMPLATE a template prefix (default: made once inside the build folder).
set -euo pipefail
. "$(dirname "$0")/../bench_common.sh"
build=${QELVARO_PAINT_BENCH_BUILD:-$repo/build/gridbench-win32}
mkdir -p "$build"
build=$(cd "$build" && pwd)

[ -f "$build/build.ninja" ] || (cd "$repo" && cmake --preset win32 -B "$build" >/dev/null)
ninja -C "$build" -j2 grid_paint_bench >/dev/null

template=${QELVARO_WINE_TEMPLATE:-$build/wine-template}
[ -f "$template/system.reg" ] || "$repo/scripts/wine-template.sh" "$template" >/dev/null

echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
# The program writes Windows line ends.
QELVARO_WINE_TEMPLATE="$template" \
  "$repo/scripts/wine-run.sh" --display "$build/bench/grid/paint/grid_paint_bench.exe" "$@" | tr -d '\r'
