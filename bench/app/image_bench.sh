#!/usr/bin/env bash
# `qelvaro backup --image` against `cp -r` of the same files, side by side, on the demo
# image (scripts/demo-image.sh) and on a generated image of 300 drivers and 3,000
# files (make_image.py); and `qelvaro list --image` on a hive given with --hive (the
# Windows 10 hive of the corpus, say). Each run writes into a fresh folder; the runs
# alternate, and the medians and the median of the pairwise ratios are printed.
#   image_bench.sh [--qelvaro PATH] [--dir DIR] [--runs N] [--hive FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
qelvaro="$root/build/release/cli/qelvaro"
dir=""
runs=7
hive=""
while [ $# -gt 0 ]; do
  case $1 in
    --qelvaro) qelvaro=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --hive) hive=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$dir" ] || dir=$(mktemp -d /tmp/qelvaro-image-bench.XXXXXX)
mkdir -p "$dir"
[ -x "$qelvaro" ] || { echo "no $qelvaro (cmake --preset release && cmake --build --preset release --target qelvaro)" >&2; exit 2; }

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# compare NAME IMAGE CP_SOURCE
compare() {
  local name=$1 image=$2 source=$3 a=() b=() r=() t0 t1 t2
  for ((i = 0; i <= runs; i++)); do
    rm -rf "$dir/out" "$dir/cp-out"; mkdir "$dir/out" "$dir/cp-out"; sync
    t0=$(now)
    "$qelvaro" backup --image "$image" --to "$dir/out" >/dev/null 2>&1
    t1=$(now)
    cp -r "$source" "$dir/cp-out/Quorvak"
    t2=$(now)
    [ "$i" = 0 ] && continue  # warm-up
    a+=($(( (t1 - t0) / 1000 ))); b+=($(( (t2 - t1) / 1000 )))
    r+=("$(awk -v x=$((t1 - t0)) -v y=$((t2 - t1)) 'BEGIN {printf "%.3f", x / y}')")
  done
  printf '%-22s qelvaro %8.1f ms   cp -r %8.1f ms   ratio %s (median of %d pairs)\n' "$name" \
    "$(printf '%s\n' "${a[@]}" | median | awk '{print $1/1000}')" \
    "$(printf '%s\n' "${b[@]}" | median | awk '{print $1/1000}')" \
    "$(printf '%s\n' "${r[@]}" | median)" "$runs"
}

"$root/scripts/demo-image.sh" "$dir/demo" >/dev/null
rm -rf "$dir/demo-cp" "$dir/demo-out" "$dir/generated" "$dir/generated-cp" && mkdir "$dir/demo-out" && "$qelvaro" backup --image "$dir/demo" --to "$dir/demo-out" >/dev/null 2>&1
mv "$dir/demo-out/Quorvak" "$dir/demo-cp" && rmdir "$dir/demo-out"
compare "demo image" "$dir/demo" "$dir/demo-cp"

python3 "$here/make_image.py" "$dir/generated" "$dir/generated-cp"
compare "300 drivers, 3000 files" "$dir/generated" "$dir/generated-cp/Quorvak"

if [ -n "$hive" ]; then
  mkdir -p "$dir/hive/Windows/System32/config"
  ln -sf "$(realpath "$hive")" "$dir/hive/Windows/System32/config/SYSTEM"
  t=()
  for ((i = 0; i <= runs; i++)); do
    t0=$(now); "$qelvaro" list --image "$dir/hive" --allow-dirty --all >/dev/null 2>&1; t1=$(now)
    [ "$i" = 0 ] || t+=($(( (t1 - t0) / 1000 )))
  done
  printf '%-22s qelvaro list %8.1f ms (median of %d)\n' "list $(basename "$hive")" \
    "$(printf '%s\n' "${t[@]}" | median | awk '{print $1/1000}')" "$runs"
fi
echo "files left in $dir"
