#pragma once
// A running hash through the system's BCrypt hash object calls, which Windows 7 has
// (the one-call BCryptHash needs Windows 10): what Sha1 and Sha256 are made of on
// Windows.

#include <cstddef>
#include <string>
#include <vector>

namespace qelvaro::base {

enum class BcryptAlgorithm { Sha1, Sha256 };

class BcryptHash {
 public:
  explicit BcryptHash(BcryptAlgorithm algorithm);
  ~BcryptHash();
  BcryptHash(const BcryptHash&) = delete;
  BcryptHash& operator=(const BcryptHash&) = delete;

  // False when bcrypt.dll or the algorithm is missing, or a call has failed.
  bool ok() const;
  void update(const void* data, std::size_t size);
  // The digest's raw bytes (`size` of them: 20 for SHA-1, 32 for SHA-256); empty when
  // !ok(). Ends the hash: call once.
  std::string finish(std::size_t size);

 private:
  struct Provider;
  const Provider* provider_ = nullptr;
  void* hash_ = nullptr;               // BCRYPT_HASH_HANDLE
  std::vector<unsigned char> object_;  // Windows 7 wants the caller to hold the hash object
  bool failed_ = false;
};

}  // namespace qelvaro::base
