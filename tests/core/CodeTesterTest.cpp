#include "app/core/CodeTester.h"

#include "driver/XAssertion.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

using namespace App;

namespace
{
using Messages = std::vector<std::string>;

CodeTester::Config StOnly(unsigned int stBits, MONOTONY mode, unsigned int step = 1)
{
    CodeTester::Config config;
    config.m_StBits = stBits;
    config.m_StStepSize = step;
    config.m_StMonotony = mode;
    config.m_MtBits = 0;
    config.m_MtMonotony = MONO_NO_TEST;
    config.m_ErrorLimit = 999;
    return config;
}

CodeTester::Result Check(const CodeTester::Config& config, const std::vector<unsigned int>& run)
{
    CodeTester tester(config);
    tester.Test(run);
    return tester.GetResult();
}

// ---- The window test --------------------------------------------------------------------------

// The run and its block scan rely on this: a value passes the ascending window exactly when its
// forward distance is at most the step, the descending one when its backward distance is.
TEST(CodeTesterWindow, PassesExactlyWithinStepForEverySmallWidth)
{
    for (unsigned int bits = 0; bits <= 5; ++bits)
    {
        const std::uint64_t range = std::uint64_t(1) << bits;
        for (std::uint64_t ref = 0; ref < range; ++ref)
        {
            for (std::uint64_t value = 0; value < range; ++value)
            {
                const std::uint64_t forward = (value + range - ref) % range;
                const std::uint64_t backward = (ref + range - value) % range;
                for (std::int64_t step = 0; step <= std::int64_t(range) + 2; ++step)
                {
                    const auto up = CodeTester::TestWindow(value, bits, ref, step);
                    const auto down = CodeTester::TestWindow(value, bits, ref, -step);
                    ASSERT_EQ(up.m_Passed, forward <= std::uint64_t(step))
                        << bits << " bits, ref " << ref << ", value " << value << ", +" << step;
                    ASSERT_EQ(down.m_Passed, backward <= std::uint64_t(step))
                        << bits << " bits, ref " << ref << ", value " << value << ", -" << step;
                    ASSERT_EQ(up.m_Forward, forward);
                    ASSERT_EQ(up.m_Backward, backward);
                }
            }
        }
    }
}

// At the top of the range the window wraps to 0, for every width including 31 and 32.
TEST(CodeTesterWindow, WrapsAtTheTopOfEveryWidth)
{
    for (unsigned int bits = 2; bits <= 32; ++bits)
    {
        const std::uint64_t max = (std::uint64_t(1) << bits) - 1;
        SCOPED_TRACE(bits);
        EXPECT_TRUE(CodeTester::TestWindow(0, bits, max, 1).m_Passed);
        EXPECT_FALSE(CodeTester::TestWindow(1, bits, max, 1).m_Passed);
        EXPECT_FALSE(CodeTester::TestWindow(max - 1, bits, max, 1).m_Passed);
        EXPECT_TRUE(CodeTester::TestWindow(max, bits, 0, -1).m_Passed);
        EXPECT_FALSE(CodeTester::TestWindow(max - 1, bits, 0, -1).m_Passed);
        EXPECT_FALSE(CodeTester::TestWindow(1, bits, 0, -1).m_Passed);
        EXPECT_EQ(CodeTester::TestWindow(0, bits, max, 1).m_Forward, 1u);
        EXPECT_EQ(CodeTester::TestWindow(0, bits, max, 1).m_Backward, max);
        // Crossing the middle of the range is no wrap.
        const std::uint64_t half = std::uint64_t(1) << (bits - 1);
        EXPECT_TRUE(CodeTester::TestWindow(half, bits, half - 1, 1).m_Passed);
        EXPECT_FALSE(CodeTester::TestWindow(half - 1, bits, half, 1).m_Passed);
    }
}

TEST(CodeTesterWindow, ThirtyTwoBitsWithLargeSteps)
{
    EXPECT_TRUE(CodeTester::TestWindow(98, 32, 0xFFFFFFFFu, 99).m_Passed);
    EXPECT_FALSE(CodeTester::TestWindow(99, 32, 0xFFFFFFFFu, 99).m_Passed);
    EXPECT_TRUE(CodeTester::TestWindow(0xFFFFFF9Du, 32, 0, -99).m_Passed);
    EXPECT_FALSE(CodeTester::TestWindow(0xFFFFFF9Cu, 32, 0, -99).m_Passed);
    // A step as large as the range lets everything pass.
    EXPECT_TRUE(CodeTester::TestWindow(5, 32, 6, 0xFFFFFFFFll).m_Passed);
    EXPECT_TRUE(CodeTester::TestWindow(7, 32, 6, -0xFFFFFFFFll).m_Passed);
    EXPECT_TRUE(CodeTester::TestWindow(7, 32, 6, INT64_MIN).m_Passed);
    EXPECT_EQ(CodeTester::TestWindow(0, 32, 0x80000000u, 1).m_Forward, 0x80000000u);
}

// Width 0: the part has the single value 0, every window holds it and both distances are 0.
TEST(CodeTesterWindow, ZeroWidthPassesEverything)
{
    for (std::int64_t step : {-5, -1, 0, 1, 99})
    {
        const auto w = CodeTester::TestWindow(0, 0, 0, step);
        EXPECT_TRUE(w.m_Passed);
        EXPECT_EQ(w.m_Forward, 0u);
        EXPECT_EQ(w.m_Backward, 0u);
    }
}

TEST(CodeTesterMask, WidthsZeroToAboveThirtyTwo)
{
    EXPECT_EQ(CodeTester::Mask(0), 0u);
    EXPECT_EQ(CodeTester::Mask(1), 1u);
    EXPECT_EQ(CodeTester::Mask(31), 0x7FFFFFFFu);
    EXPECT_EQ(CodeTester::Mask(32), 0xFFFFFFFFu);
    EXPECT_EQ(CodeTester::Mask(40), 0xFFFFFFFFu);
}

TEST(CodeTesterGray, ConvertsToBinary)
{
    EXPECT_EQ(CodeTester::GrayToBinary(0), 0u);
    EXPECT_EQ(CodeTester::GrayToBinary(1), 1u);
    EXPECT_EQ(CodeTester::GrayToBinary(3), 2u);
    EXPECT_EQ(CodeTester::GrayToBinary(2), 3u);
    EXPECT_EQ(CodeTester::GrayToBinary(0x80000000u), 0xFFFFFFFFu);
    std::mt19937 random(7);
    for (int n = 0; n < 1000; ++n)
    {
        const unsigned int binary = unsigned(random());
        EXPECT_EQ(CodeTester::GrayToBinary(binary ^ (binary >> 1)), binary);
    }
}

// ---- The run ----------------------------------------------------------------------------------

TEST(CodeTesterRun, TurnIsCountedWhereTheWindowReachesTheFirstValue)
{
    const auto config = StOnly(2, MONO_ASC);
    EXPECT_EQ(Check(config, {0, 1, 2}).m_StTurns, 0u);
    EXPECT_EQ(Check(config, {0, 1, 2, 3}).m_StTurns, 1u);
    const auto result = Check(config, {0, 1, 2, 3, 0, 1});
    EXPECT_TRUE(result.Passed());
    EXPECT_EQ(result.m_StTurns, 1u);
    EXPECT_TRUE(result.m_Messages.empty());
}

TEST(CodeTesterRun, BackwardStepGivesStepAndMonotonyError)
{
    CodeTester tester(StOnly(4, MONO_ASC));
    EXPECT_FALSE(tester.Test(std::vector<unsigned int>{5, 5, 4}));
    const auto& result = tester.GetResult();
    EXPECT_EQ(result.m_StStepErrors, 1u);
    EXPECT_EQ(result.m_StMonotonyErrors, 1u);
    EXPECT_EQ(result.m_Messages,
              (Messages{"Step error: Distance between ST-Value[1] and ST-Value[2] > 1. Data: "
                        "ST-Value[1]=5 dec, ST-Value[2]=4 dec. Distance=15 dec.",
                        "Ascending error: ST-Value[1] > ST-Value[2]. Data: ST-Value[1]=5 dec, "
                        "ST-Value[2]=4 dec"}));
}

TEST(CodeTesterRun, DescendingMessagesCarryTheBackwardDistance)
{
    CodeTester::Config config = StOnly(0, MONO_NO_TEST);
    config.m_MtBits = 4;
    config.m_MtMonotony = MONO_DESC;
    config.m_MtStepSize = 2;
    const auto result = Check(config, {9, 8, 10, 5});
    EXPECT_EQ(result.m_MtStepErrors, 2u);
    EXPECT_EQ(result.m_MtMonotonyErrors, 1u);
    EXPECT_EQ(result.m_Messages,
              (Messages{"Step error: Distance between MT-Value[1] and MT-Value[2] > 2. Data: "
                        "MT-Value[1]=8 dec, MT-Value[2]=10 dec. Distance=14 dec.",
                        "Descending error: MT-Value[1] < MT-Value[2]. Data: MT-Value[1]=8 dec, "
                        "MT-Value[2]=10 dec",
                        "Step error: Distance between MT-Value[2] and MT-Value[3] > 2. Data: "
                        "MT-Value[2]=10 dec, MT-Value[3]=5 dec. Distance=5 dec."}));
}

TEST(CodeTesterRun, FewerThanThreeReadingsFail)
{
    for (const auto& run : {std::vector<unsigned int>{}, std::vector<unsigned int>{1, 2}})
    {
        CodeTester tester(StOnly(4, MONO_ASC));
        EXPECT_FALSE(tester.Test(run));
        EXPECT_EQ(tester.GetResult().m_Messages, Messages{"There must be at least 3 measurements"});
        EXPECT_EQ(tester.GetResult().GetErrorCount(), 0u);
    }
}

TEST(CodeTesterRun, RepeatedReadingsAreSkipped)
{
    for (MONOTONY mode : {MONO_ASC, MONO_DESC, MONO_AUTODETECT})
    {
        const auto result = Check(StOnly(4, mode), {6, 6, 6, 6, 6});
        EXPECT_TRUE(result.Passed());
        EXPECT_TRUE(result.m_Messages.empty());
        EXPECT_EQ(result.m_StMonotony, mode);
    }
    // A repeat between two readings does not hide the step across it.
    EXPECT_EQ(Check(StOnly(4, MONO_ASC), {1, 2, 2, 2, 4}).m_Messages.size(), 1u);
}

TEST(CodeTesterRun, AutodetectTakesTheFirstChange)
{
    CodeTester::Config config = StOnly(4, MONO_AUTODETECT);
    config.m_MtMonotony = MONO_AUTODETECT; // width 0 never decides
    auto result = Check(config, {3, 3, 4});
    EXPECT_EQ(result.m_StMonotony, MONO_ASC);
    EXPECT_EQ(result.m_MtMonotony, MONO_AUTODETECT);
    EXPECT_EQ(result.m_Messages, Messages{"ST monotonie detected as MONO_ASC"});

    result = Check(config, {3, 3, 2});
    EXPECT_EQ(result.m_StMonotony, MONO_DESC);
    EXPECT_EQ(result.m_Messages, Messages{"ST monotonie detected as MONO_DESC"});

    // The deciding reading is not tested itself; the ones after it are.
    result = Check(config, {0, 5, 6, 4});
    EXPECT_EQ(result.m_StStepErrors, 1u);
    EXPECT_EQ(result.m_StMonotonyErrors, 1u);
    ASSERT_EQ(result.m_Messages.size(), 3u);
    EXPECT_EQ(result.m_Messages[0], "ST monotonie detected as MONO_ASC");

    // Half the range away is neither direction.
    result = Check(config, {0, 8, 0});
    EXPECT_EQ(result.m_StMonotony, MONO_AUTODETECT);
    EXPECT_TRUE(result.m_Messages.empty());
}

TEST(CodeTesterRun, ErrorLimitStopsAfterTheReadingThatReachesIt)
{
    CodeTester::Config config = StOnly(4, MONO_ASC);
    config.m_ErrorLimit = 1;
    auto result = Check(config, {5, 6, 4, 9, 1});
    EXPECT_EQ(result.m_StStepErrors, 1u);
    EXPECT_EQ(result.m_StMonotonyErrors, 1u);
    ASSERT_EQ(result.m_Messages.size(), 3u);
    EXPECT_EQ(result.m_Messages[2], "2 errors occured. Test canceled.");

    config.m_ErrorLimit = 3;
    result = Check(config, {5, 6, 4, 1, 9, 2});
    EXPECT_EQ(result.GetErrorCount(), 4u); // 2 at index 2 and 2 at index 3
    EXPECT_EQ(result.m_Messages.back(), "4 errors occured. Test canceled.");
}

TEST(CodeTesterRun, ErrorLimitZeroStopsAtTheFirstDifferingReading)
{
    CodeTester::Config config = StOnly(4, MONO_ASC);
    config.m_ErrorLimit = 0;
    CodeTester tester(config);
    EXPECT_TRUE(tester.Test(std::vector<unsigned int>{7, 7, 7, 8, 3, 1}));
    EXPECT_EQ(tester.GetResult().m_Messages, Messages{"0 errors occured. Test canceled."});
}

TEST(CodeTesterRun, GrayFlagConvertsOnlyTheMessageValues)
{
    CodeTester::Config config = StOnly(4, MONO_ASC);
    config.m_Gray = true;
    // Gray 2 and 7 are binary 3 and 5; the test itself sees 2 -> 7, a distance of 5.
    const auto result = Check(config, {2, 2, 7});
    EXPECT_EQ(result.m_Messages,
              Messages{"Step error: Distance between ST-Value[1] and ST-Value[2] > 1. Data: "
                       "ST-Value[1]=3 dec, ST-Value[2]=5 dec. Distance=5 dec."});
}

TEST(CodeTesterRun, ResultIsReplacedByTheNextRun)
{
    CodeTester tester(StOnly(4, MONO_AUTODETECT));
    EXPECT_FALSE(tester.Test(std::vector<unsigned int>{1, 2, 9}));
    EXPECT_TRUE(tester.Test(std::vector<unsigned int>{9, 8, 7}));
    EXPECT_EQ(tester.GetResult().m_StMonotony, MONO_DESC);
    EXPECT_EQ(tester.GetResult().m_Messages, Messages{"ST monotonie detected as MONO_DESC"});
}

// ---- Widths ---------------------------------------------------------------------------------

// Large steps put the turns of a 32-bit part within reach: 16 readings per turn.
TEST(CodeTesterWidths, ThirtyTwoBitPartWrapsAndCountsTurns)
{
    auto config = StOnly(32, MONO_ASC, 0x10000000u);
    config.m_MtBits = 12; // nothing is left for MT
    config.m_MtMonotony = MONO_ASC;
    std::vector<unsigned int> run;
    for (unsigned int k = 0; k < 20; ++k)
    {
        run.push_back(0xF0000000u + k * 0x10000000u);
    }
    const auto result = Check(config, run);
    EXPECT_TRUE(result.Passed()) << result.m_Messages.front();
    EXPECT_EQ(result.m_StTurns, 1u);
}

TEST(CodeTesterWidths, ThirtyTwoBitValuesArePrintedUnsigned)
{
    const auto result = Check(StOnly(32, MONO_ASC), {0xFFFFFFF0u, 0xFFFFFFF0u, 0x10u});
    EXPECT_EQ(result.m_Messages,
              Messages{"Step error: Distance between ST-Value[1] and ST-Value[2] > 1. Data: "
                       "ST-Value[1]=4294967280 dec, ST-Value[2]=16 dec. Distance=32 dec."});
}

TEST(CodeTesterWidths, ThirtyOneBitStWrapsIntoMt)
{
    CodeTester::Config config;
    config.m_StBits = 31;
    config.m_MtBits = 1;
    config.m_StStepSize = 0x08000000u; // 16 readings per turn
    config.m_StMonotony = MONO_DESC;
    config.m_MtMonotony = MONO_DESC;
    std::vector<unsigned int> run;
    for (unsigned int k = 0; k < 40; ++k)
    {
        run.push_back(0x88000000u - k * 0x08000000u);
    }
    const auto result = Check(config, run);
    EXPECT_TRUE(result.Passed()) << result.m_Messages.front();
    EXPECT_EQ(result.m_StTurns, 2u);
}

// With ST and MT bits together above 32 the MT part has 32 - ST bits; its window wraps there.
TEST(CodeTesterWidths, MtWindowWrapsWhereTheSplitLeavesIt)
{
    CodeTester::Config config;
    config.m_StBits = 16;
    config.m_MtBits = 24;
    config.m_StMonotony = MONO_ASC;
    config.m_MtMonotony = MONO_ASC;
    const auto result = Check(config, {0xFFFFFFFEu, 0xFFFFFFFFu, 0x00000000u, 0x00000001u});
    EXPECT_TRUE(result.Passed()) << result.m_Messages.front();
}

// Width 0: the part is always 0, never errs, counts no turns and never decides a direction; the
// other part works as usual.
TEST(CodeTesterWidths, ZeroWidthPartIsAlwaysQuiet)
{
    for (MONOTONY mode : {MONO_ASC, MONO_DESC, MONO_AUTODETECT})
    {
        CodeTester::Config config = StOnly(0, mode);
        config.m_MtBits = 2;
        config.m_MtMonotony = MONO_ASC;
        const auto result = Check(config, {0, 1, 2, 3, 0, 1, 2, 3, 0});
        EXPECT_TRUE(result.Passed());
        EXPECT_EQ(result.m_StTurns, 0u);
        EXPECT_EQ(result.m_StMonotony, mode);
        EXPECT_EQ(result.m_MtTurns, 2u);
        EXPECT_TRUE(result.m_Messages.empty());
    }
}

// ---- Error flood and invalid modes ------------------------------------------------------------

std::vector<unsigned int> StepsBack(std::size_t count)
{
    std::vector<unsigned int> run(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        run[i] = unsigned(count - i);
    }
    return run;
}

TEST(CodeTesterErrors, LargestDialogLimitKeepsEveryMessage)
{
    auto config = StOnly(13, MONO_ASC);
    config.m_ErrorLimit = 999;
    const auto result = Check(config, StepsBack(100000));
    EXPECT_EQ(result.GetErrorCount(), 1000u); // two errors per reading
    EXPECT_EQ(result.m_Messages.size(), 1001u);
    EXPECT_EQ(result.m_Messages.back(), "1000 errors occured. Test canceled.");
}

TEST(CodeTesterErrors, HigherLimitCountsEveryErrorButKeepsBoundedMessages)
{
    auto config = StOnly(32, MONO_ASC);
    config.m_ErrorLimit = UINT_MAX;
    const auto result = Check(config, StepsBack(100000));
    EXPECT_EQ(result.m_StStepErrors, 99999u);
    EXPECT_EQ(result.m_StMonotonyErrors, 99999u);
    EXPECT_EQ(result.m_Messages.size(), CodeTester::kMaxErrorMessages);
}

class CodeTesterAssertion : public ::testing::Test
{
protected:
    struct Report
    {
        std::string expression, info, file;
    };
    static inline std::vector<Report> s_Reports;

    static void Record(const char* expression, const char* info, const char* file, int)
    {
        s_Reports.push_back(Report{expression, info, file});
    }

    void SetUp() override
    {
        s_Reports.clear();
        m_Previous = Tavik::SetXAssertionHandler(&Record);
    }
    void TearDown() override
    {
        // An empty handler brings the built-in report back; it is reported through Record.
        Tavik::SetXAssertionHandler(m_Previous);
        s_Reports.clear();
    }

    Tavik::XAssertionHandler m_Previous = nullptr;
};

TEST_F(CodeTesterAssertion, InvalidModeIsReportedOnceAndLeavesThePartUntested)
{
    CodeTester::Config config = StOnly(4, MONOTONY(4));
    config.m_MtBits = 4;
    config.m_MtMonotony = MONO_ASC;
    const auto result = Check(config, {0x00, 0x09, 0x12, 0x1F});
    ASSERT_EQ(s_Reports.size(), 1u);
    EXPECT_EQ(s_Reports[0].expression, "false");
    EXPECT_EQ(s_Reports[0].info, "Invalid enum in enStMonotony");
    EXPECT_EQ(s_Reports[0].file, "CodeTester");
    EXPECT_EQ(result.m_StMonotony, MONO_NO_TEST);
    EXPECT_EQ(result.GetErrorCount(), 0u);
}

// ---- Block scan ---------------------------------------------------------------------------------

// The scan over quiet blocks must give exactly what the reading-by-reading check gives: random
// walks with steps, repeats and glitches, in all widths, modes, steps and limits.
TEST(CodeTesterBlockScan, AgreesWithReadingByReading)
{
    std::mt19937 random(12345);
    auto pick = [&random](unsigned int n) { return unsigned(random() % n); };
    for (int round = 0; round < 400; ++round)
    {
        CodeTester::Config config;
        config.m_StBits = pick(4) == 0 ? 29 + pick(5) : pick(14);
        config.m_MtBits = pick(4) == 0 ? 32 : pick(13);
        config.m_StStepSize = 1 + pick(4);
        config.m_MtStepSize = 1 + pick(2);
        config.m_StMonotony = MONOTONY(pick(4));
        config.m_MtMonotony = MONOTONY(pick(4));
        config.m_Gray = pick(2) == 0;
        config.m_ErrorLimit = pick(3) == 0 ? pick(3) : 1 + pick(1000);

        const int direction = pick(2) == 0 ? 1 : -1;
        const unsigned int stride = 1 + pick(config.m_StStepSize);
        const unsigned int glitchEvery = 50 + pick(3000);
        std::vector<unsigned int> run(1000 + pick(20000));
        unsigned int position = unsigned(random());
        for (std::size_t i = 0; i < run.size(); ++i)
        {
            position += pick(6) == 0 ? 0 : unsigned(direction) * stride;
            run[i] = position;
            if (pick(glitchEvery) == 0)
            {
                run[i] = unsigned(random()); // also lands in MT
            }
        }

        CodeTester scanning(config);
        CodeTester plain(config);
        plain.SetBlockScan(false);
        const bool passed = scanning.Test(run);
        ASSERT_EQ(passed, plain.Test(run)) << round;
        const auto& a = scanning.GetResult();
        const auto& b = plain.GetResult();
        ASSERT_EQ(a.m_Messages, b.m_Messages) << round;
        ASSERT_EQ(a.m_StTurns, b.m_StTurns) << round;
        ASSERT_EQ(a.m_MtTurns, b.m_MtTurns) << round;
        ASSERT_EQ(a.m_StStepErrors, b.m_StStepErrors) << round;
        ASSERT_EQ(a.m_MtStepErrors, b.m_MtStepErrors) << round;
        ASSERT_EQ(a.m_StMonotonyErrors, b.m_StMonotonyErrors) << round;
        ASSERT_EQ(a.m_MtMonotonyErrors, b.m_MtMonotonyErrors) << round;
        ASSERT_EQ(a.m_StMonotony, b.m_StMonotony) << round;
        ASSERT_EQ(a.m_MtMonotony, b.m_MtMonotony) << round;
    }
}

} // namespace
