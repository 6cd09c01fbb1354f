#include "driver/SampleParameter.h"

#include "tests/driver/DriverTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Tavik::SampleParameter;
using Block = std::vector<unsigned char>;

namespace
{

const char kCountMessage[] = "Number of samples is out of range. Must be within [1,...,16777215].";
const char kFrequenceMessage[] =
    "SSI-Frequence is out of range. It must be within [62500, ..., 8000000] Hz.";
const char kClocksMessage[] = "Number of SSI clocks is out of range. Must be within [1,...,64].";
const char kDelayMessage[] = "Delay is out of range. It must be within [10, ..., 4096].";
const char kModeMessage[] = "Invalid serial mode. Must be one of [0x24,0xA4,0x44,0xC4].";
const char kSsiWarning[] = "Clock frequency is above SSI specification. Maximum is 2 MHz.";

std::string Message(const SampleParameter& p, bool expectedValid)
{
    std::string message = "untouched";
    EXPECT_EQ(p.Validate(message), expectedValid) << message;
    return message;
}

// Exposes the protected conversions.
struct Conversions : SampleParameter
{
    using SampleParameter::DelayToFactor;
    using SampleParameter::FactorToDelay;
    using SampleParameter::FactorToFrequence;
    using SampleParameter::FrequenceToFactor;
};

} // namespace

TEST(SampleParameter, DefaultsAndTheirBlock)
{
    SampleParameter p;
    p.SetMode(SampleParameter::SPI_Gray);
    p.SetSampleCount(77);
    p.SetDefault();
    EXPECT_EQ(p.GetMode(), SampleParameter::SSI_Binary);
    EXPECT_EQ(p.GetSampleCount(), 1u);
    EXPECT_EQ(p.GetDelay(), 50u);
    EXPECT_EQ(p.GetDataBits(), 25u);
    EXPECT_EQ(p.GetClocks(), 26u);
    EXPECT_EQ(p.GetFrequence(), 2000000u);
    EXPECT_EQ(Message(p, true), "");

    Block block;
    SampleParameter().Export(block);
    // factor 131, 25 data bits, delay factor 799 = 0x031F, count 1, SSI binary.
    EXPECT_EQ(block, (Block{131, 25, 0x1F, 0x03, 0x01, 0x00, 0x00, 0x24}));
}

TEST(SampleParameter, FrequenceConversions)
{
    SampleParameter p;
    p.SetFrequence(0);
    EXPECT_EQ(p.GetFrequence(), 1u);
    EXPECT_EQ(Message(p, false), kFrequenceMessage);

    p.SetFrequence(10000000);
    EXPECT_EQ(p.GetFrequence(), 8000000u);
    EXPECT_EQ(Message(p, false), kFrequenceMessage);

    p.SetFrequence(1000000);
    EXPECT_EQ(p.GetFrequence(), 1000000u);
    p.SetFrequence(3000000);
    EXPECT_EQ(p.GetFrequence(), 4000000u);
    Block block;
    p.Export(block);
    EXPECT_EQ(block[0], 129);

    EXPECT_EQ(Conversions::FrequenceToFactor(0), 8000127u);
    EXPECT_EQ(Conversions::FrequenceToFactor(62500), 255u);
    EXPECT_EQ(Conversions::FrequenceToFactor(62499), 255u);
    EXPECT_EQ(Conversions::FrequenceToFactor(62000), 256u);
    EXPECT_EQ(Conversions::FactorToFrequence(0), 8000000u);
    EXPECT_EQ(Conversions::FactorToFrequence(131), 2000000u);
    EXPECT_EQ(Conversions::FactorToFrequence(130), 2666666u);
    // Factors far beyond the byte range must not overflow into a division by zero.
    EXPECT_EQ(Conversions::FactorToFrequence(0x8000007Fu), 0u);
    EXPECT_EQ(Conversions::FactorToFrequence(0xFFFFFFFFu), 0u);
}

TEST(SampleParameter, NextFrequence)
{
    EXPECT_EQ(SampleParameter::GetNextFrequence(0), 62500u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(62499), 62500u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(62500), 62992u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(1000000), 1142857u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(2666666), 4000000u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(4000000), 8000000u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(8000000), 8000000u);
    EXPECT_EQ(SampleParameter::GetNextFrequence(0xFFFFFFFFu), 8000000u);

    // Iterating visits 8,000,000 / n for n = 128 down to 1, each once, ascending.
    std::vector<unsigned int> visited;
    unsigned int hz = 0;
    for (;;)
    {
        unsigned int next = SampleParameter::GetNextFrequence(hz);
        if (next <= hz)
            break;
        visited.push_back(next);
        hz = next;
    }
    ASSERT_EQ(visited.size(), 128u);
    for (unsigned int i = 0; i < 128; ++i)
        EXPECT_EQ(visited[i], 8000000u / (128 - i)) << i;
}

TEST(SampleParameter, ClocksDelayAndCount)
{
    SampleParameter p;
    p.SetClocks(0);
    EXPECT_EQ(p.GetClocks(), 1u);
    EXPECT_EQ(p.GetDataBits(), 0u);
    p.SetDataBits(12);
    EXPECT_EQ(p.GetClocks(), 13u);

    p.SetDelay(10);
    EXPECT_EQ(p.GetDelay(), 10u);
    EXPECT_EQ(Conversions::DelayToFactor(10), 159u);
    EXPECT_EQ(Conversions::DelayToFactor(0), 0xFFFFFFFFu);
    EXPECT_EQ(Conversions::FactorToDelay(0xFFFFFFFFu), 0u);
    EXPECT_EQ(Conversions::FactorToDelay(174), 10u);
}

TEST(SampleParameter, ValidationLimitsAndOrder)
{
    SampleParameter p;
    p.SetSampleCount(16777215);
    p.SetDataBits(63);
    p.SetDelay(4096);
    p.SetFrequence(62500);
    EXPECT_EQ(Message(p, true), "");
    p.SetClocks(1);
    p.SetDelay(10);
    EXPECT_EQ(Message(p, true), "");

    // Every check fails at once: the first one in order wins.
    p.SetSampleCount(0);
    p.SetFrequence(0);
    p.SetClocks(65);
    p.SetDelay(0);
    p.SetMode(static_cast<SampleParameter::SERIAL_MODE>(4));
    EXPECT_EQ(Message(p, false), kCountMessage);
    p.SetSampleCount(16777216);
    EXPECT_EQ(Message(p, false), kCountMessage);
    p.SetSampleCount(1);
    EXPECT_EQ(Message(p, false), kFrequenceMessage);
    p.SetFrequence(8000000);
    EXPECT_EQ(Message(p, false), kClocksMessage);
    p.SetClocks(64);
    EXPECT_EQ(Message(p, false), kDelayMessage);
    p.SetDelay(9);
    EXPECT_EQ(Message(p, false), kDelayMessage);
    p.SetDelay(4097);
    EXPECT_EQ(Message(p, false), kDelayMessage);
    p.SetDelay(4096);
    EXPECT_EQ(Message(p, false), kModeMessage);
}

TEST(SampleParameter, SsiAboveTwoMegahertzIsAWarning)
{
    SampleParameter p;
    p.SetFrequence(2000000);
    EXPECT_EQ(Message(p, true), "");
    p.SetFrequence(2666666);
    EXPECT_EQ(Message(p, true), kSsiWarning);
    p.SetMode(SampleParameter::SSI_Gray);
    EXPECT_EQ(Message(p, true), kSsiWarning);
    p.SetMode(SampleParameter::SPI_Binary);
    p.SetFrequence(8000000);
    EXPECT_EQ(Message(p, true), "");
    p.SetMode(SampleParameter::SPI_Gray);
    EXPECT_EQ(Message(p, true), "");
}

TEST(SampleParameter, ExportImportRoundTrip)
{
    const SampleParameter::SERIAL_MODE modes[] = {
        SampleParameter::SSI_Binary, SampleParameter::SSI_Gray, SampleParameter::SPI_Binary,
        SampleParameter::SPI_Gray};
    const unsigned char modeBytes[] = {0x24, 0xA4, 0x44, 0xC4};
    for (int m = 0; m < 4; ++m)
    {
        for (unsigned int count : {1u, 256u, 65537u, 16777215u})
        {
            SampleParameter p;
            p.SetMode(modes[m]);
            p.SetSampleCount(count);
            p.SetFrequence(62500);
            p.SetDataBits(63);
            p.SetDelay(4096);
            Block block;
            p.Export(block);
            ASSERT_EQ(block.size(), 8u);
            EXPECT_EQ(block[7], modeBytes[m]);

            SampleParameter q;
            q.Import(block);
            EXPECT_EQ(q.GetMode(), modes[m]);
            EXPECT_EQ(q.GetSampleCount(), count);
            EXPECT_EQ(q.GetFrequence(), 62500u);
            EXPECT_EQ(q.GetClocks(), 64u);
            EXPECT_EQ(q.GetDelay(), 4096u);
            Block again;
            q.Export(again);
            EXPECT_EQ(again, block);
        }
    }
}

TEST(SampleParameter, ImportOfUnknownModeByteFailsValidation)
{
    SampleParameter p;
    p.Import(Block{131, 25, 0x1F, 0x03, 0x01, 0x00, 0x00, 0x00});
    EXPECT_EQ(static_cast<unsigned int>(p.GetMode()), 0xFFFFu);
    EXPECT_EQ(Message(p, false), kModeMessage);
}

TEST(SampleParameter, CopyAndAssignment)
{
    SampleParameter p;
    p.SetMode(SampleParameter::SPI_Binary);
    p.SetSampleCount(9);
    p.SetDelay(100);
    p.SetDataBits(13);
    p.SetFrequence(1000000);
    SampleParameter copy(p);
    SampleParameter assigned;
    assigned = p;
    SampleParameter& self = assigned;
    assigned = self;
    for (const SampleParameter* q : {&copy, &assigned})
    {
        Block a, b;
        p.Export(a);
        q->Export(b);
        EXPECT_EQ(a, b);
    }
}

TEST(SampleParameterAssertion, ModeNames)
{
    EXPECT_STREQ(SampleParameter::GetModeAsString(SampleParameter::SSI_Binary), "SSI_Binary");
    EXPECT_STREQ(SampleParameter::GetModeAsString(SampleParameter::SSI_Gray), "SSI_Gray");
    EXPECT_STREQ(SampleParameter::GetModeAsString(SampleParameter::SPI_Binary), "SPI_Binary");
    EXPECT_STREQ(SampleParameter::GetModeAsString(SampleParameter::SPI_Gray), "SPI_Gray");

    DriverTest::AssertionRecorder recorder;
    auto& reports = DriverTest::AssertionRecorder::Reports();
    EXPECT_STREQ(SampleParameter::GetModeAsString(static_cast<SampleParameter::SERIAL_MODE>(7)),
                 "unknown");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].expression, "false");
    EXPECT_EQ(reports[0].info, "Invalid enum SERIAL_MODE ( 0x7 ).");
    EXPECT_EQ(reports[0].file, "Box");
}

TEST(SampleParameterAssertion, ModeNameWithoutHandlerThrows)
{
    DriverTest::ScopedWorkDir dir;
    EXPECT_THROW(SampleParameter::GetModeAsString(static_cast<SampleParameter::SERIAL_MODE>(4)),
                 std::runtime_error);
}

TEST(SampleParameterAssertion, ExportOfInvalidModeKeepsByteSeven)
{
    DriverTest::AssertionRecorder recorder;
    auto& reports = DriverTest::AssertionRecorder::Reports();
    SampleParameter p;
    p.Import(Block{131, 25, 0x1F, 0x03, 0x01, 0x00, 0x00, 0x17});
    Block block(8, 0x5A);
    p.Export(block);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].info, "Invalid enum ( 0xffff ) while converting data.");
    EXPECT_EQ(block, (Block{131, 25, 0x1F, 0x03, 0x01, 0x00, 0x00, 0x5A}));
}

TEST(SampleParameterAssertion, ImportOfShortBlockDecodesOnlyWholeFields)
{
    DriverTest::AssertionRecorder recorder;
    auto& reports = DriverTest::AssertionRecorder::Reports();
    const Block full{200, 40, 0x9F, 0x0F, 0x03, 0x02, 0x01, 0xC4};

    SampleParameter original;
    original.SetMode(SampleParameter::SSI_Gray);
    Block before;
    original.Export(before);

    for (std::size_t size = 0; size < 8; ++size)
    {
        reports.clear();
        SampleParameter p(original);
        // An exactly sized heap copy, so that a read past its end is caught by ASan.
        p.Import(Block(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)));
        ASSERT_EQ(reports.size(), 1u) << size;
        EXPECT_EQ(reports[0].expression, "data.size() == 8");
        EXPECT_EQ(reports[0].info, "Invalid array length.");
        EXPECT_EQ(reports[0].file, "Box");

        // Fields: [0] frequence, [1] clocks, [2,3] delay, [4..6] count, [7] mode.
        Block expected = before;
        const std::size_t fieldEnds[] = {1, 2, 4, 7, 8};
        std::size_t start = 0;
        for (std::size_t end : fieldEnds)
        {
            if (end <= size)
                std::copy(full.begin() + static_cast<std::ptrdiff_t>(start),
                          full.begin() + static_cast<std::ptrdiff_t>(end),
                          expected.begin() + static_cast<std::ptrdiff_t>(start));
            start = end;
        }
        Block after;
        p.Export(after);
        EXPECT_EQ(after, expected) << "size " << size;
    }
}

TEST(SampleParameterAssertion, ImportOfLongBlockUsesFirstEightBytes)
{
    DriverTest::AssertionRecorder recorder;
    SampleParameter p;
    p.Import(Block{200, 40, 0x9F, 0x0F, 0x03, 0x02, 0x01, 0xC4, 0xFF, 0xFF});
    EXPECT_EQ(DriverTest::AssertionRecorder::Reports().size(), 1u);
    Block block;
    p.Export(block);
    EXPECT_EQ(block, (Block{200, 40, 0x9F, 0x0F, 0x03, 0x02, 0x01, 0xC4}));
    EXPECT_EQ(p.GetMode(), SampleParameter::SPI_Gray);
    EXPECT_EQ(p.GetSampleCount(), 0x010203u);
}
