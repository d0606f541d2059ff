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

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
font='"wqy-microhei.ttc,WenQuanYi Micro Hei"'
# REG_MULTI_SZ as hex(7): the font link entry in UTF-16LE with two terminating NULs.
hex=$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei\0\0' | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//;s/,$//')
{
  echo 'REGEDIT4'
  echo
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
  for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
    echo "\"$face\"=hex(7):$hex"
  done
} > "$reg"
wine regedit /s "$reg" >/dev/null 2>&1
wineserver -w
test -f "$dest/system.reg"
echo "template prefix ready: $dest"
