#pragma once
// A 32-bit process on 64-bit Windows sees SysWOW64 when it opens System32. The
// drivers it backs up live in the real System32, so every file access that names
// the system directory runs with the redirection switched off for its thread.

#include <windows.h>

namespace qelvaro {

// True when this is a 32-bit process on 64-bit Windows.
bool RunningUnderWow64();

class Wow64RedirectionOff {
 public:
  Wow64RedirectionOff();
  ~Wow64RedirectionOff();
  Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
  Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;

 private:
  PVOID old_ = nullptr;
  bool active_ = false;
};

}  // namespace qelvaro
