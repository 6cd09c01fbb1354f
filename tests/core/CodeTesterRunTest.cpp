// The code tester on generated encoder runs: clean runs in both directions across ST and MT
// wraps, and runs with injected glitches whose errors the generator knows.

#include "app/core/CodeTester.h"
#include "tests/core/EncoderRunGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

using namespace App;

namespace EncoderRun
{
// Found by gtest through the argument's namespace.
std::ostream& operator<<(std::ostream& out, const Error& e)
{
    return out << (e.part == Part::ST ? "ST " : "MT ")
               << (e.kind == Kind::STEP ? "step" : "monotony") << " error at " << e.index;
}
} // namespace EncoderRun

namespace
{
using namespace EncoderRun;

// The step and monotony errors that the messages report, in message order.
std::vector<Error> ReportedErrors(const std::vector<std::string>& messages)
{
    std::vector<Error> errors;
    for (const std::string& message : messages)
    {
        char direction[11], part[3], part2[3], relation[2];
        std::size_t before = 0, index = 0;
        if (std::sscanf(message.c_str(),
                        "Step error: Distance between %2[STM]-Value[%zu] and %2[STM]-Value[%zu] >",
                        part, &before, part2, &index) == 4)
        {
            errors.push_back(Error{part[0] == 'S' ? Part::ST : Part::MT, Kind::STEP, index});
        }
        else if (std::sscanf(message.c_str(),
                             "%10[A-Za-z] error: %2[STM]-Value[%zu] %1[<>] "
                             "%2[STM]-Value[%zu].",
                             direction, part, &before, relation, part2, &index) == 6)
        {
            errors.push_back(Error{part[0] == 'S' ? Part::ST : Part::MT, Kind::MONOTONY, index});
            EXPECT_STREQ(relation, std::string(direction) == "Ascending" ? ">" : "<") << message;
        }
        else
        {
            continue;
        }
        EXPECT_STREQ(part, part2) << message;
        EXPECT_EQ(before + 1, index) << message;
    }
    return errors;
}

unsigned int Count(const std::vector<Error>& errors, Part part, Kind kind)
{
    unsigned int n = 0;
    for (const Error& e : errors)
    {
        n += e.part == part && e.kind == kind ? 1 : 0;
    }
    return n;
}

CodeTester::Config ConfigFor(const Generator& g, MONOTONY mode, unsigned int limit = 999)
{
    CodeTester::Config config;
    config.m_StBits = g.stBits;
    config.m_MtBits = g.mtBits;
    config.m_StStepSize = g.stStep;
    config.m_MtStepSize = g.mtStep;
    config.m_StMonotony = mode;
    config.m_MtMonotony = mode;
    config.m_ErrorLimit = limit;
    return config;
}

MONOTONY Direction(const Generator& g)
{
    return g.stride < 0 ? MONO_DESC : MONO_ASC;
}

// ---- Clean runs -------------------------------------------------------------------------------

struct CleanCase
{
    const char* name;
    Generator g;
    std::size_t count;
};

class CodeTesterCleanRun : public ::testing::TestWithParam<CleanCase>
{
};

TEST_P(CodeTesterCleanRun, PassesAndCountsTurns)
{
    const Generator& g = GetParam().g;
    const GeneratedRun run = g.Generate(GetParam().count);
    CodeTester tester(ConfigFor(g, Direction(g)));
    EXPECT_TRUE(tester.Test(run.readings));
    const CodeTester::Result& result = tester.GetResult();
    EXPECT_TRUE(result.m_Messages.empty()) << result.m_Messages.front();
    EXPECT_EQ(result.m_StTurns, CleanTurns(g, run, Part::ST, run.readings.size()));
    EXPECT_EQ(result.m_MtTurns, CleanTurns(g, run, Part::MT, run.readings.size()));
    EXPECT_GT(result.m_StTurns, 0u); // every case crosses ST wraps
}

// Autodetect decides at the first change of each part and then counts the same turns.
TEST_P(CodeTesterCleanRun, AutodetectFindsTheDirection)
{
    const Generator& g = GetParam().g;
    const GeneratedRun run = g.Generate(GetParam().count);
    CodeTester tester(ConfigFor(g, MONO_AUTODETECT));
    EXPECT_TRUE(tester.Test(run.readings));
    const CodeTester::Result& result = tester.GetResult();
    const std::string name = Direction(g) == MONO_ASC ? "MONO_ASC" : "MONO_DESC";
    EXPECT_EQ(result.m_Messages, (std::vector<std::string>{"ST monotonie detected as " + name,
                                                           "MT monotonie detected as " + name}));
    EXPECT_EQ(result.m_StMonotony, Direction(g));
    EXPECT_EQ(result.m_MtMonotony, Direction(g));
    EXPECT_EQ(result.m_StTurns, CleanTurns(g, run, Part::ST, run.readings.size()));
    EXPECT_EQ(result.m_MtTurns, CleanTurns(g, run, Part::MT, run.readings.size()));
}

// The other direction sees a monotony error at every change of each part.
TEST_P(CodeTesterCleanRun, WrongDirectionFailsAtTheFirstChange)
{
    const Generator& g = GetParam().g;
    const GeneratedRun run = g.Generate(GetParam().count);
    CodeTester tester(ConfigFor(g, Direction(g) == MONO_ASC ? MONO_DESC : MONO_ASC, 1));
    EXPECT_FALSE(tester.Test(run.readings));
    const std::vector<Error> reported = ReportedErrors(tester.GetResult().m_Messages);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front().index, 1u);
    EXPECT_EQ(tester.GetResult().m_StMonotonyErrors, 1u);
}

Generator Make(unsigned int stBits, unsigned int mtBits, std::int64_t start, std::int64_t stride)
{
    Generator g;
    g.stBits = stBits;
    g.mtBits = mtBits;
    g.start = start;
    g.stride = stride;
    g.stStep = unsigned(stride < 0 ? -stride : stride);
    return g;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CodeTesterCleanRun,
    ::testing::Values(
        // Small parts: many ST and MT wraps, starting just before an MT wrap.
        CleanCase{"Up_4_3", Make(4, 3, 120, 1), 1000},
        CleanCase{"Down_4_3", Make(4, 3, 5, -1), 1000},
        // Encoder sized parts, across ST wraps and one MT wrap (2^25 positions).
        CleanCase{"Up_13_12", Make(13, 12, (1 << 25) - 20000, 1), 60000},
        CleanCase{"Down_13_12", Make(13, 12, 20000, -1), 60000},
        // Strides of the step size.
        CleanCase{"Up_8_4_stride4", Make(8, 4, 1000, 4), 5000},
        CleanCase{"Down_8_4_stride4", Make(8, 4, 7, -4), 5000},
        // The reading's top bit in use.
        CleanCase{"Up_24_8", Make(24, 8, 0xFFFF0000ll, 0x10000), 1000},
        CleanCase{"Down_24_8", Make(24, 8, 0x10000ll, -0x10000), 1000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Glitches ---------------------------------------------------------------------------------

class CodeTesterGlitch : public ::testing::TestWithParam<std::tuple<Glitch, Part, int>>
{
protected:
    Glitch TheGlitch() const { return std::get<0>(GetParam()); }
    Part ThePart() const { return std::get<1>(GetParam()); }

    // ST 6 bits, MT 4 bits: a turn every 64 readings, an MT wrap every 1024. Starting in the
    // middle of a turn, readings 64 k are in the middle of one in both directions.
    Generator MakeGenerator() const
    {
        Generator g;
        g.stBits = 6;
        g.mtBits = 4;
        g.start = 32;
        g.stride = std::get<2>(GetParam());
        return g;
    }
};

TEST_P(CodeTesterGlitch, ErrorsAtTheInjectedIndexesOnly)
{
    const Generator g = MakeGenerator();
    const std::size_t at = 64 * 40; // after two MT wraps
    const GeneratedRun run = g.Generate(4000, {{at, TheGlitch(), ThePart()}});
    ASSERT_EQ(run.invalid, "");
    CodeTester tester(ConfigFor(g, Direction(g)));
    const bool passed = tester.Test(run.readings);
    const CodeTester::Result& result = tester.GetResult();

    EXPECT_EQ(ReportedErrors(result.m_Messages), run.errors);
    EXPECT_EQ(result.m_Messages.size(), run.errors.size());
    EXPECT_EQ(passed, run.errors.empty());
    EXPECT_EQ(result.m_StStepErrors, Count(run.errors, Part::ST, Kind::STEP));
    EXPECT_EQ(result.m_MtStepErrors, Count(run.errors, Part::MT, Kind::STEP));
    EXPECT_EQ(result.m_StMonotonyErrors, Count(run.errors, Part::ST, Kind::MONOTONY));
    EXPECT_EQ(result.m_MtMonotonyErrors, Count(run.errors, Part::MT, Kind::MONOTONY));
    if (!run.errors.empty())
    {
        // The glitched part stops counting turns at its first error; the other part goes on
        // (a glitch moves the rest of the run, so its count is only bounded below).
        const Part glitched = ThePart();
        const Part other = glitched == Part::ST ? Part::MT : Part::ST;
        const unsigned int turns[] = {result.m_StTurns, result.m_MtTurns};
        EXPECT_EQ(turns[int(glitched)], CleanTurns(g, run, glitched, at));
        EXPECT_GE(turns[int(other)], CleanTurns(g, run, other, at));
        EXPECT_GT(turns[int(Part::ST)], 0u);
    }
}

// The same glitch found with Autodetect once the direction has been detected.
TEST_P(CodeTesterGlitch, FoundAfterAutodetect)
{
    const Generator g = MakeGenerator();
    const GeneratedRun run = g.Generate(3000, {{64 * 23, TheGlitch(), ThePart()}});
    ASSERT_EQ(run.invalid, "");
    CodeTester tester(ConfigFor(g, MONO_AUTODETECT));
    tester.Test(run.readings);
    EXPECT_EQ(ReportedErrors(tester.GetResult().m_Messages), run.errors);
    EXPECT_EQ(tester.GetResult().m_StMonotony, Direction(g));
}

std::string GlitchName(const std::tuple<Glitch, Part, int>& param)
{
    static const char* const glitches[] = {"Stuck", "Jump", "Backward", "Spike"};
    return std::string(glitches[int(std::get<0>(param))]) +
           (std::get<1>(param) == Part::ST ? "St" : "Mt") +
           (std::get<2>(param) > 0 ? "Up" : "Down");
}

INSTANTIATE_TEST_SUITE_P(Runs, CodeTesterGlitch,
                         ::testing::Combine(::testing::Values(Glitch::STUCK, Glitch::JUMP,
                                                              Glitch::BACKWARD, Glitch::SPIKE),
                                            ::testing::Values(Part::ST, Part::MT),
                                            ::testing::Values(1, -1)),
                         [](const auto& info) { return GlitchName(info.param); });

// ---- Several glitches and the error limit -------------------------------------------------------

GeneratedRun ManyGlitches(const Generator& g)
{
    return g.Generate(20000, {{64 * 3, Glitch::SPIKE, Part::ST},
                              {64 * 10, Glitch::JUMP, Part::MT},
                              {64 * 11, Glitch::STUCK, Part::ST},
                              {64 * 50, Glitch::BACKWARD, Part::ST},
                              {64 * 51, Glitch::BACKWARD, Part::MT},
                              {64 * 200, Glitch::JUMP, Part::ST},
                              {64 * 300, Glitch::SPIKE, Part::MT}});
}

TEST(CodeTesterGlitches, AllFoundInOrder)
{
    for (int direction : {1, -1})
    {
        Generator g;
        g.stBits = 6;
        g.mtBits = 4;
        g.start = 32;
        g.stride = direction;
        const GeneratedRun run = ManyGlitches(g);
        ASSERT_EQ(run.invalid, "");
        ASSERT_EQ(run.errors.size(), 12u);
        CodeTester tester(ConfigFor(g, Direction(g)));
        EXPECT_FALSE(tester.Test(run.readings));
        EXPECT_EQ(ReportedErrors(tester.GetResult().m_Messages), run.errors);
    }
}

// With limit L the run stops after the reading at which the errors reach L, and the cancel
// message names their sum.
TEST(CodeTesterGlitches, ErrorLimitStopsAtTheReadingThatReachesIt)
{
    Generator g;
    g.stBits = 6;
    g.mtBits = 4;
    g.start = 32;
    const GeneratedRun run = ManyGlitches(g);
    for (unsigned int limit = 1; limit <= 13; ++limit)
    {
        CodeTester tester(ConfigFor(g, MONO_ASC, limit));
        tester.Test(run.readings);
        const auto& messages = tester.GetResult().m_Messages;

        std::vector<Error> expected;
        for (const Error& e : run.errors)
        {
            if (expected.size() >= limit && e.index != expected.back().index)
            {
                break;
            }
            expected.push_back(e);
        }
        SCOPED_TRACE(limit);
        EXPECT_EQ(ReportedErrors(messages), expected);
        ASSERT_FALSE(messages.empty());
        if (expected.size() >= limit)
        {
            EXPECT_EQ(messages.back(),
                      std::to_string(expected.size()) + " errors occured. Test canceled.");
        }
        else
        {
            EXPECT_EQ(expected.size(), run.errors.size()); // limit 13 is never reached
        }
    }
}

} // namespace
