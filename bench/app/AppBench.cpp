// Speed of the main dialog's hot paths, against the simulator on a manual clock:
//  - one continuous-sampling tick (read from the box, split, repaint labels and lamps) as a
//    share of the 50 ms period;
//  - AddHistory on a list that already holds 1,000,000 lines against an empty list.
#include "app/HistoryList.h"
#include "app/Resource.h"
#include "app/TavikApp.h"
#include "app/TavikDlg.h"
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
    SimulatedDialog()
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
        dlg->OnContinuousSample();
        QApplication::processEvents();
    }
    ~SimulatedDialog()
    {
        dlg.reset();
        FTD2xx::Proxy::UseDefaultProviders();
        Tavik::Box::SetSleepFunction({});
    }

    FTD2xx::ManualClock clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> provider;
    zef::IniFile ini;
    std::unique_ptr<CTavikDlg> dlg;
};

void BM_ContinuousTick(benchmark::State& state)
{
    SimulatedDialog sim;
    double seconds = 0;
    for (auto _ : state)
    {
        sim.clock.Advance(std::chrono::milliseconds(50));
        const double start = ThreadSeconds();
        sim.dlg->OnTimer();
        QApplication::processEvents(); // paints the labels and lamps that changed
        seconds += ThreadSeconds() - start;
    }
    const double perTick = seconds / double(state.iterations());
    state.counters["tick_cpu_us"] = perTick * 1e6;
    state.counters["share_of_50ms_pct"] = perTick / 0.050 * 100.0;
}
BENCHMARK(BM_ContinuousTick)->Iterations(400)->Unit(benchmark::kMicrosecond);

double TimeAdds(CHistoryList& list, int count)
{
    const double start = ThreadSeconds();
    for (int i = 0; i < count; ++i)
        AddErrorLine(list, "Error while sampling.\nTIMEOUT");
    QApplication::processEvents();
    return ThreadSeconds() - start;
}

void BM_AddHistoryFullVersusEmpty(benchmark::State& state)
{
    CHistoryList full;
    full.resize(600, 200);
    full.show();
    for (int i = 0; i < 500000; ++i)
        AddErrorLine(full, "Error while sampling.\nTIMEOUT"); // two lines each
    QApplication::processEvents();
    double fullSeconds = 0;
    double emptySeconds = 0;
    constexpr int batch = 500;
    for (auto _ : state)
    {
        CHistoryList empty;
        empty.resize(600, 200);
        empty.show();
        QApplication::processEvents();
        emptySeconds += TimeAdds(empty, batch);
        fullSeconds += TimeAdds(full, batch);
    }
    const double adds = double(state.iterations()) * batch;
    state.counters["empty_cpu_us_per_add"] = emptySeconds / adds * 1e6;
    state.counters["full_cpu_us_per_add"] = fullSeconds / adds * 1e6;
    state.counters["ratio_full_to_empty"] = fullSeconds / emptySeconds;
    state.counters["lines_in_full_list"] = full.GetCount();
}
BENCHMARK(BM_AddHistoryFullVersusEmpty)->Iterations(20)->Unit(benchmark::kMillisecond);
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
