// SampleParameter::Import of a block of any length, then the export round trip.
#include "driver/SampleParameter.h"
#include "driver/XAssertion.h"

#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace
{

int g_Reports = 0;

void CountReport(const char*, const char*, const char*, int)
{
    ++g_Reports;
}

// The bytes of fields that `size` holds whole; the other bytes keep `before`.
std::vector<unsigned char> Expected(const std::vector<unsigned char>& block,
                                    const std::vector<unsigned char>& before)
{
    std::vector<unsigned char> expected = before;
    const std::size_t size = block.size();
    const std::size_t fieldEnds[] = {1, 2, 4, 7, 8};
    std::size_t begin = 0;
    for (std::size_t end : fieldEnds)
    {
        if (size >= end)
            for (std::size_t i = begin; i < end; ++i)
                expected[i] = block[i];
        begin = end;
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (Tavik::SetXAssertionHandler(&CountReport), true);
    (void)installed;
    g_Reports = 0;

    const std::vector<unsigned char> block(data, data + size);
    Tavik::SampleParameter p;
    std::vector<unsigned char> before;
    p.Export(before);
    FUZZ_CHECK(before.size() == 8);

    p.Import(block);
    FUZZ_CHECK(g_Reports == (size == 8 ? 0 : 1));

    // An unknown mode byte exports as a report and leaves byte 7 as it was in the target
    // vector, so start the export from the expected bytes.
    const std::vector<unsigned char> expected = Expected(block, before);
    std::vector<unsigned char> exported = expected;
    g_Reports = 0;
    p.Export(exported);
    FUZZ_CHECK(exported == expected);
    const bool knownMode = p.GetMode() <= Tavik::SampleParameter::SPI_Gray;
    FUZZ_CHECK(g_Reports == (knownMode ? 0 : 1));

    // Round trip: the exported block imports to the same set.
    Tavik::SampleParameter q;
    q.Import(exported);
    std::vector<unsigned char> again = exported;
    q.Export(again);
    FUZZ_CHECK(again == exported);
    FUZZ_CHECK(q.GetMode() == p.GetMode() && q.GetSampleCount() == p.GetSampleCount() &&
               q.GetDelay() == p.GetDelay() && q.GetClocks() == p.GetClocks() &&
               q.GetFrequence() == p.GetFrequence());

    std::string message;
    const bool valid = p.Validate(message);
    FUZZ_CHECK(message.size() < 200);
    FUZZ_CHECK(!valid || knownMode);
    FUZZ_CHECK(valid || !message.empty());
    FUZZ_CHECK(p.GetClocks() == p.GetDataBits() + 1);
    const unsigned int next = Tavik::SampleParameter::GetNextFrequence(p.GetFrequence());
    FUZZ_CHECK(next > p.GetFrequence() || next == 8000000u);
    return 0;
}
