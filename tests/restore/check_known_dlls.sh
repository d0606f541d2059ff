#!/usr/bin/env bash
# setup.exe runs elevated from the package's unpack folder, and the 64-bit installer
# from a temporary folder: whatever DLL they import statically is looked for in that
# folder first unless Windows keeps it as a KnownDLL (or, for comctl32 v6, takes it
# side by side from the manifest). Anything else must be loaded at run time from
# System32 (setupapi, newdev) or delay-loaded (uxtheme, msimg32).
#   check_known_dlls.sh OBJDUMP PROGRAM.exe...
set -uo pipefail
objdump=$1; shift
allowed=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll ole32.dll "
status=0
for exe in "$@"; do
  # The 64-bit binutils read both kinds of executable; the given one may not.
  if ! dlls=$("$objdump" -p "$exe" 2>/dev/null || x86_64-w64-mingw32-objdump -p "$exe"); then
    echo "FAIL: cannot read the imports of $exe"; status=1; continue
  fi
  dlls=$(printf '%s\n' "$dlls" | awk '/DLL Name:/ {print $3}')
  if [ -z "$dlls" ]; then echo "FAIL: no imports read from $exe"; status=1; continue; fi
  while read -r dll; do
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    case "$allowed" in
      *" $lower "*) ;;
      *) echo "FAIL: $(basename "$exe") imports $dll statically"; status=1 ;;
    esac
  done <<< "$dlls"
  [ $status = 0 ] && echo "ok: $(basename "$exe") imports $(echo $dlls)"
done
exit $status
