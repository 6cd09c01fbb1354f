// Speed of the run analysis on a full batch, as a ratio to one plain pass over the same
// buffer, timed alternately in each iteration so that both see the same machine load.
#include "app/core/RunAnalysis.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <vector>

using namespace App;

namespace
{
constexpr std::size_t kBatch = 16777214; // largest batch the box takes

// 13 ST and 12 MT bits ascending by `step` counts per reading, with a spike every 100,000
// readings, so that the pass also keeps events.
std::vector<unsigned> MakeRun(unsigned step)
{
    std::vector<unsigned> r(kBatch);
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = unsigned(i * step + 1000) & 0x1FFFFFFu;
    for (std::size_t i = 50000; i < r.size(); i += 100000)
        r[i] ^= 0x1000000u;
    return r;
}

std::uint64_t PlainPass(const std::vector<unsigned>& readings)
{
    std::uint64_t sum = 0;
    for (unsigned r : readings)
        sum += r;
    return sum;
}

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void AgainstPlainPass(benchmark::State& state, unsigned step, bool gray)
{
    std::vector<unsigned> run = MakeRun(step);
    if (gray)
        for (unsigned& r : run)
            r ^= r >> 1;
    AnalysisConfig config;
    config.stBits = 13;
    config.mtBits = 12;
    config.gray = gray;
    config.delayUs = 10;
    double plain = 0, analysed = 0;
    for (auto _ : state)
    {
        const double c0 = ThreadSeconds();
        benchmark::DoNotOptimize(PlainPass(run));
        const double c1 = ThreadSeconds();
        const Analysis a = AnalyseRun(run, config);
        const double c2 = ThreadSeconds();
        plain += c1 - c0;
        analysed += c2 - c1;
        if (a.classes[EVENT_SPIKE].count != kBatch / 100000 + 1)
        {
            state.SkipWithError("the spikes were not found");
            break;
        }
    }
    const double n = double(state.iterations());
    state.counters["plain_cpu_ms"] = plain * 1e3 / n;
    state.counters["analysis_cpu_ms"] = analysed * 1e3 / n;
    state.counters["ratio_cpu"] = analysed / plain;
}

// Every reading a new value: the pass's worst case.
void BM_OneCountPerReading(benchmark::State& state)
{
    AgainstPlainPass(state, 1, false);
}
BENCHMARK(BM_OneCountPerReading)->Unit(benchmark::kMillisecond);

void BM_OneCountPerReadingGray(benchmark::State& state)
{
    AgainstPlainPass(state, 1, true);
}
BENCHMARK(BM_OneCountPerReadingGray)->Unit(benchmark::kMillisecond);

// A fast encoder: every reading several counts on.
void BM_SevenCountsPerReading(benchmark::State& state)
{
    AgainstPlainPass(state, 7, false);
}
BENCHMARK(BM_SevenCountsPerReading)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
