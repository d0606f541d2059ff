#!/usr/bin/env bash
# Runs the grid demo under Wine and Xvfb, which saves one screenshot per header look
# and per colour scheme, one in the main window's fonts, and two at 144 dpi, then
# converts them to PNG in the screenshots folder.
#   grid_demo_shots.sh GRID_DEMO.exe SCREENSHOT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: grid_demo_shots.sh GRID_DEMO.exe DIR}
out=${2:?usage: grid_demo_shots.sh GRID_DEMO.exe DIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The bitmaps land in a folder of this run's own: other tests convert every bitmap in
# the shared screenshots folder while they run.
shots=$(mktemp -d /tmp/qelvaro-grid-shots.XXXXXX)
trap 'rm -rf "$shots"' EXIT
# Wine's Z: drive is the Unix root.
windir="Z:$(printf '%s' "$shots" | tr '/' '\\')"
"$here/../../scripts/wine-run.sh" --display "$exe" "$windir"
# Again at 144 dpi, where check boxes and rows must grow together.
"$here/../../scripts/wine-run.sh" --display "$exe" --dpi 144 "$windir"
count=0
for bmp in "$shots"/grid_style_*.bmp "$shots"/grid_scheme_*.bmp "$shots"/grid_charset_*.bmp "$shots"/grid_dpi*.bmp; do
  [ -f "$bmp" ] || continue
  name=$(basename "$bmp" .bmp)
  convert "$bmp" "$out/$name.png"
  count=$((count + 1))
done
echo "$count screenshots in $out"
[ "$count" = 16 ]
