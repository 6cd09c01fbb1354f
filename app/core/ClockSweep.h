#pragma once

#include "app/core/Recording.h"
#include "driver/SampleParameter.h"
#include "link/Clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Tavik
{
class Box;
}

namespace App
{
class HistorySink;

// Finds the fastest clean clock for the attached encoder and cable: at each selectable clock
// of a range, from the lowest up, the box takes a short batch, the run analysis counts its
// faults and the sweep keeps their rate. Only the clock, the sample count and the delay are
// changed; the box's own parameter set is written back at the end, also when the sweep is stopped
// or fails.
//
// Step-wise, for front ends: Start, then Poll from a timer or a loop until the state is no
// longer SWEEP_RUNNING; Stop at any time. Each clock's batch is a Recording, which keeps the
// streaming rules.
class ClockSweep
{
public:
    enum State
    {
        SWEEP_IDLE = 0,
        SWEEP_RUNNING = 1,
        SWEEP_DONE = 2,
        SWEEP_STOPPED = 3,
        SWEEP_FAILED = 4, // the box failed; the failure is in the history
    };

    struct Settings
    {
        unsigned fromHz = 250000;
        unsigned toHz = 2000000;
        unsigned count = 10000;
        unsigned delayUs = 0; // 0: the minimum safe delay of each clock
    };

    struct Point
    {
        unsigned hz = 0;
        unsigned delayUs = 0;
        std::size_t readings = 0;
        std::uint64_t errors = 0;
        bool done = false;
        double Rate() const { return readings ? double(errors) / double(readings) : 0.0; }
    };

    struct Recommendation
    {
        bool valid = false;        // at least one clock was checked
        unsigned highestClean = 0; // 0: not even the lowest clock was clean
        unsigned clock = 0;        // the clock to use; 0 when none
        std::string text;
    };

    struct View
    {
        State state = SWEEP_IDLE;
        std::string lastError; // the last failure, as the history has it
        std::size_t done = 0;  // checked clocks
        std::vector<Point> points;
        unsigned readingsMax = 0; // of the current clock
        std::size_t readingsPos = 0;
        Recommendation recommendation;
    };

    // `box` and `sink` are borrowed and must outlive the sweep. The bit counts and the Gray
    // flag split and check the readings, as for a batch.
    ClockSweep(Tavik::Box& box, HistorySink& sink, unsigned stBits, unsigned mtBits, bool gray,
               const FTD2xx::Clock& clock = FTD2xx::Clock::System());
    ClockSweep(const ClockSweep&) = delete;
    ClockSweep& operator=(const ClockSweep&) = delete;

    // The selectable clocks from `fromHz` to `toHz`, ascending.
    static std::vector<unsigned> Frequencies(unsigned fromHz, unsigned toHz);
    // The next lower selectable clock; the lowest for the lowest.
    static unsigned StepBelow(unsigned hz);
    // The smallest delay that keeps the clock's pause between readings, in us.
    static unsigned MinimumDelay(unsigned clocks, unsigned hz);
    // From the points checked so far, in ascending order. GetView recommends only from a
    // complete sweep: a stopped or failed one says so instead.
    static Recommendation Recommend(const std::vector<Point>& points);

    // Empty when the settings can be swept, else why not.
    static std::string CheckSettings(const Settings& settings);

    // The four edits of a front end (from, to, count, delay) read strictly: digits only.
    enum Edit
    {
        EDIT_FROM,
        EDIT_TO,
        EDIT_COUNT,
        EDIT_DELAY,
    };
    struct TextCheck
    {
        Settings settings;
        std::array<bool, 4> valid{true, true, true, true};
        std::string reason; // empty when all are valid
    };
    static TextCheck CheckTexts(const std::array<std::string, 4>& texts);
    // False, with an error line, when CheckSettings objects or the box's parameter set
    // cannot be read. Not while running.
    bool Start(const Settings& settings);
    void Poll();
    void Stop();

    State GetState() const { return m_State; }
    // A failure of the box said it is no longer attached.
    bool BoxVanished() const { return m_BoxVanished; }
    // A batch is on its way: the next poll collects, so a caller may wait before it.
    bool IsStreaming() const { return m_Recording.IsStreaming(); }
    View GetView() const;

private:
    void Fail(const std::string& what, const Recording::Failure& failure);
    void Error(const std::string& text, const Recording::Failure& failure);
    void Begin();   // the batch of the current clock
    void Collect(); // one collection tick of it
    void Settle(Recording::State state);
    void Finish(); // checks it and goes on with the next clock
    void Restore();
    std::string Status(int status) const;

    Tavik::Box& m_Box;
    HistorySink& m_Sink;
    const unsigned m_StBits;
    const unsigned m_MtBits;
    const bool m_Gray;

    State m_State = SWEEP_IDLE;
    std::string m_LastError;
    bool m_BoxVanished = false;
    Settings m_Settings;
    Tavik::SampleParameter m_Own; // the box's set before the sweep
    std::vector<Point> m_Points;
    std::size_t m_Current = 0;
    Recording m_Recording;
};

} // namespace App
