#include "tools/host/readable_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace sarvik_host {
namespace {

TEST(ReadableNumberTest, RatesAndSizesTakeAPrefixAboveTheUnit) {
  EXPECT_EQ("14.3 kB/s", ReadableNumber(14261, "B/s"));
  EXPECT_EQ("812 B/s", ReadableNumber(812, "B/s"));
  EXPECT_EQ("0.5 B", ReadableNumber(0.5, "B"));
  EXPECT_EQ("1.5 MB", ReadableNumber(1500, "KB"));
  EXPECT_EQ("2 GB", ReadableNumber(2000, "MB"));
  EXPECT_EQ("1 kB", ReadableNumber(999.7, "B"));  // rounding reaches the next prefix
  EXPECT_EQ("100 kbit/s", ReadableNumber(1e5, "bit/s"));
  EXPECT_EQ("-14.3 kB/s", ReadableNumber(-14261, "B/s"));
}

TEST(ReadableNumberTest, TimesTakeAPrefixBelowTheSecond) {
  EXPECT_EQ("100 \u00b5s", ReadableNumber(0.0001, "s"));
  EXPECT_EQ("500 \u00b5s", ReadableNumber(0.5, "ms"));
  EXPECT_EQ("1.5 s", ReadableNumber(1500, "ms"));
  EXPECT_EQ("12.3 ms", ReadableNumber(12.34, "ms"));
  EXPECT_EQ("250 ns", ReadableNumber(0.25, "us"));
  EXPECT_EQ("1 ms", ReadableNumber(999.96, "\u00b5s"));
  EXPECT_EQ("3600 s", ReadableNumber(3600, "s"));
  EXPECT_EQ("12346 s", ReadableNumber(12345.6, "s"));
  EXPECT_EQ("0 ms", ReadableNumber(0, "ms")) << "zero keeps the unit it was given";
}

TEST(ReadableNumberTest, CountsTakeASeparateMultiplier) {
  EXPECT_EQ("812", ReadableNumber(812));
  EXPECT_EQ("812", ReadableNumber(812.4));
  EXPECT_EQ("81.2", ReadableNumber(81.24));
  EXPECT_EQ("7", ReadableNumber(7));
  EXPECT_EQ("1.23 k", ReadableNumber(1234));
  EXPECT_EQ("10 k", ReadableNumber(10000));
  EXPECT_EQ("4.5 M", ReadableNumber(4.5e6));
  EXPECT_EQ("0.333", ReadableNumber(1.0 / 3));
  EXPECT_EQ("0", ReadableNumber(0));
  EXPECT_EQ("0", ReadableNumber(-0.0));
  EXPECT_EQ("-3", ReadableNumber(-3));
  EXPECT_EQ("30 /s", ReadableNumber(30, "/s"));
  EXPECT_EQ("1.23 k/s", ReadableNumber(1234, "/s"));
  EXPECT_EQ("1.23 k requests", ReadableNumber(1234, "requests"));
  EXPECT_EQ("5 requests", ReadableNumber(5, "requests"));
}

TEST(ReadableNumberTest, PercentagesTakeNoPrefix) {
  EXPECT_EQ("45.7 %", ReadableNumber(45.678, "%"));
  EXPECT_EQ("100 %", ReadableNumber(100, "%"));
  EXPECT_EQ("12345 %", ReadableNumber(12345, "%"));
  EXPECT_EQ("0.5 %/s", ReadableNumber(0.5, "%/s"));
}

TEST(ReadableNumberTest, NumbersThatAreNotFiniteShowADash) {
  EXPECT_EQ("\u2013 B/s", ReadableNumber(std::nan(""), "B/s"));
  EXPECT_EQ("\u2013", ReadableNumber(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("\u2013 ms", ReadableNumber(-std::numeric_limits<double>::infinity(), "ms"));
}

TEST(ReadableNumberTest, RangesAreShort) {
  EXPECT_EQ("14.3kB", CompactNumber(14261, "B/s"));
  EXPECT_EQ("100\u00b5s", CompactNumber(0.1, "ms"));
  EXPECT_EQ("1.23k", CompactNumber(1234, "requests"));
  EXPECT_EQ("1.23k", CompactNumber(1234, "/s"));
  EXPECT_EQ("45.7%", CompactNumber(45.678, "%"));
  EXPECT_EQ("812", CompactNumber(812));
  EXPECT_EQ("0", CompactNumber(0, "/s"));
  EXPECT_EQ("0", CompactNumber(0, "s")) << "a range from zero: 0–100µs";
  EXPECT_EQ("-3", CompactNumber(-3));
}

TEST(ReadableNumberTest, StatisticsAreRoundedToWhatMatters) {
  EXPECT_DOUBLE_EQ(4.57, RoundToSignificant(4.56789, 3));
  EXPECT_DOUBLE_EQ(12300, RoundToSignificant(12345, 3));
  EXPECT_DOUBLE_EQ(-0.00123, RoundToSignificant(-0.0012345, 3));
  EXPECT_DOUBLE_EQ(0, RoundToSignificant(0, 3));
  EXPECT_TRUE(std::isnan(RoundToSignificant(std::nan(""), 3)));

  EXPECT_EQ("4.56", SignificantText(4.5600000000000005, 3));
  EXPECT_EQ("33.3", SignificantText(100.0 / 3, 3));
  EXPECT_EQ("2", SignificantText(2.0, 3));
  EXPECT_EQ("0.00123", SignificantText(0.0012345, 3));
  EXPECT_EQ("12346", SignificantText(12345.678, 3)) << "the whole part is never rounded away";
  EXPECT_EQ("-0.5", SignificantText(-0.5, 3));
  EXPECT_EQ("0", SignificantText(-0.0, 3));
  EXPECT_EQ("\u2013", SignificantText(std::nan(""), 3));
}

TEST(ReadableNumberTest, SettingsKeepTheirDigits) {
  EXPECT_EQ("42", DisplayNumber(42.0));
  EXPECT_EQ("0.25", DisplayNumber(0.25));
  EXPECT_EQ("33.3333", DisplayNumber(33.333333333333336));
}

}  // namespace
}  // namespace sarvik_host
