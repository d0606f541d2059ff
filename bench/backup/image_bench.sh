#!/usr/bin/env bash
# `qelvaro backup --image` against `cp -r` of the same files, side by side, on the demo
# image (scripts/demo-image.sh), on a generated image of 300 drivers and 3,000 files
# and on a generated image of graphics packages in the driver store, 150 to 300 MB
# each (make_image.py --packages; cp -r copies the package folders' files); and
# `qelvaro list --image` against `hivexregedit --export` of the same SYSTEM hive: a hive
# given with --hive (the Windows 10 hive of the corpus, say, with its .LOG1 and .LOG2
# beside it, which the image takes too) and generated hives of 5,000, 20,000 and
# 40,000 driver keys in one class (make_driver_hive.py; --keys sets the counts). Each
# listing should take well under a second. Each run writes into a fresh folder, with the page cache's dirty data
# written out before it; the runs alternate, each pair in the other order than the
# last, and the minimum, median and maximum of each side and of the pairwise ratios
# are printed. The machine's noise shows in the spread: quote the median ratio.
#   image_bench.sh [--qelvaro PATH] [--dir DIR] [--runs N] [--hive FILE] [--keys "N..."]
#                  [--case demo|drivers|packages|keys]... [--packages N]
set -euo pipefail
. "$(dirname "$0")/../bench_common.sh"
dir=""
runs=7
hive=""
cases=""
packages=3
keys="5000 20000 40000"
while [ $# -gt 0 ]; do
  case $1 in
    --qelvaro) qelvaro=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --hive) hive=$2; shift 2 ;;
    --case) cases="$cases $2"; shift 2 ;;
    --packages) packages=$2; shift 2 ;;
    --keys) keys=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$cases" ] || cases="demo drivers packages keys"
[ -n "$dir" ] || dir=$(mktemp -d /tmp/qelvaro-image-bench.XXXXXX)
mkdir -p "$dir"
need_qelvaro
wants() { case " $cases " in *" $1 "*) return 0 ;; *) return 1 ;; esac; }

# After a timed pair but the warm-up: its times in µs and their ratio, kept in the
# caller's a, b and r.
keep_pair() {
  a+=($((qa / 1000))); b+=($((qb / 1000)))
  r+=("$(awk -v x=$qa -v y=$qb 'BEGIN {printf "%.3f", x / y}')")
}

# print_spreads FORMAT: min / median / max of the caller's a and b in ms and of r, as
# FORMAT's three %s.
print_spreads() {
  printf "$1" \
    "$(printf '%s\n' "${a[@]}" | spread 1000 %.1f)" \
    "$(printf '%s\n' "${b[@]}" | spread 1000 %.1f)" \
    "$(printf '%s\n' "${r[@]}" | spread 1 %.3f)"
}

# compare NAME IMAGE CP_SOURCE
compare() {
  local name=$1 image=$2 source=$3 a=() b=() r=() t0 t1 qa qb
  for ((i = 0; i <= runs; i++)); do
    # Each pair in the other order than the last, and each side after the same
    # preparation (its last output deleted, everything written out): neither side
    # always meets what the other has just left behind.
    for side in $( ((i % 2)) && echo "cp qelvaro" || echo "qelvaro cp"); do
      local out="$dir/out"
      [ "$side" = qelvaro ] || out="$dir/cp-out"
      rm -rf "$out"; mkdir "$out"; sync
      t0=$(now)
      if [ "$side" = qelvaro ]; then
        "$qelvaro" backup --image "$image" --to "$out" >/dev/null 2>&1
      else
        cp -r "$source" "$out/Quorvak"
      fi
      t1=$(now)
      if [ "$side" = qelvaro ]; then qa=$((t1 - t0)); else qb=$((t1 - t0)); fi
    done
    if [ "$i" = 0 ]; then  # warm-up; the backup must hold what cp copied
      diff -r "$dir/out/Quorvak" "$dir/cp-out/Quorvak" >/dev/null ||
        echo "$name: the backup differs from the copy (diff -r $dir/out/Quorvak $dir/cp-out/Quorvak)" >&2
      continue
    fi
    keep_pair
  done
  printf '%s (%d pairs): ms min / median / max\n' "$name" "$runs"
  print_spreads '  qelvaro %s\n  cp -r   %s\n  ratio   %s\n'
}

if wants demo; then
  "$repo/scripts/demo-image.sh" "$dir/demo" >/dev/null
  rm -rf "$dir/demo-cp" "$dir/demo-out" && mkdir "$dir/demo-out" &&
    "$qelvaro" backup --image "$dir/demo" --to "$dir/demo-out" >/dev/null 2>&1
  mv "$dir/demo-out/Quorvak" "$dir/demo-cp" && rmdir "$dir/demo-out"
  compare "demo image" "$dir/demo" "$dir/demo-cp"
fi

if wants drivers; then
  rm -rf "$dir/generated" "$dir/generated-cp"
  python3 "$here/make_image.py" "$dir/generated" "$dir/generated-cp"
  compare "300 drivers, 3000 files" "$dir/generated" "$dir/generated-cp/Quorvak"
fi

if wants packages && [ "$packages" -gt 0 ]; then
  rm -rf "$dir/packages" "$dir/packages-cp"
  python3 "$here/make_image.py" "$dir/packages" "$dir/packages-cp" --drivers 0 --packages "$packages"
  compare "$packages store packages, $(du -sm "$dir/packages/WINDOWS/system32/DriverStore" | cut -f1) MB" \
    "$dir/packages" "$dir/packages-cp/Quorvak"
fi

# list NAME HIVE: `qelvaro list --image` on an image holding HIVE (and its logs) as its
# SYSTEM hive, against hivex's export of the same hive, in pairs as above.
list_pair() {
  local name=$1 hive=$2 image="$dir/list-image" a=() b=() r=() t0 t1 qa qb log
  rm -rf "$image"; mkdir -p "$image/Windows/System32/config"
  # Copies: the image reader follows no link out of the image.
  cp "$hive" "$image/Windows/System32/config/SYSTEM"
  for log in LOG1 LOG2; do
    [ ! -e "$hive.$log" ] || cp "$hive.$log" "$image/Windows/System32/config/SYSTEM.$log"
  done
  for ((i = 0; i <= runs; i++)); do
    for side in $( ((i % 2)) && echo "hivex qelvaro" || echo "qelvaro hivex"); do
      t0=$(now)
      if [ "$side" = qelvaro ]; then
        "$qelvaro" list --image "$image" --all >"$dir/list.txt" 2>/dev/null || true
      else
        hivexregedit --export "$hive" '\' >"$dir/export.reg" 2>/dev/null || true
      fi
      t1=$(now)
      if [ "$side" = qelvaro ]; then qa=$((t1 - t0)); else qb=$((t1 - t0)); fi
    done
    [ "$i" = 0 ] && continue
    keep_pair
  done
  printf '%s: %d drivers listed (%d pairs): ms min / median / max\n' "$name" $(($(wc -l <"$dir/list.txt") - 1)) "$runs"
  print_spreads '  qelvaro list          %s\n  hivexregedit --export %s\n  ratio                 %s\n'
}

if [ -n "$hive" ]; then
  list_pair "list $(basename "$hive")" "$hive"
fi

if wants keys; then
  for n in $keys; do
    python3 "$here/make_driver_hive.py" "$dir/SYSTEM-$n" "$n"
    list_pair "list, $n driver keys in one class" "$dir/SYSTEM-$n"
  done
fi
echo "files left in $dir"
