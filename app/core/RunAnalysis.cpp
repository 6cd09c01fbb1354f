#include "app/core/RunAnalysis.h"

#include "app/core/CodeTester.h"
#include "app/core/Formats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>

// The block scan is worth compiling twice on x86-64: with AVX2 where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TAVIK_VECTOR_CLONES [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define TAVIK_VECTOR_CLONES
#endif

namespace App
{

namespace
{
constexpr std::array<EventClassInfo, kEventClasses> kClasses = {{
    {EVENT_SPIKE, "spike", "noise on the data line: %s %% of the %llu events are spikes", 230, 0, 0,
     true},
    {EVENT_JUMP, "jump", "readings jump ahead or back: %s %% of the %llu events are jumps", 255,
     128, 0, false},
    {EVENT_REVERSAL, "reversal",
     "the shaft moves back and forth: %s %% of the %llu events are reversals", 160, 0, 200, false},
    {EVENT_STUCK, "stuck", "the value freezes: %s %% of the %llu events are stuck runs", 0, 150,
     150, false},
    {EVENT_GRAY_FAULT, "Gray fault", "a broken data bit: %s %% of the %llu events are Gray faults",
     0, 160, 0, false},
    {EVENT_OUT_OF_STEP, "ST-MT out of step",
     "the ST and MT bits do not fit the encoder: %s %% of the %llu events are ST-MT slips", 200, 0,
     120, false},
    {EVENT_ALL_ONES, "all ones",
     "the line drops to all ones: %s %% of the %llu events are all-ones readings", 90, 90, 90,
     true},
    {EVENT_ALL_ZEROS, "all zeros",
     "the line drops to all zeros: %s %% of the %llu events are all-zeros readings", 0, 0, 0, true},
}};
static_assert(
    []
    {
        for (std::size_t c = 0; c < kEventClasses; ++c)
            if (kClasses[c].cls != EventClass(c))
                return false;
        return true;
    }(),
    "one row per class, in the enum's order");
} // namespace

const std::array<EventClassInfo, kEventClasses>& EventClasses()
{
    return kClasses;
}

const char* EventClassName(EventClass c)
{
    const auto i = std::size_t(c);
    return i < kEventClasses ? kClasses[i].name : "unknown";
}

namespace
{

constexpr std::size_t kSpikeMax = 3; // readings a spike may last before it counts as a jump
constexpr std::size_t kAroundBefore = 3;
constexpr std::size_t kAroundOwn = 4;
constexpr std::size_t kAroundAfter = 3;

// "100", "99.9", "0.5": one decimal, never rounded up to a whole run.
std::string Percent(double part)
{
    const double p = std::floor(part * 1000.0) / 10.0;
    return p == std::floor(p) ? Format("%.0f", p) : Format("%.1f", p);
}

std::string Ppm(double ppm)
{
    return ppm >= 100 ? Format("%.0f", ppm) : Format("%.2f", ppm);
}

// The distinct reading values (by position: one per raw value): a bitset in pages of 65536
// values, allocated as the run visits them. Past a budget of pages (one per 512 readings, at
// least 16, at most 2048: 16 MiB) the values of pages not yet allocated are kept in a list and
// counted by sorting, so that noise over 32 bits costs at most one copy of the buffer.
class ValueSet
{
public:
    ValueSet(unsigned bits, std::size_t readings)
        : m_Pages(bits > 16 ? std::size_t(1) << (bits - 16) : 1),
          m_MaxPages(std::clamp<std::size_t>(readings / 512, 16, 2048))
    {
    }
    void Add(std::uint32_t value) { AddWord(value >> 6, std::uint64_t(1) << (value & 63)); }
    // Neighbouring values share a word: the block's values are first gathered per word
    // without a branch, so that a run moving several counts per reading does not pay a
    // mispredicted branch at every word it enters.
    template <std::size_t N> void AddAll(std::span<const std::uint32_t, N> values)
    {
        std::array<std::uint32_t, N> words;
        std::array<std::uint64_t, N> bits;
        std::size_t k = 0;
        std::uint32_t current = values[0] >> 6;
        std::uint64_t acc = 0;
        for (std::size_t j = 0; j < N; ++j)
        {
            const std::uint32_t w = values[j] >> 6;
            const bool next = w != current;
            k += next;
            current = w;
            acc = (next ? 0 : acc) | std::uint64_t(1) << (values[j] & 63);
            words[k] = w;
            bits[k] = acc;
        }
        for (std::size_t i = 0; i <= k; ++i)
            AddWord(words[i], bits[i]);
    }
    // `count` values from `first` up, round a range of mask + 1 (at least 2^16) values.
    void AddInterval(std::uint32_t first, std::uint32_t count, std::uint32_t mask)
    {
        while (count != 0)
        {
            const std::uint32_t inWord = std::min<std::uint32_t>(64 - (first & 63), count);
            const std::uint64_t bits =
                (inWord == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << inWord) - 1)
                << (first & 63);
            AddWord(first >> 6, bits);
            first = (first + inWord) & mask;
            count -= inWord;
        }
    }
    TAVIK_VECTOR_CLONES std::size_t Count()
    {
        std::size_t count = 0;
        for (const auto& page : m_Pages)
            if (page)
                for (std::size_t w = 0; w < 1024; ++w)
                    count += std::size_t(std::popcount(page[w]));
        std::sort(m_Overflow.begin(), m_Overflow.end());
        return count +
               std::size_t(std::unique(m_Overflow.begin(), m_Overflow.end()) - m_Overflow.begin());
    }

private:
    // The values word * 64 + b of the set bits b.
    void AddWord(std::uint32_t word, std::uint64_t bits)
    {
        const std::uint32_t base = word << 6;
        if (std::uint64_t* w = Word(base))
            *w |= bits;
        else
            for (; bits != 0; bits &= bits - 1)
                m_Overflow.push_back(base + std::uint32_t(std::countr_zero(bits)));
    }
    std::uint64_t* Word(std::uint32_t value)
    {
        std::uint64_t* page = m_Pages[value >> 16].get();
        if (!page)
            page = Allocate(value);
        return page ? page + ((value >> 6) & 1023) : nullptr;
    }
    // nullptr when the budget is spent: the caller lists the values instead.
    std::uint64_t* Allocate(std::uint32_t value)
    {
        if (m_Allocated == m_MaxPages)
            return nullptr;
        ++m_Allocated;
        return (m_Pages[value >> 16] = std::make_unique<std::uint64_t[]>(1024)).get();
    }

    std::vector<std::unique_ptr<std::uint64_t[]>> m_Pages;
    const std::size_t m_MaxPages;
    std::size_t m_Allocated = 0;
    std::vector<std::uint32_t> m_Overflow; // values of pages never allocated
};

class Pass
{
public:
    Pass(std::span<const unsigned> readings, const AnalysisConfig& config, Analysis& a)
        : m_R(readings), m_A(a), m_Gray(config.gray), m_BlockScan(config.blockScan)
    {
        m_St = std::min(config.stBits, 32u);
        m_Mt = std::min(config.mtBits, 32u - m_St);
        m_Bits = m_St + m_Mt;
        m_Mask = LowMask(m_Bits);
        m_Range = std::uint64_t(1) << m_Bits;
    }

    void Run();

private:
    static std::uint32_t LowMask(unsigned bits)
    {
        return bits >= 32 ? 0xFFFFFFFFu : (std::uint32_t(1) << bits) - 1;
    }
    std::uint32_t Raw(std::size_t i) const { return m_R[i] & m_Mask; }
    std::uint32_t Pos(std::uint32_t raw) const
    {
        return m_Gray ? CodeTester::GrayToBinary(raw) : raw;
    }
    // b - a as the shortest signed way round a part of `bits` bits (1 to 32).
    static std::int64_t Step(std::uint32_t a, std::uint32_t b, unsigned bits)
    {
        const std::uint64_t range = std::uint64_t(1) << bits;
        std::uint64_t d = (std::uint64_t(b) - a) & (range - 1);
        return d >= range / 2 ? std::int64_t(d) - std::int64_t(range) : std::int64_t(d);
    }
    bool Dead(std::uint32_t raw) const { return m_Bits >= 2 && (raw == 0 || raw == m_Mask); }
    EventClass DeadClass(std::uint32_t raw) const
    {
        return raw == 0 ? EVENT_ALL_ZEROS : EVENT_ALL_ONES;
    }
    // Is a move of `d` counts over `k` readings within what the speed allows? A frozen value
    // that catches up is allowed anything from one reading's move to k readings' move.
    bool InRange(std::int64_t d, std::size_t k) const
    {
        const double a = m_V, b = m_V * double(k);
        return double(d) >= std::min(a, b) - m_Tol && double(d) <= std::max(a, b) + m_Tol;
    }
    void EstimateSpeed();
    void CloseRun(std::size_t start, std::size_t end);
    void Accept(std::size_t i, std::uint32_t pos, std::int64_t d);
    void Emit(EventClass cls, std::size_t first, std::size_t length, double severity);
    bool PlainBlock(std::size_t i0, std::uint32_t& lastRaw, std::size_t& runStart,
                    ValueSet& values);

    static constexpr std::size_t kBlock = 512;

    std::span<const unsigned> m_R;
    Analysis& m_A;
    const bool m_Gray;
    const bool m_BlockScan;
    unsigned m_St = 0, m_Mt = 0, m_Bits = 0;
    std::uint32_t m_Mask = 0;
    std::uint64_t m_Range = 1;

    double m_V = 0;   // counts per reading, signed
    double m_Tol = 2; // counts a step may differ from m_V
    int m_Dir = 0;
    std::size_t m_StuckLimit = std::numeric_limits<std::size_t>::max();
    std::size_t m_DeadLimit = 3;
    bool m_CheckGray = false;

    // The last reading on the track: later readings are judged against it.
    std::size_t m_AnchorAt = 0;
    std::uint32_t m_Anchor = 0;
    bool m_RunEnteredOff = false; // the current run of equal values began off the track
    bool m_AfterDead = false;     // the last closed run was all ones or all zeros
    std::size_t m_GrayFaultAt = std::numeric_limits<std::size_t>::max();
    std::int64_t m_TrackSum = 0;
    std::array<std::uint64_t, kEventClasses> m_EventReadings{};
};

void Pass::EstimateSpeed()
{
    // The median of the moves over a few long windows spread over the run: faults in a few
    // windows do not move it.
    const std::size_t n = m_R.size();
    if (n < 2)
        return;
    const std::size_t w = std::clamp<std::size_t>((n - 1) / 64, 1, 4096);
    const std::size_t windows = std::min<std::size_t>(64, (n - 1) / w);
    const auto start = [&](std::size_t k)
    { return windows == 1 ? 0 : k * (n - 1 - w) / (windows - 1); };
    // Steps far above the typical one (spikes, jumps) are left out of the moves.
    std::vector<std::int64_t> steps;
    for (std::size_t k = 0; k < windows; ++k)
        for (std::size_t i = start(k) + 1; i <= start(k) + w; ++i)
            steps.push_back(std::llabs(Step(Pos(Raw(i - 1)), Pos(Raw(i)), m_Bits)));
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    const std::int64_t cap = 4 * steps[steps.size() / 2] + 8;
    std::vector<std::int64_t> moves;
    for (std::size_t k = 0; k < windows; ++k)
    {
        std::int64_t sum = 0;
        for (std::size_t i = start(k) + 1; i <= start(k) + w; ++i)
        {
            const std::int64_t d = Step(Pos(Raw(i - 1)), Pos(Raw(i)), m_Bits);
            sum += std::llabs(d) <= cap ? d : 0;
        }
        moves.push_back(sum);
    }
    std::nth_element(moves.begin(), moves.begin() + moves.size() / 2, moves.end());
    m_V = double(moves[moves.size() / 2]) / double(w);
    m_Dir = m_V > 1e-6 ? 1 : m_V < -1e-6 ? -1 : 0;
    m_Tol = std::max(2.0, std::fabs(m_V));
    if (m_Dir != 0)
    {
        // Four times as long as the encoder dwells on one value at this speed.
        const double dwell = 4.0 / std::fabs(m_V);
        m_StuckLimit = dwell > 1e15 ? std::numeric_limits<std::size_t>::max()
                                    : std::max<std::size_t>(3, std::size_t(std::ceil(dwell)));
        m_DeadLimit = m_StuckLimit;
    }
    // Only a run of at most one count per reading changes one Gray bit per reading.
    m_CheckGray = m_Gray && std::fabs(m_V) <= 1.0;
}

void Pass::Emit(EventClass cls, std::size_t first, std::size_t length, double severity)
{
    ClassSummary& c = m_A.classes[cls];
    ++c.count;
    m_EventReadings[cls] += length;
    if (m_A.events.size() >= Analysis::kMaxEvents)
        return;
    AnalysisEvent e;
    e.cls = cls;
    e.first = first;
    e.length = length;
    e.severity = severity;
    e.aroundFirst = first >= kAroundBefore ? first - kAroundBefore : 0;
    const std::size_t end =
        std::min(m_R.size(), first + std::min(length, kAroundOwn) + kAroundAfter);
    e.around.assign(m_R.begin() + long(e.aroundFirst), m_R.begin() + long(end));
    const long index = long(m_A.events.size());
    if (c.first < 0)
        c.first = index;
    if (c.worst < 0 || severity > m_A.events[std::size_t(c.worst)].severity)
        c.worst = index;
    m_A.events.push_back(std::move(e));
}

void Pass::CloseRun(std::size_t start, std::size_t end)
{
    const std::size_t length = end - start;
    const std::uint32_t raw = Raw(start);
    m_AfterDead = false;
    if (Dead(raw) && (length >= m_DeadLimit || m_RunEnteredOff))
    {
        Emit(DeadClass(raw), start, length, double(length));
        m_AfterDead = true;
    }
    else if (length >= m_StuckLimit)
        Emit(EVENT_STUCK, start, length, double(length));
}

void Pass::Accept(std::size_t i, std::uint32_t pos, std::int64_t d)
{
    m_TrackSum += d;
    m_AnchorAt = i;
    m_Anchor = pos;
}

// Readings i0 .. i0 + kBlock - 1 when each change of value is a plain step along the track:
// no event can start there, and only the values and the track's sum move. The
// block is judged first and taken only as a whole, so the reading-by-reading pass sees the
// same state either way.
TAVIK_VECTOR_CLONES bool Pass::PlainBlock(std::size_t i0, std::uint32_t& lastRaw,
                                          std::size_t& runStart, ValueSet& values)
{
    if (m_RunEnteredOff || Dead(lastRaw) || m_AnchorAt != runStart || m_Anchor != Pos(lastRaw))
        return false;
    // The steps InRange(d, 1) accepts that are not reversals; they are accepted after any dwell.
    // Faster runs than 2^21 counts per reading go reading by reading: the block's sum then
    // fits 32 bits.
    const double lowD = std::ceil(m_V - m_Tol), highD = std::floor(m_V + m_Tol);
    if (!(lowD > -2097152.0 && highD < 2097152.0))
        return false;
    std::int32_t low = std::int32_t(lowD), high = std::int32_t(highD);
    if (m_Dir > 0)
        low = std::max(low, 1);
    if (m_Dir < 0)
        high = std::min(high, -1);

    // Slot 0 holds the reading before the block.
    std::array<std::uint32_t, kBlock + 1> raw, pos;
    raw[0] = lastRaw;
    pos[0] = m_Anchor; // equal to lastRaw in binary runs
    const unsigned* r = m_R.data() + i0;
    const std::uint32_t mask = m_Mask;
    for (std::size_t j = 0; j < kBlock; ++j)
        raw[j + 1] = r[j] & mask;
    if (m_Gray)
        for (std::size_t j = 1; j <= kBlock; ++j)
        {
            std::uint32_t p = raw[j];
            p ^= p >> 1;
            p ^= p >> 2;
            p ^= p >> 4;
            p ^= p >> 8;
            p ^= p >> 16;
            pos[j] = p;
        }
    // Binary readings are their own positions.
    const std::span<const std::uint32_t, kBlock + 1> at(m_Gray ? pos.data() : raw.data(),
                                                        kBlock + 1);

    // A step the short way round a part of b bits is the difference's low b bits, signed.
    const unsigned shift = 32 - m_Bits;
    const std::uint32_t deadCheck = m_Bits >= 2;
    // Positions only move one way here, so when L readings cannot go round the whole range,
    // two readings L - 1 apart are equal only across a run of L equal readings, which may
    // become a stuck run: such a block is left to the reading-by-reading pass.
    const std::int64_t widest = std::max(std::llabs(low), std::llabs(high));
    const bool windowed = m_StuckLimit <= kBlock && m_Dir != 0 &&
                          std::uint64_t(m_StuckLimit) * std::uint64_t(widest) < m_Range;
    std::uint32_t bad = 0;
    if (windowed)
    {
        // In chunks of a fixed length: the compiler vectorises only loops whose trip count
        // it knows (at -O2).
        const std::size_t l = m_StuckLimit;
        const std::uint32_t* ahead = raw.data() + l;
        const std::uint32_t* behind = raw.data() + 1;
        const std::size_t n = kBlock - l + 1;
        constexpr std::size_t kChunk = 16;
        std::size_t j = 0;
        for (; j + kChunk <= n; j += kChunk)
            for (std::size_t c = 0; c < kChunk; ++c)
                bad |= std::uint32_t(ahead[j + c] == behind[j + c]);
        for (; j < n; ++j)
            bad |= std::uint32_t(ahead[j] == behind[j]);
    }
    if (m_CheckGray)
        for (std::size_t j = 1; j <= kBlock; ++j)
        {
            const std::uint32_t x = raw[j] ^ raw[j - 1];
            bad |= (x & (x - 1)) != 0;
        }
    // Positions differ exactly where the readings do; all ones and all zeros by position.
    const std::uint32_t onesAt = Pos(mask);
    const std::int32_t dir = m_Dir;
    std::uint32_t nonUnit = 0, changes = 0;
    std::uint32_t sum = 0; // wraps only in a block that is refused anyway
    if (dir != 0)
    {
        // Every step must go the run's way: one bound on the move ahead checks it. All ones
        // and all zeros passed on the way are no event: a run of them becomes one at the
        // stuck limit, as any run does.
        const std::uint32_t bound = std::uint32_t(dir > 0 ? high : -low);
        for (std::size_t j = 1; j <= kBlock; ++j)
        {
            const std::uint32_t a = at[j - 1], b = at[j];
            const std::uint32_t d = std::uint32_t(std::int32_t((b - a) << shift) >> shift);
            const std::uint32_t ahead = dir > 0 ? d : 0u - d; // as unsigned: back is huge
            bad |= ahead > bound;
            nonUnit |= ahead > 1;
            changes += ahead != 0;
            sum += d;
        }
    }
    else
        for (std::size_t j = 1; j <= kBlock; ++j)
        {
            const std::uint32_t a = at[j - 1], b = at[j];
            const std::int32_t d = std::int32_t((b - a) << shift) >> shift;
            const std::uint32_t change = d != 0;
            nonUnit |= change & (d != dir);
            bad |= change & ((d < low) | (d > high) | (deadCheck & ((b == 0) | (b == onesAt))));
            changes += change;
            sum += std::uint32_t(d);
        }
    if (bad)
        return false;
    const bool unitSteps = !nonUnit && m_Dir != 0;

    // No run of one value may reach the stuck limit where it ends inside the block.
    std::size_t start = runStart;
    if (changes != 0)
    {
        std::size_t j = 1;
        while (raw[j] == raw[j - 1])
            ++j;
        if (i0 + j - 1 - start >= m_StuckLimit)
            return false;
        start = i0 + j - 1;
        if (!windowed && m_StuckLimit <= kBlock)
        {
            for (++j; j <= kBlock; ++j)
                if (raw[j] != raw[j - 1])
                {
                    if (i0 + j - 1 - start >= m_StuckLimit)
                        return false;
                    start = i0 + j - 1;
                }
        }
        else
        {
            for (j = kBlock; raw[j] == raw[j - 1];)
                --j;
            start = i0 + j - 1;
        }
        m_AfterDead = false;
    }

    // Steps of one count visit every value between the ends.
    if (unitSteps && m_Range > 65536)
    {
        const std::uint32_t first = m_Dir > 0 ? at[0] : std::uint32_t(at[0] - changes) & mask;
        values.AddInterval(first, changes + 1, mask);
    }
    else
        values.AddAll(at.subspan<1>());
    m_TrackSum += std::int32_t(sum);
    lastRaw = raw[kBlock];
    runStart = start;
    m_AnchorAt = start;
    m_Anchor = at[kBlock];
    return true;
}

void Pass::Run()
{
    const std::size_t n = m_R.size();
    if (n == 0 || m_Bits == 0)
    {
        m_A.distinct = n == 0 ? 0 : 1;
        return;
    }
    EstimateSpeed();
    ValueSet values(m_Bits, n);

    std::uint32_t lastRaw = Raw(0);
    values.Add(Pos(lastRaw));
    m_Anchor = Pos(lastRaw);
    std::size_t runStart = 0;
    const std::uint32_t stMask = LowMask(m_St);
    std::size_t nextBlock = 1;
    for (std::size_t i = 1; i < n; ++i)
    {
        if (m_BlockScan && i >= nextBlock && n - i >= kBlock)
        {
            if (PlainBlock(i, lastRaw, runStart, values))
            {
                i += kBlock - 1;
                continue;
            }
            nextBlock = i + kBlock; // something happens here: reading by reading
        }
        const std::uint32_t raw = Raw(i);
        if (raw == lastRaw)
            continue;
        values.Add(Pos(raw));
        CloseRun(runStart, i);
        const std::size_t left = runStart; // the first reading of the value just left
        runStart = i;
        m_RunEnteredOff = false;

        if (m_CheckGray && m_GrayFaultAt != left)
        {
            const std::uint32_t x = raw ^ lastRaw;
            if ((x & (x - 1)) != 0)
            {
                m_GrayFaultAt = i;
                Emit(EVENT_GRAY_FAULT, i, 1, double(__builtin_popcount(x)));
            }
        }
        lastRaw = raw;

        const std::uint32_t pos = Pos(raw);
        const std::size_t k = i - m_AnchorAt;
        const std::int64_t d = Step(m_Anchor, pos, m_Bits);
        if (m_Dir != 0 && d * m_Dir < 0 && double(std::llabs(d)) <= m_Tol)
        {
            Emit(EVENT_REVERSAL, i, 1, double(std::llabs(d)));
            Accept(i, pos, d);
            continue;
        }
        if (InRange(d, k) || m_AfterDead)
        {
            Accept(i, pos, d);
            continue;
        }
        if (m_St > 0 && m_Mt > 0)
        {
            // The ST part moves as it should, the MT part one count off what ST's wrap asks.
            const std::int64_t ds = Step(m_Anchor & stMask, pos & stMask, m_St);
            const std::int64_t st = std::int64_t(m_Anchor & stMask) + ds;
            const std::int64_t wrap = st < 0 ? -1 : st > std::int64_t(stMask) ? 1 : 0;
            const std::int64_t dm = Step(m_Anchor >> m_St, pos >> m_St, m_Mt);
            if (InRange(ds, k) && std::llabs(dm - wrap) == 1)
            {
                Emit(EVENT_OUT_OF_STEP, i, 1, 1);
                m_TrackSum += ds;
                m_AnchorAt = i;
                m_Anchor = pos;
                continue;
            }
        }
        // Off the track: a spike when the run comes back within a few readings.
        std::size_t back = 0;
        for (std::size_t j = 1; j <= kSpikeMax && i + j < n; ++j)
        {
            if (InRange(Step(m_Anchor, Pos(Raw(i + j)), m_Bits), k + j))
            {
                back = j;
                break;
            }
        }
        if (back != 0)
        {
            bool allDead = true;
            double worst = 0;
            for (std::size_t j = i; j < i + back; ++j)
            {
                allDead = allDead && Dead(Raw(j)) && Raw(j) == raw;
                values.Add(Pos(Raw(j)));
                worst = std::max(worst, std::fabs(double(Step(m_Anchor, Pos(Raw(j)), m_Bits)) -
                                                  m_V * double(j - m_AnchorAt)));
            }
            if (allDead)
                Emit(DeadClass(raw), i, back, double(back));
            else
                Emit(EVENT_SPIKE, i, back, worst);
            i += back;
            lastRaw = Raw(i);
            values.Add(Pos(lastRaw));
            runStart = i;
            const std::uint32_t p = Pos(lastRaw);
            Accept(i, p, Step(m_Anchor, p, m_Bits));
            continue;
        }
        // A jump that stays; a jump onto all ones or zeros is that run's event.
        if (Dead(raw))
            m_RunEnteredOff = true;
        else
            Emit(EVENT_JUMP, i, 1, std::fabs(double(d) - m_V * double(k)));
        m_AnchorAt = i;
        m_Anchor = pos;
    }
    CloseRun(runStart, n);
    m_A.distinct = values.Count();

    for (std::size_t c = 0; c < kEventClasses; ++c)
        m_A.classes[c].ppm = double(m_EventReadings[c]) * 1e6 / double(n);

    const double mean = n > 1 ? double(m_TrackSum) / double(n - 1) : 0.0; // one reading: no speed
    const double perSecond = m_A.durationS > 0 ? double(n) / m_A.durationS : 0;
    // Turns as the code tester counts them: turns of the part's own value from the first
    // reading on, along the track (jumps left out), so that a run that wobbles across a wrap
    // counts none. A turn counts once the part is within a reading's move of its first value
    // again, as the tester's window of one step does: a run of round length ends a reading
    // short of its last turn. Shifts are arithmetic (floor) on 64 bits.
    const std::int64_t from = Pos(Raw(0));
    const auto figures = [&](PartFigures& f, unsigned below, unsigned bits)
    {
        if (bits == 0)
            return;
        f.direction = m_Dir;
        f.countsPerSecond = std::ldexp(mean, -int(below)) * perSecond;
        f.rpm = std::ldexp(f.countsPerSecond, -int(bits)) * 60.0;
        const std::int64_t moved = ((from + m_TrackSum) >> below) - (from >> below);
        const double step = std::ceil(std::ldexp(std::fabs(m_V), -int(below)));
        const std::uint64_t reach = step > 1 ? std::uint64_t(std::min(step, 1e15)) : 1;
        f.moved = moved != 0;
        f.turns = f.moved ? (std::uint64_t(moved < 0 ? -moved : moved) + reach) >> bits : 0;
    };
    figures(m_A.st, 0, m_St);
    figures(m_A.mt, m_St, m_Mt);

    // One class that explains the rest.
    const double ones = double(m_EventReadings[EVENT_ALL_ONES]) / double(n);
    const double zeros = double(m_EventReadings[EVENT_ALL_ZEROS]) / double(n);
    if (ones >= 0.5 || zeros >= 0.5)
    {
        m_A.noEncoder = true;
        m_A.rootCause = "no encoder answering: " + Percent(std::max(ones, zeros)) +
                        " % of the readings have every data bit " +
                        (ones >= zeros ? "set" : "clear");
        return;
    }
    std::uint64_t total = 0;
    std::size_t top = 0;
    for (std::size_t c = 0; c < kEventClasses; ++c)
    {
        total += m_A.classes[c].count;
        top = m_A.classes[c].count > m_A.classes[top].count ? c : top;
    }
    if (total >= 10 && double(m_A.classes[top].count) >= 0.9 * double(total))
    {
        m_A.rootCause = Format(kClasses[top].cause,
                               Percent(double(m_A.classes[top].count) / double(total)).c_str(),
                               static_cast<unsigned long long>(total));
    }
}

} // namespace

std::vector<std::string> Analysis::SummaryLines() const
{
    std::vector<std::string> lines;
    if (!rootCause.empty())
        lines.push_back("Root cause: " + rootCause);
    for (std::size_t c = 0; c < kEventClasses; ++c)
    {
        const ClassSummary& s = classes[c];
        if (s.count == 0)
            continue;
        std::string line = Format("%s: %llu event%s, %s ppm", EventClassName(EventClass(c)),
                                  static_cast<unsigned long long>(s.count), s.count == 1 ? "" : "s",
                                  Ppm(s.ppm).c_str());
        if (s.first >= 0)
            line += Format(", first at reading %zu", events[std::size_t(s.first)].first);
        if (s.worst >= 0 && s.count > 1)
            line += Format(", worst at reading %zu", events[std::size_t(s.worst)].first);
        lines.push_back(line);
    }
    return lines;
}

Analysis AnalyseRun(std::span<const unsigned> readings, const AnalysisConfig& config)
{
    Analysis analysis;
    analysis.readings = readings.size();
    analysis.durationS = double(readings.size()) * config.delayUs * 1e-6;
    Pass(readings, config, analysis).Run();
    return analysis;
}

} // namespace App
