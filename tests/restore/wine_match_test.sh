#!/usr/bin/env bash
# Restoring only what fits this PC, under Wine in the 64-bit prefix:
#   wine_match_test.sh --qelvaro EXE --device EXE --fixture DIR --setup EXE --shots DIR
# A root-enumerated device with the test package's hardware id exists; the backup
# holds that package and a copy whose only hardware id no device has. setup.exe must
# start with exactly the first ticked (its start installs that one alone), and
# `qelvaro restore --matching` must install exactly the first, naming the id that
# matched. Installs are checked on the INF folder, never on return values alone.
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
. "$here/wine-env.sh"
. "$here/demo-files.sh"  # demo_catalog

qelvaro="" device="" fixture="" setup="" shots=""
while [ $# -gt 0 ]; do
  case "$1" in
    --qelvaro) qelvaro=$2; shift 2 ;;
    --device) device=$2; shift 2 ;;
    --fixture) fixture=$2; shift 2 ;;
    --setup) setup=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$shots" ] || shots=$(mktemp -d)
mkdir -p "$shots"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

prefix=$(mktemp -d /tmp/qelvaro-match.XXXXXX)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX="$prefix"
wine_prefix_from_template "${QELVARO_WINE_TEMPLATE:?QELVARO_WINE_TEMPLATE is not set}" "$prefix"
wineserver -p
drive_c="$prefix/drive_c"

# The INF in C:\windows\inf that carries TEXT, if any.
stored_inf() { grep -lis "$1" "$drive_c/windows/inf/"*.inf 2>/dev/null | head -1; }
forget_installs() {
  local text inf
  for text in "Qelvaro Restore Test Device" "Qelvaro Unmatched Device"; do
    inf=$(stored_inf "$text")
    [ -n "$inf" ] && rm -f "$inf" "${inf%.*}.pnf" "${inf%.*}.PNF"
  done
  wine reg delete 'HKLM\System\CurrentControlSet\Services\qvtest' /f >/dev/null 2>&1
  wine reg delete 'HKLM\System\CurrentControlSet\Services\qvother' /f >/dev/null 2>&1
}
# Exactly the matching package went in.
check_only_first() {
  local what=$1
  if [ -n "$(stored_inf "Qelvaro Restore Test Device")" ] && [ -z "$(stored_inf "Qelvaro Unmatched Device")" ]; then
    pass "$what installed the matching driver and not the other"
  else
    fail "$what: matching INF '$(stored_inf "Qelvaro Restore Test Device")', other INF '$(stored_inf "Qelvaro Unmatched Device")'"
  fi
}

wine "$device" 'ROOT\QVRESTORETEST' || fail "the test device could not be made"

backup="$drive_c/mb/Quorvak/System"
mkdir -p "$backup/QvTest" "$backup/QvOther"
cp -r "$fixture/." "$backup/QvTest/"
cp -r "$fixture/." "$backup/QvOther/"
mv "$backup/QvOther/qvtest.inf" "$backup/QvOther/qvother.inf"
sed -i 's/ROOT\\QVRESTORETEST/ROOT\\QVNOSUCHDEVICE/; s/Qelvaro Restore Test Device/Qelvaro Unmatched Device/;
        s/AddService = qvtest,/AddService = qvother,/' "$backup/QvOther/qvother.inf"
grep -q 'QVNOSUCHDEVICE' "$backup/QvOther/qvother.inf" || fail "the second INF was not rewritten"
# Signed again over its rewritten INF, as its publisher would: only the device keeps it out.
demo_keys="$prefix/keys" && mkdir -p "$demo_keys"
rm "$backup/QvOther/qvtest.cat"
(cd "$backup/QvOther" && DEMO_SIGNER="Qelvaro Test Labs" demo_catalog qvtest.cat qvother.inf files/bin/qvtest.sys \
  files/bin/qvhelp64.dll files/tools/qvpanel.exe)

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display

# setup.exe on the backup below C:\FOLDER: screenshots NAME-opened and NAME-finished
# around one start with the ticks as they started; its log is then in $log.
start_setup_as_opened() {
  local folder=$1 name=$2 wid app
  log="$drive_c/$folder/Quorvak/restore-log.txt"
  wine "$setup" "C:\\$folder\\Quorvak" &
  app=$!
  wid=""
  for _ in $(seq 1 60); do
    wid=$(xdotool search --name '驱动还原' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.5
  done
  if [ -z "$wid" ]; then
    fail "setup.exe opened no window"
    return
  fi
  sleep 2
  import -window root "$shots/$name-opened.png"; echo "screenshot: $shots/$name-opened.png"
  xdotool mousemove --window "$wid" 860 435 click 1  # 开始安装, with the ticks as they started
  for _ in $(seq 1 120); do
    grep -q '^== 完成' "$log" 2>/dev/null && break
    sleep 0.5
  done
  sleep 1
  import -window root "$shots/$name-finished.png"; echo "screenshot: $shots/$name-finished.png"
  echo "--- $log"; cat "$log" 2>/dev/null
  xdotool key --window "$wid" alt+F4
  for _ in $(seq 1 20); do kill -0 $app 2>/dev/null || break; sleep 0.5; done
  wait $app 2>/dev/null
}

# setup.exe: what it ticks at start is what its start installs.
start_setup_as_opened mb match
lines=$(grep -c '^\[' "$log" 2>/dev/null)
if [ "$lines" = 1 ] && grep -q 'QvTest' "$log"; then
  pass "setup.exe started with exactly the matching driver ticked"
else
  fail "setup.exe installed $lines drivers at start"
fi
check_only_first "setup.exe"

forget_installs
[ -z "$(stored_inf "Qelvaro Restore Test Device")" ] || fail "the installed INF could not be removed"
out=$(wine "$qelvaro" restore 'C:\mb\Quorvak' --matching --json 2>"$prefix/err.txt" | tr -d '\r'); rc=$?
printf '%s\n' "$out"
if [ $rc = 0 ] && printf '%s' "$out" | grep -q '"matchedId": "ROOT\\\\QVRESTORETEST"' &&
   printf '%s' "$out" | grep -q '"status": "installed"' &&
   printf '%s' "$out" | grep -A3 '"skipped"' | grep -q 'Qelvaro Unmatched Device'; then
  pass "qelvaro restore --matching names the matched id and skips the other driver"
else
  fail "qelvaro restore --matching: exit $rc: $out $(cat "$prefix/err.txt")"
fi
check_only_first "qelvaro restore --matching"

# The signature column: beside the signed package, the same package without a catalog
# fits the device as well, yet starts unticked on 64-bit Windows, which would refuse it;
# the signed one installs and its log line names its signer, as its cell does.
forget_installs
signed="$drive_c/sb/Quorvak/System"
mkdir -p "$signed/QvTest" "$signed/QvUnsigned"
cp -r "$fixture/." "$signed/QvTest/"
cp -r "$fixture/." "$signed/QvUnsigned/"
rm "$signed/QvUnsigned/qvtest.cat"
mv "$signed/QvUnsigned/qvtest.inf" "$signed/QvUnsigned/qvunsigned.inf"
sed -i '/^CatalogFile/d; s/Qelvaro Restore Test Device/Qelvaro Unsigned Device/; s/AddService = qvtest,/AddService = qvunsigned,/' \
  "$signed/QvUnsigned/qvunsigned.inf"
start_setup_as_opened sb signature
lines=$(grep -c '^\[' "$log" 2>/dev/null)
if [ "$lines" = 1 ] && grep -q 'QvTest.*数字签名：Qelvaro Test Labs' "$log" &&
   [ -n "$(stored_inf "Qelvaro Restore Test Device")" ] && [ -z "$(stored_inf "Qelvaro Unsigned Device")" ]; then
  pass "setup.exe left the unsigned driver unticked and names the signer of the one it installed"
else
  fail "signature column: $lines drivers installed, unsigned INF '$(stored_inf "Qelvaro Unsigned Device")'"
fi

# The device's driver key made a newer release from the same provider (Wine's install
# writes neither date, version nor provider): the backup's driver is then left out.
stored=$(basename "$(stored_inf "Qelvaro Restore Test Device")")
key=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Class\{4d36e97d-e325-11ce-bfc1-08002be10318}' /s 2>/dev/null |
  tr -d '\r' | awk -v inf="$stored" '/^HKEY/ {k=$0} $1=="InfPath" && tolower($NF)==tolower(inf) {print k}' | head -1)
for value in "DriverDate 1-2-2030" "DriverVersion 2.5.0.7" "ProviderName Qelvaro_Test_Labs"; do
  set -- $value
  wine reg add "$key" /v "$1" /d "${2//_/ }" /f >/dev/null 2>&1
done
out=$(wine "$qelvaro" restore 'C:\mb\Quorvak' --matching --dry-run 2>&1 | tr -d '\r'); rc=$?
if [ $rc = 1 ] && printf '%s' "$out" | grep -q '^skipped .*qvtest.inf): .* has a newer driver'; then
  pass "a newer release on the device keeps the backup's driver out"
else
  fail "newer driver on the device (key '$key'): exit $rc: $out"
fi

echo "match test: $failures failures"
[ $failures = 0 ]
