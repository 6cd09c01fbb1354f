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
    int Run() override;
};

int Check::Run()
{
    RunFileContents contents;
    unsigned st = 0;
    unsigned mt = 0;
    if (const int code = ReadFile(m_Options, m_Env.err, contents, st, mt); code != EXIT_OK)
        return code;
    const std::vector<unsigned>& readings = contents.readings;

    CodeTester::Config config;
    config.m_StBits = st;
    config.m_MtBits = mt;
    config.m_StMonotony = kMonotonies.at(m_Options.stMono);
    config.m_MtMonotony = kMonotonies.at(m_Options.mtMono);
    config.m_StStepSize = m_Options.stStep;
    config.m_MtStepSize = m_Options.mtStep;
    config.m_Gray = m_Options.gray || contents.gray;
    config.m_ErrorLimit = m_Options.limit;
    CodeTester tester(config);
    tester.Test(readings);
    const CodeTester::Result& result = tester.GetResult();
    // The analysis tells a run without an encoder from a clean one.
    AnalysisConfig analysis;
    analysis.stBits = st;
    analysis.mtBits = mt;
    analysis.gray = config.m_Gray;
    const Analysis a = AnalyseRun(readings, analysis);
    const Verdict verdict = JudgeCheck(readings.size(), result, &a);
    for (const std::string& message : result.m_Messages)
        m_Sink.Line(message);
    m_Sink.Line("Check finished");
    if (m_Global.json)
    {
        json doc = {{"file", m_Options.file}, {"readings", readings.size()}};
        doc["result"] = ResultJson(result, verdict);
        PrintJson(doc);
    }
    else
        PrintResult(m_Env.out, result, verdict);
    return verdict.kind == Verdict::PASSED ? EXIT_OK : EXIT_FOUND;
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
