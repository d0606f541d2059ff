#include "sfx_format/pkware_crypt.h"

namespace zipcomp {
namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto kCrcTable = makeCrcTable();

std::uint32_t crcByte(std::uint32_t crc, std::uint8_t b) { return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8); }

}  // namespace

PkwareCipher::PkwareCipher(std::string_view password) {
    for (char c : password) update(static_cast<std::uint8_t>(c));
}

void PkwareCipher::update(std::uint8_t plain) {
    k0_ = crcByte(k0_, plain);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = crcByte(k2_, static_cast<std::uint8_t>(k1_ >> 24));
}

std::uint8_t PkwareCipher::streamByte() const {
    std::uint32_t t = (k2_ | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
}

void PkwareCipher::encrypt(std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t plain = data[i];
        data[i] = plain ^ streamByte();
        update(plain);
    }
}

void PkwareCipher::decrypt(std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t plain = data[i] ^ streamByte();
        data[i] = plain;
        update(plain);
    }
}

std::array<std::uint8_t, PkwareCipher::kHeaderSize> PkwareCipher::makeHeader(std::uint64_t randomBits1,
                                                                             std::uint64_t randomBits2,
                                                                             std::uint32_t crc) {
    std::array<std::uint8_t, kHeaderSize> h{};
    for (std::size_t i = 0; i < 8; ++i) h[i] = static_cast<std::uint8_t>(randomBits1 >> (8 * i));
    for (std::size_t i = 8; i < 11; ++i) h[i] = static_cast<std::uint8_t>(randomBits2 >> (8 * (i - 8)));
    h[11] = static_cast<std::uint8_t>(crc >> 24);
    encrypt(h.data(), h.size());
    return h;
}

}  // namespace zipcomp
