// Painting a large data line: one DataLine of 1,000,000 points in STYLE_LINE into an 800 x 600
// plot, as a share of a 100 ms interactive budget. Baselines in the same run: the same plot
// without data (background only) and a bare QPainter polyline through the same points mapped
// to pixels beforehand (no scaling, no clipping, no drawing layer).

#include "controls/RgbColor.h"
#include "controls/StaticPlotCtrl.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>

using namespace zef::Glimra;

namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr double kBudgetSeconds = 0.100;

// A slow sine with noise on top, like a rotating encoder with a jittery reading.
DataLine MakeLine(int points)
{
    DataLine line;
    line.SetColor(RGB_COLOR::LIGHTRED);
    line.SetStyle(DataLine::STYLE_LINE, 0);
    line.Reserve(static_cast<std::size_t>(points));
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 20.0f);
    for (int i = 0; i < points; ++i)
        line.Add(static_cast<float>(i), 1000.0f * std::sin(i / 20000.0f) + noise(rng));
    return line;
}

struct Fixture
{
    explicit Fixture(int points, bool withData)
    {
        plot.resize(kWidth, kHeight);
        plot.DirectRedraw(false);
        plot.SetBkColorPlot(RGB_COLOR::WHITE);
        const DataLine line = MakeLine(points);
        float minX, maxX, minY, maxY;
        if (line.GetMinMax(minX, maxX, minY, maxY))
            plot.SetPlotRange(minX, maxX, minY, maxY);
        if (withData)
            plot.AddLine(line);
    }

    StaticPlotCtrl plot;
    QImage image{kWidth, kHeight, QImage::Format_ARGB32_Premultiplied};
};

template <class Paint> void Measure(benchmark::State& state, Paint&& paint)
{
    double total = 0;
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        paint();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perPaint = total / static_cast<double>(state.iterations());
    state.counters["ms_per_paint"] = perPaint * 1e3;
    state.counters["share_of_100ms"] = perPaint / kBudgetSeconds;
}

void BM_PlotLine(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)), true);
    Measure(state,
            [&]
            {
                DrawContext dc(&f.image);
                f.plot.Paint(dc);
            });
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PlotBackgroundOnly(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)), false);
    Measure(state,
            [&]
            {
                DrawContext dc(&f.image);
                f.plot.Paint(dc);
            });
}

// What Qt alone costs for the same pixels: the points mapped once, outside the loop.
void BM_QPainterPolylineBaseline(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const DataLine line = MakeLine(points);
    float minX, maxX, minY, maxY;
    line.GetMinMax(minX, maxX, minY, maxY);
    const PlotScale scale = ComputePlotScale(Rect(0, 0, kWidth, kHeight), maxX, minX, maxY, minY);
    QPolygon polygon;
    polygon.reserve(points);
    for (int i = 0; i < points; ++i)
    {
        float x, y;
        line.GetData(static_cast<std::size_t>(i), x, y);
        const QPointF p = scale.Map(x, y);
        polygon.append(QPoint(static_cast<int>(p.x()), static_cast<int>(p.y())));
    }
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    Measure(state,
            [&]
            {
                QPainter painter(&image);
                painter.fillRect(image.rect(), Qt::white);
                painter.setPen(QPen(Qt::red, 0));
                painter.drawPolyline(polygon);
            });
}

} // namespace

BENCHMARK(BM_PlotLine)->Arg(1'000'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotBackgroundOnly)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QPainterPolylineBaseline)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
