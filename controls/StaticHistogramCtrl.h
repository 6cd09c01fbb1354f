#pragma once

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"
#include "controls/HistogramGeometry.h"

#include <QString>
#include <QWidget>

#include <deque>

namespace zef::Glimra
{

/// A running history of values as 3-pixel bars, newest at the left, beside a column of scale
/// texts. A bar's height is the value's share of the maximum value.
class GLIMRA_API StaticHistogramCtrl : public QWidget
{
    Q_OBJECT

public:
    explicit StaticHistogramCtrl(QWidget* parent = nullptr);
    ~StaticHistogramCtrl() override;

    /// Puts a value in front; the oldest one falls off once more are held than displayed.
    void Add(double value);
    /// Replaces the values (front = newest) without redrawing.
    void SetData(const std::deque<double>& data);
    /// Scale texts from top to bottom.
    void SetText(const std::deque<QString>& texts);
    void SetMaxValue(double max);
    void SetTextLeft(bool left);
    void SetTextWidth(long width);

    const std::deque<double>& GetData() const { return m_Measurements; }

    /// Paints the whole control on `dc`, as a paint event does.
    void Paint(DrawContext& dc);

protected:
    void Redraw();
    Rect GetTextRect() const;
    Rect GetMeasurementRect() const;
    int GetDisplayedMeasurements() const;
    void paintEvent(QPaintEvent* event) override;

private:
    HistogramLayout Layout() const;

    bool m_TextLeft = true;
    long m_TextWidth = 0;
    double m_MaxValue = 100.0;
    std::deque<double> m_Measurements;
    std::deque<QString> m_Texts;
};

} // namespace zef::Glimra
