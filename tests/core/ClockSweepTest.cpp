// The clock sweep against a simulated box on a manual clock.

#include "app/core/ClockSweep.h"
#include "app/core/HistorySink.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorProvider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

using namespace App;
using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
class ClockSweepTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Box::SetSleepFunction([](unsigned) {});
    }
    void TearDown() override
    {
        m_Sweep.reset();
        m_Box.reset();
        FTD2xx::Proxy::UseDefaultProviders();
        Box::SetSleepFunction({});
    }
    // A powered box at 1 MHz, 25 data bits, 1 reading, 50 us, with the encoder's masks.
    void Open(FTD2xx::SimulatorFaults faults)
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = 1;
        config.faults = faults;
        m_Sim = std::make_shared<FTD2xx::SimulatorProvider>(config, m_Clock);
        FTD2xx::Proxy::SetProviders({m_Sim});
        m_Box = std::make_unique<Box>();
        ASSERT_EQ(m_Box->Open(0), Box::OK);
        ASSERT_EQ(m_Box->SetPowerMode(Box::PWR_INTERNAL), Box::OK);
        SampleParameter p;
        p.SetFrequence(1000000);
        p.SetDataBits(25);
        ASSERT_EQ(m_Box->SetSampleParameter(p), Box::OK);
        ASSERT_EQ(m_Box->SetDataMask(0x1FFFFFF), Box::OK);
        m_Before = Sim().GetParameterBlock();
        m_Sweep = std::make_unique<ClockSweep>(*m_Box, m_Sink, 13, 12, false);
    }
    FTD2xx::SimulatedBox& Sim() { return *m_Sim->GetBox(0); }
    // Polls as a 200 ms timer would, `ticks` times at most.
    void Run(unsigned ticks = 100000)
    {
        while (m_Sweep->GetState() == ClockSweep::SWEEP_RUNNING && ticks-- > 0)
        {
            m_Clock.Advance(std::chrono::milliseconds(200));
            m_Sweep->Poll();
        }
    }
    bool HasLine(const std::string& start) const
    {
        const auto texts = m_Sink.Texts();
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& t) { return t.rfind(start, 0) == 0; });
    }

    FTD2xx::ManualClock m_Clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> m_Sim;
    VectorSink m_Sink;
    std::unique_ptr<Box> m_Box;
    std::unique_ptr<ClockSweep> m_Sweep;
    FTD2xx::SimulatedBox::Block m_Before{};
};
} // namespace

TEST_F(ClockSweepTest, AFiftyMetreCableIsCleanUpTo800kHzAndTheBoxKeepsItsSettings)
{
    FTD2xx::SimulatorFaults faults;
    faults.cableMaxClockHz = FTD2xx::SimulatorFaults::CableMaxClock(50);
    Open(faults);
    ASSERT_TRUE(m_Sweep->Start({}));
    Run();
    const ClockSweep::View view = m_Sweep->GetView();
    EXPECT_EQ(view.state, ClockSweep::SWEEP_DONE);
    EXPECT_EQ(view.recommendation.highestClean, 800000u);
    EXPECT_EQ(view.recommendation.clock, 727272u);
    EXPECT_EQ(view.recommendation.text, "No errors up to 800 kHz, errors from 888888 Hz. "
                                        "Recommended clock: 727272 Hz (one step below, for "
                                        "margin).");
    EXPECT_GT(view.points.back().Rate(), view.points[view.points.size() - 5].Rate());
    EXPECT_EQ(Sim().GetParameterBlock(), m_Before);
    EXPECT_EQ(Sim().GetDataMask(), 0x1FFFFFFu);
    EXPECT_EQ(Sim().GetPowerCode(), 0x10);
}

TEST_F(ClockSweepTest, WithoutACableTheHighestClockIsRecommended)
{
    Open({});
    ASSERT_TRUE(m_Sweep->Start({}));
    Run();
    EXPECT_EQ(m_Sweep->GetView().recommendation.clock, 2000000u);
    for (const VectorSink::Entry& entry : m_Sink.Entries())
        EXPECT_EQ(entry.kind, HistorySink::HISTORY_LINE) << entry.text;
}

TEST_F(ClockSweepTest, ErrorsAtTheLowestClockAreNotTheClocksFault)
{
    FTD2xx::SimulatorFaults faults;
    faults.cableMaxClockHz = 100000;
    Open(faults);
    ASSERT_TRUE(m_Sweep->Start({}));
    Run();
    const ClockSweep::Recommendation r = m_Sweep->GetView().recommendation;
    EXPECT_EQ(r.clock, 0u);
    EXPECT_EQ(r.text, "Errors even at 250 kHz: the problem is not the clock. Check the cable, its "
                      "shield and the encoder's supply.");
}

TEST_F(ClockSweepTest, StopWhileTheBoxStreamsRestoresTheClockAndASweepCanFollow)
{
    Open({});
    ASSERT_TRUE(m_Sweep->Start({}));
    // Into the second clock's batch: one clock is checked, the next one streams.
    while (m_Sweep->GetView().done == 0)
        Run(1);
    Run(1);
    ASSERT_TRUE(Sim().IsStreaming());
    m_Sweep->Stop();
    EXPECT_EQ(m_Sweep->GetState(), ClockSweep::SWEEP_STOPPED);
    EXPECT_EQ(Sim().GetParameterBlock(), m_Before);
    // The clocks checked before the stop say nothing about the edge above them.
    EXPECT_EQ(m_Sweep->GetView().recommendation.clock, 0u);
    EXPECT_EQ(m_Sweep->GetView().recommendation.text, "Sweep stopped: no recommendation.");
    ClockSweep::Settings short_;
    short_.fromHz = short_.toHz = 500000;
    short_.count = 100;
    ASSERT_TRUE(m_Sweep->Start(short_));
    Run();
    EXPECT_EQ(m_Sweep->GetState(), ClockSweep::SWEEP_DONE);
}

TEST_F(ClockSweepTest, ALinkFailureEndsTheSweepAndSaysTheClockIsNotRestored)
{
    FTD2xx::SimulatorFaults faults;
    faults.unplugAtCommand = 20;
    Open(faults);
    ASSERT_TRUE(m_Sweep->Start({}));
    Run();
    EXPECT_EQ(m_Sweep->GetState(), ClockSweep::SWEEP_FAILED);
    EXPECT_TRUE(
        HasLine("Error: Clock sweep: could not restore the box's own settings (clock 1 MHz)."));
    EXPECT_TRUE(m_Sweep->BoxVanished());
    EXPECT_EQ(m_Sweep->GetView().recommendation.clock, 0u);
    EXPECT_FALSE(m_Sweep->GetView().lastError.empty());
    // The sweep takes no further step and refuses a new one with its reason.
    m_Sweep->Poll();
    EXPECT_FALSE(m_Sweep->Start({}));
    EXPECT_TRUE(HasLine("Error: Error while reading sample parameter."));
}

TEST(ClockSweepTexts, EditsAreReadStrictlyAndEachBadOneSaysWhy)
{
    const auto check = [](std::string from, std::string to, std::string count = "10000",
                          std::string delay = "0") {
        return ClockSweep::CheckTexts({from, to, count, delay});
    };
    const ClockSweep::TextCheck good = check("250000", "2000000");
    EXPECT_TRUE(good.reason.empty());
    EXPECT_EQ(good.settings.toHz, 2000000u);

    const ClockSweep::TextCheck abc = check("abc", "2000000");
    EXPECT_EQ(abc.reason, "From: \"abc\" is not a whole number.");
    EXPECT_FALSE(abc.valid[ClockSweep::EDIT_FROM]);
    EXPECT_TRUE(abc.valid[ClockSweep::EDIT_TO]);

    const ClockSweep::TextCheck reversed = check("2000000", "250000");
    EXPECT_EQ(reversed.reason, "From must not be above To.");
    EXPECT_FALSE(reversed.valid[ClockSweep::EDIT_TO]);

    EXPECT_FALSE(check("250000", "2000000", "2").valid[ClockSweep::EDIT_COUNT]);
    EXPECT_FALSE(check("250000", "2000000", "100", "9").valid[ClockSweep::EDIT_DELAY]);
    EXPECT_FALSE(check("", "2000000").valid[ClockSweep::EDIT_FROM]);
    EXPECT_FALSE(check("99999999999", "2000000").valid[ClockSweep::EDIT_FROM]);
}
