#!/usr/bin/env bash
# A real driver install under Wine, checked on files and registry (Wine's install
# calls report success also where nothing happened):
#   wine_restore_test.sh --bits 64|32 --qelvaro EXE --device EXE --fixture DIR [--setup EXE --shots DIR]
# A root-enumerated device gets the test package installed from its vendor layout;
# `qelvaro backup` backs it up; its INF, .sys and service are removed; then
# `qelvaro restore --all` (and setup.exe, driven by mouse clicks, when given) must put
# back the service with its ImagePath, the .sys in the real System32\drivers (never
# SysWOW64), a helper in System32 under its installed name, a panel in Program Files
# (the destinations of the package's other file lists) and the INF in C:\windows\inf.
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
. "$here/wine-env.sh"
. "$here/demo-files.sh"  # demo_catalog: the packages this script writes get real signed catalogs

bits=64 qelvaro="" device="" fixture="" setup="" shots="" helper=""
while [ $# -gt 0 ]; do
  case "$1" in
    --bits) bits=$2; shift 2 ;;
    --qelvaro) qelvaro=$2; shift 2 ;;
    --device) device=$2; shift 2 ;;
    --fixture) fixture=$2; shift 2 ;;
    --setup) setup=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    --helper) helper=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

prefix=$(mktemp -d /tmp/qelvaro-restore.XXXXXX)
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX="$prefix"
if [ "$bits" = 64 ]; then
  template=${QELVARO_WINE_TEMPLATE:?QELVARO_WINE_TEMPLATE is not set}
  wine_prefix_from_template "$template" "$prefix"
  wine_cmd=wine
else
  # A 32-bit Windows: its own prefix (a 64-bit template cannot become one).
  export WINEARCH=win32
  template=${QELVARO_WINE_TEMPLATE32:-}
  if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
    wine_prefix_from_template "$template" "$prefix"
  else
    wineboot -i >/dev/null 2>&1; wineserver -w
    wine_link_cjk_font
  fi
  [ -d "$prefix/drive_c/windows/syswow64" ] && fail "the prefix for 32-bit Windows is a 64-bit one"
  wine_cmd=wine
fi
wineserver -p
win() { "$wine_cmd" "$@"; }
drive_c="$prefix/drive_c"
sysdir="$drive_c/windows/system32"

service_image() {
  win reg query 'HKLM\System\CurrentControlSet\Services\qvtest' /v ImagePath 2>/dev/null | tr -d '\r' |
    awk '/ImagePath/ {print $NF}'
}
inf_in_store() { grep -lis "Qelvaro Restore Test Device" "$drive_c/windows/inf/"*.inf 2>/dev/null | head -1; }

# Every trace of the installed driver but the device itself.
remove_driver() {
  local inf
  inf=$(inf_in_store)
  [ -n "$inf" ] && rm -f "$inf" "${inf%.*}.pnf" "${inf%.*}.PNF"
  rm -f "$sysdir/drivers/qvtest.sys" "$drive_c/windows/syswow64/drivers/qvtest.sys" "$sysdir/qvhelp.dll" \
    "$drive_c/windows/syswow64/qvhelp.dll"
  rm -rf "$drive_c/Program Files/Qelvaro" "$drive_c/Program Files (x86)/Qelvaro"
  win reg delete 'HKLM\System\CurrentControlSet\Services\qvtest' /f >/dev/null 2>&1
  [ -z "$(service_image)" ] && [ -z "$(inf_in_store)" ] && [ ! -e "$sysdir/drivers/qvtest.sys" ]
}

# The checks after each install.
check_installed() {
  local what=$1 image inf
  image=$(service_image)
  case "$image" in
    *[Ss]ystem32\\[Dd]rivers\\qvtest.sys|*[Ss]ystem32\\drivers\\qvtest.sys) pass "$what: service qvtest, ImagePath $image" ;;
    *) fail "$what: service key ImagePath is '$image'" ;;
  esac
  if cmp -s "$sysdir/drivers/qvtest.sys" "$fixture/files/bin/qvtest.sys"; then
    pass "$what: qvtest.sys in System32\\drivers"
  else
    fail "$what: qvtest.sys missing from System32\\drivers"
  fi
  if cmp -s "$sysdir/qvhelp.dll" "$fixture/files/bin/qvhelp64.dll" &&
     cmp -s "$drive_c/Program Files/Qelvaro/Panel/qvpanel.exe" "$fixture/files/tools/qvpanel.exe"; then
    pass "$what: qvhelp.dll in System32 and qvpanel.exe in Program Files"
  else
    fail "$what: the helper or the panel is not where its file list sends it"
  fi
  if [ "$bits" = 64 ] && [ -e "$drive_c/windows/syswow64/drivers/qvtest.sys" ]; then
    fail "$what: qvtest.sys landed in SysWOW64\\drivers"
  fi
  inf=$(inf_in_store)
  if [ -n "$inf" ]; then pass "$what: INF in C:\\windows\\inf as $(basename "$inf")"; else fail "$what: no INF in C:\\windows\\inf"; fi
}

win "$device" 'ROOT\QVRESTORETEST' || fail "the test device could not be made"

# The package from its vendor layout (subfolders), as a vendor's setup would install it.
win "$qelvaro" restore "Z:$(printf '%s' "$fixture" | tr / '\\')" --all
rc=$?
[ $rc = 0 ] || fail "installing the vendor package ended with $rc"
check_installed "vendor install"

# Wine's install writes InfPath and InfSection into the driver key; Windows also
# writes the description and provider, which the backup's inventory lists drivers by.
stored=$(basename "$(inf_in_store)")
key=$(win reg query 'HKLM\System\CurrentControlSet\Control\Class\{4d36e97d-e325-11ce-bfc1-08002be10318}' /s 2>/dev/null |
  tr -d '\r' | awk -v inf="$stored" '/^HKEY/ {k=$0} $1=="InfPath" && tolower($NF)==tolower(inf) {print k}' | head -1)
if [ -n "$key" ]; then
  win reg add "$key" /v DriverDesc /d "Qelvaro Restore Test Device" /f >/dev/null 2>&1
  win reg add "$key" /v ProviderName /d "Qelvaro Test Labs" /f >/dev/null 2>&1
else
  fail "no driver key names $stored"
fi
mkdir -p "$drive_c/bk"
win "$qelvaro" backup --to 'C:\bk' --class System >"$prefix/backup.txt" 2>&1
cat "$prefix/backup.txt"
backup="$drive_c/bk/Quorvak/System"
found=$(grep -ril --include='*.inf' 'Qelvaro Restore Test Device' "$backup" 2>/dev/null | head -1)
folder=${found%/*}
if [ -n "$found" ] && [ -f "$folder/qvtest.sys" ] && [ -f "$folder/qvtest.cat" ] &&
   cmp -s "$folder/qvhelp64.dll" "$fixture/files/bin/qvhelp64.dll" && [ -f "$folder/qvpanel.exe" ]; then
  pass "backup holds $(ls "$folder" | tr '\n' ' ')"
else
  fail "backup of the test driver is incomplete: $(ls "$folder" 2>&1 | tr '\n' ' ')"
fi
# Only our driver, so that the exit code speaks for it.
if [ -n "$found" ]; then
  for other in "$backup"/*; do [ "$other" = "$folder" ] || rm -rf "$other"; done
fi

remove_driver || fail "the installed driver could not be removed"
win "$qelvaro" restore 'C:\bk\Quorvak' --dry-run
win "$qelvaro" restore 'C:\bk\Quorvak' --all
rc=$?
[ $rc = 0 ] || fail "qelvaro restore ended with $rc"
check_installed "qelvaro restore"

# An extension INF for the same device adds to its driver and never becomes it: after
# restoring one, the device's driver key still names the test driver's INF.
ext="$drive_c/bk6/Quorvak/Extension/Qelvaro Test Extension"
mkdir -p "$ext"
printf '%s\r\n' '[Version]' 'Signature="$WINDOWS NT$"' 'Class=Extension' \
  'ClassGuid={e2f84ce7-8efa-411c-aa69-97454ca4cb57}' 'ExtensionId={0b5cb6c6-2b1e-4d0c-9a7e-3f1d2c4b5a69}' \
  'Provider=Qelvaro Test Labs' 'DriverVer=03/15/2025,2.5.0.8' 'CatalogFile=qvtestx.cat' \
  '[Manufacturer]' 'Labs=QvExt,NTx86,NTamd64' '[QvExt.NTx86]' 'Ext=QvExtInstall,ROOT\QVRESTORETEST' \
  '[QvExt.NTamd64]' 'Ext=QvExtInstall,ROOT\QVRESTORETEST' '[QvExtInstall]' 'AddReg=QvExtReg' \
  '[QvExtReg]' 'HKR,,QvExtension,0x10001,1' > "$ext/qvtestx.inf"
demo_keys="$prefix/keys" && mkdir -p "$demo_keys"
DEMO_SIGNER="Qelvaro Test Labs" demo_catalog "$ext/qvtestx.cat" "$ext/qvtestx.inf"
out=$(win "$qelvaro" restore 'C:\bk6\Quorvak' --all 2>&1); rc=$?
now=$(win reg query 'HKLM\System\CurrentControlSet\Control\Class\{4d36e97d-e325-11ce-bfc1-08002be10318}' /s 2>/dev/null |
  tr -d '\r' | awk '/^HKEY/ {k=$0} $1=="InfPath" {print k " " $NF}' | grep -i "$(basename "$(inf_in_store)")")
if [ $rc = 0 ] && [ -n "$now" ] && [ "$(service_image)" != "" ] && printf '%s' "$out" | grep -q '^installed .*qvtestx.inf'; then
  pass "an extension INF is applied beside the device's driver: $out"
else
  fail "extension INF: exit $rc, the device's driver key now: '${now}': $out"
fi

# A backup that lost a file: named, nothing installed, exit code 1.
mkdir -p "$drive_c/bk2" && cp -r "$drive_c/bk/Quorvak" "$drive_c/bk2/"
rm -f "$drive_c/bk2/Quorvak/System/"*/qvtest.sys
out=$(win "$qelvaro" restore 'C:\bk2\Quorvak' --all 2>&1); rc=$?
case "$out" in
  *incomplete*"missing qvtest.sys"*) [ $rc = 1 ] && pass "missing file reported: $out" || fail "missing file: exit $rc" ;;
  *) fail "missing file not reported: $out" ;;
esac

# INFs named like devices (Wine, like Windows, would read AUX, COM1 and NUL) are named
# and never opened; the good driver beside them is still checked.
mkdir -p "$drive_c/bk5" && cp -r "$drive_c/bk/Quorvak" "$drive_c/bk5/"
for folder in "$drive_c/bk5/Quorvak/System/"*/; do
  for device in AUX.inf COM1.inf NUL.inf; do cp "$folder"qvtest.inf "$folder$device"; done
done
out=$(timeout 60 "$wine_cmd" "$qelvaro" restore 'C:\bk5\Quorvak' --dry-run 2>&1); rc=$?
refused=$(printf '%s\n' "$out" | grep -c '^failed .*is no file name on Windows.*not opened')
if [ $rc = 1 ] && [ "$refused" = 3 ] && printf '%s\n' "$out" | grep -q '^ready .*qvtest.inf'; then
  pass "INFs named like devices are refused unread, the good one is ready"
else
  fail "device-named INFs: exit $rc, $refused refused: $out"
fi

# Links, made on the Unix side (Wine shows a link to a folder as a reparse point and a
# link to a file as a plain file): a backup never writes through a planted folder
# link, and a restore never stages a file of the backup that is a link.
mkdir -p "$prefix/victim" "$drive_c/bk3"
echo precious > "$prefix/victim/keep.txt"
ln -s "$prefix/victim" "$drive_c/bk3/Quorvak"
out=$(win "$qelvaro" backup --to 'C:\bk3' --class System 2>&1); rc=$?
if [ $rc = 1 ] && [ "$(ls "$prefix/victim")" = keep.txt ] && printf '%s' "$out" | grep -q "is a link or junction"; then
  pass "backup refuses a Quorvak folder that is a link"
else
  fail "backup through a linked Quorvak folder: exit $rc, victim holds $(ls "$prefix/victim" | tr '\n' ' '): $out"
fi
mkdir -p "$drive_c/bk4" && cp -r "$drive_c/bk/Quorvak" "$drive_c/bk4/"
echo "host secret" > "$prefix/secret.txt"
for cat in "$drive_c/bk4/Quorvak/System/"*/qvtest.cat; do rm -f "$cat"; ln -s "$prefix/secret.txt" "$cat"; done
out=$(win "$qelvaro" restore 'C:\bk4\Quorvak' --dry-run 2>&1); rc=$?
case "$out" in
  *failed*"a link: "*qvtest.cat*) [ $rc = 1 ] && pass "restore refuses a linked file: $out" || fail "linked file: exit $rc" ;;
  *) fail "a catalog that is a link was not refused: $out" ;;
esac

# The 64-bit installer on its own: a failure comes back with its code and the
# system's text for it.
if [ -n "$helper" ]; then
  printf 'qelvaro-install-request 1\ninf=C:\\nowhere\\missing.inf\nid=ROOT\\QVRESTORETEST\nend\n' > "$drive_c/request.txt"
  win "$helper" 'C:\request.txt' 'C:\result.txt'
  rc=$?
  result=$(tr -d '\r' < "$drive_c/result.txt" 2>/dev/null)
  code=$(printf '%s\n' "$result" | sed -n 's/^code=//p')
  text=$(printf '%s\n' "$result" | sed -n 's/^text=//p')
  if [ $rc = 1 ] && printf '%s\n' "$result" | grep -qx 'status=failed' && [ "${code:-0}" != 0 ] && [ -n "$text" ]; then
    pass "64-bit installer reports a failure: code $code, \"$text\""
  else
    fail "64-bit installer on a missing INF: exit $rc, result: $result"
  fi
fi

if [ -n "$setup" ]; then
  remove_driver || fail "the restored driver could not be removed"
  printf 'victim' > "$prefix/log-victim.txt"
  PLANTED_LOG_TARGET="$prefix/log-victim.txt" "$(dirname "$0")/drive_setup.sh" "$setup" 'C:\bk\Quorvak' \
    "$drive_c/bk/Quorvak" "$shots" || fail "setup.exe run"
  check_installed "setup.exe"
  if [ "$(cat "$prefix/log-victim.txt")" = victim ]; then
    pass "setup.exe does not append its log through a link planted as restore-log.txt"
  else
    fail "setup.exe wrote its log through a planted link: $(head -c 200 "$prefix/log-victim.txt")"
  fi
fi

# Every restore staged in a folder of its own below its temporary folder and left none.
left=$(find "$drive_c" -maxdepth 6 -name 'qelvaro-restore-*' -type d 2>/dev/null)
if [ -z "$left" ]; then pass "no staging folder left"; else fail "staging folders left: $left: $(find $left | tr "\n" " ")"; fi
echo "restore test ($bits-bit prefix): $failures failures"
[ $failures = 0 ]
