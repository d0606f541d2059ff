#!/usr/bin/env bash
# Builds everything and runs every test: the native tests (AddressSanitizer and
# UndefinedBehaviorSanitizer), the Windows tests under Wine, and a short run of each
# fuzz target. Installs what it needs first. Ends with one summary line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QELVARO_JOBS:-$(nproc)}

"$root/scripts/deps.sh" || { echo "dependency installation failed"; exit 1; }

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
passed=0
failed=0
status=0

# configure + build + ctest for one preset; the counts come from ctest's summary.
run_preset() {
  local preset=$1; shift
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"$logs/$preset-configure.log" 2>&1; then
    cat "$logs/$preset-configure.log"; echo "=== $preset: configure FAILED"; status=1; failed=$((failed + 1)); return
  fi
  if ! cmake --build --preset "$preset" -j "$jobs" >"$logs/$preset-build.log" 2>&1; then
    tail -n 60 "$logs/$preset-build.log"; echo "=== $preset: build FAILED"; status=1; failed=$((failed + 1)); return
  fi
  echo "=== $preset: tests"
  ctest --test-dir "build/$preset" --output-on-failure "$@" 2>&1 | tee "$logs/$preset-test.log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$preset-test.log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "=== $preset: ctest ran no test"; status=1; failed=$((failed + 1)); return
  fi
  local nfail total
  nfail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - nfail))
  failed=$((failed + nfail))
}

start=$(date +%s)
run_preset linux -j "$jobs"
run_preset win32 -j "$jobs"
run_preset fuzz
echo "=== all presets done in $(( $(date +%s) - start )) s"

echo "tests: $passed passed, $failed failed"
if [ "$status" != 0 ] || [ "$failed" != 0 ]; then exit 1; fi
