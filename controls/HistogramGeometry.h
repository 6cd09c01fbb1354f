#pragma once

// Pixel geometry of the histogram control, kept free of painting so it can be checked directly.

#include "controls/GlimraExport.h"
#include "controls/PlotGeometry.h"

#include <vector>

namespace zef::Glimra
{

/// Width of one histogram bar in pixels.
inline constexpr int HistogramBarWidth = 3;

/// The text strip beside the bars and the area of the bars themselves.
struct GLIMRA_API HistogramLayout
{
    Rect text;
    Rect measurement;
    int displayed = 0; ///< measurements that fit: measurement width / bar width
};

/// Splits the client rectangle. A text width below 0 counts as 0 and one wider than the
/// control takes the whole control, so neither area is ever negative.
GLIMRA_API HistogramLayout ComputeHistogramLayout(const Rect& client, bool textLeft,
                                                  long textWidth);

/// Number of bars drawn in the measurement area for `values` measurements: drawing stops
/// when the next bar's right edge plus one bar width reaches the area's right edge.
GLIMRA_API int HistogramBarCount(const Rect& measurement, std::size_t values);

/// Height of a bar for `value` of `maxValue` within a full height of `fullHeight` pixels:
/// truncated and clamped to 0..fullHeight; a negative maximum gives 0.
GLIMRA_API int HistogramBarHeight(double value, double maxValue, int fullHeight);

/// Top edge of each of `count` scale texts of height `th` spread over the text strip, the
/// first at its top and the last at its bottom.
GLIMRA_API std::vector<int> HistogramTextTops(const Rect& text, int th, int count);

} // namespace zef::Glimra
