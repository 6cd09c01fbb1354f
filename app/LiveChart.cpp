#include "app/LiveChart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace App
{

using zef::Glimra::IndexRange;
using zef::Glimra::ValueAxis;
using zef::Glimra::ValueSpan;

IndexRange Rolling(std::size_t total, double span)
{
    return {double(total) - span, double(total)};
}

IndexRange KeepInside(IndexRange range, std::size_t first, std::size_t total)
{
    const double lo = double(first), hi = double(total);
    const double room = hi - lo;
    double span = std::min(std::max(range.Span(), std::min(zef::Glimra::kMinSpan, room)), room);
    if (room <= 0)
        return {lo, lo};
    double start = std::clamp(range.first, lo, hi - span);
    return {start, start + span};
}

bool DrawCentred(const LiveRing& ring, const IndexRange& range)
{
    const auto first = std::size_t(std::max(0.0, std::floor(range.first)));
    const auto last = std::size_t(std::max(0.0, std::ceil(range.last)));
    const LiveSpan plain = ring.Range(first, last);
    const LiveSpan centred = ring.Range(first, last, true);
    return !centred.Empty() && centred.max - centred.min < plain.max - plain.min;
}

ValueAxis FitWithoutEvents(std::vector<ValueSpan> columns, const std::vector<bool>& eventColumns,
                           int top, int bottom)
{
    std::vector<ValueSpan> bulk = columns;
    bool any = false;
    for (std::size_t c = 0; c < bulk.size(); ++c)
    {
        if (c < eventColumns.size() && eventColumns[c])
            bulk[c] = {};
        any = any || !bulk[c].Empty();
    }
    return zef::Glimra::FitAxis(any ? bulk : columns, top, bottom);
}

std::vector<ValueSpan> LiveColumns(const LiveRing& ring, const IndexRange& range, int width,
                                   bool centred)
{
    std::vector<ValueSpan> columns(std::size_t(std::max(width, 0)));
    for (int c = 0; c < width; ++c)
    {
        std::size_t first = 0, last = 0;
        zef::Glimra::ColumnReadings(range, width, c, first, last);
        const LiveSpan s = ring.Range(first, last, centred);
        columns[std::size_t(c)] = {s.min, s.max};
    }
    return columns;
}

int AxisTextChars(unsigned bits)
{
    const std::int64_t largest = (std::int64_t(1) << std::clamp(bits, 1u, 32u)) - 1;
    return int(zef::Glimra::GroupDigits(largest).size());
}

int MarkerColumn(const IndexRange& range, int left, int width, std::size_t index)
{
    const double x = zef::Glimra::ColumnOf(range, left, width, double(index));
    return std::clamp(int(std::floor(x)), left, left + width - 1);
}

SpeedBands SplitSpeedBands(int top, int bottom, int gap)
{
    const int height = std::max(0, bottom - top - gap);
    const int speed = height * 3 / 5;
    return {top, top + speed, top + speed + gap, bottom};
}

namespace
{
const QColor kBack(240, 240, 240);
const QColor kPlotBack(255, 255, 255);
const QColor kGrid(220, 220, 220);
const QColor kLine(0, 0, 160);
const QColor kText(0, 0, 0);

QColor ClassColor(EventClass cls)
{
    const EventClassInfo& info = EventClasses()[std::size_t(cls)];
    return QColor(info.red, info.green, info.blue);
}

int TextHeight(const QPainter& p)
{
    return p.fontMetrics().height();
}

// The x grid and texts: seconds before the newest reading.
void PaintTimeAxis(QPainter& p, const QRect& plot, const IndexRange& range, std::size_t total,
                   double secondsPerReading, int textTop)
{
    if (secondsPerReading <= 0 || range.Span() <= 0)
        return;
    const double start = (range.first - double(total)) * secondsPerReading;
    const double end = (range.last - double(total)) * secondsPerReading;
    const int count = std::max(1, plot.width() / 100);
    for (const double t : zef::Glimra::NiceTicks(start, end, count))
    {
        const double index = double(total) + t / secondsPerReading;
        const int x =
            int(std::floor(zef::Glimra::ColumnOf(range, plot.left(), plot.width(), index)));
        p.fillRect(QRect(x, plot.top(), 1, plot.height()), kGrid);
        const std::string text = zef::Glimra::TimeTickText(t, end - start);
        const QRect box(std::min(x - 50, plot.right() - 100), textTop, 100, TextHeight(p));
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(text));
    }
}

// The value grid and texts, right-aligned in a margin of fixed width.
void PaintValueAxis(QPainter& p, const QRect& plot, double min, double max, double least,
                    const std::function<int(double)>& row, int textRight)
{
    const int count = std::max(1, plot.height() / (3 * TextHeight(p)));
    const double step = zef::Glimra::NiceStep(min, max, count, least);
    const std::vector<double> ticks = zef::Glimra::NiceTicks(min, max, count, least);
    const std::vector<std::string> texts = zef::Glimra::TickTexts(ticks, step);
    for (std::size_t k = 0; k < ticks.size(); ++k)
    {
        const int y = row(ticks[k]);
        p.fillRect(QRect(plot.left(), y, plot.width(), 1), kGrid);
        const QRect box(textRight - 200, y - TextHeight(p) / 2, 196, TextHeight(p));
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(texts[k]));
    }
}
} // namespace

// ---- LiveChart ----

LiveChart::LiveChart(const LiveView& view, QWidget* parent) : QWidget(parent), m_View(view)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 180);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double LiveChart::Span() const
{
    const LiveRing* ring = m_View.Ring();
    const double capacity = ring ? double(ring->Capacity()) : 0;
    return m_Span > 0 ? std::min(m_Span, capacity) : capacity;
}

IndexRange LiveChart::Range() const
{
    const LiveRing* ring = m_View.Ring();
    if (!ring)
        return {};
    if (m_Following)
        return Rolling(ring->Total(), Span());
    return KeepInside(m_Range, ring->First(), ring->Total());
}

void LiveChart::SetFollowing(bool following)
{
    // Held, the view is what was shown, without the part of the ring not filled yet.
    if (!following && m_View.Ring())
        m_Range = KeepInside(Range(), m_View.Ring()->First(), m_View.Ring()->Total());
    m_Following = following;
    update();
}

void LiveChart::SetRange(IndexRange range)
{
    const LiveRing* ring = m_View.Ring();
    if (!ring)
        return;
    m_Range = KeepInside(range, ring->First(), ring->Total());
    update();
    emit RangeChanged();
}

int LiveChart::PlotLeft() const
{
    return fontMetrics().horizontalAdvance(QLatin1Char('0')) *
               AxisTextChars(m_View.BitsOf(m_View.GetPart()).bits) +
           10;
}

QRect LiveChart::PlotRect() const
{
    const int left = PlotLeft();
    return QRect(left, kMarginTop, std::max(1, width() - left - kMarginRight),
                 std::max(1, height() - kMarginTop - kMarginBottom));
}

void LiveChart::Paint(QPainter& p)
{
    const QRect plot = PlotRect();
    p.fillRect(rect(), kBack);
    p.fillRect(plot, kPlotBack);
    p.setPen(kText);
    const LiveRing* ring = m_View.Ring();
    QString title = m_Title;
    if (!m_Following)
        title += QStringLiteral("  (paused)");
    p.drawText(QRect(plot.left(), 2, plot.width(), kMarginTop - 4),
               Qt::AlignLeft | Qt::AlignVCenter, title);
    if (!ring || ring->Size() == 0)
        return;
    const IndexRange range = Range();
    const int w = plot.width();
    m_Columns = LiveColumns(*ring, range, w, DrawCentred(*ring, range));
    // A spike and the column on each side of it (its way up and down) stay off the scale.
    std::vector<bool> eventColumns(std::size_t(w), false);
    for (const LiveView::Event& e : m_View.Events())
        if (double(e.first + e.length) >= range.first && double(e.first) <= range.last)
            for (int c = MarkerColumn(range, plot.left(), w, e.first) - plot.left() - 1,
                     end =
                         MarkerColumn(range, plot.left(), w, e.first + e.length) - plot.left() + 1;
                 c <= end; ++c)
                if (c >= 0 && c < w)
                    eventColumns[std::size_t(c)] = true;
    const ValueAxis axis = FitWithoutEvents(m_Columns, eventColumns, plot.top(), plot.bottom() + 1);
    PaintValueAxis(
        p, plot, double(axis.min), double(axis.max), 1,
        [&](double v) { return axis.Row(std::int64_t(std::llround(v))); }, plot.left() - 4);
    PaintTimeAxis(p, plot, range, ring->Total(), m_View.SecondsPerReading(), plot.bottom() + 2);

    // Each column from its min to its max, joined to the one before so a slope stays a line.
    QVector<QLine> lines;
    lines.reserve(w);
    int prevLow = -1, prevHigh = -1;
    for (int c = 0; c < w; ++c)
    {
        const ValueSpan& s = m_Columns[std::size_t(c)];
        if (s.Empty())
        {
            prevLow = -1;
            continue;
        }
        int low = axis.Row(s.min), high = axis.Row(s.max);
        if (prevLow >= 0)
        {
            high = std::min(high, prevLow + 1);
            low = std::max(low, prevHigh - 1);
        }
        lines.append(
            QLine(plot.left() + c, std::min(low, high), plot.left() + c, std::max(low, high)));
        prevLow = axis.Row(s.min);
        prevHigh = axis.Row(s.max);
    }
    p.setPen(kLine);
    p.drawLines(lines);

    // Events: a tick in the class's colour above the plot and a faint line through it.
    for (const LiveView::Event& e : m_View.Events())
    {
        if (double(e.first + e.length) < range.first || double(e.first) > range.last)
            continue;
        const int x = MarkerColumn(range, plot.left(), w, e.first);
        QColor color = ClassColor(e.cls);
        p.fillRect(QRect(x - 2, plot.top() - 7, 5, 6), color);
        color.setAlpha(70);
        p.fillRect(QRect(x, plot.top(), 1, plot.height()), color);
    }
}

void LiveChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p);
}

void LiveChart::wheelEvent(QWheelEvent* event)
{
    const LiveRing* ring = m_View.Ring();
    if (!ring || event->angleDelta().y() == 0)
        return;
    // A notch is 120; away from the user zooms in.
    const double factor = std::pow(kWheelZoom, event->angleDelta().y() / 120.0);
    if (m_Following)
    {
        m_Span = std::clamp(Span() * factor, zef::Glimra::kMinSpan, double(ring->Capacity()));
        update();
    }
    else
    {
        const QRect plot = PlotRect();
        const double anchor =
            zef::Glimra::IndexAt(m_Range, plot.left(), plot.width(), event->position().x());
        SetRange({anchor - (anchor - m_Range.first) * factor,
                  anchor + (m_Range.last - anchor) * factor});
    }
    event->accept();
}

void LiveChart::ScrollBy(double readings)
{
    if (m_Following)
        return;
    SetRange({m_Range.first + readings, m_Range.last + readings});
}

void LiveChart::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left)
        ScrollBy(-m_Range.Span() / 10);
    else if (event->key() == Qt::Key_Right)
        ScrollBy(m_Range.Span() / 10);
    else
        QWidget::keyPressEvent(event);
}

void LiveChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_Following)
    {
        m_DragX = int(event->position().x());
        m_DragRange = m_Range;
    }
}

void LiveChart::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_DragX)
        return;
    const double perPixel = m_DragRange.Span() / std::max(1, PlotRect().width());
    const double delta = -(event->position().x() - *m_DragX) * perPixel;
    SetRange({m_DragRange.first + delta, m_DragRange.last + delta});
}

void LiveChart::mouseReleaseEvent(QMouseEvent*)
{
    m_DragX.reset();
}

// ---- LiveSpeedPlot ----

LiveSpeedPlot::LiveSpeedPlot(const LiveView& view, const LiveChart& chart, QWidget* parent)
    : QWidget(parent), m_View(view), m_Chart(chart)
{
    setMinimumSize(400, 140);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LiveSpeedPlot::Paint(QPainter& p)
{
    // The same columns as the chart above, so a moment lines up in both.
    const QRect chart = m_Chart.PlotRect();
    const int textHeight = TextHeight(p);
    const QRect plot(chart.left(), textHeight + 4, chart.width(),
                     std::max(1, height() - 2 * textHeight - 8));
    p.fillRect(rect(), kBack);
    p.setPen(kText);
    const SpeedBands bands = SplitSpeedBands(plot.top(), plot.bottom() + 1, 6);
    const QRect speedRect(plot.left(), bands.speedTop, plot.width(),
                          bands.speedBottom - bands.speedTop);
    const QRect accelRect(plot.left(), bands.accelTop, plot.width(),
                          bands.accelBottom - bands.accelTop);
    p.fillRect(speedRect, kPlotBack);
    p.fillRect(accelRect, kPlotBack);
    const LiveRing* ring = m_View.Ring();
    const IndexRange range = m_Chart.Range();
    double lo = 0, hi = 0, alo = 0, ahi = 0;
    std::vector<const LiveView::SpeedPoint*> shown;
    for (const LiveView::SpeedPoint& s : m_View.Speeds())
        if (double(s.index) >= range.first && double(s.index) <= range.last)
        {
            const double rpm = m_View.Rpm(s.countsPerSecond);
            if (shown.empty())
                lo = hi = rpm, alo = ahi = s.acceleration;
            lo = std::min(lo, rpm);
            hi = std::max(hi, rpm);
            alo = std::min(alo, s.acceleration);
            ahi = std::max(ahi, s.acceleration);
            shown.push_back(&s);
        }
    const double last = shown.empty() ? 0 : m_View.Rpm(shown.back()->countsPerSecond);
    p.drawText(QRect(plot.left(), 0, plot.width(), textHeight + 2), Qt::AlignLeft,
               QStringLiteral("Speed: %1 rpm  (%2 counts/s)     Acceleration below, counts/s²")
                   .arg(last, 0, 'f', 2)
                   .arg(QString::fromStdString(zef::Glimra::GroupDigits(
                       std::llround(shown.empty() ? 0.0 : shown.back()->countsPerSecond)))));
    if (!ring || shown.empty())
        return;
    // Room above and below; a flat speed gets a band of 1 rpm.
    const auto pad = [](double& a, double& b, double least)
    {
        const double m = std::max((b - a) * 0.1, least);
        a -= m;
        b += m;
    };
    pad(lo, hi, 0.5);
    pad(alo, ahi, 1);
    const auto rowIn = [](const QRect& r, double a, double b, double v)
    { return r.bottom() - int(std::lround((v - a) / (b - a) * (r.height() - 1))); };
    PaintValueAxis(
        p, speedRect, lo, hi, 0, [&](double v) { return rowIn(speedRect, lo, hi, v); },
        plot.left() - 4);
    PaintValueAxis(
        p, accelRect, alo, ahi, 0, [&](double v) { return rowIn(accelRect, alo, ahi, v); },
        plot.left() - 4);
    QPolygon speed, accel;
    for (const LiveView::SpeedPoint* s : shown)
    {
        const int x = MarkerColumn(range, plot.left(), plot.width(), s->index);
        speed << QPoint(x, rowIn(speedRect, lo, hi, m_View.Rpm(s->countsPerSecond)));
        accel << QPoint(x, rowIn(accelRect, alo, ahi, s->acceleration));
    }
    p.setClipRect(plot);
    p.setPen(QColor(0, 128, 0));
    p.drawPolyline(speed);
    p.setPen(QColor(160, 80, 0));
    p.drawPolyline(accel);
    p.setClipping(false);
    PaintTimeAxis(p, accelRect, range, ring->Total(), m_View.SecondsPerReading(),
                  accelRect.bottom() + 2);
}

void LiveSpeedPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p);
}

} // namespace App
