#include "controls/PlotGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zef::Glimra
{

namespace
{

// Far beyond any screen, small enough that sums of two never overflow an int.
constexpr double PixelLimit = 1 << 28;

int ToPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -PixelLimit, PixelLimit));
}

double AxisScale(int extent, float largest, float smallest)
{
    if (largest != smallest)
        return (extent - 1) / (static_cast<double>(largest) - smallest);
    if (largest == 0.0f)
        return 1.0;
    // A single value: half the extent per |value|. Keeping the sign of the value would turn
    // the axis around for a negative one and push it off the plot.
    return extent * 0.5 / std::fabs(static_cast<double>(largest));
}

// Pixel distance of the smallest value from the left (bottom) edge's origin.
int OriginOffset(double scale, float smallest)
{
    const double v = scale * smallest;
    if (smallest > 0.0f)
        return ToPixel(-RoundAway(v)); // smallest value on the edge
    return ToPixel(RoundAway(std::fabs(v)));
}

} // namespace

double RoundAway(double v)
{
    if (v > 0)
        return std::trunc(v + 0.5);
    if (v < 0)
        return std::trunc(v - 0.5);
    return 0.0;
}

PlotScale ComputePlotScale(const Rect& plot, float maxX, float minX, float maxY, float minY)
{
    PlotScale s;
    s.sx = AxisScale(plot.Width(), maxX, minX);
    s.sy = AxisScale(plot.Height(), maxY, minY);
    s.origin =
        QPoint(plot.left + OriginOffset(s.sx, minX), plot.bottom - OriginOffset(s.sy, minY) - 1);
    return s;
}

bool PlotContains(const Rect& rect, QPointF p)
{
    return p.x() >= rect.left && p.x() < rect.right && p.y() >= rect.top && p.y() < rect.bottom;
}

bool ClipSegment(const Rect& rect, QPointF p, QPointF q, QPoint& a, QPoint& b)
{
    const double xmin = rect.left, xmax = rect.right - 1;
    const double ymin = rect.top, ymax = rect.bottom - 1;
    if (xmax < xmin || ymax < ymin)
        return false;
    if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(q.x()) ||
        !std::isfinite(q.y()))
        return false;
    const double dx = q.x() - p.x(), dy = q.y() - p.y();

    // Entry and exit parameters, and the edge coordinate that set each (NaN: none, the
    // segment's own end). The end on an edge takes the edge's coordinate exactly, which keeps
    // far-off ends from drowning the clipped point in rounding.
    double t0 = 0.0, t1 = 1.0;
    double x0 = NAN, y0 = NAN, x1 = NAN, y1 = NAN;
    // One edge: the segment is inside where pk * t <= qk.
    const auto edge = [&](double pk, double qk, double bound, bool vertical)
    {
        if (pk == 0.0)
            return qk >= 0.0; // parallel: wholly inside or wholly outside this edge
        const double t = qk / pk;
        if (pk < 0.0)
        {
            if (t > t0)
            {
                t0 = t;
                x0 = vertical ? bound : NAN;
                y0 = vertical ? NAN : bound;
            }
        }
        else if (t < t1)
        {
            t1 = t;
            x1 = vertical ? bound : NAN;
            y1 = vertical ? NAN : bound;
        }
        return t0 <= t1;
    };
    if (!edge(-dx, p.x() - xmin, xmin, true) || !edge(dx, xmax - p.x(), xmax, true) ||
        !edge(-dy, p.y() - ymin, ymin, false) || !edge(dy, ymax - p.y(), ymax, false))
        return false;

    // Rounded ends stay inside: each lies within the clip bounds before rounding, and the
    // bounds are whole pixels.
    const auto at = [&](double t, double ex, double ey)
    {
        const double x = std::isnan(ex) ? p.x() + RoundAway(t * dx) : ex;
        const double y = std::isnan(ey) ? p.y() + RoundAway(t * dy) : ey;
        return QPoint(static_cast<int>(std::clamp(x, xmin, xmax)),
                      static_cast<int>(std::clamp(y, ymin, ymax)));
    };
    a = at(t0, x0, y0);
    b = at(t1, x1, y1);
    return true;
}

std::optional<AxisTextPlacement> PlaceAxisDescription(int axis, int attribute, const Rect& client,
                                                      const Rect& plot, int marginLeft,
                                                      int marginTop, int marginRight,
                                                      int marginBottom)
{
    if (axis != 0 && axis != 1)
        return std::nullopt;
    const bool yAxis = axis == 1;
    int side = attribute & 0xFF;
    if (side == 0)
        side = yAxis ? 16 : 32;
    int alignment = attribute & 0xFF00;
    if (alignment == 0)
    {
        if (side == 16)
            alignment = 0x200;
        else if (side == 32)
            alignment = 0x100;
        else
            return std::nullopt;
    }

    AxisTextPlacement placement{client, alignment};
    if (yAxis)
    {
        if (marginLeft >= 1 && (side & 16))
            placement.area.right = plot.left - 1;
        else if (marginRight >= 1 && (side & 32))
            placement.area.left = plot.right + 1;
        else
            return std::nullopt;
    }
    else
    {
        if (marginBottom >= 1 && (side & 32))
            placement.area.top = plot.bottom + 1;
        else if (marginTop >= 1 && (side & 16))
            placement.area.bottom = plot.top - 1;
        else
            return std::nullopt;
    }
    return placement;
}

std::optional<Rect> PlaceAxisText(int axis, const AxisTextPlacement& placement, const Rect& plot,
                                  const PlotScale& scale, float position, int length, int th,
                                  int cw)
{
    const Rect& area = placement.area;
    Rect box = area;
    if (axis == 1)
    {
        const double dy = std::trunc(position * scale.sy);
        if (std::isnan(dy) || std::fabs(dy) > PixelLimit)
            return std::nullopt;
        const int y = scale.origin.y() - static_cast<int>(dy);
        if (y < plot.top || y > plot.bottom)
            return std::nullopt;
        box.top = y - th / 2 - 1;
        box.bottom = y + th / 2 + 1;
        if (box.top < area.top || box.bottom > area.bottom)
            return std::nullopt;
        return box;
    }
    if (axis != 0)
        return std::nullopt;
    const double dx = std::trunc(position * scale.sx);
    if (std::isnan(dx) || std::fabs(dx) > PixelLimit)
        return std::nullopt;
    const int x = static_cast<int>(dx) + scale.origin.x();
    if (x < plot.left || x > plot.right)
        return std::nullopt;
    const long long half = static_cast<long long>(length) * cw / 2;
    box.left = static_cast<int>(std::max<long long>(x - half - 1, area.left));
    box.right = static_cast<int>(std::min<long long>(x + half + 1, area.right));
    return box;
}

} // namespace zef::Glimra
