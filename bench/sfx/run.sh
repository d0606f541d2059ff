#!/usr/bin/env bash
# The stub's unpacking against `7z x` on the same package (the driver-like corpus of
# the zip benchmark, packed encrypted as a backup package), side by side: farm-bench
# when the machine has it, else /usr/bin/time for one run of each.
#   run.sh   (build first: cmake --preset bench && cmake --build --preset bench --target sfx_bench_cli)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${QELVARO_BENCH_BUILD:-$repo/build/bench}
cli="$build/bench/sfx/sfx_bench_cli"
[ -x "$cli" ] || { echo "missing $cli: build the bench preset first" >&2; exit 1; }
corpus="$build/zip-corpus"
"$repo/bench/zipcomp/make_corpus.sh" "$corpus" "${QELVARO_BENCH_MB:-150}"
out=$(mktemp -d "$build/sfx-bench.XXXXXX")
trap 'rm -rf "$out"' EXIT
"$cli" pack "$corpus/Quorvak" "$out/Quorvak.exe"
echo "package: $(stat -c %s "$out/Quorvak.exe") bytes, $(find "$corpus/Quorvak" -type f | wc -l) files, $(du -sb "$corpus/Quorvak" | cut -f1) bytes unpacked"
# Both must give the same tree before timing means anything.
"$cli" unpack "$out/Quorvak.exe" "$out/ours"
7z x -y -bd -pqorvantelbrix -o"$out/7z" "$out/Quorvak.exe" >/dev/null
diff -r "$out/ours" "$out/7z" >/dev/null || { echo "the two unpacked trees differ" >&2; exit 1; }
if command -v farm-bench >/dev/null; then
  farm-bench --timeout 600 --vs "7z x -y -bd -pqorvantelbrix -o$out/7z $out/Quorvak.exe" -- "$cli" unpack "$out/Quorvak.exe" "$out/ours"
else
  /usr/bin/time -f "stub unpack: %e s wall, %U s user" "$cli" unpack "$out/Quorvak.exe" "$out/ours"
  /usr/bin/time -f "7z x:        %e s wall, %U s user" 7z x -y -bd -pqorvantelbrix -o"$out/7z" "$out/Quorvak.exe" >/dev/null
fi
