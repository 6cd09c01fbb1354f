#pragma once

#include "app/core/ClockSweep.h"

#include <QWidget>

#include <vector>

namespace App
{

// Where the sweep plot puts things, free of painting. The rate axis is logarithmic from 1
// at the top down to 10^-kRateDecades; a band below it holds the clocks without errors, so
// that a clean clock never reads as a rate of 10^-5.
struct SweepAxes
{
    static constexpr int kRateDecades = 5;
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;   // of the logarithmic part
    double zeroGap = 0;  // between it and the band, so that "1e-5" and "0" stay apart
    double zeroBand = 0; // below that

    double ZeroTop() const { return top + height + zeroGap; }

    double RateY(double rate) const;
    // The clock axis is logarithmic too: the selectable clocks crowd at the low end.
    double ClockX(unsigned hz, unsigned fromHz, unsigned toHz) const;
};

// Of labels centred at `centres` with these widths, in order, the ones that can be drawn
// without overlapping a label already kept; the first and the last are preferred.
std::vector<std::size_t> SpacedLabels(const std::vector<double>& centres,
                                      const std::vector<double>& widths, double gap);

// Error rate against clock: green points clean, red ones with errors, the recommended clock
// as a blue line.
class SweepPlot : public QWidget
{
public:
    explicit SweepPlot(QWidget* parent) : QWidget(parent) {}
    void SetView(ClockSweep::View view);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ClockSweep::View m_View;
};

} // namespace App
