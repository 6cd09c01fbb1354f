#include "app/core/LiveRing.h"

#include <algorithm>

namespace App
{

namespace
{
// Levels of a ring of `readings`: the top blocks at most 1/16 of it.
std::size_t LevelsFor(std::size_t readings)
{
    std::size_t levels = 1;
    for (std::size_t size = LiveRing::kBlock * LiveRing::kFanOut; size * 16 <= readings;
         size *= LiveRing::kFanOut)
        ++levels;
    return levels;
}

std::size_t BlockSize(std::size_t level)
{
    std::size_t size = LiveRing::kBlock;
    for (std::size_t l = 0; l < level; ++l)
        size *= LiveRing::kFanOut;
    return size;
}
} // namespace

std::size_t LiveRing::CapacityFor(std::size_t readings)
{
    readings = std::max(readings, kMinCapacity);
    const std::size_t top = BlockSize(LevelsFor(readings) - 1);
    return (readings + top - 1) / top * top;
}

LiveRing::LiveRing(std::size_t readings, LiveBits bits) : m_Data(CapacityFor(readings))
{
    const std::size_t levels = LevelsFor(m_Data.size());
    for (std::size_t l = 0; l < levels; ++l)
        m_Levels.emplace_back(m_Data.size() / BlockSize(l));
    SetBits(bits);
}

std::size_t LiveRing::BytesFor(std::size_t capacity)
{
    std::size_t bytes = capacity * sizeof(unsigned);
    const std::size_t levels = LevelsFor(capacity);
    for (std::size_t l = 0; l < levels; ++l)
        bytes += capacity / BlockSize(l) * sizeof(Block);
    return bytes;
}

std::size_t LiveRing::Bytes() const
{
    std::size_t bytes = m_Data.capacity() * sizeof(unsigned);
    for (const std::vector<Block>& level : m_Levels)
        bytes += level.capacity() * sizeof(Block);
    return bytes;
}

void LiveRing::Clear()
{
    m_Total = 0;
}

void LiveRing::SetBits(LiveBits bits)
{
    m_Bits.bits = std::clamp(bits.bits, 1u, 32u);
    m_Bits.shift = std::min(bits.shift, 32u - m_Bits.bits);
    m_Mask = m_Bits.bits == 32 ? 0xFFFFFFFFu : (1u << m_Bits.bits) - 1;
    // Every whole block still kept, in order, as if they arrived now.
    for (std::size_t b = (First() + kBlock - 1) / kBlock; b < m_Total / kBlock; ++b)
        FinishBlock(b);
}

void LiveRing::Append(std::span<const unsigned> readings)
{
    while (!readings.empty())
    {
        const std::size_t at = m_Total % Capacity();
        const std::size_t n = std::min(readings.size(), Capacity() - at);
        std::copy_n(readings.data(), n, m_Data.data() + at);
        const std::size_t before = m_Total;
        m_Total += n;
        readings = readings.subspan(n);
        for (std::size_t b = before / kBlock; b < m_Total / kBlock; ++b)
            FinishBlock(b);
    }
}

void LiveRing::FinishBlock(std::size_t block)
{
    // The capacity is a whole number of blocks: a block's readings lie side by side.
    const unsigned* raw = m_Data.data() + block * kBlock % Capacity();
    const std::uint32_t half = m_Mask / 2 + 1;
    Block b{0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0};
    for (std::size_t j = 0; j < kBlock; ++j)
    {
        const std::uint32_t p = (raw[j] >> m_Bits.shift) & m_Mask;
        const std::uint32_t c = (p + half) & m_Mask;
        b.min = std::min(b.min, p);
        b.max = std::max(b.max, p);
        b.cmin = std::min(b.cmin, c);
        b.cmax = std::max(b.cmax, c);
    }
    m_Levels[0][block % m_Levels[0].size()] = b;
    // Each completed block may complete the one above it.
    for (std::size_t l = 1; l < m_Levels.size() && (block + 1) % kFanOut == 0; ++l)
    {
        block /= kFanOut;
        const std::vector<Block>& below = m_Levels[l - 1];
        Block merged{0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0};
        for (std::size_t j = 0; j < kFanOut; ++j)
        {
            const Block& child = below[(block * kFanOut + j) % below.size()];
            merged.min = std::min(merged.min, child.min);
            merged.max = std::max(merged.max, child.max);
            merged.cmin = std::min(merged.cmin, child.cmin);
            merged.cmax = std::max(merged.cmax, child.cmax);
        }
        m_Levels[l][block % m_Levels[l].size()] = merged;
    }
}

void LiveRing::Take(LiveSpan& span, std::int64_t lo, std::int64_t hi) const
{
    if (span.Empty())
        span = {lo, hi};
    else
    {
        span.min = std::min(span.min, lo);
        span.max = std::max(span.max, hi);
    }
}

std::int64_t LiveRing::Centred(std::int64_t position) const
{
    const std::int64_t half = std::int64_t(m_Mask / 2) + 1;
    return ((position + half) & m_Mask) - half;
}

LiveSpan LiveRing::Range(std::size_t first, std::size_t last, bool centred) const
{
    const std::int64_t half = centred ? std::int64_t(m_Mask / 2) + 1 : 0;
    LiveSpan span;
    first = std::max(first, First());
    last = std::min(last, m_Total);
    // Both ends climb the levels as in the batch's pyramid: readings up to the first block
    // boundary inside the range, then at each level the blocks up to the next level's
    // boundary. A block taken lies inside [first, last), so it is kept and complete.
    std::size_t unit = 1;
    for (std::size_t level = 0; first < last; ++level)
    {
        const auto take = [&](std::size_t at)
        {
            if (level == 0)
            {
                const std::int64_t p = centred ? Centred(Position(at)) : Position(at);
                Take(span, p, p);
                return;
            }
            const std::vector<Block>& blocks = m_Levels[level - 1];
            const Block& b = blocks[at / unit % blocks.size()];
            if (centred)
                Take(span, std::int64_t(b.cmin) - half, std::int64_t(b.cmax) - half);
            else
                Take(span, b.min, b.max);
        };
        if (level == m_Levels.size())
        {
            for (; first < last; first += unit)
                take(first);
            break;
        }
        const std::size_t size = level == 0 ? kBlock : unit * kFanOut;
        for (; first < last && first % size != 0; first += unit)
            take(first);
        while (first < last && last % size != 0)
        {
            last -= unit;
            take(last);
        }
        unit = size;
    }
    return span;
}

void LiveRing::Copy(std::size_t first, std::size_t last, std::vector<unsigned>& out) const
{
    out.clear();
    first = std::max(first, First());
    last = std::min(last, m_Total);
    if (first >= last)
        return;
    out.reserve(last - first);
    const std::size_t a = first % Capacity();
    const std::size_t n = last - first;
    const std::size_t head = std::min(n, Capacity() - a);
    out.insert(out.end(), m_Data.begin() + long(a), m_Data.begin() + long(a + head));
    out.insert(out.end(), m_Data.begin(), m_Data.begin() + long(n - head));
}

} // namespace App
