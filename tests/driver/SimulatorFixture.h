#pragma once

#include "driver/Box.h"
#include "driver/SampleParameter.h"
#include "link/Clock.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorProvider.h"
#include "tests/fakes/FakeDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace DriverTest
{

// A Box opened on simulated box "SIM00001", on a clock that only the test (and the
// simulator's waits) move. Open's 400 ms settle time passes on that clock too.
class SimulatorFixture : public ::testing::Test
{
protected:
    explicit SimulatorFixture(unsigned boxes = 1)
        : provider(std::make_shared<FTD2xx::SimulatorProvider>(Config(boxes), clock)),
          providers({provider}), sim(provider->GetBox(0))
    {
        previousSleep = Tavik::Box::SetSleepFunction(
            [this](unsigned int ms) { clock.Advance(std::chrono::milliseconds(ms)); });
    }
    ~SimulatorFixture() override { Tavik::Box::SetSleepFunction(previousSleep); }

    void SetUp() override { ASSERT_EQ(box.Open(0), Tavik::Box::OK) << box.GetStatusAsString(1); }

    static FTD2xx::SimulatorConfig Config(unsigned boxes)
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = boxes;
        return config;
    }

    // Writes a parameter set: mode, frequency (Hz), data bits, delay (us), sample count.
    void SetParameters(Tavik::SampleParameter::SERIAL_MODE mode, unsigned hz, unsigned bits,
                       unsigned delayUs, unsigned count)
    {
        Tavik::SampleParameter p;
        p.SetMode(mode);
        p.SetFrequence(hz);
        p.SetDataBits(bits);
        p.SetDelay(delayUs);
        p.SetSampleCount(count);
        ASSERT_EQ(box.SetSampleParameter(p), Tavik::Box::OK) << box.GetStatusAsString(1);
    }

    FTD2xx::ManualClock clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> provider;
    LinkFake::ScopedProviders providers;
    std::shared_ptr<FTD2xx::SimulatedBox> sim;
    Tavik::Box::SleepFunction previousSleep;
    Tavik::Box box;
};

} // namespace DriverTest
