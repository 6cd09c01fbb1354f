#pragma once

#include "app/core/CodeTester.h"
#include "app/core/HistorySink.h"
#include "app/core/Verdict.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// What tavik-cli writes: history and error lines, the progress bar, check results.
namespace App::Cli
{

using json = nlohmann::ordered_json;

// Writes "Error: <message>" and the usage line to `err`; returns EXIT_USAGE.
int UsageError(std::ostream& err, const std::string& message);

// History lines to stdout (unless quiet), error lines to stderr; both kept for --json.
class CliSink : public HistorySink
{
public:
    CliSink(std::ostream& out, std::ostream& err, bool quiet)
        : m_Out(out), m_Err(err), m_Quiet(quiet)
    {
    }
    std::size_t ErrorCount() const { return m_ErrorCount; }
    // Called before a line is written: a progress bar clears its line so the two don't mix.
    void SetBeforeWrite(std::function<void()> hook) { m_BeforeWrite = std::move(hook); }
    const std::vector<std::string>& Lines() const { return m_Lines; }
    const std::vector<std::string>& Errors() const { return m_Errors; }

protected:
    void AddEntries(const std::vector<std::string>& entries, Kind kind) override;

private:
    std::ostream& m_Out;
    std::ostream& m_Err;
    bool m_Quiet;
    std::function<void()> m_BeforeWrite;
    std::size_t m_ErrorCount = 0;
    std::vector<std::string> m_Lines;
    std::vector<std::string> m_Errors;
};

// Readings per second and the time left, redrawn in place on a terminal.
class ProgressBar
{
public:
    ProgressBar(std::ostream& err, bool shown) : m_Err(err), m_Shown(shown) {}
    void Show(std::size_t done, std::size_t total);
    void Done();
    // Clears the drawn bar; the next Show draws it again below what was written meanwhile.
    void Erase();

private:
    std::ostream& m_Err;
    bool m_Shown;
    bool m_Drawn = false;
    std::chrono::steady_clock::time_point m_Start = std::chrono::steady_clock::now();
};

json ResultJson(const CodeTester::Result& r, const Verdict& verdict);
void PrintResult(std::ostream& out, const CodeTester::Result& r, const Verdict& verdict);

} // namespace App::Cli
