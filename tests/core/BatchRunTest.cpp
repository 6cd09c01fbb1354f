// The batch recording on a simulated box, in virtual time: texts, the run's end in every way it
// can end, and the check.
#include "app/core/BatchRun.h"
#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/RunAnalysis.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/SimulatorProvider.h"
#include "tests/core/PoweredSimulatedBox.h"
#include "tests/fakes/FakeDevice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace App;
using Tavik::Box;
using testing::ElementsAre;

namespace
{

class BatchRunTest : public PoweredSimulatedBox
{
protected:
    void SetUp() override
    {
        PoweredSimulatedBox::SetUp();
        Tavik::SampleParameter p;
        ASSERT_EQ(m_Box.GetSampleParameter(p), Box::OK);
        p.SetFrequence(1000000);
        ASSERT_EQ(m_Box.SetSampleParameter(p), Box::OK);
        m_Run.Open();
        m_Sink.TakeNew();
    }

    static BatchSettings Count(unsigned count)
    {
        BatchSettings settings;
        settings.count = count;
        return settings;
    }
    void Start(unsigned count) { m_Run.Start(Count(count)); }
    std::vector<unsigned> Buffer() const
    {
        return {m_Run.GetBuffer().begin(), m_Run.GetBuffer().end()};
    }
    // One 300 ms tick.
    void Tick()
    {
        m_Clock.Advance(std::chrono::milliseconds(300));
        m_Run.Poll();
    }
    std::string Status() { return m_Box.GetStatusAsString(Box::FAILED); }

    VectorSink m_Sink;
    BatchRun m_Run{m_Box, m_Sink, 13, 12, false, m_Clock};
};

TEST_F(BatchRunTest, OpeningWithoutParameterSetIsABoxError)
{
    Sim().Unplug();
    m_Run.Open();
    EXPECT_EQ(m_Run.GetState(), BatchRun::BATCH_BOX_ERROR);
    EXPECT_THAT(m_Sink.TakeNew(),
                ElementsAre("Error: Error while reading sample parameter.", "    " + Status()));
    EXPECT_FALSE(m_Run.Start({}));
    EXPECT_TRUE(m_Sink.TakeNew().empty());
}

TEST_F(BatchRunTest, MinimumDelayWarningAtAndBelowTheMinimum)
{
    // (13 + 12 + 1) clocks at 1 MHz plus 20 us.
    m_Run.WarnAboutDelay(46);
    EXPECT_THAT(m_Sink.TakeNew(),
                ElementsAre("Warning while checking sample delay parameter:",
                            "    46 us is the minimum Sample Delay to observe the specification at "
                            "SSI Clock Frequence of 1000000 Hz."));
    m_Run.WarnAboutDelay(47);
    EXPECT_TRUE(m_Sink.TakeNew().empty());
}

TEST_F(BatchRunTest, ValuesOutsideTheirRangeAreNamedAndStopARun)
{
    const struct
    {
        BatchValue value;
        unsigned bad[2];
        unsigned good;
        const char* error;
    } cases[] = {
        {BATCH_DELAY, {9, 4096}, 4095, "The sample delay takes 10 to 4,095 us."},
        {BATCH_COUNT, {0, 16777215}, 16777214, "The sample count takes 1 to 16,777,214 readings."},
        {BATCH_MT_STEP, {0, 100}, 99, "The MT step size takes 1 to 99."},
        {BATCH_ST_STEP, {0, 100}, 1, "The ST step size takes 1 to 99."},
    };
    for (const auto& c : cases)
    {
        for (const unsigned bad : c.bad)
        {
            EXPECT_EQ(CheckBatchValue(c.value, bad), c.error);
            BatchSettings settings = Count(100);
            SetBatchValue(settings, c.value, bad);
            EXPECT_FALSE(m_Run.Start(settings)) << bad;
            EXPECT_EQ(m_Run.GetView().progressMax, 0u) << bad;
        }
        EXPECT_EQ(CheckBatchValue(c.value, c.good), "");
    }
    EXPECT_EQ(CheckBatchValue(BATCH_ERROR_LIMIT, 0xFFFFFFFFu), "");
    EXPECT_TRUE(m_Sink.TakeNew().empty());
}

TEST_F(BatchRunTest, ShortRunIsCheckedAtOnce)
{
    Start(100);
    EXPECT_EQ(m_Run.GetState(), BatchRun::BATCH_READY);
    EXPECT_EQ(m_Run.GetBuffer().size(), 100u);
    EXPECT_TRUE(m_Run.GetView().results[BatchRun::RESULT_ST_STEP].shown);
    const std::vector<std::string> lines = m_Sink.TakeNew();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "Setting sample parameter. Set sample count to 100.");
    EXPECT_EQ(lines.back(), "Check finished");
}

TEST_F(BatchRunTest, LongRunIsCollectedTickByTick)
{
    Start(100000);
    ASSERT_EQ(m_Run.GetState(), BatchRun::BATCH_SAMPLING);
    EXPECT_THAT(m_Sink.TakeNew(),
                ElementsAre("Setting sample parameter. Set sample count to 100000."));
    EXPECT_EQ(m_Run.GetDelay(), 50u);
    // The progress shows in the view with rate and time left; the history gets the end only.
    Tick();
    const BatchRun::View view = m_Run.GetView();
    ASSERT_EQ(m_Run.GetState(), BatchRun::BATCH_SAMPLING);
    EXPECT_EQ(view.progressPos, m_Run.GetBuffer().size());
    EXPECT_NEAR(view.ratePerSecond, 20000, 400); // 50 us apart
    EXPECT_NEAR(view.secondsLeft, double(100000 - view.progressPos) / view.ratePerSecond, 1e-6);
    EXPECT_FALSE(view.stalled);
    EXPECT_TRUE(m_Sink.TakeNew().empty());
    while (m_Run.GetState() == BatchRun::BATCH_SAMPLING)
        Tick();
    EXPECT_EQ(m_Sink.TakeNew().front(), "All 100000 measurements read.");
    EXPECT_EQ(m_Run.GetBuffer().size(), 100000u);
    EXPECT_EQ(m_Run.GetView().progressMax, 100000u);
    EXPECT_TRUE(m_Run.GetResult().Passed());
}

// The box spaces readings by the delay: durations and speeds from a simulated run are the
// simulated encoder's.
TEST_F(BatchRunTest, AnalysisOfASimulatedRunGivesTheEncodersSpeed)
{
    Start(10000);
    while (m_Run.GetState() == BatchRun::BATCH_SAMPLING)
        Tick();
    ASSERT_EQ(m_Run.GetBuffer().size(), 10000u);
    AnalysisConfig config;
    config.delayUs = m_Run.GetDelay();
    const Analysis analysis = AnalyseRun(m_Run.GetBuffer(), config);
    EXPECT_NEAR(analysis.st.rpm, 60.0, 0.6);
}

TEST_F(BatchRunTest, FailedParameterSetIsReported)
{
    UnplugAfter(1); // the set is read, writing it fails
    Start(10000);
    EXPECT_EQ(m_Run.GetState(), BatchRun::BATCH_READY);
    EXPECT_THAT(m_Sink.TakeNew(), ElementsAre("Error: Error while setting sample parameter. Set "
                                              "sample count to 10000.",
                                              "    " + Status()));
}

TEST_F(BatchRunTest, UnplugInARunKeepsWhatArrived)
{
    Start(100000);
    Tick();
    const std::vector<unsigned> arrived = Buffer();
    ASSERT_GT(arrived.size(), 0u);
    m_Sink.TakeNew();
    Sim().Unplug();
    Tick();
    EXPECT_EQ(m_Run.GetState(), BatchRun::BATCH_READY);
    EXPECT_THAT(m_Sink.TakeNew(),
                ElementsAre("Error: Error while reading sampled measurements from box.",
                            "    " + Status()));
    EXPECT_EQ(Buffer(), arrived);
    EXPECT_TRUE(m_Run.BoxVanished());
    m_Run.Check();
    EXPECT_TRUE(m_Run.GetView().results[BatchRun::RESULT_ST_TURNS].shown);
}

TEST_F(BatchRunTest, StalledRunSaysSoAndStopKeepsWhatArrivedForCheckAndSave)
{
    FTD2xx::SimulatorFaults faults;
    faults.stallAfter = 5000;
    Sim().SetFaults(faults);
    Start(100000);
    for (int tick = 0; tick < 3; ++tick)
        Tick();
    ASSERT_EQ(m_Run.GetBuffer().size(), 5000u);
    EXPECT_FALSE(m_Run.GetView().stalled);
    for (int tick = 0; tick < 10; ++tick)
        Tick();
    EXPECT_TRUE(m_Run.GetView().stalled);
    EXPECT_GE(m_Run.GetView().secondsSinceReading, BatchRun::kStallSeconds);
    m_Sink.TakeNew();

    m_Run.Stop();
    EXPECT_THAT(m_Sink.TakeNew(), ElementsAre("Sampling stopped: 5,000 of 100,000 readings kept."));
    EXPECT_EQ(m_Run.GetBuffer().size(), 5000u);
    EXPECT_TRUE(m_Run.NeedsSave());
    m_Run.Check();
    EXPECT_EQ(m_Run.GetView().verdict.kind, Verdict::PASSED);

    m_Sink.TakeNew();
    const std::string path = testing::TempDir() + "stalled.log";
    ASSERT_EQ(m_Run.Save(path), BatchFile::BATCH_FILE_OK);
    EXPECT_THAT(m_Sink.TakeNew(), ElementsAre("Saved 5,000 readings to " + path + "."));
    EXPECT_FALSE(m_Run.NeedsSave());
    EXPECT_EQ(m_Run.Summary(), "Batch Sample closed: 5,000 readings, 50 us apart, check passed, "
                               "saved to " +
                                   path + ".");
}

TEST_F(BatchRunTest, RunThatCannotBeCheckedIsNeitherPassedNorFailed)
{
    FTD2xx::SimulatorFaults faults;
    faults.dead = FTD2xx::SimulatorFaults::DEAD_ONES;
    Sim().SetFaults(faults);
    Start(100);
    BatchRun::View view = m_Run.GetView();
    EXPECT_TRUE(m_Run.GetResult().Passed()); // the tester alone sees nothing wrong
    EXPECT_EQ(view.verdict.kind, Verdict::NOT_CHECKED);
    EXPECT_EQ(view.verdict.Text(0), "not checked: no encoder answering");
    for (const BatchRun::Field& field : view.results)
        EXPECT_TRUE(field.shown && field.grey);
    EXPECT_EQ(m_Run.Summary(), "Batch Sample closed: 100 readings, 50 us apart, check not "
                               "checked: no encoder answering, not saved.");

    Sim().SetFaults({});
    Start(2);
    view = m_Run.GetView();
    EXPECT_EQ(view.verdict.kind, Verdict::NOT_CHECKED);
    EXPECT_EQ(view.verdict.reason, "fewer than 3 readings");
    EXPECT_TRUE(view.results[BatchRun::RESULT_ST_MONOTONY].grey);
}

TEST_F(BatchRunTest, FailedSampleKeepsNoPlaceholders)
{
    UnplugAfter(2); // read and write the set, then the sampling command fails
    Start(100000);
    EXPECT_EQ(m_Run.GetState(), BatchRun::BATCH_READY);
    EXPECT_FALSE(m_Run.HasReadings());
    const std::vector<std::string> lines = m_Sink.TakeNew();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Error: Error while reading sampled measurements from box.");
}

TEST_F(BatchRunTest, StopEndsTheRunOnTheBoxAndReportsAFailure)
{
    Start(100000);
    ASSERT_TRUE(Sim().IsStreaming());
    m_Run.Stop();
    EXPECT_FALSE(Sim().IsStreaming());
    EXPECT_EQ(m_Run.GetState(), BatchRun::BATCH_READY);

    Start(100000);
    Sim().Unplug();
    m_Sink.TakeNew();
    m_Run.Stop();
    EXPECT_THAT(m_Sink.TakeNew(),
                ElementsAre("Error: Error while terminating sample processing." + Status(),
                            testing::StartsWith("Sampling stopped: ")));
}

TEST_F(BatchRunTest, DummyDataIsSixteenToFFFF)
{
    m_Run.LoadDummyData();
    const std::span<const unsigned> buffer = m_Run.GetBuffer();
    ASSERT_EQ(buffer.size(), 65520u);
    EXPECT_EQ(buffer.front(), 16u);
    EXPECT_EQ(buffer.back(), 65535u);
}

} // namespace

namespace
{

struct SimulatedFault
{
    const char* name;
    void (*set)(FTD2xx::SimulatorFaults&);
    EventClass cls;
};

class BatchRunFaultTest : public BatchRunTest, public testing::WithParamInterface<SimulatedFault>
{
};

TEST_P(BatchRunFaultTest, CheckFindsTheFaultsClassAndSaysSo)
{
    FTD2xx::SimulatorFaults faults;
    GetParam().set(faults);
    Sim().SetFaults(faults);
    FTD2xx::EncoderModel encoder;
    encoder.gray = true; // raw Gray readings: the box runs in binary mode
    Sim().SetEncoder(encoder);
    BatchRun run(m_Box, m_Sink, 13, 12, true);
    run.Open();
    run.Start(Count(10000));
    for (int tick = 0; tick < 20 && run.GetState() == BatchRun::BATCH_SAMPLING; ++tick)
    {
        m_Clock.Advance(std::chrono::milliseconds(300));
        run.Poll();
    }
    ASSERT_EQ(run.GetBuffer().size(), 10000u);
    const Analysis& a = run.GetAnalysis();
    ASSERT_GT(a.classes[GetParam().cls].count, 0u);
    const std::vector<std::string> lines = m_Sink.TakeNew();
    const std::string prefix = std::string(EventClassName(GetParam().cls)) + ": ";
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "Check finished");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.starts_with(prefix); }));
}

INSTANTIATE_TEST_SUITE_P(
    Simulator, BatchRunFaultTest,
    testing::Values(SimulatedFault{"stuck", [](FTD2xx::SimulatorFaults& f) { f.stuckEvery = 3000; },
                                   EVENT_STUCK},
                    SimulatedFault{"slip", [](FTD2xx::SimulatorFaults& f) { f.slipEvery = 3000; },
                                   EVENT_OUT_OF_STEP},
                    SimulatedFault{"graybit",
                                   [](FTD2xx::SimulatorFaults& f) { f.grayBitEvery = 3000; },
                                   EVENT_GRAY_FAULT},
                    SimulatedFault{"deadones",
                                   [](FTD2xx::SimulatorFaults& f)
                                   { f.dead = FTD2xx::SimulatorFaults::DEAD_ONES; },
                                   EVENT_ALL_ONES},
                    SimulatedFault{"deadzeros",
                                   [](FTD2xx::SimulatorFaults& f)
                                   { f.dead = FTD2xx::SimulatorFaults::DEAD_ZEROS; },
                                   EVENT_ALL_ZEROS}),
    [](const testing::TestParamInfo<SimulatedFault>& info) { return info.param.name; });

} // namespace
