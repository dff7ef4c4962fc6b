#include "platform/text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(TextTest, ALeadingDecimalIsSignAndDigitsAtTheVeryStart) {
  const LeadingDecimal port = ReadLeadingDecimal("8080|/.perf");
  EXPECT_EQ(8080, port.value);
  EXPECT_EQ(4u, port.length);
  EXPECT_FALSE(port.clamped);

  EXPECT_EQ(-47496, ReadLeadingDecimal("-47496\tThe server...").value);
  EXPECT_EQ(3, ReadLeadingDecimal("+3").value);
  EXPECT_EQ(0u, ReadLeadingDecimal(" 12").length) << "no white space before the number";
  EXPECT_EQ(0u, ReadLeadingDecimal("-").length);
  EXPECT_EQ(0u, ReadLeadingDecimal("").length);
}

TEST(TextTest, NumbersBeyondThirtyTwoBitsAreClampedAndSaySo) {
  EXPECT_FALSE(ReadLeadingDecimal("2147483647").clamped);
  EXPECT_FALSE(ReadLeadingDecimal("-2147483648").clamped);
  EXPECT_EQ(INT_MIN, ReadLeadingDecimal("-2147483648").value);

  const LeadingDecimal huge = ReadLeadingDecimal("2147483648");
  EXPECT_EQ(INT_MAX, huge.value);
  EXPECT_TRUE(huge.clamped);
  const LeadingDecimal long_run = ReadLeadingDecimal("-999999999999999999999999x");
  EXPECT_EQ(INT_MIN, long_run.value);
  EXPECT_TRUE(long_run.clamped);
  EXPECT_EQ(25u, long_run.length) << "every digit is read";
}

TEST(TextTest, TheLeadingIntegerFollowsAtoi) {
  EXPECT_EQ(-5, ParseLeadingInteger(" \t\n\v\f\r-5|x"));
  EXPECT_EQ(12, ParseLeadingInteger("12abc"));
  EXPECT_EQ(0, ParseLeadingInteger("port"));
  EXPECT_EQ(0, ParseLeadingInteger("- 5"));
  EXPECT_EQ(INT_MAX, ParseLeadingInteger("99999999999"));
}

}  // namespace
