#!/usr/bin/env bash
# Side-by-side comparison on one corpus: our zip command, Info-ZIP (zip -r -6) and
# 7-Zip (7z a -tzip -mx=5 -mmt=2), run in turns so that machine noise hits all three
# alike. Prints min/median/max wall time, archive sizes and the ratios to Info-ZIP.
#   run.sh [RUNS]   (build first: cmake --preset bench -B build/zip-bench &&
#                    ninja -C build/zip-bench qzip_bench_cli)
set -euo pipefail
runs=${1:-5}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${QELVARO_BENCH_BUILD:-$repo/build/zip-bench}
cli="$build/bench/zipcomp/qzip_bench_cli"
[ -x "$cli" ] || { echo "missing $cli: build the bench preset first" >&2; exit 1; }
corpus="$build/zip-corpus"
"$here/make_corpus.sh" "$corpus" "${QELVARO_BENCH_MB:-250}"
root="$corpus/Quorvak"
out=$(mktemp -d "$build/zip-bench-out.XXXXXX")
trap 'rm -rf "$out"' EXIT
input=$(du -sb "$root" | cut -f1)

now() { date +%s.%N; }
declare -A times sizes
run_one() {  # name, archive, command...
  local name=$1 archive=$2
  shift 2
  rm -f "$archive"
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>&1 || { echo "$name failed" >&2; exit 1; }
  t1=$(now)
  times[$name]+="$(echo "$t1 - $t0" | bc -l) "
  sizes[$name]=$(stat -c %s "$archive")
}

for r in $(seq "$runs"); do
  run_one qelvaro "$out/q.zip" "$cli" zip "$root" "$out/q.zip" --level 6
  run_one infozip "$out/i.zip" bash -c "cd '$root' && zip -r -6 -q '$out/i.zip' ."
  run_one 7zip "$out/s.zip" bash -c "cd '$root' && 7z a -tzip -mx=5 -mmt=2 -bd '$out/s.zip' . "
  echo "run $r/$runs done" >&2
done

stats() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {printf "%.2f %.2f %.2f\n", a[1], (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2), a[NR]}'; }
echo "input: $(find "$root" -type f | wc -l) files, $input bytes; $runs runs each; $(nproc) cores"
printf '%-8s %8s %8s %8s %12s %8s\n' tool min_s med_s max_s size_bytes of_input
declare -A med
for name in qelvaro infozip 7zip; do
  read -r mn md mx < <(echo "${times[$name]}" | stats)
  med[$name]=$md
  printf '%-8s %8s %8s %8s %12s %7.1f%%\n' "$name" "$mn" "$md" "$mx" "${sizes[$name]}" \
    "$(echo "100 * ${sizes[$name]} / $input" | bc -l)"
done
printf 'throughput vs Info-ZIP (median): qelvaro %.2fx, 7-Zip %.2fx\n' \
  "$(echo "${med[infozip]} / ${med[qelvaro]}" | bc -l)" "$(echo "${med[infozip]} / ${med[7zip]}" | bc -l)"
printf 'size vs Info-ZIP: qelvaro %.2f%%, 7-Zip %.2f%%\n' \
  "$(echo "100 * ${sizes[qelvaro]} / ${sizes[infozip]}" | bc -l)" "$(echo "100 * ${sizes[7zip]} / ${sizes[infozip]}" | bc -l)"
