#pragma once

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"
#include "controls/MinMaxPyramid.h"
#include "controls/RunPlotGeometry.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

namespace zef::Glimra
{

/// A plot of one series of a long run: one vertical line per pixel column from the column's
/// min to its max, so every spike shows at any zoom. The wheel zooms around the cursor, + and
/// - around the middle; dragging and the arrow keys pan. Markers are drawn over the line.
/// The y axis spans the bulk of the readings (without the pyramid's outliers, unless the full
/// range is asked for); columns reaching beyond it get a triangle at that edge. The title
/// and the readout of the column under the cursor share a band above the plot.
class GLIMRA_API RunPlotCtrl : public QWidget
{
    Q_OBJECT

public:
    struct Marker
    {
        std::size_t index = 0;
        std::size_t length = 1;
        ColorRef color = 0;
    };

    static constexpr int kMarginLeft = 64;
    static constexpr int kMarginBottom = 18;
    static constexpr int kMarginRight = 8;
    static constexpr double kWheelZoom = 0.8; ///< per wheel notch or key press

    explicit RunPlotCtrl(QWidget* parent = nullptr);

    /// `data` is borrowed (nullptr: nothing to plot); the view goes to the whole run.
    void SetData(const MinMaxPyramid* data, RunSeries series);
    void SetLineColor(ColorRef color)
    {
        m_LineColor = color;
        update();
    }
    void SetTitle(const QString& title)
    {
        m_Title = title;
        update();
    }
    /// With the time between readings known, the x axis reads in time; 0 keeps indexes.
    void SetSecondsPerReading(double seconds)
    {
        m_SecondsPerReading = seconds;
        update();
    }
    /// The y axis over every reading (true) or over the bulk without outliers (false).
    void SetFullRange(bool full)
    {
        m_FullRange = full;
        update();
    }
    bool IsFullRange() const { return m_FullRange; }
    void SetMarkers(std::vector<Marker> markers);
    /// The marker drawn as a band behind the line (the chosen event).
    void SetSelected(std::optional<Marker> marker);

    double Total() const { return m_Data ? double(m_Data->Size()) : 0; }
    IndexRange GetRange() const { return m_Range; }
    /// Clamped to the run; emits RangeChanged when the range changes.
    void SetRange(IndexRange range);
    /// Centres the readings [first, first + length) with room around them.
    void ShowReadings(std::size_t first, std::size_t length);

    Rect PlotRect() const;
    /// The y axis of the current view, as the next paint draws it.
    ValueAxis Axis() const;
    /// The readout of the column under the cursor; empty when the cursor is not over the plot.
    QString ReadoutText() const;
    /// Paints the whole control, as a paint event does.
    void Paint(DrawContext& dc);

signals:
    void RangeChanged(zef::Glimra::IndexRange range);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The columns and the axis of one view: computed when the view changes, so that a
    // repaint for the cursor alone queries nothing.
    struct View
    {
        const MinMaxPyramid* data = nullptr;
        RunSeries series = SERIES_POSITION;
        IndexRange range;
        Rect plot;
        bool full = false;
        std::vector<ValueSpan> columns;
        ValueAxis axis;
    };
    const View& CurrentView() const;

    const MinMaxPyramid* m_Data = nullptr;
    RunSeries m_Series = SERIES_POSITION;
    IndexRange m_Range;
    ColorRef m_LineColor = MakeRgb(0, 0, 160);
    QString m_Title;
    double m_SecondsPerReading = 0;
    std::vector<Marker> m_Markers;
    std::optional<Marker> m_Selected;
    bool m_FullRange = false;
    std::optional<QPoint> m_DragFrom;
    IndexRange m_DragRange;
    std::optional<int> m_HoverX; // device x of the cursor over the plot
    mutable View m_View;
};

} // namespace zef::Glimra
