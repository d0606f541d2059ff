#!/usr/bin/env bash
# Lays out a small offline Windows volume made from the demo driver set, as a disk
# that no longer boots would be mounted on Linux: folder names in mixed case, a
# SYSTEM, a DRIVERS and a SOFTWARE hive built from .reg text (resources/demo/image), a camera
# whose files are only in the driver store and whose INF is ANSI text in code page
# 936, and the other demo drivers as the Wine demo set lays them (demo-set.sh).
#   demo-image.sh ROOT        (ROOT is emptied first)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
image=${1:?usage: demo-image.sh ROOT}
demo="$root/resources/demo"
command -v hivexregedit >/dev/null || { echo "demo-image.sh: hivexregedit is missing (scripts/deps.sh installs it)" >&2; exit 1; }

rm -rf "$image"
win="$image/WINDOWS"
sys="$win/system32"

. "$here/demo-files.sh"

install -D -m 644 "$demo/inf/qvdisp.inf" "$win/Inf/oem3.inf"
install -D -m 644 "$demo/inf/qvnet.inf" "$win/Inf/OEM4.INF"
install -D -m 644 "$demo/inf/qvdispx.inf" "$win/Inf/oem20.inf"
install -D -m 644 "$demo/inf/qvprint.inf" "$win/Inf/oem5.inf"
install -D -m 644 "$demo/inf/qvcam.inf" "$win/Inf/oem6.inf"
demo_inbox_inf "$win/Inf/kdnic.inf" "$sys/catroot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"

fake_binary "$sys/DRIVERS/qvdisp.sys" 48000
fake_binary "$sys/qvdisp_um.dll" 120000
fake_binary "$win/HELP/qvdisp.hlp" 9000
fake_binary "$sys/qvdisp.v2.sys" 7000
fake_binary "$sys/qvdispx.dll" 26000
fake_binary "$sys/DRIVERS/qvnet.sys" 64000
fake_binary "$sys/QVNETCO.DLL" 30000
fake_binary "$sys/qvnet.ini" 300
fake_binary "$sys/spool/DRIVERS/W32X86/3/qvprint.gpd" 15000
fake_binary "$sys/spool/DRIVERS/W32X86/3/qvprintui.dll" 80000
fake_binary "$sys/spool/DRIVERS/W32X86/3/qvprintres.dll" 40000
fake_binary "$sys/spool/DRIVERS/W32X86/qvprint.chm" 12000
catroot="$sys/catroot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"
store_demo_packages "$sys" "$catroot" "$demo"
demo_printer_catalog "$sys/catroot/{127D0A1D-4EF2-11D1-8608-00C04FC295EE}/qvprint.cat" "$demo"
package="$sys/DriverStore/FileRepository/qvcam.inf_amd64_5c1e2f3a4b6d7e80"
install -D -m 644 "$demo/inf/qvcam.inf" "$package/qvcam.inf"
fake_binary "$package/qvcam64.sys" 56000
fake_binary "$package/摄像头设置.dll" 22000
demo_catalog "$package/qvcam.cat" "$package/qvcam.inf" "$package/qvcam64.sys" "$package/摄像头设置.dll"
cp "$package/qvcam.cat" "$catroot/oem6.cat"

mkdir -p "$sys/config"
python3 "$here/make-hive.py" "$sys/config/SYSTEM" "$demo/image/system.reg" 'HKEY_LOCAL_MACHINE\SYSTEM'
python3 "$here/make-hive.py" "$sys/config/DRIVERS" "$demo/image/drivers.reg" 'HKEY_LOCAL_MACHINE\DRIVERS'
python3 "$here/make-hive.py" "$sys/config/SOFTWARE" "$demo/image/software.reg" 'HKEY_LOCAL_MACHINE\SOFTWARE'
