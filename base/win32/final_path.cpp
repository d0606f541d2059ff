#include "base/win32/final_path.h"

#include <cstdlib>

namespace qelvaro::base {

wchar_t* FinalPathOf(HANDLE h, DWORD& length) {
  length = 0;
  DWORD size = MAX_PATH + 1;
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto* buffer = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
    if (!buffer) return nullptr;
    const DWORD n = GetFinalPathNameByHandleW(h, buffer, size, VOLUME_NAME_DOS);
    if (n > 0 && n < size) {
      length = n;
      return buffer;
    }
    const DWORD error = GetLastError();
    std::free(buffer);
    // Windows answers a short buffer with the size it needs, Wine with ERROR_MORE_DATA
    // and no size: then the longest path there can be.
    if (n >= size) {
      size = n + 1;
    } else if (n == 0 && error == ERROR_MORE_DATA && size < 32768) {
      size = 32768;
    } else {
      return nullptr;
    }
  }
  return nullptr;
}

bool IsEntryItself(HANDLE h, const wchar_t* folderFinal, DWORD folderLength, const wchar_t* name) {
  if (folderLength == 0) return false;
  DWORD n = 0;
  wchar_t* path = FinalPathOf(h, n);
  if (!path) return false;
  const bool rooted = folderFinal[folderLength - 1] == L'\\';
  const DWORD nameAt = rooted ? folderLength : folderLength + 1;
  const DWORD nameLength = static_cast<DWORD>(lstrlenW(name));
  const bool same =
      n == nameAt + nameLength && (rooted || path[folderLength] == L'\\') &&
      CompareStringOrdinal(path, static_cast<int>(folderLength), folderFinal, static_cast<int>(folderLength), TRUE) ==
          CSTR_EQUAL &&
      CompareStringOrdinal(path + nameAt, static_cast<int>(nameLength), name, static_cast<int>(nameLength), TRUE) ==
          CSTR_EQUAL;
  std::free(path);
  return same;
}

}  // namespace qelvaro::base
