#pragma once
// SHA-256, the sum a backup records for each file (base/digest.h says how it is taken).

#include <string>
#include <string_view>

#include "base/digest.h"

namespace qelvaro {

class Sha256 : public Digest {
 public:
  Sha256() : Digest(DigestAlgorithm::Sha256) {}
};

// The sum of `bytes`, in lower-case hex; empty when the platform offers none.
std::string Sha256Hex(std::string_view bytes);

}  // namespace qelvaro
