#!/usr/bin/env bash
# What the signer column costs `qelvaro list --image`: a generated image of 300 drivers
# whose catalogs are real signed ones (make_image.py --signed), listed by this build's
# qelvaro and by a build without the column (--baseline PATH: qelvaro built from a
# commit before it), side by side; the runs alternate, each pair in the other order
# than the last, and the minimum, median and maximum of each side and of the pairwise
# ratios are printed: quote the median ratio (this build / the baseline).
#   list_bench.sh --baseline PATH [--qelvaro PATH] [--dir DIR] [--runs N]
set -euo pipefail
. "$(dirname "$0")/../bench_common.sh"
dir=""
runs=9
baseline=""
while [ $# -gt 0 ]; do
  case $1 in
    --qelvaro) qelvaro=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
need_qelvaro
[ -x "$baseline" ] || { echo "list_bench.sh: --baseline PATH, a qelvaro built without the signer column" >&2; exit 2; }
[ -n "$dir" ] || dir=$(mktemp -d /tmp/qelvaro-list-bench.XXXXXX)
image="$dir/image"
if [ ! -d "$image/WINDOWS" ]; then
  rm -rf "$image" "$dir/cp"
  python3 "$here/make_image.py" "$image" "$dir/cp" --drivers 300 --files 10 --kb 16 --signed
fi
"$qelvaro" list --image "$image" 2>/dev/null | awk -F'\t' 'NR > 1 { n[$NF]++ } END { for (s in n) print "signer column: " n[s] " x " s }'

paired_runs "$runs" '"$qelvaro" list --image "$image" >/dev/null 2>&1' '"$baseline" list --image "$image" >/dev/null 2>&1'
echo "list with signers (s, min / median / max): $(printf '%s\n' "${firsts[@]}" | spread 1e9 %.3f)"
echo "list without      (s, min / median / max): $(printf '%s\n' "${seconds[@]}" | spread 1e9 %.3f)"
echo "ratio with / without:                       $(printf '%s\n' "${ratios[@]}" | spread 1 %.2f)"
