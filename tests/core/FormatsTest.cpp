#include "app/core/Formats.h"
#include "driver/Box.h"

#include <gtest/gtest.h>

using namespace App;

TEST(Formats, HexParsingSkipsNonDigits)
{
    EXPECT_EQ(ParseHex("12g4"), 0x124u);
    EXPECT_EQ(ParseHex(""), 0u);
    EXPECT_EQ(ParseHex("xyz"), 0u);
    EXPECT_EQ(ParseHex("fF"), 0xFFu);
    EXPECT_EQ(FormatHex8(0x124), "00000124");
    EXPECT_EQ(FormatHex8(0xABCDEF01), "ABCDEF01");
}

TEST(Formats, FrequencyUnits)
{
    EXPECT_EQ(FormatFrequency(8000000), "8 MHz");
    EXPECT_EQ(FormatFrequency(500000), "500 kHz");
    EXPECT_EQ(FormatFrequency(1600000), "1600 kHz");
    EXPECT_EQ(FormatFrequency(2666666), "2666666 Hz");
    EXPECT_EQ(FormatFrequency(62500), "62500 Hz");
}

TEST(Formats, LowMask)
{
    EXPECT_EQ(Tavik::LowMask(0), 0u);
    EXPECT_EQ(Tavik::LowMask(12), 0xFFFu);
    EXPECT_EQ(Tavik::LowMask(32), 0xFFFFFFFFu);
    EXPECT_EQ(Tavik::LowMask(40), 0xFFFFFFFFu);
}
