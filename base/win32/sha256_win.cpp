// The system's own SHA-256 (BCrypt, loaded from System32: base/win32/bcrypt_hash.h).
#include "base/sha256.h"
#include "base/win32/bcrypt_hash.h"

namespace qelvaro {

struct Sha256::State {
  base::BcryptHash hash{base::BcryptAlgorithm::Sha256};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

bool Sha256::ok() const { return state_->hash.ok(); }

void Sha256::update(const void* data, std::size_t size) { state_->hash.update(data, size); }

std::string Sha256::digestBytes() { return state_->hash.finish(32); }

}  // namespace qelvaro
