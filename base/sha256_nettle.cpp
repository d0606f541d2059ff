#include <nettle/sha2.h>

#include "base/sha256.h"

namespace qelvaro {

struct Sha256::State {
  sha256_ctx ctx;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { sha256_init(&state_->ctx); }
Sha256::~Sha256() = default;

bool Sha256::ok() const { return true; }

void Sha256::update(const void* data, std::size_t size) {
  sha256_update(&state_->ctx, size, static_cast<const std::uint8_t*>(data));
}

std::string Sha256::digestBytes() {
  unsigned char digest[SHA256_DIGEST_SIZE];
  sha256_digest(&state_->ctx, SHA256_DIGEST_SIZE, digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace qelvaro
