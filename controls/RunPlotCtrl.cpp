#include "controls/RunPlotCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace zef::Glimra
{

namespace
{
constexpr ColorRef kPlotBack = MakeRgb(255, 255, 255);
constexpr ColorRef kDescBack = MakeRgb(240, 240, 240);
constexpr ColorRef kGrid = MakeRgb(220, 220, 220);
constexpr ColorRef kCursor = MakeRgb(150, 150, 150);
constexpr ColorRef kText = MakeRgb(0, 0, 0);
constexpr ColorRef kBand = MakeRgb(255, 236, 160);
constexpr int kMarkerTick = 6;   // event markers at the top and bottom edges
constexpr int kEdgeTriangle = 4; // rows of an outlier mark, below (above) the marker ticks
} // namespace

RunPlotCtrl::RunPlotCtrl(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // the readout follows the cursor
    setMinimumSize(kMarginLeft + kMarginRight + 32,
                   3 * fontMetrics().height() + kMarginBottom + 32);
}

void RunPlotCtrl::SetData(const MinMaxPyramid* data, RunSeries series)
{
    m_Data = data;
    m_Series = series;
    m_View = {}; // a new pyramid may take the old one's place
    m_Range = {0, Total()};
    update();
    emit RangeChanged(m_Range);
}

void RunPlotCtrl::SetMarkers(std::vector<Marker> markers)
{
    m_Markers = std::move(markers);
    update();
}

void RunPlotCtrl::SetSelected(std::optional<Marker> marker)
{
    m_Selected = marker;
    update();
}

void RunPlotCtrl::SetRange(IndexRange range)
{
    range = ClampRange(range, Total());
    if (range == m_Range)
        return;
    m_Range = range;
    update();
    emit RangeChanged(m_Range);
}

void RunPlotCtrl::ShowReadings(std::size_t first, std::size_t length)
{
    SetRange(Frame(first, length, Total()));
}

Rect RunPlotCtrl::PlotRect() const
{
    const int top = fontMetrics().height() + 4; // the band of the title and the readout
    return {kMarginLeft, top, std::max(kMarginLeft + 1, width() - kMarginRight),
            std::max(top + 1, height() - kMarginBottom)};
}

const RunPlotCtrl::View& RunPlotCtrl::CurrentView() const
{
    const Rect plot = PlotRect();
    if (m_View.data == m_Data && m_View.series == m_Series && m_View.range == m_Range &&
        m_View.plot == plot && m_View.full == m_FullRange)
        return m_View;
    m_View = {m_Data, m_Series, m_Range, plot, m_FullRange, {}, {0, 1, plot.top, plot.bottom}};
    if (!m_Data)
        return m_View;
    m_View.columns = ColumnSpans(*m_Data, m_Series, m_Range, plot.Width());
    if (m_FullRange || !m_Data->HasOutliers())
        m_View.axis = FitAxis(m_View.columns, plot.top, plot.bottom);
    else
        m_View.axis = FitAxis(ColumnSpans(*m_Data, m_Series, m_Range, plot.Width(), true),
                              m_View.columns, plot.top, plot.bottom);
    return m_View;
}

ValueAxis RunPlotCtrl::Axis() const
{
    return CurrentView().axis;
}

QString RunPlotCtrl::ReadoutText() const
{
    const Rect plot = PlotRect();
    if (!m_HoverX || !m_Data || *m_HoverX < plot.left || *m_HoverX >= plot.right)
        return {};
    std::size_t first, last;
    ColumnReadings(m_Range, plot.Width(), *m_HoverX - plot.left, first, last);
    last = std::min(last, m_Data->Size());
    if (first >= last)
        return {};
    return QString::fromStdString(
        Glimra::ReadoutText(first, last, m_Data->Range(m_Series, first, last), m_SecondsPerReading,
                            m_Range.Span() * m_SecondsPerReading));
}

void RunPlotCtrl::Paint(DrawContext& dc)
{
    const Rect client(0, 0, width(), height());
    const Rect plot = PlotRect();
    dc.FillSolidRect(client, kDescBack);
    dc.FillSolidRect(plot, kPlotBack);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kText);
    const int th = dc.GetTextMetrics().height;
    // The title on the left of the band above the plot, the readout on its right.
    Rect titleBox(plot.left, 0, plot.right, plot.top);
    if (!m_Title.isEmpty())
        dc.DrawText(m_Title, titleBox, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (!m_Data || m_Data->Size() == 0)
        return;
    Rect readoutBox(plot.left + dc.GetTextExtent(m_Title).width() + 16, 0, plot.right, plot.top);
    dc.DrawText(ReadoutText(), readoutBox, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);

    const int w = plot.Width();
    const View& view = CurrentView();
    const std::vector<ValueSpan>& columns = view.columns;
    const ValueAxis& axis = view.axis;

    // Grid and axis texts; positions are whole numbers, so no tick between them.
    const int yCount = std::max(1, plot.Height() / (3 * th));
    const double yStep = NiceStep(double(axis.min), double(axis.max), yCount, 1);
    const std::vector<double> yTicks = NiceTicks(double(axis.min), double(axis.max), yCount, 1);
    const std::vector<std::string> yTexts = TickTexts(yTicks, yStep);
    for (std::size_t k = 0; k < yTicks.size(); ++k)
    {
        const int y = axis.Row(std::int64_t(std::llround(yTicks[k])));
        dc.FillSolidRect({plot.left, y, plot.right, y + 1}, kGrid);
        Rect box(0, y - th / 2, plot.left - 4, y + th);
        dc.DrawText(QString::fromStdString(yTexts[k]), box, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
    }
    // x ticks at round indexes, or at round times when the time between readings is known.
    const double perReading = m_SecondsPerReading > 0 ? m_SecondsPerReading : 1;
    const double span = (m_Range.last - m_Range.first) * perReading;
    const int xCount = std::max(1, w / 90);
    const double start = m_Range.first * perReading, end = m_Range.last * perReading;
    const std::vector<double> xTicks = NiceTicks(start, end, xCount);
    const std::vector<std::string> xTexts = TickTexts(xTicks, NiceStep(start, end, xCount));
    for (std::size_t k = 0; k < xTicks.size(); ++k)
    {
        const double t = xTicks[k];
        const int x = int(std::floor(ColumnOf(m_Range, plot.left, w, t / perReading)));
        dc.FillSolidRect({x, plot.top, x + 1, plot.bottom}, kGrid);
        // Kept inside the control, so the last text does not lose its end.
        const int right = std::min(x + 45, width());
        Rect box(right - 90, plot.bottom + 2, right, height());
        const std::string text = m_SecondsPerReading > 0 ? TimeTickText(t, span) : xTexts[k];
        dc.DrawText(QString::fromStdString(text), box,
                    (right < x + 45 ? DT_RIGHT : DT_CENTER) | DT_SINGLELINE | DT_NOCLIP);
    }
    if (m_HoverX && *m_HoverX >= plot.left && *m_HoverX < plot.right)
        dc.FillSolidRect({*m_HoverX, plot.top, *m_HoverX + 1, plot.bottom}, kCursor);

    const auto markerColumns = [&](const Marker& m, int& from, int& to)
    {
        from = int(std::floor(ColumnOf(m_Range, plot.left, w, double(m.index))));
        to = int(std::ceil(
            ColumnOf(m_Range, plot.left, w, double(m.index + std::max<std::size_t>(m.length, 1)))));
        from = std::max(from, plot.left);
        to = std::min(std::max(to, from + 1), plot.right);
        return from < to;
    };
    int from, to;
    if (m_Selected && markerColumns(*m_Selected, from, to))
        dc.FillSolidRect({from - 2, plot.top, std::min(to + 2, plot.right), plot.bottom}, kBand);

    // The line: each column from its min to its max, joined to the column before it so that
    // a steep slope stays one line.
    int prevLow = -1, prevHigh = -1;
    for (int c = 0; c < w; ++c)
    {
        const ValueSpan& span = columns[std::size_t(c)];
        if (span.Empty())
        {
            prevLow = -1;
            continue;
        }
        int high = axis.Row(span.max), low = axis.Row(span.min); // rows grow downward
        const int ownHigh = high, ownLow = low;
        if (prevLow >= 0)
        {
            low = std::max(low, prevHigh - 1);
            high = std::min(high, prevLow + 1);
        }
        dc.FillSolidRect({plot.left + c, high, plot.left + c + 1, low + 1}, m_LineColor);
        prevLow = ownLow;
        prevHigh = ownHigh;
    }

    // Markers: a tick at the top and bottom edges and a thin line across.
    for (const Marker& m : m_Markers)
    {
        if (double(m.index + m.length) < m_Range.first || double(m.index) > m_Range.last)
            continue;
        if (!markerColumns(m, from, to))
            continue;
        dc.FillSolidRect({from, plot.top, to, plot.top + kMarkerTick}, m.color);
        dc.FillSolidRect({from, plot.bottom - kMarkerTick, to, plot.bottom}, m.color);
    }

    // Readings beyond the axis: a triangle pointing past the edge, clear of the marker ticks.
    for (const EdgeMark& mark : EdgeMarks(columns, axis))
    {
        const int x = plot.left + (mark.from + mark.to) / 2;
        for (int k = 0; k < kEdgeTriangle; ++k)
        {
            const int y =
                mark.top ? plot.top + kMarkerTick + 1 + k : plot.bottom - kMarkerTick - 2 - k;
            dc.FillSolidRect(
                {std::max(plot.left, x - k), y, std::min(plot.right, x + k + 1), y + 1},
                m_LineColor);
        }
    }
}

void RunPlotCtrl::paintEvent(QPaintEvent*)
{
    DrawContext dc(this);
    Paint(dc);
}

void RunPlotCtrl::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    const Rect plot = PlotRect();
    const double anchor = IndexAt(m_Range, plot.left, plot.Width(), event->position().x());
    SetRange(ZoomAround(m_Range, anchor, std::pow(kWheelZoom, notches), Total()));
    event->accept();
}

void RunPlotCtrl::keyPressEvent(QKeyEvent* event)
{
    const double mid = (m_Range.first + m_Range.last) / 2;
    switch (event->key())
    {
    case Qt::Key_Plus:
        SetRange(ZoomAround(m_Range, mid, kWheelZoom, Total()));
        break;
    case Qt::Key_Minus:
        SetRange(ZoomAround(m_Range, mid, 1 / kWheelZoom, Total()));
        break;
    case Qt::Key_Left:
        SetRange(Pan(m_Range, -m_Range.Span() / 10, Total()));
        break;
    case Qt::Key_Right:
        SetRange(Pan(m_Range, m_Range.Span() / 10, Total()));
        break;
    case Qt::Key_Home:
        SetRange({0, Total()});
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void RunPlotCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_DragFrom = event->position().toPoint();
    m_DragRange = m_Range;
}

void RunPlotCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const Rect plot = PlotRect();
    const QPoint at = event->position().toPoint();
    m_HoverX.reset();
    if (plot.PtInRect(at))
        m_HoverX = at.x();
    update();
    if (!m_DragFrom)
        return;
    const double dx = event->position().x() - m_DragFrom->x();
    SetRange(Pan(m_DragRange, -dx * m_DragRange.Span() / plot.Width(), Total()));
}

void RunPlotCtrl::mouseReleaseEvent(QMouseEvent*)
{
    m_DragFrom.reset();
}

void RunPlotCtrl::leaveEvent(QEvent*)
{
    m_HoverX.reset();
    update();
}

} // namespace zef::Glimra
