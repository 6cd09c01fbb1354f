#include "controls/StaticPlotCtrl.h"

#include "controls/PaintDCGuard.h"

#include <QFont>

#include <algorithm>

namespace zef::Glimra
{

void DataLine::Add(float x, float y)
{
    m_Points.emplace_back(x, y);
    if (!m_RangeKnown)
    {
        m_MinX = m_MaxX = x;
        m_MinY = m_MaxY = y;
        m_RangeKnown = true;
        return;
    }
    m_MinX = std::min(m_MinX, x);
    m_MaxX = std::max(m_MaxX, x);
    m_MinY = std::min(m_MinY, y);
    m_MaxY = std::max(m_MaxY, y);
}

bool DataLine::GetMinMax(float& minX, float& maxX, float& minY, float& maxY) const
{
    if (!m_RangeKnown)
        return false;
    minX = m_MinX;
    maxX = m_MaxX;
    minY = m_MinY;
    maxY = m_MaxY;
    return true;
}

void DataLine::Clear()
{
    m_Points.clear();
    m_RangeKnown = false;
}

StaticPlotCtrl::StaticPlotCtrl(QWidget* parent)
    : QWidget(parent), m_BkColorPlot(GetSysColor(COLOR_BTNFACE)),
      m_BkColorDesc(GetSysColor(COLOR_BTNFACE))
{
}

StaticPlotCtrl::~StaticPlotCtrl() = default;

void StaticPlotCtrl::SetPlotRange(float x1, float x2, float y1, float y2)
{
    m_MaxX = std::max(x1, x2);
    m_MinX = std::min(x1, x2);
    m_MaxY = std::max(y1, y2);
    m_MinY = std::min(y1, y2);
    Redraw();
}

void StaticPlotCtrl::SetDescArea(int left, int top, int right, int bottom)
{
    m_DescLeft = left;
    m_DescTop = top;
    m_DescRight = right;
    m_DescBottom = bottom;
    Redraw();
}

void StaticPlotCtrl::SetBkColorPlot(ColorRef color)
{
    m_BkColorPlot = color;
    Redraw();
}

void StaticPlotCtrl::SetBkColorDesc(ColorRef color)
{
    m_BkColorDesc = color;
    Redraw();
}

void StaticPlotCtrl::AddLine(const DataLine& line)
{
    m_Lines.push_back(std::make_unique<DataLine>(line));
    Redraw();
}

void StaticPlotCtrl::AddGrid(const GridLine& grid)
{
    m_Grids.push_back(std::make_unique<GridLine>(grid));
    Redraw();
}

void StaticPlotCtrl::AddAxisDescription(const AxisDescription& description)
{
    m_Descriptions.push_back(std::make_unique<AxisDescription>(description));
    Redraw();
}

void StaticPlotCtrl::ClearLine()
{
    m_Lines.clear();
    Redraw();
}

void StaticPlotCtrl::ClearGrid()
{
    m_Grids.clear();
    Redraw();
}

void StaticPlotCtrl::ClearAxisDescription()
{
    m_Descriptions.clear();
    Redraw();
}

void StaticPlotCtrl::DirectRedraw(bool on)
{
    if (on == m_DirectRedraw)
        return;
    m_DirectRedraw = on;
    Redraw();
}

void StaticPlotCtrl::Redraw()
{
    if (m_DirectRedraw)
        repaint();
}

Rect StaticPlotCtrl::ClientRect() const
{
    return Rect::FromQRect(rect());
}

void StaticPlotCtrl::GetPlotRect(Rect& r) const
{
    r = ClientRect();
    r.left += m_DescLeft;
    r.top += m_DescTop;
    r.right -= m_DescRight;
    r.bottom -= m_DescBottom;
}

PlotScale StaticPlotCtrl::GetScale() const
{
    Rect plot;
    GetPlotRect(plot);
    return ComputePlotScale(plot, m_MaxX, m_MinX, m_MaxY, m_MinY);
}

void StaticPlotCtrl::GetScale(double& sx, double& sy, QPoint& origin) const
{
    const PlotScale s = GetScale();
    sx = s.sx;
    sy = s.sy;
    origin = s.origin;
}

void StaticPlotCtrl::paintEvent(QPaintEvent*)
{
    // Straight on the window: the plot is drawn once per paint, back to front.
    DrawContext dc(this);
    Paint(dc);
}

void StaticPlotCtrl::Paint(DrawContext& dc)
{
    PaintBackground(dc);
    PaintAxisDescription(dc);
    PaintGridLines(dc);
    PaintLines(dc);
}

void StaticPlotCtrl::PaintBackground(DrawContext& dc)
{
    const Rect client = ClientRect();
    Rect plot;
    GetPlotRect(plot);
    if (!(plot == client))
        dc.FillSolidRect(client, m_BkColorDesc);
    dc.FillSolidRect(plot, m_BkColorPlot);
}

void StaticPlotCtrl::PaintAxisDescription(DrawContext& dc)
{
    const Rect client = ClientRect();
    Rect plot;
    GetPlotRect(plot);
    const PlotScale scale = GetScale();

    PaintDCGuard guard(dc);
    guard.SetBkMode(TRANSPARENT);
    for (const auto& desc : m_Descriptions)
    {
        if (desc->GetCount() == 0)
            continue;
        const int axis = desc->GetAxis();
        const auto placement =
            PlaceAxisDescription(axis, desc->GetAttribute(), client, plot, m_DescLeft, m_DescTop,
                                 m_DescRight, m_DescBottom);
        QFont font;
        if (!placement || !desc->GetFont().Create(font))
            continue;

        guard.SetTextColor(desc->GetColor());
        guard.SetFont(font);
        const TextMetrics tm = dc.GetTextMetrics();

        unsigned format = DT_SINGLELINE | DT_END_ELLIPSIS;
        if (axis == Y_AXIS)
        {
            format |= DT_VCENTER;
            format |= placement->alignment == 0x100   ? DT_LEFT
                      : placement->alignment == 0x200 ? DT_RIGHT
                                                      : DT_CENTER;
        }
        else
        {
            format |= DT_CENTER;
            format |= placement->alignment == 0x100   ? DT_TOP
                      : placement->alignment == 0x200 ? DT_BOTTOM
                                                      : DT_VCENTER;
        }

        for (std::size_t i = 0; i < desc->GetCount(); ++i)
        {
            float position;
            QString text;
            desc->GetDescription(i, position, text);
            auto box = PlaceAxisText(axis, *placement, plot, scale, position,
                                     static_cast<int>(text.size()), tm.height, tm.maxCharWidth);
            if (box)
                dc.DrawText(text, *box, format);
        }
    }
}

void StaticPlotCtrl::PaintGridLines(DrawContext& dc)
{
    Rect plot;
    GetPlotRect(plot);
    const PlotScale scale = GetScale();

    PaintDCGuard guard(dc);
    for (const auto& grid : m_Grids)
    {
        if (grid->GetCount() == 0)
            continue;
        const int axis = grid->GetAxis();
        if (axis != X_AXIS && axis != Y_AXIS)
            continue;
        guard.SetPen(Pen{grid->GetAttribute(), 1, grid->GetColor()});
        for (std::size_t i = 0; i < grid->GetCount(); ++i)
        {
            const float v = grid->GetLine(i);
            const QPointF p = axis == X_AXIS ? scale.Map(v, m_MinY) : scale.Map(m_MinX, v);
            const QPointF q = axis == X_AXIS ? scale.Map(v, m_MaxY) : scale.Map(m_MaxX, v);
            QPoint a, b;
            if (ClipSegment(plot, p, q, a, b))
            {
                dc.MoveTo(a);
                dc.LineTo(b);
            }
        }
    }
}

void StaticPlotCtrl::PaintLines(DrawContext& dc)
{
    Rect plot;
    GetPlotRect(plot);
    const PlotScale scale = GetScale();

    PaintDCGuard guard(dc);
    std::vector<QPoint> run;
    for (const auto& line : m_Lines)
    {
        const std::size_t count = line->GetCount();
        float x, y;
        if (line->GetStyle() != DataLine::STYLE_LINE)
        {
            for (std::size_t i = 0; i < count; ++i)
            {
                line->GetData(i, x, y);
                const QPointF p = scale.Map(x, y);
                if (PlotContains(plot, p))
                    dc.SetPixel(QPoint(static_cast<int>(p.x()), static_cast<int>(p.y())),
                                line->GetColor());
            }
            continue;
        }
        if (count < 2)
            continue;

        guard.SetPen(Pen{line->GetStyleAttribute(), 1, line->GetColor()});
        // Each segment is clipped on its own; segments that join up are handed over as one
        // polyline, which draws the same pixels as separate MoveTo/LineTo pairs in far
        // fewer calls.
        const auto flush = [&]
        {
            if (run.size() >= 2)
                dc.Polyline(run.data(), static_cast<int>(run.size()));
            run.clear();
        };
        line->GetData(0, x, y);
        QPointF prev = scale.Map(x, y);
        for (std::size_t i = 1; i < count; ++i)
        {
            line->GetData(i, x, y);
            const QPointF cur = scale.Map(x, y);
            QPoint a, b;
            if (ClipSegment(plot, prev, cur, a, b))
            {
                if (run.empty() || run.back() != a)
                {
                    flush();
                    run.push_back(a);
                }
                if (b != run.back())
                    run.push_back(b);
            }
            prev = cur;
        }
        flush();
    }
}

} // namespace zef::Glimra
