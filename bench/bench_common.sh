# Sourced by the benchmark scripts (after their own `set -euo pipefail`): where they
# are, the programs they time, a scratch folder, and the min / median / max of timings.

# The sourcing script's folder and the repository's.
here=$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The qelvaro command of the release build, which the app benchmarks time unless told
# another with --qelvaro.
qelvaro="$repo/build/release/cli/qelvaro"

need_qelvaro() {
  [ -x "$qelvaro" ] || { echo "no $qelvaro (cmake --preset release && cmake --build --preset release --target qelvaro)" >&2; exit 2; }
}

# need_bench_cli PATH: a program of the bench preset's build.
need_bench_cli() {
  [ -x "$1" ] || { echo "missing $1: build the bench preset first" >&2; exit 1; }
}

# scratch_dir PARENT NAME: a fresh folder in PARENT as $out, removed when the script ends.
scratch_dir() {
  out=$(mktemp -d "$1/$2.XXXXXX")
  trap 'rm -rf "$out"' EXIT
}

now() { date +%s%N; }

# "min / median / max" of numbers, one a line, each divided by SCALE, in FORMAT.
#   spread SCALE FORMAT
spread() {
  sort -n | awk -v s="$1" -v f="$2" '{a[NR]=$1} END {
    m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2
    printf f " / " f " / " f, a[1] / s, m / s, a[NR] / s }'
}

# paired_runs RUNS FIRST SECOND: runs the shell commands FIRST and SECOND one after the
# other RUNS + 1 times, each pair in the other order than the last; the first pair
# only warms the cache. Sets the arrays `firsts` and `seconds` (nanoseconds) and
# `ratios` (first / second), one entry per timed pair.
paired_runs() {
  local runs=$1 first=$2 second=$3 i side t0 t1 ta tb
  firsts=() seconds=() ratios=()
  for ((i = 0; i <= runs; i++)); do
    for side in $( ((i % 2)) && echo "2 1" || echo "1 2"); do
      t0=$(now)
      if [ "$side" = 1 ]; then eval "$first"; else eval "$second"; fi
      t1=$(now)
      [ "$side" = 1 ] && ta=$((t1 - t0)) || tb=$((t1 - t0))
    done
    ((i == 0)) && continue
    firsts+=("$ta"); seconds+=("$tb"); ratios+=("$(awk -v x="$ta" -v y="$tb" 'BEGIN { print x / y }')")
  done
}
