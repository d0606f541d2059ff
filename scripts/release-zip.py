#!/usr/bin/env python3
"""Writes a Zip file of a folder that is the same bytes wherever and whenever it is made.

    release-zip.py ARCHIVE FOLDER

Entries in name order, each dated SOURCE_DATE_EPOCH (UTC), with fixed permissions and
no owner: nothing of the machine or the moment goes in.
"""
import os
import sys
import time
import zipfile


def main() -> int:
    archive, folder = sys.argv[1], sys.argv[2]
    stamp = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))
    # Zip dates start in 1980.
    date = max((stamp.tm_year, stamp.tm_mon, stamp.tm_mday, stamp.tm_hour, stamp.tm_min, stamp.tm_sec),
               (1980, 1, 1, 0, 0, 0))
    paths = []
    for root, dirs, files in os.walk(folder):
        paths += [os.path.join(root, d) + "/" for d in dirs]
        paths += [os.path.join(root, f) for f in files]
    paths.append(folder + "/")
    with zipfile.ZipFile(archive, "w") as out:
        for path in sorted(paths):
            info = zipfile.ZipInfo(path, date_time=date)
            info.create_system = 3  # Unix, so that the permissions below are read
            if path.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10
                out.writestr(info, b"")
                continue
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                out.writestr(info, f.read(), compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main())
