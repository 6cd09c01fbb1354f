#include "app/core/Run.h"

#include "app/core/RunFile.h"

namespace App
{

std::vector<std::string> RunCheck::HistoryLines() const
{
    std::vector<std::string> lines = result.m_Messages;
    for (std::string& line : analysis.SummaryLines())
        lines.push_back(std::move(line));
    lines.emplace_back("Check finished");
    return lines;
}

Run Run::Owning(std::vector<unsigned> readings, const RunSettings& settings, bool gray)
{
    Run run;
    run.m_Owned = std::move(readings);
    run.m_Owns = true;
    run.m_Settings = settings;
    run.m_Gray = gray;
    return run;
}

Run Run::Borrowing(std::span<const unsigned> readings, const RunSettings& settings, bool gray)
{
    Run run;
    run.m_Borrowed = readings;
    run.m_Settings = settings;
    run.m_Gray = gray;
    return run;
}

Run Run::FromFile(RunFileContents contents, unsigned stBits, unsigned mtBits, bool gray)
{
    RunSettings settings = contents.settings.value_or(RunSettings{});
    settings.stBits = stBits;
    settings.mtBits = mtBits;
    settings.delayUs = contents.delayUs;
    if (settings.sampleCount == 0)
        settings.sampleCount = contents.readings.size();
    return Owning(std::move(contents.readings), settings, gray);
}

AnalysisConfig Run::GetAnalysisConfig() const
{
    AnalysisConfig config;
    config.stBits = m_Settings.stBits;
    config.mtBits = m_Settings.mtBits;
    config.gray = m_Gray;
    config.delayUs = m_Settings.delayUs;
    config.clockHz = m_Settings.clockHz;
    return config;
}

CodeTester::Config Run::GetTesterConfig(const CheckSettings& check) const
{
    CodeTester::Config config;
    config.m_StBits = m_Settings.stBits;
    config.m_MtBits = m_Settings.mtBits;
    config.m_StMonotony = check.stMonotony;
    config.m_MtMonotony = check.mtMonotony;
    config.m_StStepSize = check.stStep;
    config.m_MtStepSize = check.mtStep;
    config.m_Gray = m_Gray;
    config.m_ErrorLimit = check.errorLimit;
    return config;
}

Analysis Run::Analyse() const
{
    return AnalyseRun(Readings(), GetAnalysisConfig());
}

RunCheck Run::Check(const CheckSettings& check) const
{
    RunCheck out;
    CodeTester tester(GetTesterConfig(check));
    tester.Test(Readings());
    out.result = tester.GetResult();
    out.analysis = Analyse();
    out.verdict = JudgeCheck(Readings().size(), out.result, &out.analysis);
    return out;
}

} // namespace App
