// Receive path of the USB link: bytes pushed by the reader thread until the program takes
// them as readings, the way Box::GetNextSamples does. Figures are given against the box's
// top rate (8 MHz, 1 data bit, 10 us delay: about 100,000 readings or 400 KB per second)
// and against a plain copy of the same bytes measured in the same run.

#include "driver/Box.h"
#include "link/Backend.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/ReceiveQueue.h"
#include "link/SimulatedBox.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <thread>

using namespace FTD2xx;

namespace
{

constexpr double kTopRateBytesPerSecond = 4.0 * 1e9 / 10250.0; // one reading per 10.25 us
constexpr std::size_t kChunk = 496;                            // 8 full-speed packets
constexpr std::size_t kVolume = std::size_t{32} << 20;         // per iteration

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Hands out chunks as fast as asked, or paced to a rate in real time, and keeps the
// CPU time of the thread that calls it (the reader).
class ChunkSource : public ByteSource
{
public:
    explicit ChunkSource(double bytesPerSecond = 0) : m_Rate(bytesPerSecond)
    {
        for (std::size_t i = 0; i < sizeof m_Pattern; ++i)
            m_Pattern[i] = static_cast<unsigned char>(i);
    }

    int ReadSome(unsigned char* buffer, std::size_t capacity, std::size_t& received) override
    {
        const double cpu = ThreadCpuSeconds();
        if (m_FirstCpu < 0)
            m_FirstCpu = cpu;
        m_LastCpu = cpu;
        received = 0;
        if (m_Remaining <= 0)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // an idle chip
            return STATUS_OK;
        }
        if (m_Rate > 0)
        {
            // Like the chip: a packet once enough bytes came in.
            m_Due += std::chrono::nanoseconds(static_cast<long long>(kChunk / m_Rate * 1e9));
            std::this_thread::sleep_until(m_Due);
        }
        received = std::min({capacity, kChunk, static_cast<std::size_t>(m_Remaining.load())});
        std::memcpy(buffer, m_Pattern, received);
        m_Remaining -= static_cast<long long>(received);
        return STATUS_OK;
    }
    int Flush() override { return STATUS_OK; }

    void Arm(std::size_t bytes)
    {
        m_Due = std::chrono::steady_clock::now();
        m_Remaining = static_cast<long long>(bytes);
    }
    double ReaderCpuSeconds() const { return m_LastCpu - m_FirstCpu; }
    void ResetCpu() { m_FirstCpu = -1; }

private:
    double m_Rate;
    unsigned char m_Pattern[kChunk];
    std::atomic<long long> m_Remaining{0};
    std::chrono::steady_clock::time_point m_Due;
    std::atomic<double> m_FirstCpu{-1};
    std::atomic<double> m_LastCpu{0};
};

// What GetNextSamples does with the queue: whole readings waiting, read, decoded.
std::size_t Collect(ReceiveQueue& queue, std::vector<unsigned char>& bytes,
                    std::vector<unsigned int>& values)
{
    unsigned long rx = 0;
    queue.GetSize(rx);
    rx &= ~3ul;
    if (!rx)
        return 0;
    queue.Read(bytes, rx, std::chrono::milliseconds(200));
    CopyBytesToUnsignedInt(static_cast<unsigned>(rx / 4), bytes, values);
    return rx;
}

// Baseline: the same bytes copied chunk by chunk and decoded, with no queue or thread.
void BM_Baseline_PlainCopy(benchmark::State& state)
{
    unsigned char chunk[kChunk];
    std::memset(chunk, 7, sizeof chunk);
    std::vector<unsigned char> bytes(kVolume);
    std::vector<unsigned int> values;
    for (auto _ : state)
    {
        for (std::size_t off = 0; off + kChunk <= kVolume; off += kChunk)
            std::memcpy(bytes.data() + off, chunk, kChunk);
        CopyBytesToUnsignedInt(static_cast<unsigned>(kVolume / 4), bytes, values);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kVolume));
}
BENCHMARK(BM_Baseline_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

// Unpaced: how fast the path can go. Collected as fast as possible (`poll` 0) or every
// 300 ms like the batch dialog, scaled down to every 5 ms.
void BM_ReceiveQueue_Throughput(benchmark::State& state)
{
    const auto poll = std::chrono::milliseconds(state.range(0));
    ChunkSource source;
    ReceiveQueue queue(source, Clock::System(), 512);
    queue.Start();
    std::vector<unsigned char> bytes;
    std::vector<unsigned int> values;
    double readerCpu = 0;
    double elapsed = 0;
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        source.ResetCpu();
        source.Arm(kVolume);
        std::size_t got = 0;
        while (got < kVolume)
        {
            if (poll.count())
                std::this_thread::sleep_for(poll);
            got += Collect(queue, bytes, values);
        }
        readerCpu += source.ReaderCpuSeconds();
        elapsed += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double total = static_cast<double>(state.iterations() * kVolume);
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["x_top_rate"] = total / elapsed / kTopRateBytesPerSecond;
    state.counters["reader_cpu_ms_per_MB"] = readerCpu * 1e3 / (total / (1 << 20));
}
BENCHMARK(BM_ReceiveQueue_Throughput)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// Paced at the box's top rate for one second, collected every 300 ms as the batch dialog
// does: the reader's CPU cost per MB at work, and nothing lost.
void BM_ReceiveQueue_TopRateReaderCpu(benchmark::State& state)
{
    ChunkSource source(kTopRateBytesPerSecond);
    ReceiveQueue queue(source, Clock::System(), 512);
    queue.Start();
    const auto volume = static_cast<std::size_t>(kTopRateBytesPerSecond) & ~std::size_t{3};
    std::vector<unsigned char> bytes;
    std::vector<unsigned int> values;
    double readerCpu = 0;
    std::size_t total = 0;
    for (auto _ : state)
    {
        source.ResetCpu();
        source.Arm(volume);
        std::size_t got = 0;
        while (got < volume)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            got += Collect(queue, bytes, values);
        }
        total += got;
        readerCpu += source.ReaderCpuSeconds();
    }
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["reader_cpu_ms_per_MB"] = readerCpu * 1e3 / (total / double(1 << 20));
    state.counters["reader_cpu_percent"] = readerCpu * 100.0 / (total / kTopRateBytesPerSecond);
}
BENCHMARK(BM_ReceiveQueue_TopRateReaderCpu)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A device whose receive side is the real queue fed by a ChunkSource, so that the
// driver's own Box::GetNextSamples can collect from it.
class QueueDevice : public DeviceBackend
{
public:
    explicit QueueDevice(ChunkSource& source) : m_Queue(source, Clock::System(), 512)
    {
        m_Queue.Start();
    }
    int SetLatencyTimer(unsigned char) override { return STATUS_OK; }
    int SetUSBParameters(unsigned long, unsigned long) override { return STATUS_OK; }
    int SetTimeouts(unsigned long, unsigned long) override { return STATUS_OK; }
    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events) override
    {
        tx = events = 0;
        return m_Queue.GetSize(rx);
    }
    int PurgeInputBuffer() override { return m_Queue.Purge(); }
    int ResetDevice() override { return STATUS_OK; }
    int Write(const std::vector<unsigned char>& data, unsigned long& written) override
    {
        written = static_cast<unsigned long>(data.size());
        return STATUS_OK;
    }
    int Read(std::vector<unsigned char>& buffer, unsigned long length) override
    {
        return m_Queue.Read(buffer, length, std::chrono::milliseconds(200));
    }

private:
    ReceiveQueue m_Queue;
};

class QueueProvider : public DeviceProvider
{
public:
    explicit QueueProvider(ChunkSource& source) : m_Source(source) {}
    int Enumerate(std::vector<DeviceInfo>& devices) override
    {
        devices = {{"BENCH001", "receive queue"}};
        return STATUS_OK;
    }
    int Open(const DeviceInfo&, std::unique_ptr<DeviceBackend>& backend) override
    {
        backend = std::make_unique<QueueDevice>(m_Source);
        return STATUS_OK;
    }

private:
    ChunkSource& m_Source;
};

// The whole path up to the driver: reader push to Tavik::Box::GetNextSamples, called
// every 5 ms (the batch dialog's 300 ms, scaled down).
void BM_Box_GetNextSamples(benchmark::State& state)
{
    ChunkSource source;
    Proxy::SetProviders({std::make_shared<QueueProvider>(source)});
    const auto previousSleep = Tavik::Box::SetSleepFunction([](unsigned) {});
    double readerCpu = 0;
    double elapsed = 0;
    {
        Tavik::Box box;
        if (box.Open(0) != Tavik::Box::OK)
        {
            state.SkipWithError("open failed");
            return;
        }
        std::vector<unsigned int> values;
        for (auto _ : state)
        {
            const auto start = std::chrono::steady_clock::now();
            source.ResetCpu();
            source.Arm(kVolume);
            std::size_t got = 0;
            while (got < kVolume)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (box.GetNextSamples(values) != Tavik::Box::OK)
                {
                    state.SkipWithError("GetNextSamples failed");
                    break;
                }
                got += 4 * values.size();
            }
            readerCpu += source.ReaderCpuSeconds();
            elapsed +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    Tavik::Box::SetSleepFunction(previousSleep);
    Proxy::UseDefaultProviders();
    const double total = static_cast<double>(state.iterations() * kVolume);
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["x_top_rate"] = total / elapsed / kTopRateBytesPerSecond;
    state.counters["reader_cpu_ms_per_MB"] = readerCpu * 1e3 / (total / (1 << 20));
}
BENCHMARK(BM_Box_GetNextSamples)->Unit(benchmark::kMillisecond)->UseRealTime();

// The simulator on a manual clock: a 1,000,000-reading run at the top rate, collected
// every 300 ms of simulated time.
void BM_Simulator_MillionReadings(benchmark::State& state)
{
    for (auto _ : state)
    {
        ManualClock clock;
        auto box =
            std::make_shared<SimulatedBox>("SIM00001", EncoderModel{}, SimulatorFaults{}, clock);
        std::unique_ptr<DeviceBackend> device;
        box->Open(device);
        unsigned long written = 0;
        std::vector<unsigned char> command{0x40, 128, 1, 159, 0, 0x40, 0x42, 0x0F, 0x24};
        device->Write(command, written); // 1,000,000 readings at 8 MHz, 1 bit, 10 us
        device->Write({0x16}, written);
        std::size_t got = 0;
        std::vector<unsigned char> bytes;
        while (got < 4000000)
        {
            clock.Advance(std::chrono::milliseconds(300));
            unsigned long rx = 0, tx = 0, events = 0;
            device->GetStatus(rx, tx, events);
            device->Read(bytes, rx & ~3ul);
            got += bytes.size();
        }
        benchmark::DoNotOptimize(got);
    }
    state.counters["readings_per_s"] = benchmark::Counter(
        1e6 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Simulator_MillionReadings)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
