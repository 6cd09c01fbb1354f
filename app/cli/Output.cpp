#include "app/cli/Output.h"

#include "app/cli/Cli.h"
#include "app/cli/Commands.h"
#include "app/core/Formats.h"

#include <ostream>

namespace App::Cli
{

int UsageError(std::ostream& err, const std::string& message)
{
    err << "Error: " << message << '\n' << UsageLine() << '\n';
    return EXIT_USAGE;
}

void CliSink::AddEntries(const std::vector<std::string>& entries, Kind kind)
{
    if (kind == HISTORY_ERROR)
        ++m_ErrorCount;
    if (m_BeforeWrite && (kind == HISTORY_ERROR || !m_Quiet))
        m_BeforeWrite();
    for (const std::string& entry : entries)
    {
        if (kind == HISTORY_ERROR)
        {
            m_Err << entry << '\n';
            m_Errors.push_back(entry);
        }
        else
        {
            if (!m_Quiet)
                m_Out << entry << '\n';
            m_Lines.push_back(entry);
        }
    }
    (kind == HISTORY_ERROR ? m_Err : m_Out).flush();
}

void ProgressBar::Show(std::size_t done, std::size_t total)
{
    if (!m_Shown || total == 0)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
    const double rate = seconds > 0 ? double(done) / seconds : 0;
    constexpr int kWidth = 30;
    const int filled = int(double(kWidth) * double(done) / double(total));
    std::string bar = "\r[" + std::string(std::size_t(filled), '#') +
                      std::string(std::size_t(kWidth - filled), '-') + "]";
    bar += Format(" %3d%%  %zu/%zu  %.0f/s", int(100.0 * double(done) / double(total)), done, total,
                  rate);
    if (rate > 0)
    {
        const unsigned left = unsigned(double(total - done) / rate + 0.5);
        bar += Format("  %u:%02u left", left / 60, left % 60);
    }
    m_Err << bar << "\x1b[K" << std::flush;
    m_Drawn = true;
}

void ProgressBar::Done()
{
    if (m_Drawn)
        m_Err << '\n' << std::flush;
    m_Drawn = false;
}

void ProgressBar::Erase()
{
    if (m_Drawn)
        m_Err << "\r\x1b[K" << std::flush;
    m_Drawn = false;
}

namespace
{
const char* VerdictName(Verdict::Kind kind)
{
    return kind == Verdict::PASSED ? "passed" : kind == Verdict::FAILED ? "failed" : "not checked";
}
} // namespace

json ResultJson(const CodeTester::Result& r, const Verdict& verdict)
{
    return {{"passed", verdict.kind == Verdict::PASSED},
            {"verdict", VerdictName(verdict.kind)},
            {"reason", verdict.reason},
            {"errors", r.GetErrorCount()},
            {"stMonotonyErrors", r.m_StMonotonyErrors},
            {"mtMonotonyErrors", r.m_MtMonotonyErrors},
            {"stStepErrors", r.m_StStepErrors},
            {"mtStepErrors", r.m_MtStepErrors},
            {"stTurns", r.m_StTurns},
            {"mtTurns", r.m_MtTurns}};
}

void PrintResult(std::ostream& out, const CodeTester::Result& r, const Verdict& verdict)
{
    out << "ST monotony errors: " << r.m_StMonotonyErrors << '\n'
        << "MT monotony errors: " << r.m_MtMonotonyErrors << '\n'
        << "ST step errors:     " << r.m_StStepErrors << '\n'
        << "MT step errors:     " << r.m_MtStepErrors << '\n'
        << "ST turns:           " << r.m_StTurns << '\n'
        << "MT turns:           " << r.m_MtTurns << '\n'
        << "Result:             "
        << (verdict.kind == Verdict::FAILED ? std::to_string(r.GetErrorCount()) + " error(s)"
                                            : verdict.Text(r.GetErrorCount()))
        << '\n';
}

} // namespace App::Cli
