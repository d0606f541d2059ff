#include "wow64_redirection.h"

namespace qelvaro {

bool RunningUnderWow64() {
  static const bool wow64 = [] {
    BOOL is = FALSE;
    return IsWow64Process(GetCurrentProcess(), &is) && is;
  }();
  return wow64;
}

Wow64RedirectionOff::Wow64RedirectionOff() {
  if (RunningUnderWow64()) active_ = Wow64DisableWow64FsRedirection(&old_) != FALSE;
}

Wow64RedirectionOff::~Wow64RedirectionOff() {
  if (active_) Wow64RevertWow64FsRedirection(old_);
}

}  // namespace qelvaro
