#include "driver/Box.h"

#include "tests/driver/DriverTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;
using DriverTest::AssertionRecorder;
using DriverTest::BoxFixture;
using LinkFake::Bytes;
using LinkFake::Op;
using Tavik::Box;
using Tavik::SampleParameter;
using Strings = std::vector<std::string>;
using Values = std::vector<unsigned int>;

namespace
{

const std::string kIoError = FTD2xx::Proxy::GetStatusAsString(FTD2xx::STATUS_IO_ERROR);

} // namespace

// --- Status codes, devices, opening --------------------------------------------------------

TEST_F(BoxFixture, StatusTexts)
{
    EXPECT_STREQ(box.GetStatusAsString(0), "OK");
    EXPECT_STREQ(box.GetStatusAsString(1), "");
    EXPECT_STREQ(box.GetStatusAsString(2), "NOT_ALLOWED");
    EXPECT_STREQ(box.GetStatusAsString(3), "INVALID_PARAMETER");
    EXPECT_STREQ(box.GetStatusAsString(4), "DEVICE_NOT_OPENED");
    EXPECT_STREQ(box.GetStatusAsString(5), "TIMEOUT");
    EXPECT_STREQ(box.GetStatusAsString(6), "unknown");
    EXPECT_STREQ(box.GetStatusAsString(-1), "unknown");
}

TEST_F(BoxFixture, EveryCommandOnAClosedBoxIsRefusedWithoutTalking)
{
    unsigned int u = 0;
    Box::POWER_MODE pm = Box::PWR_OFF;
    Box::OUTPUT_MODE om = Box::OUT_OPEN;
    SampleParameter p;
    Values v{1, 2};
    const std::function<int()> commands[] = {
        [&] { return box.ResetUsb(); },
        [&] { return box.SetSampleParameter(p); },
        [&] { return box.GetSampleParameter(p); },
        [&] { return box.Sample(v); },
        [&] { return box.GetNextSamples(v); },
        [&] { return box.TerminateSample(); },
        [&] { return box.SetPowerMode(Box::PWR_OFF); },
        [&] { return box.SetPowerMode(Box::PWR_INTERNAL); },
        [&] { return box.GetPowerMode(pm); },
        [&] { return box.SetOutput(0, Box::OUT_OPEN); },
        [&] { return box.SetOutput(7, Box::OUT_OPEN); },
        [&] { return box.GetOutput(1, om); },
        [&] { return box.SetSPIData(1); },
        [&] { return box.GetSPIData(u); },
        [&] { return box.SetDataMask(1); },
        [&] { return box.GetDataMask(u); },
        [&] { return box.SetGrayBinaryMask(1); },
        [&] { return box.GetGrayBinaryMask(u); },
    };
    for (const auto& command : commands)
        EXPECT_EQ(command(), Box::DEVICE_NOT_OPENED);
    EXPECT_STREQ(box.GetStatusAsString(Box::DEVICE_NOT_OPENED), "DEVICE_NOT_OPENED");
    EXPECT_EQ(v, (Values{1, 2}));
    EXPECT_TRUE(Calls().empty());

    // Reset does not check: the link refuses the status query instead.
    EXPECT_EQ(box.Reset(), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1),
              FTD2xx::Proxy::GetStatusAsString(FTD2xx::STATUS_DEVICE_NOT_OPENED));
}

TEST_F(BoxFixture, DeviceEnumerationOnlyWhileClosed)
{
    unsigned long count = 99;
    EXPECT_EQ(box.GetConnectedDevices(count), Box::OK);
    EXPECT_EQ(count, 1u);
    std::string serial, description;
    EXPECT_EQ(box.GetDeviceInformation(0, serial, description), Box::OK);
    EXPECT_EQ(serial, "TV100042");
    EXPECT_EQ(description, "Tavik SSI/SPI Box");

    EXPECT_EQ(box.GetDeviceInformation(1, serial, description), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1),
              FTD2xx::Proxy::GetStatusAsString(FTD2xx::STATUS_DEVICE_NOT_FOUND));
    EXPECT_EQ(box.GetDeviceInformation(-1, serial, description), Box::FAILED);

    provider->FailEnumerate(FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(box.GetConnectedDevices(count), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1), kIoError);

    OpenBox();
    const int enumerations = provider->EnumerateCount();
    count = 99;
    EXPECT_EQ(box.GetConnectedDevices(count), Box::NOT_ALLOWED);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(box.GetDeviceInformation(0, serial, description), Box::NOT_ALLOWED);
    EXPECT_EQ(provider->EnumerateCount(), enumerations);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(BoxFixture, OpenConfiguresTheLinkAndWaits)
{
    ASSERT_EQ(box.Open(0), Box::OK);
    EXPECT_TRUE(box.IsOpen());
    EXPECT_EQ(Calls(), (Strings{"Open", "SetLatencyTimer 4", "SetUSBParameters 512 0",
                                "SetTimeouts 200 200"}));
    EXPECT_EQ(sleeps, (std::vector<unsigned int>{400}));
    EXPECT_EQ(box.GetSerial(), "TV100042");
    EXPECT_EQ(box.GetDescription(), "Tavik SSI/SPI Box");

    // Opening again closes first.
    device->ClearCalls();
    ASSERT_EQ(box.Open(0), Box::OK);
    EXPECT_EQ(Calls().front(), "Close");
    EXPECT_EQ(device->OpenCount(), 2);

    box.Close();
    EXPECT_FALSE(box.IsOpen());
    EXPECT_FALSE(device->IsOpen());
    box.Close(); // closing a closed box is harmless
}

TEST_F(BoxFixture, OpenFailureAtEachLinkStepClosesAndReportsTheLinkText)
{
    const Op steps[] = {Op::Open, Op::SetLatencyTimer, Op::SetUSBParameters, Op::SetTimeouts};
    for (Op step : steps)
    {
        device->ClearCalls();
        device->Fail(step, FTD2xx::STATUS_IO_ERROR);
        sleeps.clear();
        EXPECT_EQ(box.Open(0), Box::FAILED);
        EXPECT_EQ(box.GetStatusAsString(1), kIoError);
        EXPECT_FALSE(box.IsOpen());
        EXPECT_FALSE(device->IsOpen());
        EXPECT_TRUE(sleeps.empty());
        ASSERT_FALSE(Calls().empty());
        // Nothing is attempted after the failing step.
        const std::string& last =
            Calls().back() == "Close" ? Calls()[Calls().size() - 2] : Calls().back();
        EXPECT_NE(last.find(" failed"), std::string::npos) << last;
    }
    // A failure of a backend with its own text carries that text.
    device->Fail(Op::SetTimeouts, FTD2xx::MakeErrorStatus("usb cable pulled"));
    EXPECT_EQ(box.Open(0), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(1), "usb cable pulled");
}

TEST_F(BoxFixture, OpenFailsOnUnknownDeviceWithTheInformationText)
{
    EXPECT_EQ(box.Open(3), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1),
              FTD2xx::Proxy::GetStatusAsString(FTD2xx::STATUS_DEVICE_NOT_FOUND));
    EXPECT_TRUE(Calls().empty());
    EXPECT_FALSE(box.IsOpen());
}

TEST_F(BoxFixture, SerialOfAClosedBoxIsAnAssertion)
{
    OpenBox();
    box.Close();
    AssertionRecorder recorder;
    EXPECT_EQ(box.GetSerial(), "TV100042");
    EXPECT_EQ(box.GetDescription(), "Tavik SSI/SPI Box");
    auto& reports = AssertionRecorder::Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].expression, "IsOpen()");
    EXPECT_EQ(reports[0].info, "Box not open");
    EXPECT_EQ(reports[0].file, "Box");
}

TEST_F(BoxFixture, DestructorClosesTheLink)
{
    {
        Box other;
        ASSERT_EQ(other.Open(0), Box::OK);
        EXPECT_TRUE(device->IsOpen());
    }
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(BoxFixture, ResetUsb)
{
    OpenBox();
    EXPECT_EQ(box.ResetUsb(), Box::OK);
    device->Fail(Op::ResetDevice, FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(box.ResetUsb(), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1), kIoError);
    EXPECT_EQ(Calls(), (Strings{"ResetDevice", "ResetDevice failed"}));
}

// --- Command table and transaction ------------------------------------------------------------

struct CommandCase
{
    const char* name;
    Bytes reply;
    std::function<int(Box&)> run;
    Strings calls;
};

TEST_F(BoxFixture, CommandBytesAndReplyLengths)
{
    unsigned int u = 0;
    Box::POWER_MODE pm;
    Box::OUTPUT_MODE om;
    SampleParameter p;
    Values v;
    const CommandCase cases[] = {
        {"Reset",
         {},
         [](Box& b) { return b.Reset(); },
         {"GetStatus", "Write 0C", "SetTimeouts 14 200", "Read 65536", "SetTimeouts 200 200",
          "PurgeInputBuffer"}},
        {"SetPowerMode off",
         {},
         [](Box& b) { return b.SetPowerMode(Box::PWR_OFF); },
         {"GetStatus", "Write 12 00"}},
        {"GetPowerMode",
         {0x08},
         [&](Box& b) { return b.GetPowerMode(pm); },
         {"GetStatus", "Write 13", "Read 1"}},
        {"GetOutput",
         {0x00},
         [&](Box& b) { return b.GetOutput(2, om); },
         {"GetStatus", "Write 15", "Read 1"}},
        {"SetSampleParameter",
         {},
         [&](Box& b) { return b.SetSampleParameter(p); },
         {"GetStatus", "Write 40 83 19 1F 03 01 00 00 24"}},
        {"GetSampleParameter",
         {131, 25, 0x1F, 0x03, 1, 0, 0, 0x24},
         [&](Box& b) { return b.GetSampleParameter(p); },
         {"GetStatus", "Write 41", "Read 8"}},
        {"SetSPIData",
         {},
         [](Box& b) { return b.SetSPIData(0x12345678); },
         {"GetStatus", "Write 42 78 56 34 12"}},
        {"GetSPIData",
         {1, 2, 3, 4},
         [&](Box& b) { return b.GetSPIData(u); },
         {"GetStatus", "Write 43", "Read 4"}},
        {"SetDataMask",
         {},
         [](Box& b) { return b.SetDataMask(0xA1B2C3D4); },
         {"GetStatus", "Write 44 D4 C3 B2 A1"}},
        {"GetDataMask",
         {1, 2, 3, 4},
         [&](Box& b) { return b.GetDataMask(u); },
         {"GetStatus", "Write 45", "Read 4"}},
        {"SetGrayBinaryMask",
         {},
         [](Box& b) { return b.SetGrayBinaryMask(0x000000FF); },
         {"GetStatus", "Write 46 FF 00 00 00"}},
        {"GetGrayBinaryMask",
         {1, 2, 3, 4},
         [&](Box& b) { return b.GetGrayBinaryMask(u); },
         {"GetStatus", "Write 47", "Read 4"}},
        {"TerminateSample",
         {},
         [](Box& b) { return b.TerminateSample(); },
         {"GetStatus", "Write FE", "SetTimeouts 14 200", "Read 65536", "SetTimeouts 200 200",
          "PurgeInputBuffer"}},
        // Last: the command after it first waits for quiet.
        {"Sample",
         {1, 0, 0, 0},
         [&](Box& b) { return b.Sample(v); },
         {"GetStatus", "Write 16", "Read 4"}},
    };
    OpenBox();
    for (const CommandCase& c : cases)
    {
        device->ClearCalls();
        device->AddReply(c.reply);
        EXPECT_EQ(c.run(box), Box::OK) << c.name << ": " << box.GetStatusAsString(1);
        EXPECT_EQ(Calls(), c.calls) << c.name;
        EXPECT_EQ(device->Waiting(), 0u) << c.name;
    }
}

TEST_F(BoxFixture, TransactionPurgesStaleBytesFirst)
{
    OpenBox();
    device->Arrive({0xEE, 0xEE, 0xEE});
    device->AddReply({0x10});
    Box::POWER_MODE mode = Box::PWR_OFF;
    EXPECT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_INTERNAL);
    // The first command after Open waits for quiet (a run another program left), drops the
    // stale bytes and purges.
    EXPECT_EQ(Calls(),
              (Strings{"SetTimeouts 14 200", "Read 65536", "Read 65536", "SetTimeouts 200 200",
                       "PurgeInputBuffer", "GetStatus", "Write 13", "Read 1"}));
}

TEST_F(BoxFixture, LateReplyTimesOutAndIsPurgedByTheNextCommand)
{
    OpenBox();
    const auto start = device->Now();
    device->AddReply({0x18}, 300ms);
    Box::POWER_MODE mode = Box::PWR_INTERNAL_DCDC;
    EXPECT_EQ(box.GetPowerMode(mode), Box::TIMEOUT);
    EXPECT_STREQ(box.GetStatusAsString(Box::TIMEOUT), "TIMEOUT");
    EXPECT_EQ(mode, Box::PWR_INTERNAL_DCDC);
    // The fake ran the clock, not the test: 14 ms of quiet after Open, then the timeout.
    EXPECT_EQ(device->Now() - start, 214ms);

    device->Clock().Advance(50ms);
    device->AddReply({0x00});
    device->ClearCalls();
    // The next command first waits for the late byte, then for a read timeout of quiet.
    EXPECT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_OFF);
    EXPECT_EQ(Calls(), (Strings{"Read 65536", "Read 65536", "PurgeInputBuffer", "GetStatus",
                                "Write 13", "Read 1"}));
}

// After a timeout the next command waits for 200 ms of quiet: a reply up to 400 ms after
// its command is dropped, a later one can pass for the next command's.
TEST_F(BoxFixture, LateRepliesAreDroppedUpTo400MsAfterTheirCommand)
{
    OpenBox();
    const struct
    {
        std::chrono::milliseconds late;
        Box::POWER_MODE read;
    } cases[] = {{395ms, Box::PWR_OFF}, {405ms, Box::PWR_EXTERNAL}};
    for (const auto& c : cases)
    {
        device->Clock().Advance(1s);
        device->AddReply({0x18}, c.late);
        Box::POWER_MODE mode = Box::PWR_OFF;
        EXPECT_EQ(box.GetPowerMode(mode), Box::TIMEOUT);
        device->AddReply({0x00}, 10ms);
        EXPECT_EQ(box.GetPowerMode(mode), Box::OK);
        EXPECT_EQ(mode, c.read) << c.late.count() << " ms";
    }
}

TEST_F(BoxFixture, ReplySplitWithinTheTimeoutIsComplete)
{
    OpenBox();
    device->AddChunkedReply(
        std::vector<LinkFake::Chunk>{{0ms, {0x78, 0x56}}, {150ms, {0x34, 0x12}}});
    unsigned int value = 0;
    EXPECT_EQ(box.GetDataMask(value), Box::OK);
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(BoxFixture, LinkFailuresAtEachTransactionStep)
{
    OpenBox();
    const Op steps[] = {Op::GetStatus, Op::PurgeInputBuffer, Op::Write, Op::Read};
    for (Op step : steps)
    {
        device->Arrive({0xEE}); // so that a purge happens
        device->Fail(step, FTD2xx::STATUS_IO_ERROR);
        device->AddReply({1, 2, 3, 4});
        unsigned int value = 7;
        EXPECT_EQ(box.GetSPIData(value), Box::FAILED);
        EXPECT_EQ(box.GetStatusAsString(1), kIoError);
        EXPECT_EQ(value, 7u);
    }
}

TEST_F(BoxFixture, ShortReplyTimesOutAndLeavesTheArgument)
{
    OpenBox();
    device->AddReply({1, 2, 3});
    unsigned int value = 7;
    EXPECT_EQ(box.GetGrayBinaryMask(value), Box::TIMEOUT);
    EXPECT_EQ(value, 7u);
    device->AddReply({});
    Box::OUTPUT_MODE mode = Box::OUT_LOW_GND;
    EXPECT_EQ(box.GetOutput(0, mode), Box::TIMEOUT);
    EXPECT_EQ(mode, Box::OUT_LOW_GND);
}

// --- Sample parameters -------------------------------------------------------------------------

TEST_F(BoxFixture, SetSampleParameterRefusesAnInvalidSetWithoutSending)
{
    OpenBox();
    SampleParameter p;
    p.SetSampleCount(0);
    EXPECT_EQ(box.SetSampleParameter(p), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(1),
                 "Number of samples is out of range. Must be within [1,...,16777215].");
    EXPECT_TRUE(Calls().empty());
}

TEST_F(BoxFixture, SetSampleParameterSendsDespiteTheSsiWarning)
{
    OpenBox();
    SampleParameter p;
    p.SetFrequence(2666666);
    p.SetSampleCount(3);
    EXPECT_EQ(box.SetSampleParameter(p), Box::OK);
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x40, 130, 25, 0x1F, 0x03, 3, 0, 0, 0x24}}));
    EXPECT_STREQ(box.GetStatusAsString(1),
                 "Clock frequency is above SSI specification. Maximum is 2 MHz.");

    // The stored copy now sizes the sampling reply.
    device->ClearCalls();
    Values values;
    box.Sample(values);
    EXPECT_EQ(Calls().back(), "Read 12");
}

TEST_F(BoxFixture, SetSampleParameterKeepsTheOldCopyWhenSendingFails)
{
    OpenBox();
    SampleParameter p;
    p.SetSampleCount(5);
    device->Fail(Op::Write, FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(box.SetSampleParameter(p), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1), kIoError);
    device->ClearCalls();
    Values values;
    box.Sample(values);
    EXPECT_EQ(Calls().back(), "Read 4");
}

TEST_F(BoxFixture, GetSampleParameter)
{
    OpenBox();
    SampleParameter p;
    device->AddReply({255, 12, 0x9F, 0x00, 2, 0, 0, 0xC4});
    ASSERT_EQ(box.GetSampleParameter(p), Box::OK);
    EXPECT_EQ(p.GetMode(), SampleParameter::SPI_Gray);
    EXPECT_EQ(p.GetFrequence(), 62500u);
    EXPECT_EQ(p.GetDataBits(), 12u);
    EXPECT_EQ(p.GetDelay(), 10u);
    EXPECT_EQ(p.GetSampleCount(), 2u);

    // An invalid block overwrites p and fails; the stored copy stays (2 readings).
    device->AddReply({255, 12, 0x9F, 0x00, 9, 0, 0, 0x00});
    EXPECT_EQ(box.GetSampleParameter(p), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(1),
                 "Invalid serial mode. Must be one of [0x24,0xA4,0x44,0xC4].");
    EXPECT_EQ(p.GetSampleCount(), 9u);

    // A timeout leaves p alone.
    device->AddReply({1, 2, 3});
    EXPECT_EQ(box.GetSampleParameter(p), Box::TIMEOUT);
    EXPECT_EQ(p.GetSampleCount(), 9u);

    device->ClearCalls();
    Values values;
    box.Sample(values);
    EXPECT_EQ(Calls().back(), "Read 8");
}

// --- Sampling ------------------------------------------------------------------------------------

TEST_F(BoxFixture, SampleFullReply)
{
    OpenBox();
    device->AddReply({0x78, 0x56, 0x34, 0x12});
    Values values{9, 9, 9};
    EXPECT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, (Values{0x12345678}));
}

TEST_F(BoxFixture, SamplePartialReplyAndTimeout)
{
    OpenBox();
    SampleParameter p;
    p.SetSampleCount(3);
    ASSERT_EQ(box.SetSampleParameter(p), Box::OK);

    device->AddReply({1, 0, 0, 0, 2, 0});
    Values values;
    EXPECT_EQ(box.Sample(values), Box::TIMEOUT);
    EXPECT_EQ(values, (Values{1}));

    ASSERT_EQ(box.TerminateSample(), Box::OK);
    device->AddReply({});
    EXPECT_EQ(box.Sample(values), Box::TIMEOUT);
    EXPECT_TRUE(values.empty());
    ASSERT_EQ(box.TerminateSample(), Box::OK);

    // A failure before the read leaves sample-count zeros.
    device->Fail(Op::Write, FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(box.Sample(values), Box::FAILED);
    EXPECT_EQ(values, (Values{0, 0, 0}));

    device->Fail(Op::Read, FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(box.Sample(values), Box::FAILED);
    EXPECT_TRUE(values.empty());
}

namespace
{

// A link whose reads hand back more bytes than were asked for, with `status`.
struct OverfullReadDevice : FTD2xx::DeviceBackend
{
    explicit OverfullReadDevice(int status) : status(status) {}
    int status;
    int SetLatencyTimer(unsigned char) override { return 0; }
    int SetUSBParameters(unsigned long, unsigned long) override { return 0; }
    int SetTimeouts(unsigned long, unsigned long) override { return 0; }
    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events) override
    {
        rx = tx = events = 0;
        return 0;
    }
    int PurgeInputBuffer() override { return 0; }
    int ResetDevice() override { return 0; }
    int Write(const std::vector<unsigned char>& data, unsigned long& written) override
    {
        written = static_cast<unsigned long>(data.size());
        return 0;
    }
    int Read(std::vector<unsigned char>& buffer, unsigned long length) override
    {
        if (length == 65536) // a drain: the line is quiet
        {
            buffer.clear();
            return FTD2xx::STATUS_READ_TIMEOUT;
        }
        buffer.assign(length + 8, 0xAB);
        return status;
    }
};

struct OverfullReadProvider : FTD2xx::DeviceProvider
{
    explicit OverfullReadProvider(int status = FTD2xx::STATUS_IO_ERROR) : status(status) {}
    int status;
    int Enumerate(std::vector<FTD2xx::DeviceInfo>& devices) override
    {
        devices = {{"X1", "overfull"}};
        return 0;
    }
    int Open(const FTD2xx::DeviceInfo&, std::unique_ptr<FTD2xx::DeviceBackend>& b) override
    {
        b = std::make_unique<OverfullReadDevice>(status);
        return 0;
    }
};

} // namespace

TEST_F(BoxFixture, FailedSampleNeverHoldsMoreThanTheSampleCount)
{
    LinkFake::ScopedProviders overfull({std::make_shared<OverfullReadProvider>()});
    ASSERT_EQ(box.Open(0), Box::OK);
    Values values;
    EXPECT_EQ(box.Sample(values), Box::FAILED);
    EXPECT_EQ(values.size(), 1u);
}

// The real receive queue never does this, but an OK answer must carry the reply and
// nothing cut from more bytes.
TEST_F(BoxFixture, OverlongReplyWithSuccessFails)
{
    LinkFake::ScopedProviders overfull({std::make_shared<OverfullReadProvider>(FTD2xx::STATUS_OK)});
    ASSERT_EQ(box.Open(0), Box::OK);
    unsigned mask = 7;
    EXPECT_EQ(box.GetDataMask(mask), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Reply of 12 bytes from box where 4 were expected.");
    EXPECT_EQ(mask, 7u);
    Box::OUTPUT_MODE mode = Box::OUT_HIGH_UB;
    EXPECT_EQ(box.GetOutput(0, mode), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Reply of 9 bytes from box where 1 were expected.");
    EXPECT_EQ(mode, Box::OUT_HIGH_UB);
    // A Sample so answered brought all its readings: collecting ends its run.
    Values values;
    EXPECT_EQ(box.Sample(values), Box::FAILED);
    EXPECT_EQ(box.GetNextSamples(values), Box::OK);
    EXPECT_EQ(box.GetDataMask(mask), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Reply of 12 bytes from box where 4 were expected.");
}

TEST_F(BoxFixture, LongRunIsCollectedWithGetNextSamples)
{
    OpenBox();
    SampleParameter p;
    p.SetSampleCount(6);
    ASSERT_EQ(box.SetSampleParameter(p), Box::OK);
    // One reading every 90 ms: two arrive within the 200 ms timeout.
    std::vector<LinkFake::Chunk> run;
    for (unsigned char i = 1; i <= 6; ++i)
        run.push_back({std::chrono::milliseconds(90 * i), {i, 0, 0, i}});
    device->AddChunkedReply(run);

    Values collected;
    EXPECT_EQ(box.Sample(collected), Box::TIMEOUT);
    EXPECT_EQ(collected.size(), 2u);
    device->ClearCalls();
    for (int tick = 0; tick < 10; ++tick)
    {
        device->Clock().Advance(100ms);
        Values more{42};
        ASSERT_EQ(box.GetNextSamples(more), Box::OK);
        collected.insert(collected.end(), more.begin(), more.end());
    }
    Values expected;
    for (unsigned int i = 1; i <= 6; ++i)
        expected.push_back(i | i << 24);
    EXPECT_EQ(collected, expected);
    // No command went out while collecting.
    EXPECT_TRUE(device->Writes().size() == 2u);
    for (const std::string& call : Calls())
        EXPECT_TRUE(call == "GetStatus" || call.rfind("Read ", 0) == 0) << call;
}

TEST_F(BoxFixture, GetNextSamplesLeavesAPartialReadingQueued)
{
    OpenBox();
    device->Arrive({1, 0, 0, 0, 0xAA, 0xBB});
    Values values;
    EXPECT_EQ(box.GetNextSamples(values), Box::OK);
    EXPECT_EQ(values, (Values{1}));
    EXPECT_EQ(device->Waiting(), 2u);
    EXPECT_EQ(Calls(), (Strings{"GetStatus", "Read 4"}));

    values = {5};
    EXPECT_EQ(box.GetNextSamples(values), Box::OK);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(device->Waiting(), 2u);
}

TEST_F(BoxFixture, GetNextSamplesFailuresLeaveValues)
{
    OpenBox();
    device->Arrive({1, 0, 0, 0});
    Values values{7};
    device->Fail(Op::GetStatus, FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(box.GetNextSamples(values), Box::FAILED);
    EXPECT_EQ(box.GetStatusAsString(1), kIoError);
    device->Fail(Op::Read, FTD2xx::STATUS_READ_TIMEOUT);
    EXPECT_EQ(box.GetNextSamples(values), Box::FAILED); // a timeout here is a failure
    EXPECT_EQ(values, (Values{7}));
}

TEST_F(BoxFixture, TerminateSampleDropsUncollectedReadings)
{
    OpenBox();
    device->Arrive({1, 2, 3, 4, 5, 6, 7, 8});
    // Readings still in flight when 0xFE goes out arrive 1 and 3 ms later.
    device->AddChunkedReply({{1ms, {9, 9, 9, 9}}, {3ms, {9, 9}}});
    EXPECT_EQ(box.TerminateSample(), Box::OK);
    EXPECT_EQ(Calls(),
              (Strings{"GetStatus", "PurgeInputBuffer", "Write FE", "SetTimeouts 14 200",
                       "Read 65536", "Read 65536", "SetTimeouts 200 200", "PurgeInputBuffer"}));
    EXPECT_EQ(device->Waiting(), 0u);
    EXPECT_EQ(device->Scheduled(), 0u);
}

TEST_F(BoxFixture, TerminateSampleFailsWhenTheBoxDoesNotFallSilent)
{
    OpenBox();
    std::vector<LinkFake::Chunk> endless;
    for (int ms = 1; ms < 1000; ms += 5)
        endless.push_back({std::chrono::milliseconds(ms), {1, 2, 3, 4}});
    device->AddChunkedReply(endless);
    EXPECT_EQ(box.TerminateSample(), Box::FAILED);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "The box kept sending for 280 ms although no reply or reading was due.");
    EXPECT_EQ(device->ReadTimeoutMs(), 200u);
}

TEST(SplitStMt, Widths)
{
    unsigned int st = 1, mt = 1;
    Tavik::SplitStMt(13, 12, 0x01ABCDEF, st, mt);
    EXPECT_EQ(st, 0x01ABCDEFu & 0x1FFF);
    EXPECT_EQ(mt, (0x01ABCDEFu >> 13) & 0xFFF);
    Tavik::SplitStMt(0, 32, 0xDEADBEEF, st, mt);
    EXPECT_EQ(st, 0u);
    EXPECT_EQ(mt, 0xDEADBEEFu);
    Tavik::SplitStMt(32, 0, 0xDEADBEEF, st, mt);
    EXPECT_EQ(st, 0xDEADBEEFu);
    EXPECT_EQ(mt, 0u);
    Tavik::SplitStMt(32, 8, 0xDEADBEEF, st, mt);
    EXPECT_EQ(st, 0xDEADBEEFu);
    EXPECT_EQ(mt, 0u);
    Tavik::SplitStMt(40, 40, 0xDEADBEEF, st, mt);
    EXPECT_EQ(st, 0xDEADBEEFu);
    EXPECT_EQ(mt, 0u);
    Tavik::SplitStMt(31, 40, 0xDEADBEEF, st, mt);
    EXPECT_EQ(st, 0x5EADBEEFu);
    EXPECT_EQ(mt, 1u);
    Tavik::SplitStMt(0, 0, 0xDEADBEEF, st, mt);
    EXPECT_EQ(st, 0u);
    EXPECT_EQ(mt, 0u);
}

// --- Power ---------------------------------------------------------------------------------------

TEST(BoxNames, PowerAndOutputModes)
{
    const char* power[] = {"PWR_OFF", "PWR_EXTERNAL", "PWR_INTERNAL_DCDC", "PWR_INTERNAL"};
    for (unsigned int i = 0; i < 4; ++i)
    {
        auto mode = static_cast<Box::POWER_MODE>(i);
        EXPECT_STREQ(Box::GetPowerModeAsString(mode), power[i]);
        Box::POWER_MODE parsed = Box::PWR_OFF;
        EXPECT_TRUE(Box::GetPowerModeAsEnum(power[i], parsed));
        EXPECT_EQ(parsed, mode);
    }
    Box::POWER_MODE m = Box::PWR_EXTERNAL;
    EXPECT_FALSE(Box::GetPowerModeAsEnum("pwr_off", m));
    EXPECT_FALSE(Box::GetPowerModeAsEnum("PWR_OFF ", m));
    EXPECT_FALSE(Box::GetPowerModeAsEnum("", m));
    EXPECT_FALSE(Box::GetPowerModeAsEnum(nullptr, m));
    EXPECT_EQ(m, Box::PWR_EXTERNAL);

    EXPECT_STREQ(Box::GetOutputModeAsString(Box::OUT_OPEN), "OUT_OPEN");
    EXPECT_STREQ(Box::GetOutputModeAsString(Box::OUT_LOW_GND), "OUT_LOW_GND");
    EXPECT_STREQ(Box::GetOutputModeAsString(Box::OUT_HIGH_UB), "OUT_HIGH_UB");

    AssertionRecorder recorder;
    auto& reports = AssertionRecorder::Reports();
    EXPECT_STREQ(Box::GetPowerModeAsString(static_cast<Box::POWER_MODE>(4)), "");
    EXPECT_STREQ(Box::GetOutputModeAsString(static_cast<Box::OUTPUT_MODE>(0x1F)), "");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].expression, "false");
    EXPECT_EQ(reports[0].info, "Invalid enum POWER_MODE ( 0x4 ).");
    EXPECT_EQ(reports[1].info, "Invalid enum OUTPUT_MODE ( 0x1f ).");
    EXPECT_EQ(reports[1].file, "Box");
}

TEST_F(BoxFixture, PowerIsOnlySwitchedOnFromOff)
{
    OpenBox();
    device->AddReply({0x10}); // PWR_INTERNAL
    EXPECT_EQ(box.SetPowerMode(Box::PWR_EXTERNAL), Box::NOT_ALLOWED);
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x13}}));

    device->ClearWrites();
    EXPECT_EQ(box.SetPowerMode(Box::PWR_OFF), Box::OK);
    device->AddReply({0x00});
    EXPECT_EQ(box.SetPowerMode(Box::PWR_EXTERNAL), Box::OK);
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x12, 0x00}, {0x13}, {0x12, 0x18}}));

    const std::pair<Box::POWER_MODE, unsigned char> codes[] = {
        {Box::PWR_INTERNAL_DCDC, 0x08},
        {Box::PWR_INTERNAL, 0x10},
        {static_cast<Box::POWER_MODE>(9), 0x00}};
    for (auto [mode, code] : codes)
    {
        device->ClearWrites();
        device->AddReply({0x00});
        EXPECT_EQ(box.SetPowerMode(mode), Box::OK);
        EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x13}, {0x12, code}}));
    }
}

TEST_F(BoxFixture, PowerCheckFailureIsReturnedAsIs)
{
    OpenBox();
    device->AddReply({});
    EXPECT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::TIMEOUT);
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x13}}));
}

// A garbled reply comes from outside the program: an error line, not a report.
TEST_F(BoxFixture, UnknownPowerCodeFailsWithoutAReport)
{
    DriverTest::ScopedWorkDir dir; // no handler: a report would throw
    OpenBox();
    device->AddReply({0x42});
    Box::POWER_MODE mode = Box::PWR_INTERNAL_DCDC;
    EXPECT_EQ(box.GetPowerMode(mode), Box::FAILED);
    EXPECT_EQ(mode, Box::PWR_INTERNAL_DCDC);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Unknown response ( 0x42 ) from box while reading power mode");

    // Nor is the supply switched on from an unknown state.
    device->AddReply({0x42});
    EXPECT_EQ(box.SetPowerMode(Box::PWR_EXTERNAL), Box::FAILED);
    EXPECT_EQ(device->Writes().back(), Bytes{0x13});
}

// --- Outputs -------------------------------------------------------------------------------------

TEST_F(BoxFixture, SetOutputChangesOnlyItsTwoBits)
{
    OpenBox();
    device->AddReply({0x01});
    EXPECT_EQ(box.SetOutput(1, Box::OUT_HIGH_UB), Box::OK);
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x15}, {0x14, 0x09}}));
    device->AddReply({0x09});
    Box::OUTPUT_MODE mode = Box::OUT_OPEN;
    EXPECT_EQ(box.GetOutput(1, mode), Box::OK);
    EXPECT_EQ(mode, Box::OUT_HIGH_UB);

    for (unsigned int state = 0; state < 256; state += 7)
        for (int index = 0; index < 3; ++index)
            for (unsigned int m = 0; m < 3; ++m)
            {
                device->ClearWrites();
                device->AddReply({static_cast<unsigned char>(state)});
                ASSERT_EQ(box.SetOutput(index, static_cast<Box::OUTPUT_MODE>(m)), Box::OK);
                const unsigned char sent = device->Writes().back().at(1);
                EXPECT_EQ((sent >> (2 * index)) & 3u, m);
                const unsigned int others = 0xFFu & ~(3u << (2 * index));
                EXPECT_EQ(sent & others, state & others) << state << " " << index;
            }
}

TEST_F(BoxFixture, GetOutputReadsEachIndex)
{
    OpenBox();
    // Outputs 0..2 = HIGH, LOW, OPEN; bits 6, 7 set.
    for (int index = 0; index < 3; ++index)
    {
        device->AddReply({0xC6});
        Box::OUTPUT_MODE mode = Box::OUT_OPEN;
        EXPECT_EQ(box.GetOutput(index, mode), Box::OK);
        const Box::OUTPUT_MODE expected[] = {Box::OUT_HIGH_UB, Box::OUT_LOW_GND, Box::OUT_OPEN};
        EXPECT_EQ(mode, expected[index]);
    }
}

TEST_F(BoxFixture, OutputIndexAndModeOutOfRange)
{
    OpenBox();
    Box::OUTPUT_MODE mode = Box::OUT_LOW_GND;
    EXPECT_EQ(box.SetOutput(3, Box::OUT_OPEN), Box::INVALID_PARAMETER);
    EXPECT_EQ(box.SetOutput(-1, Box::OUT_OPEN), Box::INVALID_PARAMETER);
    EXPECT_EQ(box.GetOutput(-1, mode), Box::INVALID_PARAMETER);
    EXPECT_EQ(box.GetOutput(3, mode), Box::INVALID_PARAMETER);
    EXPECT_STREQ(box.GetStatusAsString(3), "INVALID_PARAMETER");
    // A mode wider than two bits would change the neighbouring output.
    EXPECT_EQ(box.SetOutput(0, static_cast<Box::OUTPUT_MODE>(3)), Box::INVALID_PARAMETER);
    EXPECT_EQ(box.SetOutput(0, static_cast<Box::OUTPUT_MODE>(6)), Box::INVALID_PARAMETER);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(mode, Box::OUT_LOW_GND);
}

TEST_F(BoxFixture, OutputStateThreeFailsWithoutAReport)
{
    DriverTest::ScopedWorkDir dir;
    OpenBox();
    device->AddReply({0x30});
    Box::OUTPUT_MODE mode = Box::OUT_LOW_GND;
    EXPECT_EQ(box.GetOutput(2, mode), Box::FAILED);
    EXPECT_EQ(mode, Box::OUT_LOW_GND);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Unknown response ( 0x3 ) from box while reading output mode");
}

TEST_F(BoxFixture, SetOutputReadFailureIsReturnedAsIs)
{
    OpenBox();
    device->AddReply({});
    EXPECT_EQ(box.SetOutput(0, Box::OUT_HIGH_UB), Box::TIMEOUT);
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{{0x15}}));
}

// --- Registers -----------------------------------------------------------------------------------

TEST_F(BoxFixture, RegistersRoundTripLittleEndian)
{
    OpenBox();
    using Setter = int (Box::*)(unsigned int);
    using Getter = int (Box::*)(unsigned int&) const;
    const std::tuple<Setter, Getter, unsigned char> registers[] = {
        {&Box::SetSPIData, &Box::GetSPIData, 0x42},
        {&Box::SetDataMask, &Box::GetDataMask, 0x44},
        {&Box::SetGrayBinaryMask, &Box::GetGrayBinaryMask, 0x46},
    };
    for (auto [set, get, command] : registers)
    {
        device->ClearWrites();
        EXPECT_EQ((box.*set)(0xCAFEF00D), Box::OK);
        EXPECT_EQ(device->Writes().back(), (Bytes{command, 0x0D, 0xF0, 0xFE, 0xCA}));
        device->AddReply({0x0D, 0xF0, 0xFE, 0xCA});
        unsigned int value = 0;
        EXPECT_EQ((box.*get)(value), Box::OK);
        EXPECT_EQ(device->Writes().back(), Bytes{static_cast<unsigned char>(command + 1)});
        EXPECT_EQ(value, 0xCAFEF00Du);
    }
}
