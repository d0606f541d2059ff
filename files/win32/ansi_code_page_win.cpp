#include <windows.h>

#include "code_page_file_system.h"
#include "base/win32/wide_string.h"
#include "base/text_encoding.h"

namespace qelvaro {

CodePageFileSystem::Decoder AnsiDecoderForCodePage(unsigned codePage) {
  if (codePage == 0 || !IsValidCodePage(codePage)) return nullptr;
  return [codePage](std::string_view bytes) -> std::string {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return windows1252ToUtf8(bytes);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), n);
    return base::narrow(wide);
  };
}

}  // namespace qelvaro
