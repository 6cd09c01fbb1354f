#include "app/cli/Runs.h"
#include "app/cli/Subcommand.h"

#include "app/core/CodeTester.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunFile.h"
#include "app/core/Verdict.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace App::Cli
{

namespace
{
struct CheckFileOptions : FileOptions, CheckOptions
{
};

class Check : public SubcommandWith<CheckFileOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Execute() override;
};

int Check::Execute()
{
    BatchSettings settings;
    if (const int code = TakeBatchSettings(
            m_Options, m_Env.err, {BATCH_MT_STEP, BATCH_ST_STEP, BATCH_ERROR_LIMIT}, settings);
        code != EXIT_OK)
        return code;
    Run run;
    if (const int code = ReadFile(m_Options, m_Env.err, run); code != EXIT_OK)
        return code;
    // The same check and the same history lines as the batch that recorded the run.
    const RunCheck check = run.Check(settings.check);
    for (const std::string& line : check.HistoryLines())
        m_Sink.Line(line);
    if (m_Global.json)
    {
        json doc = {{"file", m_Options.file}, {"readings", run.Readings().size()}};
        doc["result"] = ResultJson(check.result, check.verdict);
        PrintJson(doc);
    }
    else
        PrintResult(m_Env.out, check.result, check.verdict);
    return check.verdict.kind == Verdict::PASSED ? EXIT_OK : EXIT_FOUND;
}

} // namespace

Factory DeclareCheck(CLI::App& sub)
{
    auto o = std::make_shared<CheckFileOptions>();
    AddFileOptions(sub, *o);
    AddCheckOptions(sub, *o);
    return Make<Check>(o);
}

} // namespace App::Cli
