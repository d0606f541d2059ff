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
