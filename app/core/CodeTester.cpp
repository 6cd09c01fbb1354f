#include "app/core/CodeTester.h"

#include "driver/Box.h"
#include "driver/XAssertion.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace App
{

namespace
{
// Readings per block of the block scan: long enough to make the scan's set-up negligible, short
// enough that a run with many events (errors, turns of small parts) does not rescan much.
constexpr std::size_t kBlock = 64;

const char* MonotonyName(MONOTONY mode)
{
    return mode == MONO_ASC ? "MONO_ASC" : "MONO_DESC";
}

// What the block scan needs of one part. A reading is an event for a part when the
// reading-by-reading check could change anything: an error, a detection or a turn flag change.
// Descending parts are scanned as ascending ones on negated values.
struct ScanPart
{
    std::uint32_t shift = 0;
    std::uint32_t sign = 0;     // all bits set: negate the part's values
    std::uint32_t mask = 0;     // 0: the part can have no event
    std::uint32_t limit = 0;    // forward distances above this are events
    std::uint32_t turnMask = 0; // 0: no turn check
    std::uint32_t first = 0;    // the first value, negated like the others
    std::uint32_t step = 0;
    std::uint32_t flag = 1; // the turn flag; with turnMask 0 the window always passes
};

inline std::uint32_t PartEvents(std::uint32_t current, std::uint32_t previous, const ScanPart& p)
{
    const std::uint32_t c = ((current >> p.shift) ^ p.sign) - p.sign;
    const std::uint32_t q = ((previous >> p.shift) ^ p.sign) - p.sign;
    const std::uint32_t forward = (c - q) & p.mask;
    const std::uint32_t toFirst = (p.first - c) & p.turnMask;
    return std::uint32_t(forward > p.limit) | (std::uint32_t(toFirst <= p.step) ^ p.flag);
}

// True when none of the kBlock readings after r[0] is an event for either part. Branch-free so
// that the compiler vectorises it; this loop is what a clean run costs.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
bool BlockIsQuiet(const std::uint32_t* r, ScanPart st, ScanPart mt)
{
    std::uint32_t events = 0;
    for (std::size_t k = 0; k < kBlock; ++k)
    {
        events |= PartEvents(r[k + 1], r[k], st) | PartEvents(r[k + 1], r[k], mt);
    }
    return events == 0;
}
} // namespace

struct CodeTester::Part
{
    const char* m_Name;
    MONOTONY m_Mode;
    unsigned int m_Bits; // width the split can deliver, at most 32
    unsigned int m_Step;
    unsigned int m_Shift;
    unsigned int m_First = 0;
    bool m_TurnFlag = true;
    unsigned int& m_MonotonyErrors;
    unsigned int& m_StepErrors;
    unsigned int& m_Turns;

    ScanPart MakeScan() const
    {
        ScanPart scan;
        scan.shift = std::min(m_Shift, 31u);
        if (m_Mode == MONO_AUTODETECT)
        {
            scan.mask = Mask(m_Bits); // any change may decide the direction
        }
        else if (m_Mode == MONO_ASC || m_Mode == MONO_DESC)
        {
            const std::uint32_t mask = Mask(m_Bits);
            scan.sign = m_Mode == MONO_DESC ? ~0u : 0u;
            scan.mask = mask;
            // Forward distances above half the range are monotony errors, above the step
            // step errors.
            const std::uint32_t half = m_Bits == 0 ? 0u : std::uint32_t(1) << (m_Bits - 1);
            scan.limit = std::min<std::uint32_t>(m_Step, half);
            if (m_MonotonyErrors == 0 && m_StepErrors == 0 && m_Bits != 0)
            {
                scan.turnMask = mask;
                scan.first = (m_First ^ scan.sign) - scan.sign;
                scan.step = m_Step;
                scan.flag = m_TurnFlag ? 1u : 0u;
            }
        }
        return scan;
    }
};

unsigned int CodeTester::Mask(unsigned int bits)
{
    return Tavik::LowMask(bits);
}

CodeTester::Window CodeTester::TestWindow(std::uint64_t value, unsigned int bits,
                                          std::uint64_t reference, std::int64_t step)
{
    const std::int64_t range = std::int64_t(1) << std::min(bits, 32u);
    const std::int64_t max = range - 1;
    const std::int64_t v = std::int64_t(value & std::uint64_t(max));
    const std::int64_t ref = std::int64_t(reference & std::uint64_t(max));
    // Steps beyond the range cover the whole range; clamping keeps the sums far from overflow.
    const std::int64_t s = std::clamp<std::int64_t>(step, -range, range);
    bool passed;
    if (s > 0)
    {
        passed = ref + s > max ? (v >= ref || v <= ref + s - max - 1) : (ref <= v && v <= ref + s);
    }
    else
    {
        passed = ref + s < 0 ? (v <= ref || v >= ref + s + max + 1) : (ref + s <= v && v <= ref);
    }
    return Window{passed, std::uint64_t(v - ref) & std::uint64_t(max),
                  std::uint64_t(ref - v) & std::uint64_t(max)};
}

unsigned int CodeTester::GrayToBinary(unsigned int gray)
{
    // Each bit becomes the XOR of itself and all bits above it.
    gray ^= gray >> 16;
    gray ^= gray >> 8;
    gray ^= gray >> 4;
    gray ^= gray >> 2;
    gray ^= gray >> 1;
    return gray;
}

bool CodeTester::KeepsErrorMessage()
{
    if (m_ErrorMessages >= kMaxErrorMessages)
    {
        return false;
    }
    ++m_ErrorMessages;
    return true;
}

void CodeTester::CheckPart(Part& part, std::size_t i, unsigned int previous, unsigned int current)
{
    if (part.m_Mode == MONO_NO_TEST)
    {
        return;
    }
    if (part.m_Mode == MONO_AUTODETECT)
    {
        const Window w = TestWindow(current, part.m_Bits, previous, 0);
        if (w.m_Forward != w.m_Backward)
        {
            part.m_Mode = w.m_Forward < w.m_Backward ? MONO_ASC : MONO_DESC;
            char text[64];
            std::snprintf(text, sizeof text, "%s monotonie detected as %s", part.m_Name,
                          MonotonyName(part.m_Mode));
            m_Result.m_Messages.emplace_back(text);
        }
        return;
    }

    const bool ascending = part.m_Mode == MONO_ASC;
    const std::int64_t step = ascending ? std::int64_t(part.m_Step) : -std::int64_t(part.m_Step);
    const Window w = TestWindow(current, part.m_Bits, previous, step);
    const char* name = part.m_Name;
    const unsigned int shownPrevious = m_Config.m_Gray ? GrayToBinary(previous) : previous;
    const unsigned int shownCurrent = m_Config.m_Gray ? GrayToBinary(current) : current;
    // Values and distances are printed unsigned: a 32-bit part reaches 2^32 - 1.
    char text[512];
    if (!w.m_Passed)
    {
        ++part.m_StepErrors;
        if (KeepsErrorMessage())
        {
            std::snprintf(text, sizeof text,
                          "Step error: Distance between %s-Value[%zu] and %s-Value[%zu] > %u. "
                          "Data: %s-Value[%zu]=%u dec, %s-Value[%zu]=%u dec. Distance=%" PRIu64
                          " dec.",
                          name, i - 1, name, i, part.m_Step, name, i - 1, shownPrevious, name, i,
                          shownCurrent, ascending ? w.m_Forward : w.m_Backward);
            m_Result.m_Messages.emplace_back(text);
        }
    }
    else if (part.m_MonotonyErrors == 0 && part.m_StepErrors == 0 && part.m_Bits != 0)
    {
        // The turn is counted at the first reading whose window reaches the first value again.
        if (!TestWindow(part.m_First, part.m_Bits, current, step).m_Passed)
        {
            part.m_TurnFlag = false;
        }
        else if (!part.m_TurnFlag)
        {
            part.m_TurnFlag = true;
            ++part.m_Turns;
        }
    }
    if (ascending ? w.m_Backward < w.m_Forward : w.m_Forward < w.m_Backward)
    {
        ++part.m_MonotonyErrors;
        if (KeepsErrorMessage())
        {
            std::snprintf(text, sizeof text,
                          "%s error: %s-Value[%zu] %s %s-Value[%zu]. Data: %s-Value[%zu]=%u dec, "
                          "%s-Value[%zu]=%u dec",
                          ascending ? "Ascending" : "Descending", name, i - 1,
                          ascending ? ">" : "<", name, i, name, i - 1, shownPrevious, name, i,
                          shownCurrent);
            m_Result.m_Messages.emplace_back(text);
        }
    }
}

bool CodeTester::CheckReading(Part& st, Part& mt, std::span<const unsigned int> readings,
                              std::size_t i)
{
    if (readings[i] == readings[i - 1])
    {
        return true;
    }
    // Skipped readings equal the one before, so the last reading handled is always i - 1.
    unsigned int previousSt, previousMt, currentSt, currentMt;
    Tavik::SplitStMt(m_Config.m_StBits, m_Config.m_MtBits, readings[i - 1], previousSt, previousMt);
    Tavik::SplitStMt(m_Config.m_StBits, m_Config.m_MtBits, readings[i], currentSt, currentMt);
    CheckPart(st, i, previousSt, currentSt);
    CheckPart(mt, i, previousMt, currentMt);

    const std::uint64_t errors = m_Result.GetErrorCount();
    if (errors >= m_Config.m_ErrorLimit)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%" PRIu64 " errors occured. Test canceled.", errors);
        m_Result.m_Messages.emplace_back(text);
        return false;
    }
    return true;
}

bool CodeTester::Test(std::span<const unsigned int> readings)
{
    m_Result = Result();
    m_Result.m_StMonotony = m_Config.m_StMonotony;
    m_Result.m_MtMonotony = m_Config.m_MtMonotony;
    m_ErrorMessages = 0;
    if (readings.size() < 3)
    {
        m_Result.m_Messages.emplace_back("There must be at least 3 measurements");
        return false;
    }

    // A part can hold no more bits than the split leaves it: with ST bits s, the MT part has at
    // most 32 - s bits, and its window must wrap where its values do.
    const unsigned int stBits = std::min(m_Config.m_StBits, 32u);
    const unsigned int mtBits = std::min(m_Config.m_MtBits, 32u - stBits);
    Part st{"ST",
            m_Config.m_StMonotony,
            stBits,
            m_Config.m_StStepSize,
            0,
            0,
            true,
            m_Result.m_StMonotonyErrors,
            m_Result.m_StStepErrors,
            m_Result.m_StTurns};
    Part mt{"MT",
            m_Config.m_MtMonotony,
            mtBits,
            m_Config.m_MtStepSize,
            stBits,
            0,
            true,
            m_Result.m_MtMonotonyErrors,
            m_Result.m_MtStepErrors,
            m_Result.m_MtTurns};
    for (Part* part : {&st, &mt})
    {
        if (part->m_Mode < MONO_NO_TEST || part->m_Mode > MONO_AUTODETECT)
        {
            Tavik::XAssertionFailed("false", "Invalid enum in enStMonotony", "CodeTester",
                                    __LINE__);
            part->m_Mode = MONO_NO_TEST; // when the report returns, the part goes untested
        }
    }
    Tavik::SplitStMt(m_Config.m_StBits, m_Config.m_MtBits, readings[0], st.m_First, mt.m_First);

    const std::size_t n = readings.size();
    // Limit 0 stops at the first differing reading, which the block scan would pass over.
    const bool scan = m_BlockScan && m_Config.m_ErrorLimit > 0;
    bool running = true;
    std::size_t i = 1;
    while (running && i < n)
    {
        if (scan && i + kBlock <= n)
        {
            // Quiet readings leave everything as it is: jump to the first event and check only
            // that one, then scan on with what it changed. Runs full of events (errors, small
            // parts) go reading by reading without rescanning.
            const ScanPart stScan = st.MakeScan();
            const ScanPart mtScan = mt.MakeScan();
            auto isEvent = [&](std::size_t k)
            {
                return (PartEvents(readings[k], readings[k - 1], stScan) |
                        PartEvents(readings[k], readings[k - 1], mtScan)) != 0;
            };
            if (!isEvent(i))
            {
                if (BlockIsQuiet(readings.data() + i - 1, stScan, mtScan))
                {
                    i += kBlock;
                    continue;
                }
                const std::size_t last = i + kBlock - 1;
                while (i < last && !isEvent(i))
                {
                    ++i;
                }
            }
        }
        running = CheckReading(st, mt, readings, i);
        ++i;
    }

    m_Result.m_StMonotony = st.m_Mode;
    m_Result.m_MtMonotony = mt.m_Mode;
    return m_Result.Passed();
}

} // namespace App
