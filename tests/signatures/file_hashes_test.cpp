// SHA-1 and the raw digests of base/, and the hashes of a driver package's files:
// flat, and Authenticode for PE images, whatever the chunks they are fed in and
// whatever the headers say.

#include "file_hashes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "base/sha1.h"
#include "base/sha256.h"
#include "pe_test_image.h"

namespace qelvaro {
namespace {

using test::kChecksumAt;
using test::MakePeImage;
using test::SecurityEntryAt;

std::string Hex(const std::string& bytes) {
  return HexOf(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

struct Vector {
  const char* message;
  const char* sha1;
  const char* sha256;
};
const Vector kVectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
};

// Both digests give the known sums, as raw bytes and as hex.
TEST(Digest, GivesTheKnownSumsAsRawBytesAndHex) {
  for (const Vector& v : kVectors) {
    for (const auto& [algorithm, expected, size] : {std::tuple{DigestAlgorithm::Sha1, v.sha1, std::size_t{20}},
                                                   std::tuple{DigestAlgorithm::Sha256, v.sha256, std::size_t{32}}}) {
      SCOPED_TRACE(std::string(v.message) + " " + expected);
      Digest hex(algorithm), raw(algorithm);
      ASSERT_TRUE(hex.ok());
      hex.update(v.message, std::string(v.message).size());
      raw.update(v.message, std::string(v.message).size());
      EXPECT_EQ(hex.hexDigest(), expected);
      const std::string bytes = raw.digestBytes();
      EXPECT_EQ(bytes.size(), size);
      EXPECT_EQ(Hex(bytes), expected);
    }
  }
}

FileHashes HashInChunks(const std::string& file, std::size_t chunk) {
  PackageFileHasher hasher;
  for (std::size_t at = 0; at < file.size(); at += chunk) {
    hasher.update(file.data() + at, std::min(chunk, file.size() - at));
  }
  return hasher.finish();
}

FileHashes HashWhole(const std::string& file) { return HashInChunks(file, std::max<std::size_t>(file.size(), 1)); }

TEST(PackageFileHasher, HashesAnyFileFlat) {
  const FileHashes h = HashWhole("abc");
  EXPECT_EQ(Hex(h.flatSha1), kVectors[1].sha1);
  EXPECT_EQ(Hex(h.flatSha256), kVectors[1].sha256);
  EXPECT_FALSE(h.isPe);
  EXPECT_TRUE(h.peSha1.empty());
  EXPECT_TRUE(h.peSha256.empty());
}

// The Authenticode hashes worked out the plain way: the file less the given ranges
// (clipped to it), zero-padded to a multiple of 8 bytes when `pad`.
struct Range {
  std::size_t begin, end;
};
std::pair<std::string, std::string> Expected(const std::string& file, std::vector<Range> leftOut, bool pad) {
  std::string kept;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (std::none_of(leftOut.begin(), leftOut.end(), [&](const Range& r) { return i >= r.begin && i < r.end; })) {
      kept.push_back(file[i]);
    }
  }
  if (pad) kept.append((8 - file.size() % 8) % 8, '\0');
  Sha1 sha1;
  Sha256 sha256;
  sha1.update(kept.data(), kept.size());
  sha256.update(kept.data(), kept.size());
  return {sha1.digestBytes(), sha256.digestBytes()};
}

Range Checksum() { return {kChecksumAt, kChecksumAt + 4}; }
Range SecurityEntry(bool pe32plus) { return {SecurityEntryAt(pe32plus), SecurityEntryAt(pe32plus) + 8}; }

void ExpectPeHashes(const std::string& file, const FileHashes& h, std::vector<Range> leftOut, bool pad) {
  ASSERT_TRUE(h.isPe);
  const auto [sha1, sha256] = Expected(file, std::move(leftOut), pad);
  EXPECT_EQ(Hex(h.peSha1), Hex(sha1));
  EXPECT_EQ(Hex(h.peSha256), Hex(sha256));
}

TEST(PackageFileHasher, AuthenticodeHashLeavesOutChecksumEntryAndTable) {
  struct Case {
    const char* name;
    bool pe32plus;
    std::size_t trailing;  // bytes after the section
    std::size_t table;     // certificate table at the end; 0: none
  };
  const Case cases[] = {
      {"PE32, unsigned, a multiple of 8", false, 0, 0},
      {"PE32, unsigned, padded", false, 5, 0},
      {"PE32+, unsigned, padded", true, 3, 0},
      {"PE32, signed", false, 0, 24},
      {"PE32+, signed after an odd size", true, 5, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = MakePeImage(c.pe32plus, c.trailing);
    const std::size_t tableAt = file.size();
    if (c.table) file = test::WithCertificateTable(file, c.pe32plus, c.table);
    const FileHashes h = HashWhole(file);
    EXPECT_EQ(Hex(h.flatSha256), Sha256Hex(file));
    std::vector<Range> leftOut = {Checksum(), SecurityEntry(c.pe32plus)};
    if (c.table) leftOut.push_back({tableAt, file.size()});
    ExpectPeHashes(file, h, leftOut, c.table == 0);
  }
}

TEST(PackageFileHasher, ChunkSizesDoNotChangeTheHashes) {
  const std::string files[] = {
      test::WithCertificateTable(MakePeImage(false), false, 40),
      MakePeImage(true, 7),
      "MZ but nothing after it",
      std::string(3000, 'x'),
  };
  for (const std::string& file : files) {
    const FileHashes whole = HashWhole(file);
    for (std::size_t chunk : {1, 7, 4096}) {
      SCOPED_TRACE(chunk);
      const FileHashes h = HashInChunks(file, chunk);
      EXPECT_EQ(h.flatSha1, whole.flatSha1);
      EXPECT_EQ(h.flatSha256, whole.flatSha256);
      EXPECT_EQ(h.isPe, whole.isPe);
      EXPECT_EQ(h.peSha1, whole.peSha1);
      EXPECT_EQ(h.peSha256, whole.peSha256);
    }
  }
}

TEST(PackageFileHasher, HostileHeadsAreHashedSanely) {
  const std::size_t entry = SecurityEntryAt(false);
  auto setEntry = [entry](std::uint32_t at, std::uint32_t size) {
    return [=](std::string& f) {
      base::storeLe32(f, entry, at);
      base::storeLe32(f, entry + 4, size);
    };
  };
  auto cutAt = [](std::size_t size) { return [=](std::string& f) { f.resize(size); }; };
  struct Case {
    const char* name;
    std::function<void(std::string&)> change;
    bool isPe;
    std::vector<Range> leftOut;  // besides the CheckSum
    bool pad;
  };
  const Case cases[] = {
      {"PE header offset huge", [](std::string& f) { base::storeLe32(f, 0x3C, 0xFFFFFFF0); }, false, {}, false},
      {"PE header offset negative", [](std::string& f) { base::storeLe32(f, 0x3C, 0x80000000); }, false, {}, false},
      {"PE header offset past the end", [](std::string& f) { base::storeLe32(f, 0x3C, 0x1000); }, false, {}, false},
      {"PE header 64 KiB in",
       [](std::string& f) {
         std::string moved = f.substr(test::kPeHeaderAt);
         f.resize(0x10000, '\0');
         f += moved;
         base::storeLe32(f, 0x3C, 0x10000);
       },
       false, {}, false},
      {"no PE signature", [](std::string& f) { f[test::kPeHeaderAt + 1] = 'X'; }, false, {}, false},
      {"unknown optional header", [](std::string& f) { f[test::kOptionalHeaderAt] = 0x07; }, false, {}, false},
      {"cut in the DOS header", cutAt(0x3F), false, {}, false},
      {"cut in the optional header", cutAt(test::kOptionalHeaderAt + 1), false, {}, false},
      {"cut in the security entry", cutAt(entry + 4), false, {}, false},
      {"cut after the security entry", cutAt(entry + 8), true, {SecurityEntry(false)}, true},
      {"table past the end", setEntry(0x10000, 0x100), true, {SecurityEntry(false)}, true},
      {"table running past the end", setEntry(0x300, 0x10000), true, {SecurityEntry(false), {0x300, 0x10300}}, false},
      {"table before the end", setEntry(0x300, 0x20), true, {SecurityEntry(false), {0x300, 0x320}}, false},
      {"table in the headers", setEntry(0x10, 0x20), true, {SecurityEntry(false)}, true},
      {"table of no size", setEntry(0x300, 0), true, {SecurityEntry(false)}, true},
      {"no security entry",
       [](std::string& f) { base::storeLe32(f, test::DirectoriesAt(false) - 4, 4); }, true, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = MakePeImage(false, 3);  // padded unless a table is left out
    c.change(file);
    for (std::size_t chunk : {std::size_t{1}, file.size()}) {
      const FileHashes h = HashInChunks(file, chunk);
      EXPECT_EQ(Hex(h.flatSha256), Sha256Hex(file));
      if (!c.isPe) {
        EXPECT_FALSE(h.isPe);
        EXPECT_TRUE(h.peSha256.empty());
        continue;
      }
      std::vector<Range> leftOut = c.leftOut;
      leftOut.push_back(Checksum());
      ExpectPeHashes(file, h, leftOut, c.pad);
    }
  }
}

}  // namespace
}  // namespace qelvaro
