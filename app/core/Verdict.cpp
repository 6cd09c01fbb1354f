#include "app/core/Verdict.h"

#include "app/core/Formats.h"

namespace App
{

std::string Verdict::Text(std::uint64_t errors) const
{
    switch (kind)
    {
    case PASSED:
        return "passed";
    case FAILED:
        return errors == 1 ? std::string("1 error") : FormatCount(errors) + " errors";
    default:
        return "not checked: " + reason;
    }
}

Verdict JudgeCheck(std::size_t readings, const CodeTester::Result& result, const Analysis* analysis)
{
    // The tester needs two steps to see a direction.
    if (readings < 3)
        return {Verdict::NOT_CHECKED, readings == 0 ? "no readings" : "fewer than 3 readings"};
    if (analysis != nullptr && analysis->noEncoder)
        return {Verdict::NOT_CHECKED, "no encoder answering"};
    return {result.Passed() ? Verdict::PASSED : Verdict::FAILED, {}};
}

} // namespace App
