// The system's own digests through BCrypt's hash object calls, which Windows 7 has
// (the one-call BCryptHash needs Windows 10). bcrypt.dll is not a KnownDLL on every
// version: the programs run from download and temporary folders (setup.exe elevated),
// so it is loaded from System32, never through the search path.
#include "base/digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <mutex>
#include <vector>

#include "base/win32/system_dll.h"

namespace qelvaro {
namespace {

using base::DllEntry;
using base::LoadSystemDll;

using OpenProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using GetProperty = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

// One provider per algorithm for the process, opened at first use and kept: opening
// it costs far more than a hash of a small file.
struct Provider {
  BCRYPT_ALG_HANDLE alg = nullptr;
  DWORD objectSize = 0;
  CreateHash create = nullptr;
  HashData data = nullptr;
  FinishHash finish = nullptr;
  DestroyHash destroy = nullptr;

  static const Provider* of(DigestAlgorithm algorithm) {
    static Provider sha1, sha256;
    static std::once_flag sha1Once, sha256Once;
    const bool isSha1 = algorithm == DigestAlgorithm::Sha1;
    Provider& p = isSha1 ? sha1 : sha256;
    std::call_once(isSha1 ? sha1Once : sha256Once,
                   [&] { p = open(isSha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_SHA256_ALGORITHM); });
    return p.alg ? &p : nullptr;
  }

  static Provider open(LPCWSTR name) {
    HMODULE module = LoadSystemDll(L"bcrypt.dll");
    if (!module) return {};
    const auto openAlgorithm = DllEntry<OpenProvider>(module, "BCryptOpenAlgorithmProvider");
    const auto property = DllEntry<GetProperty>(module, "BCryptGetProperty");
    Provider made{nullptr, 0, DllEntry<CreateHash>(module, "BCryptCreateHash"), DllEntry<HashData>(module, "BCryptHashData"),
                  DllEntry<FinishHash>(module, "BCryptFinishHash"), DllEntry<DestroyHash>(module, "BCryptDestroyHash")};
    if (!openAlgorithm || !property || !made.create || !made.data || !made.finish || !made.destroy) return {};
    if (!BCRYPT_SUCCESS(openAlgorithm(&made.alg, name, nullptr, 0))) return {};
    ULONG got = 0;
    if (!BCRYPT_SUCCESS(property(made.alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&made.objectSize),
                                 sizeof made.objectSize, &got, 0))) {
      return {};
    }
    return made;
  }
};

}  // namespace

struct Digest::State {
  const Provider* provider = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<unsigned char> object;  // Windows 7 wants the caller to hold the hash object
  std::size_t size = 0;
  bool failed = false;
};

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.provider = Provider::of(algorithm);
  s.size = algorithm == DigestAlgorithm::Sha1 ? 20 : 32;
  if (!s.provider) return;
  s.object.resize(s.provider->objectSize);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCRYPT_SUCCESS(s.provider->create(s.provider->alg, &hash, s.object.data(), static_cast<ULONG>(s.object.size()),
                                        nullptr, 0, 0))) {
    s.hash = hash;
  }
}

Digest::~Digest() {
  if (state_->hash) state_->provider->destroy(state_->hash);
}

bool Digest::ok() const { return state_->hash != nullptr && !state_->failed; }

void Digest::update(const void* data, std::size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (ok() && size > 0) {
    const ULONG part = static_cast<ULONG>(size > 0x40000000 ? 0x40000000 : size);
    if (!BCRYPT_SUCCESS(state_->provider->data(state_->hash, bytes, part, 0))) state_->failed = true;
    bytes += part;
    size -= part;
  }
}

std::string Digest::digestBytes() {
  std::string digest(state_->size, '\0');
  if (!ok() || !BCRYPT_SUCCESS(state_->provider->finish(state_->hash, reinterpret_cast<PUCHAR>(digest.data()),
                                                        static_cast<ULONG>(digest.size()), 0))) {
    return {};
  }
  return digest;
}

}  // namespace qelvaro
