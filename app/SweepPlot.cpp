#include "app/SweepPlot.h"

#include "app/DialogBase.h"
#include "app/core/Formats.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace App
{

double SweepAxes::RateY(double rate) const
{
    if (!(rate > 0))
        return ZeroTop() + zeroBand / 2;
    const double decades = std::clamp(-std::log10(rate), 0.0, double(kRateDecades));
    return top + height * decades / kRateDecades;
}

double SweepAxes::ClockX(unsigned hz, unsigned fromHz, unsigned toHz) const
{
    if (toHz <= fromHz || fromHz == 0)
        return left + width / 2;
    return left + width * std::log(double(hz) / fromHz) / std::log(double(toHz) / fromHz);
}

std::vector<std::size_t> SpacedLabels(const std::vector<double>& centres,
                                      const std::vector<double>& widths, double gap)
{
    const std::size_t n = std::min(centres.size(), widths.size());
    std::vector<std::size_t> kept;
    if (n == 0)
        return kept;
    const auto right = [&](std::size_t i) { return centres[i] + widths[i] / 2; };
    const auto left = [&](std::size_t i) { return centres[i] - widths[i] / 2; };
    kept.push_back(0);
    for (std::size_t i = 1; i + 1 < n; ++i)
    {
        // Keep room for the last label, which always shows the range's end.
        if (left(i) >= right(kept.back()) + gap && right(i) + gap <= left(n - 1))
            kept.push_back(i);
    }
    if (n > 1 && left(n - 1) >= right(kept.back()) + gap)
        kept.push_back(n - 1);
    return kept;
}

void SweepPlot::SetView(ClockSweep::View view)
{
    m_View = std::move(view);
    update();
}

void SweepPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    SweepAxes axes;
    axes.left = metrics.horizontalAdvance(QStringLiteral("1e-5")) + 8;
    axes.top = line / 2 + 2;
    axes.width = width() - axes.left - 12;
    axes.zeroGap = line / 2 + 4;
    axes.zeroBand = line + 4;
    axes.height = height() - axes.top - axes.zeroGap - axes.zeroBand - line - 8;
    const QRectF area(axes.left, axes.top, axes.width, axes.height + axes.zeroGap + axes.zeroBand);

    // The band of clean clocks, marked "0".
    p.fillRect(QRectF(axes.left, axes.ZeroTop(), axes.width, axes.zeroBand), QColor(225, 242, 225));
    p.setPen(Qt::black);
    p.drawText(QRectF(0, axes.ZeroTop(), axes.left - 4, axes.zeroBand),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    for (int d = 0; d <= SweepAxes::kRateDecades; ++d)
    {
        const double y = axes.RateY(std::pow(10.0, -d));
        p.setPen(QColor(220, 220, 220));
        p.drawLine(QPointF(axes.left, y), QPointF(axes.left + axes.width, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - line / 2.0, axes.left - 4, line),
                   Qt::AlignRight | Qt::AlignVCenter,
                   d == 0 ? QStringLiteral("1") : QStringLiteral("1e-%1").arg(d));
    }
    p.drawRect(area);
    const auto& points = m_View.points;
    if (points.empty())
        return;
    const unsigned from = points.front().hz;
    const unsigned to = points.back().hz;

    // A tick at every clock of the sweep; labels where they fit.
    std::vector<double> centres;
    std::vector<double> widths;
    std::vector<QString> labels;
    for (const ClockSweep::Point& point : points)
    {
        labels.push_back(ToQ(FormatFrequency(point.hz)));
        centres.push_back(axes.ClockX(point.hz, from, to));
        widths.push_back(metrics.horizontalAdvance(labels.back()));
    }
    const double bottom = area.bottom();
    for (const double x : centres)
        p.drawLine(QPointF(x, bottom), QPointF(x, bottom + 3));
    for (const std::size_t i : SpacedLabels(centres, widths, metrics.averageCharWidth()))
    {
        // The end labels stay inside the widget.
        const double x = std::clamp(centres[i] - widths[i] / 2, 0.0, width() - widths[i]);
        p.drawText(QRectF(x, bottom + 3, widths[i], line), Qt::AlignCenter, labels[i]);
    }

    if (const unsigned hz = m_View.recommendation.clock; hz >= from && hz <= to)
    {
        const double x = axes.ClockX(hz, from, to);
        p.setPen(QPen(QColor(0, 0, 200), 1, Qt::DashLine));
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    const auto at = [&](const ClockSweep::Point& point)
    { return QPointF(axes.ClockX(point.hz, from, to), axes.RateY(point.Rate())); };
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(120, 120, 120));
    const ClockSweep::Point* previous = nullptr;
    for (const ClockSweep::Point& point : points)
    {
        if (!point.done)
            break;
        if (previous)
            p.drawLine(at(*previous), at(point));
        previous = &point;
    }
    p.setPen(Qt::NoPen);
    for (const ClockSweep::Point& point : points)
    {
        if (!point.done)
            break;
        p.setBrush(point.errors ? QColor(210, 0, 0) : QColor(0, 160, 0));
        p.drawEllipse(at(point), 3, 3);
    }
}

} // namespace App
