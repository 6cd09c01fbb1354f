#pragma once

#include "app/core/CodeTester.h"
#include "app/core/RunAnalysis.h"

#include <cstddef>
#include <string>

namespace App
{

// A check's answer as a whole. A run that could not be checked is neither passed nor failed:
// with too few readings, or with no encoder answering, zero errors prove nothing, so front
// ends must not paint them green or print "passed".
struct Verdict
{
    enum Kind
    {
        PASSED,
        FAILED,
        NOT_CHECKED,
    };
    Kind kind = NOT_CHECKED;
    std::string reason; // NOT_CHECKED: why, e.g. "no encoder answering"

    // "passed", "3 errors", "not checked: no encoder answering".
    std::string Text(std::uint64_t errors) const;
};

// `analysis` may be null where no analysis ran.
Verdict JudgeCheck(std::size_t readings, const CodeTester::Result& result,
                   const Analysis* analysis);

} // namespace App
