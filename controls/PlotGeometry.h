#pragma once

// Pixel geometry of the plot control, kept free of painting so it can be checked directly.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

#include <QPoint>
#include <QPointF>

#include <optional>

namespace zef::Glimra
{

/// Rounds halves away from zero: trunc(v + 0.5) above 0, trunc(v - 0.5) below.
GLIMRA_API double RoundAway(double v);

/// Scale and origin that map plot values to device pixels; y grows upward.
struct GLIMRA_API PlotScale
{
    double sx = 1.0;
    double sy = 1.0;
    QPoint origin;

    /// The device point of a value pair, unrounded to int so that far-off values stay exact
    /// until they are clipped.
    QPointF Map(double x, double y) const
    {
        return {origin.x() + RoundAway(x * sx), origin.y() - RoundAway(y * sy)};
    }
};

/// Scale of the plot rectangle for the range [minX, maxX] x [minY, maxY]. A range that starts
/// at 0 or below has its smallest value on the left (bottom) edge through |scale * smallest|;
/// a range that starts above 0 puts its smallest value there too, so its data stays visible.
GLIMRA_API PlotScale ComputePlotScale(const Rect& plot, float maxX, float minX, float maxY,
                                      float minY);

/// Liang-Barsky clipping of segment p->q against the rectangle whose right and bottom edges
/// are exclusive (the drawable pixels are left..right-1, top..bottom-1). Answers false when
/// nothing of the segment is inside; otherwise a and b receive the rounded ends.
GLIMRA_API bool ClipSegment(const Rect& rect, QPointF p, QPointF q, QPoint& a, QPoint& b);

/// Whether a device point lies on a drawable pixel of the rectangle.
GLIMRA_API bool PlotContains(const Rect& rect, QPointF p);

/// Where the texts of one axis description go.
struct GLIMRA_API AxisTextPlacement
{
    Rect area;         ///< the margin strip the texts are drawn in
    int alignment = 0; ///< 0x100, 0x200 or 0x400 after defaults
};

/// Margin strip and alignment of an axis description, or nothing when it is not drawn
/// (axis other than 0 or 1, an undrawable attribute, no margin on a chosen side).
GLIMRA_API std::optional<AxisTextPlacement>
PlaceAxisDescription(int axis, int attribute, const Rect& client, const Rect& plot, int marginLeft,
                     int marginTop, int marginRight, int marginBottom);

/// Text box of one entry at `position`, or nothing when the entry is skipped. `length` is
/// the text length in characters, `th` the character height, `cw` the widest character.
GLIMRA_API std::optional<Rect> PlaceAxisText(int axis, const AxisTextPlacement& placement,
                                             const Rect& plot, const PlotScale& scale,
                                             float position, int length, int th, int cw);

} // namespace zef::Glimra
