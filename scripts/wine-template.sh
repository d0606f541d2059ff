#!/usr/bin/env bash
# Makes the template Wine prefix of one test run: a fresh 64-bit prefix (so 32-bit
# programs run under WOW64, as on 64-bit Windows) with a CJK font linked into the
# dialog fonts so that Chinese text renders.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
dest=${1:?usage: wine-template.sh DIR}

rm -rf "$dest"
mkdir -p "$(dirname "$dest")"
export WINEPREFIX="$dest"
wineboot -i >/dev/null 2>&1
wineserver -w

wine_link_cjk_font
test -f "$dest/system.reg"
echo "template prefix ready: $dest"
