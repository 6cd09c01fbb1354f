#pragma once

#include "app/core/BatchFile.h"
#include "app/core/CodeTester.h"
#include "app/core/Recording.h"
#include "app/core/Run.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunSettings.h"
#include "app/core/Verdict.h"
#include "link/Clock.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace Tavik
{
class Box;
}

namespace App
{
class HistorySink;

// The numbers a batch takes, with the range each accepts.
struct BatchSettings
{
    unsigned delayUs = 50;
    unsigned count = 10000;
    CheckSettings check;

    bool operator==(const BatchSettings&) const = default;
};

// The values of BatchSettings as a front end asks for them, in the batch dialog's order.
enum BatchValue
{
    BATCH_DELAY,
    BATCH_COUNT,
    BATCH_MT_STEP,
    BATCH_ST_STEP,
    BATCH_ERROR_LIMIT,
};
inline constexpr std::size_t kBatchValues = 5;

// A value's range, its start value, the digits an edit takes and the words for a value out of
// range. The only place these are written: the dialog, its form and the command line read
// them from here.
struct BatchValueRange
{
    const char* name; // the command line's option, without "--"
    const char* what; // for help texts: "microseconds between readings"
    unsigned min;
    unsigned max;
    unsigned start;
    int maxChars;
    const char* error; // "The sample delay takes 10 to 4,095 us."
};
const BatchValueRange& BatchRange(BatchValue value);
// The error text when `number` is out of the value's range, else empty.
std::string CheckBatchValue(BatchValue value, unsigned number);
unsigned BatchValueOf(const BatchSettings& settings, BatchValue value);
void SetBatchValue(BatchSettings& settings, BatchValue value, unsigned number);

// One batch recording on a box: a Recording collects a timed run of readings into the batch's
// buffer, the run is checked (code tester and run analysis) and saved. Every message goes to
// the sink. A front end forwards the user's actions (Start with the settings, the collection
// tick, Check again, Exit, Save Buffer) and renders GetView(); the batch dialog calls Poll()
// from its 300 ms timer, a command-line tool calls it in a loop.
class BatchRun
{
public:
    enum State
    {
        BATCH_READY = 1,
        BATCH_SAMPLING = 2,
        BATCH_CHECKING = 3,
        BATCH_BOX_ERROR = 4, // the parameter set could not be read on opening
    };

    enum ResultField
    {
        RESULT_MT_MONOTONY,
        RESULT_ST_MONOTONY,
        RESULT_MT_STEP,
        RESULT_ST_STEP,
        RESULT_MT_TURNS,
        RESULT_ST_TURNS,
    };
    static constexpr std::size_t kResultFields = 6;
    struct Field
    {
        bool shown = false; // false: cleared, no colour
        bool ok = false;    // green when shown and ok, red when shown and not
        bool grey = false;  // shown, but the run could not be checked: neither green nor red
        std::string text;   // the turn counters, and the error counters, in decimal
    };

    static constexpr double kStallSeconds = Recording::kStallSeconds;

    // Everything a front end shows.
    struct View
    {
        State state = BATCH_READY;
        unsigned progressMax = 0;    // the run's sample count
        std::size_t progressPos = 0; // readings in the buffer
        std::array<Field, kResultFields> results{};
        bool checked = false; // results and verdict are those of a check
        Verdict verdict;
        // While sampling: readings per second since the start (0 before the first), the time
        // left at that rate (negative: unknown), and whether no reading came for a while.
        double ratePerSecond = 0;
        double secondsLeft = -1;
        double secondsSinceReading = 0;
        bool stalled = false;
    };

    // `box`, `sink` and `clock` are borrowed and must outlive the run. The bit counts and the
    // Gray flag are those of the opener. The clock times the run's rate and stalls.
    BatchRun(Tavik::Box& box, HistorySink& sink, unsigned stBits, unsigned mtBits, bool gray,
             const FTD2xx::Clock& clock = FTD2xx::Clock::System());
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    // Start check settings, results cleared, BATCH_READY; then reads the clock frequency from the
    // box (BATCH_BOX_ERROR on failure).
    void Open();

    // The warning a delay at or below the minimum for the bit count and clock gets (none
    // before Open has read the clock).
    void WarnAboutDelay(unsigned delayUs);
    // What the next check takes: the automatic one at a run's end, and Check().
    void SetCheckSettings(const CheckSettings& check) { m_CheckSettings = check; }
    const CheckSettings& GetCheckSettings() const { return m_CheckSettings; }

    // "Start": only in BATCH_READY, and only with settings in their ranges (false otherwise).
    // Writes the parameter set and starts the box; a run that arrives at once is checked at
    // once, a longer one goes on in BATCH_SAMPLING.
    bool Start(const BatchSettings& settings);
    // One collection tick: only in BATCH_SAMPLING. Appends what arrived; a complete run is
    // checked, a link failure ends the run and keeps what arrived.
    void Poll();
    // Runs the code tester over the buffer and shows its results and messages.
    void Check();
    // "Stop", and "Exit" while a run streams: stops it on the box. The buffer keeps what
    // arrived, to be checked and saved.
    void Stop();
    // Forgets the last check's results (Start does this first).
    void ClearResults();
    // Fills the buffer with 16 to 65535 ascending (a test aid).
    void LoadDummyData();

    bool HasReadings() const { return !GetBuffer().empty(); }
    // Readings that no save has written since they arrived.
    bool NeedsSave() const { return HasReadings() && !m_Saved; }
    // The box answered a failure that says it is no longer attached.
    bool BoxVanished() const { return m_BoxVanished; }
    // One line on how the dialog leaves its run, for the main window's history.
    std::string Summary() const;
    // The box and program a saved run names; Start adds the run's count, delay and start time.
    void SetSettings(const RunSettings& settings) { m_Settings = settings; }
    const RunSettings& GetSettings() const { return m_Settings; }
    // Writes the buffer in the type the path's extension names (see WriteRunFile), with the
    // line "Saved N readings to FILE." when it was written.
    BatchFile::Error Save(const std::string& path, const BatchFile::Progress& progress = {});

    State GetState() const { return m_State; }
    View GetView() const;
    // What arrived so far while sampling, else the batch's readings.
    std::span<const unsigned> GetBuffer() const;
    // The buffer with the settings it was recorded with, for the tester, the analysis, a file.
    Run GetRun() const;
    unsigned GetDelay() const { return m_Delay; }
    unsigned GetFrequency() const { return m_Frequency; }
    const CodeTester::Result& GetResult() const { return m_Check.result; }
    // The analysis of the last check; empty before the first.
    const Analysis& GetAnalysis() const { return m_Check.analysis; }
    AnalysisConfig GetAnalysisConfig() const;

private:
    // The error line of a failed recording step; notes a box that vanished.
    void BoxError(const std::string& what, const Recording::Failure& failure);
    // The recording ended: its readings become the batch's.
    void TakeRecording();

    Tavik::Box& m_Box;
    HistorySink& m_Sink;
    const unsigned m_StBits;
    const unsigned m_MtBits;
    const bool m_Gray;

    State m_State = BATCH_READY;
    unsigned m_Frequency = 0;
    unsigned m_Delay = 0; // of the current run, in us
    unsigned m_Count = 0; // of the current run
    Recording m_Recording;
    std::vector<unsigned> m_Buffer;
    CheckSettings m_CheckSettings;
    RunSettings m_Settings;
    RunCheck m_Check;
    bool m_HasResult = false;
    bool m_Saved = false;
    std::string m_SavedPath;
    bool m_BoxVanished = false;
};

} // namespace App
