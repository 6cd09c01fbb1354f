#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace App
{

// Min and max of some readings' positions; empty (max below min) when there is none.
struct LiveSpan
{
    std::int64_t min = 0;
    std::int64_t max = -1;
    bool Empty() const { return max < min; }
    bool operator==(const LiveSpan&) const = default;
};

// Which bits of a reading the position is: `bits` (1 to 32) from bit `shift` on.
struct LiveBits
{
    unsigned shift = 0;
    unsigned bits = 32;
    bool operator==(const LiveBits&) const = default;
};

// The live view's readings: a ring of a fixed capacity that keeps the newest readings, with
// a min/max pyramid over their positions that grows as they arrive. Readings are numbered
// from the first one appended since construction or Clear ("absolute" indexes), so a view
// and the events keep their place while the ring rolls on.
//
// The pyramid keeps the min and max of every block of kBlock readings and of every kFanOut
// blocks above that. The capacity is a whole number of top blocks, so no block straddles the
// wrap; a block is written once when its last reading arrives and never read after its
// first reading was overwritten, so a query costs the same at any length and after any
// number of wraps answers as a pyramid built from scratch over the kept readings.
class LiveRing
{
public:
    static constexpr std::size_t kBlock = 64;
    static constexpr std::size_t kFanOut = 4;
    // The smallest ring: 16 blocks.
    static constexpr std::size_t kMinCapacity = 16 * kBlock;

    // At least `readings`, rounded up to a whole number of top blocks (at most 1/16 more).
    explicit LiveRing(std::size_t readings, LiveBits bits = {});
    static std::size_t CapacityFor(std::size_t readings);

    void Append(std::span<const unsigned> readings);
    // Forgets every reading; the numbering starts again at 0.
    void Clear();
    // Another position (the whole reading, ST, MT): the pyramid is rebuilt over the kept
    // readings.
    void SetBits(LiveBits bits);
    LiveBits Bits() const { return m_Bits; }

    std::size_t Capacity() const { return m_Data.size(); }
    // Readings appended since the start (the index of the next one).
    std::size_t Total() const { return m_Total; }
    // The oldest kept reading's index.
    std::size_t First() const { return m_Total > Capacity() ? m_Total - Capacity() : 0; }
    std::size_t Size() const { return m_Total - First(); }
    // Reading `index` (First() <= index < Total()).
    unsigned At(std::size_t index) const { return m_Data[index % Capacity()]; }
    std::int64_t Position(std::size_t index) const { return (At(index) >> m_Bits.shift) & m_Mask; }
    // The kept readings [first, last) in order, clipped to what is kept.
    void Copy(std::size_t first, std::size_t last, std::vector<unsigned>& out) const;

    // Exact min and max of the positions of the readings [first, last), clipped to the kept
    // ones. `centred`: of the positions taken as signed around 0 (from -2^(bits-1) to
    // 2^(bits-1) - 1), so that a position resting at the wrap of its range (noise between
    // -2 and 2) is not spread over the whole range.
    LiveSpan Range(std::size_t first, std::size_t last, bool centred = false) const;
    // The value of `position` as Range(..., centred) counts it.
    std::int64_t Centred(std::int64_t position) const;

    // Bytes held: the readings and the pyramid.
    std::size_t Bytes() const;
    static std::size_t BytesFor(std::size_t capacity);

private:
    struct Block // min above max: no reading
    {
        std::uint32_t min, max;
        std::uint32_t cmin, cmax; // of the positions shifted by half the range
    };
    void FinishBlock(std::size_t block);
    void Take(LiveSpan& span, std::int64_t lo, std::int64_t hi) const;

    LiveBits m_Bits;
    std::uint32_t m_Mask = 0xFFFFFFFFu;
    std::vector<unsigned> m_Data;
    std::vector<std::vector<Block>> m_Levels; // [0]: kBlock readings a block
    std::size_t m_Total = 0;
};

} // namespace App
