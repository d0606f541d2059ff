#!/usr/bin/env bash
# The stub's unpacking against `7z x` on the same package (the driver-like corpus of
# the zip benchmark, packed encrypted as a backup package), side by side, five
# alternating runs of each.
#   run.sh   (build first: cmake --preset bench && cmake --build --preset bench --target sfx_bench_cli)
set -euo pipefail
. "$(dirname "$0")/../bench_common.sh"
build=${QELVARO_BENCH_BUILD:-$repo/build/bench}
cli="$build/bench/sfx/sfx_bench_cli"
need_bench_cli "$cli"
corpus="$build/zip-corpus"
"$repo/bench/zipcomp/make_corpus.sh" "$corpus" "${QELVARO_BENCH_MB:-150}"
scratch_dir "$build" sfx-bench
"$cli" pack "$corpus/Quorvak" "$out/Quorvak.exe"
echo "package: $(stat -c %s "$out/Quorvak.exe") bytes, $(find "$corpus/Quorvak" -type f | wc -l) files, $(du -sb "$corpus/Quorvak" | cut -f1) bytes unpacked"
# Both must give the same tree before timing means anything.
"$cli" unpack "$out/Quorvak.exe" "$out/ours"
7z x -y -bd -pqorvantelbrix -o"$out/7z" "$out/Quorvak.exe" >/dev/null
diff -r "$out/ours" "$out/7z" >/dev/null || { echo "the two unpacked trees differ" >&2; exit 1; }
# Alternating runs, so that machine noise hits both alike; compare the medians.
for r in 1 2 3 4 5; do
  /usr/bin/time -f "stub unpack run $r: %e s wall, %U s user, %S s sys" "$cli" unpack "$out/Quorvak.exe" "$out/ours"
  /usr/bin/time -f "7z x        run $r: %e s wall, %U s user, %S s sys" \
    7z x -y -bd -pqorvantelbrix -o"$out/7z" "$out/Quorvak.exe" >/dev/null
done

# The real stub under Wine on the same archive, when both are here: Wine's own start
# (a persistent server in a private prefix) is part of its figure.
stub="$repo/build/win32/sfx/sfx.bin"
template="$repo/build/win32/wine-template"
if [ -f "$stub" ] && [ -f "$template/system.reg" ] && command -v wine >/dev/null; then
  "$cli" pack "$corpus/Quorvak" "$out/real.exe" "$stub"
  export WINEPREFIX="$out/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
  cp -a "$template" "$WINEPREFIX"
  wineserver -p
  wine "$out/real.exe" /q  # warm-up
  for r in 1 2 3 4 5; do
    /usr/bin/time -f "stub under Wine run $r: %e s wall, %U s user, %S s sys" wine "$out/real.exe" /q
    /usr/bin/time -f "7z x           run $r: %e s wall, %U s user, %S s sys" \
      7z x -y -bd -pqorvantelbrix -o"$out/7z" "$out/real.exe" >/dev/null
  done
  wineserver -k
fi
