#!/usr/bin/env bash
# Peak memory of `qelvaro inf` on large generated INFs, as a multiple of the file's
# size (GNU time's maximum resident set size), with the seconds each took. The INFs
# hold one kind of line repeated to the size asked: `a=b` in [Strings], in
# [SourceDisksFiles] and in a section nothing names; a distinct file name a line in
# [SourceDisksFiles] (each one a file of the report, so that one costs what the
# report holds); a distinct section header a line; and "shared": N models whose N
# install sections all copy one file list of N files (each list is resolved once, so
# this costs its size, not N times N). With --vs, a second qelvaro
# (an older build, say) runs on the same files, each pair in the other order than the
# last.
#   inf_memory.sh [--qelvaro PATH] [--vs PATH] [--dir DIR] [--mb N] [--runs N] [--kind K]...
set -euo pipefail
. "$(dirname "$0")/../bench_common.sh"
other=""
dir=""
mb=200
runs=1
kinds=""
while [ $# -gt 0 ]; do
  case $1 in
    --qelvaro) qelvaro=$2; shift 2 ;;
    --vs) other=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --mb) mb=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --kind) kinds="$kinds $2"; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$kinds" ] || kinds="strings files unnamed filenames sections shared"
[ -n "$dir" ] || dir=$(mktemp -d /tmp/qelvaro-inf-bench.XXXXXX)
mkdir -p "$dir"
need_qelvaro
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time)" >&2; exit 2; }

# make KIND FILE: an INF of about $mb MB.
make() {
  python3 - "$1" "$2" "$mb" <<'PY'
import sys
kind, out, mb = sys.argv[1], sys.argv[2], int(sys.argv[3])
if kind == "shared":
    # About 80 bytes for each n: a model, its install section, a list line, a disk line.
    n = (mb << 20) // 80
    blocks = [(b"[Manufacturer]\r\nQ=M,NTamd64\r\n[M.NTamd64]\r\n", b"D=I%d,ROOT\\Q%d\r\n"),
              (b"", b"[I%d]\r\nCopyFiles=L\r\n"), (b"[L]\r\n", b"f%d.sys\r\n"),
              (b"[SourceDisksNames]\r\n1=d\r\n[SourceDisksFiles]\r\n", b"f%d.sys=1\r\n")]
    with open(out, "wb") as f:
        f.write(b'[Version]\r\nSignature="$Windows NT$"\r\nCatalogFile=q.cat\r\n')
        for head, line in blocks:
            f.write(head + b"".join(line % ((k,) * line.count(b"%d")) for k in range(n)))
    sys.exit(0)
section, line = {"strings": (b"Strings", b"a=b\r\n"), "files": (b"SourceDisksFiles", b"a=b\r\n"),
                 "unnamed": (b"Unnamed", b"a=b\r\n"), "filenames": (b"SourceDisksFiles", b"f%d.sys=1\r\n"),
                 "sections": (b"Unnamed", b"[s%d]\r\n")}[kind]
with open(out, "wb") as f:
    f.write(b'[Version]\r\nSignature="$Windows NT$"\r\nCatalogFile=%x%.cat\r\n[Strings]\r\nx=y\r\n[' + section + b"]\r\n")
    total, n = 0, 0
    while total < mb << 20:
        chunk = b"".join(line % (n + k) if b"%" in line else line for k in range(65536))
        n += 65536
        total += len(chunk)
        f.write(chunk)
PY
}

# run BINARY FILE: "seconds peak-KB exit"
run() {
  /usr/bin/time -o "$dir/time.txt" -f '%e %M %x' "$1" inf "$2" >/dev/null 2>&1 || true
  tail -1 "$dir/time.txt"
}

printf '%-10s %8s  %-34s %s\n' kind "file MB" "qelvaro: s, peak MB, multiple" "${other:+other: s, peak MB, multiple}"
for kind in $kinds; do
  inf="$dir/$kind.inf"
  make "$kind" "$inf"
  size=$(stat -c %s "$inf")
  for ((i = 0; i < runs; i++)); do
    if [ -n "$other" ] && ((i % 2)); then b=$(run "$other" "$inf"); a=$(run "$qelvaro" "$inf")
    else a=$(run "$qelvaro" "$inf"); [ -z "$other" ] || b=$(run "$other" "$inf"); fi
    fmt() { awk -v s="$size" '{printf "%6.2f s %7.0f MB %5.1fx (exit %d)", $1, $2 / 1024, $2 * 1024 / s, $3}' <<<"$1"; }
    printf '%-10s %8.0f  %-34s %s\n' "$kind" "$((size >> 20))" "$(fmt "$a")" "${other:+$(fmt "$b")}"
  done
  rm -f "$inf"
done
