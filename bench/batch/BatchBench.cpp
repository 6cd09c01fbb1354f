// The largest batch the box takes (16,777,214 readings), through the batch recording's own
// collection path on a simulated box in virtual time:
//   BM_MaximalRun   lossless (complete, in order, nothing doubled), and M1: the peak memory of
//                   run, check and save above the memory before the run, as a ratio to the
//                   64 MiB buffer (target <= 1.2); also the check (Run::Check: code tester and
//                   run analysis) against one plain pass over the same buffer in the same run
//                   (check_over_plain, target <= 3), and each of its two parts alone.
//   BM_SaveBuffer   P2: "Save Buffer" against writing the same bytes, pre-formatted, to the same
//                   folder in the same way (blocks, flushed to the disk; target <= 2).
#include "app/core/BatchFile.h"
#include "app/core/BatchRun.h"
#include "app/core/CodeTester.h"
#include "app/core/HistorySink.h"
#include "app/core/Run.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/SimulatorProvider.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace App;
namespace fs = std::filesystem;
using Tavik::Box;

namespace
{
constexpr unsigned kBatch = 16777214;
constexpr double kBufferBytes = double(kBatch) * sizeof(unsigned);
using WallClock = std::chrono::steady_clock;

double Seconds(WallClock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
double StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(key.size())) * 1024.0;
    return 0;
}

// Sets the peak (VmHWM) back to the memory in use now.
bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

// Counts what the history receives, without keeping 16 million texts.
class CountingSink : public HistorySink
{
public:
    std::size_t lines = 0;

protected:
    void AddEntries(const std::vector<std::string>& entries, Kind) override
    {
        lines += entries.size();
    }
};

fs::path Scratch()
{
    fs::path folder = fs::absolute("bench_batch-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

void BM_MaximalRun(benchmark::State& state)
{
    // A 25-bit encoder that moves 1.5 counts per reading at 8 MHz and 10 us: consecutive
    // readings differ by 1 or 2 as long as none is lost or doubled, and 16.7 million readings
    // stay below the encoder's wrap.
    const double periodUs = 26 * 0.125 + 10;
    FTD2xx::SimulatorConfig config;
    config.boxes = 1;
    config.encoder.stBits = 25;
    config.encoder.mtBits = 0;
    config.encoder.rpm = 1.5 / (periodUs * 1e-6) / double(1u << 25) * 60.0;
    FTD2xx::ManualClock clock;
    FTD2xx::Proxy::SetProviders({std::make_shared<FTD2xx::SimulatorProvider>(config, clock)});
    Box::SetSleepFunction([&clock](unsigned ms) { clock.Advance(std::chrono::milliseconds(ms)); });
    const fs::path folder = Scratch();

    for (auto _ : state)
    {
        Box box;
        Tavik::SampleParameter p;
        if (box.Open(0) != Box::OK || box.SetPowerMode(Box::PWR_INTERNAL) != Box::OK ||
            box.GetSampleParameter(p) != Box::OK)
        {
            state.SkipWithError("simulated box not ready");
            break;
        }
        p.SetFrequence(8000000);
        p.SetDataBits(25);
        box.SetSampleParameter(p);

        CountingSink sink;
        BatchRun run(box, sink, 25, 0, false);
        run.Open();
        BatchSettings settings;
        settings.delayUs = 10;
        settings.count = kBatch;
        settings.check.stStep = 2;
        settings.check.mtMonotony = MONO_NO_TEST;

        const bool peakReset = ResetPeak();
        const double before = StatusBytes("VmRSS");
        const auto t0 = WallClock::now();
        run.Start(settings);
        std::size_t polls = 0;
        while (run.GetState() == BatchRun::BATCH_SAMPLING)
        {
            clock.Advance(std::chrono::milliseconds(300));
            run.Poll();
            ++polls;
        }
        const auto t1 = WallClock::now();
        const bool saved = run.Save((folder / "SSIBatch.log").string()) == BatchFile::BATCH_FILE_OK;
        const double peak = StatusBytes("VmHWM");

        const std::span<const unsigned> buffer = run.GetBuffer();
        bool lossless = buffer.size() == kBatch;
        for (std::size_t i = 1; lossless && i < buffer.size(); ++i)
            lossless = buffer[i] - buffer[i - 1] == 1 || buffer[i] - buffer[i - 1] == 2;

        // The check the run made, timed again, against one plain pass over the same buffer,
        // and its two parts alone.
        const Run recorded = run.GetRun();
        double check = 1e9, plain = 1e9, tester = 1e9, analysis = 1e9;
        for (int k = 0; k < 10; ++k)
        {
            const auto c0 = WallClock::now();
            run.Check();
            const auto c1 = WallClock::now();
            std::uint64_t sum = 0;
            for (unsigned r : buffer)
                sum += r;
            benchmark::DoNotOptimize(sum);
            const auto c2 = WallClock::now();
            CodeTester codeTester(recorded.GetTesterConfig(settings.check));
            benchmark::DoNotOptimize(codeTester.Test(buffer));
            const auto c3 = WallClock::now();
            benchmark::DoNotOptimize(recorded.Analyse().readings);
            const auto c4 = WallClock::now();
            check = std::min(check, Seconds(c1 - c0));
            plain = std::min(plain, Seconds(c2 - c1));
            tester = std::min(tester, Seconds(c3 - c2));
            analysis = std::min(analysis, Seconds(c4 - c3));
        }
        if (!lossless || !saved || !run.GetResult().Passed() || !peakReset)
            state.SkipWithError("run lost, doubled or failed to save or check");

        state.counters["readings"] = double(buffer.size());
        state.counters["lossless"] = lossless ? 1 : 0;
        state.counters["polls"] = double(polls);
        state.counters["collect_s"] = Seconds(t1 - t0);
        state.counters["peak_over_buffer"] = (peak - before) / kBufferBytes;
        state.counters["check_ms"] = check * 1e3;
        state.counters["plain_pass_ms"] = plain * 1e3;
        state.counters["check_over_plain"] = check / plain;
        state.counters["tester_over_plain"] = tester / plain;
        state.counters["analysis_over_plain"] = analysis / plain;
    }
    fs::remove_all(folder);
    Box::SetSleepFunction({});
    FTD2xx::Proxy::UseDefaultProviders();
}
BENCHMARK(BM_MaximalRun)->Unit(benchmark::kSecond)->Iterations(1);

// Writes `bytes` as the saver does, but without formatting: blocks of a megabyte, flushed
// to the disk, closed.
bool WritePreformatted(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::setvbuf(file, nullptr, _IONBF, 0);
    bool ok = true;
    for (std::size_t at = 0; ok && at < bytes.size(); at += std::size_t(1) << 20)
    {
        const std::size_t n = std::min(bytes.size() - at, std::size_t(1) << 20);
        ok = std::fwrite(bytes.data() + at, 1, n, file) == n;
    }
    ok = ok && std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    return std::fclose(file) == 0 && ok;
}

void BM_SaveBuffer(benchmark::State& state)
{
    std::vector<unsigned> readings(kBatch);
    for (std::size_t i = 0; i < readings.size(); ++i)
        readings[i] = unsigned(i * 3 / 2) & 0x1FFFFFFu;
    const fs::path folder = Scratch();
    const std::string saved = (folder / "SSIBatch.log").string();
    const std::string baseline = (folder / "baseline.log").string();
    if (BatchFile::Write(saved, readings, 4095, false) != BatchFile::BATCH_FILE_OK ||
        !WritePreformatted(baseline, std::string(1, 'x')))
    {
        state.SkipWithError("cannot save");
        return;
    }
    std::string bytes;
    {
        std::ifstream in(saved, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        bytes = text.str();
    }

    // Both replace a file of the same size; they take turns going first, so that neither
    // always meets the other's writeback.
    double save = 0, write = 0;
    bool saveFirst = false;
    for (auto _ : state)
    {
        bool ok = true;
        for (int turn = 0; turn < 2; ++turn)
        {
            const auto t0 = WallClock::now();
            if ((turn == 0) == saveFirst)
            {
                ok = ok &&
                     BatchFile::Write(saved, readings, 4095, false) == BatchFile::BATCH_FILE_OK;
                save += Seconds(WallClock::now() - t0);
            }
            else
            {
                ok = ok && WritePreformatted(baseline, bytes);
                write += Seconds(WallClock::now() - t0);
            }
        }
        saveFirst = !saveFirst;
        if (!ok)
        {
            state.SkipWithError("write failed");
            break;
        }
    }
    const double n = double(state.iterations());
    state.counters["file_MB"] = double(bytes.size()) / 1e6;
    state.counters["save_ms"] = save * 1e3 / n;
    state.counters["preformatted_ms"] = write * 1e3 / n;
    state.counters["save_over_preformatted"] = save / write;
    fs::remove_all(folder);
}
BENCHMARK(BM_SaveBuffer)->Unit(benchmark::kMillisecond)->Iterations(4);
} // namespace

BENCHMARK_MAIN();
