#include "controls/MinMaxPyramid.h"

#include <algorithm>
#include <cstdint>

namespace zef::Glimra
{

namespace
{
// Sign-extends the low `bits` of a difference: the step the shortest way round the range.
inline std::int32_t Wrapped(std::uint32_t difference, unsigned bits)
{
    const unsigned up = 32 - bits;
    return static_cast<std::int32_t>(difference << up) >> up;
}
} // namespace

// The pass over every reading. Unsigned and signed 32-bit min/max need SSE4.1, so the loop
// is also built for AVX2 and picked at load time where the processor has it.
__attribute__((target_clones("avx2", "default"))) void
MinMaxPyramid::BuildFinest(const unsigned* readings, std::size_t blocks, unsigned shift,
                           unsigned width, std::uint32_t mask, Block* out)
{
    std::uint32_t previous = (readings[0] >> shift) & mask; // the first step is 0
    for (std::size_t b = 0; b < blocks; ++b)
    {
        const unsigned* raw = readings + b * kBlock;
        std::uint32_t pos[kBlock];
        std::int32_t step[kBlock];
        for (std::size_t j = 0; j < kBlock; ++j)
            pos[j] = (raw[j] >> shift) & mask;
        step[0] = Wrapped(pos[0] - previous, width);
        for (std::size_t j = 1; j < kBlock; ++j)
            step[j] = Wrapped(pos[j] - pos[j - 1], width);
        previous = pos[kBlock - 1];
        std::uint32_t pmin = pos[0], pmax = pos[0];
        std::int32_t smin = step[0], smax = step[0];
        for (std::size_t j = 1; j < kBlock; ++j)
        {
            pmin = std::min(pmin, pos[j]);
            pmax = std::max(pmax, pos[j]);
            smin = std::min(smin, step[j]);
            smax = std::max(smax, step[j]);
        }
        out[b] = {pmin, pmax, smin, smax};
    }
}

MinMaxPyramid::MinMaxPyramid(std::span<const unsigned> readings, PositionBits bits,
                             std::span<const ReadingSpan> outliers)
    : m_Readings(readings), m_Bits(bits)
{
    m_Bits.bits = std::clamp(m_Bits.bits, 1u, 32u);
    m_Bits.shift = std::min(m_Bits.shift, 32u - m_Bits.bits);
    m_Mask = m_Bits.bits == 32 ? 0xFFFFFFFFu : (1u << m_Bits.bits) - 1;

    const std::size_t blocks = readings.size() / kBlock;
    if (blocks != 0)
    {
        std::vector<Block>& finest = m_Levels.emplace_back(blocks);
        BuildFinest(readings.data(), blocks, m_Bits.shift, m_Bits.bits, m_Mask, finest.data());
        BuildUpper(m_Levels);
    }
    BuildBulk(outliers);
}

void MinMaxPyramid::BuildUpper(LevelList& levels)
{
    while (levels.back().size() >= 2 * kFanOut)
    {
        const std::vector<Block>& below = levels.back();
        std::vector<Block> level(below.size() / kFanOut);
        for (std::size_t b = 0; b < level.size(); ++b)
        {
            Block merged = below[b * kFanOut];
            for (std::size_t j = 1; j < kFanOut; ++j)
            {
                const Block& next = below[b * kFanOut + j];
                merged.posMin = std::min(merged.posMin, next.posMin);
                merged.posMax = std::max(merged.posMax, next.posMax);
                merged.stepMin = std::min(merged.stepMin, next.stepMin);
                merged.stepMax = std::max(merged.stepMax, next.stepMax);
            }
            level[b] = merged;
        }
        levels.push_back(std::move(level));
    }
}

void MinMaxPyramid::BuildBulk(std::span<const ReadingSpan> outliers)
{
    const std::size_t n = Size();
    std::vector<std::size_t> blocks; // finest blocks to redo
    for (const ReadingSpan& o : outliers)
    {
        if (o.first >= n || o.length == 0)
            continue;
        if (m_Outliers.empty())
            m_Outliers.resize((n + 63) / 64);
        const std::size_t last = std::min(n, o.first + o.length); // exclusive
        for (std::size_t i = o.first; i < last; ++i)
            m_Outliers[i / 64] |= std::uint64_t(1) << (i % 64);
        // The step out of the outliers belongs to the reading after them.
        for (std::size_t b = o.first / kBlock; b <= std::min(last, n - 1) / kBlock; ++b)
            blocks.push_back(b);
    }
    if (m_Outliers.empty() || m_Levels.empty())
        return;
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    m_BulkLevels.push_back(m_Levels[0]);
    for (const std::size_t b : blocks)
        if (b < m_BulkLevels[0].size())
            m_BulkLevels[0][b] = BulkBlock(b);
    BuildUpper(m_BulkLevels);
}

MinMaxPyramid::Block MinMaxPyramid::BulkBlock(std::size_t block) const
{
    Block out{0xFFFFFFFFu, 0, INT32_MAX, INT32_MIN};
    for (std::size_t i = block * kBlock; i < (block + 1) * kBlock; ++i)
    {
        if (!IsOutlier(SERIES_POSITION, i))
        {
            out.posMin = std::min(out.posMin, Position(i));
            out.posMax = std::max(out.posMax, Position(i));
        }
        if (!IsOutlier(SERIES_STEP, i))
        {
            out.stepMin = std::min(out.stepMin, Step(i));
            out.stepMax = std::max(out.stepMax, Step(i));
        }
    }
    return out;
}

bool MinMaxPyramid::IsOutlier(RunSeries series, std::size_t index) const
{
    const auto marked = [this](std::size_t i)
    { return i < Size() && (m_Outliers[i / 64] >> (i % 64) & 1) != 0; };
    if (m_Outliers.empty())
        return false;
    return marked(index) || (series == SERIES_STEP && index > 0 && marked(index - 1));
}

std::int32_t MinMaxPyramid::Step(std::size_t index) const
{
    return index == 0 ? 0 : Wrapped(Position(index) - Position(index - 1), m_Bits.bits);
}

std::int64_t MinMaxPyramid::Value(RunSeries series, std::size_t index) const
{
    return series == SERIES_POSITION ? std::int64_t(Position(index)) : Step(index);
}

void MinMaxPyramid::TakeReading(ValueSpan& span, RunSeries series, std::size_t index) const
{
    const std::int64_t v = Value(series, index);
    if (span.Empty())
        span = {v, v};
    else
    {
        span.min = std::min(span.min, v);
        span.max = std::max(span.max, v);
    }
}

void MinMaxPyramid::Take(ValueSpan& span, RunSeries series, const Block& block) const
{
    const std::int64_t lo = series == SERIES_POSITION ? std::int64_t(block.posMin) : block.stepMin;
    const std::int64_t hi = series == SERIES_POSITION ? std::int64_t(block.posMax) : block.stepMax;
    if (hi < lo)
        return; // only outliers
    if (span.Empty())
        span = {lo, hi};
    else
    {
        span.min = std::min(span.min, lo);
        span.max = std::max(span.max, hi);
    }
}

ValueSpan MinMaxPyramid::Query(const LevelList& levels, RunSeries series, std::size_t first,
                               std::size_t last, bool bulk) const
{
    ValueSpan span;
    last = std::min(last, Size());
    if (first >= last)
        return span;
    // Both ends climb the levels: the readings up to the first block boundary inside the
    // range, then at each level the blocks up to the next level's boundary. Each end takes
    // fewer than kBlock readings and fewer than kFanOut blocks a level, and only whole blocks
    // below `last`, so the part of the run past the last whole block is read directly.
    std::size_t unit = 1; // readings per unit: at level 0 the readings, then level - 1's blocks
    for (std::size_t level = 0;; ++level)
    {
        const std::size_t size = level == 0 ? kBlock : unit * kFanOut;
        const bool top = level == levels.size();
        const auto takeUnit = [&](std::size_t at)
        {
            if (level != 0)
                Take(span, series, levels[level - 1][at / unit]);
            else if (!bulk || !IsOutlier(series, at))
                TakeReading(span, series, at);
        };
        if (top)
        {
            for (; first < last; first += unit)
                takeUnit(first);
            return span;
        }
        while (first < last && first % size != 0)
        {
            takeUnit(first);
            first += unit;
        }
        while (first < last && (last % size != 0 || last / size > levels[level].size()))
        {
            last -= unit;
            takeUnit(last);
        }
        if (first >= last)
            return span;
        unit = size;
    }
}

std::size_t MinMaxPyramid::Bytes() const
{
    std::size_t bytes = m_Outliers.capacity() * sizeof(std::uint64_t);
    for (const LevelList* levels : {&m_Levels, &m_BulkLevels})
        for (const std::vector<Block>& level : *levels)
            bytes += level.capacity() * sizeof(Block);
    return bytes;
}

} // namespace zef::Glimra
