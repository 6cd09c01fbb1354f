// Box against the box simulator on a manual clock, with what a service tool meets: a program
// that ends in the middle of a run and a new one that opens the box, a sample count that
// another program left in the box, late replies, stalled runs, unplugging.
//
// The simulator knows the truth: every OK answer of a Get must be the register the box holds,
// never a reading or another command's reply. A new program cannot know that the box is
// still streaming an old run, so its answers are trusted only after its Reset or
// TerminateSample returned OK; from then on nothing may fool it.
#include "driver/Box.h"
#include "driver/SampleParameter.h"
#include "driver/XAssertion.h"
#include "link/Clock.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorProvider.h"
#include "tests/fakes/FakeDevice.h"

#include "tests/fuzz/FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{

constexpr unsigned char kPowerCodes[] = {0x00, 0x18, 0x08, 0x10};
bool g_Reported = false;

void RecordReport(const char* expression, const char* info, const char*, int)
{
    std::fprintf(stderr, "report: %s: %s\n", expression, info);
    g_Reported = true;
}

class Harness
{
public:
    explicit Harness(FuzzedDataProvider& in)
        : in(in), provider(std::make_shared<FTD2xx::SimulatorProvider>(Config(), clock)),
          providers({provider}), sim(provider->GetBox(0))
    {
        Box::SetSleepFunction([this](unsigned ms)
                              { clock.Advance(std::chrono::milliseconds(ms)); });
    }
    ~Harness()
    {
        Box::SetSleepFunction([](unsigned) {});
    }

    void Run()
    {
        NewProgram();
        for (int step = 0; step < 200 && in.remaining_bytes() > 0; ++step)
            Operate();
    }

private:
    FTD2xx::SimulatorConfig Config()
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = 1;
        config.encoder.rpm = in.ConsumeIntegralInRange(-6000, 6000);
        config.encoder.gray = in.ConsumeBool();
        return config;
    }

    // The old program ends (whatever its box still does) and a new one opens the box.
    void NewProgram()
    {
        box.reset();
        box = std::make_unique<Box>();
        box->Open(0);
        trusted = false;
    }

    SampleParameter PickParameter()
    {
        SampleParameter p;
        p.SetMode(static_cast<SampleParameter::SERIAL_MODE>(in.ConsumeIntegralInRange(0, 3)));
        p.SetFrequence(in.ConsumeIntegralInRange(62500u, 8000000u));
        p.SetDataBits(in.ConsumeIntegralInRange(1u, 32u));
        p.SetDelay(in.ConsumeIntegralInRange(1u, 4000u));
        p.SetSampleCount(in.ConsumeIntegralInRange(1u, 3000u));
        return p;
    }

    void Operate()
    {
        Box& b = *box;
        int status = Box::OK;
        unsigned u = 0x5A5A5A5Au;
        const unsigned value = in.ConsumeIntegral<unsigned>();
        const int index = in.ConsumeIntegralInRange(0, 2);
        switch (in.ConsumeIntegralInRange(0, 20))
        {
        case 0:
            NewProgram();
            break;
        case 1:
            b.Close();
            b.Open(0);
            trusted = false;
            break;
        case 2:
            if (b.Reset() == Box::OK)
                trusted = true;
            break;
        case 3:
            if (b.TerminateSample() == Box::OK)
                trusted = true;
            break;
        case 4:
            b.SetPowerMode(static_cast<Box::POWER_MODE>(in.ConsumeIntegralInRange(0, 3)));
            break;
        case 5:
        {
            Box::POWER_MODE mode = Box::PWR_OFF;
            status = b.GetPowerMode(mode);
            if (status == Box::OK && trusted)
                FUZZ_CHECK(kPowerCodes[mode] == sim->GetPowerCode());
            break;
        }
        case 6:
            b.SetOutput(index, static_cast<Box::OUTPUT_MODE>(in.ConsumeIntegralInRange(0, 2)));
            break;
        case 7:
        {
            Box::OUTPUT_MODE mode = Box::OUT_OPEN;
            status = b.GetOutput(index, mode);
            if (status == Box::OK && trusted)
                FUZZ_CHECK(unsigned(mode) == ((sim->GetOutputByte() >> (2 * index)) & 3u));
            break;
        }
        case 8:
            b.SetSampleParameter(PickParameter());
            break;
        case 9:
        {
            SampleParameter p;
            status = b.GetSampleParameter(p);
            if (status == Box::OK && trusted)
            {
                std::vector<unsigned char> block;
                p.Export(block);
                const auto held = sim->GetParameterBlock();
                FUZZ_CHECK(block == std::vector<unsigned char>(held.begin(), held.end()));
            }
            break;
        }
        case 10:
        case 11:
        {
            std::vector<unsigned> values;
            b.Sample(values);
            break;
        }
        case 12:
        {
            std::vector<unsigned> values;
            b.GetNextSamples(values);
            break;
        }
        case 13:
            b.SetDataMask(value);
            break;
        case 14:
            status = b.GetDataMask(u);
            if (status == Box::OK && trusted)
                FUZZ_CHECK(u == sim->GetDataMask());
            break;
        case 15:
            b.SetGrayBinaryMask(value);
            status = b.GetGrayBinaryMask(u);
            if (status == Box::OK && trusted)
                FUZZ_CHECK(u == sim->GetGrayMask());
            break;
        case 16:
            b.SetSPIData(value);
            status = b.GetSPIData(u);
            if (status == Box::OK && trusted)
                FUZZ_CHECK(u == sim->GetSPIData());
            break;
        case 17:
            clock.Advance(std::chrono::milliseconds(in.ConsumeIntegralInRange(0, 500)));
            break;
        case 18:
        {
            // Another program's sample count in the box, which this driver's copy knows
            // nothing of.
            auto block = sim->GetParameterBlock();
            const unsigned count = in.ConsumeIntegralInRange(1u, 5000u);
            block[4] = static_cast<unsigned char>(count);
            block[5] = static_cast<unsigned char>(count >> 8);
            block[6] = 0;
            sim->SetParameterBlock(block);
            break;
        }
        case 19:
        {
            FTD2xx::SimulatorFaults faults;
            // Up to the bound the driver promises for late replies.
            faults.lateReplyMs = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 390) : 0;
            faults.stallAfter = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 3000) : 0;
            faults.glitchEvery = in.ConsumeIntegralInRange(0, 50);
            if (in.ConsumeIntegralInRange(0, 7) == 0)
                faults.unplugAtCommand = sim->GetCommandCount() + in.ConsumeIntegralInRange(1, 20);
            sim->SetFaults(faults);
            break;
        }
        default:
            if (!sim->IsPlugged())
            {
                sim->Replug();
                NewProgram();
            }
            else
                b.ResetUsb();
            break;
        }
        FUZZ_CHECK(!g_Reported);
    }

    FuzzedDataProvider& in;
    FTD2xx::ManualClock clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> provider;
    LinkFake::ScopedProviders providers;
    std::shared_ptr<FTD2xx::SimulatedBox> sim;
    std::unique_ptr<Box> box;
    bool trusted = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = []
    {
        Tavik::SetXAssertionHandler(&RecordReport);
        return true;
    }();
    (void)installed;
    g_Reported = false;
    FuzzedDataProvider in(data, size);
    Harness harness(in);
    harness.Run();
    return 0;
}
