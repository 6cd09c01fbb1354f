// The run analysis on generated runs with one injected fault each, and on degenerate input.
#include "app/core/RunAnalysis.h"

#include "app/core/CodeTester.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace App;

namespace
{

constexpr unsigned kSt = 8;
constexpr unsigned kMt = 4;
constexpr std::int64_t kRange = std::int64_t(1) << (kSt + kMt);
constexpr unsigned kMask = unsigned(kRange - 1);

struct Run
{
    std::vector<std::int64_t> positions;
    std::vector<unsigned> readings;
};

// One count per reading from 4000: ascending it crosses the MT wrap at reading 96, descending
// the ST wraps every 256 readings.
std::vector<std::int64_t> Positions(int direction, std::size_t count = 10000)
{
    std::vector<std::int64_t> p(count);
    for (std::size_t i = 0; i < count; ++i)
        p[i] = 4000 + direction * std::int64_t(i);
    return p;
}

std::vector<unsigned> Encode(const std::vector<std::int64_t>& positions, bool gray)
{
    std::vector<unsigned> r;
    for (std::int64_t p : positions)
    {
        const unsigned v = unsigned(((p % kRange) + kRange) % kRange);
        r.push_back(gray ? v ^ (v >> 1) : v);
    }
    return r;
}

// The first reading at or after `from` where ST wraps.
std::size_t StWrap(const std::vector<std::int64_t>& p, std::size_t from)
{
    for (std::size_t i = from; i < p.size(); ++i)
        if ((p[i] >> kSt) != (p[i - 1] >> kSt))
            return i;
    return 0;
}

AnalysisConfig Config(bool gray)
{
    AnalysisConfig c;
    c.stBits = kSt;
    c.mtBits = kMt;
    c.gray = gray;
    c.delayUs = 100;
    return c;
}

using Case = std::tuple<EventClass, int, bool>; // class, direction, Gray

class InjectedFault : public testing::TestWithParam<Case>
{
};

TEST_P(InjectedFault, IsFoundAloneWithItsClassAndIndex)
{
    const auto [cls, direction, gray] = GetParam();
    std::vector<std::int64_t> p = Positions(direction);
    const std::size_t k = StWrap(p, 5000) + 2; // a few readings after an ST wrap
    std::size_t expected = k;
    std::vector<unsigned> r;
    switch (cls)
    {
    case EVENT_SPIKE:
        r = Encode(p, gray);
        r[k] = Encode({p[k] + kRange / 2}, gray)[0];
        break;
    case EVENT_JUMP:
        for (std::size_t i = k; i < p.size(); ++i)
            p[i] += direction * 50;
        break;
    case EVENT_REVERSAL:
        for (std::size_t i = k; i < p.size(); ++i)
            p[i] -= direction * 2;
        break;
    case EVENT_STUCK:
        for (std::size_t i = k + 1; i <= k + 40; ++i)
            p[i] = p[k];
        break;
    case EVENT_OUT_OF_STEP:
        // MT does not follow ST's wrap.
        expected = k - 2;
        for (std::size_t i = expected; i < p.size(); ++i)
            p[i] -= direction * (std::int64_t(1) << kSt);
        break;
    case EVENT_GRAY_FAULT:
        r = Encode(p, gray);
        r[k] ^= 1u << (kSt + kMt - 1);
        break;
    case EVENT_ALL_ONES:
    case EVENT_ALL_ZEROS:
        r = Encode(p, gray);
        for (std::size_t i = k; i < k + 20; ++i)
            r[i] = cls == EVENT_ALL_ONES ? kMask : 0;
        break;
    }
    if (r.empty())
        r = Encode(p, gray);

    const Analysis a = AnalyseRun(r, Config(gray));
    // A Gray run's position faults change several bits at once as well.
    std::vector<AnalysisEvent> events = a.events;
    std::erase_if(events, [cls](const AnalysisEvent& e)
                  { return (e.cls == EVENT_GRAY_FAULT) != (cls == EVENT_GRAY_FAULT); });
    ASSERT_EQ(events.size(), 1u) << a.SummaryLines().front();
    EXPECT_EQ(events[0].cls, cls);
    EXPECT_EQ(events[0].first, expected);
    EXPECT_EQ(a.classes[cls].count, 1u);
    EXPECT_EQ(a.st.direction, direction);
}

std::string CaseName(const testing::TestParamInfo<Case>& info)
{
    std::string name = EventClassName(std::get<0>(info.param));
    std::erase_if(name, [](char c) { return !std::isalnum((unsigned char)c); });
    return name + (std::get<1>(info.param) > 0 ? "Up" : "Down") +
           (std::get<2>(info.param) ? "Gray" : "Binary");
}

INSTANTIATE_TEST_SUITE_P(PositionClasses, InjectedFault,
                         testing::Combine(testing::Values(EVENT_SPIKE, EVENT_JUMP, EVENT_REVERSAL,
                                                          EVENT_STUCK, EVENT_OUT_OF_STEP,
                                                          EVENT_ALL_ONES, EVENT_ALL_ZEROS),
                                          testing::Values(1, -1), testing::Bool()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(GrayOnly, InjectedFault,
                         testing::Combine(testing::Values(EVENT_GRAY_FAULT), testing::Values(1, -1),
                                          testing::Values(true)),
                         CaseName);

TEST(RunAnalysis, CleanRunHasNoEventsAndItsFigures)
{
    const Analysis a = AnalyseRun(Encode(Positions(1), false), Config(false));
    EXPECT_TRUE(a.Clean());
    EXPECT_TRUE(a.SummaryLines().empty());
    EXPECT_EQ(a.distinct, 4096u); // every value of 12 bits
    EXPECT_DOUBLE_EQ(a.durationS, 1.0);
    EXPECT_NEAR(a.st.countsPerSecond, 10000.0, 1.0);
    EXPECT_NEAR(a.st.rpm, 10000.0 / 256 * 60, 1.0);
    EXPECT_EQ(a.st.turns, 39u); // 4000 .. 13999: 39 whole turns of ST
    EXPECT_EQ(a.mt.turns, 2u);  // MT goes from 15 to 54: 2 whole turns of 16
    EXPECT_TRUE(a.mt.moved);
}

// The batch dialog shows the code tester's turns beside the analysis' figures: on clean runs
// from any start, either way, of any length (also one ending a reading short of a turn, as
// a simulated run of round length does), they agree.
TEST(RunAnalysis, TurnsAreTheCodeTestersOnCleanRuns)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 80; ++trial)
    {
        const std::int64_t dir = trial % 2 ? 1 : -1, speed = 1 + trial % 3;
        const std::int64_t start = std::int64_t(rng() % kRange);
        const std::size_t count =
            trial % 4 == 0 ? std::size_t(kRange / speed) : 2000 + rng() % 30000;
        std::vector<std::int64_t> p(count);
        for (std::size_t i = 0; i < count; ++i)
            p[i] = start + dir * speed * std::int64_t(i);
        const std::vector<unsigned> r = Encode(p, false);

        CodeTester::Config config;
        config.m_StBits = kSt;
        config.m_MtBits = kMt;
        config.m_StStepSize = unsigned(speed);
        CodeTester tester(config);
        ASSERT_TRUE(tester.Test(r));
        const Analysis a = AnalyseRun(r, Config(false));
        SCOPED_TRACE(testing::Message() << "from " << start << ", " << count << " readings");
        EXPECT_EQ(a.st.turns, tester.GetResult().m_StTurns);
        EXPECT_EQ(a.mt.turns, tester.GetResult().m_MtTurns);
    }
    // Back and forth across a wrap: no turn, and MT, back where it began, did not move.
    std::vector<std::int64_t> p;
    for (int k = 0; k < 50; ++k)
        for (std::int64_t v : {4094, 4095, 4096, 4097, 4096, 4095})
            p.push_back(v);
    const Analysis a = AnalyseRun(Encode(p, false), Config(false));
    EXPECT_EQ(a.st.turns + a.mt.turns, 0u);
    EXPECT_FALSE(a.mt.moved);
}

TEST(RunAnalysis, SlowRunWithHeldValuesIsClean)
{
    std::vector<std::int64_t> p(9000);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = std::int64_t(i / 3);
    const Analysis a = AnalyseRun(Encode(p, true), Config(true));
    EXPECT_TRUE(a.Clean());
    EXPECT_EQ(a.st.direction, 1);
}

TEST(RunAnalysis, DeadLineIsTheRootCause)
{
    const std::vector<unsigned> r(1000, kMask);
    const Analysis a = AnalyseRun(r, Config(false));
    EXPECT_EQ(a.rootCause, "no encoder answering: 100 % of the readings have every data bit set");
    EXPECT_EQ(a.SummaryLines(),
              (std::vector<std::string>{"Root cause: " + a.rootCause,
                                        "all ones: 1 event, 1000000 ppm, first at reading 0"}));
}

TEST(RunAnalysis, FloodKeepsTheFirstEventsAndExactCounts)
{
    std::vector<std::int64_t> p = Positions(1, 2000000);
    std::vector<unsigned> r = Encode(p, false);
    std::uint64_t spikes = 0;
    for (std::size_t i = 5; i < r.size(); i += 10)
    {
        r[i] = (r[i] + 1000) & kMask;
        spikes += r[i] != 0 && r[i] != kMask; // else an all-ones or all-zeros reading
    }
    const Analysis a = AnalyseRun(r, Config(false));
    EXPECT_EQ(a.events.size(), Analysis::kMaxEvents);
    EXPECT_EQ(a.classes[EVENT_SPIKE].count, spikes);
    EXPECT_NEAR(a.classes[EVENT_SPIKE].ppm, double(spikes) / 2.0, 1e-6);
    EXPECT_EQ(a.rootCause.substr(0, 28), "noise on the data line: 99.9");
}

TEST(RunAnalysis, DegenerateInputGivesNoEvents)
{
    for (std::size_t n : {0u, 1u, 2u})
    {
        const Analysis a = AnalyseRun(std::vector<unsigned>(n, 7u), Config(false));
        EXPECT_TRUE(a.Clean());
        EXPECT_EQ(a.readings, n);
        EXPECT_EQ(a.st.countsPerSecond, 0.0);
    }
    std::vector<unsigned> r;
    for (std::int64_t v : Positions(1))
        r.push_back(unsigned(v));
    for (auto [st, mt] : {std::pair{0u, 0u}, {32u, 0u}, {16u, 16u}, {0u, 32u}, {40u, 40u}})
    {
        AnalysisConfig c = Config(false);
        c.stBits = st;
        c.mtBits = mt;
        c.delayUs = 0;
        const Analysis a = AnalyseRun(r, c);
        EXPECT_TRUE(a.Clean()) << st << "+" << mt;
        EXPECT_EQ(a.durationS, 0.0);
        EXPECT_EQ(a.st.rpm, 0.0);
    }
}

// Runs of many speeds, widths and faults: the block scan must not change a figure.
TEST(RunAnalysis, BlockScanEqualsReadingByReading)
{
    std::mt19937 rng(19);
    const std::pair<unsigned, unsigned> widths[] = {{8, 4}, {13, 12}, {16, 16},
                                                    {3, 2}, {4, 4},   {32, 0}};
    // Slow and fast; 8 is a quarter of a 5-bit range, which goes round it within a stuck run.
    const double speeds[] = {1.0 / 32, 0.25, 0.5, 1, 2, 3, 7, 8, 64};
    for (int trial = 0; trial < 120; ++trial)
    {
        const auto [st, mt] = widths[(trial / 2) % 6];
        const unsigned bits = st + mt;
        const std::uint64_t range = std::uint64_t(1) << bits;
        const double speed = speeds[rng() % 9] * (trial % 2 ? 1 : -1);
        // The shaft pauses now and then, for as long as a stuck run or shorter.
        std::vector<unsigned> r(20000 + rng() % 5000);
        double x = 1e6 + 3; // off the all-zeros reading in the narrow ranges
        for (std::size_t i = 0, pause = 0; i < r.size(); ++i)
        {
            pause = pause != 0 ? pause - 1 : rng() % 3000 == 0 ? 1 + rng() % 12 : 0;
            x += pause != 0 ? 0 : speed;
            r[i] = unsigned(std::uint64_t(std::llround(x)) & (range - 1));
        }
        for (int noise = rng() % 4; noise > 0; --noise)
        {
            const std::size_t at = rng() % r.size();
            for (std::size_t i = at; i < std::min(r.size(), at + 1 + rng() % 600); ++i)
                r[i] = unsigned(rng() & (range - 1));
        }
        const bool gray = trial % 3 == 0;
        if (gray)
            for (unsigned& v : r)
                v ^= v >> 1;
        AnalysisConfig c = Config(gray);
        c.stBits = st;
        c.mtBits = mt;
        const Analysis fast = AnalyseRun(r, c);
        c.blockScan = false;
        const Analysis slow = AnalyseRun(r, c);
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        // Noise over many pages of values also takes the sorted list past the page budget.
        std::vector<unsigned> sorted(r);
        for (unsigned& v : sorted)
            v &= unsigned(range - 1);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(fast.distinct,
                  std::size_t(std::unique(sorted.begin(), sorted.end()) - sorted.begin()));
        EXPECT_EQ(fast.distinct, slow.distinct);
        EXPECT_EQ(fast.st.turns, slow.st.turns);
        EXPECT_EQ(fast.mt.turns, slow.mt.turns);
        EXPECT_EQ(fast.st.countsPerSecond, slow.st.countsPerSecond);
        EXPECT_EQ(fast.SummaryLines(), slow.SummaryLines());
        ASSERT_EQ(fast.events.size(), slow.events.size());
        for (std::size_t e = 0; e < fast.events.size(); ++e)
        {
            EXPECT_EQ(fast.events[e].cls, slow.events[e].cls);
            EXPECT_EQ(fast.events[e].first, slow.events[e].first);
            EXPECT_EQ(fast.events[e].length, slow.events[e].length);
        }
    }
}

} // namespace
