// Sampling, long runs and the simulator's faults, end to end through the driver.

#include "tests/driver/SimulatorFixture.h"

#include "link/Proxy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using DriverTest::SimulatorFixture;
using FTD2xx::Clock;
using Tavik::Box;
using Tavik::SampleParameter;
using Values = std::vector<unsigned>;

namespace
{

const std::string kUnplugged = "No such device (it may have been disconnected)";

// 8 MHz, 25 data bits, 10 us: readings spaced by the delay (the frame takes 3.25 us).
constexpr auto kFastPeriod = 10us;
// The default set: 50 us (the frame, 26 clocks at 2 MHz, takes 13 us).
constexpr auto kDefaultPeriod = 50us;

class SimulatorSampling : public SimulatorFixture
{
protected:
    void SetUp() override
    {
        SimulatorFixture::SetUp();
        ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);
    }

    void FastRun(unsigned count)
    {
        SetParameters(SampleParameter::SPI_Binary, 8000000, 25, 10, count);
    }

    // The readings of a run that starts now, as the box takes them.
    Values Expected(Clock::TimePoint start, Clock::Duration period, unsigned count)
    {
        Values values(count);
        for (unsigned k = 0; k < count; ++k)
            values[k] = sim->ComputeReading(start + period * (k + 1));
        return values;
    }
};

} // namespace

TEST_F(SimulatorSampling, SingleReadingIsTheEncoderPosition)
{
    // The box was made at time 0 of the clock; 60 rpm with 13 ST bits is 8192 steps/s.
    clock.SleepUntil(Clock::TimePoint{} + 2250ms);
    Values values{7, 7};
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, Values{(2u << 13) | 2048u}); // turn 2, a quarter turn on
}

TEST_F(SimulatorSampling, PositionsAdvanceAtTheConfiguredSpeed)
{
    Values first, second;
    ASSERT_EQ(box.Sample(first), Box::OK);
    clock.Advance(500ms);
    ASSERT_EQ(box.Sample(second), Box::OK);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    // 8192 steps/s (60 rpm, 13 ST bits) over the 500 ms plus the 14 ms of quiet that the
    // second Sample waits for first.
    EXPECT_NEAR(double(second[0]) - double(first[0]), 8192 * 0.514, 1.0);
}

TEST_F(SimulatorSampling, ShortBatchArrivesInOneTransaction)
{
    SetParameters(SampleParameter::SSI_Binary, 2000000, 25, 50, 1000); // 50 ms
    const auto start = clock.Now();
    Values values;
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, Expected(start, kDefaultPeriod, 1000));
}

TEST_F(SimulatorSampling, MillionReadingsPastTheTimeoutArriveCompleteAndInOrder)
{
    sim->SetEncoder({.rpm = 1000}); // more than one step per reading: strictly increasing
    constexpr unsigned kCount = 1000000;
    FastRun(kCount);
    const auto start = clock.Now();
    Values all;
    ASSERT_EQ(box.Sample(all), Box::TIMEOUT);
    EXPECT_EQ(all.size(), 200ms / kFastPeriod);

    std::mt19937 random(4711);
    std::uniform_int_distribution<int> pause(0, 300000); // us
    Values piece;
    int calls = 0;
    while (all.size() < kCount)
    {
        // Random pauses give pieces of random size, empty ones included.
        clock.Advance(std::chrono::microseconds(pause(random)));
        ASSERT_EQ(box.GetNextSamples(piece), Box::OK);
        ASSERT_LE(all.size() + piece.size(), kCount) << "more readings than asked for";
        all.insert(all.end(), piece.begin(), piece.end());
        ++calls;
    }
    EXPECT_GT(calls, 50);
    EXPECT_FALSE(sim->IsStreaming());
    clock.Advance(1s);
    ASSERT_EQ(box.GetNextSamples(piece), Box::OK);
    EXPECT_TRUE(piece.empty());

    const Values expected = Expected(start, kFastPeriod, kCount);
    ASSERT_EQ(all.size(), expected.size());
    for (unsigned k = 0; k < kCount; ++k)
        ASSERT_EQ(all[k], expected[k]) << "reading " << k;
    for (unsigned k = 1; k < kCount; ++k)
        ASSERT_LT(all[k - 1], all[k]) << "reading " << k;
}

TEST_F(SimulatorSampling, TerminateSampleStopsARunningBatch)
{
    FastRun(100000);
    Values values;
    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    clock.Advance(300ms);
    ASSERT_EQ(box.GetNextSamples(values), Box::OK);
    EXPECT_FALSE(values.empty());
    clock.Advance(100ms);
    ASSERT_EQ(box.TerminateSample(), Box::OK);
    EXPECT_FALSE(sim->IsStreaming());
    const auto sent = sim->GetReadingsSent();
    EXPECT_LT(sent, 100000u);

    clock.Advance(2s);
    ASSERT_EQ(box.GetNextSamples(values), Box::OK);
    EXPECT_TRUE(values.empty()) << "readings not collected before terminating are dropped";
    EXPECT_EQ(sim->GetReadingsSent(), sent);

    // The box listens again.
    Box::POWER_MODE mode = Box::PWR_OFF;
    ASSERT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_INTERNAL);
}

TEST_F(SimulatorSampling, DuringARunOnlyCollectingTerminatingAndResetAreAllowed)
{
    FastRun(100000);
    Values values;
    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    const auto commands = sim->GetCommandCount();
    unsigned u = 0;
    Box::POWER_MODE pm = Box::PWR_OFF;
    Box::OUTPUT_MODE om = Box::OUT_OPEN;
    SampleParameter p;
    const std::function<int()> refused[] = {
        [&] { return box.Sample(values); },        [&] { return box.SetSampleParameter(p); },
        [&] { return box.GetSampleParameter(p); }, [&] { return box.SetPowerMode(Box::PWR_OFF); },
        [&] { return box.GetPowerMode(pm); },      [&] { return box.SetOutput(0, Box::OUT_OPEN); },
        [&] { return box.GetOutput(0, om); },      [&] { return box.SetSPIData(1); },
        [&] { return box.GetSPIData(u); },         [&] { return box.SetDataMask(0xFF); },
        [&] { return box.GetDataMask(u); },        [&] { return box.SetGrayBinaryMask(1); },
        [&] { return box.GetGrayBinaryMask(u); },  [&] { return box.ResetUsb(); },
    };
    for (const auto& command : refused)
        EXPECT_EQ(command(), Box::NOT_ALLOWED);
    EXPECT_EQ(sim->GetCommandCount(), commands) << "nothing was sent";
    EXPECT_EQ(box.GetStatusAsString(Box::FAILED),
              std::string("A sampling run is active: only GetNextSamples, TerminateSample and "
                          "Reset are allowed until it is complete or terminated."));
    clock.Advance(300ms);
    ASSERT_EQ(box.GetNextSamples(values), Box::OK);
    EXPECT_FALSE(values.empty());

    ASSERT_EQ(box.TerminateSample(), Box::OK);
    EXPECT_EQ(box.SetDataMask(0xFF), Box::OK);
    EXPECT_EQ(sim->GetDataMask(), 0xFFu);
}

TEST_F(SimulatorSampling, ACollectedRunEndsItAndResetEndsItToo)
{
    SetParameters(SampleParameter::SSI_Binary, 2000000, 25, 50, 5000); // 250 ms
    Values values, more;
    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    clock.Advance(200ms);
    ASSERT_EQ(box.GetNextSamples(more), Box::OK);
    EXPECT_EQ(values.size() + more.size(), 5000u);
    unsigned mask = 0;
    EXPECT_EQ(box.GetDataMask(mask), Box::OK);

    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    ASSERT_EQ(box.Reset(), Box::OK);
    EXPECT_EQ(box.GetDataMask(mask), Box::OK);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
}

// A program that ended in the middle of a run leaves the box streaming; the next program's
// Reset must drain it although its driver never saw the run.
TEST_F(SimulatorSampling, ResetDrainsARunThatAnotherProgramLeftStreaming)
{
    FastRun(100000);
    Values values;
    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    box.Close();

    Box next;
    ASSERT_EQ(next.Open(0), Box::OK);
    ASSERT_EQ(next.Reset(), Box::OK);
    ASSERT_EQ(next.SetDataMask(0x12345678), Box::OK);
    unsigned mask = 0;
    EXPECT_EQ(next.GetDataMask(mask), Box::OK);
    EXPECT_EQ(mask, 0x12345678u);
}

// Another program left a count of 4,000 in the box; the driver's copy says 1.
TEST_F(SimulatorSampling, ReadingsBeyondTheDriversSampleCountAreNotTakenForAReply)
{
    FastRun(1);
    auto block = sim->GetParameterBlock();
    block[4] = 4000 & 0xFF;
    block[5] = 4000 >> 8;
    sim->SetParameterBlock(block);
    Values values;
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values.size(), 1u);
    unsigned mask = 0;
    EXPECT_EQ(box.GetDataMask(mask), Box::OK);
    EXPECT_EQ(mask, sim->GetDataMask());
}

// Readings still in flight after 0xFE are never taken for the reply of the next command.
TEST_F(SimulatorSampling, EveryGetRightAfterTerminateSampleReadsTheBox)
{
    ASSERT_EQ(box.SetDataMask(0x01234567), Box::OK);
    ASSERT_EQ(box.SetGrayBinaryMask(0x00FF00FF), Box::OK);
    ASSERT_EQ(box.SetSPIData(0x0BADCAFE), Box::OK);
    ASSERT_EQ(box.SetOutput(1, Box::OUT_HIGH_UB), Box::OK);
    FastRun(100000);
    Box::POWER_MODE power = Box::PWR_OFF;
    Box::OUTPUT_MODE output = Box::OUT_OPEN;
    SampleParameter p;
    unsigned word = 0;
    const std::function<bool()> gets[] = {
        [&] { return box.GetPowerMode(power) == Box::OK && power == Box::PWR_INTERNAL; },
        [&] { return box.GetOutput(1, output) == Box::OK && output == Box::OUT_HIGH_UB; },
        [&] { return box.GetSampleParameter(p) == Box::OK && p.GetSampleCount() == 100000; },
        [&] { return box.GetDataMask(word) == Box::OK && word == 0x01234567u; },
        [&] { return box.GetGrayBinaryMask(word) == Box::OK && word == 0x00FF00FFu; },
        [&] { return box.GetSPIData(word) == Box::OK && word == 0x0BADCAFEu; },
    };
    for (std::size_t i = 0; i < std::size(gets); ++i)
    {
        Values values;
        ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
        ASSERT_EQ(box.TerminateSample(), Box::OK);
        EXPECT_TRUE(gets[i]()) << "get " << i << ": " << box.GetStatusAsString(Box::FAILED);
        ASSERT_EQ(box.GetNextSamples(values), Box::OK);
        EXPECT_TRUE(values.empty()) << "get " << i;
    }
}

// Replies 394 ms late: each one is dropped before the next command, never taken for its
// reply.
TEST_F(SimulatorSampling, LateReplyIsNotTakenForTheNextCommandsReply)
{
    sim->SetFaults({.lateReplyMs = 394});
    unsigned mask = 0;
    ASSERT_EQ(box.SetDataMask(0x12345678), Box::OK);
    EXPECT_EQ(box.GetDataMask(mask), Box::TIMEOUT);
    ASSERT_EQ(box.SetDataMask(0), Box::OK);
    EXPECT_EQ(box.GetDataMask(mask), Box::TIMEOUT) << std::hex << mask;
    EXPECT_EQ(sim->GetDataMask(), 0u);
    sim->SetFaults({});
    EXPECT_EQ(box.GetDataMask(mask), Box::OK);
    EXPECT_EQ(mask, 0u);
}

TEST_F(SimulatorSampling, GlitchFaultCorruptsEveryNthReading)
{
    sim->SetFaults({.glitchEvery = 100});
    SetParameters(SampleParameter::SSI_Binary, 2000000, 25, 50, 1000);
    const auto start = clock.Now();
    Values values;
    ASSERT_EQ(box.Sample(values), Box::OK);
    const Values clean = Expected(start, kDefaultPeriod, 1000);
    ASSERT_EQ(values.size(), clean.size());
    for (unsigned k = 0; k < 1000; ++k)
        EXPECT_EQ(values[k], (k + 1) % 100 == 0 ? clean[k] ^ (1u << 24) : clean[k]) << k;
}

TEST_F(SimulatorSampling, LateReplyGivesTimeout)
{
    sim->SetFaults({.lateReplyMs = 300});
    unsigned mask = 0x1234;
    const auto before = clock.Now();
    EXPECT_EQ(box.GetDataMask(mask), Box::TIMEOUT);
    EXPECT_EQ(clock.Now() - before, 200ms) << "the read gave up at its timeout";
    EXPECT_EQ(mask, 0x1234u);
    EXPECT_STREQ(box.GetStatusAsString(Box::TIMEOUT), "TIMEOUT");
}

TEST_F(SimulatorSampling, StalledStreamDeliversNothingMoreUntilTerminated)
{
    sim->SetFaults({.stallAfter = 5000});
    FastRun(100000);
    Values values;
    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    EXPECT_EQ(values.size(), 5000u);
    for (int i = 0; i < 10; ++i)
    {
        clock.Advance(300ms);
        ASSERT_EQ(box.GetNextSamples(values), Box::OK);
        EXPECT_TRUE(values.empty());
    }
    EXPECT_TRUE(sim->IsStreaming());
    ASSERT_EQ(box.TerminateSample(), Box::OK);
    EXPECT_FALSE(sim->IsStreaming());
}

TEST_F(SimulatorSampling, UnpluggedBoxFailsEveryLaterCallWithTheLinkText)
{
    sim->SetFaults({.unplugAtCommand = static_cast<unsigned long>(sim->GetCommandCount() + 1)});
    unsigned value = 0;
    EXPECT_EQ(box.GetSPIData(value), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(Box::FAILED), kUnplugged);
    Values values{1};
    EXPECT_EQ(box.GetNextSamples(values), Box::FAILED);
    EXPECT_EQ(values, Values{1});
    EXPECT_EQ(box.Sample(values), Box::FAILED);
    EXPECT_EQ(box.SetPowerMode(Box::PWR_OFF), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(Box::FAILED), kUnplugged);

    box.Close();
    unsigned long count = 99;
    ASSERT_EQ(box.GetConnectedDevices(count), Box::OK);
    EXPECT_EQ(count, 0u) << "an unplugged box is no longer listed";
}

TEST_F(SimulatorSampling, UnplugDuringARunEndsTheCollection)
{
    FastRun(100000);
    Values values;
    ASSERT_EQ(box.Sample(values), Box::TIMEOUT);
    sim->Unplug();
    clock.Advance(300ms);
    EXPECT_EQ(box.GetNextSamples(values), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(Box::FAILED), kUnplugged);
}

// What a program using only Tavik::Box does: list the simulated box, open it, switch the
// supply on, watch the position move, and take a batch of 100,000 readings.
TEST_F(SimulatorSampling, ProgramFindsPowersAndSamplesTheSimulatedBox)
{
    Tavik::Box program;
    unsigned long count = 0;
    box.Close();
    ASSERT_EQ(program.GetConnectedDevices(count), Box::OK);
    ASSERT_EQ(count, 1u);
    std::string serial, description;
    ASSERT_EQ(program.GetDeviceInformation(0, serial, description), Box::OK);
    EXPECT_EQ(serial, "SIM00001");
    ASSERT_EQ(program.Open(0), Box::OK);
    ASSERT_EQ(program.SetPowerMode(Box::PWR_OFF), Box::OK);
    ASSERT_EQ(program.SetPowerMode(Box::PWR_INTERNAL), Box::OK);

    Values a, b;
    ASSERT_EQ(program.Sample(a), Box::OK);
    clock.Advance(100ms);
    ASSERT_EQ(program.Sample(b), Box::OK);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_GT(b[0], a[0] + 800) << "60 rpm is 819 steps in 100 ms";

    SampleParameter p;
    p.SetMode(SampleParameter::SPI_Binary);
    p.SetFrequence(8000000);
    p.SetDataBits(1);
    p.SetDelay(10);
    p.SetSampleCount(100000);
    ASSERT_EQ(program.SetSampleParameter(p), Box::OK);
    Values batch, piece;
    const int first = program.Sample(batch);
    ASSERT_TRUE(first == Box::OK || first == Box::TIMEOUT);
    while (batch.size() < 100000)
    {
        clock.Advance(300ms);
        ASSERT_EQ(program.GetNextSamples(piece), Box::OK);
        ASSERT_FALSE(piece.empty());
        batch.insert(batch.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(batch.size(), 100000u);
}

// The same through the default device list with a simulator, on the real clock.
TEST(SimulatorDefaultList, BoxListsAndReadsTheSimulatorAfterTheRealDevices)
{
    FTD2xx::SimulatorConfig simulator;
    simulator.boxes = 1;
    FTD2xx::Proxy::UseDefaultProviders(simulator);
    auto previous = Box::SetSleepFunction([](unsigned) {});
    {
        Tavik::Box box;
        unsigned long count = 0;
        ASSERT_EQ(box.GetConnectedDevices(count), Box::OK);
        ASSERT_GE(count, 1u);
        const int last = static_cast<int>(count) - 1; // simulated boxes come last
        std::string serial, description;
        ASSERT_EQ(box.GetDeviceInformation(last, serial, description), Box::OK);
        EXPECT_EQ(serial, "SIM00001");
        ASSERT_EQ(box.Open(last), Box::OK);
        ASSERT_EQ(box.SetPowerMode(Box::PWR_OFF), Box::OK);
        ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);

        // Real time passes between two readings; the encoder (60 rpm, 8192 steps a turn)
        // moves by what the time between them allows, measured around each reading.
        using Steady = std::chrono::steady_clock;
        Values a, b;
        const auto beforeA = Steady::now();
        ASSERT_EQ(box.Sample(a), Box::OK);
        const auto afterA = Steady::now();
        std::this_thread::sleep_for(20ms); // let the encoder turn
        const auto beforeB = Steady::now();
        ASSERT_EQ(box.Sample(b), Box::OK);
        const auto afterB = Steady::now();
        ASSERT_EQ(a.size(), 1u);
        ASSERT_EQ(b.size(), 1u);
        const auto seconds = [](Steady::duration d)
        { return std::chrono::duration<double>(d).count(); };
        const double step = double((b[0] - a[0]) & 0x1FFFFFF);
        EXPECT_GE(step, seconds(beforeB - afterA) * 8192.0 - 1.0);
        EXPECT_LE(step, seconds(afterB - beforeA) * 8192.0 + 1.0);
    }
    Box::SetSleepFunction(previous);
    FTD2xx::Proxy::UseDefaultProviders();
}
