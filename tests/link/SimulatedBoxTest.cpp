#include "link/SimulatedBox.h"
#include "link/Proxy.h"
#include "link/SimulatorProvider.h"

#include <gtest/gtest.h>

using namespace FTD2xx;
using namespace std::chrono_literals;

namespace
{

class SimulatedBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { Open(); }

    void Open()
    {
        ASSERT_EQ(box->Open(dev), STATUS_OK);
        ASSERT_EQ(dev->SetTimeouts(200, 200), STATUS_OK);
    }

    int Send(const std::vector<unsigned char>& bytes)
    {
        unsigned long written = 0;
        return dev->Write(bytes, written);
    }

    std::vector<unsigned char> Query(unsigned char command, unsigned long length)
    {
        EXPECT_EQ(Send({command}), STATUS_OK);
        std::vector<unsigned char> reply;
        EXPECT_EQ(dev->Read(reply, length), STATUS_OK);
        return reply;
    }

    unsigned QueryWord(unsigned char command)
    {
        const auto reply = Query(command, 4);
        return reply.size() == 4 ? BytesToUnsignedInt(reply.data(), 4) : 0xDEADBEEF;
    }

    unsigned long Rx()
    {
        unsigned long rx = 0, tx = 0, events = 0;
        EXPECT_EQ(dev->GetStatus(rx, tx, events), STATUS_OK);
        return rx;
    }

    void SetBlock(unsigned char frequencyFactor, unsigned char dataBits, unsigned delayFactor,
                  unsigned count, unsigned char mode = 0x24)
    {
        std::vector<unsigned char> command(9);
        command[0] = 0x40;
        command[1] = frequencyFactor;
        command[2] = dataBits;
        UnsignedIntToByte(delayFactor, 2, &command[3]);
        UnsignedIntToByte(count, 3, &command[5]);
        command[8] = mode;
        ASSERT_EQ(Send(command), STATUS_OK);
    }

    std::vector<unsigned> SampleAll(unsigned count)
    {
        EXPECT_EQ(Send({0x16}), STATUS_OK);
        std::vector<unsigned char> bytes;
        EXPECT_EQ(dev->Read(bytes, 4 * count), STATUS_OK);
        std::vector<unsigned> values;
        CopyBytesToUnsignedInt(count, bytes, values);
        return values;
    }

    ManualClock clock;
    std::shared_ptr<SimulatedBox> box =
        std::make_shared<SimulatedBox>("SIM00001", EncoderModel{}, SimulatorFaults{}, clock);
    std::unique_ptr<DeviceBackend> dev;
};

// Default block: 2 MHz (factor 131), 25 data bits (a 13 us frame), 50 us delay.
constexpr auto kDefaultPeriod = 50us;

} // namespace

TEST_F(SimulatedBoxTest, PowerOnStateOfTheRegisters)
{
    const auto block = Query(0x41, 8);
    EXPECT_EQ(block, std::vector<unsigned char>(SimulatedBox::kDefaultBlock.begin(),
                                                SimulatedBox::kDefaultBlock.end()));
    EXPECT_EQ(Query(0x13, 1), std::vector<unsigned char>{0x00});
    EXPECT_EQ(Query(0x15, 1), std::vector<unsigned char>{0x00});
    EXPECT_EQ(QueryWord(0x45), 0xFFFFFFFFu);
    EXPECT_EQ(QueryWord(0x47), 0xFFFFFFFFu);
    EXPECT_EQ(QueryWord(0x43), 0u);
}

TEST_F(SimulatedBoxTest, RegistersAreStoredAsWritten)
{
    ASSERT_EQ(Send({0x12, 0x10, 0x14, 0xC9, 0x42, 1, 2, 3, 4, 0x44, 0xFF, 0, 0xFF, 0, 0x46, 0x0F, 0,
                    0, 0}),
              STATUS_OK);
    EXPECT_EQ(Query(0x13, 1), std::vector<unsigned char>{0x10});
    EXPECT_EQ(Query(0x15, 1), std::vector<unsigned char>{0xC9}) << "bits 6 and 7 are kept";
    EXPECT_EQ(QueryWord(0x43), 0x04030201u);
    EXPECT_EQ(QueryWord(0x45), 0x00FF00FFu);
    EXPECT_EQ(QueryWord(0x47), 0x0000000Fu);

    // Even a block the driver would never send comes back as it was.
    SetBlock(7, 200, 3, 0, 0x00);
    EXPECT_EQ(Query(0x41, 8), (std::vector<unsigned char>{7, 200, 3, 0, 0, 0, 0, 0x00}));
}

TEST_F(SimulatedBoxTest, CommandsSplitAcrossWritesAndUnknownBytesAreSkipped)
{
    ASSERT_EQ(Send({0x99, 0x44, 1, 2}), STATUS_OK);
    ASSERT_EQ(Send({3, 4}), STATUS_OK);
    EXPECT_EQ(QueryWord(0x45), 0x04030201u);
}

TEST_F(SimulatedBoxTest, ResetRestoresThePowerOnState)
{
    ASSERT_EQ(Send({0x12, 0x18, 0x14, 0x15, 0x44, 0, 0, 0, 0}), STATUS_OK);
    SetBlock(128, 1, 159, 9);
    ASSERT_EQ(Send({0x0C}), STATUS_OK);
    EXPECT_EQ(box->GetPowerCode(), 0);
    EXPECT_EQ(box->GetOutputByte(), 0);
    EXPECT_EQ(box->GetDataMask(), 0xFFFFFFFFu);
    EXPECT_EQ(box->GetParameterBlock(), SimulatedBox::kDefaultBlock);
}

TEST_F(SimulatedBoxTest, ReplyComesAfterTheLatencyAndReadWaitsForIt)
{
    const auto start = clock.Now();
    ASSERT_EQ(Send({0x13}), STATUS_OK);
    EXPECT_EQ(Rx(), 0u) << "the reply is still on its way";
    std::vector<unsigned char> reply;
    EXPECT_EQ(dev->Read(reply, 1), STATUS_OK);
    EXPECT_EQ(reply.size(), 1u);
    EXPECT_EQ(clock.Now() - start, SimulatedBox::kReplyLatency);
}

TEST_F(SimulatedBoxTest, ReadEndsAtItsTimeoutWithWhatArrived)
{
    ASSERT_EQ(Send({0x13}), STATUS_OK);
    const auto start = clock.Now();
    std::vector<unsigned char> reply(5, 0xAA);
    EXPECT_EQ(dev->Read(reply, 5), STATUS_READ_TIMEOUT);
    EXPECT_EQ(reply, std::vector<unsigned char>{0x00});
    EXPECT_EQ(clock.Now() - start, 200ms);

    ASSERT_EQ(dev->SetTimeouts(50, 50), STATUS_OK);
    EXPECT_EQ(dev->Read(reply, 1), STATUS_READ_TIMEOUT);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(clock.Now() - start, 250ms);
}

TEST_F(SimulatedBoxTest, LateReplyStaysQueuedUntilPurged)
{
    box->SetFaults({.lateReplyMs = 250});
    ASSERT_EQ(Send({0x12, 0x08}), STATUS_OK);
    ASSERT_EQ(Send({0x13}), STATUS_OK);
    std::vector<unsigned char> reply;
    EXPECT_EQ(dev->Read(reply, 1), STATUS_READ_TIMEOUT);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(Rx(), 0u);
    clock.Advance(51ms);
    EXPECT_EQ(Rx(), 1u) << "the late reply arrived after the read gave up";
    EXPECT_EQ(dev->PurgeInputBuffer(), STATUS_OK);
    EXPECT_EQ(Rx(), 0u);

    box->SetFaults({});
    EXPECT_EQ(Query(0x13, 1), std::vector<unsigned char>{0x08});
}

TEST_F(SimulatedBoxTest, BoxAnswersInTheOrderOfItsCommands)
{
    box->SetFaults({.lateReplyMs = 250});
    ASSERT_EQ(Send({0x13}), STATUS_OK);
    box->SetFaults({});
    ASSERT_EQ(Send({0x45}), STATUS_OK);
    std::vector<unsigned char> reply;
    ASSERT_EQ(dev->Read(reply, 5), STATUS_READ_TIMEOUT);
    EXPECT_TRUE(reply.empty()) << "the second reply cannot overtake the late first one";
    clock.Advance(100ms);
    EXPECT_EQ(dev->Read(reply, 5), STATUS_OK);
    EXPECT_EQ(reply, (std::vector<unsigned char>{0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(SimulatedBoxTest, ReadingsAreSpacedByTheDelayOrByALongerFrame)
{
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    SetBlock(131, 25, 799, 3);
    const auto start = clock.Now();
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    clock.Advance(kDefaultPeriod - 1ns);
    EXPECT_EQ(Rx(), 0u);
    clock.Advance(1ns);
    EXPECT_EQ(Rx(), 4u);
    clock.Advance(2 * kDefaultPeriod);
    EXPECT_EQ(Rx(), 12u);
    EXPECT_FALSE(box->IsStreaming());

    // 62.5 kHz, 25 data bits: a 416 us frame that a 10 us delay cannot cover.
    for (const auto& [factor, period] : {std::pair{128, 10000ns}, std::pair{255, 416000ns}})
    {
        EXPECT_EQ(dev->PurgeInputBuffer(), STATUS_OK);
        SetBlock(static_cast<unsigned char>(factor), 25, 159, 1000);
        const auto runStart = clock.Now();
        ASSERT_EQ(Send({0x16}), STATUS_OK);
        clock.SleepUntil(runStart + period * 999);
        EXPECT_EQ(Rx(), 4u * 999) << factor;
        clock.Advance(period);
        EXPECT_EQ(Rx(), 4u * 1000) << factor;
    }
    (void)start;
}

TEST_F(SimulatedBoxTest, ReadingIsTheEncoderFrameClockedOutMsbFirst)
{
    // A slow encoder, so that the few milliseconds each command takes do not move it.
    box->SetEncoder({.rpm = 0.06});
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    clock.Advance(500s); // half a turn: step 4096
    SetBlock(131, 25, 799, 1);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{4096});
    SetBlock(131, 13, 799, 1); // too few bits: the frame's top 13 bits
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{1});
    SetBlock(131, 27, 799, 1); // too many bits: zeros follow the frame
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{4096u << 2});
    SetBlock(131, 63, 799, 1); // the 32-bit register keeps the last bits shifted in
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{0});

    clock.Advance(2250s); // 2.75 turns: turn 2, step 6144
    SetBlock(131, 25, 799, 1);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{(2u << 13) | 6144u});
}

TEST_F(SimulatedBoxTest, DataMaskFiltersEveryReading)
{
    box->SetEncoder({.rpm = 0.06});
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    clock.Advance(2750s);
    ASSERT_EQ(Send({0x44, 0xFF, 0x00, 0x00, 0x00}), STATUS_OK);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{((2u << 13) | 6144u) & 0xFFu});
}

TEST_F(SimulatedBoxTest, UnpoweredEncoderReadsAsTheIdleLine)
{
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{0x1FFFFFFu});
    SetBlock(131, 40, 799, 1);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{0xFFFFFFFFu});
    ASSERT_EQ(Send({0x44, 0xF0, 0, 0, 0}), STATUS_OK);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{0xF0u});
    ASSERT_EQ(Send({0x12, 0x42}), STATUS_OK); // a code the box does not know powers nothing
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{0xF0u});
}

TEST_F(SimulatedBoxTest, GrayEncoderIsDecodedOnlyInGrayModes)
{
    box->SetEncoder({.rpm = 0.06, .gray = true});
    ASSERT_EQ(Send({0x12, 0x18}), STATUS_OK);
    clock.Advance(500s);
    SetBlock(131, 25, 799, 1, 0x24);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{4096u ^ 2048u});
    SetBlock(131, 25, 799, 1, 0xA4);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{4096u});
    SetBlock(131, 25, 799, 1, 0xC4);
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{4096u});
    // Only the bits under the Gray mask are decoded.
    ASSERT_EQ(Send({0x46, 0x00, 0x08, 0, 0}), STATUS_OK); // bit 11 only
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{4096u ^ 2048u});
}

TEST_F(SimulatedBoxTest, EncoderTurnsBackwardAndWraps)
{
    box->SetEncoder({.stBits = 4, .mtBits = 2, .rpm = -60});
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    SetBlock(131, 6, 799, 1);
    clock.Advance(62500us - 53500ns); // one step back from 0 wraps to the top
    EXPECT_EQ(SampleAll(1), std::vector<unsigned>{63u});
}

TEST_F(SimulatedBoxTest, LongRunDeliversEveryReadingInOrder)
{
    box->SetEncoder({.rpm = 1000}); // > 1 step per reading, so readings strictly increase
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    constexpr unsigned kCount = 1000000;
    SetBlock(128, 25, 159, kCount);
    const auto start = clock.Now();
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    std::vector<unsigned> all;
    all.reserve(kCount);
    std::vector<unsigned char> bytes;
    std::vector<unsigned> values;
    while (all.size() < kCount)
    {
        clock.Advance(300ms);
        const unsigned long rx = Rx() & ~3ul;
        ASSERT_EQ(dev->Read(bytes, rx), STATUS_OK);
        CopyBytesToUnsignedInt(rx / 4, bytes, values);
        all.insert(all.end(), values.begin(), values.end());
    }
    EXPECT_EQ(all.size(), kCount);
    EXPECT_FALSE(box->IsStreaming());
    clock.Advance(1s);
    EXPECT_EQ(Rx(), 0u);
    const auto period = 10us; // the delay; 26 clocks at 8 MHz take 3.25 us
    for (unsigned k : {0u, 1u, 4711u, kCount - 1})
        EXPECT_EQ(all[k], box->ComputeReading(start + period * (k + 1))) << k;
    for (unsigned k = 1; k < kCount; ++k)
        ASSERT_LT(all[k - 1], all[k]) << k;
}

TEST_F(SimulatedBoxTest, TerminateSampleEndsARunAndKeepsWhatArrived)
{
    ASSERT_EQ(dev->SetLatencyTimer(4), STATUS_OK);
    SetBlock(131, 25, 799, 1000);
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    clock.Advance(kDefaultPeriod * 10);
    ASSERT_EQ(Send({0xFE}), STATUS_OK);
    EXPECT_FALSE(box->IsStreaming());
    EXPECT_EQ(Rx(), 40u);
    // The readings of the last latency period are still on the wire. The box is idle and
    // answers the next command, after them.
    ASSERT_EQ(Send({0x13}), STATUS_OK);
    const unsigned long inFlight = 4ms / kDefaultPeriod;
    std::vector<unsigned char> all;
    ASSERT_EQ(dev->Read(all, 40 + 4 * inFlight + 1), STATUS_OK);
    EXPECT_EQ(all.back(), 0x00) << "the power code, not a reading's 0x01";
    clock.Advance(1s);
    EXPECT_EQ(Rx(), 0u);
}

TEST_F(SimulatedBoxTest, CommandsDuringARunAreDroppedExceptTerminateAndReset)
{
    SetBlock(131, 25, 799, 100);
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    clock.Advance(kDefaultPeriod * 10);
    ASSERT_EQ(Send({0x12, 0x10, 0x13, 0x44, 1, 2, 3, 4}), STATUS_OK);
    clock.Advance(1s);
    EXPECT_EQ(Rx(), 400u) << "no reply mixed into the readings";
    EXPECT_EQ(box->GetPowerCode(), 0);
    EXPECT_EQ(box->GetDataMask(), 0xFFFFFFFFu);
    ASSERT_EQ(dev->PurgeInputBuffer(), STATUS_OK);

    // After the run the box listens again.
    EXPECT_EQ(Query(0x13, 1), std::vector<unsigned char>{0x00});

    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    clock.Advance(kDefaultPeriod * 10);
    ASSERT_EQ(Send({0x0C}), STATUS_OK);
    EXPECT_FALSE(box->IsStreaming());
    EXPECT_EQ(box->GetPowerCode(), 0) << "Reset during a run restores the power-on state";
}

TEST_F(SimulatedBoxTest, GlitchFlipsTheTopDataBitOfEveryNthReading)
{
    box->SetFaults({.glitchEvery = 4});
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    SetBlock(131, 25, 799, 10);
    const auto start = clock.Now();
    const auto values = SampleAll(10);
    ASSERT_EQ(values.size(), 10u);
    for (unsigned k = 0; k < 10; ++k)
    {
        const unsigned clean = box->ComputeReading(start + kDefaultPeriod * (k + 1));
        EXPECT_EQ(values[k], (k + 1) % 4 == 0 ? clean ^ (1u << 24) : clean) << k;
    }
}

TEST_F(SimulatedBoxTest, StalledStreamStopsUntilTerminated)
{
    box->SetFaults({.stallAfter = 10});
    SetBlock(131, 25, 799, 100);
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    std::vector<unsigned char> bytes;
    EXPECT_EQ(dev->Read(bytes, 400), STATUS_READ_TIMEOUT);
    EXPECT_EQ(bytes.size(), 40u);
    clock.Advance(10s);
    EXPECT_EQ(Rx(), 0u);
    EXPECT_TRUE(box->IsStreaming());
    ASSERT_EQ(Send({0xFE}), STATUS_OK);
    EXPECT_FALSE(box->IsStreaming());
}

TEST_F(SimulatedBoxTest, UnplugFaultFailsEveryLaterCallWithALinkText)
{
    box->SetFaults({.unplugAtCommand = 3});
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    ASSERT_EQ(Send({0x14, 0x01}), STATUS_OK);
    const int status = Send({0x13});
    EXPECT_NE(status, STATUS_OK);
    EXPECT_EQ(Proxy::GetStatusAsString(status), "No such device (it may have been disconnected)");
    unsigned long rx = 0, tx = 0, events = 0;
    EXPECT_NE(dev->GetStatus(rx, tx, events), STATUS_OK);
    std::vector<unsigned char> bytes;
    EXPECT_NE(dev->Read(bytes, 1), STATUS_OK);
    EXPECT_NE(dev->PurgeInputBuffer(), STATUS_OK);
    EXPECT_NE(dev->SetTimeouts(200, 200), STATUS_OK);
    EXPECT_FALSE(box->IsPlugged());

    std::unique_ptr<DeviceBackend> again;
    EXPECT_EQ(box->Open(again), STATUS_DEVICE_NOT_FOUND);
}

TEST_F(SimulatedBoxTest, TimedUnplugCutsAStreamingRunAndTheBoxReturnsRefusingOpensAtFirst)
{
    // Reopened with the faults: the timed unplug counts from the open.
    dev.reset();
    box->SetFaults({.unplugAfterMs = 1000, .replugAfterMs = 500, .deniedOpens = 2});
    Open();
    const std::uint64_t changes = box->GetPlugChanges();
    ASSERT_EQ(Send({0x12, 0x10}), STATUS_OK);
    SetBlock(128, 25, 159, 1000000); // 10 us apart: the run outlasts the box
    ASSERT_EQ(Send({0x16}), STATUS_OK);
    clock.Advance(900ms);
    std::vector<unsigned char> bytes;
    ASSERT_EQ(dev->Read(bytes, Rx() & ~3ul), STATUS_OK);
    EXPECT_GT(bytes.size(), 4u * 80000);
    // The read waits for more than the box sends before it goes: it ends at the unplug.
    const auto before = clock.Now();
    EXPECT_EQ(Proxy::GetStatusAsString(dev->Read(bytes, 4u * 50000)),
              "No such device (it may have been disconnected)");
    EXPECT_LE(clock.Now() - before, 100ms);
    EXPECT_FALSE(box->IsPlugged());
    EXPECT_EQ(box->GetPlugChanges(), changes + 1);

    clock.Advance(499ms);
    EXPECT_FALSE(box->IsPlugged());
    clock.Advance(1ms);
    EXPECT_TRUE(box->IsPlugged());
    EXPECT_EQ(box->GetPlugChanges(), changes + 2);
    EXPECT_EQ(box->GetPowerCode(), 0); // its power-on state
    dev.reset(); // closed first: Open holds the box while it hands out the new one
    for (int denied = 0; denied < 2; ++denied)
        EXPECT_EQ(Proxy::GetStatusAsString(box->Open(dev)),
                  "usb_open() failed: Access denied (insufficient permissions)");
    ASSERT_EQ(box->Open(dev), STATUS_OK);
    // Each unplug fault fires once: the box stays this time.
    clock.Advance(5s);
    EXPECT_TRUE(box->IsPlugged());
    EXPECT_EQ(Rx(), 0u);
}

TEST_F(SimulatedBoxTest, UnplugWhileAReadWaits)
{
    // A clock whose sleep pulls the plug, as if the cable went while the host waited.
    struct UnpluggingClock : ManualClock
    {
        SimulatedBox* target = nullptr;
        void SleepUntil(TimePoint t) override
        {
            if (target)
                target->Unplug();
            ManualClock::SleepUntil(t);
        }
    } unplugging;
    auto victim =
        std::make_shared<SimulatedBox>("SIM00002", EncoderModel{}, SimulatorFaults{}, unplugging);
    std::unique_ptr<DeviceBackend> link;
    ASSERT_EQ(victim->Open(link), STATUS_OK);
    unplugging.target = victim.get();
    unsigned long written = 0;
    ASSERT_EQ(link->Write({0x13}, written), STATUS_OK);
    std::vector<unsigned char> bytes;
    const int status = link->Read(bytes, 1);
    EXPECT_NE(status, STATUS_OK);
    EXPECT_NE(status, STATUS_READ_TIMEOUT);
}

TEST_F(SimulatedBoxTest, OneHandleAtATimeAndStateSurvivesReopening)
{
    ASSERT_EQ(Send({0x12, 0x18}), STATUS_OK);
    std::unique_ptr<DeviceBackend> second;
    EXPECT_EQ(box->Open(second), STATUS_DEVICE_NOT_OPENED);
    dev.reset();
    EXPECT_FALSE(box->IsOpen());
    Open();
    EXPECT_EQ(Query(0x13, 1), std::vector<unsigned char>{0x18});
}

TEST(SimulatorProvider, ListsPluggedBoxesAfterOneAnother)
{
    ManualClock clock;
    SimulatorConfig config;
    config.boxes = 3;
    SimulatorProvider provider(config, clock);
    std::vector<DeviceInfo> devices;
    ASSERT_EQ(provider.Enumerate(devices), STATUS_OK);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].serial, "SIM00001");
    EXPECT_EQ(devices[2].serial, "SIM00003");
    EXPECT_NE(devices[1].description.find("simulated"), std::string::npos);

    provider.GetBox(1)->Unplug();
    ASSERT_EQ(provider.Enumerate(devices), STATUS_OK);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].serial, "SIM00003");

    std::unique_ptr<DeviceBackend> backend;
    EXPECT_EQ(provider.Open({"SIM00002", ""}, backend), STATUS_DEVICE_NOT_FOUND);
    provider.GetBox(1)->Replug();
    EXPECT_EQ(provider.Open({"SIM00002", ""}, backend), STATUS_OK);
    EXPECT_EQ(provider.Open({"SIM00009", ""}, backend), STATUS_DEVICE_NOT_FOUND);
}

TEST(SimulatorProvider, ProxyListsAndOpensSimulatedBoxes)
{
    ManualClock clock;
    SimulatorConfig config;
    config.boxes = 2;
    auto provider = std::make_shared<SimulatorProvider>(config, clock);
    Proxy::SetProviders({provider});
    unsigned long count = 0;
    ASSERT_EQ(Proxy::GetConnectedDevices(count), STATUS_OK);
    EXPECT_EQ(count, 2u);
    std::string serial;
    ASSERT_EQ(Proxy::GetDeviceInformation(1, Proxy::INFO_SERIAL_NUMBER, serial), STATUS_OK);
    EXPECT_EQ(serial, "SIM00002");
    Proxy proxy;
    ASSERT_EQ(proxy.Open(1), STATUS_OK);
    EXPECT_TRUE(provider->GetBox(1)->IsOpen());
    proxy.Close();
    EXPECT_FALSE(provider->GetBox(1)->IsOpen());
    Proxy::UseDefaultProviders();
}

TEST(SimulatorProvider, DefaultListHasTheConfiguredBoxesAfterRealDevices)
{
    Proxy::UseDefaultProviders();
    unsigned long real = 0;
    ASSERT_EQ(Proxy::GetConnectedDevices(real), STATUS_OK);

    SimulatorConfig config;
    std::string error;
    ASSERT_TRUE(SimulatorConfig::Parse("2,rpm=30", config, error));
    Proxy::UseDefaultProviders(config);
    unsigned long count = 0;
    ASSERT_EQ(Proxy::GetConnectedDevices(count), STATUS_OK);
    ASSERT_EQ(count, real + 2);
    std::string serial, description;
    ASSERT_EQ(Proxy::GetDeviceInformation(count - 2, Proxy::INFO_SERIAL_NUMBER, serial), 0);
    EXPECT_EQ(serial, "SIM00001");
    ASSERT_EQ(Proxy::GetDeviceInformation(count - 1, Proxy::INFO_DESCRIPTION, description), 0);
    EXPECT_EQ(description, SimulatorProvider::kDescription);

    // The boxes are made once: a box keeps its state from one listing to the next.
    {
        Proxy proxy;
        ASSERT_EQ(proxy.Open(int(count - 1)), STATUS_OK);
        unsigned long again = 0;
        ASSERT_EQ(Proxy::GetConnectedDevices(again), STATUS_OK);
        Proxy second;
        EXPECT_NE(second.Open(int(count - 1)), STATUS_OK); // still open in `proxy`
    }
    Proxy::UseDefaultProviders();
}

// TAVIK_SIMULATOR's text and --simulate, as both programs make them into a simulator.
TEST(SimulatorConfig, ForProgramKeepsTheSettingsAndAsksForOneBoxWithSimulate)
{
    struct Case
    {
        const char* text;
        bool simulate;
        unsigned boxes; // 0: no simulator
        double rpm;
        const char* warning;
    };
    const Case cases[] = {
        {nullptr, false, 0, 0, ""},
        {"0", false, 0, 0, ""},
        {"", false, 0, 0, ""},
        {nullptr, true, 1, 60, ""},
        {"0", true, 1, 60, ""},
        {"", true, 1, 60, ""},
        {"2,rpm=30", false, 2, 30, ""},
        {"2,rpm=30", true, 2, 30, ""},
        {"rpm=-5", true, 1, -5, ""},
        {"bogus", true, 0, 0,
         "TAVIK_SIMULATOR ignored: invalid value \"bogus\" for boxes (expected 0 to 8)"},
        {"1,glitch=x", false, 0, 0,
         "TAVIK_SIMULATOR ignored: invalid value \"x\" for glitch (expected a whole number, 0 to "
         "switch it off)"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.text ? c.text : "(unset)") + (c.simulate ? " --simulate" : ""));
        std::string warning;
        const std::optional<SimulatorConfig> config =
            SimulatorConfig::ForProgram(c.text, c.simulate, warning);
        EXPECT_EQ(warning, c.warning);
        ASSERT_EQ(config.has_value(), c.boxes != 0);
        if (config)
        {
            EXPECT_EQ(config->boxes, c.boxes);
            EXPECT_EQ(config->encoder.rpm, c.rpm);
        }
    }
}
