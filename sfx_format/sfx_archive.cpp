#include "sfx_format/sfx_archive.h"

#include <cstdlib>
#include <cstring>

#include <libdeflate.h>
#include <zlib.h>

#include "base/bytes.h"
#include "sfx_format/sfx_names.h"
#include "sfx_format/pkware_crypt.h"

namespace qsfx {
namespace {

using qelvaro::base::loadLe16;
using qelvaro::base::loadLe32;
using qelvaro::base::loadLe64;

constexpr std::uint32_t kSigLocal = 0x04034b50;
constexpr std::uint32_t kSigCentral = 0x02014b50;
constexpr std::uint32_t kSigEnd = 0x06054b50;
constexpr std::uint32_t kSigEnd64 = 0x06064b50;
constexpr std::uint32_t kSigLocator64 = 0x07064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kMaxComment = 0xFFFF;
// A signature's certificate table starts on an 8-byte boundary; the signer pads the
// file with zeros to reach it.
constexpr std::size_t kTableAlign = 8;
constexpr std::uint64_t kMaxCentral = std::uint64_t{128} << 20;
constexpr std::size_t kChunk = std::size_t{1} << 20;

// Frees a malloc'd buffer when the scope ends.
struct Heap {
    void* p;
    explicit Heap(std::size_t n) : p(std::malloc(n ? n : 1)) {}
    ~Heap() { std::free(p); }
    std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(p); }
};

// Takes the Zip64 values for the fields that are all ones, in their order, from the
// extra field `x`; false when the extra field or its Zip64 block is malformed.
bool readZip64(const std::uint8_t* x, std::size_t extraLen, std::uint64_t* const* fields, std::size_t count) {
    for (std::size_t k = 0; k + 4 <= extraLen;) {
        const std::uint16_t tag = loadLe16(x + k), len = loadLe16(x + k + 2);
        if (k + 4 + len > extraLen) return false;
        if (tag == 0x0001) {
            const std::uint8_t* v = x + k + 4;
            std::size_t left = len;
            for (std::size_t i = 0; i < count; ++i) {
                if (*fields[i] != 0xFFFFFFFFu) continue;
                if (left < 8) return false;
                *fields[i] = loadLe64(v);
                v += 8;
                left -= 8;
            }
        }
        k += 4 + len;
    }
    return true;
}

// The bytes of the archive an entry takes: its local header and its data.
struct Span {
    std::uint64_t begin, end;
};

int bySpanStart(const void* a, const void* b) {
    const std::uint64_t x = static_cast<const Span*>(a)->begin, y = static_cast<const Span*>(b)->begin;
    return x < y ? -1 : x > y;
}

// Reads the local header of `e`, whose central header is `c`, into `buf` (room for a
// header with the longest name and extra field) and notes where its data starts. The
// local header must tell the central one's story: the same name, encryption and method,
// and the same CRC and sizes unless they follow the data. Its data must end before
// `limit`, the central directory.
Status readLocal(Input& in, const std::uint8_t* c, Entry& e, std::uint8_t* buf, std::uint64_t limit) {
    if (!in.readAt(e.localOffset, buf, kLocalSize) || loadLe32(buf) != kSigLocal) return Status::Damaged;
    const std::uint16_t flags = loadLe16(buf + 6);
    const std::size_t nameLen = loadLe16(buf + 26), extraLen = loadLe16(buf + 28);
    const std::uint64_t data = e.localOffset + kLocalSize + nameLen + extraLen;
    if (data > limit || limit - data < e.packedSize) return Status::Damaged;
    std::uint8_t* name = buf + kLocalSize;
    if (nameLen + extraLen > 0 && !in.readAt(e.localOffset + kLocalSize, name, nameLen + extraLen))
        return Status::Damaged;
    if (nameLen != loadLe16(c + 28) || std::memcmp(name, c + kCentralSize, nameLen) != 0) return Status::Damaged;
    if ((flags & 0x0001) != (loadLe16(c + 8) & 0x0001) || loadLe16(buf + 8) != e.method) return Status::Damaged;
    if (!(flags & 0x0008)) {
        std::uint64_t packed = loadLe32(buf + 18), size = loadLe32(buf + 22);
        std::uint64_t* const zip64[] = {&size, &packed};
        if (!readZip64(name + nameLen, extraLen, zip64, 2)) return Status::Damaged;
        if (loadLe32(buf + 14) != e.crc || size != e.size || packed != e.packedSize) return Status::Damaged;
    }
    e.dataOffset = data;
    return Status::Ok;
}

// A signature's certificate table holds WIN_CERTIFICATE entries (a length, a revision
// and a type, then one DER object, padded with zeros to 8 bytes), which must fill it
// exactly. The table lies outside what the signature covers: anything else there, a
// second archive for instance, would be read without being signed.
bool certificatesFill(Input& in, std::uint64_t at, std::uint64_t end) {
    while (at < end) {
        std::uint8_t h[8 + 6];
        if (end - at < sizeof h || !in.readAt(at, h, sizeof h)) return false;
        const std::uint32_t length = loadLe32(h);
        const std::uint16_t revision = loadLe16(h + 4), type = loadLe16(h + 6);
        if (revision != 0x0100 && revision != 0x0200) return false;
        if (type < 1 || type > 4) return false;  // X.509, PKCS #7, reserved, time stamp stack
        const std::uint64_t next = at + ((std::uint64_t{length} + kTableAlign - 1) & ~std::uint64_t{kTableAlign - 1});
        if (length < sizeof h || next > end) return false;
        // The DER object: a SEQUENCE of definite length.
        if (h[8] != 0x30) return false;
        std::uint64_t der = 2, content = h[9];
        if (h[9] & 0x80) {
            const int bytes = h[9] & 0x7F;
            if (bytes < 1 || bytes > 4) return false;
            content = 0;
            for (int k = 0; k < bytes; ++k) content = content << 8 | h[10 + k];
            der += static_cast<std::uint64_t>(bytes);
        }
        const std::uint64_t objectEnd = at + 8 + der + content;
        if (objectEnd > next || next - objectEnd >= kTableAlign) return false;
        std::uint8_t pad[kTableAlign] = {};
        const std::size_t padLen = static_cast<std::size_t>(next - objectEnd);
        if (padLen > 0 && !in.readAt(objectEnd, pad, padLen)) return false;
        for (std::size_t k = 0; k < padLen; ++k) {
            if (pad[k] != 0) return false;
        }
        at = next;
    }
    return true;
}

// Where the archive must end, so that a signature covers it: a signed program's
// certificate table (named by the security entry, the fifth, of its data directories,
// whose address is a file offset) follows the archive after at most 7 zero bytes and
// ends the file; without one the archive ends the file. False when a table is there
// but is not one.
bool archiveEnd(Input& in, std::uint64_t size, std::uint64_t& end, std::size_t& slack) {
    end = size;
    slack = 0;
    std::uint8_t dos[64];
    if (size < sizeof dos || !in.readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return true;
    const std::uint64_t pe = loadLe32(dos + 60);
    std::uint8_t h[24 + 2];
    if (!in.readAt(pe, h, sizeof h) || loadLe32(h) != 0x00004550) return true;
    const std::uint16_t optionalSize = loadLe16(h + 20), magic = loadLe16(h + 24);
    if (magic != 0x10b && magic != 0x20b) return true;
    const std::size_t countAt = magic == 0x20b ? 108 : 92;
    const std::size_t securityAt = countAt + 4 + 4 * 8;
    std::uint8_t d[4 + 5 * 8];
    if (optionalSize < securityAt + 8 || !in.readAt(pe + 24 + countAt, d, sizeof d) || loadLe32(d) < 5) return true;
    const std::uint64_t table = loadLe32(d + 4 + 4 * 8), tableSize = loadLe32(d + 4 + 4 * 8 + 4);
    if (tableSize == 0) return true;
    if (table % kTableAlign != 0 || table > size || size - table != tableSize) return false;
    if (!certificatesFill(in, table, size)) return false;
    end = table;
    slack = kTableAlign - 1;
    return true;
}

void decrypt(void* cipher, std::uint8_t* data, std::size_t n) {
    if (cipher) static_cast<zipcomp::PkwareCipher*>(cipher)->decrypt(data, n);
}

}  // namespace

Archive::~Archive() { close(); }

void Archive::close() {
    std::free(entries_);
    std::free(names_);
    std::free(in_);
    std::free(out_);
    if (decompressor_) libdeflate_free_decompressor(static_cast<libdeflate_decompressor*>(decompressor_));
    entries_ = nullptr;
    names_ = nullptr;
    in_ = out_ = nullptr;
    inCap_ = outCap_ = 0;
    decompressor_ = nullptr;
    count_ = 0;
}

bool Archive::reserve(std::uint8_t*& buf, std::size_t& cap, std::size_t n) {
    if (n <= cap && buf) return true;
    std::free(buf);
    buf = static_cast<std::uint8_t*>(std::malloc(n ? n : 1));
    cap = buf ? n : 0;
    return buf != nullptr;
}

Status Archive::open(Input& in) {
    const std::uint64_t size = in.size();
    std::uint64_t end = 0;
    std::size_t slack = 0;
    if (!archiveEnd(in, size, end, slack)) return Status::Damaged;
    if (end < kEndSize) return Status::Damaged;
    const std::size_t most = kEndSize + kMaxComment + slack;
    const std::size_t tailLen = static_cast<std::size_t>(end < most ? end : most);
    Heap tail(tailLen);
    if (!tail.p) return Status::NoMemory;
    const std::uint64_t tailStart = end - tailLen;
    if (!in.readAt(tailStart, tail.p, tailLen)) return Status::Damaged;

    for (std::size_t p = tailLen - kEndSize + 1; p-- > 0;) {
        const std::uint8_t* e = tail.bytes() + p;
        if (loadLe32(e) != kSigEnd) continue;
        const std::uint64_t at = tailStart + p;
        // The end record and its comment end the archive; only a signature's alignment
        // may follow.
        const std::size_t recordEnd = p + kEndSize + loadLe16(e + 20);
        if (recordEnd > tailLen || tailLen - recordEnd > slack) continue;
        bool padded = true;
        for (std::size_t k = recordEnd; k < tailLen; ++k) padded = padded && tail.bytes()[k] == 0;
        if (!padded) continue;
        // The entries on this disk and in all: an archive of one disk has them equal.
        if (loadLe16(e + 8) != loadLe16(e + 10)) continue;
        std::uint64_t count = loadLe16(e + 10);
        std::uint64_t cdSize = loadLe32(e + 12);
        std::uint64_t cdOffset = loadLe32(e + 16);
        std::uint64_t cdEnd = at;
        std::uint8_t loc[kLocatorSize];
        if (at >= kLocatorSize + kEnd64Size && in.readAt(at - kLocatorSize, loc, kLocatorSize) &&
            loadLe32(loc) == kSigLocator64) {
            // The Zip64 end record normally sits right before its locator; when data was
            // put before the archive its recorded offset is off by that much.
            std::uint8_t z[kEnd64Size];
            std::uint64_t zAt = at - kLocatorSize - kEnd64Size;
            if (!in.readAt(zAt, z, kEnd64Size) || loadLe32(z) != kSigEnd64) {
                zAt = loadLe64(loc + 8);
                if (zAt > at - kLocatorSize - kEnd64Size || !in.readAt(zAt, z, kEnd64Size) || loadLe32(z) != kSigEnd64) continue;
            }
            if (loadLe64(z + 24) != loadLe64(z + 32) || (loadLe16(e + 10) != 0xFFFF && loadLe16(e + 10) != loadLe64(z + 32))) continue;
            count = loadLe64(z + 32);
            cdSize = loadLe64(z + 40);
            cdOffset = loadLe64(z + 48);
            cdEnd = zAt;
        }
        if (cdSize > cdEnd || cdEnd - cdSize < cdOffset) continue;
        const std::uint64_t cdStart = cdEnd - cdSize;
        std::uint8_t sig[4];
        if (count > 0 && (!in.readAt(cdStart, sig, 4) || loadLe32(sig) != kSigCentral)) continue;
        return readCentral(in, cdStart, cdSize, count, static_cast<std::int64_t>(cdStart - cdOffset));
    }
    return Status::Damaged;
}

Status Archive::readCentral(Input& in, std::uint64_t cdStart, std::uint64_t cdSize, std::uint64_t count,
                            std::int64_t shift) {
    if (cdSize > kMaxCentral || count > cdSize / kCentralSize) return Status::Damaged;
    const std::size_t n = static_cast<std::size_t>(cdSize);
    Heap cd(n);
    Heap localHeader(kLocalSize + 2 * 0xFFFF);
    Heap spans(sizeof(Span) * (count ? count : 1));
    std::free(entries_);
    std::free(names_);
    entries_ = static_cast<Entry*>(std::malloc(sizeof(Entry) * (count ? count : 1)));
    // Code page 437 text takes up to three bytes per byte in UTF-8.
    names_ = static_cast<char*>(std::malloc(3 * n + 1));
    count_ = 0;
    if (!cd.p || !localHeader.p || !spans.p || !entries_ || !names_) return Status::NoMemory;
    if (!in.readAt(cdStart, cd.p, n)) return Status::Damaged;
    start_ = cdStart;

    std::size_t pos = 0;
    std::size_t namePos = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (n - pos < kCentralSize) return Status::Damaged;
        const std::uint8_t* h = cd.bytes() + pos;
        if (loadLe32(h) != kSigCentral) return Status::Damaged;
        const std::uint16_t flags = loadLe16(h + 8);
        const std::size_t nameLen = loadLe16(h + 28), extraLen = loadLe16(h + 30), commentLen = loadLe16(h + 32);
        if (n - pos - kCentralSize < nameLen + extraLen + commentLen) return Status::Damaged;
        Entry& e = entries_[count_];
        e = Entry{};
        e.encrypted = flags & 0x0001;
        e.hasDescriptor = flags & 0x0008;
        e.method = loadLe16(h + 10);
        e.dosTime = loadLe16(h + 12);
        e.dosDate = loadLe16(h + 14);
        e.crc = loadLe32(h + 16);
        e.packedSize = loadLe32(h + 20);
        e.size = loadLe32(h + 24);
        std::uint64_t local = loadLe32(h + 42);

        std::uint64_t* const zip64[] = {&e.size, &e.packedSize, &local};
        if (!readZip64(h + kCentralSize + nameLen, extraLen, zip64, 3)) return Status::Damaged;

        const std::size_t decoded = decodeEntryName(h + kCentralSize, nameLen, flags & 0x0800, names_ + namePos);
        if (decoded == SIZE_MAX) return Status::Damaged;
        char* name = names_ + namePos;
        for (std::size_t k = 0; k < decoded; ++k) {
            if (name[k] == '\\') name[k] = '/';
        }
        if (!isSafeEntryName(name, decoded)) return Status::UnsafeName;
        e.name = name;
        e.nameLength = decoded;
        e.isFolder = name[decoded - 1] == '/';
        if (e.isFolder) --e.nameLength;
        name[e.nameLength] = 0;
        namePos += decoded + 1;

        if (shift < 0 && local < static_cast<std::uint64_t>(-shift)) return Status::Damaged;
        e.localOffset = local + static_cast<std::uint64_t>(shift);
        if (e.localOffset > cdStart || cdStart - e.localOffset < kLocalSize) return Status::Damaged;
        if (e.isFolder) {
            if (e.size != 0) return Status::Damaged;
        } else {
            if (flags & 0x2040) return Status::Unsupported;  // strong encryption
            if (e.method != 0 && e.method != 8) return Status::Unsupported;
            const std::uint64_t header = e.encrypted ? zipcomp::PkwareCipher::kHeaderSize : 0;
            if (e.packedSize < header) return Status::Damaged;
            if (e.method == 0 && e.packedSize - header != e.size) return Status::Damaged;
        }
        if (Status s = readLocal(in, h, e, localHeader.bytes(), cdStart); s != Status::Ok) return s;
        static_cast<Span*>(spans.p)[count_] = {e.localOffset, e.dataOffset + e.packedSize};
        if (e.localOffset < start_) start_ = e.localOffset;
        ++count_;
        pos += kCentralSize + nameLen + extraLen + commentLen;
    }
    // The directory must hold the entries counted and nothing more: with a count too
    // low, the entries after it would be left out of an unpack that reports success.
    if (pos != n) return Status::Damaged;
    // No byte belongs to two entries: data shared between entries would unpack a small
    // archive into far more than it holds.
    Span* span = static_cast<Span*>(spans.p);
    std::qsort(span, count_, sizeof(Span), bySpanStart);
    for (std::size_t i = 1; i < count_; ++i) {
        if (span[i - 1].end > span[i].begin) return Status::Damaged;
    }
    return Status::Ok;
}

namespace {

// Reads an encrypted entry's header through `cipher`, which then stands at the entry's
// data; WrongPassword when the header's last byte is not the entry's check byte.
Status readEncryptionHeader(Input& in, const Entry& e, zipcomp::PkwareCipher& cipher) {
    std::uint8_t header[zipcomp::PkwareCipher::kHeaderSize];
    if (!in.readAt(e.dataOffset, header, sizeof header)) return Status::Damaged;
    cipher.decrypt(header, sizeof header);
    const std::uint8_t check = e.hasDescriptor ? static_cast<std::uint8_t>(e.dosTime >> 8)
                                               : static_cast<std::uint8_t>(e.crc >> 24);
    return header[sizeof header - 1] == check ? Status::Ok : Status::WrongPassword;
}

}  // namespace

Status Archive::checkPassword(Input& in, const char* password) {
    for (std::size_t i = 0; i < count_; ++i) {
        const Entry& e = entries_[i];
        if (!e.encrypted || e.isFolder) continue;
        zipcomp::PkwareCipher cipher(password);
        if (Status st = readEncryptionHeader(in, e, cipher); st != Status::Ok) return st;
    }
    return Status::Ok;
}

Status Archive::extract(Input& in, const Entry& e, const char* password, Output& out) {
    if (e.isFolder) return Status::Ok;
    std::uint64_t at = e.dataOffset;

    std::uint64_t packed = e.packedSize;
    zipcomp::PkwareCipher cipher(e.encrypted ? password : "");
    if (e.encrypted) {
        if (Status st = readEncryptionHeader(in, e, cipher); st != Status::Ok) return st;
        at += zipcomp::PkwareCipher::kHeaderSize;
        packed -= zipcomp::PkwareCipher::kHeaderSize;
    }
    void* c = e.encrypted ? &cipher : nullptr;
    if (e.method == 0) return extractStored(in, e, at, packed, c, out);
    if (e.size <= wholeLimit_ && packed <= wholeLimit_) return extractWhole(in, e, at, packed, c, out);
    return extractStreamed(in, e, at, packed, c, out);
}

Status Archive::extractStored(Input& in, const Entry& e, std::uint64_t at, std::uint64_t packed, void* cipher,
                              Output& out) {
    if (!reserve(in_, inCap_, kChunk)) return Status::NoMemory;
    std::uint32_t crc = 0;
    while (packed > 0) {
        const std::size_t n = static_cast<std::size_t>(packed < kChunk ? packed : kChunk);
        if (!in.readAt(at, in_, n)) return Status::Damaged;
        decrypt(cipher, in_, n);
        crc = libdeflate_crc32(crc, in_, n);
        if (Status s = out.write(in_, n); s != Status::Ok) return s;
        at += n;
        packed -= n;
    }
    return crc == e.crc ? Status::Ok : Status::Damaged;
}

Status Archive::extractWhole(Input& in, const Entry& e, std::uint64_t at, std::uint64_t packed, void* cipher,
                             Output& out) {
    const std::size_t p = static_cast<std::size_t>(packed), s = static_cast<std::size_t>(e.size);
    if (!reserve(in_, inCap_, p > kChunk ? p : kChunk) || !reserve(out_, outCap_, s)) return Status::NoMemory;
    if (!decompressor_) decompressor_ = libdeflate_alloc_decompressor();
    if (!decompressor_) return Status::NoMemory;
    if (!in.readAt(at, in_, p)) return Status::Damaged;
    decrypt(cipher, in_, p);
    // Without an "actual size" the output must fill exactly the size the header names.
    if (libdeflate_deflate_decompress(static_cast<libdeflate_decompressor*>(decompressor_), in_, p, out_, s,
                                      nullptr) != LIBDEFLATE_SUCCESS)
        return Status::Damaged;
    if (libdeflate_crc32(0, out_, s) != e.crc) return Status::Damaged;
    return s ? out.write(out_, s) : Status::Ok;
}

Status Archive::extractStreamed(Input& in, const Entry& e, std::uint64_t at, std::uint64_t packed,
                                void* cipher, Output& out) {
    if (!reserve(in_, inCap_, kChunk) || !reserve(out_, outCap_, kChunk)) return Status::NoMemory;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return Status::NoMemory;
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    std::uint32_t crc = 0;
    std::uint64_t total = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        // zlib can hold output after it has taken the last input (a match cut short by a
        // full buffer): it is called again without input, and only a call that can make
        // no progress (Z_BUF_ERROR) means the data ended before the stream did.
        if (z.avail_in == 0 && packed > 0) {
            const std::size_t n = static_cast<std::size_t>(packed < kChunk ? packed : kChunk);
            if (!in.readAt(at, in_, n)) return Status::Damaged;
            decrypt(cipher, in_, n);
            at += n;
            packed -= n;
            z.next_in = in_;
            z.avail_in = static_cast<uInt>(n);
        }
        z.next_out = out_;
        z.avail_out = static_cast<uInt>(kChunk);
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) return rc == Z_MEM_ERROR ? Status::NoMemory : Status::Damaged;
        const std::size_t got = kChunk - z.avail_out;
        total += got;
        if (total > e.size) return Status::Damaged;
        crc = libdeflate_crc32(crc, out_, got);
        if (got) {
            if (Status s = out.write(out_, got); s != Status::Ok) return s;
        }
    }
    return total == e.size && crc == e.crc ? Status::Ok : Status::Damaged;
}

}  // namespace qsfx
