#!/usr/bin/env python3
"""Lays out a generated offline Windows volume for the image benchmark.

    make_image.py ROOT CP_SOURCE [--drivers 300] [--files 10] [--kb 64]

ROOT gets a Windows tree: per driver an INF in Windows\\INF, its catalog under
System32\\CatRoot and its source files in System32\\drivers and System32 (folder names in
mixed case), and a SYSTEM hive that lists the drivers (built with scripts/make-hive.py).
CP_SOURCE gets the same files, hard links, laid out as the backup lays them out, for
`cp -r` to copy. --files counts the INF and the catalog.
"""
import argparse
import os
import random
import subprocess
import sys

CLASSES = [("{4d36e968-e325-11ce-bfc1-08002be10318}", "Display"), ("{4d36e972-e325-11ce-bfc1-08002be10318}", "Net"),
           ("{4d36e96c-e325-11ce-bfc1-08002be10318}", "MEDIA"), ("{4d36e97b-e325-11ce-bfc1-08002be10318}", "SCSIAdapter")]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def link(src, dst):
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    os.link(src, dst)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("root")
    ap.add_argument("cp_source")
    ap.add_argument("--drivers", type=int, default=300)
    ap.add_argument("--files", type=int, default=10)
    ap.add_argument("--kb", type=int, default=64)
    o = ap.parse_args()
    rnd = random.Random(7)
    win = os.path.join(o.root, "WINDOWS")
    sys32 = os.path.join(win, "system32")
    reg = ["Windows Registry Editor Version 5.00", "",
           "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]", '"Current"=dword:00000001', "",
           "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment]",
           '"PROCESSOR_ARCHITECTURE"="AMD64"', ""]
    for guid, name in CLASSES:
        reg += ["[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\%s]" % guid, '"Class"="%s"' % name, ""]
    for d in range(o.drivers):
        guid, cls = CLASSES[d % len(CLASSES)]
        inf, desc = "oem%d.inf" % (d + 1), "Bench Device %03d" % d
        sources = ["bdev%03d_%d.%s" % (d, i, "sys" if i % 2 == 0 else "dll") for i in range(o.files - 2)]
        text = ("[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=%s\r\nProvider=Bench\r\nCatalogFile=bdev%03d.cat\r\n"
                "[DestinationDirs]\r\nDefaultDestDir=12\r\n[SourceDisksFiles]\r\n" % (cls, d))
        text += "".join("%s=1\r\n" % s for s in sources)
        out = os.path.join(o.cp_source, "Quorvak", cls, desc)
        files = [(os.path.join(win, "Inf", inf), text.encode())]
        files.append((os.path.join(sys32, "CatRoot", "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}", "bdev%03d.cat" % d),
                      rnd.randbytes(4096)))
        for s in sources:
            # .sys files go to drivers (DefaultDestDir 12), the others to System32, as the extension rule says.
            folder = os.path.join(sys32, "DRIVERS") if s.endswith(".sys") else sys32
            files.append((os.path.join(folder, s), rnd.randbytes(o.kb * 1024)))
        for path, data in files:
            write(path, data)
            link(path, os.path.join(out, os.path.basename(path).lower()))
        key = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\%s\\%04d" % (guid, d)
        reg += ["[%s]" % key, '"DriverDesc"="%s"' % desc, '"ProviderName"="Bench"', '"InfPath"="%s"' % inf, ""]
    regfile = os.path.join(o.root, "system.reg")
    write(regfile, "\r\n".join(reg).encode())
    here = os.path.dirname(os.path.abspath(__file__))
    os.makedirs(os.path.join(sys32, "config"), exist_ok=True)
    subprocess.run([sys.executable, os.path.join(here, "..", "..", "scripts", "make-hive.py"),
                    os.path.join(sys32, "config", "SYSTEM"), regfile, "HKEY_LOCAL_MACHINE\\SYSTEM"], check=True)
    os.unlink(regfile)


if __name__ == "__main__":
    main()
