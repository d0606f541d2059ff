#pragma once
// SHA-256 through a maintained implementation, never our own: the system's (BCrypt)
// on Windows, Debian's nettle natively. Backups record these sums in the format
// sha256sum writes, so that a user can check a backup with tools of their own.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qelvaro {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the platform offers no SHA-256 (the system library cannot be loaded):
  // then hexDigest() is empty and no caller may record a sum.
  bool ok() const;
  void update(const void* data, std::size_t size);
  // The sum of everything given as its 32 raw bytes; empty when !ok(). Ends the hash:
  // call this or hexDigest() once.
  std::string digestBytes();
  // The sum of everything given, in lower-case hex (64 digits); empty when !ok().
  // Ends the hash: call once.
  std::string hexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The sum of `bytes`, in lower-case hex; empty when the platform offers none.
std::string Sha256Hex(std::string_view bytes);

// Lower-case hex of raw digest bytes.
std::string HexOf(const unsigned char* bytes, std::size_t size);

}  // namespace qelvaro
