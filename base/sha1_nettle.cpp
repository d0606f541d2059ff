#include <nettle/sha1.h>

#include "base/sha1.h"

namespace qelvaro {

struct Sha1::State {
  sha1_ctx ctx;
};

Sha1::Sha1() : state_(std::make_unique<State>()) { sha1_init(&state_->ctx); }
Sha1::~Sha1() = default;

bool Sha1::ok() const { return true; }

void Sha1::update(const void* data, std::size_t size) {
  sha1_update(&state_->ctx, size, static_cast<const std::uint8_t*>(data));
}

std::string Sha1::digestBytes() {
  unsigned char digest[SHA1_DIGEST_SIZE];
  sha1_digest(&state_->ctx, SHA1_DIGEST_SIZE, digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace qelvaro
