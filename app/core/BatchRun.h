#pragma once

#include "app/core/BatchFile.h"
#include "app/core/CodeTester.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunSettings.h"
#include "app/core/Verdict.h"
#include "link/Clock.h"

#include <array>
#include <cstddef>
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

// One batch recording on a box: the box takes a timed run of readings, the run collects them
// into its buffer, checks them with the code tester and saves them. Every message goes to the
// sink. A front end forwards the user's actions (edits, Start, the collection tick, Check
// again, Exit, Save Buffer) and renders GetView(); the batch dialog calls Poll() from its
// 300 ms timer, a command-line tool calls it in a loop.
//
// While a run streams (BATCH_SAMPLING) nothing but GetNextSamples and TerminateSample is sent
// to the box: any other command would drop the readings on their way.
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

    enum Edit
    {
        EDIT_SAMPLE_DELAY,
        EDIT_SAMPLE_COUNT,
        EDIT_MT_STEP,
        EDIT_ST_STEP,
        EDIT_ERROR_LIMIT,
    };
    static constexpr std::size_t kEdits = 5;
    // Start text, length limit and accepted range of an edit. The error limit takes any number.
    struct EditSpec
    {
        const char* start;
        int maxChars;
        unsigned min;
        unsigned max;
    };
    static const EditSpec& Spec(Edit edit);

    enum Part
    {
        PART_MT,
        PART_ST,
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

    // No reading for this long while sampling: the run may have stalled.
    static constexpr double kStallSeconds = 3.0;

    // Everything a front end shows.
    struct View
    {
        State state = BATCH_READY;
        std::array<bool, kEdits> valid{}; // false: the edit is drawn on red
        unsigned progressMax = 0;         // the run's sample count
        std::size_t progressPos = 0;      // readings in the buffer
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

    // Start values, results cleared, BATCH_READY; then reads the clock frequency from the box
    // (BATCH_BOX_ERROR on failure).
    void Open();

    // The user changed an edit: it is validated at the next ValidateEdits.
    void SetText(Edit edit, const std::string& text);
    const std::string& GetText(Edit edit) const { return m_Edits[edit].text; }
    // Holds every edit changed since its last validation against its range, and warns when
    // a changed valid delay is at or below the minimum for the bit count and clock. False
    // while any of the four ranged edits is invalid, whether found now or at an earlier
    // validation.
    bool ValidateEdits();

    // What a monotony radio group shows: its mode, or nullopt when not exactly one of its
    // buttons is checked. Taken by the next check.
    void SetMonotony(Part part, std::optional<MONOTONY> mode);

    // "Start": only in BATCH_READY. Writes the parameter set and starts the box; a run that
    // arrives at once is checked at once, a longer one goes on in BATCH_SAMPLING.
    void Start();
    // One collection tick: only in BATCH_SAMPLING. Appends what arrived; a complete run is
    // checked, a link failure ends the run and keeps what arrived.
    void Poll();
    // Runs the code tester over the buffer and shows its results and messages.
    void Check();
    // "Stop", and "Exit" while a run streams: stops it on the box. The buffer keeps what
    // arrived, to be checked and saved.
    void Stop();
    // Fills the buffer with 16 to 65535 ascending (a test aid).
    void LoadDummyData();

    bool HasReadings() const { return !m_Buffer.empty(); }
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
    const std::vector<unsigned>& GetBuffer() const { return m_Buffer; }
    unsigned GetDelay() const { return m_Delay; }
    unsigned GetFrequency() const { return m_Frequency; }
    const CodeTester::Result& GetResult() const { return m_Tester.GetResult(); }
    // The analysis of the last check; empty before the first.
    const Analysis& GetAnalysis() const { return m_Analysis; }
    AnalysisConfig GetAnalysisConfig() const;

    // Plain decimal conversion of an edit: the leading digits, 0 without any.
    static unsigned ParseNumber(const std::string& text);
    // The mode a check uses for a radio group without exactly one checked button, once its
    // failed assertion has been reported and the handler returned.
    static constexpr MONOTONY kMonotonyFallback = MONO_AUTODETECT;

private:
    struct EditState
    {
        std::string text;
        bool changed = false;
        bool valid = true;
    };

    std::string Status(int status) const;
    // The error line of a failed box call; notes a box that vanished.
    void BoxError(const std::string& what, int status);
    double SecondsSince(FTD2xx::Clock::TimePoint t) const;
    void ClearResults();
    // Starts the buffer afresh with room for `count` readings, so it never grows by doubling.
    void ResetBuffer(std::size_t count);
    // Appends at most the readings still missing.
    void Append(const std::vector<unsigned>& readings);
    void Complete();
    MONOTONY TakeMonotony(Part part) const;

    Tavik::Box& m_Box;
    HistorySink& m_Sink;
    const unsigned m_StBits;
    const unsigned m_MtBits;
    const bool m_Gray;

    State m_State = BATCH_READY;
    unsigned m_Frequency = 0;
    unsigned m_Delay = 0; // of the current run, in us
    unsigned m_Count = 0; // of the current run
    std::vector<unsigned> m_Buffer;
    std::vector<unsigned> m_Arrived; // one tick's readings
    std::array<EditState, kEdits> m_Edits;
    std::array<std::optional<MONOTONY>, 2> m_Monotony{MONO_AUTODETECT, MONO_AUTODETECT};
    RunSettings m_Settings;
    CodeTester m_Tester;
    Analysis m_Analysis;
    bool m_HasResult = false;
    bool m_Saved = false;
    std::string m_SavedPath;
    bool m_BoxVanished = false;
    const FTD2xx::Clock& m_Clock;
    FTD2xx::Clock::TimePoint m_Started{};
    FTD2xx::Clock::TimePoint m_LastArrival{};
};

} // namespace App
