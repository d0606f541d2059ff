#!/usr/bin/env bash
# Builds everything and runs Qelvaro on the bundled demo driver set: Quorvak.exe under
# Wine in a throwaway prefix that holds the demo drivers. With a display ($DISPLAY)
# the window opens there and the script ends when it is closed; without one it runs
# under Xvfb, takes a screenshot and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QELVARO_JOBS:-$(nproc)}
"$root/scripts/deps.sh"
echo "building (native and Windows)..."
# The native qelvaro that users run is the optimised build; the sanitizer build
# (preset linux) is for the tests.
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target qelvaro >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" >/dev/null

echo "what a backup reads from the demo INF files:"
(cd resources/demo/inf && "$root/build/release/cli/qelvaro" inf qvdisp.inf qvnet.inf qvprint.inf)

. "$root/scripts/wine-env.sh"
template="$root/build/win32/wine-template"
[ -f "$template/system.reg" ] || "$root/scripts/wine-template.sh" "$template" >/dev/null
prefix="$root/build/demo-prefix"
rm -rf "$prefix"
mkdir -p "$prefix"
wine_prefix_from_template "$template" "$prefix"
"$root/scripts/demo-set.sh" "$prefix"
export WINEPREFIX="$prefix"
program="$prefix/drive_c/Program Files/Qelvaro"
mkdir -p "$program"
cp build/win32/app/win32/Quorvak.exe "$program/"
demo="$root/build/win32/tests/e2e/QelvaroDemo.exe"
export QELVARO_SCREENSHOT_DIR="$root/build/screenshots"
mkdir -p "$QELVARO_SCREENSHOT_DIR"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "starting Quorvak.exe on $DISPLAY (close its window to end)"
  wine "$demo" 'C:\Program Files\Qelvaro\Quorvak.exe'
  wineserver -w
else
  echo "no display: running Quorvak.exe under Xvfb"
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    wine explorer /desktop=qelvaro,1024x768 "$demo" 'C:\Program Files\Qelvaro\Quorvak.exe' --screenshot demo-quorvak --close
  wineserver -w
  bmp="$QELVARO_SCREENSHOT_DIR/demo-quorvak.bmp"
  if [ -f "$bmp" ]; then
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    echo "screenshot: ${bmp%.bmp}.png"
  else
    echo "no screenshot was taken" >&2
    exit 1
  fi
fi
