#pragma once

// Pixel geometry of the run plot, kept free of painting so it can be checked directly.

#include "controls/GlimraExport.h"
#include "controls/MinMaxPyramid.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zef::Glimra
{

/// The readings a plot shows: x from `first` to `last` in reading indexes (fractional while
/// zoomed in), reading i drawn over [i, i + 1).
struct GLIMRA_API IndexRange
{
    double first = 0;
    double last = 0;
    double Span() const { return last - first; }
    bool operator==(const IndexRange&) const = default;
};

/// The fewest readings a plot shows across its width.
inline constexpr double kMinSpan = 4;

/// `range` kept inside [0, total] with a span of at least kMinSpan (or total when less).
GLIMRA_API IndexRange ClampRange(IndexRange range, double total);
/// Zoom by `factor` (below 1: in) keeping the index `anchor` at its place.
GLIMRA_API IndexRange ZoomAround(IndexRange range, double anchor, double factor, double total);
/// Moved by `delta` readings, stopping at the ends of the run.
GLIMRA_API IndexRange Pan(IndexRange range, double delta, double total);
/// A view of the readings [first, first + length) in the middle of a few times its length.
GLIMRA_API IndexRange Frame(std::size_t first, std::size_t length, double total);

/// The readings [first, last) under pixel column `column` of `width`: always at least one
/// reading while any is inside the range, so a zoomed-in plot shows each reading over its
/// columns.
GLIMRA_API void ColumnReadings(const IndexRange& range, int width, int column, std::size_t& first,
                               std::size_t& last);
/// Reading index at device x within a plot of `width` pixels starting at `left`.
GLIMRA_API double IndexAt(const IndexRange& range, int left, int width, double x);
/// Device column of reading `index` (its left edge), unclipped.
GLIMRA_API double ColumnOf(const IndexRange& range, int left, int width, double index);

/// Min and max of each column of a plot of `width` over `range`.
GLIMRA_API std::vector<ValueSpan> ColumnSpans(const MinMaxPyramid& data, RunSeries series,
                                              const IndexRange& range, int width);

/// Vertical mapping: `min` on the bottom pixel row (bottom - 1), `max` on `top`.
struct GLIMRA_API ValueAxis
{
    std::int64_t min = 0;
    std::int64_t max = 1;
    int top = 0;
    int bottom = 1; ///< exclusive
    int Row(std::int64_t value) const;
};
/// The vertical range of the columns with a little room above and below; a flat line in
/// the middle.
GLIMRA_API ValueAxis FitAxis(const std::vector<ValueSpan>& columns, int top, int bottom);

/// Round tick values (1, 2 or 5 times a power of ten) in [min, max], at most about `count`.
GLIMRA_API std::vector<double> NiceTicks(double min, double max, int count);

/// A time tick's text in the unit that suits the visible `span` (both in seconds): "250 us",
/// "12.5 ms", "3 s".
GLIMRA_API std::string TimeTickText(double seconds, double span);

} // namespace zef::Glimra
