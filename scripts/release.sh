#!/usr/bin/env bash
# Builds a release from the committed tree into dist/:
#   qelvaro-<version>-windows-x86.zip     Quorvak.exe, qelvaro.exe, guide, licences
#   qelvaro-<version>-linux-x86_64.tar.gz qelvaro, qelvaro.1, guide
#   SHA256SUMS                            of both
#   release-notes.txt                     the commit, and the host's packages it was built with
#
#   scripts/release.sh [--sign 'COMMAND'] [--check-reproducible]
#
# The sources are HEAD as committed (a tree with changes is refused), unpacked into a
# fresh folder; every date in the programs and archives is the commit's time. Two runs
# of one commit give the same bytes. --check-reproducible builds twice, in two folders
# of different names, compares every program and archive, and writes dist/ only when
# they are identical.
#
# --sign 'COMMAND': COMMAND is run by sh with a program's path as $1, on every Windows
# program before another one carries it (the 64-bit installer, then setup.exe, sfx.bin
# and qzip.dll), and on Quorvak.exe and qelvaro.exe at the end. It leaves the signed
# program at $1.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sign=""

signed() {
  [ -z "$sign" ] && return 0
  echo "release: signing $1"
  sh -c "$sign" sign "$1" || { echo "release: the signing command failed on $1" >&2; exit 1; }
}

# One complete release of HEAD built in the folder $1, its archives in $1/dist.
build_release() {
  local work=$1 started
  started=$(date +%s)
  rm -rf "$work"
  mkdir -p "$work/src" "$work/dist"
  git archive --format=tar "$commit" | tar -x -C "$work/src"
  local src="$work/src" win="$work/win32" lin="$work/linux"
  local common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DQELVARO_TESTS=OFF -DQELVARO_REPRODUCIBLE=ON)

  cmake -S "$src" -B "$win" "${common[@]}" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/win32.cmake" >"$work/win32-configure.log"
  grep -h "libdeflate" "$work/win32-configure.log" || true
  if [ -n "$sign" ]; then
    # Each program signed before the next one takes it in: a rebuild sees the signed
    # file newer than its inputs and keeps it.
    cmake --build "$win" -j2 --target qelvaro_install64_build
    signed "$win/install64/restore/win32/qelvaro-install64.exe"
    cmake --build "$win" -j2 --target setup sfx_stub qzip
    signed "$win/restore/win32/setup.exe"
    signed "$win/sfx/sfx.bin"
    signed "$win/zipcomp/qzip/qzip.dll"
  fi
  cmake --build "$win" -j2 --target Quorvak qelvaro
  # The stub imports only KERNEL32, USER32 and msvcrt, and stays small.
  cmake -DSTUB="$win/sfx/sfx.bin" -P "$src/tests/sfx/stub-check.cmake"

  cmake -S "$src" -B "$lin" "${common[@]}" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/linux.cmake" \
        -DCMAKE_EXE_LINKER_FLAGS=-s >"$work/linux-configure.log"
  cmake --build "$lin" -j2 --target qelvaro

  local name="qelvaro-$version"
  local wdir="$work/stage/$name-windows-x86" ldir="$work/stage/$name-linux-x86_64"
  mkdir -p "$wdir/licenses" "$ldir"
  cp "$win/app/win32/Quorvak.exe" "$win/cli/qelvaro.exe" "$wdir/"
  signed "$wdir/Quorvak.exe"
  signed "$wdir/qelvaro.exe"
  cp "$src/docs/guide.txt" "$wdir/guide.txt"
  # What the Windows programs carry, with the licence of each.
  local deflate
  deflate=$(find "$win/third_party/libdeflate-src" -maxdepth 2 -name COPYING | head -1)
  cp "$deflate" "$wdir/licenses/libdeflate.txt"
  cp /usr/share/doc/libz-mingw-w64-dev/copyright "$wdir/licenses/zlib.txt"
  cp /usr/share/doc/mingw-w64-common/copyright "$wdir/licenses/mingw-w64-and-winpthreads.txt"
  sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/^libquadmath/p' /usr/share/doc/gcc-mingw-w64-base/copyright |
    sed '$d' >"$wdir/licenses/gcc-runtime-library-exception.txt"
  cp /usr/share/common-licenses/GPL-3 "$wdir/licenses/GPL-3.txt"
  cp "$lin/cli/qelvaro" "$ldir/qelvaro"
  cp "$lin/cli/qelvaro.1" "$ldir/qelvaro.1"
  cp "$src/docs/guide.txt" "$ldir/guide.txt"

  find "$work/stage" -type d -exec chmod 755 {} +
  find "$work/stage" -type f -exec chmod 644 {} +
  chmod 755 "$ldir/qelvaro"
  find "$work/stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$work/stage" && python3 "$src/scripts/release-zip.py" "$work/dist/$name-windows-x86.zip" "$name-windows-x86")
  (cd "$work/stage" && tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
      --format=gnu -cf - "$name-linux-x86_64" | gzip -9n >"$work/dist/$name-linux-x86_64.tar.gz")
  (cd "$work/dist" && sha256sum "$name-windows-x86.zip" "$name-linux-x86_64.tar.gz" >SHA256SUMS)
  write_notes "$work/dist/release-notes.txt" "$src"
  echo "release: built $commit in $work in $(($(date +%s) - started)) s"
}

# The compilers, the libraries the programs are linked with or against, the licence
# texts the Windows archive carries and the tools that pack it all come from the host
# (only libdeflate's source is pinned): the notes ($1) name their Debian packages'
# versions. $2 is the source folder.
write_notes() {
  local packages=(
    gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    gcc-mingw-w64-base mingw-w64-common libz-mingw-w64-dev
    binutils libstdc++6 libc6-dev libhivex-dev nettle-dev libdeflate-dev zlib1g-dev
    base-files cmake ninja-build python3 gzip tar
  )
  local native p c
  # The native compilers by the package of the program `gcc` and `g++` name (gcc-12 on Debian 12).
  native=$(for c in gcc g++; do dpkg -S "$(readlink -f "$(command -v "$c")")" 2>/dev/null | cut -d: -f1 || true; done)
  {
    echo "qelvaro $version, commit $commit, $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)"
    echo "Built on $(. /etc/os-release && echo "$PRETTY_NAME") with these host packages; libdeflate in the"
    echo "Windows programs is built from Debian's source $(sed -n 's/^set(QELVARO_LIBDEFLATE_VERSION "\(.*\)")/\1/p' \
      "$2/cmake/libdeflate_win.cmake"), pinned by its checksums."
    for p in $native "${packages[@]}"; do
      printf '  %-28s %s\n' "$p" "$(dpkg-query -W -f='${Version}\n' "$p" 2>/dev/null | sort -u | paste -sd' ' || true)"
    done
  } >"$1"
  if grep -qE '^  [^ ]+ +$' "$1"; then
    echo "release: no version for:$(sed -n 's/^  \([^ ]*\) *$/ \1/p' "$1" | tr -d '\n')" >&2
    return 1
  fi
}

publish() {
  rm -rf "$repo/dist.new"
  cp -r "$1/dist" "$repo/dist.new" || return 1
  rm -rf "$repo/dist" && mv "$repo/dist.new" "$repo/dist" || return 1
  echo "release: dist/ ($version, commit $commit)"
  (cd "$repo/dist" && ls -l && cat SHA256SUMS)
}

# What --check-reproducible compares, below each build's folder.
compared_files() {
  local name="qelvaro-$version"
  echo dist/"$name"-windows-x86.zip dist/"$name"-linux-x86_64.tar.gz dist/SHA256SUMS dist/release-notes.txt \
    win32/app/win32/Quorvak.exe win32/cli/qelvaro.exe win32/restore/win32/setup.exe win32/sfx/sfx.bin \
    win32/zipcomp/qzip/qzip.dll win32/install64/restore/win32/qelvaro-install64.exe linux/cli/qelvaro
}

# Publishes the build in $1 only when every file compared is the same in $2: a build
# shown not to reproduce never reaches dist/, which is left as it was.
publish_if_identical() {
  local differ=0 f
  for f in $(compared_files); do
    if cmp -s "$1/$f" "$2/$f"; then
      echo "identical  $f"
    else
      echo "DIFFERENT  $f"
      differ=1
    fi
  done
  if [ "$differ" = 1 ]; then
    echo "release: the two builds differ; dist/ is left as it was" >&2
    return 1
  fi
  publish "$1" || return 1
  echo "release: the two builds are byte-identical"
}

main() {
  local check=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --sign) sign=${2:?--sign needs a command}; shift 2 ;;
      --sign=*) sign=${1#--sign=}; shift ;;
      --check-reproducible) check=1; shift ;;
      *) echo "usage: scripts/release.sh [--sign 'COMMAND'] [--check-reproducible]" >&2; exit 2 ;;
    esac
  done

  cd "$repo"
  if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: the tree has uncommitted changes; a release is built from a commit" >&2
    exit 1
  fi
  commit=$(git rev-parse HEAD)
  export SOURCE_DATE_EPOCH
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
  export TZ=UTC LC_ALL=C.UTF-8
  umask 022
  version=$(sed -n 's/^project(Qelvaro VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
  [ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
  local work_root="$repo/build/release-work"

  if [ "$check" = 0 ]; then
    build_release "$work_root/build"
    publish "$work_root/build"
    exit 0
  fi
  # Two folders of different names and lengths, so that a path that leaks into a program
  # shows as a difference; built one after the other, so that a time that leaks does too.
  local first="$work_root/first" second="$work_root/the-second-build"
  build_release "$first"
  sleep 2
  build_release "$second"
  publish_if_identical "$first" "$second"
}

# Sourced (by the release test), it only defines the functions.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then main "$@"; fi
