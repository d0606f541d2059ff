#include "zip_builder.h"

#include <zlib.h>

#include "sfx_format/sfx_settings_writer.h"
#include "sfx_format/pkware_crypt.h"

namespace sfxtest {
namespace {

void put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
void put64(std::string& s, std::uint64_t v) {
    put32(s, static_cast<std::uint32_t>(v));
    put32(s, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace

std::string deflateRaw(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string settingsBlock(const std::vector<std::pair<std::string, std::string>>& values) {
    auto b = qsfx::encodeSettings(values);
    return std::string(b.begin(), b.end());
}

std::string buildZip(const std::vector<BuildEntry>& entries, const BuildOptions& o) {
    std::string out = o.prefix;
    const std::uint64_t base = o.relativeOffsets ? o.prefix.size() : 0;
    std::string central;
    const std::uint16_t dosTime = 0x6A21, dosDate = 0x5B87;
    for (const BuildEntry& e : entries) {
        const std::uint32_t crc = static_cast<std::uint32_t>(
            ::crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        std::string payload = e.deflate ? deflateRaw(e.data) : e.data;
        if (!e.password.empty()) {
            zipcomp::PkwareCipher c(e.password);
            // With a data descriptor the check byte is the time's high byte. Each entry's
            // header has bytes of its own, as the writer makes them.
            const std::uint64_t own = out.size();
            auto header = c.makeHeader(0x1234567890ULL ^ (own * 0x9E3779B97F4A7C15ULL), 0x2468ACULL + own,
                                       e.descriptor ? (std::uint32_t{dosTime} << 16) : crc);
            std::string enc(payload);
            c.encrypt(reinterpret_cast<std::uint8_t*>(enc.data()), enc.size());
            payload = std::string(header.begin(), header.end()) + enc;
        }
        std::uint16_t flags = (e.password.empty() ? 0 : 1) | (e.descriptor ? 8 : 0) | (e.utf8Flag ? 0x800 : 0);
        const std::uint64_t local = out.size() - base;
        auto header = [&](std::string& h, bool isCentral) {
            put32(h, isCentral ? 0x02014b50 : 0x04034b50);
            if (isCentral) put16(h, 45);
            put16(h, o.zip64 ? 45 : 20);
            put16(h, flags);
            put16(h, e.deflate ? 8 : 0);
            put16(h, dosTime);
            put16(h, dosDate);
            const bool zeroed = !isCentral && e.descriptor;
            put32(h, zeroed ? 0 : crc);
            put32(h, o.zip64 ? 0xFFFFFFFFu : zeroed ? 0 : static_cast<std::uint32_t>(payload.size()));
            put32(h, o.zip64 ? 0xFFFFFFFFu : zeroed ? 0 : static_cast<std::uint32_t>(e.data.size()));
            put16(h, static_cast<std::uint32_t>(e.name.size()));
            put16(h, o.zip64 ? (isCentral ? 28 : 20) : 0);
            if (isCentral) {
                put16(h, 0);
                put16(h, 0);
                put16(h, 0);
                put32(h, 0);
                put32(h, o.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(local));
            }
            h += e.name;
            if (o.zip64) {
                put16(h, 1);
                put16(h, isCentral ? 24 : 16);
                put64(h, e.data.size());
                put64(h, payload.size());
                if (isCentral) put64(h, local);
            }
        };
        header(out, false);
        out += payload;
        if (e.descriptor) {
            put32(out, 0x08074b50);
            put32(out, crc);
            put32(out, static_cast<std::uint32_t>(payload.size()));
            put32(out, static_cast<std::uint32_t>(e.data.size()));
        }
        header(central, true);
    }
    const std::uint64_t cdOffset = out.size() - base;
    out += central;
    if (o.zip64) {
        const std::uint64_t z64 = out.size() - base;
        put32(out, 0x06064b50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, entries.size());
        put64(out, entries.size());
        put64(out, central.size());
        put64(out, cdOffset);
        put32(out, 0x07064b50);
        put32(out, 0);
        put64(out, z64);
        put32(out, 1);
    }
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, o.zip64 ? 0xFFFF : static_cast<std::uint32_t>(entries.size()));
    put16(out, o.zip64 ? 0xFFFF : static_cast<std::uint32_t>(entries.size()));
    put32(out, o.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(central.size()));
    put32(out, o.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(cdOffset));
    put16(out, 0);
    out += o.trailing;
    return out;
}

std::string peHeaders(bool pe32plus) {
    std::string s(512, '\0');
    auto at = [&s](std::size_t offset, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s[offset + i] = static_cast<char>(v >> (8 * i));
    };
    s[0] = 'M', s[1] = 'Z';
    at(60, 128, 4);
    s.replace(128, 4, std::string("PE\0\0", 4));
    at(132, pe32plus ? 0x8664 : 0x14c, 2);  // machine
    at(148, pe32plus ? 240 : 224, 2);       // the optional header's size
    at(150, 0x102, 2);                      // an executable
    at(152, pe32plus ? 0x20b : 0x10b, 2);
    at(152 + 60, 512, 4);                        // the size of the headers
    at(152 + (pe32plus ? 108 : 92), 16, 4);      // data directories
    return s;
}

std::size_t securityDirectory(const std::string& program) {
    const auto le = [&program](std::size_t at, int bytes) {
        std::size_t v = 0;
        for (int i = bytes; i-- > 0;) v = v << 8 | static_cast<unsigned char>(program[at + i]);
        return v;
    };
    const std::size_t optional = le(60, 4) + 24;
    return optional + (le(optional, 2) == 0x20b ? 108 : 92) + 4 + 4 * 8;
}

std::string withCertificates(std::string program, const std::vector<std::string>& bodies) {
    program.append((8 - program.size() % 8) % 8, '\0');
    const std::size_t table = program.size();
    for (const std::string& body : bodies) {
        std::string der = "\x30\x83";
        der += static_cast<char>(body.size() >> 16);
        der += static_cast<char>(body.size() >> 8);
        der += static_cast<char>(body.size());
        der += body;
        der.append((8 - der.size() % 8) % 8, '\0');
        put32(program, static_cast<std::uint32_t>(8 + der.size()));
        put16(program, 0x0200);  // revision 2.0
        put16(program, 0x0002);  // PKCS #7 signed data
        program += der;
    }
    std::string directory;
    put32(directory, static_cast<std::uint32_t>(table));
    put32(directory, static_cast<std::uint32_t>(program.size() - table));
    program.replace(securityDirectory(program), 8, directory);
    return program;
}

}  // namespace sfxtest
