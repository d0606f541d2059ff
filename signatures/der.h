#pragma once
// A small DER reader for the signed files of driver packages. It reads elements of a
// span already in memory: one-byte tags, definite lengths of at most four length bytes,
// never past the span it was given and never deeper than kMaxDerDepth. The first
// problem found is kept as a short English message with the byte it happened at;
// after it every read fails, so that callers check once at the end of a step.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelvaro::der {

inline constexpr int kMaxDerDepth = 32;

// The universal tags the readers use, and the context-specific ones they meet.
inline constexpr std::uint8_t kBoolean = 0x01;
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kBitString = 0x03;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kOid = 0x06;
inline constexpr std::uint8_t kUtf8String = 0x0C;
inline constexpr std::uint8_t kNumericString = 0x12;
inline constexpr std::uint8_t kPrintableString = 0x13;
inline constexpr std::uint8_t kTeletexString = 0x14;
inline constexpr std::uint8_t kIa5String = 0x16;
inline constexpr std::uint8_t kUtcTime = 0x17;
inline constexpr std::uint8_t kGeneralizedTime = 0x18;
inline constexpr std::uint8_t kVisibleString = 0x1A;
inline constexpr std::uint8_t kUniversalString = 0x1C;
inline constexpr std::uint8_t kBmpString = 0x1E;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
// [n] constructed (EXPLICIT, or IMPLICIT over a constructed type) and [n] primitive.
constexpr std::uint8_t ContextConstructed(int n) { return static_cast<std::uint8_t>(0xA0 | n); }
constexpr std::uint8_t ContextPrimitive(int n) { return static_cast<std::uint8_t>(0x80 | n); }

struct Element {
  std::uint8_t tag = 0;
  std::size_t offset = 0;  // where the element starts in the whole input
  std::string_view whole;  // tag, length and contents
  std::string_view contents;
  std::size_t contentsOffset() const { return offset + (whole.size() - contents.size()); }
};

// What all readers over one input share: its size and the first error.
struct Input {
  std::string_view bytes;
  std::string error;
};

class Reader {
 public:
  // Reads the whole input.
  explicit Reader(Input& input) : Reader(input, input.bytes, 0, 0) {}

  // The elements inside `e`, one level deeper.
  Reader enter(const Element& e) const { return Reader(*input_, e.contents, e.contentsOffset(), depth_ + 1); }

  bool ok() const { return input_->error.empty(); }
  bool atEnd() const { return pos_ >= span_.size(); }
  std::size_t offset() const { return base_ + pos_; }

  // The next element; false at the end, on damage or after an earlier error.
  bool next(Element& e);
  // The next element's tag without reading it; false at the end or after an error.
  bool peek(std::uint8_t& tag) const;
  // The next element, which must carry `tag`; otherwise the error "expected <what>".
  bool expect(std::uint8_t tag, Element& e, std::string_view what);
  // Reads the next element only when it carries `tag`.
  bool optional(std::uint8_t tag, Element& e);
  // Records `message` at the reader's place unless an error came first; returns false.
  bool fail(std::string_view message) const { return failAt(offset(), message); }
  bool failAt(std::size_t at, std::string_view message) const;

 private:
  Reader(Input& input, std::string_view span, std::size_t base, int depth)
      : input_(&input), span_(span), base_(base), depth_(depth) {}

  Input* input_;
  std::string_view span_;
  std::size_t base_;
  std::size_t pos_ = 0;
  int depth_;
};

// An OBJECT IDENTIFIER's contents as dotted text ("1.3.6.1.4.1.311.10.1"); none when
// the encoding is not a valid one (empty, cut short, padded, an arc past 64 bits).
std::optional<std::string> OidText(std::string_view contents);

// An element's text in UTF-8 from the string types certificates and catalogs use:
// UTF8String (invalid sequences become U+FFFD), BMPString (UTF-16 big-endian),
// UniversalString (UTF-32 big-endian), the ASCII ones, and TeletexString read as
// Latin-1. Other tags give none.
std::optional<std::string> StringText(const Element& e);

// UTF-16 little-endian bytes as UTF-8, without the NULs that end them; an odd last
// byte becomes U+FFFD.
std::string Utf16LeText(std::string_view bytes);

}  // namespace qelvaro::der
