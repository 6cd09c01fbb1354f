// CodeTester on any readings and any configuration: the block scan must give exactly the
// result of checking reading by reading, and the messages stay bounded.
#include "app/core/CodeTester.h"
#include "driver/XAssertion.h"

#include "tests/fuzz/FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (Tavik::SetXAssertionHandler(&IgnoreReport), true);
    (void)installed;

    FuzzedDataProvider in(data, size);
    const CodeTester::Config config = PickConfig(in);
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
    return 0;
}
