#!/usr/bin/env bash
# Side-by-side comparison on one corpus: our zip command, Info-ZIP (zip -r -6) and
# 7-Zip (7z a -tzip -mx=5 -mmt=2), run in turns so that machine noise hits all three
# alike. Prints min/median/max of wall time and of CPU time, archive sizes, and the
# ratios to Info-ZIP (of the medians, and per run, since each run's three are close
# together in time).
#   run.sh [RUNS]   (build first: cmake --preset bench -B build/zip-bench &&
#                    ninja -C build/zip-bench qzip_bench_cli)
set -euo pipefail
runs=${1:-5}
. "$(dirname "$0")/../bench_common.sh"
build=${QELVARO_BENCH_BUILD:-$repo/build/zip-bench}
cli="$build/bench/zipcomp/qzip_bench_cli"
need_bench_cli "$cli"
corpus="$build/zip-corpus"
"$here/make_corpus.sh" "$corpus" "${QELVARO_BENCH_MB:-250}"
root="$corpus/Quorvak"
scratch_dir "$build" zip-bench-out
input=$(du -sb "$root" | cut -f1)
results="$out/results"  # lines: tool run wall cpu size

TIMEFORMAT='%R %U %S'
run_one() {  # tool, run, archive, command...
  local tool=$1 run=$2 archive=$3
  shift 3
  rm -f "$archive"
  local t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || { echo "$tool failed" >&2; exit 1; }
  read -r real user sys <<<"$t"
  echo "$tool $run $real $(awk -v u="$user" -v s="$sys" 'BEGIN {print u + s}') $(stat -c %s "$archive")" >>"$results"
}

for r in $(seq "$runs"); do
  run_one qelvaro "$r" "$out/q.zip" "$cli" zip "$root" "$out/q.zip" --level 6
  run_one infozip "$r" "$out/i.zip" bash -c "cd '$root' && zip -r -6 -q '$out/i.zip' ."
  run_one 7zip "$r" "$out/s.zip" bash -c "cd '$root' && 7z a -tzip -mx=5 -mmt=2 -bd '$out/s.zip' ."
  echo "run $r/$runs done" >&2
done

echo "input: $(find "$root" -type f | wc -l) files, $input bytes; $runs runs each; $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v input="$input" '
  function sort(a, n,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t } }
  function med(a, n) { return n % 2 ? a[(n+1)/2] : (a[n/2] + a[n/2+1]) / 2 }
  { wall[$1, $2] = $3; cpu[$1, $2] = $4; size[$1] = $5; if ($2 > runs) runs = $2 }
  END {
    printf "%-8s %28s %28s %12s %9s\n", "tool", "wall s min/median/max", "cpu s min/median/max", "size bytes", "of input"
    split("qelvaro infozip 7zip", tools, " ")
    for (k = 1; k <= 3; k++) {
      t = tools[k]
      for (r = 1; r <= runs; r++) { w[r] = wall[t, r]; c[r] = cpu[t, r] }
      sort(w, runs); sort(c, runs)
      mw[t] = med(w, runs)
      printf "%-8s %9.2f %8.2f %9.2f %9.2f %8.2f %9.2f %12d %8.1f%%\n", t, w[1], mw[t], w[runs], c[1], med(c, runs), c[runs], size[t], 100 * size[t] / input
    }
    for (k = 1; k <= 3; k += 2) {
      t = tools[k]
      for (r = 1; r <= runs; r++) q[r] = wall["infozip", r] / wall[t, r]
      sort(q, runs)
      printf "throughput of %s vs Info-ZIP: %.2fx of the medians; per run min/median/max %.2fx / %.2fx / %.2fx\n", t, mw["infozip"] / mw[t], q[1], med(q, runs), q[runs]
    }
    printf "size vs Info-ZIP: qelvaro %.2f%%, 7-Zip %.2f%%\n", 100 * size["qelvaro"] / size["infozip"], 100 * size["7zip"] / size["infozip"]
  }' "$results"
