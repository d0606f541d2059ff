#!/usr/bin/env python3
"""Writes a SYSTEM hive whose network class holds N driver keys, for the hive benchmark.

    make_driver_hive.py OUT N [--classes K]

The hive is laid out directly, as Windows lays one out (hive bins of 4 KiB and
larger, "lh" leaves of up to 512 keys under an "ri" root), so that 40,000 keys
make a hive of a few tens of MB; merging them one by one with hivexregedit leaves
every superseded subkey list behind and grows it past a gigabyte. The driver keys
are spread over K classes (1: all in one class, the worst case for a reader that
looks names up one by one). Select\\Current is 1 and ControlSet001 holds the classes.
"""
import argparse
import struct

BIN = 4096


class Hive:
    def __init__(self):
        self.bins = bytearray()
        self.free = 0  # bytes left in the current hive bin

    def cell(self, data):
        """Appends a cell in use holding `data`; returns its offset in the hive bins."""
        size = (len(data) + 4 + 7) // 8 * 8
        if size > self.free:
            if self.free:  # the rest of the bin is one free cell
                self.bins += struct.pack("<i", self.free) + bytes(self.free - 4)
            start = len(self.bins)
            length = max(BIN, (size + 32 + BIN - 1) // BIN * BIN)
            self.bins += struct.pack("<4sIIQQI", b"hbin", start, length, 0, 0, 0)
            self.free = length - 32
        offset = len(self.bins)
        self.bins += struct.pack("<i", -size) + data + bytes(size - 4 - len(data))
        self.free -= size
        return offset

    def close(self):
        if self.free:
            self.bins += struct.pack("<i", self.free) + bytes(self.free - 4)
            self.free = 0


def lh_hash(name):
    h = 0
    for c in name.upper():
        h = (h * 37 + ord(c)) & 0xFFFFFFFF
    return h


class Key:
    def __init__(self, name):
        self.name = name
        self.children = {}
        self.values = []  # (name, type, bytes)

    def child(self, name):
        return self.children.setdefault(name.upper(), Key(name))


def sz(text):
    return (text + "\0").encode("utf-16-le")


def write_key(hive, key, sk, is_root=False):
    # Cells of the children first, so the key knows their offsets; their parent
    # field is set once the key's own offset is known.
    node_offsets = []
    kids = sorted(key.children.values(), key=lambda k: k.name.upper())
    for kid in kids:
        node_offsets.append((kid.name, write_key(hive, kid, sk)))
    value_offsets = []
    for name, vtype, data in key.values:
        if len(data) <= 4:
            size, where = 0x80000000 | len(data), struct.unpack("<I", data.ljust(4, b"\0"))[0]
        else:
            size, where = len(data), hive.cell(data)
        encoded = name.encode("latin-1")
        value_offsets.append(hive.cell(struct.pack("<2sHIIIHH", b"vk", len(encoded), size, where, vtype, 1, 0) + encoded))
    subkey_list = 0xFFFFFFFF
    if node_offsets:
        leaves = []
        for i in range(0, len(node_offsets), 512):
            part = node_offsets[i:i + 512]
            leaves.append(hive.cell(struct.pack("<2sH", b"lh", len(part)) +
                                    b"".join(struct.pack("<II", o, lh_hash(n)) for n, o in part)))
        subkey_list = leaves[0] if len(leaves) == 1 else hive.cell(
            struct.pack("<2sH", b"ri", len(leaves)) + b"".join(struct.pack("<I", o) for o in leaves))
    value_list = hive.cell(b"".join(struct.pack("<I", o) for o in value_offsets)) if value_offsets else 0xFFFFFFFF
    encoded = key.name.encode("latin-1")
    nk = struct.pack("<2sHQIIIIIIIIIIIIIIIHH", b"nk", 0x20 | (0xC if is_root else 0), 0, 0, 0,
                     len(kids), 0, subkey_list, 0xFFFFFFFF, len(key.values), value_list, sk, 0xFFFFFFFF,
                     0, 0, 0, 0, 0, len(encoded), 0) + encoded
    offset = hive.cell(nk)
    for _, kid in node_offsets:
        struct.pack_into("<I", hive.bins, kid + 4 + 16, offset)
    return offset


def main():
    p = argparse.ArgumentParser()
    p.add_argument("out")
    p.add_argument("drivers", type=int)
    p.add_argument("--classes", type=int, default=1)
    o = p.parse_args()

    root = Key("ROOT")
    root.child("Select").values.append(("Current", 4, struct.pack("<I", 1)))
    classes = root.child("ControlSet001").child("Control").child("Class")
    for c in range(o.classes):
        guid = "{4d36e972-e325-11ce-bfc1-%012x}" % (0x08002be10318 + c)
        ck = classes.child(guid)
        ck.values += [("Class", 1, sz("Net%d" % c)), ("", 1, sz("Network adapters %d" % c))]
        for d in range(c, o.drivers, o.classes):
            dk = ck.child("%04d" % (d // o.classes))
            dk.values += [("DriverDesc", 1, sz("Bench adapter %d" % d)), ("ProviderName", 1, sz("Bench Inc")),
                          ("InfPath", 1, sz("oem%d.inf" % d)), ("InfSection", 1, sz("Install")),
                          ("DriverVersion", 1, sz("10.0.%d.1" % d))]

    hive = Hive()
    # A self-relative security descriptor with a NULL DACL, shared by every key.
    sd = struct.pack("<BBHIIII", 1, 0, 0x8004, 0, 0, 0, 0)
    sk = hive.cell(struct.pack("<2sHIIII", b"sk", 0, 0, 0, 1, len(sd)) + sd)
    struct.pack_into("<II", hive.bins, sk + 8, sk, sk)  # the only one: its own neighbour
    root_offset = write_key(hive, root, sk, is_root=True)
    hive.close()

    base = bytearray(BIN)
    struct.pack_into("<4sIIQIIIIIII", base, 0, b"regf", 1, 1, 0, 1, 5, 0, 1, root_offset, len(hive.bins), 1)
    checksum = 0
    for i in range(127):
        checksum ^= struct.unpack_from("<I", base, i * 4)[0]
    struct.pack_into("<I", base, 0x1FC, checksum)
    with open(o.out, "wb") as f:
        f.write(bytes(base) + bytes(hive.bins))


if __name__ == "__main__":
    main()
