// Windows folds file names through the system's own upper-case table, which
// LCMapStringEx with the invariant locale gives unit for unit (Windows Vista and later).
#include <windows.h>

#include "file_name_fold.h"
#include "base/win32/wide_string.h"

namespace qelvaro {

std::string FoldFileName(std::string_view name) {
  std::wstring units = base::widen(name);
  if (units.empty()) return {};
  std::wstring upper(units.size(), L'\0');
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, units.c_str(), static_cast<int>(units.size()),
                              upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
  if (n != static_cast<int>(units.size())) {
    // Never a different length in practice; ASCII letters at least still fold.
    for (wchar_t& u : units) {
      if (u >= L'a' && u <= L'z') u = static_cast<wchar_t>(u - 32);
    }
    return base::narrow(units);
  }
  return base::narrow(upper);
}

}  // namespace qelvaro
