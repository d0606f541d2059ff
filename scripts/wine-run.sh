#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix copied from the template.
#   wine-run.sh [--display] PROGRAM.exe [ARGS...]
# --display starts a private Xvfb for programs that open windows.
# QELVARO_WINE_TEMPLATE names the template (scripts/wine-template.sh makes it).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

display=0
if [ "${1:-}" = --display ]; then display=1; shift; fi
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
cp -al "$template/." "$prefix/"
for f in "$prefix"/*.reg; do cp --remove-destination "$template/$(basename "$f")" "$f"; done
export WINEPREFIX="$prefix"
export QELVARO_WINE_PREFIX="$prefix"

if [ "$display" = 1 ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" wine "$exe" "$@"
else
  wine "$exe" "$@"
fi
