#include "file_hashes.h"

#include <algorithm>
#include <string_view>

#include "base/bytes.h"
#include "base/sha1.h"
#include "base/sha256.h"

namespace qelvaro {
namespace {

// The PE header must start within this much of the file's beginning, so that the
// headers the hash needs fit in a bounded buffer.
constexpr std::uint64_t kMaxPeHeaderOffset = 64 * 1024;
// Signature, file header, the larger (PE32+) optional header up to its directories,
// and the directories' first five entries.
constexpr std::size_t kHeadLimit = kMaxPeHeaderOffset + 4 + 20 + 112 + 5 * 8;

constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kSecurityDirectory = 4;

enum class Phase { Head, Pe, NotPe };

// A range of file offsets the Authenticode hash leaves out.
struct Excluded {
  std::uint64_t begin = 0, end = 0;
};

}  // namespace

struct PackageFileHasher::State {
  Sha1 flatSha1, peSha1;
  Sha256 flatSha256, peSha256;
  std::uint64_t size = 0;  // bytes given so far
  Phase phase = Phase::Head;
  std::string head;  // the file's first bytes while the headers are incomplete
  // What the hash leaves out, in file order and disjoint: the CheckSum, the
  // certificate-table entry, the table.
  Excluded excluded[3];
  std::size_t excludedCount = 0;
  bool hasTable = false;
  std::uint64_t tableBytesLeftOut = 0;

  void hashPe(const char* data, std::size_t n) {
    peSha1.update(data, n);
    peSha256.update(data, n);
  }

  // Bytes at file offset `at`, less the excluded ranges.
  void feedPe(std::uint64_t at, const char* data, std::size_t n) {
    std::uint64_t cur = at;
    const std::uint64_t end = at + n;
    for (std::size_t i = 0; i < excludedCount && cur < end; ++i) {
      const Excluded& range = excluded[i];
      if (range.end <= cur) continue;
      if (range.begin > cur) {
        const std::uint64_t upto = std::min(end, range.begin);
        hashPe(data + (cur - at), static_cast<std::size_t>(upto - cur));
        cur = upto;
        if (cur >= end) break;
      }
      const std::uint64_t skipTo = std::min(end, range.end);
      if (hasTable && i == excludedCount - 1) tableBytesLeftOut += skipTo - cur;
      cur = skipTo;
    }
    if (cur < end) hashPe(data + (cur - at), static_cast<std::size_t>(end - cur));
  }

  // Reads the headers from `head` once there is enough of it; `complete` when the
  // file has ended. Sets the excluded ranges of a PE image.
  Phase decide(bool complete) {
    const std::string_view h = head;
    auto has = [&](std::uint64_t n) { return h.size() >= n; };
    auto undecided = [&] { return complete || h.size() >= kHeadLimit ? Phase::NotPe : Phase::Head; };

    if (!has(2)) return undecided();
    if (h[0] != 'M' || h[1] != 'Z') return Phase::NotPe;
    if (!has(0x40)) return undecided();
    const std::uint64_t peAt = base::loadLe32(h, 0x3C);
    if (peAt >= kMaxPeHeaderOffset) return Phase::NotPe;
    const std::uint64_t optionalAt = peAt + 4 + 20;
    if (!has(optionalAt + 2)) return undecided();
    if (h.substr(peAt, 4) != std::string_view("PE\0\0", 4)) return Phase::NotPe;
    const std::uint16_t magic = base::loadLe16(h, optionalAt);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return Phase::NotPe;
    const std::uint64_t directoriesAt = optionalAt + (magic == kPe32PlusMagic ? 112 : 96);
    if (!has(directoriesAt)) return undecided();
    const std::uint32_t directoryCount = base::loadLe32(h, directoriesAt - 4);

    excluded[0] = {optionalAt + 64, optionalAt + 68};
    excludedCount = 1;
    if (directoryCount > kSecurityDirectory) {
      const std::uint64_t entryAt = directoriesAt + kSecurityDirectory * 8;
      if (!has(entryAt + 8)) return undecided();
      excluded[excludedCount++] = {entryAt, entryAt + 8};
      const std::uint64_t tableAt = base::loadLe32(h, entryAt);
      const std::uint64_t tableSize = base::loadLe32(h, entryAt + 4);
      if (tableSize > 0 && tableAt >= entryAt + 8) {
        excluded[excludedCount++] = {tableAt, tableAt + tableSize};
        hasTable = true;
      }
    }
    return Phase::Pe;
  }
};

PackageFileHasher::PackageFileHasher() : state_(std::make_unique<State>()) {}
PackageFileHasher::~PackageFileHasher() = default;

void PackageFileHasher::update(const void* data, std::size_t size) {
  State& s = *state_;
  const char* bytes = static_cast<const char*>(data);
  s.flatSha1.update(bytes, size);
  s.flatSha256.update(bytes, size);
  std::size_t used = 0;
  if (s.phase == Phase::Head) {
    used = std::min(size, kHeadLimit - s.head.size());
    s.head.append(bytes, used);
    s.phase = s.decide(false);
    if (s.phase != Phase::Head) {
      if (s.phase == Phase::Pe) s.feedPe(0, s.head.data(), s.head.size());
      std::string().swap(s.head);
    }
  }
  if (s.phase == Phase::Pe && used < size) s.feedPe(s.size + used, bytes + used, size - used);
  s.size += size;
}

FileHashes PackageFileHasher::finish() {
  State& s = *state_;
  if (s.phase == Phase::Head) {
    s.phase = s.decide(true);
    if (s.phase == Phase::Pe) s.feedPe(0, s.head.data(), s.head.size());
    std::string().swap(s.head);
  }
  FileHashes hashes;
  hashes.flatSha1 = s.flatSha1.digestBytes();
  hashes.flatSha256 = s.flatSha256.digestBytes();
  hashes.isPe = s.phase == Phase::Pe;
  if (hashes.isPe) {
    // No table in the file: hashed as signing would pad it.
    if (s.tableBytesLeftOut == 0) {
      static constexpr char kZeros[8] = {};
      s.hashPe(kZeros, static_cast<std::size_t>((8 - s.size % 8) % 8));
    }
    hashes.peSha1 = s.peSha1.digestBytes();
    hashes.peSha256 = s.peSha256.digestBytes();
  }
  return hashes;
}

}  // namespace qelvaro
