#!/usr/bin/env bash
# Fails when a Windows binary under the given build folder imports a DLL that is
# not part of Windows itself (a mingw runtime DLL, a third-party library). Which
# folder's code may include which is scripts/check-layout.py's.
set -uo pipefail
dir=${1:?usage: check-imports.sh BUILD_DIR}
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|olepro32|comctl32|comdlg32|uxtheme|msimg32|version|setupapi|newdev|msvcrt|ws2_32|crypt32|bcrypt|ntdll|imm32|winmm|rpcrt4|dwmapi|userenv|wintrust|psapi)\.dll$'
status=0
count=0

while IFS= read -r -d '' bin; do
  case "$bin" in */third_party/*|*/CMakeFiles/*|*/wine-template/*) continue ;; esac
  count=$((count + 1))
  # The 64-bit installer is read with the 64-bit tools.
  imports=$(i686-w64-mingw32-objdump -p "$bin" 2>/dev/null || x86_64-w64-mingw32-objdump -p "$bin" 2>/dev/null)
  while read -r dll; do
    if ! printf '%s\n' "${dll,,}" | grep -Eq "$allowed"; then
      echo "$bin imports $dll, which is not a system DLL"
      status=1
    fi
  done < <(printf '%s\n' "$imports" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
if [ "$count" = 0 ]; then
  echo "no Windows binaries found under $dir"
  exit 1
fi
echo "$count Windows binaries checked"
exit $status
