#pragma once
// Ownership of a Windows handle or loaded module: released once, when the owner ends.

#include <windows.h>

#include <utility>

namespace qelvaro::base {

template <typename T, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& o) noexcept : value_(std::exchange(o.value_, T{})) {}
  UniqueResource& operator=(UniqueResource&& o) noexcept {
    if (this != &o) reset(std::exchange(o.value_, T{}));
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return Traits::valid(value_); }
  void reset(T value = T{}) {
    if (*this) Traits::release(value_);
    value_ = value;
  }
  // Gives the value up to the caller, who releases it.
  T release() { return std::exchange(value_, T{}); }
  // Releases now and says whether that succeeded (a write can fail only at the close).
  bool close() {
    const bool ok = !*this || Traits::release(value_);
    value_ = T{};
    return ok;
  }

 private:
  T value_{};
};

struct HandleTraits {
  // CreateFile answers INVALID_HANDLE_VALUE, most other calls null: neither is a handle.
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool release(HANDLE h) { return CloseHandle(h) != FALSE; }
};

struct FindTraits {
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool release(HANDLE h) { return FindClose(h) != FALSE; }
};

struct ModuleTraits {
  static bool valid(HMODULE m) { return m != nullptr; }
  static bool release(HMODULE m) { return FreeLibrary(m) != FALSE; }
};

// A kernel handle from CreateFile, CreateEvent, OpenProcessToken and the like.
using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;
// A search of FindFirstFile(Ex).
using UniqueFindHandle = UniqueResource<HANDLE, FindTraits>;
// A DLL loaded by the owner.
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;

}  // namespace qelvaro::base
