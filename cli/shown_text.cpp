#include "shown_text.h"

#include <cstdio>

#include "base/utf8.h"

namespace qelvaro {

std::string ShownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[8];
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    bool ok = true;
    const char32_t cp = base::decodeUtf8(text, i, ok);
    if (!ok || cp < 0x20 || cp == 0x7F) {
      const auto byte = static_cast<unsigned char>(text[start]);
      if (ok && cp == '\t') out += "\\t";
      else if (ok && cp == '\n') out += "\\n";
      else if (ok && cp == '\r') out += "\\r";
      else {
        std::snprintf(escape, sizeof escape, "\\x%02X", byte);
        out += escape;
      }
    } else if (cp >= 0x80 && cp <= 0x9F) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(cp));
      out += escape;
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out;
}

}  // namespace qelvaro
