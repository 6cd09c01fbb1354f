#pragma once

#include "driver/SampleParameter.h"
#include "link/Clock.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace Tavik
{
class Box;
}

namespace App
{

// One run of readings from a box: writes the parameter set, starts the box and collects what
// it sends until the count is reached, the run is stopped or the box fails. Every front end
// and engine that records (the batch, the clock sweep, the command line) goes through here,
// so the streaming rules live in one place:
//
// - While the box streams, nothing but GetNextSamples and TerminateSample is sent to it: any
//   other command would drop the readings on their way.
// - A failed transaction hands back placeholders, not readings: none of them is kept.
// - A run that ends early (stopped, or the box failed) is terminated on the box, so that the
//   box takes the next command; what arrived is kept.
//
// The recording writes no history: it reports a failure as a typed Failure, and each owner
// words it in its own history. Start and Poll do one or two box transactions each and never
// wait; the owner's timer or loop calls Poll (a 200 to 300 ms tick keeps up with the box).
class Recording
{
public:
    enum State
    {
        IDLE,      // nothing started, or the readings were taken out
        STREAMING, // the box sends; Poll collects
        COMPLETE,  // the count arrived
        STOPPED,   // Stop ended it early
        FAILED,    // a box call failed; see LastFailure
    };

    enum Mode
    {
        // Until the count has arrived.
        UNTIL_COUNT,
        // Until Stop (count is ignored): the live view's and the scripts' endless stream. The
        // box runs in rounds of roundCount readings, each restarted as soon as it completes.
        // The owner drains what arrived with TakeArrived on every tick; the recording holds at
        // most kMaxUndrained readings and counts any it had to drop (View::dropped).
        UNTIL_STOP,
    };

    struct Settings
    {
        unsigned count = 0;
        unsigned delayUs = 0;
        unsigned clockHz = 0; // 0: the clock of the set stays
        Mode mode = UNTIL_COUNT;
        unsigned roundCount = 16777214; // UNTIL_STOP: readings per box run
    };

    // The box call that failed.
    enum Step
    {
        READ_PARAMETERS,  // reading the box's parameter set
        WRITE_PARAMETERS, // writing the run's
        SAMPLE,           // starting the run
        COLLECT,          // collecting what it sent
        TERMINATE,        // stopping it on Stop
    };
    struct Failure
    {
        Step step = SAMPLE;
        int status = 0;
        std::string statusText; // the box's words for the status
        bool vanished = false;  // the status says the box is no longer attached

        // A failed call of `box` at `step`, in the box's words.
        static Failure Of(const Tavik::Box& box, Step step, int status);
    };

    // No reading for this long while streaming: the run may have stalled.
    static constexpr double kStallSeconds = 3.0;
    // An endless stream's backlog when nobody drains it (64 MiB, one full batch).
    static constexpr std::size_t kMaxUndrained = 16777214;

    struct View
    {
        State state = IDLE;
        unsigned count = 0;       // asked for
        std::size_t arrived = 0;  // readings since the start, drained or not
        std::size_t dropped = 0;  // an endless stream's oldest undrained readings, dropped
        unsigned rounds = 0;      // box runs of an endless stream started so far
        double ratePerSecond = 0; // since the start; 0 before the first reading
        double secondsLeft = -1;  // at that rate; negative: unknown
        double secondsSinceReading = 0;
        bool stalled = false;
        std::optional<Failure> lastFailure;
    };

    // `box` and `clock` are borrowed and must outlive the recording. The clock times the rate
    // and stalls only.
    explicit Recording(Tavik::Box& box, const FTD2xx::Clock& clock = FTD2xx::Clock::System());
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;
    // A streaming run is terminated on the box.
    ~Recording();

    // Reads the box's parameter set, then starts as below.
    State Start(const Settings& settings);
    // Writes `base` with the settings' count, delay and clock and starts the box. A run that
    // arrives at once is COMPLETE on return. Not while streaming.
    State Start(const Settings& settings, const Tavik::SampleParameter& base);
    // One collection tick; only while streaming.
    State Poll();
    // Ends a streaming run on the box and keeps what arrived (STOPPED). A failure to
    // terminate is LastFailure, step TERMINATE; the state is STOPPED all the same.
    void Stop();

    State GetState() const { return m_State; }
    bool IsStreaming() const { return m_State == STREAMING; }
    View GetView() const;
    const std::optional<Failure>& LastFailure() const { return m_Failure; }
    // The set the run wrote, as the box took it.
    const Tavik::SampleParameter& GetParameters() const { return m_Parameters; }
    unsigned GetCount() const { return m_Settings.count; }
    Mode GetMode() const { return m_Settings.mode; }

    // What arrived and was not drained, in order; valid until the next Start, TakeArrived or
    // TakeReadings.
    std::span<const unsigned> Readings() const { return m_Buffer; }
    // Moves the buffer out (no copy) and leaves the recording IDLE.
    std::vector<unsigned> TakeReadings();
    // For streaming owners: moves what arrived since the last call into `out` (replacing its
    // contents, keeping its capacity for the next call) and keeps the run going. The
    // readings of all calls, in order, are the run without gap or repeat.
    void TakeArrived(std::vector<unsigned>& out);

private:
    State Fail(Step step, int status);
    State StartRound();
    void Append(const std::vector<unsigned>& readings);
    double SecondsSince(FTD2xx::Clock::TimePoint t) const;

    Tavik::Box& m_Box;
    const FTD2xx::Clock& m_Clock;
    State m_State = IDLE;
    Settings m_Settings;
    Tavik::SampleParameter m_Parameters;
    std::optional<Failure> m_Failure;
    std::vector<unsigned> m_Buffer;
    std::vector<unsigned> m_Arrived; // one tick's readings
    std::size_t m_Total = 0;         // arrived since the start
    std::size_t m_RoundArrived = 0;  // of the box's current run
    std::size_t m_Dropped = 0;
    unsigned m_Rounds = 0;
    FTD2xx::Clock::TimePoint m_Started{};
    FTD2xx::Clock::TimePoint m_LastArrival{};
};

} // namespace App
