#!/usr/bin/env python3
"""Writes an unsigned driver catalog (.cat) for the tests: a PKCS#7 SignedData without
signers whose content is a certificate trust list naming one hash per member, laid out
as Windows' catalog tool lays it out. Sign it afterwards (osslsigncode sign -in ...).

    make_catalog.py -o out.cat [--alg sha1|sha256] [--attr NAME=VALUE]...
                    [--member NAME:pe|flat:sha1|sha256:HEXDIGEST]... [--flat FILE]...

--member gives a member's hash as it is (for a PE image, its Authenticode hash);
--flat hashes a file's bytes with --alg. --attr adds a catalog attribute (OSAttr, ...).
"""
import argparse
import hashlib
import os
import sys

OID_SIGNED_DATA = "1.2.840.113549.1.7.2"
OID_CTL = "1.3.6.1.4.1.311.10.1"
OID_CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"
OID_CATALOG_MEMBER_LIST = "1.3.6.1.4.1.311.12.1.2"
OID_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
OID_PE_IMAGE_DATA = "1.3.6.1.4.1.311.2.1.15"
OID_CAB_DATA = "1.3.6.1.4.1.311.2.1.25"
OID_NAME_VALUE = "1.3.6.1.4.1.311.12.2.1"
OID_MEMBER_INFO = "1.3.6.1.4.1.311.12.2.2"
OID_ALG = {"sha1": "1.3.14.3.2.26", "sha256": "2.16.840.1.101.3.4.2.1"}
DIGEST_SIZE = {"sha1": 20, "sha256": 32}
# The subject GUID Windows' catalog tool gives every member.
MEMBER_GUID = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"
# Name/value flags: a readable, added-to-catalog string attribute.
NAME_VALUE_FLAGS = 0x10010001


def tlv(tag, body):
    n = len(body)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + body


def seq(*items):
    return tlv(0x30, b"".join(items))


def set_of(*items):
    return tlv(0x31, b"".join(items))


def oid(text):
    arcs = [int(a) for a in text.split(".")]
    out = bytearray()
    for i, value in enumerate([arcs[0] * 40 + arcs[1]] + arcs[2:]):
        chunk = [value & 0x7F]
        value >>= 7
        while value:
            chunk.append(0x80 | (value & 0x7F))
            value >>= 7
        out += bytes(reversed(chunk))
    return tlv(0x06, bytes(out))


def integer(value):
    raw = value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big", signed=True)
    return tlv(0x02, raw)


def octets(data):
    return tlv(0x04, data)


def bmp(text):
    return tlv(0x1E, text.encode("utf-16-be"))


def null():
    return b"\x05\x00"


def attribute(type_oid, value):
    return seq(oid(type_oid), set_of(value))


def name_value(name, value):
    return seq(bmp(name), integer(NAME_VALUE_FLAGS), octets((value + "\0").encode("utf-16-le")))


def spc_link():
    # SpcLink file [2] { unicode [0] "<<<Obsolete>>>" }, as the catalog tool writes it.
    return tlv(0xA2, tlv(0x80, "<<<Obsolete>>>".encode("utf-16-be")))


def indirect_data(kind, alg, digest):
    if kind == "pe":
        data = seq(oid(OID_PE_IMAGE_DATA), seq(b"\x03\x01\x00", tlv(0xA0, spc_link())))
    else:
        data = seq(oid(OID_CAB_DATA), spc_link())
    return seq(data, seq(seq(oid(OID_ALG[alg]), null()), octets(digest)))


def member(name, kind, alg, digest):
    tag = digest.hex().upper().encode("utf-16-le")
    attrs = [
        attribute(OID_NAME_VALUE, name_value("File", name)),
        attribute(OID_MEMBER_INFO, seq(bmp(MEMBER_GUID), integer(512))),
        attribute(OID_INDIRECT_DATA, indirect_data(kind, alg, digest)),
    ]
    return seq(octets(tag), set_of(*sorted(attrs)))


def catalog(members, attrs):
    ctl = [
        seq(oid(OID_CATALOG_LIST)),
        octets(hashlib.md5(repr((members, attrs)).encode()).digest()),
        tlv(0x17, b"260101000000Z"),
        seq(oid(OID_CATALOG_MEMBER_LIST), null()),
    ]
    if members:
        ctl.append(seq(*[member(*m) for m in members]))
    if attrs:
        exts = [seq(oid(OID_NAME_VALUE), octets(name_value(n, v))) for n, v in attrs]
        ctl.append(tlv(0xA0, seq(*exts)))
    content = seq(oid(OID_CTL), tlv(0xA0, seq(*ctl)))
    signed = seq(integer(1), set_of(seq(oid(OID_ALG["sha1"]), null())), content, set_of())
    return seq(oid(OID_SIGNED_DATA), tlv(0xA0, signed))


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("-o", "--output", required=True)
    p.add_argument("--alg", choices=sorted(OID_ALG), default="sha1", help="hash of --flat files")
    p.add_argument("--attr", action="append", default=[], help="catalog attribute NAME=VALUE")
    p.add_argument("--member", action="append", default=[], help="NAME:pe|flat:sha1|sha256:HEXDIGEST")
    p.add_argument("--flat", action="append", default=[], help="a file hashed over all its bytes")
    a = p.parse_args()
    members = []
    for given in a.member:
        parts = given.rsplit(":", 3)
        if len(parts) != 4 or parts[1] not in ("pe", "flat") or parts[2] not in OID_ALG:
            p.error(f"bad --member {given!r}")
        digest = bytes.fromhex(parts[3])
        if len(digest) != DIGEST_SIZE[parts[2]]:
            p.error(f"--member {given!r}: a {parts[2]} digest has {DIGEST_SIZE[parts[2]]} bytes")
        members.append((parts[0], parts[1], parts[2], digest))
    for path in a.flat:
        with open(path, "rb") as f:
            members.append((os.path.basename(path), "flat", a.alg, hashlib.new(a.alg, f.read()).digest()))
    attrs = []
    for given in a.attr:
        name, sep, value = given.partition("=")
        if not sep:
            p.error(f"bad --attr {given!r}")
        attrs.append((name, value))
    with open(a.output, "wb") as f:
        f.write(catalog(members, attrs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
