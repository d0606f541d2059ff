#!/usr/bin/env bash
# The layout check on small trees: each crossing it must name, and what it must let pass.
set -uo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layout.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME WANT_RC WANT_TEXT FILE=CONTENT...
expect() {
  local name=$1 want=$2 text=$3; shift 3
  local tree="$work/$name"
  mkdir -p "$tree"
  for entry in "$@"; do
    mkdir -p "$tree/$(dirname "${entry%%=*}")"
    printf '%b\n' "${entry#*=}" > "$tree/${entry%%=*}"
  done
  local out rc
  out=$(python3 "$check" "$tree" 2>&1); rc=$?
  if [ "$rc" != "$want" ] || ! grep -qF -- "$text" <<<"$out"; then
    echo "FAIL $name: exit $rc (want $want), output:"; echo "$out"; failures=$((failures + 1))
  fi
}

expect down 0 "none crosses" 'inf/inf_values.h=#include "file_system.h"' 'files/file_system.h=#include "base/utf8.h"' 'base/utf8.h='
expect up 1 "base/ may not use drivers/" 'base/utf8.cpp=#include "drivers/driver_store.h"' 'drivers/driver_store.h='
expect bare_name_up 1 "registry/ may not use backup/" 'registry/md_registry.cpp=#include "backup_report.h"' 'backup/backup_report.h='
expect into_the_program 1 "cli/ may not use app/" 'cli/cmd_list.cpp=#include "frm_main_texts.h"' 'app/core/frm_main_texts.h='
expect sideways 1 "zipcomp/ may not use sfx/" 'zipcomp/zip_command.cpp=#include "sfx/sfx_texts.h"' 'sfx/sfx_texts.h='
expect portable_to_win32 1 "portable code includes the Windows-only" 'files/file_system.cpp=#include "win32_file_system.h"' 'files/win32/win32_file_system.h='
expect guarded_win32 0 "none crosses" 'zipcomp/zip_paths.cpp=#ifdef _WIN32\n#include "base/win32/wide_string.h"\n#else\n#include "base/utf8.h"\n#endif' 'base/win32/wide_string.h=' 'base/utf8.h='
expect after_else 1 "portable code includes" 'zipcomp/zip_paths.cpp=#ifdef _WIN32\n#else\n#include "base/win32/wide_string.h"\n#endif' 'base/win32/wide_string.h='
expect twin_headers 1 "two headers named ui.h" 'base/ui.h=' 'app/core/ui.h='
expect tests_may_use_all 0 "none crosses" 'tests/app/x_test.cpp=#include "frm_main.h"' 'app/win32/frm_main.h='
expect library_uses_tests 1 "which is test code" 'backup/backup_root.cpp=#include "fake_windows_tree.h"' 'tests/support/fake_windows_tree.h='

[ "$failures" = 0 ] && echo "layout check: all cases as expected"
exit $(( failures > 0 ))
