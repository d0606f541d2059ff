#!/usr/bin/env bash
# release.sh --check-reproducible publishes a build only once the two builds are shown
# identical, and its notes name the host's packages. The builds here are a few files
# laid out as a release lays them out (a full release takes many minutes).
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
. "$source_root/scripts/release.sh"
tmp=$(mktemp -d /tmp/qelvaro-release-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
repo=$tmp/repo version=9.8.7 commit=0123abcd SOURCE_DATE_EPOCH=0
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A build in $1 whose every compared file holds $2, except $3 (if given), which holds $4.
fake_build() {
  local f
  for f in $(compared_files); do
    mkdir -p "$1/$(dirname "$f")"
    if [ "$f" = "${3:-}" ]; then printf '%s' "$4" >"$1/$f"; else printf '%s %s' "$2" "$f" >"$1/$f"; fi
  done
}

# case | what dist/ held before | file of the second build that differs | exit | what dist/ holds after
cases=(
  "identical|old||0|new"
  "a program differs|old|win32/sfx/sfx.bin|1|old"
  "an archive differs, no dist before||dist/qelvaro-9.8.7-windows-x86.zip|1|"
  "the notes differ|old|dist/release-notes.txt|1|old"
)
for c in "${cases[@]}"; do
  IFS='|' read -r what before differs code after <<<"$c"
  rm -rf "$tmp/repo" "$tmp/first" "$tmp/second"
  mkdir -p "$tmp/repo"
  [ -n "$before" ] && { mkdir -p "$tmp/repo/dist"; echo "$before" >"$tmp/repo/dist/SHA256SUMS"; }
  fake_build "$tmp/first" new
  fake_build "$tmp/second" new "$differs" other
  got=0
  (publish_if_identical "$tmp/first" "$tmp/second") >"$tmp/out" 2>&1 || got=$?
  [ "$got" = "$code" ] || fail "$what: exit $got, not $code"
  held=""
  [ -f "$tmp/repo/dist/SHA256SUMS" ] && held=$(cut -d' ' -f1 "$tmp/repo/dist/SHA256SUMS")
  [ "$held" = "$after" ] || fail "$what: dist/ holds '$held', not '$after'"
  [ ! -e "$tmp/repo/dist.new" ] || fail "$what: dist.new left behind"
done

# The notes name the compilers and libraries with their versions.
write_notes "$tmp/notes" "$source_root" || fail "write_notes failed"
for p in g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix libz-mingw-w64-dev mingw-w64-common gcc-mingw-w64-base; do
  awk -v p="$p" '$1 == p && $2 ~ /^[0-9]/ { found = 1 } END { exit !found }' "$tmp/notes" ||
    fail "the notes give no version of $p"
done
grep -qE '^  g\+\+-[0-9]+ +[0-9]' "$tmp/notes" || fail "the notes give no version of the native g++"
grep -q "commit 0123abcd" "$tmp/notes" || fail "the notes do not name the commit"
grep -q "source 1.14-1, pinned" "$tmp/notes" || fail "the notes do not name libdeflate's pinned source"

[ "$failures" = 0 ] && echo "release publish test: all passed"
exit "$failures"
