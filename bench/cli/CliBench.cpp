// tavik-cli's files and its streaming, each as a ratio against a baseline in the same run:
//   BM_StreamCpuShare  `batch` at the box's top rate (8 MHz, 1 data bit, 10 us) on a simulated
//                      box in real time: CPU time over streaming time (target <= 0.05), and
//                      every reading in the file. The simulator runs in the same process, so
//                      its share is included. TAVIK_BENCH_READINGS sets the count (default
//                      1,000,000, 10 s; the full 16,777,214 take 168 s).
//   BM_WriteCsv        16,777,214 readings as CSV against writing the same bytes pre-formatted
//                      (blocks, flushed to the disk; target <= 2).
//   BM_WriteH5         as HDF5 against a plain fwrite of the 64 MiB, flushed (target <= 2).
//   BM_CheckCsv        reading and checking the CSV file against reading its bytes
//                      (target <= 3).
#include "app/cli/Cli.h"
#include "app/core/BatchFile.h"
#include "app/core/CodeTester.h"
#include "app/core/CsvFile.h"
#include "app/core/H5File.h"
#include "link/Proxy.h"
#include "link/SimulatorConfig.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace App;
namespace fs = std::filesystem;

namespace
{
constexpr unsigned kBatch = 16777214;
using WallClock = std::chrono::steady_clock;

double Seconds(WallClock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

fs::path Scratch()
{
    fs::path folder = fs::absolute("bench_cli-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

std::vector<unsigned> Readings()
{
    std::vector<unsigned> readings(kBatch);
    for (std::size_t i = 0; i < readings.size(); ++i)
        readings[i] = unsigned(i * 3 / 2) & 0x1FFFFFFu;
    return readings;
}

RunSettings Settings()
{
    RunSettings s;
    s.serial = "SIM00001";
    s.description = "Tavik box (simulated)";
    s.mode = "SSI_Binary";
    s.clockHz = 1000000;
    s.stBits = 13;
    s.mtBits = 12;
    s.dataMask = s.grayMask = 0x1FFFFFF;
    s.delayUs = 50;
    s.sampleCount = kBatch;
    s.start = "2026-12-09T06:00:00+00:00";
    s.program = "bench";
    return s;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes in blocks of a megabyte and flushes to the disk, as the savers do.
bool WriteFlushed(const std::string& path, const char* bytes, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::setvbuf(file, nullptr, _IONBF, 0);
    bool ok = true;
    for (std::size_t at = 0; ok && at < size; at += std::size_t(1) << 20)
    {
        const std::size_t n = std::min(size - at, std::size_t(1) << 20);
        ok = std::fwrite(bytes + at, 1, n, file) == n;
    }
    ok = ok && std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    return std::fclose(file) == 0 && ok;
}

// Times `save` against `baseline`, taking turns going first so that neither always meets the
// other's writeback.
void Compare(benchmark::State& state, const std::function<bool()>& save,
             const std::function<bool()>& baseline, const char* name)
{
    double a = 0, b = 0;
    bool saveFirst = false;
    for (auto _ : state)
    {
        bool ok = true;
        for (int turn = 0; turn < 2; ++turn)
        {
            const auto t0 = WallClock::now();
            const bool first = (turn == 0) == saveFirst;
            ok = ok && (first ? save() : baseline());
            (first ? a : b) += Seconds(WallClock::now() - t0);
        }
        saveFirst = !saveFirst;
        if (!ok)
        {
            state.SkipWithError("write failed");
            return;
        }
    }
    const double n = double(state.iterations());
    state.counters["file_ms"] = a * 1e3 / n;
    state.counters["baseline_ms"] = b * 1e3 / n;
    state.counters[name] = a / b;
}

void BM_WriteCsv(benchmark::State& state)
{
    const std::vector<unsigned> readings = Readings();
    const fs::path folder = Scratch();
    const std::string csv = (folder / "run.csv").string();
    const std::string plain = (folder / "plain.csv").string();
    if (CsvFile::Write(csv, readings, Settings(), false) != BatchFile::BATCH_FILE_OK)
        return state.SkipWithError("cannot write");
    const std::string bytes = FileBytes(csv);
    Compare(
        state,
        [&]
        { return CsvFile::Write(csv, readings, Settings(), false) == BatchFile::BATCH_FILE_OK; },
        [&] { return WriteFlushed(plain, bytes.data(), bytes.size()); }, "csv_over_preformatted");
    fs::remove_all(folder);
}
BENCHMARK(BM_WriteCsv)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_WriteH5(benchmark::State& state)
{
    const std::vector<unsigned> readings = Readings();
    const fs::path folder = Scratch();
    const std::string h5 = (folder / "run.h5").string();
    const std::string plain = (folder / "plain.bin").string();
    Compare(
        state,
        [&] { return H5File::Write(h5, readings, Settings(), false) == BatchFile::BATCH_FILE_OK; },
        [&]
        {
            return WriteFlushed(plain, reinterpret_cast<const char*>(readings.data()),
                                readings.size() * sizeof(unsigned));
        },
        "h5_over_fwrite");
    fs::remove_all(folder);
}
BENCHMARK(BM_WriteH5)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_CheckCsv(benchmark::State& state)
{
    const fs::path folder = Scratch();
    const std::string csv = (folder / "run.csv").string();
    if (CsvFile::Write(csv, Readings(), Settings(), false) != BatchFile::BATCH_FILE_OK)
        return state.SkipWithError("cannot write");
    double check = 0, read = 0;
    for (auto _ : state)
    {
        auto t0 = WallClock::now();
        std::string text, error;
        if (!BatchFile::ReadText(csv, text, error))
            return state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(text.data());
        read += Seconds(WallClock::now() - t0);

        t0 = WallClock::now();
        CsvFile::Contents contents;
        if (!CsvFile::Read(csv, contents, error))
            return state.SkipWithError(error.c_str());
        CodeTester::Config config;
        config.m_StBits = contents.settings.stBits;
        config.m_MtBits = contents.settings.mtBits;
        config.m_StStepSize = 2;
        CodeTester tester(config);
        tester.Test(contents.data.readings);
        benchmark::DoNotOptimize(tester.GetResult().GetErrorCount());
        check += Seconds(WallClock::now() - t0);
    }
    const double n = double(state.iterations());
    state.counters["check_ms"] = check * 1e3 / n;
    state.counters["read_bytes_ms"] = read * 1e3 / n;
    state.counters["check_over_read"] = check / read;
    fs::remove_all(folder);
}
BENCHMARK(BM_CheckCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

int Cli(const std::vector<std::string>& args, std::ostream& out)
{
    CliEnvironment env{out, out, "bench_cli.ini", [](unsigned ms) {
                           std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                       }};
    return RunCli(args, env);
}

void BM_StreamCpuShare(benchmark::State& state)
{
    const char* wanted = std::getenv("TAVIK_BENCH_READINGS");
    const unsigned count = wanted ? unsigned(std::strtoul(wanted, nullptr, 10)) : 1000000u;
    FTD2xx::SimulatorConfig simulator;
    simulator.boxes = 1;
    FTD2xx::Proxy::UseDefaultProviders(simulator);
    const fs::path folder = Scratch();
    const std::string path = (folder / "stream.log").string();
    std::ostringstream log;
    if (Cli({"--simulate", "-q", "set", "--power", "5v", "--clock", "8000000", "--st", "1", "--mt",
             "0"},
            log) != EXIT_OK)
        return state.SkipWithError(("set failed: " + log.str()).c_str());
    for (auto _ : state)
    {
        const double cpu0 = CpuSeconds();
        const auto t0 = WallClock::now();
        const int code = Cli({"--simulate", "-q", "batch", "--count", std::to_string(count),
                              "--delay", "10", "--st-step", "99", "-o", path},
                             log);
        const double wall = Seconds(WallClock::now() - t0);
        const double cpu = CpuSeconds() - cpu0;
        std::ifstream file(path);
        const auto lines = std::count(std::istreambuf_iterator<char>(file), {}, '\n');
        if (code != EXIT_OK && code != EXIT_FOUND)
            return state.SkipWithError(("batch failed: " + log.str()).c_str());
        state.counters["readings"] = double(count);
        state.counters["lost"] = double(count) - double(lines - 1);
        state.counters["wall_s"] = wall;
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_share"] = cpu / wall;
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_StreamCpuShare)->Unit(benchmark::kSecond)->Iterations(1);
} // namespace

BENCHMARK_MAIN();
