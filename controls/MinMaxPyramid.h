#pragma once

// Block minima and maxima of a long run of readings, built once, so that a plot of any part
// of the run at any zoom gets the exact min and max of each pixel column without rescanning
// the readings.

#include "controls/GlimraExport.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zef::Glimra
{

/// The two series a run is plotted as.
enum RunSeries : int
{
    SERIES_POSITION = 0, ///< (reading >> shift) & mask
    SERIES_STEP = 1,     ///< position minus the one before, wrapped into the position's range
                         ///< as a signed value; 0 for the first reading
};

/// Which bits of a reading the position is: `bits` (1 to 32) from bit `shift` on.
struct GLIMRA_API PositionBits
{
    unsigned shift = 0;
    unsigned bits = 32;
};

struct GLIMRA_API ValueSpan
{
    std::int64_t min = 0;
    std::int64_t max = -1; ///< below min: no reading
    bool Empty() const { return max < min; }
    bool operator==(const ValueSpan&) const = default;
};

/// Readings [first, first + length).
struct GLIMRA_API ReadingSpan
{
    std::size_t first = 0;
    std::size_t length = 1;
};

class GLIMRA_API MinMaxPyramid
{
public:
    static constexpr std::size_t kBlock = 64; ///< readings per block of the finest level
    static constexpr std::size_t kFanOut = 4; ///< blocks of a level per block of the next

    MinMaxPyramid() = default;
    /// `readings` is borrowed and must outlive the pyramid unchanged. `outliers` (in any
    /// order, may overlap) are left out of BulkRange: a position there, and a step into or
    /// out of one.
    MinMaxPyramid(std::span<const unsigned> readings, PositionBits bits,
                  std::span<const ReadingSpan> outliers = {});

    std::size_t Size() const { return m_Readings.size(); }
    PositionBits Bits() const { return m_Bits; }
    std::int64_t Value(RunSeries series, std::size_t index) const;

    /// Exact min and max of a series over the readings [first, last), last clipped to Size().
    ValueSpan Range(RunSeries series, std::size_t first, std::size_t last) const
    {
        return Query(m_Levels, series, first, last, false);
    }
    /// As Range without the outliers; empty when every reading there is one.
    ValueSpan BulkRange(RunSeries series, std::size_t first, std::size_t last) const
    {
        return HasOutliers() ? Query(m_BulkLevels, series, first, last, true)
                             : Range(series, first, last);
    }
    bool HasOutliers() const { return !m_Outliers.empty(); }
    bool IsOutlier(RunSeries series, std::size_t index) const;

    /// Bytes held by the levels and the outlier marks (the readings are borrowed).
    std::size_t Bytes() const;
    std::size_t Levels() const { return m_Levels.size(); }

private:
    struct Block // a series whose min is above its max has no reading in the block
    {
        std::uint32_t posMin, posMax;
        std::int32_t stepMin, stepMax;
    };
    using LevelList = std::vector<std::vector<Block>>;

    static void BuildFinest(const unsigned* readings, std::size_t blocks, unsigned shift,
                            unsigned width, std::uint32_t mask, Block* out);
    std::uint32_t Position(std::size_t index) const
    {
        return (m_Readings[index] >> m_Bits.shift) & m_Mask;
    }
    std::int32_t Step(std::size_t index) const;
    static void BuildUpper(LevelList& levels);
    void BuildBulk(std::span<const ReadingSpan> outliers);
    Block BulkBlock(std::size_t block) const;
    ValueSpan Query(const LevelList& levels, RunSeries series, std::size_t first, std::size_t last,
                    bool bulk) const;
    void Take(ValueSpan& span, RunSeries series, const Block& block) const;
    void TakeReading(ValueSpan& span, RunSeries series, std::size_t index) const;

    std::span<const unsigned> m_Readings;
    PositionBits m_Bits;
    std::uint32_t m_Mask = 0xFFFFFFFFu;
    LevelList m_Levels;                    // [0]: kBlock readings a block
    LevelList m_BulkLevels;                // the same without the outliers
    std::vector<std::uint64_t> m_Outliers; // a bit per reading; empty without outliers
};

} // namespace zef::Glimra
