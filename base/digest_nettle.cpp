// Native digests through nettle's table of hash functions.
#include <nettle/nettle-meta.h>

#include <vector>

#include "base/digest.h"

namespace qelvaro {

struct Digest::State {
  const nettle_hash* hash;
  std::vector<unsigned char> context;
};

Digest::Digest(DigestAlgorithm algorithm)
    : state_(std::make_unique<State>(State{algorithm == DigestAlgorithm::Sha1 ? &nettle_sha1 : &nettle_sha256, {}})) {
  state_->context.resize(state_->hash->context_size);
  state_->hash->init(state_->context.data());
}

Digest::~Digest() = default;

bool Digest::ok() const { return true; }

void Digest::update(const void* data, std::size_t size) {
  state_->hash->update(state_->context.data(), size, static_cast<const std::uint8_t*>(data));
}

std::string Digest::digestBytes() {
  std::string digest(state_->hash->digest_size, '\0');
  state_->hash->digest(state_->context.data(), digest.size(), reinterpret_cast<std::uint8_t*>(digest.data()));
  return digest;
}

}  // namespace qelvaro
