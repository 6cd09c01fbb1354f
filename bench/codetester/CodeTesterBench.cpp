// Speed of the code tester on a full batch, as a ratio to one plain pass over the same buffer,
// and the memory a run full of errors keeps.
#include "app/core/CodeTester.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <vector>

using namespace App;

namespace
{
constexpr std::size_t kBatch = 16777214; // largest batch the box takes

CodeTester::Config MakeConfig(MONOTONY mode)
{
    CodeTester::Config config;
    config.m_StBits = 13;
    config.m_MtBits = 12;
    config.m_StMonotony = mode;
    config.m_MtMonotony = mode;
    return config;
}

// A clean ascending run, one count per reading, crossing 2048 ST wraps.
const std::vector<unsigned int>& CleanRun()
{
    static const std::vector<unsigned int> run = []
    {
        std::vector<unsigned int> r(kBatch);
        for (std::size_t i = 0; i < r.size(); ++i)
        {
            r[i] = unsigned(i + 1000) & 0x1FFFFFFu;
        }
        return r;
    }();
    return run;
}

// Every reading steps one count back: two ST errors per reading, two MT errors per ST wrap.
const std::vector<unsigned int>& BackwardRun()
{
    static const std::vector<unsigned int> run = []
    {
        std::vector<unsigned int> r(kBatch);
        for (std::size_t i = 0; i < r.size(); ++i)
        {
            r[i] = unsigned(kBatch - i) & 0x1FFFFFFu;
        }
        return r;
    }();
    return run;
}

std::uint64_t PlainPass(const std::vector<unsigned int>& readings)
{
    std::uint64_t sum = 0;
    for (unsigned int r : readings)
    {
        sum += r;
    }
    return sum;
}

void BM_PlainPass(benchmark::State& state)
{
    const auto& run = CleanRun();
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(PlainPass(run));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(run.size()));
}
BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);

// CPU time of this thread: on a shared machine it leaves out the time spent waiting.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Times the plain pass and the tester alternately in each iteration, so both see the same
// machine load, and reports their ratio in thread CPU time and in wall time.
void CleanRunAgainstPlainPass(benchmark::State& state, MONOTONY mode, bool blockScan)
{
    using Clock = std::chrono::steady_clock;
    const auto& run = CleanRun();
    CodeTester tester(MakeConfig(mode));
    tester.SetBlockScan(blockScan);
    Clock::duration plain{}, tested{};
    double plainCpu = 0, testedCpu = 0;
    for (auto _ : state)
    {
        const double c0 = ThreadSeconds();
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(PlainPass(run));
        const auto t1 = Clock::now();
        const double c1 = ThreadSeconds();
        const bool passed = tester.Test(run);
        const auto t2 = Clock::now();
        const double c2 = ThreadSeconds();
        plainCpu += c1 - c0;
        testedCpu += c2 - c1;
        benchmark::DoNotOptimize(passed);
        if (!passed || tester.GetResult().m_StTurns != kBatch / 8192)
        {
            state.SkipWithError("clean run not passed");
            break;
        }
        plain += t1 - t0;
        tested += t2 - t1;
    }
    const double n = double(state.iterations());
    state.counters["plain_cpu_ms"] = plainCpu * 1e3 / n;
    state.counters["tester_cpu_ms"] = testedCpu * 1e3 / n;
    state.counters["ratio_cpu"] = testedCpu / plainCpu;
    state.counters["ratio_wall"] = double(tested.count()) / double(plain.count());
}

void BM_CleanAscending(benchmark::State& state)
{
    CleanRunAgainstPlainPass(state, MONO_ASC, true);
}
BENCHMARK(BM_CleanAscending)->Unit(benchmark::kMillisecond);

void BM_CleanAutodetect(benchmark::State& state)
{
    CleanRunAgainstPlainPass(state, MONO_AUTODETECT, true);
}
BENCHMARK(BM_CleanAutodetect)->Unit(benchmark::kMillisecond);

void BM_CleanAscendingReadingByReading(benchmark::State& state)
{
    CleanRunAgainstPlainPass(state, MONO_ASC, false);
}
BENCHMARK(BM_CleanAscendingReadingByReading)->Unit(benchmark::kMillisecond);

// Limit far above what the dialog allows: every error is counted, the messages stay bounded.
void BM_FullOfErrors(benchmark::State& state)
{
    const auto& run = BackwardRun();
    CodeTester::Config config = MakeConfig(MONO_ASC);
    config.m_ErrorLimit = UINT_MAX;
    CodeTester tester(config);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(tester.Test(run));
    }
    const CodeTester::Result& result = tester.GetResult();
    std::size_t bytes = 0;
    for (const std::string& m : result.m_Messages)
    {
        bytes += m.capacity() + sizeof m;
    }
    state.counters["errors"] = double(result.GetErrorCount());
    state.counters["messages"] = double(result.m_Messages.size());
    state.counters["message_bytes"] = double(bytes);
}
BENCHMARK(BM_FullOfErrors)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
