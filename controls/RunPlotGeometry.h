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

/// Min and max of each column of a plot of `width` over `range`; `bulk`: without the
/// pyramid's outliers.
GLIMRA_API std::vector<ValueSpan> ColumnSpans(const MinMaxPyramid& data, RunSeries series,
                                              const IndexRange& range, int width,
                                              bool bulk = false);

/// Vertical mapping: `min` on the bottom pixel row (bottom - 1), `max` on `top`.
struct GLIMRA_API ValueAxis
{
    std::int64_t min = 0;
    std::int64_t max = 1;
    int top = 0;
    int bottom = 1; ///< exclusive
    /// Values beyond the axis land on its edge rows.
    int Row(std::int64_t value) const;
};
/// The vertical range of the columns with a little room above and below; a flat line in
/// the middle.
GLIMRA_API ValueAxis FitAxis(const std::vector<ValueSpan>& columns, int top, int bottom);
/// The axis of the bulk of the readings (the columns without outliers), or of `all` when the
/// bulk has none.
GLIMRA_API ValueAxis FitAxis(const std::vector<ValueSpan>& bulk, const std::vector<ValueSpan>& all,
                             int top, int bottom);

/// Columns [from, to) whose readings go beyond the axis at its top (or bottom) edge.
struct GLIMRA_API EdgeMark
{
    int from = 0;
    int to = 1;
    bool top = true;
    bool operator==(const EdgeMark&) const = default;
};
/// The runs of neighbouring columns reaching past the axis, the top edge's first.
GLIMRA_API std::vector<EdgeMark> EdgeMarks(const std::vector<ValueSpan>& columns,
                                           const ValueAxis& axis);

/// The distance of round ticks (1, 2 or 5 times a power of ten, at least `least`) that
/// splits [min, max] into at most about `count` steps; 0 for an empty range.
GLIMRA_API double NiceStep(double min, double max, int count, double least = 0);
/// The multiples of NiceStep in [min, max].
GLIMRA_API std::vector<double> NiceTicks(double min, double max, int count, double least = 0);
/// Texts of value ticks `step` apart: one unit (none, k or M) for all, from the largest,
/// and as many decimals as the step needs, so that neighbours never read the same.
GLIMRA_API std::vector<std::string> TickTexts(const std::vector<double>& ticks, double step);

/// A time tick's text in the unit that suits the visible `span` (both in seconds): "250 µs",
/// "12.5 ms", "3 s".
GLIMRA_API std::string TimeTickText(double seconds, double span);

/// "16,777,214".
GLIMRA_API std::string GroupDigits(std::int64_t value);

/// What is under the cursor: the readings [first, last) of a column and their `span`, e.g.
/// "#12,345 (617.25 ms): 4,711" or "#12,300–12,407 (615 ms): 4,600 to 4,711". The time
/// only when `secondsPerReading` is known, in the unit of `visibleSeconds`.
GLIMRA_API std::string ReadoutText(std::size_t first, std::size_t last, ValueSpan span,
                                   double secondsPerReading, double visibleSeconds);

} // namespace zef::Glimra
