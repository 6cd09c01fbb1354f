// The one recording engine on a simulated box, in virtual time: how a run ends, what it keeps
// and what the owner learns of a failure.
#include "app/core/Recording.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/SimulatorProvider.h"
#include "tests/core/PoweredSimulatedBox.h"
#include "tests/fakes/FakeDevice.h"

#include <gtest/gtest.h>

#include <memory>

using namespace App;
using Tavik::Box;

namespace
{

class RecordingTest : public PoweredSimulatedBox
{
protected:
    Recording::State Tick()
    {
        m_Clock.Advance(std::chrono::milliseconds(300));
        return m_Recording.Poll();
    }

    Recording m_Recording{m_Box, m_Clock};
};

TEST_F(RecordingTest, EachFailureNamesItsStepAndWhetherTheBoxVanished)
{
    const struct
    {
        unsigned commandsBefore;
        Recording::Step step;
    } cases[] = {
        {0, Recording::READ_PARAMETERS}, {1, Recording::WRITE_PARAMETERS}, {2, Recording::SAMPLE}};
    for (const auto& c : cases)
    {
        Sim().Replug();
        Sim().SetFaults({});
        ASSERT_EQ(m_Box.Open(0), Box::OK);
        UnplugAfter(c.commandsBefore);
        EXPECT_EQ(m_Recording.Start({100000, 50}), Recording::FAILED);
        ASSERT_TRUE(m_Recording.LastFailure());
        EXPECT_EQ(m_Recording.LastFailure()->step, c.step);
        EXPECT_TRUE(m_Recording.LastFailure()->vanished);
        // A failed start hands back placeholders, never readings.
        EXPECT_TRUE(m_Recording.Readings().empty());
        m_Box.Close();
    }
}

TEST_F(RecordingTest, AFailureWhileCollectingKeepsWhatArrivedAndEndsTheRun)
{
    ASSERT_EQ(m_Recording.Start({100000, 50}), Recording::STREAMING);
    ASSERT_EQ(Tick(), Recording::STREAMING);
    const std::size_t arrived = m_Recording.Readings().size();
    ASSERT_GT(arrived, 0u);
    Sim().Unplug();
    EXPECT_EQ(Tick(), Recording::FAILED);
    EXPECT_EQ(m_Recording.LastFailure()->step, Recording::COLLECT);
    EXPECT_EQ(m_Recording.Readings().size(), arrived);
    EXPECT_EQ(m_Recording.Poll(), Recording::FAILED); // no box call after the end
}

TEST_F(RecordingTest, StopEndsTheRunOnTheBoxAndTheReadingsMoveOutWithoutACopy)
{
    ASSERT_EQ(m_Recording.Start({100000, 50}), Recording::STREAMING);
    Tick();
    m_Recording.Stop();
    EXPECT_EQ(m_Recording.GetState(), Recording::STOPPED);
    EXPECT_FALSE(Sim().IsStreaming());
    EXPECT_FALSE(m_Recording.LastFailure());
    const unsigned* data = m_Recording.Readings().data();
    const std::vector<unsigned> readings = m_Recording.TakeReadings();
    EXPECT_EQ(readings.data(), data);
    EXPECT_EQ(m_Recording.GetState(), Recording::IDLE);
    EXPECT_TRUE(m_Recording.Readings().empty());

    // Nor does a recording that goes away leave the box streaming.
    {
        Recording other(m_Box, m_Clock);
        ASSERT_EQ(other.Start({100000, 50}), Recording::STREAMING);
    }
    EXPECT_FALSE(Sim().IsStreaming());
}

TEST_F(RecordingTest, ClockAndCountAreWritten)
{
    EXPECT_EQ(m_Recording.Start({100, 50, 500000}), Recording::COMPLETE);
    EXPECT_EQ(m_Recording.Readings().size(), 100u);
    Tavik::SampleParameter p;
    ASSERT_EQ(m_Box.GetSampleParameter(p), Box::OK);
    EXPECT_EQ(p.GetFrequence(), 500000u);
    EXPECT_EQ(p.GetSampleCount(), 100u);
}

TEST_F(RecordingTest, AnEndlessStreamDrainsWithoutGapOrRepeatAcrossRoundsUntilStopped)
{
    Recording::Settings settings;
    settings.delayUs = 50;
    settings.mode = Recording::UNTIL_STOP;
    settings.roundCount = 10000;
    ASSERT_EQ(m_Recording.Start(settings), Recording::STREAMING);
    std::vector<unsigned> all, chunk;
    while (m_Recording.GetView().rounds < 4)
    {
        ASSERT_EQ(Tick(), Recording::STREAMING);
        m_Recording.TakeArrived(chunk);
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    m_Recording.Stop();
    m_Recording.TakeArrived(chunk);
    all.insert(all.end(), chunk.begin(), chunk.end());
    EXPECT_FALSE(Sim().IsStreaming());
    EXPECT_EQ(all.size(), m_Recording.GetView().arrived);
    EXPECT_GE(all.size(), 30000u);
    EXPECT_EQ(m_Recording.GetView().dropped, 0u);
    // The shaft turns forward at 60 rpm (8,192 counts/s): each reading a little ahead of the
    // last, never behind; a round's restart is a step of at most one tick in time.
    const unsigned mask = (1u << 25) - 1;
    for (std::size_t i = 1; i < all.size(); ++i)
        ASSERT_LT((all[i] - all[i - 1]) & mask, i % settings.roundCount ? 10u : 8192 * 3 / 10 + 100)
            << "at " << i;
}

} // namespace
