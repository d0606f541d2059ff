#include "hive_log_replay.h"

#include <algorithm>

#include "base/bytes.h"
#include "hive_header.h"

namespace qelvaro {
namespace {

using base::loadLe32;
using base::loadLe64;
using base::storeLe32;

constexpr std::uint64_t kLogSeed = 0x82EF4D887A4E55C5ull;
constexpr std::size_t kPage = 4096;
constexpr std::size_t kSector = 512;
constexpr std::size_t kEntryHeader = 40;
constexpr std::uint32_t kNewLogFormat = 6;

std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void marvinBlock(std::uint32_t& lo, std::uint32_t& hi) {
  hi ^= lo;
  lo = rotl(lo, 20);
  lo += hi;
  hi = rotl(hi, 9);
  hi ^= lo;
  lo = rotl(lo, 27);
  lo += hi;
  hi = rotl(hi, 19);
}

struct PageRef {
  std::uint32_t offset;  // in the hive bins data
  std::uint32_t size;
};

struct Entry {
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  std::vector<PageRef> pages;
  std::string_view data;  // the pages' bytes, in the order of `pages`
};

// The sound entries of one log, in order; stops at the first entry that is torn,
// broken or out of sequence.
std::vector<Entry> entriesOf(std::string_view log) {
  std::vector<Entry> entries;
  std::size_t at = kSector;
  std::optional<std::uint32_t> previous;
  while (at + kEntryHeader <= log.size() && log.substr(at, 4) == "HvLE") {
    const std::uint32_t size = loadLe32(log, at + 4);
    if (size < kEntryHeader || size % kSector != 0 || size > log.size() - at) break;
    const std::string_view entry = log.substr(at, size);
    if (Marvin32(entry.substr(0, 32), kLogSeed) != loadLe64(entry, 32)) break;
    if (Marvin32(entry.substr(kEntryHeader), kLogSeed) != loadLe64(entry, 24)) break;
    Entry e;
    e.sequence = loadLe32(entry, 12);
    e.binsSize = loadLe32(entry, 16);
    const std::uint32_t count = loadLe32(entry, 20);
    if (previous && e.sequence != *previous + 1) break;
    if (e.binsSize % kPage != 0 || count > (size - kEntryHeader) / 8) break;
    // Added up in 64 bits: in a 32-bit build 512 pages of 8 MiB would come to 0 and pass.
    std::uint64_t dataSize = 0;
    bool sound = true;
    for (std::uint32_t i = 0; i < count && sound; ++i) {
      const PageRef ref{loadLe32(entry, kEntryHeader + 8 * i), loadLe32(entry, kEntryHeader + 8 * i + 4)};
      sound = ref.offset % kPage == 0 && ref.size % kPage == 0 && ref.size > 0 &&
              static_cast<std::uint64_t>(ref.offset) + ref.size <= e.binsSize;
      dataSize += ref.size;
      e.pages.push_back(ref);
    }
    const std::size_t dataStart = kEntryHeader + 8 * static_cast<std::size_t>(count);
    if (!sound || dataSize > size - dataStart) break;
    e.data = entry.substr(dataStart, dataSize);
    previous = e.sequence;
    entries.push_back(std::move(e));
    at += size;
  }
  return entries;
}

// Why the log whose base block is `head` cannot be replayed into `hive`; none when it can.
std::optional<std::string> whyNotReplayable(const HiveHeader& hive, std::string_view head) {
  const HiveHeader log = CheckHiveHeader(head.substr(0, kHiveBaseBlockSize), ~0ull);
  if (log.state != HiveState::Clean) return log.state == HiveState::Dirty ? "its base block is torn" : "not a log";
  if (loadLe32(head, 0x1C) != kNewLogFormat) return "a log of the format before Windows 8.1, which is not replayed";
  if (log.primarySequence < hive.secondarySequence) return "older than the hive";
  return std::nullopt;
}

}  // namespace

bool LogMayApply(const HiveHeader& hive, std::string_view logHead) { return !whyNotReplayable(hive, logHead); }

std::uint64_t Marvin32(std::string_view data, std::uint64_t seed) {
  std::uint32_t lo = static_cast<std::uint32_t>(seed);
  std::uint32_t hi = static_cast<std::uint32_t>(seed >> 32);
  std::size_t i = 0;
  for (; data.size() - i >= 4; i += 4) {
    lo += loadLe32(data, i);
    marvinBlock(lo, hi);
  }
  std::uint32_t last = 0x80;
  for (std::size_t k = data.size(); k > i; --k) last = (last << 8) | static_cast<unsigned char>(data[k - 1]);
  lo += last;
  marvinBlock(lo, hi);
  marvinBlock(lo, hi);
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

std::optional<ReplayedHive> ReplayHiveLogs(std::string_view hive, const std::vector<HiveLog>& logs,
                                           std::string& error) {
  const HiveHeader header = CheckHiveHeader(hive.substr(0, kHiveBaseBlockSize), hive.size());
  if (header.state != HiveState::Dirty) {
    error = "the hive is not waiting for its logs";
    return std::nullopt;
  }
  struct Usable {
    std::uint32_t sequence;
    std::vector<Entry> entries;
  };
  std::vector<Usable> usable;
  std::string why;
  for (const HiveLog& log : logs) {
    if (const auto no = whyNotReplayable(header, log.bytes)) {
      why += (why.empty() ? "" : "; ") + log.name + ": " + *no;
      continue;
    }
    const HiveHeader lh = CheckHiveHeader(std::string_view(log.bytes).substr(0, kHiveBaseBlockSize), ~0ull);
    std::vector<Entry> entries = entriesOf(log.bytes);
    if (entries.empty() || entries.front().sequence != lh.primarySequence) {
      why += (why.empty() ? "" : "; ") + log.name + ": no sound log entry";
      continue;
    }
    usable.push_back({lh.primarySequence, std::move(entries)});
  }
  std::sort(usable.begin(), usable.end(), [](const Usable& a, const Usable& b) { return a.sequence < b.sequence; });

  // Bins can grow through the logs, but never past what the logs could have written:
  // a larger size is a broken entry, not a reason to allocate gigabytes.
  std::uint64_t bound = hive.size();
  for (const HiveLog& log : logs) bound += log.bytes.size();

  std::string out(hive);
  std::size_t applied = 0;
  std::optional<std::uint32_t> last;
  for (const Usable& u : usable) {
    // A later log goes on only where the earlier one ended.
    if (last && u.entries.front().sequence != *last + 1) break;
    for (const Entry& e : u.entries) {
      if (kHiveBaseBlockSize + static_cast<std::uint64_t>(e.binsSize) > bound) break;
      out.resize(kHiveBaseBlockSize + e.binsSize, '\0');
      std::size_t from = 0;
      for (const PageRef& p : e.pages) {
        out.replace(kHiveBaseBlockSize + p.offset, p.size, e.data.substr(from, p.size));
        from += p.size;
      }
      last = e.sequence;
      ++applied;
      storeLe32(out, 0x28, e.binsSize);
    }
  }
  if (applied == 0) {
    error = why.empty() ? "no log to replay" : why;
    return std::nullopt;
  }
  storeLe32(out, 4, *last + 1);
  storeLe32(out, 8, *last + 1);
  storeLe32(out, 0x1FC, HiveBaseBlockChecksum(out));
  return ReplayedHive{std::move(out), applied};
}

}  // namespace qelvaro
