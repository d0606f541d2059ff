#!/usr/bin/env bash
# Quorvak.exe driven as a person drives it: real X pointer moves, clicks and key
# presses from xdotool under Xvfb (no window manager, so each Wine window is an X
# window at its screen position). Sorts by a header click, unticks one driver by its
# check box, moves with Down and toggles with Space, widens a column by dragging its
# border, renames a driver in the grid's editor, then backs up and checks that the
# unticked driver was left out and the renamed one kept its new name.
#   quorvak_xinput.sh QUORVAK.EXE DEMO.EXE PROBE.EXE SCREENSHOT_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
. "$scripts/wine-env.sh"
quorvak=$1 demo=$2 probe=$3 shots=$4
template=${QELVARO_WINE_TEMPLATE:?QELVARO_WINE_TEMPLATE is not set}
mkdir -p "$shots"

prefix=$(mktemp -d /tmp/qelvaro-xinput.XXXXXX)
xvfb_pid=
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$prefix"
}
trap cleanup EXIT
wine_prefix_from_template "$template" "$prefix"
export WINEPREFIX="$prefix"
"$scripts/demo-set.sh" "$prefix" >/dev/null || { echo "demo set failed"; exit 1; }
program="$prefix/drive_c/Program Files/Qelvaro"
mkdir -p "$program"
cp "$quorvak" "$program/Quorvak.exe"

for n in $(seq 90 120); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  if kill -0 "$xvfb_pid" 2>/dev/null; then export DISPLAY=":$n"; break; fi
  xvfb_pid=
done
[ -n "${DISPLAY:-}" ] || { echo "no Xvfb display"; exit 1; }
export QELVARO_SCREENSHOT_DIR="Z:$(printf '%s' "$shots" | tr / '\\')"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
shot() { import -window root "$shots/xinput-$1.png"; }
probe() { wine "$probe" "$@" | tr -d '\r'; }
# Moves the pointer onto a cell (row -1: its header) and clicks.
click_cell() {
  local at
  at=$(probe cell "$@") || { fail "cell $* not on screen"; return 1; }
  xdotool mousemove $at sleep 0.2 click 1 sleep 0.4
}

wineserver -p
# The demo starter lays the demo display adapter back (Wine's display driver drops it)
# and lets Quorvak scan again; Quorvak stays open.
wine "$demo" 'C:\Program Files\Qelvaro\Quorvak.exe'
sleep 2
shot 1-start

# Sort by the description: the three demo drivers come first, in name order.
click_cell -1 0 || exit 1
shot 2-sorted

# Untick the first (the network driver) by its check box.
click_cell 0 0 6
# Make the second current by a click on its class, then Down and Space twice: the
# third is unticked and ticked again.
click_cell 1 1
xdotool key Down sleep 0.3 key space sleep 0.3
shot 3-third-unticked
xdotool key space sleep 0.3

# The cut-off provider name shows whole in a tooltip after the pointer rests on it.
at=$(probe cell 0 2 40) && xdotool mousemove $at sleep 2.2
shot 3b-tooltip

# Widen the provider column by dragging its right border 80 pixels.
at=$(probe cell -1 2 0) || fail "provider header not on screen"
read -r hx hy <<<"$at"
border=$(probe cell -1 3 0 | cut -d' ' -f1)
xdotool mousemove $((border - 1)) $((hy + 8)) sleep 0.3 mousedown 1 sleep 0.2 \
  mousemove $((border + 40)) $((hy + 8)) sleep 0.2 mousemove $((border + 80)) $((hy + 8)) sleep 0.2 mouseup 1 sleep 0.4
after=$(probe cell -1 3 0 | cut -d' ' -f1)
[ $((after - border)) -ge 70 ] || fail "provider column not widened (border $border -> $after)"

# Rename the printer in the grid's editor: Home to the first column, F2, type, Enter.
click_cell 2 1
xdotool key Home sleep 0.3 key F2 sleep 0.5 type --delay 60 "Edited Printer"
sleep 0.3
shot 4-editing
xdotool key Return sleep 0.5
shot 5-before-backup

# Carry the class column to the right of the provider: a bar shows where it lands.
from=$(probe cell -1 1 40) && to=$(probe cell -1 3 10) && {
  read -r fx fy <<<"$from"
  read -r tx ty <<<"$to"
  xdotool mousemove "$fx" $((fy + 8)) sleep 0.3 mousedown 1 sleep 0.2 mousemove $((fx + 40)) $((fy + 8)) \
    sleep 0.2 mousemove "$tx" $((ty + 8)) sleep 0.4
  shot 5b-column-carried
  xdotool mouseup 1 sleep 0.5
  shot 5c-column-moved
}

probe backup 'C:\XBackup' 0 'C:\xinput-end.txt'
end=$(cat "$prefix/drive_c/xinput-end.txt" 2>/dev/null)
echo "end message: $end"
root="$prefix/drive_c/XBackup/Quorvak"
[ -d "$root" ] || fail "no backup root"
[ ! -e "$root/Net" ] || fail "the unticked network driver was backed up: $(ls "$root/Net")"
[ -f "$root/Display/Qelvaro Demo Graphics Adapter/qvdisp.sys" ] || fail "display driver missing"
[ -f "$root/Printer/Edited Printer/oem5.inf" ] || fail "printer not under its edited name: $(ls "$root/Printer" 2>&1)"
[ ! -e "$root/Printer/Qelvaro Demo LaserJet 3000" ] || fail "printer under its old name too"
shot 6-after-backup

probe close
for bmp in "$shots"/*.bmp; do [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"; done
if [ "$failures" != 0 ]; then echo "$failures failures"; exit 1; fi
echo "real input test passed"
