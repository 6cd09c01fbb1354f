// The run plot's block min/max against a brute force, and its column geometry.
#include "controls/MinMaxPyramid.h"
#include "controls/RunPlotGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace zef::Glimra;

namespace
{
ValueSpan BruteForce(const MinMaxPyramid& p, RunSeries s, std::size_t first, std::size_t last)
{
    ValueSpan span;
    for (std::size_t i = first; i < std::min(last, p.Size()); ++i)
    {
        const std::int64_t v = p.Value(s, i);
        span = span.Empty() ? ValueSpan{v, v}
                            : ValueSpan{std::min(span.min, v), std::max(span.max, v)};
    }
    return span;
}
} // namespace

TEST(MinMaxPyramidTest, RangesMatchBruteForceOnRandomRuns)
{
    std::mt19937 rng(11);
    for (const std::size_t size : {0u, 1u, 15u, 16u, 17u, 1000u, 20011u})
    {
        std::vector<unsigned> run(size);
        unsigned v = rng();
        for (unsigned& r : run)
            r = (v += rng() % 64 == 0 ? rng() : rng() % 9);
        for (const PositionBits bits :
             {PositionBits{0, 32}, PositionBits{12, 13}, PositionBits{0, 12}})
        {
            const MinMaxPyramid p(run, bits);
            for (int k = 0; k < 300; ++k)
            {
                const std::size_t a = size ? rng() % (size + 1) : 0;
                const std::size_t b = a + (k % 3 ? rng() % 64 : rng() % (size + 2));
                for (const RunSeries s : {SERIES_POSITION, SERIES_STEP})
                {
                    const ValueSpan got = p.Range(s, a, b), want = BruteForce(p, s, a, b);
                    ASSERT_EQ(got.Empty(), want.Empty()) << size << ' ' << a << ' ' << b;
                    if (!want.Empty())
                    {
                        ASSERT_TRUE(got.min == want.min && got.max == want.max)
                            << size << ' ' << a << ' ' << b << ' ' << s;
                    }
                }
            }
        }
    }
}

TEST(MinMaxPyramidTest, BulkRangesLeaveOutTheOutliersAndTheStepsAroundThem)
{
    std::mt19937 rng(13);
    for (const std::size_t size : {1u, 70u, 4096u, 20011u})
    {
        std::vector<unsigned> run(size);
        for (std::size_t i = 0; i < size; ++i)
            run[i] = unsigned(i * 3) + (rng() % 50 == 0 ? 1u << 30 : 0u);
        // Overlapping, on block edges, at the end and past it.
        std::vector<ReadingSpan> outliers;
        for (std::size_t i = 0; i < size; ++i)
            if (run[i] >> 30)
                outliers.push_back({i, 1 + rng() % 3});
        outliers.push_back({size - 1, 5});
        outliers.push_back({size + 3, 1});
        std::vector<bool> marked(size);
        for (const ReadingSpan& o : outliers)
            for (std::size_t i = o.first; i < std::min(size, o.first + o.length); ++i)
                marked[i] = true;
        const MinMaxPyramid p(run, {0, 32}, outliers);
        for (int k = 0; k < 400; ++k)
        {
            const std::size_t a = rng() % (size + 1);
            const std::size_t b = a + (k % 2 ? rng() % 200 : rng() % (size + 1));
            for (const RunSeries s : {SERIES_POSITION, SERIES_STEP})
            {
                ValueSpan want;
                for (std::size_t i = a; i < std::min(b, size); ++i)
                {
                    if (marked[i] || (s == SERIES_STEP && i > 0 && marked[i - 1]))
                        continue;
                    const std::int64_t v = p.Value(s, i);
                    want = want.Empty() ? ValueSpan{v, v}
                                        : ValueSpan{std::min(want.min, v), std::max(want.max, v)};
                }
                const ValueSpan got = p.BulkRange(s, a, b);
                ASSERT_TRUE(got == want || (got.Empty() && want.Empty()))
                    << size << ' ' << a << ' ' << b << ' ' << s;
            }
        }
    }
}

TEST(MinMaxPyramidTest, StepWrapsTheShortWayRound)
{
    const std::vector<unsigned> run = {0x1FFE << 12, 0x1FFF << 12, 0, 1u << 12, 0x1FFF << 12};
    const MinMaxPyramid p(run, {12, 13});
    EXPECT_EQ(p.Value(SERIES_STEP, 0), 0);
    EXPECT_EQ(p.Value(SERIES_STEP, 2), 1);
    EXPECT_EQ(p.Value(SERIES_STEP, 4), -2);
}

TEST(MinMaxPyramidTest, ASingleSpikeInAFullBufferShowsAtEveryZoom)
{
    constexpr std::size_t kReadings = 16'777'214, kSpike = 9'876'543;
    std::vector<unsigned> run(kReadings);
    for (std::size_t i = 0; i < kReadings; ++i)
        run[i] = unsigned(i / 3) & 0x1FFFFFF;
    run[kSpike] = 0x1FFFFFF;
    const ReadingSpan spike{kSpike, 1};
    const MinMaxPyramid p(run, {0, 25}, {&spike, 1});
    EXPECT_LE(p.Bytes(), kReadings * sizeof(unsigned) / 2);

    constexpr int kWidth = 1920;
    for (double span = double(kReadings); span >= 8; span /= 37)
    {
        const IndexRange range = ClampRange({kSpike - span / 3, kSpike + 2 * span / 3}, kReadings);
        const std::vector<ValueSpan> columns = ColumnSpans(p, SERIES_POSITION, range, kWidth);
        const auto top = std::max_element(columns.begin(), columns.end(),
                                          [](auto& a, auto& b) { return a.max < b.max; });
        EXPECT_EQ(top->max, 0x1FFFFFF) << span;
        std::size_t first, last;
        ColumnReadings(range, kWidth, int(top - columns.begin()), first, last);
        EXPECT_TRUE(first <= kSpike && kSpike < last) << span;
        EXPECT_EQ(
            ColumnSpans(p, SERIES_STEP, range, kWidth)[std::size_t(top - columns.begin())].min,
            p.Value(SERIES_STEP, kSpike)) // the wrapped step into the spike
            << span;
        // Scaled to the bulk, the spike leaves the motion its height and is marked at the top.
        const ValueAxis axis =
            FitAxis(ColumnSpans(p, SERIES_POSITION, range, kWidth, true), columns, 0, 600);
        EXPECT_LT(axis.max, 0x1FFFFFF / 2 + 0x1FFFFFF / 20) << span;
        const std::vector<EdgeMark> marks = EdgeMarks(columns, axis);
        ASSERT_FALSE(marks.empty()) << span;
        EXPECT_TRUE(marks[0].top && marks[0].from <= top - columns.begin() &&
                    top - columns.begin() < marks[0].to)
            << span;
    }
}

TEST(RunPlotGeometryTest, ZoomKeepsTheAnchorAndStopsAtSingleReadings)
{
    const IndexRange in = ZoomAround({0, 1000}, 250, 0.5, 1000);
    EXPECT_DOUBLE_EQ(in.first, 125);
    EXPECT_DOUBLE_EQ(in.last, 625);
    EXPECT_DOUBLE_EQ(ZoomAround({100, 110}, 105, 0.01, 1000).Span(), kMinSpan);
    EXPECT_EQ(ZoomAround({100, 600}, 300, 10, 1000), (IndexRange{0, 1000}));
}

TEST(RunPlotGeometryTest, PanAndFrameStayInsideTheRun)
{
    EXPECT_EQ(Pan({900, 1000}, 50, 1000), (IndexRange{900, 1000}));
    EXPECT_EQ(Pan({10, 110}, -50, 1000), (IndexRange{0, 100}));
    const IndexRange framed = Frame(500, 10, 1000);
    EXPECT_TRUE(framed.first < 500 && framed.last > 510 && framed.Span() < 100);
    EXPECT_EQ(Frame(998, 2, 1000).last, 1000);
}

TEST(RunPlotGeometryTest, ZoomedInColumnsEachShowAReading)
{
    std::size_t first, last;
    ColumnReadings({10, 14}, 100, 0, first, last);
    EXPECT_EQ(first, 10u);
    EXPECT_EQ(last, 11u);
    ColumnReadings({10, 14}, 100, 99, first, last);
    EXPECT_EQ(first, 13u);
    EXPECT_EQ(last, 14u);
}

TEST(RunPlotGeometryTest, AxisMapsMinToTheBottomRowAndTicksAreRound)
{
    const ValueAxis axis{0, 100, 10, 111};
    EXPECT_EQ(axis.Row(0), 110);
    EXPECT_EQ(axis.Row(100), 10);
    EXPECT_EQ(axis.Row(-1'000'000'000'000), 110); // beyond the axis: on its edge
    EXPECT_EQ(axis.Row(1'000'000'000'000), 10);
    EXPECT_EQ(NiceTicks(3, 47, 5), (std::vector<double>{10, 20, 30, 40}));
    EXPECT_EQ(NiceTicks(3, 5, 10, 1), (std::vector<double>{3, 4, 5})); // no half positions
    EXPECT_EQ(TimeTickText(0.3000000004, 0.5), "300 ms");
    EXPECT_EQ(TimeTickText(250e-6, 1e-3), "250 \u00b5s");
    EXPECT_EQ(TimeTickText(3, 5), "3 s");
}

TEST(RunPlotGeometryTest, TickTextsTakeTheirDecimalsFromTheStep)
{
    // Around 33.52 M, 2,000 apart: "33.52M" three times before.
    const double step = NiceStep(33'517'000, 33'523'000, 4);
    EXPECT_EQ(step, 2000);
    EXPECT_EQ(TickTexts(NiceTicks(33'517'000, 33'523'000, 4), step),
              (std::vector<std::string>{"33.518M", "33.520M", "33.522M"}));
    EXPECT_EQ(TickTexts({0, 5e6, 1e7}, 5e6), (std::vector<std::string>{"0", "5M", "10M"}));
    EXPECT_EQ(TickTexts({-10, -5, 0, 5}, 5), (std::vector<std::string>{"-10", "-5", "0", "5"}));
    EXPECT_EQ(TickTexts({9500, 10000, 10500}, 500),
              (std::vector<std::string>{"9.5k", "10.0k", "10.5k"})); // one unit for all
    EXPECT_EQ(TickTexts({0.2, 0.4}, 0.2), (std::vector<std::string>{"0.2", "0.4"}));
}

TEST(RunPlotGeometryTest, TheBulkSetsTheAxisAndTheRestIsMarkedAtTheEdges)
{
    const ValueSpan none;
    const std::vector<ValueSpan> all = {{10, 20}, {15, 900}, {16, 950}, {18, 30}, {-500, 25}};
    const std::vector<ValueSpan> bulk = {{10, 20}, {15, 22}, {16, 24}, {18, 30}, {20, 25}};
    const ValueAxis axis = FitAxis(bulk, all, 0, 100);
    EXPECT_EQ(axis.min, 9); // the bulk with 1/20 of room
    EXPECT_EQ(axis.max, 31);
    EXPECT_EQ(EdgeMarks(all, axis),
              (std::vector<EdgeMark>{{1, 3, true}, {4, 5, false}})); // neighbours merged
    EXPECT_TRUE(EdgeMarks(bulk, axis).empty());
    // Nothing but outliers in view: the axis takes them all.
    const ValueAxis whole = FitAxis({none, none}, {{100, 200}, {150, 300}}, 0, 100);
    EXPECT_EQ(whole.min, 90);
    EXPECT_EQ(whole.max, 310);
}

TEST(RunPlotGeometryTest, ReadoutNamesTheReadingsTimeAndValues)
{
    EXPECT_EQ(GroupDigits(16'777'214), "16,777,214");
    EXPECT_EQ(GroupDigits(-1234), "-1,234");
    EXPECT_EQ(GroupDigits(999), "999");
    EXPECT_EQ(ReadoutText(12'345, 12'346, {4711, 4711}, 50e-6, 5), "#12,345 (0.61725 s): 4,711");
    EXPECT_EQ(ReadoutText(12'300, 12'408, {-3, 4600}, 0, 0), "#12,300\u201312,407: -3 to 4,600");
}
