#!/usr/bin/env python3
"""Lays out a generated offline Windows volume for the image benchmark.

    make_image.py ROOT CP_SOURCE [--drivers 300] [--files 10] [--kb 64] [--packages 0]

ROOT gets a Windows tree: per driver an INF in Windows\\INF, its catalog under
System32\\CatRoot and its source files in System32\\drivers and System32 (folder names in
mixed case), and a SYSTEM hive that lists the drivers (built with scripts/make-hive.py).
CP_SOURCE gets the same files, hard links, laid out as the backup lays them out, for
`cp -r` to copy. --files counts the INF and the catalog.

--signed makes each driver's catalog a real one, signed by a throwaway certificate, that
lists its files (tests/signatures/make_catalog.py and sign_catalog.sh), instead of random
bytes, so that `list --image` checks real signatures.

--packages N adds N display drivers whose files are only in the driver store, laid
out as a graphics vendor's package: 150 to 300 MB each in 100 to 200 files, a few of
tens of MB and many small ones, in subfolders. Each has its INF published as
Windows\\INF\\oemN.inf (the same bytes), its catalog in CatRoot as oemN.cat and a
driver key in the SYSTEM hive; the DRIVERS hive's driver database names the package
of all but the last, which the backup finds by searching the store.
"""
import argparse
import os
import random
import subprocess
import tempfile
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


# Folders of a graphics package below its root ("" is the root itself), and the
# extensions of the small files found there.
PACKAGE_FOLDERS = ["", "", "um", "um\\x86", "Profiles", "Shaders\\Dx12", "Shaders\\Vulkan", "Locale\\en-US",
                   "Locale\\de-DE", "Locale\\zh-CN", "OpenCL"]
SMALL_EXTENSIONS = ["dll", "dll", "bin", "dat", "cso", "spv", "json", "xml", "mui", "sys", "cfg", "icd"]


def package(p, d, rnd, pool):
    """The files of graphics package p (driver number d), the INF first and the
    catalog second, as (relative path with "\\", bytes); and the INF's name."""
    stem = "gfxbench%d" % (p + 1)
    inf = stem + ".inf"
    count = rnd.randint(100, 200)
    big = rnd.randint(3, 5)
    total = rnd.randint(150, 300) << 20
    files = []
    names = set()

    def name_in(folder, base, ext):
        n = "%s.%s" % (base, ext)
        k = 2
        while n.lower() in names:
            n = "%s_%d.%s" % (base, k, ext)
            k += 1
        names.add(n.lower())
        return folder + "\\" + n if folder else n

    small = []
    for i in range(count - 2 - big):
        folder = PACKAGE_FOLDERS[i % len(PACKAGE_FOLDERS)]
        ext = SMALL_EXTENSIONS[rnd.randrange(len(SMALL_EXTENSIONS))]
        size = min(int(rnd.lognormvariate(11.5, 1.3)), 2 << 20)  # about 100 kB, a few near 2 MB
        small.append((name_in(folder, "gfxb%d_%s%03d" % (p + 1, ext[:2], i), ext), size))
    left = total - sum(size for _, size in small)
    bigs = [("", "kmd", "sys"), ("um", "um64", "dll"), ("um\\x86", "um32", "dll"), ("", "compiler", "dll"),
            ("OpenCL", "ocl64", "dll")][:big]
    weights = [rnd.uniform(0.5, 1.5) for _ in bigs]
    for (folder, base, ext), w in zip(bigs, weights):
        files.append((name_in(folder, "gfxb%d%s" % (p + 1, base), ext), int(left * w / sum(weights))))
    files += small
    # Each file a different slice of the pool: no two files alike.
    data = []
    for path, size in files:
        at = rnd.randrange(len(pool) - min(size, len(pool)) + 1)
        chunk = pool[at:at + size]
        while len(chunk) < size:
            chunk += pool[:size - len(chunk)]
        data.append((path, chunk))

    # Everything but a few notes is copied by the install: kernel files to drivers,
    # a few user-mode libraries to System32, the rest runs from the store.
    kernel, system, store, notes = [], [], [], 0
    for path, _ in data:
        if path.endswith((".json", ".xml")) and notes < 3:
            notes += 1  # not copied by the install, as vendors ship notes and manifests
            continue
        name = path.rsplit("\\", 1)[-1]
        if path.endswith(".sys"):
            kernel.append(path)
        elif name.endswith(".dll") and "\\" not in path and len(system) < 4:
            system.append(path)
        else:
            store.append(path)
    section = "Gfx%d" % (p + 1)
    text = ['; Bench graphics package %d' % (p + 1), "[Version]", 'Signature="$Windows NT$"', "Class=Display",
            "ClassGUID=%s" % CLASSES[0][0], "Provider=%Vendor%", "CatalogFile=%s.cat" % stem,
            "DriverVer=06/21/2024,31.0.15.%d" % (5000 + d), "PnpLockdown=1", "",
            "[DestinationDirs]", "DefaultDestDir = 13", "%s.Kernel = 12" % section, "%s.System = 11" % section, "",
            "[Manufacturer]", "%%Vendor%% = %s, NTamd64" % section, "",
            "[%s.NTamd64]" % section, '%%DeviceDesc%% = %s_Install, PCI\\VEN_1AF4&DEV_10%02X' % (section, p), "",
            "[%s_Install.NT]" % section, "CopyFiles = %s.Kernel, %s.System, %s.Store" % (section, section, section), ""]
    for part, listed in (("Kernel", kernel), ("System", system), ("Store", store)):
        text += ["[%s.%s]" % (section, part)] + [f.rsplit("\\", 1)[-1] for f in listed] + [""]
    text += ["[SourceDisksNames]", '1 = %DiskName%,,,', "", "[SourceDisksFiles]"]
    for f in kernel + system + store:
        folder, _, name = f.rpartition("\\")
        text.append("%s = 1%s" % (name, "," + folder if folder else ""))
    text += ["", "[Strings]", 'Vendor="Bench Graphics"', 'DeviceDesc="Bench Graphics Adapter %d"' % (p + 1),
             'DiskName="Bench Graphics Disk"', ""]
    infText = "\r\n".join(text).encode()
    data = [(inf, infText), (stem + ".cat", rnd.randbytes(8192))] + data
    return data, inf


KEYS = None  # the throwaway certificate's folder, made on the first catalog signed


def signCatalog(catalog, members):
    """Writes `catalog` listing `members` by their SHA-256, signed."""
    tests = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "signatures")
    global KEYS
    if KEYS is None:
        KEYS = tempfile.mkdtemp()
    keys = os.path.join(KEYS, "publisher")
    args = [sys.executable, os.path.join(tests, "make_catalog.py"), "-o", catalog + ".unsigned", "--alg", "sha256"]
    for m in members:
        args += ["--flat", m]
    subprocess.run(args, check=True)
    os.unlink(catalog)  # osslsigncode writes only a new file
    subprocess.run(["sh", os.path.join(tests, "sign_catalog.sh"), keys, "-newkey rsa:2048", "Bench Publisher",
                    catalog + ".unsigned", catalog], check=True)
    os.unlink(catalog + ".unsigned")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("root")
    ap.add_argument("cp_source")
    ap.add_argument("--drivers", type=int, default=300)
    ap.add_argument("--files", type=int, default=10)
    ap.add_argument("--kb", type=int, default=64)
    ap.add_argument("--packages", type=int, default=0)
    ap.add_argument("--signed", action="store_true")
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
        if o.signed:
            signCatalog(files[1][0], [files[0][0]] + [p for p, _ in files[2:]])
        for path, data in files:
            link(path, os.path.join(out, os.path.basename(path).lower()))
        key = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\%s\\%04d" % (guid, d)
        reg += ["[%s]" % key, '"DriverDesc"="%s"' % desc, '"ProviderName"="Bench"', '"InfPath"="%s"' % inf, ""]
    database = ["Windows Registry Editor Version 5.00", ""]
    pool = rnd.randbytes(64 << 20) if o.packages else b""
    repository = os.path.join(sys32, "DriverStore", "FileRepository")
    for p in range(o.packages):
        d = o.drivers + p
        guid, cls = CLASSES[0]
        oem, desc = "oem%d.inf" % (d + 1), "Bench Graphics Adapter %d" % (p + 1)
        files, inf = package(p, d, rnd, pool)
        last = p == o.packages - 1 and o.packages > 1
        # The last one in the form of Windows 7, which no database names.
        folder = "%s_amd64_%s%016x" % (inf, "neutral_" if last else "", rnd.getrandbits(64))
        out = os.path.join(o.cp_source, "Quorvak", cls, desc)
        for relative, data in files:
            path = os.path.join(repository, folder, *relative.split("\\"))
            write(path, data)
            link(path, os.path.join(out, *relative.split("\\")))
        write(os.path.join(win, "Inf", oem), files[0][1])
        write(os.path.join(sys32, "CatRoot", "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}", oem[:-4] + ".cat"), files[1][1])
        key = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\%s\\%04d" % (guid, d)
        reg += ["[%s]" % key, '"DriverDesc"="%s"' % desc, '"ProviderName"="Bench Graphics"', '"InfPath"="%s"' % oem,
                '"InfSection"="Gfx%d_Install"' % (p + 1), ""]
        if not last:
            database += ["[HKEY_LOCAL_MACHINE\\DRIVERS\\DriverDatabase\\DriverInfFiles\\%s]" % oem,
                         '"Active"="%s"' % folder, ""]
    here = os.path.dirname(os.path.abspath(__file__))
    os.makedirs(os.path.join(sys32, "config"), exist_ok=True)
    hives = [("SYSTEM", reg)] + ([("DRIVERS", database)] if o.packages else [])
    for hive, text in hives:
        regfile = os.path.join(o.root, hive.lower() + ".reg")
        write(regfile, "\r\n".join(text).encode())
        subprocess.run([sys.executable, os.path.join(here, "..", "..", "scripts", "make-hive.py"),
                        os.path.join(sys32, "config", hive), regfile, "HKEY_LOCAL_MACHINE\\" + hive], check=True)
        os.unlink(regfile)


if __name__ == "__main__":
    main()
