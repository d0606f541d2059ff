// Cell text storage, the numeric reading of texts, and the fixed test locales.
#include <gtest/gtest.h>

#include "compact_string.h"
#include "fixed_locale.h"
#include "value_reading.h"

namespace qelvaro::grid {
namespace {

const Locale& en = FixedLocale::english();
const Locale& de = FixedLocale::german();

TEST(CompactString, KeepsTextsOnBothSidesOfTheInlineLimit) {
  for (std::size_t n : {0u, 1u, 14u, 15u, 16u, 17u, 200u}) {
    const std::string text(n, 'x');
    CompactString s(text);
    EXPECT_EQ(s.view(), text) << n;
    EXPECT_EQ(s.onHeap(), n > 15) << n;
    CompactString copy(s);
    CompactString moved(std::move(s));
    EXPECT_EQ(copy.view(), text);
    EXPECT_EQ(moved.view(), text);
    EXPECT_TRUE(s.empty());  // NOLINT: moved-from is empty by contract
  }
}

TEST(RVal, ReadsTheCasesOfTheNumericReading) {
  EXPECT_EQ(rVal("", en), 0);
  EXPECT_EQ(rVal("   ", en), 0);
  EXPECT_EQ(rVal("  12.5  ", en), 12.5);
  EXPECT_EQ(rVal("1,000", en), 1000);
  EXPECT_EQ(rVal("&H1f", en), 31);
  EXPECT_EQ(rVal("&hFF", en), 255);
  EXPECT_EQ(rVal("&O17", en), 15);
  EXPECT_EQ(rVal("12/05", en), 1205);
  EXPECT_EQ(rVal("x12", en), 0);
  EXPECT_EQ(rVal("false", en), 0);
  EXPECT_EQ(rVal("true", en), -1);
  EXPECT_EQ(rVal(" TrUe ", en), -1);
  EXPECT_EQ(rVal("truly", en), 0);
}

TEST(RVal, SkipsCurrencySignsAndStopsAtUnits) {
  EXPECT_EQ(rVal("$1,234.50", en), 1234.5);
  EXPECT_EQ(rVal("\xC2\xA3" "12", en), 12);  // pound sign
  EXPECT_EQ(rVal("7 kg", en), 7);             // the space is skipped, the unit ends the scan
  EXPECT_EQ(rVal("1 2 3", en), 123);
  EXPECT_EQ(rVal("-5", en), -5);
  EXPECT_EQ(rVal("5-", en), -5);
  EXPECT_EQ(rVal("12E3", en), 12);            // no exponents outside hexadecimal
  EXPECT_EQ(rVal("&H1E3", en), 0x1E3);
  EXPECT_EQ(rVal("\xC3\xA9" "5", en), 0);     // any other character ends the scan at once
}

TEST(RVal, UnreadableCollectionsCountAsZero) {
  EXPECT_EQ(rVal("&H", en), 0);
  EXPECT_EQ(rVal("&O9", en), 0);
  EXPECT_EQ(rVal("1-2", en), 0);
  EXPECT_EQ(rVal("--", en), 0);
}

TEST(RVal, FollowsTheLocaleSeparatorsAndRetriesWithComma) {
  EXPECT_EQ(rVal("1.000", de), 1000);
  EXPECT_EQ(rVal("12,5", de), 12.5);
  EXPECT_EQ(rVal("1.234,5", de), 1234.5);
  EXPECT_EQ(rVal(".5", de), 0.5);     // reads as 0 first, then as ",5"
  EXPECT_EQ(rVal("1.2.3", en), 123);  // not a number, then "1,2,3" with grouping
  const FixedLocale french({' ', ',', FixedLocale::DateOrder::DayMonthYear, '/', "French"});
  EXPECT_EQ(rVal("12.5", french), 12.5);
  EXPECT_EQ(rVal("12,5", french), 12.5);
}

TEST(FixedLocale, FoldsCaseForComparisonAndKeys) {
  EXPECT_EQ(en.compareNoCase("apple", "APPLE"), 0);
  EXPECT_LT(en.compareNoCase("apple", "Banana"), 0);
  EXPECT_GT(en.compareNoCase("cherry", "Banana"), 0);
  EXPECT_LT(en.compareNoCase("ab", "abc"), 0);
  EXPECT_EQ(en.compareNoCase("\xC3\xA4rger", "\xC3\x84RGER"), 0);  // ärger / ÄRGER
  EXPECT_EQ(en.upper("straße \xC3\xA9t\xC3\xA9"), "STRAßE \xC3\x89T\xC3\x89");
  EXPECT_EQ(en.sortKey("Banana") < en.sortKey("cherry"), en.compareNoCase("Banana", "cherry") < 0);
}

TEST(FixedLocale, ParsesAndWritesNumbersByItsSeparators) {
  EXPECT_EQ(en.parseNumber("1,234.5"), 1234.5);
  EXPECT_EQ(de.parseNumber("1.234,5"), 1234.5);
  EXPECT_EQ(en.parseNumber("&H10"), 16);
  EXPECT_EQ(en.parseNumber("1e3"), 1000);
  EXPECT_EQ(en.parseNumber(""), std::nullopt);
  EXPECT_EQ(en.parseNumber(",5"), std::nullopt);
  EXPECT_EQ(en.parseNumber("1e999"), std::nullopt);
  EXPECT_EQ(en.formatNumber(12.5), "12.5");
  EXPECT_EQ(de.formatNumber(12.5), "12,5");
  EXPECT_EQ(en.formatNumber(-1), "-1");
  EXPECT_EQ(en.formatNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(en.formatNumber(1e20), "1E+20");
}

TEST(FixedLocale, ReadsDatesInItsOwnOrder) {
  EXPECT_EQ(serialDate(1899, 12, 30), 0);
  EXPECT_EQ(serialDate(1900, 1, 1), 2);
  EXPECT_EQ(serialDate(2000, 2, 29), 36585);
  EXPECT_EQ(serialDate(1900, 2, 29), std::nullopt);
  EXPECT_EQ(en.parseDate("12/31/2020"), de.parseDate("31.12.2020"));
  EXPECT_EQ(en.parseDate("2020-12-31"), serialDate(2020, 12, 31));
  EXPECT_EQ(en.parseDate("1/2/05"), serialDate(2005, 1, 2));
  EXPECT_EQ(en.parseDate("1/2/75"), serialDate(1975, 1, 2));
  EXPECT_EQ(*en.parseDate("1/2/2005 12:00"), *serialDate(2005, 1, 2) + 0.5);
  EXPECT_EQ(en.parseDate("31/12/2020"), std::nullopt);
  EXPECT_EQ(en.parseDate("2/30/2020"), std::nullopt);
  EXPECT_EQ(en.parseDate("hello"), std::nullopt);
  EXPECT_EQ(en.parseDate("1/2/2005 25:00"), std::nullopt);
  EXPECT_EQ(en.info(4097), "English");
  EXPECT_EQ(de.info(4097), "German");
}

}  // namespace
}  // namespace qelvaro::grid
