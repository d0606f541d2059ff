// The pieces every program builds on: a wrong answer here is wrong everywhere at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "base/bytes.h"
#include "base/checked.h"
#include "base/utf8.h"

namespace qelvaro::base {
namespace {

TEST(Utf8, ValidityAndConversionAgree) {
  struct Case {
    const char* text;
    bool valid;
    std::u16string utf16;  // what the conversion gives
  } cases[] = {
      {"驱动程序.inf", true, u"驱动程序.inf"},
      {"\xF0\x9F\x98\x80", true, u"\U0001F600"},
      {"\xC0\xAF", false, u"\uFFFD\uFFFD"},              // overlong '/'
      {"\xED\xA0\x80", false, u"\uFFFD\uFFFD\uFFFD"},    // surrogate
      {"\xE9\xA9", false, u"\uFFFD\uFFFD"},              // cut short
      {"\xF4\x90\x80\x80", false, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"caf\xE9", false, u"caf\uFFFD"},                  // Latin-1
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isValidUtf8(c.text), c.valid) << c.text;
    EXPECT_EQ(utf8ToUtf16(c.text), c.utf16) << c.text;
    if (c.valid) EXPECT_EQ(utf16ToUtf8(c.utf16), c.text);
  }
  EXPECT_EQ(utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz") << "an unpaired surrogate";
}

TEST(Utf8, Utf16LengthsAndPrefixes) {
  const std::string mixed = "a\xE6\x98\xBE\xF0\x9F\x98\x80z";  // a, 显, an emoji (2 units), z
  EXPECT_EQ(utf16Length(mixed), 5u);
  EXPECT_EQ(utf16Prefix(mixed, 2), "a\xE6\x98\xBE");
  EXPECT_EQ(utf16Prefix(mixed, 3), "a\xE6\x98\xBE");  // never half a surrogate pair
  EXPECT_EQ(utf16Prefix(mixed, 4), "a\xE6\x98\xBE\xF0\x9F\x98\x80");
}

TEST(Bytes, LittleEndianReadsAndWritesRoundTrip) {
  std::vector<std::uint8_t> out;
  appendLe16(out, 0xBEEF);
  appendLe32(out, 0x01020304u);
  appendLe64(out, 0x8877665544332211ull);
  ASSERT_EQ(out.size(), 14u);
  EXPECT_EQ(out[0], 0xEF);
  EXPECT_EQ(out[2], 0x04);
  EXPECT_EQ(loadLe16(out.data()), 0xBEEF);
  EXPECT_EQ(loadLe32(out.data() + 2), 0x01020304u);
  EXPECT_EQ(loadLe64(out.data() + 6), 0x8877665544332211ull);
  std::string text(8, '\0');
  storeLe32(text, 4, 0xFFFFFFFEu);
  EXPECT_EQ(loadLe32(text, 4), 0xFFFFFFFEu);
  EXPECT_EQ(loadLe64(text, 0), 0xFFFFFFFE00000000ull) << "the high bytes keep their sign bit";
  storeLe64(text, 0, 0x8877665544332211ull);
  EXPECT_EQ(loadLe64(text, 0), 0x8877665544332211ull);
}

TEST(Checked, SizesThatDoNotFitAreRefused) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t out = 7;
  EXPECT_TRUE(checkedAdd<std::uint64_t>(kMax - 1, 1, out));
  EXPECT_EQ(out, kMax);
  EXPECT_FALSE(checkedAdd<std::uint64_t>(kMax, 1, out));
  EXPECT_EQ(out, kMax) << "a failed sum leaves the result alone";
  EXPECT_TRUE(checkedMul<std::uint64_t>(0, kMax, out));
  EXPECT_EQ(out, 0u);
  EXPECT_FALSE(checkedMul<std::uint64_t>(1ull << 32, 1ull << 32, out));
  std::uint32_t small = 0;
  EXPECT_FALSE(checkedMul<std::uint32_t>(0x10000u, 0x10000u, small));
  EXPECT_TRUE(fitsWithin(10, 0, 10));
  EXPECT_TRUE(fitsWithin(4, 6, 10));
  EXPECT_FALSE(fitsWithin(4, 7, 10));
  EXPECT_FALSE(fitsWithin(11, 0, 10));
  EXPECT_FALSE(fitsWithin(8, kMax - 4, 10)) << "an offset and count whose sum wraps";
}

}  // namespace
}  // namespace qelvaro::base
