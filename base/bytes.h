#pragma once
// Little-endian numbers in byte buffers (file formats: zip, registry hives, PE images,
// icons). The caller checks the bounds; these only assemble and split the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelvaro::base {

inline std::uint16_t loadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t loadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t loadLe64(const std::uint8_t* p) {
  return loadLe32(p) | (static_cast<std::uint64_t>(loadLe32(p + 4)) << 32);
}

// The same at an offset of a byte string.
inline const std::uint8_t* bytesAt(std::string_view b, std::size_t at) {
  return reinterpret_cast<const std::uint8_t*>(b.data() + at);
}
inline std::uint16_t loadLe16(std::string_view b, std::size_t at) { return loadLe16(bytesAt(b, at)); }
inline std::uint32_t loadLe32(std::string_view b, std::size_t at) { return loadLe32(bytesAt(b, at)); }
inline std::uint64_t loadLe64(std::string_view b, std::size_t at) { return loadLe64(bytesAt(b, at)); }

inline void storeLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void storeLe32(std::string& b, std::size_t at, std::uint32_t v) {
  storeLe32(reinterpret_cast<std::uint8_t*>(b.data() + at), v);
}
inline void storeLe64(std::string& b, std::size_t at, std::uint64_t v) {
  storeLe32(b, at, static_cast<std::uint32_t>(v));
  storeLe32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

inline void appendLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void appendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  appendLe16(out, v & 0xFFFF);
  appendLe16(out, v >> 16);
}
inline void appendLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  appendLe32(out, static_cast<std::uint32_t>(v));
  appendLe32(out, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace qelvaro::base
