#pragma once
// A small file read or written in one go through the Win32 calls (the C++ streams
// would triple the size of the 64-bit installer, which two programs carry).

#include <windows.h>

#include <string>

namespace qelvaro::base {

// The whole file into `bytes` (appended); false when it cannot be opened or a read
// fails (GetLastError says why).
bool ReadWholeFile(const wchar_t* path, std::string& bytes);

enum class WriteMode {
  CreateNew,  // fails on anything already there
  Replace,    // creates or truncates
};

// Writes `size` bytes as the whole file; false when any step fails, the close included.
bool WriteWholeFile(const wchar_t* path, const void* data, std::size_t size, WriteMode mode);

}  // namespace qelvaro::base
