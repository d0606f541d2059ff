#pragma once
// Minimal valid PE32 and PE32+ images for the hash tests: a DOS header, the PE headers
// with all 16 data directories, one code section, and optional bytes after it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bytes.h"

namespace qelvaro::test {

constexpr std::size_t kPeHeaderAt = 0x40;
constexpr std::size_t kOptionalHeaderAt = kPeHeaderAt + 4 + 20;
constexpr std::size_t kChecksumAt = kOptionalHeaderAt + 64;

inline std::size_t DirectoriesAt(bool pe32plus) { return kOptionalHeaderAt + (pe32plus ? 112 : 96); }
inline std::size_t SecurityEntryAt(bool pe32plus) { return DirectoriesAt(pe32plus) + 4 * 8; }

// An image of 0x400 bytes plus `trailing` bytes of data after its section.
inline std::string MakePeImage(bool pe32plus, std::size_t trailing = 0) {
  std::string image(0x400 + trailing, '\0');
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    image[at] = static_cast<char>(v);
    image[at + 1] = static_cast<char>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) { base::storeLe32(image, at, v); };
  image[0] = 'M';
  image[1] = 'Z';
  put32(0x3C, kPeHeaderAt);
  image.replace(kPeHeaderAt, 4, std::string("PE\0\0", 4));
  const std::size_t coff = kPeHeaderAt + 4;
  const std::size_t optionalSize = pe32plus ? 240 : 224;
  put16(coff + 0, pe32plus ? 0x8664 : 0x14c);     // Machine
  put16(coff + 2, 1);                             // NumberOfSections
  put16(coff + 16, optionalSize);                 // SizeOfOptionalHeader
  put16(coff + 18, pe32plus ? 0x0022 : 0x0102);   // executable (large-address aware / 32-bit)
  const std::size_t o = kOptionalHeaderAt;
  put16(o + 0, pe32plus ? 0x20b : 0x10b);
  put32(o + 4, 0x200);      // SizeOfCode
  put32(o + 16, 0x1000);    // AddressOfEntryPoint
  put32(o + 20, 0x1000);    // BaseOfCode
  if (pe32plus) {
    base::storeLe64(image, o + 24, 0x140000000ull);  // ImageBase
  } else {
    put32(o + 28, 0x400000);  // ImageBase
  }
  put32(o + 32, 0x1000);  // SectionAlignment
  put32(o + 36, 0x200);   // FileAlignment
  put16(o + 40, 6);       // MajorOperatingSystemVersion
  put16(o + 48, 6);       // MajorSubsystemVersion
  put32(o + 56, 0x2000);  // SizeOfImage
  put32(o + 60, 0x200);   // SizeOfHeaders
  put32(o + 64, 0x12345678);  // CheckSum: left out of the hash, so any value will do
  put16(o + 68, 3);       // Subsystem: console
  const std::size_t sizes = o + 72;  // stack and heap reserve and commit
  const std::size_t width = pe32plus ? 8 : 4;
  for (std::size_t i = 0; i < 4; ++i) put32(sizes + i * width, i % 2 ? 0x1000 : 0x100000);
  put32(DirectoriesAt(pe32plus) - 4, 16);  // NumberOfRvaAndSizes
  const std::size_t section = o + optionalSize;
  image.replace(section, 5, ".text");
  put32(section + 8, 0x200);    // VirtualSize
  put32(section + 12, 0x1000);  // VirtualAddress
  put32(section + 16, 0x200);   // SizeOfRawData
  put32(section + 20, 0x200);   // PointerToRawData
  put32(section + 36, 0x60000020);
  image[0x200] = '\xC3';  // ret
  for (std::size_t i = 0x201; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
  return image;
}

// `image` with a certificate table of `size` bytes appended and named by its entry.
inline std::string WithCertificateTable(std::string image, bool pe32plus, std::size_t size) {
  base::storeLe32(image, SecurityEntryAt(pe32plus), static_cast<std::uint32_t>(image.size()));
  base::storeLe32(image, SecurityEntryAt(pe32plus) + 4, static_cast<std::uint32_t>(size));
  image.append(size, '\x5A');
  return image;
}

}  // namespace qelvaro::test
