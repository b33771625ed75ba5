#include <gtest/gtest.h>

#include "results/size_text.h"

namespace {

using cs::results::FormatDecimal;
using cs::results::FormatSize;

TEST(FormatSize, StepsOf1024CutNotRounded) {
    EXPECT_EQ(FormatSize(0), u"0 bytes");
    EXPECT_EQ(FormatSize(1), u"1 bytes");
    EXPECT_EQ(FormatSize(1023), u"1023 bytes");
    EXPECT_EQ(FormatSize(1024), u"1 KB");
    EXPECT_EQ(FormatSize(1536), u"1.5 KB");
    EXPECT_EQ(FormatSize(1500), u"1.46 KB");  // 1.46484375: cut, not 1.47
    EXPECT_EQ(FormatSize(1048575), u"1023.99 KB");
    EXPECT_EQ(FormatSize(1048576), u"1 MB");
    EXPECT_EQ(FormatSize(5000000), u"4.76 MB");
    EXPECT_EQ(FormatSize(1ull << 30), u"1 GB");
    EXPECT_EQ(FormatSize(1ull << 40), u"1 TB");
}

TEST(FormatSize, NeverGoesPastTerabytes) {
    EXPECT_EQ(FormatSize(1ull << 50), u"1024 TB");
    EXPECT_EQ(FormatSize(~0ull), u"16777216 TB");
}

TEST(FormatDecimal, ShortestExactText) {
    EXPECT_EQ(FormatDecimal(0.0), u"0");
    EXPECT_EQ(FormatDecimal(12.0), u"12");
    EXPECT_EQ(FormatDecimal(1.5), u"1.5");
    EXPECT_EQ(FormatDecimal(1.46484375), u"1.46484375");
    EXPECT_EQ(FormatDecimal(0.05), u"0.05");  // the zero after the point is kept
    EXPECT_EQ(FormatDecimal(-2.25), u"-2.25");
}

}  // namespace
