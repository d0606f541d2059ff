#pragma once
// Ownership of a Windows handle: closed once, when the owner ends.

#include <windows.h>

#include <utility>

namespace qelvaro::base {

// A kernel handle from CreateFile, CreateEvent, OpenProcessToken and the like. Both
// null and INVALID_HANDLE_VALUE mean none.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  void reset(HANDLE h = nullptr) {
    if (*this) CloseHandle(h_);
    h_ = h;
  }
  // Closes now and says whether the close succeeded (a write can fail only here).
  bool close() {
    const bool ok = !*this || CloseHandle(h_);
    h_ = nullptr;
    return ok;
  }

 private:
  HANDLE h_ = nullptr;
};

// A DLL loaded by the owner, freed when it ends.
class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE m) : m_(m) {}
  ~UniqueModule() { reset(); }
  UniqueModule(UniqueModule&& o) noexcept : m_(std::exchange(o.m_, nullptr)) {}
  UniqueModule& operator=(UniqueModule&& o) noexcept {
    if (this != &o) reset(std::exchange(o.m_, nullptr));
    return *this;
  }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;

  HMODULE get() const { return m_; }
  explicit operator bool() const { return m_ != nullptr; }
  void reset(HMODULE m = nullptr) {
    if (m_) FreeLibrary(m_);
    m_ = m;
  }

 private:
  HMODULE m_ = nullptr;
};

}  // namespace qelvaro::base
