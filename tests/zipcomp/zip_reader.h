// A small, strict zip reader for the tests: it checks what outside tools do not show
// (flags, extra fields, header agreement) and runs where those tools do not (Wine).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ziptest {

struct ReadEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0, dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0, compressedSize = 0, localOffset = 0;
    bool hasZip64 = false;
    bool hasTimestamp = false;
    std::int64_t unixMtime = 0;
    std::uint32_t externalAttributes = 0;
};

struct ReadArchive {
    std::string error;  // empty when the structure is sound
    std::vector<ReadEntry> entries;
    bool zip64End = false;
};

// Parses the end records and the central directory, and checks every local header
// against its central entry.
ReadArchive readArchive(const std::string& path);

// Extracts one entry (inflating and decrypting as needed) and checks its CRC; returns
// false with `error` set on any mismatch.
bool extract(const std::string& path, const ReadEntry& e, std::vector<std::uint8_t>& data, std::string& error,
             const std::string& password = {});

// Every entry extracted: name -> content.
std::map<std::string, std::string> extractAll(const std::string& path, std::string& error,
                                              const std::string& password = {});

}  // namespace ziptest
