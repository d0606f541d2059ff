#pragma once
// The hashes Windows takes of a driver package's files, in the one pass that reads
// each file: SHA-1 and SHA-256 of the whole file, and for a PE image (a .sys, .dll or
// .exe) the Authenticode hashes, which a catalog or an embedded signature names.
//
// The Authenticode hash covers the whole image except the optional header's CheckSum
// (4 bytes), the certificate-table entry of the data directories (8 bytes, entry 4)
// and the certificate table itself, which signing puts at the end of the file. An
// image with no certificate table is hashed as though zero-padded to a multiple of 8
// bytes, as signing pads it; a signed image is hashed as it is up to its table.
//
// Images that are not what signing writes are hashed as follows, without ever
// holding more than the headers in memory:
//   - a certificate table that starts inside the headers (before the end of its own
//     entry) or has no size is taken as absent;
//   - a table that runs past the end of the file is excluded up to the end; one that
//     starts at or past the end excludes nothing and counts as absent (the padding
//     applies); bytes after a table that ends before the end of the file are hashed;
//   - an image whose directories stop before entry 4 (NumberOfRvaAndSizes <= 4) has
//     no entry to exclude: only the CheckSum is, and the padding applies.
// A file whose headers are not complete or not those of a PE32 or PE32+ image, or
// whose PE header starts 64 KiB or more into it, is not a PE image.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/byte_sink.h"

namespace qelvaro {

struct FileHashes {
  // Raw digest bytes (20 for SHA-1, 32 for SHA-256); empty when the platform offers no
  // such hash.
  std::string flatSha1, flatSha256;
  bool isPe = false;
  // The Authenticode hashes; empty when !isPe.
  std::string peSha1, peSha256;
};

class PackageFileHasher final : public ByteSink {
 public:
  PackageFileHasher();
  ~PackageFileHasher();
  PackageFileHasher(const PackageFileHasher&) = delete;
  PackageFileHasher& operator=(const PackageFileHasher&) = delete;

  // The file's next bytes, in order, in pieces of any size.
  void update(const void* data, std::size_t size) override;
  // The hashes of everything given. Ends the hasher: call once.
  FileHashes finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A file's hashes as it passes, with its bytes kept besides when `keep` is given, up
// to `limit` bytes: the one read of a package's INF or catalog gives both what is
// checked and the hashes it is checked by.
class KeepingFileHasher final : public ByteSink {
 public:
  explicit KeepingFileHasher(std::string* keep = nullptr, std::size_t limit = 0) : keep_(keep), limit_(limit) {}
  void update(const void* data, std::size_t size) override {
    hasher.update(data, size);
    if (keep_ && keep_->size() < limit_) {
      keep_->append(static_cast<const char*>(data), size < limit_ - keep_->size() ? size : limit_ - keep_->size());
    }
  }
  PackageFileHasher hasher;

 private:
  std::string* keep_;
  std::size_t limit_;
};

}  // namespace qelvaro
