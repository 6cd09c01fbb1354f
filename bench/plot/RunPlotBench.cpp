// The run plot on a full buffer of 16,777,214 readings. Baselines in the same run: one plain
// pass over the buffer (a sum) for building the block min/max, and StaticPlotCtrl drawing
// 1,000,000 points for the repaints. The structure's size is reported against the buffer's.

#include "controls/MinMaxPyramid.h"
#include "controls/RgbColor.h"
#include "controls/RunPlotCtrl.h"
#include "controls/StaticPlotCtrl.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>
#include <span>
#include <vector>

using namespace zef::Glimra;

namespace
{

constexpr std::size_t kReadings = 16'777'214;
constexpr int kWidth = 1920;
constexpr int kHeight = 600;

// The readings of the spikes, as the analysis finds them; the plot leaves them out of its scale.
std::vector<ReadingSpan>& Spikes()
{
    static std::vector<ReadingSpan> spikes;
    return spikes;
}

// A turning 13 + 12 bit encoder with a few spikes.
const std::vector<unsigned>& Run()
{
    static const std::vector<unsigned> run = []
    {
        std::vector<unsigned> r(kReadings);
        std::mt19937 rng(3);
        for (std::size_t i = 0; i < kReadings; ++i)
            r[i] = unsigned(i * 7 / 3) & 0x1FFFFFF;
        for (int k = 0; k < 50; ++k)
        {
            const std::size_t at = rng() % kReadings;
            r[at] = rng() & 0x1FFFFFF;
            Spikes().push_back({at, 1});
        }
        return r;
    }();
    return run;
}

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_PlainPass(benchmark::State& state)
{
    const std::vector<unsigned>& run = Run();
    for (auto _ : state)
    {
        unsigned sum = 0;
        for (const unsigned v : run)
            sum += v;
        benchmark::DoNotOptimize(sum);
    }
}

// range(0): 1 with the spikes as outliers (a second set of levels without them).
void BM_BuildPyramid(benchmark::State& state)
{
    const std::vector<unsigned>& run = Run();
    const std::span<const ReadingSpan> outliers =
        state.range(0) ? std::span<const ReadingSpan>(Spikes()) : std::span<const ReadingSpan>();
    std::size_t bytes = 0;
    for (auto _ : state)
    {
        const MinMaxPyramid p(run, {0, 25}, outliers);
        bytes = p.Bytes();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes_per_buffer_byte"] = double(bytes) / double(kReadings * sizeof(unsigned));
}

// Paints into an image of the plot's size, counting the CPU time of each paint (and of
// `before` it).
template <class Plot, class Before = void (*)()>
void TimePaints(
    benchmark::State& state, Plot& plot, Before before = [] {})
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    double cpu = 0;
    for (auto _ : state)
    {
        const double start = CpuSeconds();
        before();
        DrawContext dc(&image);
        plot.Paint(dc);
        cpu += CpuSeconds() - start;
    }
    state.counters["cpu_ms_per_paint"] = cpu / double(state.iterations()) * 1e3;
}

const MinMaxPyramid& Pyramid(bool outliers)
{
    static const MinMaxPyramid all(Run(), {0, 25});
    static const MinMaxPyramid bulk(Run(), {0, 25}, Spikes());
    return outliers ? bulk : all;
}

// range(0): the span shown, as readings; the view is centred on the run and its end moves by
// a reading before each paint, so that every paint queries its columns anew, as a zoom does.
// range(1): 1 when the y axis is scaled to the bulk (the spikes as outliers), as the analysis
// view does.
void BM_RepaintRunPlot(benchmark::State& state)
{
    RunPlotCtrl plot;
    plot.resize(kWidth, kHeight);
    plot.SetData(&Pyramid(state.range(1) != 0), SERIES_POSITION);
    const double span = double(state.range(0));
    const IndexRange view{kReadings / 2.0 - span / 2, kReadings / 2.0 + span / 2};
    bool moved = false;
    TimePaints(state, plot,
               [&]
               {
                   moved = !moved;
                   plot.SetRange({view.first, view.last - moved});
               });
}

// The whole run again, the view unchanged: a repaint for the cursor's readout.
void BM_RepaintRunPlotSameView(benchmark::State& state)
{
    RunPlotCtrl plot;
    plot.resize(kWidth, kHeight);
    plot.SetData(&Pyramid(true), SERIES_POSITION);
    TimePaints(state, plot);
}

void BM_StaticPlotMillionPoints(benchmark::State& state)
{
    StaticPlotCtrl plot;
    plot.resize(kWidth, kHeight);
    plot.DirectRedraw(false);
    DataLine line;
    line.SetStyle(DataLine::STYLE_LINE, 0);
    line.Reserve(1'000'000);
    for (int i = 0; i < 1'000'000; ++i)
        line.Add(float(i), float(Run()[std::size_t(i)] & 0x1FFF));
    float minX, maxX, minY, maxY;
    line.GetMinMax(minX, maxX, minY, maxY);
    plot.SetPlotRange(minX, maxX, minY, maxY);
    plot.AddLine(line);
    TimePaints(state, plot);
}

} // namespace

BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildPyramid)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintRunPlot)
    ->ArgsProduct({{kReadings, 1'000'000, 20'000, 500, 8}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintRunPlotSameView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StaticPlotMillionPoints)->Unit(benchmark::kMillisecond)->Iterations(3);

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
