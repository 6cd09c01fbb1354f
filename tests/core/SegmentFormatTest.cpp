#include "app/core/SegmentFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace App;

namespace
{
const SegmentFormat UPPER{1.0, 0.0, 0.0, 0, true};
const SegmentFormat LOWER{0.0, 1.0, 0.0, 0, true};
} // namespace

TEST(SegmentFormat, DefaultFormatsShowTurnsAboveAndPositionBelow)
{
    EXPECT_EQ(SegmentText(UPPER, 13, 4096, 3), "3");
    EXPECT_EQ(SegmentText(LOWER, 13, 4096, 3), "4096");
    EXPECT_EQ(SegmentFormat{}, (SegmentFormat{1.0, 1.0, 0.0, 0, true}));
}

TEST(SegmentFormat, NotSplitScalesTheWholeReading)
{
    // r = 3 * 8192 + 4096 = 28672; the MT factor is not used.
    EXPECT_EQ(SegmentText({99.0, 0.5, 0.0, 0, false}, 13, 4096, 3), "14336");
    // The shift count is taken modulo 32, the sum as 32 bits.
    EXPECT_EQ(SegmentText({0.0, 1.0, 0.0, 0, false}, 32, 5, 2), "7");
    EXPECT_EQ(SegmentText({0.0, 1.0, 0.0, 0, false}, 31, 1, 3), "2147483649");
}

TEST(SegmentFormat, DecimalPlacesAndOffset)
{
    EXPECT_EQ(SegmentText({0.0, 360.0 / 8192, 0.0, 2, true}, 13, 4096, 0), "180.00");
    EXPECT_EQ(SegmentText({0.0, 1.0, -10.0, 0, true}, 13, 3, 0), "-7");
    EXPECT_EQ(FormatSegmentValue(2.25, 1), "2.2");
    EXPECT_EQ(FormatSegmentValue(2.5, 7), "2") << "places other than 1 and 2 show none";
    EXPECT_EQ(FormatSegmentValue(2.5, -1), "2");
}

TEST(SegmentFormat, ValuesThatDoNotFitReadOverflowOrError)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FormatSegmentValue(1e300, 0), "OVERFLOW");
    EXPECT_EQ(FormatSegmentValue(-1e300, 2), "-OVERFLOW");
    EXPECT_EQ(FormatSegmentValue(inf, 0), "OVERFLOW");
    EXPECT_EQ(FormatSegmentValue(-inf, 0), "-OVERFLOW");
    EXPECT_EQ(FormatSegmentValue(std::nan(""), 1), "ERROR");
    EXPECT_EQ(FormatSegmentValue(1e15, 0), "OVERFLOW");
    EXPECT_EQ(FormatSegmentValue(999999999999999.0, 2), "999999999999999.00");
    // inf * 0 is not a number: a factor of "inf" with a zero MT value.
    EXPECT_EQ(SegmentText({inf, 1.0, 0.0, 0, true}, 13, 1, 0), "ERROR");
    EXPECT_EQ(SegmentText({0.0, 1e300, 0.0, 0, true}, 13, 1, 0), "OVERFLOW");
}

TEST(SegmentFormat, ParseDecimalTakesTheLeadingNumber)
{
    EXPECT_EQ(ParseDecimal("abc"), 0.0);
    EXPECT_EQ(ParseDecimal(""), 0.0);
    EXPECT_EQ(ParseDecimal("2"), 2.0);
    EXPECT_EQ(ParseDecimal("  -1.5xyz"), -1.5);
    EXPECT_EQ(ParseDecimal("0.0439453125"), 360.0 / 8192);
    EXPECT_TRUE(std::isinf(ParseDecimal("1e999")));
    EXPECT_TRUE(std::isinf(ParseDecimal("inf")));
    EXPECT_TRUE(std::isnan(ParseDecimal("nan")));
}

TEST(SegmentFormat, FactorTextHasThreePlaces)
{
    EXPECT_EQ(FormatFactor(0.0), "0.000");
    EXPECT_EQ(FormatFactor(360.0 / 8192), "0.044");
    EXPECT_EQ(FormatFactor(-10), "-10.000");
    EXPECT_EQ(FormatFactor(std::numeric_limits<double>::infinity()), "inf");
}

TEST(SampleAngle, TruncatesWithoutOverflowForEveryWidth)
{
    EXPECT_EQ(SampleAngle(13, 2048), 90u); // 90.01 truncated
    EXPECT_EQ(SampleAngle(0, 12345), 0u);
    EXPECT_EQ(SampleAngle(24, 16777215), 360u);
    for (unsigned bits = 1; bits <= 32; ++bits)
    {
        const unsigned full = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
        EXPECT_EQ(SampleAngle(bits, full), 360u) << bits;
        EXPECT_EQ(SampleAngle(bits, 0), 0u) << bits;
        EXPECT_LE(SampleAngle(bits, full / 2), 180u) << bits;
    }
    EXPECT_EQ(SampleAngle(40, 0xFFFFFFFFu), 360u) << "more than 32 bits: all bits";
    EXPECT_EQ(SampleAngle(2, 7), 360u) << "bits above the width are ignored";
}

TEST(SampleAngle, TurnsHaveAtLeastFourDigits)
{
    EXPECT_EQ(FormatTurns(0), "0000");
    EXPECT_EQ(FormatTurns(7), "0007");
    EXPECT_EQ(FormatTurns(123456), "123456");
}
