// The live view at the box's top rate (a reading every 10 us: 100,000 a second) with a ring
// of 60 s (6,000,000 readings), full and wrapped. Figures as shares and ratios measured in
// this run:
// - appending one second of readings, in the chunks a 30 Hz timer drains, as a share of one
//   core: the ring with its pyramid alone, and the whole session (speed, drag values, the run
//   analysis' events);
// - a repaint of the strip chart over the whole 60 s at 1920 x 600, each after a new chunk so
//   that it rolls, in ms of CPU and as a ratio to one plain pass over the ring;
// - the memory: the session's bytes and the process's resident growth against the ring's
//   readings alone (4 bytes each).
#include "app/LiveChart.h"
#include "app/core/HistorySink.h"
#include "app/core/LiveView.h"
#include "driver/Box.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

using namespace App;

namespace
{

constexpr unsigned kDelayUs = 10;
constexpr std::size_t kPerSecond = 1000000 / kDelayUs;
constexpr std::size_t kChunk = kPerSecond / 30; // one repaint tick's readings
constexpr int kWidth = 1920;
constexpr int kHeight = 600;

double ThreadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
}

std::size_t ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return std::size_t(resident) * 4096;
}

// A turning 13 + 12 bit encoder (60 rpm: 8,192 counts a second) with a spike now and then.
struct Encoder
{
    std::size_t next = 0;
    std::mt19937 rng{5};
    void Fill(std::vector<unsigned>& out, std::size_t n)
    {
        out.resize(n);
        for (unsigned& r : out)
        {
            r = unsigned(next * 8192 / kPerSecond) & 0x1FFFFFF;
            if (rng() % 200000 == 0)
                r ^= 0x1000000;
            ++next;
        }
    }
};

struct Session
{
    Tavik::Box box;
    VectorSink sink;
    LiveView view{box, sink};
    Encoder encoder;
    std::vector<unsigned> chunk;
    std::size_t residentGrowth = 0;

    Session()
    {
        const std::size_t before = ResidentBytes();
        LiveView::Settings settings;
        settings.seconds = 60;
        view.Prepare(settings, kDelayUs);
        // Full and wrapped once, fed as the timer would.
        while (view.Ring()->Total() < view.Ring()->Capacity() + kPerSecond)
            Feed();
        residentGrowth = ResidentBytes() - before;
    }
    void Feed()
    {
        encoder.Fill(chunk, kChunk);
        view.Feed(chunk);
    }
};

Session& Live()
{
    static Session session;
    return session;
}

double g_plainPassNs = 0;

void BM_PlainPass(benchmark::State& state)
{
    const LiveRing& ring = *Live().view.Ring();
    std::vector<unsigned> copy;
    ring.Copy(ring.First(), ring.Total(), copy);
    const double start = ThreadCpuNs();
    for (auto _ : state)
    {
        unsigned long long sum = 0;
        for (const unsigned r : copy)
            sum += r;
        benchmark::DoNotOptimize(sum);
    }
    g_plainPassNs = (ThreadCpuNs() - start) / double(state.iterations());
    state.counters["cpu_ms"] = g_plainPassNs / 1e6;
}

// range(0) 0: the ring and its pyramid alone; 1: the whole session.
void BM_AppendOneSecond(benchmark::State& state)
{
    Session& live = Live();
    // The ring alone: one of the same size, full and wrapped as the session's.
    LiveRing ring(live.view.Ring()->Capacity(), live.view.BitsOf(LiveView::PART_WHOLE));
    std::vector<unsigned> fill;
    live.encoder.Fill(fill, ring.Capacity() + kPerSecond);
    ring.Append(fill);
    std::vector<std::vector<unsigned>> chunks(30);
    double cpu = 0;
    for (auto _ : state)
    {
        for (auto& c : chunks)
            live.encoder.Fill(c, kChunk);
        const double start = ThreadCpuNs();
        for (const auto& c : chunks)
        {
            if (state.range(0) == 0)
                ring.Append(c);
            else
                live.view.Feed(c);
        }
        cpu += ThreadCpuNs() - start;
    }
    const double perSecond = cpu / double(state.iterations());
    state.counters["cpu_ms_per_s"] = perSecond / 1e6;
    state.counters["share_of_core_pct"] = 100.0 * perSecond / 1e9;
}

void BM_RepaintWholeRing(benchmark::State& state)
{
    Session& live = Live();
    LiveChart chart(live.view);
    chart.resize(kWidth, kHeight);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    double cpu = 0;
    for (auto _ : state)
    {
        live.Feed(); // the view rolls on: every repaint queries its columns anew
        const double start = ThreadCpuNs();
        QPainter painter(&image);
        chart.Paint(painter);
        painter.end();
        cpu += ThreadCpuNs() - start;
    }
    const double perPaint = cpu / double(state.iterations());
    state.counters["cpu_ms"] = perPaint / 1e6;
    state.counters["vs_4ms_target"] = perPaint / 4e6;
    if (g_plainPassNs > 0)
        state.counters["vs_plain_pass"] = perPaint / g_plainPassNs;
}

void BM_Memory(benchmark::State& state)
{
    Session& live = Live();
    for (auto _ : state)
        benchmark::DoNotOptimize(live.view.Ring()->Bytes());
    const LiveView& v = live.view;
    const double buffer = double(v.Ring()->Capacity() * sizeof(unsigned));
    const double session = double(v.Ring()->Bytes()) +
                           double(v.Speeds().size() * sizeof(LiveView::SpeedPoint)) +
                           double(v.Events().size() * sizeof(LiveView::Event));
    state.counters["ring_MB"] = buffer / 1e6;
    state.counters["session_vs_buffer"] = session / buffer;
    state.counters["resident_growth_vs_buffer"] = double(live.residentGrowth) / buffer;
}

} // namespace

BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendOneSecond)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintWholeRing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory)->Iterations(1);

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Live(); // filled before any timing
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
