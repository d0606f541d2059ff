#include "base/sha1.h"

#include "base/sha256.h"

namespace qelvaro {

std::string Sha1::hexDigest() {
  const std::string digest = digestBytes();
  return HexOf(reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
}

}  // namespace qelvaro
