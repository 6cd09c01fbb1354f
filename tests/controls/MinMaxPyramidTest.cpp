// The run plot's block min/max against a brute force, and its column geometry.
#include "controls/MinMaxPyramid.h"
#include "controls/RunPlotGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
    const MinMaxPyramid p(run, {0, 25});
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
    EXPECT_EQ(NiceTicks(3, 47, 5), (std::vector<double>{10, 20, 30, 40}));
    EXPECT_EQ(TimeTickText(0.3000000004, 0.5), "300 ms");
    EXPECT_EQ(TimeTickText(250e-6, 1e-3), "250 us");
    EXPECT_EQ(TimeTickText(3, 5), "3 s");
}
