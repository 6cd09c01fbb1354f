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
constexpr ColorRef kText = MakeRgb(0, 0, 0);
constexpr ColorRef kBand = MakeRgb(255, 236, 160);

QString TickText(double value)
{
    const double a = std::fabs(value);
    if (a >= 1e6)
        return QString::number(value / 1e6, 'g', 4) + QLatin1Char('M');
    if (a >= 1e4)
        return QString::number(value / 1e3, 'g', 4) + QLatin1Char('k');
    return QString::number(value, 'g', 6);
}
} // namespace

RunPlotCtrl::RunPlotCtrl(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(kMarginLeft + kMarginRight + 32, kMarginTop + kMarginBottom + 32);
}

void RunPlotCtrl::SetData(const MinMaxPyramid* data, RunSeries series)
{
    m_Data = data;
    m_Series = series;
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
    return {kMarginLeft, kMarginTop, std::max(kMarginLeft + 1, width() - kMarginRight),
            std::max(kMarginTop + 1, height() - kMarginBottom)};
}

void RunPlotCtrl::Paint(DrawContext& dc)
{
    const Rect client(0, 0, width(), height());
    const Rect plot = PlotRect();
    dc.FillSolidRect(client, kDescBack);
    dc.FillSolidRect(plot, kPlotBack);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kText);
    if (!m_Data || m_Data->Size() == 0)
        return;

    const int w = plot.Width();
    const std::vector<ValueSpan> columns = ColumnSpans(*m_Data, m_Series, m_Range, w);
    const ValueAxis axis = FitAxis(columns, plot.top, plot.bottom);
    const int th = dc.GetTextMetrics().height;

    // Grid and axis texts.
    for (const double t :
         NiceTicks(double(axis.min), double(axis.max), std::max(1, plot.Height() / (3 * th))))
    {
        const int y = axis.Row(std::int64_t(std::llround(t)));
        dc.FillSolidRect({plot.left, y, plot.right, y + 1}, kGrid);
        Rect box(0, y - th / 2, plot.left - 4, y + th);
        dc.DrawText(TickText(t), box, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
    }
    // x ticks at round indexes, or at round times when the time between readings is known.
    const double perReading = m_SecondsPerReading > 0 ? m_SecondsPerReading : 1;
    const double span = (m_Range.last - m_Range.first) * perReading;
    for (const double t :
         NiceTicks(m_Range.first * perReading, m_Range.last * perReading, std::max(1, w / 90)))
    {
        const int x = int(std::floor(ColumnOf(m_Range, plot.left, w, t / perReading)));
        dc.FillSolidRect({x, plot.top, x + 1, plot.bottom}, kGrid);
        // Kept inside the control, so the last text does not lose its end.
        const int right = std::min(x + 45, width());
        Rect box(right - 90, plot.bottom + 2, right, height());
        const QString text =
            m_SecondsPerReading > 0 ? QString::fromStdString(TimeTickText(t, span)) : TickText(t);
        dc.DrawText(text, box, (right < x + 45 ? DT_RIGHT : DT_CENTER) | DT_SINGLELINE | DT_NOCLIP);
    }

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
        dc.FillSolidRect({from, plot.top, to, plot.top + 6}, m.color);
        dc.FillSolidRect({from, plot.bottom - 6, to, plot.bottom}, m.color);
    }

    if (!m_Title.isEmpty())
        dc.TextOut(plot.left + 4, plot.top + 2, m_Title);
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
    if (!m_DragFrom)
        return;
    const double dx = event->position().x() - m_DragFrom->x();
    SetRange(Pan(m_DragRange, -dx * m_DragRange.Span() / PlotRect().Width(), Total()));
}

void RunPlotCtrl::mouseReleaseEvent(QMouseEvent*)
{
    m_DragFrom.reset();
}

} // namespace zef::Glimra
