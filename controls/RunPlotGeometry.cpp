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
                                   const IndexRange& range, int width, bool bulk)
{
    std::vector<ValueSpan> columns(std::size_t(std::max(width, 0)));
    for (int c = 0; c < width; ++c)
    {
        std::size_t first, last;
        ColumnReadings(range, width, c, first, last);
        columns[std::size_t(c)] =
            bulk ? data.BulkRange(series, first, last) : data.Range(series, first, last);
    }
    return columns;
}

int ValueAxis::Row(std::int64_t value) const
{
    const double share =
        max > min ? std::clamp(double(value - min) / double(max - min), 0.0, 1.0) : 0.5;
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

ValueAxis FitAxis(const std::vector<ValueSpan>& bulk, const std::vector<ValueSpan>& all, int top,
                  int bottom)
{
    const bool none =
        std::all_of(bulk.begin(), bulk.end(), [](const ValueSpan& c) { return c.Empty(); });
    return FitAxis(none ? all : bulk, top, bottom);
}

std::vector<EdgeMark> EdgeMarks(const std::vector<ValueSpan>& columns, const ValueAxis& axis)
{
    std::vector<EdgeMark> marks;
    for (const bool top : {true, false})
    {
        const auto beyond = [&](const ValueSpan& c)
        { return !c.Empty() && (top ? c.max > axis.max : c.min < axis.min); };
        for (std::size_t c = 0; c < columns.size(); ++c)
        {
            if (!beyond(columns[c]))
                continue;
            const std::size_t from = c;
            while (c + 1 < columns.size() && beyond(columns[c + 1]))
                ++c;
            marks.push_back({int(from), int(c + 1), top});
        }
    }
    return marks;
}

double NiceStep(double min, double max, int count, double least)
{
    if (!(max > min) || count < 1)
        return 0;
    const double raw = std::max((max - min) / count, least);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw * (1 - 1e-12))
            return m * power;
    return 10 * power;
}

std::vector<double> NiceTicks(double min, double max, int count, double least)
{
    std::vector<double> ticks;
    const double step = NiceStep(min, max, count, least);
    if (step <= 0)
        return ticks;
    // Multiples counted, not summed, so that far from 0 each tick stays a round value.
    for (double k = std::ceil(min / step); k * step <= max; ++k)
        ticks.push_back(k * step);
    return ticks;
}

std::vector<std::string> TickTexts(const std::vector<double>& ticks, double step)
{
    double largest = 0;
    for (const double t : ticks)
        largest = std::max(largest, std::fabs(t));
    const double unit = largest >= 1e6 ? 1e6 : largest >= 1e4 ? 1e3 : 1;
    const char* suffix = largest >= 1e6 ? "M" : largest >= 1e4 ? "k" : "";
    // Steps are 1, 2 or 5 times a power of ten: that power's decimals tell them apart.
    const double scaled = step / unit;
    const int decimals =
        scaled > 0 && scaled < 1 ? std::min(9, int(std::ceil(-std::log10(scaled) - 1e-9))) : 0;
    std::vector<std::string> texts;
    for (const double t : ticks)
    {
        char text[48];
        if (std::fabs(t) < step * 1e-6)
            std::snprintf(text, sizeof text, "0");
        else
            std::snprintf(text, sizeof text, "%.*f%s", decimals, t / unit, suffix);
        texts.emplace_back(text);
    }
    return texts;
}

std::string GroupDigits(std::int64_t value)
{
    std::string digits =
        std::to_string(value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value));
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return value < 0 ? "-" + digits : digits;
}

std::string ReadoutText(std::size_t first, std::size_t last, ValueSpan span,
                        double secondsPerReading, double visibleSeconds)
{
    std::string text = "#" + GroupDigits(std::int64_t(first));
    if (last > first + 1)
        text += "\u2013" + GroupDigits(std::int64_t(last - 1));
    if (secondsPerReading > 0)
        text += " (" + TimeTickText(double(first) * secondsPerReading, visibleSeconds) + ")";
    if (span.Empty())
        return text;
    text += ": " + GroupDigits(span.min);
    if (span.max != span.min)
        text += " to " + GroupDigits(span.max);
    return text;
}

std::string TimeTickText(double seconds, double span)
{
    const double a = std::fabs(span);
    const double scale = a < 2e-3 ? 1e6 : a < 2 ? 1e3 : 1;
    const char* unit = a < 2e-3 ? " \u00b5s" : a < 2 ? " ms" : " s";
    char text[32];
    // Rounded to the tick step's precision, so that 0.1 + 0.2 reads "0.3".
    std::snprintf(text, sizeof text, "%.6g%s", std::round(seconds * scale * 1e6) / 1e6, unit);
    return text;
}

} // namespace zef::Glimra
