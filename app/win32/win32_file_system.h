#pragma once
// The file-system port over the Win32 W functions: paths of any length, and the
// real System32 for a 32-bit process on 64-bit Windows.

#include <string>

#include "file_system.h"

namespace qelvaro {

// The path in the form the W functions take at any length: absolute paths of 260
// characters or more get the \\?\ (or \\?\UNC\) prefix after normalisation.
std::wstring ToWin32Path(const std::string& path);

class Win32FileSystem final : public FileSystem {
 public:
  bool exists(const std::string& path, AttrMask mask) const override;
  std::optional<std::string> readFile(const std::string& path) const override;
  // The machine's ANSI code page.
  std::string decodeAnsi(std::string_view bytes) const override;
};

}  // namespace qelvaro
