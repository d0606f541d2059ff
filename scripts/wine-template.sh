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
# Version 5 files carry multi-strings as UTF-16LE (REGEDIT4 would read them as ANSI).
# Arial joins the dialog fonts (the grid's cells use it), and the Chinese system font
# SimSun, which the grid's header asks for by name, is replaced by the installed one.
{
  echo 'Windows Registry Editor Version 5.00'
  echo
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
  for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Arial"; do
    echo "\"$face\"=hex(7):$hex"
  done
  echo
  echo '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
  echo '"SimSun"="WenQuanYi Micro Hei"'
  echo '"NSimSun"="WenQuanYi Micro Hei"'
  printf '"\xe5\xae\x8b\xe4\xbd\x93"="WenQuanYi Micro Hei"\n'  # SimSun's Chinese name
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
wine regedit /s "$reg" >/dev/null 2>&1
wineserver -w
test -f "$dest/system.reg"
echo "template prefix ready: $dest"
