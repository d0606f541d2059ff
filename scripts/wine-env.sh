# Sourced by the Wine scripts: quiet, no Mono/Gecko prompts, no desktop integration.
export WINEDEBUG=-all
# winedbg off: a crashing program must end with its exception code, not with 0 after
# the debugger has printed its report.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEARCH=win64

# Fills PREFIX from a template prefix: files hard-linked, except the registry files,
# which Wine rewrites in place and which must stay the template's own.
wine_prefix_from_template() {
  local template=$1 prefix=$2 f
  cp -al "$template/." "$prefix/"
  for f in "$prefix"/*.reg; do cp --remove-destination "$template/$(basename "$f")" "$f"; done
}

# Links a CJK font into the dialog fonts of $WINEPREFIX, so that Chinese text renders:
# Arial joins them (the grid's cells use it), and the Chinese system font SimSun, which
# the grid's header asks for by name, is replaced by the installed one.
wine_link_cjk_font() {
  local reg hex face
  reg=$(mktemp --suffix=.reg)
  # REG_MULTI_SZ as hex(7): the font link entry in UTF-16LE with two terminating NULs.
  hex=$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei\0\0' | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v |
    tr -s ' \n' ',' | sed 's/^,//;s/,$//')
  # Version 5 files carry multi-strings as UTF-16LE (REGEDIT4 would read them as ANSI).
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
  rm -f "$reg"
}
