#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>

#include "code_page_file_system.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

// glibc's names for the Windows code pages that are not plain "CPnnn".
std::string iconvName(unsigned codePage) {
  switch (codePage) {
    case 936: return "GBK";
    case 950: return "BIG5";
    case 932: return "CP932";
    case 949: return "CP949";
    default: return "CP" + std::to_string(codePage);
  }
}

struct IconvHandle {
  iconv_t cd;
  ~IconvHandle() { iconv_close(cd); }
};

}  // namespace

CodePageFileSystem::Decoder AnsiDecoderForCodePage(unsigned codePage) {
  if (codePage == 0) return nullptr;
  // As MultiByteToWideChar maps it, the five bytes glibc leaves undefined included.
  if (codePage == 1252) return [](std::string_view bytes) { return windows1252ToUtf8(bytes); };
  if (codePage == 65001) return [](std::string_view bytes) { return std::string(bytes); };
  const std::string name = iconvName(codePage);
  iconv_t probe = iconv_open("UTF-8", name.c_str());
  if (probe == reinterpret_cast<iconv_t>(-1)) return nullptr;
  iconv_close(probe);
  return [name](std::string_view bytes) {
    IconvHandle h{iconv_open("UTF-8", name.c_str())};
    std::string out;
    std::string in(bytes);
    char* src = in.data();
    std::size_t left = in.size();
    char buffer[4096];
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t r = iconv(h.cd, &src, &left, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
        // A byte the code page does not map: U+FFFD, as MultiByteToWideChar gives.
        out += "\xEF\xBF\xBD";
        ++src;
        --left;
      }
    }
    return out;
  };
}

}  // namespace qelvaro
