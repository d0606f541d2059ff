#!/usr/bin/env bash
# Lays out the benchmark corpus like a backup root: class folders, one folder per driver,
# each holding PE binaries (Wine's 32-bit DLLs, drivers and programs, then 64-bit ones)
# and an INF file from the shared corpus. About 250 MB unless told otherwise.
#   make_corpus.sh DEST [MEGABYTES]
set -euo pipefail
dest=${1:?usage: make_corpus.sh DEST [MEGABYTES]}
megabytes=${2:-250}
here=$(cd "$(dirname "$0")" && pwd)
infs=${QELVARO_CORPUS_DIR:-$here/../../../shared/corpus}/inf

root="$dest/Quorvak"
if [ -f "$dest/.complete-$megabytes" ]; then exit 0; fi
rm -rf "$dest"
mkdir -p "$root"

classes=(Display Net Printer Media System USB HIDClass Ports SCSIAdapter Bluetooth)
mapfile -t pes < <(find /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows \
                     -maxdepth 1 -type f \( -name '*.dll' -o -name '*.sys' -o -name '*.exe' -o -name '*.drv' \
                     -o -name '*.ocx' -o -name '*.cpl' \) | sort)
mapfile -t inffiles < <(find "$infs" -type f -iname '*.inf' | sort)
if [ "${#pes[@]}" -eq 0 ]; then echo "no Wine PE files found" >&2; exit 1; fi

limit=$((megabytes * 1024 * 1024))
total=0
i=0
driver=0
while [ "$total" -lt "$limit" ] && [ "$i" -lt "${#pes[@]}" ]; do
  class=${classes[$((driver % ${#classes[@]}))]}
  dir="$root/$class/driver$(printf %03d "$driver")"
  mkdir -p "$dir"
  if [ "${#inffiles[@]}" -gt 0 ]; then
    inf=${inffiles[$((driver % ${#inffiles[@]}))]}
    cp "$inf" "$dir/"
    total=$((total + $(stat -c %s "$inf")))
  fi
  # Six to fourteen binaries per driver, as real driver packages vary.
  for _ in $(seq $((6 + driver % 9))); do
    [ "$i" -lt "${#pes[@]}" ] || break
    [ "$total" -lt "$limit" ] || break
    cp "${pes[$i]}" "$dir/"
    total=$((total + $(stat -c %s "${pes[$i]}")))
    i=$((i + 1))
  done
  driver=$((driver + 1))
done
touch "$dest/.complete-$megabytes"
echo "corpus: $(find "$root" -type f | wc -l) files, $((total / 1024 / 1024)) MB in $driver driver folders"
