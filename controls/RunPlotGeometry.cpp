#include "controls/RunPlotGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zef::Glimra
{

IndexRange ClampRange(IndexRange range, double total)
{
    const double span = std::clamp(range.Span(), std::min(kMinSpan, total), total);
    const double mid = (range.first + range.last) / 2;
    double first = std::clamp(mid - span / 2, 0.0, total - span);
    return {first, first + span};
}

IndexRange ZoomAround(IndexRange range, double anchor, double factor, double total)
{
    const double span = std::max(range.Span() * factor, std::min(kMinSpan, total));
    const double share = range.Span() > 0 ? (anchor - range.first) / range.Span() : 0.5;
    double first = anchor - share * span;
    first = std::clamp(first, 0.0, std::max(0.0, total - span));
    return ClampRange({first, first + span}, total);
}

IndexRange Pan(IndexRange range, double delta, double total)
{
    const double span = range.Span();
    const double first = std::clamp(range.first + delta, 0.0, std::max(0.0, total - span));
    return {first, first + span};
}

IndexRange Frame(std::size_t first, std::size_t length, double total)
{
    const double span = std::max(kMinSpan * 4, 5.0 * double(std::max<std::size_t>(length, 1)));
    const double mid = double(first) + double(std::max<std::size_t>(length, 1)) / 2;
    return ClampRange({mid - span / 2, mid + span / 2}, total);
}

void ColumnReadings(const IndexRange& range, int width, int column, std::size_t& first,
                    std::size_t& last)
{
    const double perColumn = range.Span() / std::max(width, 1);
    const double from = std::max(0.0, range.first + column * perColumn);
    first = std::size_t(std::floor(from));
    last = std::size_t(std::max(0.0, std::floor(range.first + (column + 1) * perColumn)));
    last = std::max(last, first + 1);
}

double IndexAt(const IndexRange& range, int left, int width, double x)
{
    return range.first + (x - left) * range.Span() / std::max(width, 1);
}

double ColumnOf(const IndexRange& range, int left, int width, double index)
{
    return range.Span() > 0 ? left + (index - range.first) * width / range.Span() : left;
}

std::vector<ValueSpan> ColumnSpans(const MinMaxPyramid& data, RunSeries series,
                                   const IndexRange& range, int width)
{
    std::vector<ValueSpan> columns(std::size_t(std::max(width, 0)));
    for (int c = 0; c < width; ++c)
    {
        std::size_t first, last;
        ColumnReadings(range, width, c, first, last);
        columns[std::size_t(c)] = data.Range(series, first, last);
    }
    return columns;
}

int ValueAxis::Row(std::int64_t value) const
{
    const double share = max > min ? double(value - min) / double(max - min) : 0.5;
    return bottom - 1 - int(std::lround(share * (bottom - 1 - top)));
}

ValueAxis FitAxis(const std::vector<ValueSpan>& columns, int top, int bottom)
{
    ValueSpan all;
    for (const ValueSpan& c : columns)
        if (!c.Empty())
            all = all.Empty() ? c : ValueSpan{std::min(all.min, c.min), std::max(all.max, c.max)};
    ValueAxis axis{0, 1, top, bottom};
    if (all.Empty())
        return axis;
    const std::int64_t room = std::max<std::int64_t>(1, (all.max - all.min) / 20);
    axis.min = all.min - room;
    axis.max = all.max + room;
    return axis;
}

std::vector<double> NiceTicks(double min, double max, int count)
{
    std::vector<double> ticks;
    if (!(max > min) || count < 1)
        return ticks;
    const double raw = (max - min) / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
        {
            step = m * power;
            break;
        }
    for (double t = std::ceil(min / step) * step; t <= max; t += step)
        ticks.push_back(t);
    return ticks;
}

std::string TimeTickText(double seconds, double span)
{
    const double a = std::fabs(span);
    const double scale = a < 2e-3 ? 1e6 : a < 2 ? 1e3 : 1;
    const char* unit = a < 2e-3 ? " us" : a < 2 ? " ms" : " s";
    char text[32];
    // Rounded to the tick step's precision, so that 0.1 + 0.2 reads "0.3".
    std::snprintf(text, sizeof text, "%.6g%s", std::round(seconds * scale * 1e6) / 1e6, unit);
    return text;
}

} // namespace zef::Glimra
