// CodeTester and the run analysis on any readings and any configuration: each one's block
// scan must give exactly the result of going reading by reading, and what they keep and say
// stays bounded.
#include "app/core/CodeTester.h"
#include "app/core/RunAnalysis.h"
#include "driver/XAssertion.h"

#include "tests/fuzz/FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using App::CodeTester;
using App::MONOTONY;

namespace
{

void IgnoreReport(const char*, const char*, const char*, int) {}

unsigned int PickStep(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 3))
    {
    case 0:
        return 1;
    case 1:
        return in.ConsumeIntegralInRange<unsigned int>(0, 16);
    case 2:
        return 1u << in.ConsumeIntegralInRange(0, 31);
    default:
        return in.ConsumeIntegral<unsigned int>();
    }
}

CodeTester::Config PickConfig(FuzzedDataProvider& in)
{
    CodeTester::Config c;
    c.m_StBits = in.ConsumeIntegralInRange(0u, 40u);
    c.m_MtBits = in.ConsumeIntegralInRange(0u, 40u);
    c.m_StStepSize = PickStep(in);
    c.m_MtStepSize = PickStep(in);
    // 4 is no monotony mode: reported, and that part goes untested.
    c.m_StMonotony = static_cast<MONOTONY>(in.ConsumeIntegralInRange(0, 4));
    c.m_MtMonotony = static_cast<MONOTONY>(in.ConsumeIntegralInRange(0, 4));
    c.m_Gray = in.ConsumeBool();
    switch (in.ConsumeIntegralInRange(0, 3))
    {
    case 0:
        c.m_ErrorLimit = in.ConsumeIntegralInRange(0u, 999u);
        break;
    case 1:
        c.m_ErrorLimit = 0;
        break;
    case 2:
        c.m_ErrorLimit = 0xFFFFFFFFu;
        break;
    default:
        c.m_ErrorLimit = in.ConsumeIntegral<unsigned int>();
        break;
    }
    return c;
}

// Either raw 32-bit readings, or a walk: a start value, a stride, and per input byte a signed
// step repeated a few times, which makes long runs with turns, wraps and occasional jumps.
std::vector<unsigned int> PickReadings(FuzzedDataProvider& in)
{
    std::vector<unsigned int> readings;
    if (in.ConsumeBool())
    {
        while (in.remaining_bytes() >= 4)
            readings.push_back(in.ConsumeIntegral<unsigned int>());
        return readings;
    }
    unsigned int value = in.ConsumeIntegral<unsigned int>();
    const unsigned int stride = 1u << in.ConsumeIntegralInRange(0, 31);
    const unsigned int repeat = in.ConsumeIntegralInRange(1u, 64u);
    while (in.remaining_bytes() > 0)
    {
        const auto step = static_cast<std::int8_t>(in.ConsumeIntegral<std::uint8_t>());
        for (unsigned int r = 0; r < repeat; ++r)
        {
            value += static_cast<unsigned int>(static_cast<int>(step)) * stride;
            readings.push_back(value);
        }
    }
    return readings;
}

bool SameResult(const CodeTester::Result& a, const CodeTester::Result& b)
{
    return a.m_StMonotony == b.m_StMonotony && a.m_MtMonotony == b.m_MtMonotony &&
           a.m_StMonotonyErrors == b.m_StMonotonyErrors &&
           a.m_MtMonotonyErrors == b.m_MtMonotonyErrors && a.m_StStepErrors == b.m_StStepErrors &&
           a.m_MtStepErrors == b.m_MtStepErrors && a.m_StTurns == b.m_StTurns &&
           a.m_MtTurns == b.m_MtTurns && a.m_Messages == b.m_Messages;
}

bool SameAnalysis(const App::Analysis& a, const App::Analysis& b)
{
    if (a.distinct != b.distinct || a.st.turns != b.st.turns || a.mt.turns != b.mt.turns ||
        a.st.countsPerSecond != b.st.countsPerSecond || a.rootCause != b.rootCause ||
        a.events.size() != b.events.size())
        return false;
    for (std::size_t c = 0; c < App::kEventClasses; ++c)
        if (a.classes[c].count != b.classes[c].count || a.classes[c].ppm != b.classes[c].ppm ||
            a.classes[c].first != b.classes[c].first || a.classes[c].worst != b.classes[c].worst)
            return false;
    for (std::size_t e = 0; e < a.events.size(); ++e)
        if (a.events[e].cls != b.events[e].cls || a.events[e].first != b.events[e].first ||
            a.events[e].length != b.events[e].length || a.events[e].around != b.events[e].around)
            return false;
    return true;
}

void CheckAnalysis(const std::vector<unsigned int>& readings, const CodeTester::Config& tested,
                   unsigned delayUs)
{
    App::AnalysisConfig config;
    config.stBits = tested.m_StBits;
    config.mtBits = tested.m_MtBits;
    config.gray = tested.m_Gray;
    config.delayUs = delayUs;
    const App::Analysis fast = App::AnalyseRun(readings, config);
    config.blockScan = false;
    const App::Analysis slow = App::AnalyseRun(readings, config);
    FUZZ_CHECK(SameAnalysis(fast, slow));

    FUZZ_CHECK(fast.readings == readings.size());
    FUZZ_CHECK(fast.distinct <= readings.size());
    FUZZ_CHECK(fast.events.size() <= App::Analysis::kMaxEvents);
    std::uint64_t counted = 0;
    for (std::size_t c = 0; c < App::kEventClasses; ++c)
    {
        counted += fast.classes[c].count;
        FUZZ_CHECK(fast.classes[c].ppm >= 0 && fast.classes[c].ppm <= 1e6 * (1 + 1e-12));
    }
    FUZZ_CHECK(counted >= fast.events.size());
    for (const App::AnalysisEvent& e : fast.events)
    {
        FUZZ_CHECK(e.length >= 1 && e.first + e.length <= readings.size());
        FUZZ_CHECK(e.aroundFirst <= e.first && e.around.size() <= 10);
    }
    const std::vector<std::string> lines = fast.SummaryLines();
    FUZZ_CHECK(lines.size() <= App::kEventClasses + 1);
    for (const std::string& line : lines)
        FUZZ_CHECK(!line.empty() && line.size() < 200);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (Tavik::SetXAssertionHandler(&IgnoreReport), true);
    (void)installed;

    FuzzedDataProvider in(data, size);
    const CodeTester::Config config = PickConfig(in);
    const unsigned delayUs = in.ConsumeIntegralInRange(0u, 1000u);
    const std::vector<unsigned int> readings = PickReadings(in);

    CodeTester fast(config);
    const bool fastPassed = fast.Test(readings);
    CodeTester slow(config);
    slow.SetBlockScan(false);
    const bool slowPassed = slow.Test(readings);

    FUZZ_CHECK(fastPassed == slowPassed);
    FUZZ_CHECK(SameResult(fast.GetResult(), slow.GetResult()));

    const CodeTester::Result& r = fast.GetResult();
    FUZZ_CHECK(fastPassed == (readings.size() >= 3 && r.Passed()));
    // Error messages, two detections and the cancel line (or the one for a short buffer).
    FUZZ_CHECK(r.m_Messages.size() <= CodeTester::kMaxErrorMessages + 3);
    for (const auto& message : r.m_Messages)
        FUZZ_CHECK(!message.empty() && message.size() < 200);
    if (config.m_ErrorLimit > 0 && config.m_ErrorLimit < 1000)
        FUZZ_CHECK(r.GetErrorCount() <= config.m_ErrorLimit + 3);

    // Running again on the same tester gives the same result.
    FUZZ_CHECK(fast.Test(readings) == fastPassed);
    FUZZ_CHECK(SameResult(fast.GetResult(), slow.GetResult()));

    CheckAnalysis(readings, config, delayUs);
    return 0;
}
