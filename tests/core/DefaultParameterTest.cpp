#include "app/core/DefaultParameter.h"

#include "base/IniFile.h"
#include "base/Result.h"
#include "base/String.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

using namespace App;

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
class DefaultParameterTest : public ::testing::Test
{
protected:
    // Opens an INI file with this content (written to the scratch working directory).
    void Ini(const std::string& content)
    {
        // One name per process: ctest runs test cases side by side in the same directory.
        const std::string name = "DefaultParameterTest-" + std::to_string(::getpid()) + ".ini";
        std::ofstream(name) << content;
        ASSERT_TRUE(m_Ini.Open(name.c_str()).IsOk());
    }
    std::string Text() const { return m_Result.GetText().c_str(); }

    zef::IniFile m_Ini;
    zef::Result m_Result;
    DefaultParameter m_Record;
};
} // namespace

TEST_F(DefaultParameterTest, EmptyFileKeepsTheBuiltInRecord)
{
    Ini("");
    EXPECT_TRUE(LoadDefaults(m_Result, m_Ini, m_Record, "SIM00001"));
    EXPECT_TRUE(m_Record == DefaultParameter());
    EXPECT_EQ(m_Record.powerMode, Box::PWR_INTERNAL);
    EXPECT_EQ(m_Record.ssiClock, 1000000u);
    EXPECT_EQ(m_Record.stBits, 13u);
    EXPECT_EQ(m_Record.mtBits, 12u);
}

TEST_F(DefaultParameterTest, PerSerialChapterOverridesDefaultForThatBoxOnly)
{
    Ini("[Default]\nMtBits=10\nPowerMode=0\nOutputMode2=2\n[Default/SIM00001]\nMtBits=16\n");
    EXPECT_TRUE(LoadDefaults(m_Result, m_Ini, m_Record, "SIM00001"));
    EXPECT_EQ(m_Record.mtBits, 16u);
    EXPECT_EQ(m_Record.powerMode, Box::PWR_EXTERNAL);
    EXPECT_EQ(m_Record.outputMode[1], Box::OUT_HIGH_UB);

    DefaultParameter other;
    EXPECT_TRUE(LoadDefaults(m_Result, m_Ini, other, "SIM00002"));
    EXPECT_EQ(other.mtBits, 10u);
}

TEST_F(DefaultParameterTest, PowerModeOutOfRangeStopsBeforeThePerBoxChapter)
{
    Ini("[Default]\nPowerMode=4\nSsiMode=1\n[Default/SIM00001]\nMtBits=16\n");
    EXPECT_FALSE(LoadDefaults(m_Result, m_Ini, m_Record, "SIM00001"));
    EXPECT_EQ(Text(), "Chapter [Default] Value 'PowerMode' is out of range. Allowed values are "
                      "[0,1,2,3].");
    EXPECT_EQ(m_Result.GetErrorCode(), 1);
    EXPECT_EQ(m_Result.GetCategory(), 0);
    EXPECT_STREQ(m_Result.GetSourceFile(), "DefaultParameter");
    EXPECT_EQ(m_Record.mtBits, 12u);
    EXPECT_EQ(m_Record.ssiMode, SampleParameter::SSI_Binary); // read after the failing key
}

TEST_F(DefaultParameterTest, FieldsReadBeforeAFailureKeepTheirValues)
{
    Ini("[Default]\nOutputMode1=1\nSsiMode=1\nStBits=-1\nMtBits=3\n");
    EXPECT_FALSE(LoadChapter(m_Ini, m_Result, m_Record, "Default"));
    EXPECT_EQ(Text(), "Chapter [Default] Value 'StBits' is out of range. Allowed values are "
                      "[0,...,32].");
    EXPECT_EQ(m_Record.outputMode[0], Box::OUT_LOW_GND);
    EXPECT_EQ(m_Record.ssiMode, SampleParameter::SSI_Gray);
    EXPECT_EQ(m_Record.mtBits, 12u);
}

TEST_F(DefaultParameterTest, OutputModeMessageNamesTheNumberedKey)
{
    Ini("[Default]\nOutputMode3=3\n");
    EXPECT_FALSE(LoadChapter(m_Ini, m_Result, m_Record, "Default"));
    EXPECT_EQ(Text(), "Chapter [Default] Value 'OutputMode3' is out of range. Allowed values "
                      "are [0,1,2].");
}

TEST_F(DefaultParameterTest, ClockMustBeSelectable)
{
    Ini("[A]\nSsiClock=1000000\n[B]\nSsiClock=1000001\n[C]\nSsiClock=0\n[D]\nSsiClock=-5\n"
        "[E]\nSsiClock=62500\n");
    EXPECT_TRUE(LoadChapter(m_Ini, m_Result, m_Record, "A"));
    EXPECT_TRUE(LoadChapter(m_Ini, m_Result, m_Record, "E"));
    EXPECT_EQ(m_Record.ssiClock, 62500u);
    EXPECT_FALSE(LoadChapter(m_Ini, m_Result, m_Record, "B"));
    EXPECT_EQ(Text(), "Chapter [B] Value 'SsiClock' is out of range.");
    EXPECT_FALSE(LoadChapter(m_Ini, m_Result, m_Record, "C"));
    EXPECT_EQ(Text(), "Chapter [C] Value 'SsiClock' is out of range.");
    EXPECT_FALSE(LoadChapter(m_Ini, m_Result, m_Record, "D"));
    EXPECT_EQ(Text(), "Chapter [D] Value 'SsiClock' is out of range. Value must be > 0.");
    EXPECT_EQ(m_Result.GetHistorySize(), 2); // errors pile up, newest in front
}

TEST_F(DefaultParameterTest, BoundsAndNonIntegersAndMasks)
{
    Ini("[Default]\nStBits=32\nMtBits=+5\nValueEncoding=1\nBinaryDataFilter=255\n"
        "GrayCodeFilter=-1\n[X]\nValueEncoding=2\n");
    EXPECT_TRUE(LoadChapter(m_Ini, m_Result, m_Record, "Default"));
    EXPECT_EQ(m_Record.stBits, 32u);
    EXPECT_EQ(m_Record.mtBits, 12u); // "+5" is not an integer: left unchanged
    EXPECT_EQ(m_Record.valueEncoding, 1u);
    EXPECT_EQ(m_Record.dataFilter, 255u);
    EXPECT_EQ(m_Record.grayCodeFilter, 0xFFFFFFFFu);
    EXPECT_TRUE(m_Record.dataFilterLoaded && m_Record.grayCodeFilterLoaded);
    EXPECT_TRUE(m_Result.IsOk());
    EXPECT_FALSE(LoadChapter(m_Ini, m_Result, m_Record, "X"));
    EXPECT_EQ(Text(), "Chapter [X] Value 'ValueEncoding' is out of range. Allowed values are "
                      "[0,1].");
}

TEST_F(DefaultParameterTest, SerialWithInvalidCharacterOnlyUsesDefaultChapter)
{
    Ini("[Default]\nMtBits=9\n");
    EXPECT_TRUE(LoadDefaults(m_Result, m_Ini, m_Record, "SIM 01"));
    EXPECT_EQ(m_Record.mtBits, 9u);
}

TEST_F(DefaultParameterTest, ClosedFileIsNotAccessible)
{
    zef::IniFile closed;
    EXPECT_FALSE(LoadDefaults(m_Result, closed, m_Record, "SIM00001"));
    EXPECT_EQ(Text(), "INI file not accessible.");
    EXPECT_THROW(LoadChapter(closed, m_Result, m_Record, "Default"), zef::Exception);
}

TEST_F(DefaultParameterTest, ComparisonCoversAllTenValues)
{
    DefaultParameter a;
    DefaultParameter b;
    b.dataFilterLoaded = true; // not a value
    EXPECT_TRUE(a == b);
    b.outputMode[2] = Box::OUT_LOW_GND;
    EXPECT_TRUE(a != b);
    b = a;
    b.grayCodeFilter = 1;
    EXPECT_TRUE(a != b);
}
