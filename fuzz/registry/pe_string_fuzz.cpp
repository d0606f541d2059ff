// Feeds arbitrary bytes to the string-table reader as if they were a DLL of an offline
// image: no crash, no read outside the bytes, and a string found is not empty and no
// longer than the input could hold.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pe_string_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (std::uint32_t id : {0u, 15u, 16u, 5000u, 65535u}) {
    const auto text = qelvaro::ReadPeString(bytes, id, 0x0804);
    if (text && (text->empty() || text->size() > size * 2)) std::abort();
  }
  return 0;
}
