// Speed of the visualisation windows, against the simulator on a manual clock:
//  - one continuous-sampling tick with both windows open and visible at their default size,
//    repaints included, as a share of the 50 ms period, beside the same tick without them
//    (the baseline, measured first in this run);
//  - a full repaint of each window at 1920 x 1080, in CPU time.
#include "app/Resource.h"
#include "app/TavikApp.h"
#include "app/TavikDlg.h"
#include "app/VisualizeAngleDlg.h"
#include "app/VisualizeSegmentDlg.h"
#include "base/IniFile.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/SimulatorProvider.h"

#include <QAbstractButton>
#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>

using namespace App;

namespace
{
// CPU time of this thread: the machine may be busy with other work.
double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct SimulatedDialog
{
    explicit SimulatedDialog(bool visualise)
    {
        Tavik::Box::SetSleepFunction([](unsigned) {});
        FTD2xx::SimulatorConfig config;
        config.boxes = 1;
        config.encoder.rpm = 120; // every tick shows a new position
        provider = std::make_shared<FTD2xx::SimulatorProvider>(config, clock);
        FTD2xx::Proxy::SetProviders({provider});
        ini.OpenEmpty();
        dlg = std::make_unique<CTavikDlg>(nullptr, &ini);
        dlg->show();
        dlg->Item<QAbstractButton>(IDC_BT_CONNECT)->click();
        dlg->Item<QAbstractButton>(IDC_BT_POWER)->click();
        if (visualise)
        {
            dlg->OnVisualize(IDM_VISUALIZE_ANGLE);
            dlg->OnVisualize(IDM_VISUALIZE_DIGITAL);
        }
        dlg->OnContinuousSample();
        QApplication::processEvents();
    }
    ~SimulatedDialog()
    {
        dlg.reset();
        FTD2xx::Proxy::UseDefaultProviders();
        Tavik::Box::SetSleepFunction({});
    }

    // CPU seconds of one tick and the paints it causes.
    double Tick()
    {
        clock.Advance(std::chrono::milliseconds(50));
        const double start = ThreadSeconds();
        dlg->OnTimer();
        QApplication::processEvents();
        return ThreadSeconds() - start;
    }

    FTD2xx::ManualClock clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> provider;
    zef::IniFile ini;
    std::unique_ptr<CTavikDlg> dlg;
};

double g_TickAloneSeconds = 0; // the baseline, measured first in the same run

void BM_TickAlone(benchmark::State& state)
{
    SimulatedDialog sim(false);
    double seconds = 0;
    for (auto _ : state)
        seconds += sim.Tick();
    g_TickAloneSeconds = seconds / double(state.iterations());
    state.counters["tick_cpu_us"] = g_TickAloneSeconds * 1e6;
    state.counters["share_of_50ms_pct"] = g_TickAloneSeconds / 0.050 * 100.0;
}
BENCHMARK(BM_TickAlone)->Iterations(300)->Unit(benchmark::kMicrosecond);

void BM_TickWithBothWindows(benchmark::State& state)
{
    SimulatedDialog sim(true);
    double seconds = 0;
    for (auto _ : state)
        seconds += sim.Tick();
    const double perTick = seconds / double(state.iterations());
    state.counters["tick_cpu_us"] = perTick * 1e6;
    state.counters["share_of_50ms_pct"] = perTick / 0.050 * 100.0;
    if (g_TickAloneSeconds > 0)
        state.counters["ratio_to_tick_alone"] = perTick / g_TickAloneSeconds;
}
BENCHMARK(BM_TickWithBothWindows)->Iterations(300)->Unit(benchmark::kMicrosecond);

template <class Window> void FullRepaint(benchmark::State& state)
{
    zef::IniFile ini;
    ini.OpenEmpty();
    Window window(&ini);
    window.show();
    window.resize(1920, 1080);
    QApplication::processEvents();
    double seconds = 0;
    double grabSeconds = 0;
    for (auto _ : state)
    {
        double start = ThreadSeconds();
        window.repaint();
        seconds += ThreadSeconds() - start;
        start = ThreadSeconds();
        benchmark::DoNotOptimize(window.grab());
        grabSeconds += ThreadSeconds() - start;
    }
    state.counters["width"] = window.width();
    state.counters["height"] = window.height();
    state.counters["repaint_cpu_ms"] = seconds / double(state.iterations()) * 1e3;
    state.counters["grab_cpu_ms"] = grabSeconds / double(state.iterations()) * 1e3;
}

void BM_AngleWindowRepaint1080p(benchmark::State& state)
{
    FullRepaint<VisualizeAngleDlg>(state);
}
BENCHMARK(BM_AngleWindowRepaint1080p)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_SegmentWindowRepaint1080p(benchmark::State& state)
{
    FullRepaint<VisualizeSegmentDlg>(state);
}
BENCHMARK(BM_SegmentWindowRepaint1080p)->Iterations(50)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    CTavikApp app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
