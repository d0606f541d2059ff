#!/usr/bin/env bash
# Lays the demo driver set into a Wine prefix as Windows installs drivers: the
# registry entries of three third-party drivers (display, network, printer) and one
# of Microsoft's, their INF files in the INF folder as oemN.inf, their binaries where
# the INFs' install sections put them (the drivers folder, System32, the help folder,
# a numbered printer-driver folder), the display and network drivers' packages in the
# driver store with their catalogs in CatRoot as oemN.cat, and the printer driver as
# one installed before the store existed (no package, its catalog under its own name).
#   demo-set.sh PREFIX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-env.sh"
prefix=${1:?usage: demo-set.sh PREFIX}
win="$prefix/drive_c/windows"
sys="$win/system32"   # the real (64-bit) System32 of a 64-bit prefix
demo="$root/resources/demo"

. "$here/demo-files.sh"

install -D -m 644 "$demo/inf/qvdisp.inf" "$win/inf/oem3.inf"
install -D -m 644 "$demo/inf/qvnet.inf" "$win/inf/oem4.inf"
install -D -m 644 "$demo/inf/qvdispx.inf" "$win/inf/oem20.inf"
install -D -m 644 "$demo/inf/qvprint.inf" "$win/inf/oem5.inf"
demo_inbox_inf "$win/inf/kdnic.inf" "$sys/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"

fake_binary "$sys/drivers/qvdisp.sys" 48000
fake_binary "$sys/qvdisp_um.dll" 120000
fake_binary "$win/help/qvdisp.hlp" 9000
fake_binary "$sys/qvdisp.v2.sys" 7000
fake_binary "$sys/qvdispx.dll" 26000
fake_binary "$sys/drivers/qvnet.sys" 64000
fake_binary "$sys/qvnetco.dll" 30000
fake_binary "$sys/qvnet.ini" 300
fake_binary "$sys/spool/drivers/w32x86/3/qvprint.gpd" 15000
fake_binary "$sys/spool/drivers/w32x86/3/qvprintui.dll" 80000
fake_binary "$sys/spool/drivers/w32x86/3/qvprintres.dll" 40000
fake_binary "$sys/spool/drivers/w32x86/qvprint.chm" 12000
store_demo_packages "$sys" "$sys/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}" "$demo"
demo_printer_catalog "$sys/CatRoot/{127D0A1D-4EF2-11D1-8608-00C04FC295EE}/qvprint.cat" "$demo"

WINEPREFIX="$prefix" wine regedit /s "$root/tests/fixtures/registry/demo-drivers.reg" >/dev/null 2>&1
WINEPREFIX="$prefix" wineserver -w
