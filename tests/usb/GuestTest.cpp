// Runs inside the QEMU guest: the driver with its real libftdi backend, through the guest
// kernel's USB stack, against QEMU's FTDI model with the simulated box behind it.
// Prints one line per check and the figures; exit status 0 when every check passed.
// Times are asserted generously only: TCG speed varies with the host's load.

#include "driver/Box.h"
#include "driver/SampleParameter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using Tavik::Box;
using Tavik::SampleParameter;
using Clock = std::chrono::steady_clock;
using Values = std::vector<unsigned int>;

namespace
{

int g_Failures = 0;

void Check(bool ok, const std::string& what)
{
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok)
        ++g_Failures;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

SampleParameter Parameters(unsigned hz, unsigned delayUs, unsigned count)
{
    SampleParameter p;
    p.SetMode(SampleParameter::SSI_Binary);
    p.SetFrequence(hz);
    p.SetDataBits(25);
    p.SetDelay(delayUs);
    p.SetSampleCount(count);
    return p;
}

// Collects a run that Sample started, polling every `pollMs`. Returns the readings and
// the longest wait between two polls that brought readings.
Values Collect(Box& box, Values first, std::size_t count, int pollMs, double& longestGapMs,
               double& firstMs, Clock::time_point start)
{
    Values all = std::move(first);
    longestGapMs = 0;
    firstMs = all.empty() ? -1 : Ms(Clock::now() - start);
    Clock::time_point last = Clock::now();
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(60);
    while (all.size() < count && Clock::now() < give_up)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
        Values more;
        if (box.GetNextSamples(more) != Box::OK)
            break;
        if (more.empty())
            continue;
        const Clock::time_point now = Clock::now();
        if (firstMs < 0)
            firstMs = Ms(now - start);
        else
            longestGapMs = std::max(longestGapMs, Ms(now - last));
        last = now;
        all.insert(all.end(), more.begin(), more.end());
    }
    return all;
}

bool Ascending(const Values& v)
{
    for (std::size_t k = 1; k < v.size(); ++k)
        if (v[k] < v[k - 1] && v[k - 1] - v[k] < 0x01000000u) // not a wrap of 25 bits
            return false;
    return true;
}

} // namespace

int main()
{
    Box box;
    unsigned long count = 0;
    int index = -1;
    Check(box.GetConnectedDevices(count) == Box::OK && count > 0, "list devices");
    for (unsigned long i = 0; i < count; ++i)
    {
        std::string serial, description;
        if (box.GetDeviceInformation(static_cast<int>(i), serial, description) == Box::OK &&
            description == "QEMU USB SERIAL")
            index = static_cast<int>(i);
    }
    Check(index >= 0, "QEMU USB SERIAL is listed");
    if (index < 0)
        return 1;
    const int opened = box.Open(index);
    Check(opened == Box::OK, std::string("open: ") + box.GetStatusAsString(opened));
    if (opened != Box::OK)
        return 1;

    // Round trip of a command, before any run.
    unsigned mask = 0;
    const Clock::time_point t0 = Clock::now();
    for (int i = 0; i < 20; ++i)
        box.GetDataMask(mask);
    std::printf("FIGURE round trip %.2f ms\n", Ms(Clock::now() - t0) / 20);

    SampleParameter p = Parameters(1000000, 20, 1), q;
    Check(box.SetSampleParameter(p) == Box::OK && box.GetSampleParameter(q) == Box::OK &&
              q.GetFrequence() == p.GetFrequence() && q.GetDelay() == p.GetDelay() &&
              q.GetSampleCount() == 1 && q.GetMode() == p.GetMode(),
          "parameter round trip");

    Box::POWER_MODE power = Box::PWR_OFF;
    Check(box.SetPowerMode(Box::PWR_INTERNAL) == Box::OK && box.GetPowerMode(power) == Box::OK &&
              power == Box::PWR_INTERNAL,
          "power");

    Values values;
    Check(box.Sample(values) == Box::OK && values.size() == 1, "single sample");

    Box::OUTPUT_MODE output = Box::OUT_OPEN;
    Check(box.SetOutput(2, Box::OUT_HIGH_UB) == Box::OK && box.GetOutput(2, output) == Box::OK &&
              output == Box::OUT_HIGH_UB,
          "outputs");
    unsigned gray = 0, spi = 0;
    Check(box.SetDataMask(0x01FFFFFF) == Box::OK && box.GetDataMask(mask) == Box::OK &&
              mask == 0x01FFFFFFu && box.SetGrayBinaryMask(0x00001FFF) == Box::OK &&
              box.GetGrayBinaryMask(gray) == Box::OK && gray == 0x00001FFFu,
          "masks");
    Check(box.SetSPIData(0xA5C3E1F0) == Box::OK && box.GetSPIData(spi) == Box::OK &&
              spi == 0xA5C3E1F0u,
          "SPI word");

    // A batch of 10,000 readings at 2 MHz, spaced by the 50 us delay: 0.5 s.
    {
        Check(box.SetSampleParameter(Parameters(2000000, 50, 10000)) == Box::OK, "batch set");
        const Clock::time_point start = Clock::now();
        const int status = box.Sample(values);
        std::printf("FIGURE batch Sample brought %zu readings in 200 ms\n", values.size());
        double gap = 0, first = 0;
        const Values all =
            status == Box::OK ? values : Collect(box, values, 10000, 50, gap, first, start);
        Check(all.size() == 10000 && Ascending(all),
              "batch of 10,000 readings (" + std::to_string(all.size()) + ")");
    }

    // TerminateSample, then at once each Get: every reply is the box's, none a reading.
    {
        SampleParameter set = Parameters(2000000, 50, 1000000);
        const std::function<bool()> gets[] = {
            [&] { return box.GetPowerMode(power) == Box::OK && power == Box::PWR_INTERNAL; },
            [&] { return box.GetOutput(2, output) == Box::OK && output == Box::OUT_HIGH_UB; },
            [&] { return box.GetSampleParameter(q) == Box::OK && q.GetSampleCount() == 1000000; },
            [&] { return box.GetDataMask(mask) == Box::OK && mask == 0x01FFFFFFu; },
            [&] { return box.GetGrayBinaryMask(gray) == Box::OK && gray == 0x00001FFFu; },
            [&] { return box.GetSPIData(spi) == Box::OK && spi == 0xA5C3E1F0u; },
        };
        double longest = 0;
        for (std::size_t i = 0; i < std::size(gets); ++i)
        {
            box.SetSampleParameter(set);
            box.Sample(values);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const Clock::time_point start = Clock::now();
            const int terminated = box.TerminateSample();
            longest = std::max(longest, Ms(Clock::now() - start));
            bool got = false;
            try
            {
                got = gets[i]();
            }
            catch (const std::exception& e) // a report: the reply was not the box's
            {
                std::printf("report: %s\n", e.what());
            }
            Values left{1};
            Check(terminated == Box::OK && got && box.GetNextSamples(left) == Box::OK &&
                      left.empty(),
                  "TerminateSample, then Get " + std::to_string(i) + ": " +
                      box.GetStatusAsString(Box::FAILED));
        }
        std::printf("FIGURE TerminateSample took at most %.1f ms\n", longest);
    }

    // A slow stream (about 1,000 readings a second): readings come steadily, not in bursts.
    {
        box.SetSampleParameter(Parameters(2000000, 1000, 3000));
        const Clock::time_point start = Clock::now();
        box.Sample(values);
        std::printf("FIGURE slow stream: Sample brought %zu readings in 200 ms\n", values.size());
        double gap = 0, first = 0;
        const Values all = Collect(box, values, 3000, 20, gap, first, start);
        std::printf("FIGURE slow stream: first reading after %.0f ms, longest gap %.0f ms\n", first,
                    gap);
        Check(all.size() == 3000 && first >= 0 && first < 500 && gap < 200,
              "slow stream: first reading within 500 ms, no gap above 200 ms");
    }

    Check(box.Reset() == Box::OK && box.GetPowerMode(power) == Box::OK && power == Box::PWR_OFF,
          "Reset");
    box.Close();
    Check(!box.IsOpen(), "Close");

    // Hot-plug: the host removes the chip over QEMU's monitor (device_del) once it reads
    // HOTPLUG READY, and adds it again (device_add) once it reads HOTPLUG GONE.
    const auto listed = [&]
    {
        unsigned long n = 0;
        if (box.GetConnectedDevices(n) != Box::OK)
            return -1;
        for (unsigned long i = 0; i < n; ++i)
        {
            std::string serial, description;
            if (box.GetDeviceInformation(static_cast<int>(i), serial, description) == Box::OK &&
                description == "QEMU USB SERIAL")
                return static_cast<int>(i);
        }
        return -1;
    };
    const auto waitFor = [](const std::function<bool()>& done)
    {
        for (int i = 0; i < 300; ++i)
        {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    if (box.Open(listed()) == Box::OK)
    {
        std::printf("HOTPLUG READY\n");
        std::fflush(stdout);
        int status = Box::OK;
        const bool failed = waitFor(
            [&]
            {
                status = box.GetPowerMode(power);
                return status != Box::OK;
            });
        std::printf("FIGURE unplugged: the open box's next call says \"%s\"\n",
                    box.GetStatusAsString(status));
        Check(failed, "device_del: the open box's calls fail");
        box.Close();
        Check(waitFor([&] { return listed() < 0; }), "device_del: the box leaves the list");
        std::printf("HOTPLUG GONE\n");
        std::fflush(stdout);
        Check(waitFor([&] { return listed() >= 0; }), "device_add: the box is listed again");
        const int again = box.Open(listed());
        Check(again == Box::OK && box.GetPowerMode(power) == Box::OK,
              std::string("device_add: the box opens and answers: ") +
                  box.GetStatusAsString(again));
        box.Close();
    }
    else
        Check(false, "open for the hot-plug test");
    std::printf("%d checks failed\n", g_Failures);
    return g_Failures ? 1 : 0;
}
