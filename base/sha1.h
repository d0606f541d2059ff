#pragma once
// SHA-1 through a maintained implementation, never our own: the system's (BCrypt) on
// Windows, Debian's nettle natively. Windows still names a driver package's files by
// their SHA-1 in catalogs, beside SHA-256; nothing here relies on it for safety.

#include <cstddef>
#include <memory>
#include <string>

namespace qelvaro {

class Sha1 {
 public:
  Sha1();
  ~Sha1();
  Sha1(const Sha1&) = delete;
  Sha1& operator=(const Sha1&) = delete;

  // False when the platform offers no SHA-1 (the system library cannot be loaded):
  // then the digests are empty.
  bool ok() const;
  void update(const void* data, std::size_t size);
  // The sum of everything given as its 20 raw bytes; empty when !ok(). Ends the hash:
  // call this or hexDigest() once.
  std::string digestBytes();
  // The same sum in lower-case hex (40 digits); empty when !ok().
  std::string hexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qelvaro
