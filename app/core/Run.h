#pragma once

#include "app/core/CodeTester.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunSettings.h"
#include "app/core/Verdict.h"

#include <span>
#include <string>
#include <vector>

namespace App
{

struct RunFileContents;

// What the code tester is told beyond the run's own bit counts and Gray flag.
struct CheckSettings
{
    MONOTONY stMonotony = MONO_AUTODETECT;
    MONOTONY mtMonotony = MONO_AUTODETECT;
    unsigned stStep = 1;
    unsigned mtStep = 1;
    unsigned errorLimit = 1;

    bool operator==(const CheckSettings&) const = default;
};

// A check's whole answer: the code tester's, the run analysis' and the verdict on both.
struct RunCheck
{
    CodeTester::Result result;
    Analysis analysis;
    Verdict verdict;

    // What a check writes to the history, the same for the window and the command line: the
    // tester's messages, the analysis' summary lines, "Check finished".
    std::vector<std::string> HistoryLines() const;
};

// A recorded run: the readings and what they mean (bit counts, Gray flag, delay, clock, start
// time). The box path and every file reader produce one, and the tester and the analysis
// take it from there, so a run checks the same whichever way it came.
//
// The readings are either owned or a view of a buffer that someone else keeps alive (a
// recording's, a batch's): a check of 16 million readings never copies them.
class Run
{
public:
    Run() = default;
    static Run Owning(std::vector<unsigned> readings, const RunSettings& settings, bool gray);
    static Run Borrowing(std::span<const unsigned> readings, const RunSettings& settings,
                         bool gray);
    // A file's readings with its settings (delay, clock, start, box), read with the bit counts
    // and Gray flag given: a text file names none, and options may override the file's.
    static Run FromFile(RunFileContents contents, unsigned stBits, unsigned mtBits, bool gray);

    std::span<const unsigned> Readings() const
    {
        return m_Owns ? std::span<const unsigned>(m_Owned) : m_Borrowed;
    }
    const RunSettings& Settings() const { return m_Settings; }
    RunSettings& Settings() { return m_Settings; }
    bool Gray() const { return m_Gray; }

    AnalysisConfig GetAnalysisConfig() const;
    CodeTester::Config GetTesterConfig(const CheckSettings& check) const;

    Analysis Analyse() const;
    // The code tester and the run analysis over the readings, and the verdict.
    RunCheck Check(const CheckSettings& check) const;

private:
    RunSettings m_Settings;
    bool m_Gray = false;
    bool m_Owns = false;
    std::vector<unsigned> m_Owned;
    std::span<const unsigned> m_Borrowed;
};

} // namespace App
