// Traditional PKWARE encryption. It is weak, but it is what every reader opens without
// extra software (Windows Explorer included), which the self-extractor relies on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zipcomp {

class PkwareCipher {
public:
    explicit PkwareCipher(std::string_view password);
    void encrypt(std::uint8_t* data, std::size_t n);
    void decrypt(std::uint8_t* data, std::size_t n);

    static constexpr std::size_t kHeaderSize = 12;
    // The encrypted 12-byte header that starts every entry: random bytes whose last one
    // is the top byte of the entry's CRC, which readers use to check the password.
    std::array<std::uint8_t, kHeaderSize> makeHeader(std::uint64_t randomBits1, std::uint64_t randomBits2,
                                                     std::uint32_t crc);

private:
    void update(std::uint8_t plain);
    std::uint8_t streamByte() const;
    std::uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

}  // namespace zipcomp
