#include "controls/HistogramGeometry.h"

#include <algorithm>
#include <cmath>

namespace zef::Glimra
{

HistogramLayout ComputeHistogramLayout(const Rect& client, bool textLeft, long textWidth)
{
    const int width = std::max(client.Width(), 0);
    const int tw = static_cast<int>(std::clamp<long>(textWidth, 0, width));
    HistogramLayout layout;
    layout.text = client;
    layout.measurement = client;
    if (textLeft)
    {
        layout.text.right = client.left + tw;
        layout.measurement.left = layout.text.right;
    }
    else
    {
        layout.text.left = client.right - tw;
        layout.measurement.right = layout.text.left;
    }
    layout.displayed = std::max(layout.measurement.Width(), 0) / HistogramBarWidth;
    return layout;
}

int HistogramBarCount(const Rect& measurement, std::size_t values)
{
    int count = 0;
    for (int right = measurement.left + HistogramBarWidth;
         static_cast<std::size_t>(count) < values && right + HistogramBarWidth < measurement.right;
         right += HistogramBarWidth)
        ++count;
    return count;
}

int HistogramBarHeight(double value, double maxValue, int fullHeight)
{
    if (fullHeight <= 0 || !(maxValue > 0) || std::isnan(value))
        return 0;
    const double h = std::trunc(fullHeight * value / maxValue);
    return static_cast<int>(std::clamp(h, 0.0, static_cast<double>(fullHeight)));
}

std::vector<int> HistogramTextTops(const Rect& text, int th, int count)
{
    std::vector<int> tops;
    if (count <= 0)
        return tops;
    // In a strip lower than one line every text sits at the top rather than climbing above it.
    const int step = count > 1 ? std::max(0, (text.Height() - th) / (count - 1)) : 0;
    tops.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        tops.push_back(text.top + i * step);
    return tops;
}

} // namespace zef::Glimra
