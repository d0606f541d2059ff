// The system's own SHA-256 through BCrypt's hash object calls, which Windows 7 has
// (the one-call BCryptHash needs Windows 10). bcrypt.dll is not a KnownDLL on every
// version: the programs run from download and temporary folders (setup.exe elevated),
// so it is loaded from System32, never through the search path.
#include <windows.h>
#include <bcrypt.h>

#include <mutex>
#include <string>
#include <vector>

#include "base/win32/system_dll.h"
#include "base/sha256.h"

namespace qelvaro {
namespace {

using OpenProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using GetProperty = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

// One provider for the process, opened at first use and kept: opening it costs far
// more than a hash of a small file.
struct Provider {
  BCRYPT_ALG_HANDLE alg = nullptr;
  DWORD objectSize = 0;
  CreateHash create = nullptr;
  HashData data = nullptr;
  FinishHash finish = nullptr;
  DestroyHash destroy = nullptr;
};

using base::DllEntry;

const Provider* provider() {
  static Provider p;
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE module = base::LoadSystemDll(L"bcrypt.dll");
    if (!module) return;
    const auto open = DllEntry<OpenProvider>(module, "BCryptOpenAlgorithmProvider");
    const auto property = DllEntry<GetProperty>(module, "BCryptGetProperty");
    Provider made{nullptr, 0, DllEntry<CreateHash>(module, "BCryptCreateHash"), DllEntry<HashData>(module, "BCryptHashData"),
                  DllEntry<FinishHash>(module, "BCryptFinishHash"), DllEntry<DestroyHash>(module, "BCryptDestroyHash")};
    if (!open || !property || !made.create || !made.data || !made.finish || !made.destroy) return;
    if (!BCRYPT_SUCCESS(open(&made.alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
    ULONG got = 0;
    if (!BCRYPT_SUCCESS(property(made.alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&made.objectSize),
                                 sizeof made.objectSize, &got, 0))) {
      return;
    }
    p = made;
  });
  return p.alg ? &p : nullptr;
}

}  // namespace

struct Sha256::State {
  const Provider* provider = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object;  // Windows 7 wants the caller to hold the hash object
  bool failed = false;
  ~State() {
    if (hash) provider->destroy(hash);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.provider = provider();
  if (!s.provider) return;
  s.object.resize(s.provider->objectSize);
  if (!BCRYPT_SUCCESS(s.provider->create(s.provider->alg, &s.hash, s.object.data(),
                                         static_cast<ULONG>(s.object.size()), nullptr, 0, 0))) {
    s.hash = nullptr;
  }
}

Sha256::~Sha256() = default;

bool Sha256::ok() const { return state_->hash != nullptr && !state_->failed; }

void Sha256::update(const void* data, std::size_t size) {
  State& s = *state_;
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (ok() && size > 0) {
    const ULONG part = static_cast<ULONG>(size > 0x40000000 ? 0x40000000 : size);
    if (!BCRYPT_SUCCESS(s.provider->data(s.hash, bytes, part, 0))) s.failed = true;
    bytes += part;
    size -= part;
  }
}

std::string Sha256::hexDigest() {
  UCHAR digest[32];
  if (!ok() || !BCRYPT_SUCCESS(state_->provider->finish(state_->hash, digest, sizeof digest, 0))) return {};
  return HexOf(digest, sizeof digest);
}

}  // namespace qelvaro
