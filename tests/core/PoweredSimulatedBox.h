#pragma once

// A simulated box, opened and powered, on a manual clock that the driver's waits advance: runs
// of readings take virtual time only.

#include "driver/Box.h"
#include "link/Clock.h"
#include "link/SimulatorProvider.h"
#include "tests/fakes/FakeDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

class PoweredSimulatedBox : public ::testing::Test
{
protected:
    PoweredSimulatedBox()
        : m_Provider(std::make_shared<FTD2xx::SimulatorProvider>(Config(), m_Clock)),
          m_Providers({m_Provider})
    {
        m_PreviousSleep = Tavik::Box::SetSleepFunction(
            [this](unsigned ms) { m_Clock.Advance(std::chrono::milliseconds(ms)); });
    }
    ~PoweredSimulatedBox() override { Tavik::Box::SetSleepFunction(m_PreviousSleep); }

    void SetUp() override
    {
        ASSERT_EQ(m_Box.Open(0), Tavik::Box::OK);
        ASSERT_EQ(m_Box.SetPowerMode(Tavik::Box::PWR_INTERNAL), Tavik::Box::OK);
    }

    FTD2xx::SimulatedBox& Sim() { return *m_Provider->GetBox(0); }
    // The simulated box vanishes on the command after the next `commands`.
    void UnplugAfter(unsigned commands)
    {
        FTD2xx::SimulatorFaults faults;
        faults.unplugAtCommand = Sim().GetCommandCount() + commands + 1;
        Sim().SetFaults(faults);
    }

    FTD2xx::ManualClock m_Clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> m_Provider;
    LinkFake::ScopedProviders m_Providers;
    Tavik::Box::SleepFunction m_PreviousSleep;
    Tavik::Box m_Box;

private:
    static FTD2xx::SimulatorConfig Config()
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = 1;
        return config;
    }
};
