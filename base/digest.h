#pragma once
// SHA-1 and SHA-256 through a maintained implementation, never our own: the system's
// (BCrypt) on Windows, Debian's nettle natively. Backups record SHA-256 sums in the
// format sha256sum writes; driver catalogs name files by SHA-1 or SHA-256.

#include <cstddef>
#include <memory>
#include <string>

#include "byte_sink.h"

namespace qelvaro {

enum class DigestAlgorithm { Sha1, Sha256 };

// A running hash of the bytes given.
class Digest : public ByteSink {
 public:
  explicit Digest(DigestAlgorithm algorithm);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  // False when the platform offers no such hash (the system library cannot be loaded,
  // or a call failed): then the digests are empty and no caller may record a sum.
  bool ok() const;
  void update(const void* data, std::size_t size) override;
  // The sum of everything given as raw bytes (20 for SHA-1, 32 for SHA-256); empty when
  // !ok(). Ends the hash: call this or hexDigest() once.
  std::string digestBytes();
  // The same sum in lower-case hex; empty when !ok().
  std::string hexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class Sha1 : public Digest {
 public:
  Sha1() : Digest(DigestAlgorithm::Sha1) {}
};

// Lower-case hex of raw digest bytes.
std::string HexOf(const unsigned char* bytes, std::size_t size);

}  // namespace qelvaro
