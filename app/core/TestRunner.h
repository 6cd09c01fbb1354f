#pragma once

#include "app/core/ClockSweep.h"
#include "app/core/Recording.h"
#include "app/core/TestPlan.h"
#include "app/core/TestRecord.h"
#include "link/Clock.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace Tavik
{
class Box;
}

namespace App
{
class HistorySink;

// Runs a test plan against a box for one unit and fills its record. The box's own settings
// (parameter set, masks, SPI word, supply) are read first and written back at the end,
// whatever happens: a pass, a failure, a failing box or Stop.
//
// Step-wise, for front ends: Start, then Poll from a timer or a loop while IsRunning; Stop
// at any time. Each step's readings come through a Recording, a sweep step is a ClockSweep,
// so the streaming rules hold; no call waits for long.
class TestRunner
{
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    struct View
    {
        bool running = false;
        std::size_t step = 0;  // the current step's index
        std::size_t steps = 0; // in the plan
        std::string stepName;
        unsigned attempt = 0;
        std::size_t readingsPos = 0; // of the current batch
        std::size_t readingsMax = 0;
    };

    // `box` and `sink` are borrowed and must outlive the runner. `clock` times the readings'
    // rate and stalls, `wall` gives the record's start and end.
    TestRunner(Tavik::Box& box, HistorySink& sink,
               const FTD2xx::Clock& clock = FTD2xx::Clock::System(),
               WallClock wall = std::chrono::system_clock::now);
    TestRunner(const TestRunner&) = delete;
    TestRunner& operator=(const TestRunner&) = delete;
    ~TestRunner();

    // Starts the plan. False when it ended at once (the box's settings could not be read or
    // set): the record then holds outcome ERROR. Not while running.
    bool Start(const TestPlan& plan, const TestUnit& unit, const std::string& programVersion);
    void Poll();
    // Ends the run as ABORTED and restores the box's settings.
    void Stop();

    bool IsRunning() const { return m_Running; }
    // A batch is on its way: the next poll collects, so a caller may wait before it.
    bool IsStreaming() const;
    // A failure said the box is no longer attached.
    bool BoxVanished() const { return m_BoxVanished; }
    // The box's own settings could not all be written back.
    bool RestoreFailed() const { return m_RestoreFailed; }
    View GetView() const;
    // Complete once the run has ended.
    const TestRecord& Record() const { return m_Record; }

private:
    void BeginAttempt();
    void Settle(Recording::State state);
    void Evaluate();
    void SweepEnded();
    void EndAttempt(TestOutcome outcome);
    void StepError(const std::string& text, bool vanished);
    void SkipRest(const std::string& why);
    void Finish();
    bool Apply();
    void Restore();
    bool Check(int status, const std::string& what);
    StepResult& Current() { return m_Record.steps[m_Step]; }
    const PlanStep& CurrentStep() const { return m_Plan.steps[m_Step]; }

    Tavik::Box& m_Box;
    HistorySink& m_Sink;
    const FTD2xx::Clock& m_Clock;
    WallClock m_Wall;
    Recording m_Recording;
    std::unique_ptr<ClockSweep> m_Sweep;

    TestPlan m_Plan;
    TestRecord m_Record;
    std::size_t m_Step = 0;
    bool m_Running = false;
    bool m_Stopped = false;
    bool m_BoxVanished = false;
    bool m_RestoreFailed = false;
    bool m_BoxError = false; // a call for the box's settings failed
    bool m_HasReadingsOfBatch = false;

    // The box's own settings, to be written back; valid once m_Saved.
    bool m_Saved = false;
    Tavik::SampleParameter m_Own;
    unsigned m_OwnDataMask = 0;
    unsigned m_OwnGrayMask = 0;
    unsigned m_OwnSpiWord = 0;
    Tavik::Box::POWER_MODE m_OwnSupply = Tavik::Box::PWR_OFF;
    Tavik::SampleParameter m_Base; // the plan's set
};

} // namespace App
