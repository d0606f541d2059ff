#!/usr/bin/env bash
# Drives setup.exe with real mouse input under Xvfb, inside the caller's Wine prefix:
#   drive_setup.sh SETUP.EXE WINDOWS-FOLDER HOST-FOLDER SHOT-DIR
# Screenshots: the window as it opens, after "全不选" and a start with nothing ticked
# (nothing may be installed), and after "全选" and a start (every driver installed).
# The run's end is read from the log setup.exe writes next to the drivers.
set -uo pipefail
setup=$1 folder=$2 host=$3 shots=${4:-}
[ -n "$shots" ] || shots=$(mktemp -d)
mkdir -p "$shots"
log="$host/restore-log.txt"
rm -f "$log"
# With PLANTED_LOG_TARGET, restore-log.txt is first planted as a link to that file (the
# folder may be one a standard user writes): setup.exe, elevated, must not append
# through it and logs in its temporary folder instead.
if [ -n "${PLANTED_LOG_TARGET:-}" ]; then
  ln -s "$PLANTED_LOG_TARGET" "$log"
  temp_log=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp 2>/dev/null |
    grep -v /Public/ | head -1)/qelvaro-restore-log.txt
  rm -f "$temp_log"
  log=$temp_log
fi

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display

wine "$setup" "$folder" &
app=$!

wid=""
for _ in $(seq 1 60); do
  wid=$(xdotool search --name '驱动还原' 2>/dev/null | head -1)
  [ -n "$wid" ] && break
  sleep 0.5
done
if [ -z "$wid" ]; then echo "setup.exe opened no window" >&2; exit 1; fi
sleep 2
shot() { import -window root "$shots/$1.png"; echo "screenshot: $shots/$1.png"; }
# Client coordinates of the buttons at 96 dpi (setup_window.cpp's layout).
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep 0.7; }
select_all() { click 55 435; }
select_none() { click 155 435; }
start() { click 860 435; }

shot setup-opened
select_none
start
sleep 2
shot setup-nothing-ticked
if [ -s "$log" ]; then echo "a start with nothing ticked wrote a log: $(cat "$log")" >&2; exit 1; fi

select_all
start
for _ in $(seq 1 120); do
  grep -q '^== 完成' "$log" 2>/dev/null && break
  sleep 0.5
done
sleep 1
shot setup-finished
if ! grep -q '^== 完成' "$log" 2>/dev/null; then echo "setup.exe did not finish" >&2; exit 1; fi
echo "--- $log"; cat "$log"
xdotool key --window "$wid" alt+F4
for _ in $(seq 1 20); do kill -0 $app 2>/dev/null || break; sleep 0.5; done
wait $app
echo "setup.exe exit code $?"
