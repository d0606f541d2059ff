#include "zipcomp/zip_format.h"

#include <ctime>

#include "base/bytes.h"
#include "base/utf8.h"
#include "zipcomp/zip_paths.h"

namespace zipcomp {
namespace {

using qelvaro::base::appendLe16;
using qelvaro::base::appendLe32;
using qelvaro::base::appendLe64;
using qelvaro::base::isValidUtf8;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
// Made by version 4.5 on MS-DOS/FAT: readers then apply their own default permissions.
constexpr std::uint16_t kVersionMadeBy = 45;
constexpr std::uint16_t kTagZip64 = 0x0001;
constexpr std::uint16_t kTagTimestamp = 0x5455;

std::uint16_t flagsOf(const EntryRecord& e) {
    std::uint16_t f = 0;
    if (e.encrypted) f |= kFlagEncrypted;
    // Plain ASCII needs no flag; names that are not valid UTF-8 (possible on POSIX
    // disks) must not claim to be.
    bool ascii = true;
    for (char c : e.name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii && isValidUtf8(e.name)) f |= kFlagUtf8;
    return f;
}

bool timestampFits(std::int64_t t) { return t >= INT32_MIN && t <= INT32_MAX; }

void appendTimestamp(std::vector<std::uint8_t>& extra, std::int64_t mtime) {
    if (!timestampFits(mtime)) return;
    appendLe16(extra, kTagTimestamp);
    appendLe16(extra, 5);
    extra.push_back(1);  // modification time present
    appendLe32(extra, static_cast<std::uint32_t>(static_cast<std::int32_t>(mtime)));
}

}  // namespace

DosDateTime toDosDateTime(std::int64_t unixSeconds) {
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
#ifdef _WIN32
    bool ok = localtime_s(&tm, &t) == 0;
#else
    bool ok = localtime_r(&t, &tm) != nullptr;
#endif
    if (!ok || tm.tm_year < 80) return {0, (0 << 9) | (1 << 5) | 1};  // 1980-01-01 00:00
    if (tm.tm_year > 207) return {(23 << 11) | (59 << 5) | 29, (127 << 9) | (12 << 5) | 31};
    DosDateTime d;
    d.time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    d.date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    return d;
}

bool needsZip64Sizes(const EntryRecord& e) {
    return e.zip64Sizes || e.size >= kMax32 || e.compressedSize >= kMax32;
}

namespace {
// The fields the local and the central header share, from the version needed to
// extract to the extra field's length. zip64: the entry needs version 4.5; bigSizes:
// the sizes are in the zip64 extra field instead.
void appendSharedFields(std::vector<std::uint8_t>& out, const EntryRecord& e, bool zip64, bool bigSizes,
                        std::size_t extraSize) {
    const DosDateTime dt = toDosDateTime(e.mtime);
    appendLe16(out, zip64 ? 45 : 20);
    appendLe16(out, flagsOf(e));
    appendLe16(out, static_cast<std::uint16_t>(e.method));
    appendLe16(out, dt.time);
    appendLe16(out, dt.date);
    appendLe32(out, e.crc);
    appendLe32(out, bigSizes ? kMax32 : static_cast<std::uint32_t>(e.compressedSize));
    appendLe32(out, bigSizes ? kMax32 : static_cast<std::uint32_t>(e.size));
    appendLe16(out, static_cast<std::uint16_t>(e.name.size()));
    appendLe16(out, static_cast<std::uint16_t>(extraSize));
}
}  // namespace

std::vector<std::uint8_t> localHeader(const EntryRecord& e) {
    bool z64 = needsZip64Sizes(e);
    std::vector<std::uint8_t> extra;
    if (z64) {
        appendLe16(extra, kTagZip64);
        appendLe16(extra, 16);
        appendLe64(extra, e.size);
        appendLe64(extra, e.compressedSize);
    }
    appendTimestamp(extra, e.mtime);

    std::vector<std::uint8_t> h;
    h.reserve(30 + e.name.size() + extra.size());
    appendLe32(h, 0x04034b50);
    appendSharedFields(h, e, z64, z64, extra.size());
    h.insert(h.end(), e.name.begin(), e.name.end());
    h.insert(h.end(), extra.begin(), extra.end());
    return h;
}

void appendCentralHeader(std::vector<std::uint8_t>& out, const EntryRecord& e) {
    bool bigSizes = needsZip64Sizes(e);
    bool bigOffset = e.localOffset >= kMax32;
    std::vector<std::uint8_t> extra;
    if (bigSizes || bigOffset) {
        appendLe16(extra, kTagZip64);
        appendLe16(extra, static_cast<std::uint16_t>((bigSizes ? 16 : 0) + (bigOffset ? 8 : 0)));
        if (bigSizes) {
            appendLe64(extra, e.size);
            appendLe64(extra, e.compressedSize);
        }
        if (bigOffset) appendLe64(extra, e.localOffset);
    }
    appendTimestamp(extra, e.mtime);

    appendLe32(out, 0x02014b50);
    appendLe16(out, kVersionMadeBy);
    appendSharedFields(out, e, bigSizes || bigOffset, bigSizes, extra.size());
    appendLe16(out, 0);     // comment length
    appendLe16(out, 0);     // disk number
    appendLe16(out, 0);     // internal attributes
    appendLe32(out, 0x20);  // FILE_ATTRIBUTE_ARCHIVE, as a freshly written Windows file has
    appendLe32(out, bigOffset ? kMax32 : static_cast<std::uint32_t>(e.localOffset));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), extra.begin(), extra.end());
}

void appendEnd(std::vector<std::uint8_t>& out, std::uint64_t entries, std::uint64_t centralOffset,
               std::uint64_t centralSize) {
    bool z64 = entries >= kMax16 || centralOffset >= kMax32 || centralSize >= kMax32;
    if (z64) {
        std::uint64_t recordOffset = centralOffset + centralSize;
        appendLe32(out, 0x06064b50);
        appendLe64(out, 44);  // size of the rest of this record
        appendLe16(out, kVersionMadeBy);
        appendLe16(out, 45);
        appendLe32(out, 0);
        appendLe32(out, 0);
        appendLe64(out, entries);
        appendLe64(out, entries);
        appendLe64(out, centralSize);
        appendLe64(out, centralOffset);
        appendLe32(out, 0x07064b50);
        appendLe32(out, 0);
        appendLe64(out, recordOffset);
        appendLe32(out, 1);
    }
    appendLe32(out, 0x06054b50);
    appendLe16(out, 0);
    appendLe16(out, 0);
    std::uint16_t count = entries >= kMax16 ? kMax16 : static_cast<std::uint16_t>(entries);
    appendLe16(out, count);
    appendLe16(out, count);
    appendLe32(out, centralSize >= kMax32 ? kMax32 : static_cast<std::uint32_t>(centralSize));
    appendLe32(out, centralOffset >= kMax32 ? kMax32 : static_cast<std::uint32_t>(centralOffset));
    appendLe16(out, 0);
}

}  // namespace zipcomp
