// SPDX-License-Identifier: MIT
#include "common/number_format.h"

#include <gtest/gtest.h>

#include "common/regional.h"

namespace wirepace {
namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
}

TEST(RoundHalfEven, ToDecimals) {
    EXPECT_DOUBLE_EQ(RoundHalfEven(163840.0 / 1048576, 3), 0.156);
    EXPECT_DOUBLE_EQ(RoundHalfEven(1.2344, 3), 1.234);
    EXPECT_DOUBLE_EQ(RoundHalfEven(10, 3), 10);
}

TEST(NumberToText, DefaultForm) {
    EXPECT_EQ(NumberToText(1234), "1234");
    EXPECT_EQ(NumberToText(0.156), "0.156");
    EXPECT_EQ(NumberToText(10), "10");
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(-0.0), "0");
    EXPECT_EQ(NumberToText(-42.5), "-42.5");
    EXPECT_EQ(NumberToText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberToText(1e15), "1E+15");
    EXPECT_EQ(NumberToText(0.0001), "0.0001");
    EXPECT_EQ(NumberToText(0.00001), "1E-05");
    EXPECT_EQ(NumberToText(1.0 / 3), "0.333333333333333");  // 15 significant digits
}

class WithRegional : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = Regional(); }
    void TearDown() override { SetRegional(saved_); }
    RegionalSettings saved_;
};

TEST_F(WithRegional, NumbersUseTheRegionalSeparators) {
    RegionalSettings german;
    german.decimalSeparator = ",";
    german.groupingSeparator = ".";
    SetRegional(german);
    EXPECT_EQ(NumberToText(0.156), "0,156");
    EXPECT_EQ(FormatNumber(1234.5, "###,###.0##"), "1.234,5");
    EXPECT_EQ(TextToNumber(" 12,5 "), 12.5);
}

TEST(PrintForm, SignBlankDigitsBlank) {
    EXPECT_EQ(PrintForm(1234), " 1234 ");
    EXPECT_EQ(PrintForm(0), " 0 ");
    EXPECT_EQ(PrintForm(-7), "-7 ");
}

TEST(TextToNumber, TrimsBlanksAndRejectsOtherText) {
    EXPECT_EQ(TextToNumber(" 1234 "), 1234);
    EXPECT_EQ(TextToNumber("0.156"), 0.156);
    EXPECT_EQ(TextToNumber("-3"), -3);
    EXPECT_FALSE(TextToNumber(""));
    EXPECT_FALSE(TextToNumber("   "));
    EXPECT_FALSE(TextToNumber("12abc"));
    EXPECT_FALSE(TextToNumber("abc"));
}

TEST(FormatNumber, Patterns) {
    EXPECT_EQ(FormatNumber(1234, "##,##0"), "1,234");
    EXPECT_EQ(FormatNumber(0, "##,##0"), "0");
    EXPECT_EQ(FormatNumber(1234567, "##,##0"), "1,234,567");
    EXPECT_EQ(FormatNumber(0, "###,###"), "");
    EXPECT_EQ(FormatNumber(1234, "###,###"), "1,234");
    EXPECT_EQ(FormatNumber(999.6, "###,###"), "1,000");
    EXPECT_EQ(FormatNumber(0.156, "###,###.0##"), ".156");
    EXPECT_EQ(FormatNumber(1234.5, "###,###.0##"), "1,234.5");
    EXPECT_EQ(FormatNumber(10, "###,###.0##"), "10.0");
    EXPECT_EQ(FormatNumber(0, "###,###.0##"), ".0");
    EXPECT_EQ(FormatNumber(-1234, "##,##0"), "-1,234");
}

TEST(FormatNumberText, LeavesTextThatIsNoNumber) {
    EXPECT_EQ(FormatNumberText("0.156", "###,###.0##"), ".156");
    EXPECT_EQ(FormatNumberText("", "###,###"), "");
    EXPECT_EQ(FormatNumberText("n/a", "###,###"), "n/a");
}

}  // namespace
}  // namespace wirepace
