#include "base/digest.h"
#include "base/sha256.h"

namespace qelvaro {

std::string HexOf(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 15]);
  }
  return hex;
}

std::string Digest::hexDigest() {
  const std::string digest = digestBytes();
  return HexOf(reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 hash;
  hash.update(bytes.data(), bytes.size());
  return hash.hexDigest();
}

}  // namespace qelvaro
