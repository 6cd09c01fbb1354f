#include "app/core/RunAnalysis.h"

namespace App
{

const char* EventClassName(EventClass c)
{
    static constexpr const char* kNames[kEventClasses] = {
        "spike",    "jump",     "reversal", "stuck", "Gray fault", "ST-MT out of step",
        "all ones", "all zeros"};
    const auto i = std::size_t(c);
    return i < kEventClasses ? kNames[i] : "unknown";
}

std::vector<std::string> Analysis::SummaryLines() const
{
    return {};
}

Analysis AnalyseRun(std::span<const unsigned> readings, const AnalysisConfig& config)
{
    Analysis analysis;
    analysis.readings = readings.size();
    analysis.durationS = double(readings.size()) * config.delayUs * 1e-6;
    return analysis;
}

} // namespace App
