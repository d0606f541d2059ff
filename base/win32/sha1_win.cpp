// The system's own SHA-1 (BCrypt, loaded from System32: base/win32/bcrypt_hash.h).
#include "base/sha1.h"
#include "base/win32/bcrypt_hash.h"

namespace qelvaro {

struct Sha1::State {
  base::BcryptHash hash{base::BcryptAlgorithm::Sha1};
};

Sha1::Sha1() : state_(std::make_unique<State>()) {}
Sha1::~Sha1() = default;

bool Sha1::ok() const { return state_->hash.ok(); }

void Sha1::update(const void* data, std::size_t size) { state_->hash.update(data, size); }

std::string Sha1::digestBytes() { return state_->hash.finish(20); }

}  // namespace qelvaro
