#!/usr/bin/env python3
"""Builds a registry hive file from .reg text (UTF-8 or UTF-16 with its mark).

    make-hive.py OUT REGFILE PREFIX

PREFIX is the key the hive is mounted at in the .reg text (HKEY_LOCAL_MACHINE\\SYSTEM).
Starts from an empty hive that this script writes itself, adds the parent keys the
.reg text leaves implicit (hivexregedit needs them listed), and merges the text with
hivexregedit.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile


def empty_hive():
    # One hive bin holding the root key, one security cell and free space.
    bin_size = 0x1000
    nk = bytearray(96)
    name = b"ROOT"
    struct.pack_into("<i", nk, 0, -len(nk))
    struct.pack_into("<2sHQIIIIIIIIIIIIIIIHH", nk, 4, b"nk", 0x2C, 0, 0, 0, 0, 0,
                     0xFFFFFFFF, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0x80, 0xFFFFFFFF, 0, 0, 0, 0, 0,
                     len(name), 0)
    nk[80:80 + len(name)] = name
    # A self-relative security descriptor with a NULL DACL.
    sd = struct.pack("<BBHIIII", 1, 0, 0x8004, 0, 0, 0, 0)
    sk = bytearray(48)
    struct.pack_into("<i2sHIIII", sk, 0, -len(sk), b"sk", 0, 0x80, 0x80, 1, len(sd))
    sk[24:24 + len(sd)] = sd
    used = 0x20 + len(nk) + len(sk)
    free = struct.pack("<i", bin_size - used) + bytes(bin_size - used - 4)
    hbin = struct.pack("<4sIIQQI", b"hbin", 0, bin_size, 0, 0, 0) + nk + sk + free
    base = bytearray(0x1000)
    struct.pack_into("<4sIIQIIIIIII", base, 0, b"regf", 1, 1, 0, 1, 5, 0, 1, 0x20, bin_size, 1)
    checksum = 0
    for i in range(127):
        checksum ^= struct.unpack_from("<I", base, i * 4)[0]
    struct.pack_into("<I", base, 0x1FC, checksum)
    return bytes(base) + hbin


def read_reg(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    return data.decode("utf-8-sig")


STRING_VALUE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")="((?:[^"\\]|\\.)*)"$')


def as_utf16(line):
    # hivexregedit reads .reg text byte by byte: a string value outside ASCII goes in
    # as its UTF-16LE bytes instead (hex(1):), which it stores as they are.
    m = STRING_VALUE.match(line.strip())
    if not m or m.group(2).isascii():
        return line
    value = re.sub(r"\\(.)", r"\1", m.group(2))
    data = (value + "\0").encode("utf-16-le")
    return "%s=hex(1):%s" % (m.group(1), ",".join("%02x" % b for b in data))


def with_parents(text, prefix):
    out, seen = [], set()
    for line in text.splitlines():
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            key = stripped[1:-1]
            if not key.upper().startswith(prefix.upper() + "\\"):
                sys.exit("key outside %s: %s" % (prefix, key))
            parts = key[len(prefix) + 1:].split("\\")
            for n in range(1, len(parts)):
                parent = "\\".join(parts[:n]).upper()
                if parent not in seen:
                    seen.add(parent)
                    out += ["[%s\\%s]" % (prefix, "\\".join(parts[:n])), ""]
            seen.add("\\".join(parts).upper())
        out.append(as_utf16(line))
    return "\n".join(out) + "\n"


def main():
    out, reg, prefix = sys.argv[1:4]
    with open(out, "wb") as f:
        f.write(empty_hive())
    with tempfile.NamedTemporaryFile("w", suffix=".reg", encoding="utf-8", delete=False) as t:
        t.write(with_parents(read_reg(reg), prefix))
    try:
        subprocess.run(["hivexregedit", "--merge", "--prefix", prefix, out, t.name], check=True)
    finally:
        os.unlink(t.name)


if __name__ == "__main__":
    main()
