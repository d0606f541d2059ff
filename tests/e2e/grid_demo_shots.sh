#!/usr/bin/env bash
# Runs the grid demo under Wine and Xvfb, which saves one screenshot per header look
# and per colour scheme, and two at 144 dpi, then converts them to PNG in the
# screenshots folder.
#   grid_demo_shots.sh GRID_DEMO.exe SCREENSHOT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: grid_demo_shots.sh GRID_DEMO.exe DIR}
out=${2:?usage: grid_demo_shots.sh GRID_DEMO.exe DIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/grid_style_*.bmp "$out"/grid_scheme_*.bmp "$out"/grid_dpi*.bmp
# Wine's Z: drive is the Unix root.
windir="Z:$(printf '%s' "$out" | tr '/' '\\')"
"$here/../../scripts/wine-run.sh" --display "$exe" "$windir"
# Again at 144 dpi, where check boxes and rows must grow together.
"$here/../../scripts/wine-run.sh" --display "$exe" --dpi 144 "$windir"
count=0
for bmp in "$out"/grid_style_*.bmp "$out"/grid_scheme_*.bmp "$out"/grid_dpi*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png"
  rm -f "$bmp"
  count=$((count + 1))
done
echo "$count screenshots in $out"
[ "$count" = 15 ]
