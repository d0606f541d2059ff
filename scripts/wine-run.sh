#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix copied from the template.
#   wine-run.sh [--seed-demo] [--display | --desktop WxH] PROGRAM.exe [ARGS...]
# --seed-demo lays the demo driver set into the prefix first (scripts/demo-set.sh).
# --display starts a private Xvfb for programs that open windows.
# --desktop also runs the program inside a Wine virtual desktop of that size, so that
#   windows get their frames and title bars as a user sees them (for screenshots).
#   Wine's explorer does not pass the exit code on: the program writes it to the file
#   named by QELVARO_EXIT_FILE, and that is what this script returns.
# Bitmaps that a program saves into QELVARO_SCREENSHOT_DIR are turned into PNG files.
# QELVARO_WINE_TEMPLATE names the template (scripts/wine-template.sh makes it).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

display=0
desktop=""
seed=0
if [ "${1:-}" = --seed-demo ]; then seed=1; shift; fi
if [ "${1:-}" = --display ]; then display=1; shift; fi
if [ "${1:-}" = --desktop ]; then display=1; desktop=${2:?--desktop needs WxH}; shift 2; fi
exe=${1:?usage: wine-run.sh [--display] PROGRAM.exe [ARGS...]}
shift
template=${QELVARO_WINE_TEMPLATE:?QELVARO_WINE_TEMPLATE is not set}
if [ ! -f "$template/system.reg" ]; then
  echo "wine-run: no template prefix at $template (run scripts/wine-template.sh)" >&2
  exit 2
fi

prefix=$(mktemp -d /tmp/qelvaro-wine.XXXXXX)
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

# Hard links keep the copy instant (a prefix is over 1 GB); the files Wine rewrites
# (the registry) are real copies so that the template never changes.
wine_prefix_from_template "$template" "$prefix"
export WINEPREFIX="$prefix"
export QELVARO_WINE_PREFIX="$prefix"
if [ "$seed" = 1 ]; then "$here/demo-set.sh" "$prefix" || { echo "wine-run: demo set failed" >&2; exit 1; }; fi

convert_screenshots() {
  local dir=${QELVARO_SCREENSHOT_DIR:-}
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  for bmp in "$dir"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
}

if [ -n "$desktop" ]; then
  exit_file="$prefix/exit-code"
  export QELVARO_EXIT_FILE="Z:$(printf '%s' "$exit_file" | tr / '\\')"
  xvfb-run -a -s "-screen 0 1920x1200x24" wine explorer "/desktop=qelvaro,$desktop" "$exe" "$@"
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  convert_screenshots
  if [ ! -f "$exit_file" ]; then
    echo "wine-run: $exe left no exit code (it crashed or never ran)" >&2
    exit 1
  fi
  exit "$(tr -d '\r\n' < "$exit_file")"
elif [ "$display" = 1 ]; then
  xvfb-run -a -s "-screen 0 1920x1200x24" wine "$exe" "$@"
  status=$?
  convert_screenshots
  exit $status
else
  wine "$exe" "$@"
fi
