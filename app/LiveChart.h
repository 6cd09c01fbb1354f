#pragma once

#include "app/core/LiveView.h"
#include "controls/RunPlotGeometry.h"

#include <QWidget>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace App
{

// ---- Geometry of the live view's plots, free of painting so tests check it directly ----

// The newest `span` readings of `total`.
zef::Glimra::IndexRange Rolling(std::size_t total, double span);
// `range` moved inside the kept readings [first, total], at least kMinSpan wide when there is
// room.
zef::Glimra::IndexRange KeepInside(zef::Glimra::IndexRange range, std::size_t first,
                                   std::size_t total);
// Min and max position of each of `width` columns over `range`; a column shows at least one
// reading, so zoomed in each reading spans its columns.
std::vector<zef::Glimra::ValueSpan> LiveColumns(const LiveRing& ring,
                                                const zef::Glimra::IndexRange& range, int width,
                                                bool centred = false);
// Whether the readings of `range` lie closer together taken as signed around 0 (an encoder
// resting at the wrap of its range), so the chart draws them that way.
bool DrawCentred(const LiveRing& ring, const zef::Glimra::IndexRange& range);
// The axis over the columns without those holding an event (a spike's top bit would squash
// the trace into one row); those reach the edge. All columns when every one holds an event.
zef::Glimra::ValueAxis FitWithoutEvents(std::vector<zef::Glimra::ValueSpan> columns,
                                        const std::vector<bool>& eventColumns, int top, int bottom);
// Characters of the widest value text a position of `bits` bits can have ("33,554,431"): the
// value axis keeps that width, so its texts never push the plot aside.
int AxisTextChars(unsigned bits);
// Column of reading `index` in a plot of `width` from `left` over `range`, clamped to it.
int MarkerColumn(const zef::Glimra::IndexRange& range, int left, int width, std::size_t index);
// The rows of a plot of `height` split for speed (top) and acceleration (bottom).
struct SpeedBands
{
    int speedTop, speedBottom, accelTop, accelBottom;
};
SpeedBands SplitSpeedBands(int top, int bottom, int gap);

// The strip chart: the position of the live view's readings, one vertical line per pixel
// column from its min to its max, rolling with the newest reading at the right edge. While
// the view is paused the wheel zooms around the cursor (down to single readings) and
// dragging or the arrow keys scroll; while it runs the wheel changes the time shown. Events
// are marked in their class's colour above the plot.
class LiveChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMarginTop = 22;
    static constexpr int kMarginBottom = 18;
    static constexpr int kMarginRight = 8;
    static constexpr double kWheelZoom = 0.8;

    explicit LiveChart(const LiveView& view, QWidget* parent = nullptr);

    // Follows the newest reading (running) or holds the range (paused).
    void SetFollowing(bool following);
    bool IsFollowing() const { return m_Following; }
    zef::Glimra::IndexRange Range() const;
    void SetRange(zef::Glimra::IndexRange range);
    // The time shown while following, in readings; 0: the whole ring.
    void SetSpan(double readings) { m_Span = readings; }
    double Span() const;
    void SetTitle(const QString& title) { m_Title = title; }
    int PlotLeft() const;
    QRect PlotRect() const;
    // Paints the whole control on `painter`'s device, as a paint event does.
    void Paint(class QPainter& painter);

signals:
    void RangeChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ScrollBy(double readings);

    const LiveView& m_View;
    bool m_Following = true;
    double m_Span = 0;
    zef::Glimra::IndexRange m_Range;
    QString m_Title;
    std::optional<int> m_DragX;
    zef::Glimra::IndexRange m_DragRange;
    std::vector<zef::Glimra::ValueSpan> m_Columns; // reused from paint to paint
};

// Speed (rpm on the left, counts/s on the right) and acceleration over the chart's range.
class LiveSpeedPlot : public QWidget
{
    Q_OBJECT

public:
    LiveSpeedPlot(const LiveView& view, const LiveChart& chart, QWidget* parent = nullptr);
    void Paint(class QPainter& painter);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const LiveView& m_View;
    const LiveChart& m_Chart;
};

} // namespace App
