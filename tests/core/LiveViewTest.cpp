// The live view's core: the ring and its pyramid across wraps, the jitter figures, and a
// session on a simulated box in virtual time.
#include "app/core/LiveView.h"
#include "app/core/HistorySink.h"
#include "app/core/LiveRing.h"
#include "tests/core/PoweredSimulatedBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

using namespace App;

namespace
{
LiveSpan BruteRange(const LiveRing& ring, std::size_t first, std::size_t last, bool centred)
{
    LiveSpan span;
    for (std::size_t i = std::max(first, ring.First()); i < std::min(last, ring.Total()); ++i)
    {
        std::int64_t p = ring.Position(i);
        if (centred && p >= 2048)
            p -= 4096; // 12 bits
        span =
            span.Empty() ? LiveSpan{p, p} : LiveSpan{std::min(span.min, p), std::max(span.max, p)};
    }
    return span;
}
} // namespace

TEST(LiveRing, WrapsWithoutLosingOrDoublingAReadingAndItsPyramidMatchesOneBuiltAfresh)
{
    LiveRing ring(5000, {4, 12});
    const std::size_t capacity = ring.Capacity();
    ASSERT_GE(capacity, 5000u);
    ASSERT_LE(capacity, 5000u + 5000u / 16);
    std::mt19937 random(7);
    std::vector<unsigned> all;
    // Chunks of odd sizes, one longer than the ring, so that appends straddle the wrap.
    for (const std::size_t chunk : {1u, 63u, 64u, 65u, 1000u, 4097u, 7001u, 13u, 333u, 2048u})
    {
        std::vector<unsigned> readings(chunk);
        for (unsigned& r : readings)
            r = unsigned(all.size() + (&r - readings.data())) * 16 + random() % 16 +
                (random() % 50 == 0 ? 0xF000u : 0u); // a few spikes
        all.insert(all.end(), readings.begin(), readings.end());
        ring.Append(readings);

        ASSERT_EQ(ring.Total(), all.size());
        ASSERT_EQ(ring.Size(), std::min(all.size(), capacity));
        std::vector<unsigned> kept;
        ring.Copy(0, ring.Total(), kept);
        ASSERT_TRUE(std::equal(kept.begin(), kept.end(), all.end() - long(ring.Size())));
    }
    ASSERT_GT(ring.Total(), 2 * capacity);

    LiveRing rebuilt(5000, {4, 12});
    rebuilt.Append(all);      // one append: wraps inside
    rebuilt.SetBits({4, 12}); // from scratch over the kept readings
    for (int q = 0; q < 3000; ++q)
    {
        const std::size_t a = ring.First() - 100 + random() % (ring.Size() + 200);
        const std::size_t b = a + (q % 3 == 0 ? random() % capacity : random() % 300);
        const bool centred = q % 2 == 1;
        const LiveSpan expected = BruteRange(ring, a, b, centred);
        ASSERT_EQ(ring.Range(a, b, centred), expected) << a << " " << b;
        ASSERT_EQ(rebuilt.Range(a, b, centred), expected) << a << " " << b;
    }
    EXPECT_LE(double(ring.Bytes()), 1.1 * double(capacity * sizeof(unsigned)));
    EXPECT_EQ(ring.Bytes(), LiveRing::BytesFor(capacity));

    ring.Clear();
    EXPECT_EQ(ring.Total(), 0u);
    EXPECT_TRUE(ring.Range(0, capacity).Empty());
}

TEST(LiveJitter, FiguresAgreeWithAReferenceAtTheWrapOfTheRange)
{
    // An encoder at rest at position 1 of 2^25: its noise reaches below 0 and wraps to the
    // top of the range; the figures must see one cluster.
    const unsigned bits = 25;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<long> values;
    std::vector<unsigned> readings;
    for (int i = 0; i < 5000; ++i)
    {
        const long v = 1 + std::lround(noise(random));
        values.push_back(v);
        readings.push_back(unsigned(v & ((1L << bits) - 1)));
    }
    values[2500] = 9; // one jump up and back
    readings[2500] = 9;

    const double n = double(values.size());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    double var = 0;
    long jump = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        var += (double(values[i]) - mean) * (double(values[i]) - mean) / n;
        if (i > 0)
            jump = std::max(jump, std::labs(values[i] - values[i - 1]));
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());

    const JitterFigures f = ComputeJitter(readings, bits, 13);
    EXPECT_EQ(f.count, readings.size());
    const double wrappedMean = mean < 0 ? mean + std::ldexp(1.0, bits) : mean;
    EXPECT_NEAR(f.mean, wrappedMean, 1e-6);
    EXPECT_NEAR(f.stdDev, std::sqrt(var), 1e-9);
    EXPECT_EQ(f.peakToPeak, *hi - *lo);
    EXPECT_EQ(f.largestJump, jump);
    EXPECT_DOUBLE_EQ(f.arcSecondsPerCount, 1296000.0 / 8192.0);
    // The histogram counts every reading once, around the rounded mean.
    EXPECT_EQ(std::accumulate(f.bins.begin(), f.bins.end(), std::size_t(0)), readings.size());
    const long centre = std::lround(mean);
    EXPECT_EQ(f.bins[std::size_t(centre - centre - f.histogramFrom)],
              std::size_t(std::count(values.begin(), values.end(), centre)));
}

namespace
{
class LiveViewTest : public PoweredSimulatedBox
{
protected:
    void Run(double seconds)
    {
        for (double t = 0; t < seconds; t += 0.04)
        {
            m_Clock.Advance(std::chrono::milliseconds(40));
            m_View.Poll();
        }
    }
    VectorSink m_Sink;
    LiveView m_View{m_Box, m_Sink, m_Clock};
};
} // namespace

TEST_F(LiveViewTest, StreamsMarksTheGlitchesAsSpikesMeasuresTheSpeedAndGivesTheSettingsBack)
{
    Sim().SetFaults({.glitchEvery = 7000});
    Tavik::SampleParameter before;
    ASSERT_EQ(m_Box.GetSampleParameter(before), Tavik::Box::OK);
    LiveView::Settings settings;
    settings.delayUs = 50;
    settings.seconds = 1;
    settings.roundCount = 30000; // several box runs, restarted without a gap
    ASSERT_TRUE(m_View.Start(settings)) << m_Sink.Texts().back();
    Run(2.0);
    const LiveRing& ring = *m_View.Ring();
    EXPECT_GT(ring.Total(), 35000u);
    EXPECT_EQ(m_View.Stream().dropped, 0u);

    // Every glitch still on the ring is a spike at its reading, and nothing else is marked.
    std::vector<std::size_t> spikes;
    for (const LiveView::Event& e : m_View.Events())
    {
        EXPECT_EQ(e.cls, EVENT_SPIKE) << e.first;
        spikes.push_back(e.first);
    }
    std::vector<std::size_t> glitches;
    for (std::size_t i = 6999; i + 512 < ring.Total(); i += 7000)
        if (i >= ring.First())
            glitches.push_back(i);
    EXPECT_EQ(std::vector(spikes.begin(), spikes.begin() + long(glitches.size())), glitches);

    // 60 rpm of a 13-bit ST, both in the speed and as counts per second.
    ASSERT_FALSE(m_View.Speeds().empty());
    EXPECT_NEAR(m_View.Rpm(m_View.Speeds().back().countsPerSecond), 60.0, 0.5);
    EXPECT_NEAR(m_View.Speeds().back().acceleration, 0.0, 200.0);

    m_View.Stop();
    EXPECT_FALSE(Sim().IsStreaming());
    Tavik::SampleParameter after;
    ASSERT_EQ(m_Box.GetSampleParameter(after), Tavik::Box::OK);
    EXPECT_EQ(after.GetDelay(), before.GetDelay());
    EXPECT_EQ(after.GetSampleCount(), before.GetSampleCount());
    EXPECT_EQ(m_Sink.Texts().back(), "Live view stopped; the box's own settings are back.");
}

TEST_F(LiveViewTest, AnEncoderAtRestWithNoiseShowsItsJitterAndPauseStartsTheFiguresAfresh)
{
    Sim().SetEncoder({.stBits = 13, .mtBits = 12, .rpm = 0, .noise = 2});
    LiveView::Settings settings;
    settings.delayUs = 100;
    ASSERT_TRUE(m_View.Start(settings));
    m_View.SetJitterReadings(5000);
    m_View.SetJumpLimit(14); // 7 sigma: the noise is no event
    EXPECT_TRUE(m_View.JumpWithinLimit());
    Run(1.0);
    const JitterFigures f = m_View.Jitter();
    EXPECT_EQ(f.count, 5000u);
    EXPECT_NEAR(f.stdDev, 2.0, 0.15);
    EXPECT_NEAR(f.stdDev * f.arcSecondsPerCount, 2.0 * 158.2, 25.0);
    EXPECT_GE(f.peakToPeak, 10);
    EXPECT_TRUE(m_View.Events().empty());
    EXPECT_TRUE(m_View.JumpWithinLimit()) << m_View.GetDrag().largestJump;
    EXPECT_NEAR(m_View.Speeds().back().countsPerSecond, 0.0, 40.0);
    EXPECT_GE(m_View.GetDrag().largestJump, f.largestJump);

    m_View.SetPaused(true);
    const std::size_t kept = m_View.Ring()->Total();
    Run(0.2);
    EXPECT_EQ(m_View.Ring()->Total(), kept);
    m_View.SetPaused(false);
    Run(0.2);
    EXPECT_LT(m_View.Jitter().count, 5000u); // only readings since the pause
    m_View.Clear();
    EXPECT_EQ(m_View.Ring()->Total(), 0u);
    EXPECT_FALSE(m_View.GetDrag().any);
}
