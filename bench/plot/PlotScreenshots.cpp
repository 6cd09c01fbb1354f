// Writes the documentation pictures of the plot and histogram controls:
//   plot_screenshots <dir>  ->  <dir>/plot-grid.png, <dir>/histogram-scale.png
// Run under xvfb-run (or QT_QPA_PLATFORM=offscreen); the controls are shown as real windows
// and grabbed.

#include "controls/RgbColor.h"
#include "controls/StaticHistogramCtrl.h"
#include "controls/StaticPlotCtrl.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cmath>
#include <cstdio>

using namespace zef::Glimra;

namespace
{

void Settle(QWidget& w)
{
    w.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
}

bool SavePlot(const QString& path)
{
    StaticPlotCtrl plot;
    plot.setWindowTitle(QStringLiteral("StaticPlotCtrl"));
    plot.resize(480, 300);
    plot.DirectRedraw(false);
    plot.SetBkColorPlot(RGB_COLOR::WHITE);
    plot.SetDescArea(44, 8, 12, 24);
    plot.SetPlotRange(0, 360, -1.2f, 1.2f);

    GridLine verticals;
    verticals.SetAxis(X_AXIS);
    verticals.SetAttribute(GridLine::LA_DOT);
    verticals.SetColor(RGB_COLOR::DARKGRAY);
    GridLine horizontals;
    horizontals.SetAxis(Y_AXIS);
    horizontals.SetAttribute(GridLine::LA_DOT);
    horizontals.SetColor(RGB_COLOR::DARKGRAY);
    AxisDescription xTexts;
    xTexts.SetAxis(X_AXIS);
    AxisDescription yTexts;
    yTexts.SetAxis(Y_AXIS);
    for (int deg = 0; deg <= 360; deg += 60)
    {
        verticals.Add(static_cast<float>(deg));
        xTexts.Add(static_cast<float>(deg), QString::number(deg));
    }
    for (int i = -2; i <= 2; ++i)
    {
        const float v = i * 0.5f;
        horizontals.Add(v);
        yTexts.Add(v, QString::number(v, 'f', 1));
    }
    plot.AddGrid(verticals);
    plot.AddGrid(horizontals);
    plot.AddAxisDescription(xTexts);
    plot.AddAxisDescription(yTexts);

    DataLine sine;
    sine.SetColor(RGB_COLOR::LIGHTRED);
    sine.SetStyle(DataLine::STYLE_LINE, 0);
    DataLine cosine;
    cosine.SetColor(RGB_COLOR::DARKBLUE);
    cosine.SetStyle(DataLine::STYLE_LINE, 0);
    DataLine samples;
    samples.SetColor(RGB_COLOR::DARKGREEN);
    samples.SetStyle(DataLine::STYLE_DOTS, 0);
    for (int deg = 0; deg <= 360; deg += 2)
    {
        const float r = static_cast<float>(deg * M_PI / 180.0);
        sine.Add(static_cast<float>(deg), std::sin(r));
        cosine.Add(static_cast<float>(deg), 1.1f * std::cos(2 * r) * std::exp(-r / 6));
        samples.Add(static_cast<float>(deg), 0.5f * std::sin(3 * r));
    }
    plot.AddLine(sine);
    plot.AddLine(cosine);
    plot.AddLine(samples);
    plot.DirectRedraw(true);
    Settle(plot);
    return plot.grab().save(path);
}

bool SaveHistogram(const QString& path)
{
    StaticHistogramCtrl hist;
    hist.setWindowTitle(QStringLiteral("StaticHistogramCtrl"));
    hist.resize(300, 120);
    hist.SetTextWidth(40);
    hist.SetMaxValue(100);
    hist.SetText({QStringLiteral("100"), QStringLiteral("50"), QStringLiteral("0")});
    for (int i = 0; i < 120; ++i)
        hist.Add(50 + 40 * std::sin(i / 9.0) + 8 * std::sin(i * 1.7));
    Settle(hist);
    return hist.grab().save(path);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const bool ok = SavePlot(dir.filePath(QStringLiteral("plot-grid.png"))) &&
                    SaveHistogram(dir.filePath(QStringLiteral("histogram-scale.png")));
    if (!ok)
        std::fprintf(stderr, "could not write the pictures\n");
    return ok ? 0 : 1;
}
