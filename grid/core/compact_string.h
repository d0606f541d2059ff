#pragma once
// A 16-byte string for cell texts. A grid of a million rows holds millions of short
// texts; std::string spends 32 bytes on each, and a cell record built around it
// would double the memory of the row store. Texts of up to 15 bytes live inline;
// longer ones own one heap block. Byte alignment keeps the cell record packed.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qelvaro::grid {

class CompactString {
 public:
  CompactString() noexcept { tag_ = 0; }
  explicit CompactString(std::string_view text) { initFrom(text); }
  CompactString(const CompactString& other) { initFrom(other.view()); }
  CompactString(CompactString&& other) noexcept {
    std::memcpy(static_cast<void*>(this), &other, sizeof(CompactString));
    other.tag_ = 0;
  }
  CompactString& operator=(const CompactString& other) {
    if (this != &other) assign(other.view());
    return *this;
  }
  CompactString& operator=(CompactString&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(static_cast<void*>(this), &other, sizeof(CompactString));
      other.tag_ = 0;
    }
    return *this;
  }
  ~CompactString() { release(); }

  void assign(std::string_view text) {
    // Most texts are short and replace short ones; those are copied in place. The
    // source may lie inside this very string, hence memmove.
    if (text.size() <= kInline && tag_ != kHeap) {
      if (!text.empty()) std::memmove(buf_, text.data(), text.size());
      tag_ = static_cast<unsigned char>(text.size());
      return;
    }
    assignOther(text);
  }
  void clear() noexcept {
    release();
    tag_ = 0;
  }

  std::string_view view() const noexcept {
    if (tag_ != kHeap) return {buf_, tag_};
    return {heapPtr(), heapSize()};
  }
  std::string str() const { return std::string(view()); }
  std::size_t size() const noexcept { return tag_ != kHeap ? tag_ : heapSize(); }
  bool empty() const noexcept { return tag_ == 0; }
  bool onHeap() const noexcept { return tag_ == kHeap; }

  friend bool operator==(const CompactString& a, std::string_view b) noexcept {
    return a.view() == b;
  }

 private:
  static constexpr std::size_t kInline = 15;
  static constexpr unsigned char kHeap = 0xFF;

  void initFrom(std::string_view text);
  void assignOther(std::string_view text);
  void release() noexcept;
  char* heapPtr() const noexcept {
    char* p;
    std::memcpy(&p, buf_, sizeof p);
    return p;
  }
  std::uint32_t heapSize() const noexcept {
    std::uint32_t n;
    std::memcpy(&n, buf_ + sizeof(char*), sizeof n);
    return n;
  }

  char buf_[kInline];
  unsigned char tag_;  // inline length, or kHeap
};

static_assert(sizeof(CompactString) == 16);
static_assert(sizeof(char*) + sizeof(std::uint32_t) <= 15);

}  // namespace qelvaro::grid
