#!/usr/bin/env bash
# `qelvaro verify DIR` against `sha256sum -c SHA256SUMS` on the same folder backup,
# side by side in one run: a generated backup of 300 drivers with 3,000 small files
# and a few large ones (a graphics driver's 150 MB), each driver with its INF and a
# signed catalog listing its files (which qelvaro checks too; sha256sum does not), its
# SHA256SUMS written by sha256sum itself. The page cache is warm for both (each reads the same files just
# read by the other); the runs alternate, each pair in the other order than the last,
# and the minimum, median and maximum of each side and of the pairwise ratios
# (qelvaro / sha256sum) are printed: quote the median ratio.
#   verify_bench.sh [--qelvaro PATH] [--dir DIR] [--runs N]
set -euo pipefail
. "$(dirname "$0")/../bench_common.sh"
dir=""
runs=7
while [ $# -gt 0 ]; do
  case $1 in
    --qelvaro) qelvaro=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
need_qelvaro
[ -n "$dir" ] || dir=$(mktemp -d /tmp/qelvaro-verify-bench.XXXXXX)
backup="$dir/Quorvak"
# A driver folder's INF, naming its catalog, and the catalog, signed, listing every file.
#   sign_driver FOLDER
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
sign_driver() {
  local folder=$1 f args=()
  printf '[Version]\r\nSignature="$Windows NT$"\r\nCatalogFile=driver.cat\r\n' > "$folder/driver.inf"
  for f in "$folder"/*; do args+=(--flat "$f"); done
  python3 "$repo/tests/signatures/make_catalog.py" -o "$folder/driver.unsigned" --alg sha256 "${args[@]}"
  sh "$repo/tests/signatures/sign_catalog.sh" "$keys/publisher" "-newkey rsa:2048" "Bench Publisher" \
    "$folder/driver.unsigned" "$folder/driver.cat"
  rm "$folder/driver.unsigned"
}
if [ ! -f "$backup/SHA256SUMS" ]; then
  rm -rf "$backup"
  for ((d = 0; d < 300; d++)); do
    folder="$backup/Class$((d % 12))/驱动 $d"
    mkdir -p "$folder"
    for ((f = 0; f < 10; f++)); do head -c $(( (d * 7919 + f * 104729) % 200000 + 100 )) /dev/urandom > "$folder/file$f.sys"; done
    sign_driver "$folder"
  done
  mkdir -p "$backup/Display/Big GPU"
  for f in 1 2 3; do head -c 50000000 /dev/urandom > "$backup/Display/Big GPU/part$f.bin"; done
  sign_driver "$backup/Display/Big GPU"
  (cd "$backup" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum > SHA256SUMS)
fi

paired_runs "$runs" '"$qelvaro" verify "$backup" >/dev/null' '(cd "$backup" && sha256sum --quiet -c SHA256SUMS)'
echo "qelvaro verify (s, min / median / max): $(printf '%s\n' "${firsts[@]}" | spread 1e9 %.3f)"
echo "sha256sum -c   (s, min / median / max): $(printf '%s\n' "${seconds[@]}" | spread 1e9 %.3f)"
echo "ratio qelvaro / sha256sum:              $(printf '%s\n' "${ratios[@]}" | spread 1 %.2f)"
