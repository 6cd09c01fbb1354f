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

TEST_F(RecordingTest, ClockAndCountAreWrittenAndTheStreamingModeIsNotYetTaken)
{
    EXPECT_EQ(m_Recording.Start({100, 50, 500000}), Recording::COMPLETE);
    EXPECT_EQ(m_Recording.Readings().size(), 100u);
    Tavik::SampleParameter p;
    ASSERT_EQ(m_Box.GetSampleParameter(p), Box::OK);
    EXPECT_EQ(p.GetFrequence(), 500000u);
    EXPECT_EQ(p.GetSampleCount(), 100u);

    EXPECT_EQ(m_Recording.Start({100, 50, 0, Recording::UNTIL_STOP}), Recording::COMPLETE);
    EXPECT_FALSE(Sim().IsStreaming());
}

} // namespace
