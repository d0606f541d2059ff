#include "der.h"

#include "base/utf8.h"

namespace qelvaro::der {

bool Reader::failAt(std::size_t at, std::string_view message) const {
  if (input_->error.empty()) {
    input_->error = message;
    input_->error += " at byte ";
    input_->error += std::to_string(at);
  }
  return false;
}

bool Reader::peek(std::uint8_t& tag) const {
  if (!ok() || atEnd()) return false;
  tag = static_cast<std::uint8_t>(span_[pos_]);
  return true;
}

bool Reader::next(Element& e) {
  if (!ok() || atEnd()) return false;
  static_assert(kMaxDerDepth == 32, "the message names the bound");
  if (depth_ > kMaxDerDepth) return fail("nested more than 32 levels deep");
  const std::size_t start = pos_;
  const std::size_t left = span_.size() - start;
  const auto tag = static_cast<std::uint8_t>(span_[start]);
  // Tag numbers past 30 take more bytes; nothing these files hold uses one.
  if ((tag & 0x1F) == 0x1F) return fail("unsupported multi-byte tag");
  // The whole span ends where the input ends: running past it is a cut file; running
  // past an element's end inside the input is a length that does not fit.
  const bool outermost = base_ + span_.size() == input_->bytes.size();
  const auto cut = [&] {
    return outermost ? failAt(input_->bytes.size(), "truncated")
                     : failAt(base_ + start, "element longer than what holds it");
  };
  if (left < 2) return cut();
  const auto first = static_cast<std::uint8_t>(span_[start + 1]);
  std::size_t header = 2;
  std::size_t length = first;
  if (first == 0x80) return failAt(base_ + start, "indefinite length");
  if (first > 0x80) {
    const std::size_t n = first & 0x7F;
    if (n > 4) return failAt(base_ + start, "length of more than 4 bytes");
    if (left < 2 + n) return cut();
    length = 0;
    for (std::size_t k = 0; k < n; ++k) length = (length << 8) | static_cast<std::uint8_t>(span_[start + 2 + k]);
    header += n;
  }
  if (length > left - header) return cut();
  e.tag = tag;
  e.offset = base_ + start;
  e.whole = span_.substr(start, header + length);
  e.contents = span_.substr(start + header, length);
  pos_ = start + header + length;
  return true;
}

bool Reader::expect(std::uint8_t tag, Element& e, std::string_view what) {
  if (!ok()) return false;
  std::uint8_t next_tag = 0;
  if (!peek(next_tag) || next_tag != tag) {
    std::string message = "expected ";
    message += what;
    return fail(message);
  }
  return next(e);
}

bool Reader::optional(std::uint8_t tag, Element& e) {
  std::uint8_t next_tag = 0;
  return peek(next_tag) && next_tag == tag && next(e);
}

std::optional<std::string> OidText(std::string_view contents) {
  if (contents.empty()) return std::nullopt;
  std::string text;
  std::uint64_t value = 0;
  bool first = true;
  bool inArc = false;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(contents[i]);
    if (!inArc && b == 0x80) return std::nullopt;  // a padded arc
    if (value > (UINT64_MAX >> 7)) return std::nullopt;
    value = (value << 7) | (b & 0x7F);
    inArc = (b & 0x80) != 0;
    if (inArc) continue;
    if (first) {
      // The first arc holds two: 0 and 1 take 40 values each, 2 all the rest.
      const std::uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
      text = std::to_string(top);
      text += '.';
      text += std::to_string(value - top * 40);
      first = false;
    } else {
      text += '.';
      text += std::to_string(value);
    }
    value = 0;
  }
  if (inArc) return std::nullopt;
  return text;
}

namespace {

std::string Utf16Text(std::string_view bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<std::uint8_t>(bytes[i]);
    const auto b = static_cast<std::uint8_t>(bytes[i + 1]);
    units.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
  }
  std::string text = base::utf16ToUtf8(units);
  if (bytes.size() % 2 != 0) base::appendUtf8(text, base::kReplacementCharacter);
  return text;
}

}  // namespace

std::string Utf16LeText(std::string_view bytes) {
  std::size_t size = bytes.size() & ~std::size_t{1};
  while (size >= 2 && bytes[size - 1] == 0 && bytes[size - 2] == 0) size -= 2;
  // An odd last byte stays, to show as U+FFFD, unless NULs came before it.
  if (size == (bytes.size() & ~std::size_t{1})) size = bytes.size();
  return Utf16Text(bytes.substr(0, size), false);
}

std::optional<std::string> StringText(const Element& e) {
  const std::string_view c = e.contents;
  switch (e.tag) {
    case kUtf8String: {
      std::string text;
      text.reserve(c.size());
      bool good = true;
      for (std::size_t i = 0; i < c.size();) base::appendUtf8(text, base::decodeUtf8(c, i, good));
      return text;
    }
    case kBmpString:
      return Utf16Text(c, true);
    case kUniversalString: {
      std::string text;
      for (std::size_t i = 0; i + 3 < c.size(); i += 4) {
        const char32_t cp = (char32_t{static_cast<std::uint8_t>(c[i])} << 24) |
                            (char32_t{static_cast<std::uint8_t>(c[i + 1])} << 16) |
                            (char32_t{static_cast<std::uint8_t>(c[i + 2])} << 8) | static_cast<std::uint8_t>(c[i + 3]);
        const bool valid = cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        base::appendUtf8(text, valid ? cp : base::kReplacementCharacter);
      }
      if (c.size() % 4 != 0) base::appendUtf8(text, base::kReplacementCharacter);
      return text;
    }
    case kPrintableString:
    case kIa5String:
    case kVisibleString:
    case kNumericString:
    case kTeletexString: {
      // The ASCII types hold no byte past 0x7F when well formed; any that comes is read
      // as Latin-1, as TeletexString is in practice.
      std::string text;
      text.reserve(c.size());
      for (const char ch : c) base::appendUtf8(text, static_cast<std::uint8_t>(ch));
      return text;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace qelvaro::der
