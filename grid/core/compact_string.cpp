#include "compact_string.h"

#include <limits>
#include <new>

#include "grid_error.h"

namespace qelvaro::grid {

void CompactString::initFrom(std::string_view text) {
  if (text.size() <= kInline) {
    if (!text.empty()) std::memcpy(buf_, text.data(), text.size());
    tag_ = static_cast<unsigned char>(text.size());
    return;
  }
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) throwOverflow("text too long");
  char* p = new char[text.size()];
  std::memcpy(p, text.data(), text.size());
  const auto n = static_cast<std::uint32_t>(text.size());
  std::memcpy(buf_, &p, sizeof p);
  std::memcpy(buf_ + sizeof(char*), &n, sizeof n);
  tag_ = kHeap;
}

void CompactString::release() noexcept {
  if (tag_ == kHeap) delete[] heapPtr();
}

void CompactString::assignOther(std::string_view text) {
  // The source may point into this very string; build the copy before letting go.
  CompactString copy(text);
  *this = std::move(copy);
}

}  // namespace qelvaro::grid
