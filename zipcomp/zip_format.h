// Byte layouts of the zip records the writer produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zipcomp {

struct DosDateTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

// Local time, as Windows tools write it; clamped to the range the format can hold.
DosDateTime toDosDateTime(std::int64_t unixSeconds);

enum class Method : std::uint16_t { Stored = 0, Deflated = 8 };

struct EntryRecord {
    std::string name;  // '/'-separated, relative to the base folder
    Method method = Method::Stored;
    bool encrypted = false;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;  // with the encryption header
    std::uint64_t localOffset = 0;
    std::int64_t mtime = 0;
    // The local header of a streamed entry is written before its sizes are known, so
    // it reserves the Zip64 field when the file might pass 4 GiB; both headers then
    // carry the sizes there.
    bool zip64Sizes = false;
};

inline constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kMax16 = 0xFFFFu;

bool needsZip64Sizes(const EntryRecord& e);
std::vector<std::uint8_t> localHeader(const EntryRecord& e);
void appendCentralHeader(std::vector<std::uint8_t>& out, const EntryRecord& e);
// Zip64 end records are added only when the count, size or offset needs them.
void appendEnd(std::vector<std::uint8_t>& out, std::uint64_t entries, std::uint64_t centralOffset,
               std::uint64_t centralSize);

}  // namespace zipcomp
