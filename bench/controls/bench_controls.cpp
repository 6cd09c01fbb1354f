// Repaint cost of the dial and of an 8-character segment display at 800 x 600, offscreen.
// Each repaint is reported as a share of the 50 ms sampling tick (share_of_tick_pct, from the
// thread's CPU time) and as a
// ratio to a baseline measured in the same run: filling an 800 x 600 image once, the least
// any full repaint costs (vs_fill).
#include "controls/DrawContext.h"
#include "controls/RgbColor.h"
#include "controls/RotationAngleCtrl.h"
#include "controls/SegmentCtrl.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

using namespace zef::Glimra;

namespace
{

constexpr int kW = 800;
constexpr int kH = 600;
constexpr double kTickNs = 50e6;
double g_baselineNs = 0;

double ThreadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

// Per-iteration CPU time of the loop; wall time is reported by the framework. On a busy
// machine wall time includes waiting for a core, so the share of the tick uses CPU time.
template <class F> double TimedLoop(benchmark::State& state, F&& body)
{
    const double start = ThreadCpuNs();
    for (auto _ : state)
        body();
    const double ns = ThreadCpuNs() - start;
    return state.iterations() ? ns / static_cast<double>(state.iterations()) : 0;
}

void Report(benchmark::State& state, double perIterNs)
{
    state.counters["cpu_us"] = perIterNs / 1000.0;
    state.counters["share_of_tick_pct"] = 100.0 * perIterNs / kTickNs;
    if (g_baselineNs > 0)
        state.counters["vs_fill"] = perIterNs / g_baselineNs;
}

void BM_BaselineFill(benchmark::State& state)
{
    QImage target(kW, kH, QImage::Format_RGB32);
    int i = 0;
    g_baselineNs = TimedLoop(state,
                             [&]
                             {
                                 target.fill(QColor::fromRgb((++i) & 0xFF, 0, 0));
                                 benchmark::DoNotOptimize(target.constBits());
                             });
    Report(state, g_baselineNs);
}
BENCHMARK(BM_BaselineFill);

void BM_DialRepaint(benchmark::State& state)
{
    RotationAngleCtrl dial;
    dial.DirectRedraw(false);
    dial.resize(kW, kH);
    QImage target(kW, kH, QImage::Format_RGB32);
    int angle = 0;
    const double ns = TimedLoop(state,
                                [&]
                                {
                                    dial.SetAngle(angle += 7);
                                    DrawContext dc(&target);
                                    dial.Paint(dc);
                                    benchmark::DoNotOptimize(target.constBits());
                                });
    Report(state, ns);
}
BENCHMARK(BM_DialRepaint);

void SegmentRepaint(benchmark::State& state, std::uint32_t addStyle)
{
    SegmentCtrl seg;
    seg.ModifyDigiStyle(0, addStyle);
    seg.resize(kW, kH);
    QImage target(kW, kH, QImage::Format_RGB32);
    unsigned value = 0;
    const double ns =
        TimedLoop(state,
                  [&]
                  {
                      // A new reading every tick: the text changes, so the cells are rebuilt too.
                      seg.SetText(QString::asprintf("%08u", (value += 7919) % 100000000u));
                      DrawContext dc(&target);
                      seg.Paint(dc);
                      benchmark::DoNotOptimize(target.constBits());
                  });
    Report(state, ns);
}

void BM_SegmentRepaint8(benchmark::State& state)
{
    SegmentRepaint(state, 0);
}
BENCHMARK(BM_SegmentRepaint8);

// The fixed part of every repaint: off-screen bitmap, background, copy to the target.
void BM_SegmentRepaintEmpty(benchmark::State& state)
{
    SegmentCtrl seg;
    seg.resize(kW, kH);
    QImage target(kW, kH, QImage::Format_RGB32);
    const double ns = TimedLoop(state,
                                [&]
                                {
                                    DrawContext dc(&target);
                                    seg.Paint(dc);
                                    benchmark::DoNotOptimize(target.constBits());
                                });
    Report(state, ns);
}
BENCHMARK(BM_SegmentRepaintEmpty);

void BM_SegmentRepaint8Rounded14(benchmark::State& state)
{
    SegmentRepaint(state, SegmentCtrl::STYLE_ROUNDED | SegmentCtrl::STYLE_14_SEGMENT);
}
BENCHMARK(BM_SegmentRepaint8Rounded14);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
