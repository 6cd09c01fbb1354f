#include "controls/RotationAngleCtrl.h"

#include "controls/MemoryDC.h"
#include "controls/PaintDCGuard.h"
#include "controls/RgbColor.h"

#include <algorithm>
#include <cmath>

namespace zef::Glimra
{

DialGeometry DialGeometry::Compute(const Rect& client, int rimWidth)
{
    DialGeometry g;
    const long long w = static_cast<long long>(client.right) - client.left;
    const long long h = static_cast<long long>(client.bottom) - client.top;
    g.r = static_cast<int>(std::min((w - rimWidth) / 2, (h - rimWidth) / 2));
    g.cx = static_cast<int>(client.left + w / 2);
    g.cy = static_cast<int>(client.top + h / 2);
    g.ri = g.r - g.r / 10 + 1;
    g.ro = g.r - rimWidth;
    g.rh = g.r / 10;
    g.rp = g.r - g.r / 10;
    g.hb = (7 * (g.r / 10)) / 10;
    return g;
}

int DialGeometry::LabelRadius(int th, int cw) const
{
    return r - r / 10 - std::max(th, 3 * cw);
}

int DialGeometry::PointerRadius(int th, int cw) const
{
    // A label of up to three characters, centred on the label circle, reaches towards the
    // centre by at most half its diagonal.
    const int reach = static_cast<int>(std::ceil(std::hypot(3 * cw, th) / 2));
    const int gap = std::max(2, r / 40);
    return std::clamp(LabelRadius(th, cw) - reach - gap, r / 2, std::max(r / 2, rp));
}

int ReduceAngle(int angle)
{
    return angle % 360;
}

QPoint Rotate(int angle, int radius, bool clockwise)
{
    // Reduce first, so negating cannot overflow.
    int a = ReduceAngle(angle);
    if (!clockwise)
        a = -a;
    const double phi = a * 3.1415926535 / 180.0;
    return {static_cast<int>(std::cos(phi) * radius), static_cast<int>(std::sin(phi) * radius)};
}

QRect LabelBox(const DialGeometry& g, int angle, int chars, int th, int cw, bool clockwise)
{
    const QPoint p = Rotate(angle, g.LabelRadius(th, cw), clockwise);
    return {g.cx + p.x() - (chars * cw) / 2, g.cy + p.y() - th / 2, chars * cw, th};
}

std::array<QPoint, 3> PointerTriangle(const DialGeometry& g, int angle, bool clockwise)
{
    const QPoint c(g.cx, g.cy);
    const int a = ReduceAngle(angle);
    return {c + Rotate(a - 90, g.hb, clockwise), c + Rotate(a, g.rp, clockwise),
            c + Rotate(a + 90, g.hb, clockwise)};
}

RotationAngleCtrl::RotationAngleCtrl(QWidget* parent)
    : QWidget(parent), m_bkColor(GetSysColor(COLOR_BTNFACE)),
      m_knobColor(GetSysColor(COLOR_BTNHIGHLIGHT)), m_indicatorColor(RGB_COLOR::BLACK),
      m_rimShadowColor(GetSysColor(COLOR_BTNSHADOW)),
      m_rimHighlightColor(GetSysColor(COLOR_BTNHIGHLIGHT)), m_tickColor(RGB_COLOR::BLACK)
{
    // The paint covers the whole client area; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

RotationAngleCtrl::~RotationAngleCtrl() = default;

void RotationAngleCtrl::SetAngle(int angle)
{
    m_angle = ReduceAngle(angle);
    Redraw();
}

void RotationAngleCtrl::SetOffset(int offset)
{
    m_offset = ReduceAngle(offset);
    Redraw();
}

void RotationAngleCtrl::SetClockFaceAngle(int angle)
{
    m_clockFaceAngle = ReduceAngle(angle);
    Redraw();
}

void RotationAngleCtrl::SetBkColor(ColorRef c)
{
    m_bkColor = c;
    Redraw();
}

void RotationAngleCtrl::SetColorKnob(ColorRef c)
{
    m_knobColor = c;
    Redraw();
}

void RotationAngleCtrl::SetColorIndicator(ColorRef c)
{
    m_indicatorColor = c;
    Redraw();
}

void RotationAngleCtrl::SetKnobBoundary3d(bool on)
{
    m_rimWidth = on ? 4 : 0;
    Redraw();
}

void RotationAngleCtrl::SetClockFaceDirection(bool clockwise)
{
    m_clockwise = clockwise;
}

void RotationAngleCtrl::SetMarker(int step)
{
    // Absolute value without overflow for INT_MIN.
    const long long a = std::llabs(static_cast<long long>(step));
    m_marker = static_cast<int>(a > 359 ? a % 360 : a);
}

void RotationAngleCtrl::SetMarkerFont(const LogFont& font)
{
    m_markerFont = font;
}

void RotationAngleCtrl::DirectRedraw(bool on)
{
    if (on == m_directRedraw)
        return;
    m_directRedraw = on;
    if (on)
        Redraw();
}

void RotationAngleCtrl::Redraw()
{
    if (m_directRedraw)
        repaint();
}

QPoint RotationAngleCtrl::Rotate(int angle, int radius) const
{
    return zef::Glimra::Rotate(angle, radius, m_clockwise);
}

void RotationAngleCtrl::GetPlotRect(Rect& rect) const
{
    rect = Rect::FromQRect(QWidget::rect());
}

void RotationAngleCtrl::paintEvent(QPaintEvent*)
{
    DrawContext dc(this);
    Paint(dc);
}

void RotationAngleCtrl::Paint(DrawContext& dc)
{
    Rect client;
    GetPlotRect(client);
    dc.SetBkColor(RGB_COLOR::BLACK);
    MemoryDC mem(dc, client);
    PaintBackground(mem);
    PaintKnob(mem);
}

void RotationAngleCtrl::PaintBackground(DrawContext& dc)
{
    Rect client;
    GetPlotRect(client);
    dc.FillSolidRect(client, m_bkColor);
}

void RotationAngleCtrl::PaintKnob(DrawContext& dc)
{
    Rect client;
    GetPlotRect(client);
    const int b = m_rimWidth;
    const DialGeometry g = DialGeometry::Compute(client, b);
    if (!g.IsDrawable())
        return; // too small for a dial: background only
    const QPoint centre(g.cx, g.cy);
    const int r = g.r;

    PaintDCGuard guard(dc);
    // 1. Rim: two half arcs with an inside-frame pen, highlight upper left, shadow lower right.
    if (b > 0)
    {
        const Rect box{g.cx - r, g.cy - r, g.cx + r, g.cy + r};
        guard.SetPen({PS_INSIDEFRAME, b, m_rimHighlightColor});
        dc.Arc(box, {g.cx + r, g.cy - r}, {g.cx - r, g.cy + r});
        guard.SetPen({PS_INSIDEFRAME, b, m_rimShadowColor});
        dc.Arc(box, {g.cx - r, g.cy + r}, {g.cx + r, g.cy - r});
    }
    // 2. Knob, covering the inner half of the rim.
    guard.SetPen(Pen::Null());
    guard.SetBrush(Brush::Solid(m_knobColor));
    dc.Ellipse({g.cx + b / 2 - r, g.cy + b / 2 - r, g.cx - b / 2 + r, g.cy - b / 2 + r});

    // 3. Tick marks.
    const int m = m_marker;
    if (m > 0)
    {
        guard.SetPen(Pen::Solid(3, m_tickColor));
        for (int k = 0; k < 360; k += m)
        {
            const int a = m_clockFaceAngle + k;
            dc.MoveTo(centre + Rotate(a, g.ri));
            dc.LineTo(centre + Rotate(a, g.ro));
        }
    }
    // 4. Labels, numbering the marks from the clock-face zero; the pointer ends short of them.
    DialGeometry pointer = g;
    QFont font;
    if (m > 0 && m_markerFont.Create(font))
    {
        guard.SetFont(font);
        guard.SetBkMode(TRANSPARENT);
        const TextMetrics tm = dc.GetTextMetrics();
        for (int k = 0; k < 360; k += m)
        {
            const QString text = QString::number(k);
            const QRect box = LabelBox(g, m_clockFaceAngle + k, static_cast<int>(text.size()),
                                       tm.height, tm.aveCharWidth, m_clockwise);
            dc.TextOut(box.left(), box.top(), text);
        }
        pointer.rp = g.PointerRadius(tm.height, tm.aveCharWidth);
    }
    // 5. Hub, outlined by the tick pen when there are ticks.
    guard.SetBrush(Brush::Solid(m_indicatorColor));
    dc.Ellipse({g.cx - g.rh, g.cy - g.rh, g.cx + g.rh, g.cy + g.rh});

    // 6. Pointer.
    const auto tri = PointerTriangle(pointer, m_clockFaceAngle + m_offset + m_angle, m_clockwise);
    dc.FillPolygonRgn(tri.data(), 3, Brush::Solid(m_indicatorColor), ALTERNATE);
}

} // namespace zef::Glimra
