#include "zip_reader.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include <zlib.h>

#include "sfx_format/pkware_crypt.h"

namespace ziptest {
namespace {

struct File {
    std::FILE* f = nullptr;
    explicit File(const std::string& path) : f(std::fopen(path.c_str(), "rb")) {}
    ~File() {
        if (f) std::fclose(f);
    }
    bool seek(std::uint64_t off) { return fseeko64(f, static_cast<off64_t>(off), SEEK_SET) == 0; }
    bool read(void* buf, std::size_t n) { return std::fread(buf, 1, n, f) == n; }
    std::uint64_t size() {
        fseeko64(f, 0, SEEK_END);
        return static_cast<std::uint64_t>(ftello64(f));
    }
};

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }
std::uint64_t le64(const std::uint8_t* p) { return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32); }

// Reads the extra fields into the entry; `central` tells which Zip64 fields to expect.
bool parseExtra(const std::uint8_t* p, std::size_t n, ReadEntry& e, bool central, std::uint32_t rawSize,
                std::uint32_t rawCompressed, std::uint32_t rawOffset, std::string& error) {
    std::size_t i = 0;
    while (i + 4 <= n) {
        std::uint16_t tag = le16(p + i), len = le16(p + i + 2);
        if (i + 4 + len > n) {
            error = "extra field overruns";
            return false;
        }
        const std::uint8_t* d = p + i + 4;
        if (tag == 0x0001) {
            e.hasZip64 = true;
            std::size_t k = 0;
            if (rawSize == 0xFFFFFFFF) e.size = le64(d + k), k += 8;
            if (rawCompressed == 0xFFFFFFFF) e.compressedSize = le64(d + k), k += 8;
            if (central && rawOffset == 0xFFFFFFFF) e.localOffset = le64(d + k), k += 8;
            if (k != len) {
                error = "zip64 field of length " + std::to_string(len) + " for " + std::to_string(k) + " bytes";
                return false;
            }
        } else if (tag == 0x5455) {
            if (len < 5 || !(d[0] & 1)) {
                error = "bad timestamp field";
                return false;
            }
            e.hasTimestamp = true;
            e.unixMtime = static_cast<std::int32_t>(le32(d + 1));
        }
        i += 4 + len;
    }
    if (i != n) error = "extra fields do not add up";
    return i == n;
}

}  // namespace

ReadArchive readArchive(const std::string& path) {
    ReadArchive a;
    File f(path);
    if (!f.f) {
        a.error = "cannot open " + path;
        return a;
    }
    std::uint64_t size = f.size();
    if (size < 22) {
        a.error = "too short";
        return a;
    }
    std::uint8_t eocd[22];
    if (!f.seek(size - 22) || !f.read(eocd, 22) || le32(eocd) != 0x06054b50) {
        a.error = "no end record at the very end";
        return a;
    }
    std::uint64_t count = le16(eocd + 10), cdSize = le32(eocd + 12), cdOffset = le32(eocd + 16);
    if (size >= 22 + 20) {
        std::uint8_t loc[20];
        if (f.seek(size - 42) && f.read(loc, 20) && le32(loc) == 0x07064b50) {
            std::uint8_t rec[56];
            if (!f.seek(le64(loc + 8)) || !f.read(rec, 56) || le32(rec) != 0x06064b50) {
                a.error = "bad zip64 end record";
                return a;
            }
            a.zip64End = true;
            count = le64(rec + 32);
            cdSize = le64(rec + 40);
            cdOffset = le64(rec + 48);
        }
    }
    std::vector<std::uint8_t> cd(cdSize);
    if (!f.seek(cdOffset) || (cdSize && !f.read(cd.data(), cd.size()))) {
        a.error = "cannot read central directory";
        return a;
    }
    std::size_t i = 0;
    for (std::uint64_t k = 0; k < count; ++k) {
        if (i + 46 > cd.size() || le32(&cd[i]) != 0x02014b50) {
            a.error = "bad central header " + std::to_string(k);
            return a;
        }
        const std::uint8_t* h = &cd[i];
        ReadEntry e;
        e.flags = le16(h + 8);
        e.method = le16(h + 10);
        e.dosTime = le16(h + 12);
        e.dosDate = le16(h + 14);
        e.crc = le32(h + 16);
        std::uint32_t rc = le32(h + 20), rs = le32(h + 24), ro = le32(h + 42);
        e.compressedSize = rc;
        e.size = rs;
        e.localOffset = ro;
        e.externalAttributes = le32(h + 38);
        std::uint16_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen = le16(h + 32);
        if (i + 46 + nameLen + extraLen + commentLen > cd.size()) {
            a.error = "central header overruns";
            return a;
        }
        e.name.assign(reinterpret_cast<const char*>(h + 46), nameLen);
        if (!parseExtra(h + 46 + nameLen, extraLen, e, true, rs, rc, ro, a.error)) return a;
        i += 46 + nameLen + extraLen + commentLen;

        // The local header must say the same.
        std::uint8_t lh[30];
        if (!f.seek(e.localOffset) || !f.read(lh, 30) || le32(lh) != 0x04034b50) {
            a.error = "no local header for " + e.name;
            return a;
        }
        std::uint16_t lNameLen = le16(lh + 26), lExtraLen = le16(lh + 28);
        std::vector<std::uint8_t> rest(lNameLen + lExtraLen);
        if (!rest.empty() && !f.read(rest.data(), rest.size())) {
            a.error = "short local header for " + e.name;
            return a;
        }
        ReadEntry l;
        l.size = le32(lh + 22);
        l.compressedSize = le32(lh + 18);
        if (!parseExtra(rest.data() + lNameLen, lExtraLen, l, false, le32(lh + 22), le32(lh + 18), 0, a.error)) return a;
        std::string lname(reinterpret_cast<const char*>(rest.data()), lNameLen);
        if (lname != e.name || le16(lh + 6) != e.flags || le16(lh + 8) != e.method || le32(lh + 14) != e.crc ||
            l.size != e.size || l.compressedSize != e.compressedSize || le16(lh + 10) != e.dosTime ||
            le16(lh + 12) != e.dosDate) {
            a.error = "local header disagrees for " + e.name;
            return a;
        }
        if (e.localOffset + 30 + lNameLen + lExtraLen + e.compressedSize > cdOffset) {
            a.error = "data of " + e.name + " overlaps the central directory";
            return a;
        }
        a.entries.push_back(std::move(e));
    }
    if (i != cd.size()) a.error = "central directory size mismatch";
    return a;
}

bool extract(const std::string& path, const ReadEntry& e, std::vector<std::uint8_t>& data, std::string& error,
             const std::string& password) {
    File f(path);
    std::uint8_t lh[30];
    if (!f.f || !f.seek(e.localOffset) || !f.read(lh, 30)) {
        error = "cannot read " + e.name;
        return false;
    }
    std::vector<std::uint8_t> raw(e.compressedSize);
    if (!f.seek(e.localOffset + 30 + le16(lh + 26) + le16(lh + 28)) || (!raw.empty() && !f.read(raw.data(), raw.size()))) {
        error = "cannot read data of " + e.name;
        return false;
    }
    std::size_t skip = 0;
    if (e.flags & 1) {
        if (raw.size() < 12) {
            error = "encrypted entry too short: " + e.name;
            return false;
        }
        zipcomp::PkwareCipher c(password);
        c.decrypt(raw.data(), raw.size());
        if (raw[11] != static_cast<std::uint8_t>(e.crc >> 24)) {
            error = "password check byte mismatch for " + e.name;
            return false;
        }
        skip = 12;
    }
    data.clear();
    if (e.method == 0) {
        data.assign(raw.begin() + static_cast<std::ptrdiff_t>(skip), raw.end());
    } else if (e.method == 8) {
        data.resize(e.size);
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = raw.data() + skip;
        z.avail_in = static_cast<uInt>(raw.size() - skip);
        z.next_out = data.data();
        z.avail_out = static_cast<uInt>(data.size());
        int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (rc != Z_STREAM_END || z.avail_out != 0 || z.avail_in != 0) {
            error = "inflate failed for " + e.name;
            return false;
        }
    } else {
        error = "unknown method for " + e.name;
        return false;
    }
    if (data.size() != e.size || crc32(0, data.data(), static_cast<uInt>(data.size())) != e.crc) {
        error = "size or CRC mismatch for " + e.name;
        return false;
    }
    return true;
}

std::map<std::string, std::string> extractAll(const std::string& path, std::string& error,
                                              const std::string& password) {
    std::map<std::string, std::string> out;
    ReadArchive a = readArchive(path);
    if (!a.error.empty()) {
        error = a.error;
        return out;
    }
    for (const auto& e : a.entries) {
        std::vector<std::uint8_t> d;
        if (!extract(path, e, d, error, password)) return out;
        if (!out.emplace(e.name, std::string(d.begin(), d.end())).second) {
            error = "duplicate entry " + e.name;
            return out;
        }
    }
    return out;
}

}  // namespace ziptest
