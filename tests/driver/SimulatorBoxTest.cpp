// The driver's commands end to end against the box simulator.

#include "tests/driver/DriverTestSupport.h"
#include "tests/driver/SimulatorFixture.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using DriverTest::AssertionRecorder;
using DriverTest::SimulatorFixture;
using Tavik::Box;
using Tavik::SampleParameter;

TEST_F(SimulatorFixture, OpenAppliesTheLinkSettingsAndKnowsTheBox)
{
    EXPECT_EQ(box.GetSerial(), "SIM00001");
    EXPECT_EQ(box.GetDescription(), FTD2xx::SimulatorProvider::kDescription);
    EXPECT_EQ(sim->GetLatencyTimer(), 4);
    EXPECT_EQ(sim->GetReadTimeoutMs(), 200u);
    EXPECT_TRUE(sim->IsOpen());
    box.Close();
    EXPECT_FALSE(sim->IsOpen());
}

TEST_F(SimulatorFixture, StaleLateReplyIsPurgedByTheNextCommand)
{
    ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);
    sim->SetFaults({.lateReplyMs = 250});
    Box::POWER_MODE mode = Box::PWR_OFF;
    EXPECT_EQ(box.GetPowerMode(mode), Box::TIMEOUT);
    EXPECT_EQ(mode, Box::PWR_OFF) << "a failed read leaves the argument alone";
    clock.Advance(100ms); // the late byte arrives now
    sim->SetFaults({});

    // Without the purge the stale 0x10 would become the first byte of this reply.
    unsigned mask = 0;
    ASSERT_EQ(box.GetDataMask(mask), Box::OK);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
    ASSERT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_INTERNAL);
}

TEST_F(SimulatorFixture, SupplyIsOnlySwitchedOnFromOff)
{
    ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);
    EXPECT_EQ(sim->GetPowerCode(), 0x10);

    const auto commands = sim->GetCommandCount();
    EXPECT_EQ(box.SetPowerMode(Box::PWR_EXTERNAL), Box::NOT_ALLOWED);
    EXPECT_EQ(sim->GetCommandCount(), commands + 1) << "only the query went out";
    EXPECT_EQ(sim->GetPowerCode(), 0x10);

    ASSERT_EQ(box.SetPowerMode(Box::PWR_OFF), Box::OK);
    EXPECT_EQ(sim->GetPowerCode(), 0x00);
    ASSERT_EQ(box.SetPowerMode(Box::PWR_EXTERNAL), Box::OK);
    EXPECT_EQ(sim->GetPowerCode(), 0x18);
    ASSERT_EQ(box.SetPowerMode(Box::PWR_OFF), Box::OK);
    ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL_DCDC), Box::OK);
    Box::POWER_MODE mode = Box::PWR_OFF;
    ASSERT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_INTERNAL_DCDC);
}

TEST_F(SimulatorFixture, UnknownPowerCodeFromAFaultyBoxFails)
{
    AssertionRecorder recorder;
    sim->SetPowerCode(0x42);
    Box::POWER_MODE mode = Box::PWR_INTERNAL;
    EXPECT_EQ(box.GetPowerMode(mode), Box::FAILED);
    EXPECT_EQ(mode, Box::PWR_INTERNAL);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Unknown response ( 0x42 ) from box while reading power mode");
    EXPECT_TRUE(AssertionRecorder::Reports().empty());
}

TEST_F(SimulatorFixture, OutputBitsChangeOneOutputAndKeepBits6And7)
{
    sim->SetOutputByte(0xC1);
    ASSERT_EQ(box.SetOutput(1, Box::OUT_HIGH_UB), Box::OK);
    EXPECT_EQ(sim->GetOutputByte(), 0xC9);
    ASSERT_EQ(box.SetOutput(2, Box::OUT_LOW_GND), Box::OK);
    EXPECT_EQ(sim->GetOutputByte(), 0xD9);
    ASSERT_EQ(box.SetOutput(0, Box::OUT_OPEN), Box::OK);
    EXPECT_EQ(sim->GetOutputByte(), 0xD8);

    Box::OUTPUT_MODE mode = Box::OUT_OPEN;
    ASSERT_EQ(box.GetOutput(1, mode), Box::OK);
    EXPECT_EQ(mode, Box::OUT_HIGH_UB);
    ASSERT_EQ(box.GetOutput(2, mode), Box::OK);
    EXPECT_EQ(mode, Box::OUT_LOW_GND);
    ASSERT_EQ(box.GetOutput(0, mode), Box::OK);
    EXPECT_EQ(mode, Box::OUT_OPEN);

    const auto commands = sim->GetCommandCount();
    EXPECT_EQ(box.SetOutput(3, Box::OUT_OPEN), Box::INVALID_PARAMETER);
    EXPECT_EQ(box.GetOutput(-1, mode), Box::INVALID_PARAMETER);
    EXPECT_EQ(sim->GetCommandCount(), commands);
}

TEST_F(SimulatorFixture, OutputState3FromAFaultyBoxFails)
{
    AssertionRecorder recorder;
    sim->SetOutputByte(0x0C); // output 1 in state 3
    Box::OUTPUT_MODE mode = Box::OUT_LOW_GND;
    EXPECT_EQ(box.GetOutput(1, mode), Box::FAILED);
    EXPECT_EQ(mode, Box::OUT_LOW_GND);
    EXPECT_STREQ(box.GetStatusAsString(Box::FAILED),
                 "Unknown response ( 0x3 ) from box while reading output mode");
    EXPECT_TRUE(AssertionRecorder::Reports().empty());
}

TEST_F(SimulatorFixture, RegistersRoundTrip)
{
    ASSERT_EQ(box.SetDataMask(0x01FFE000), Box::OK);
    ASSERT_EQ(box.SetGrayBinaryMask(0x00001FFF), Box::OK);
    ASSERT_EQ(box.SetSPIData(0xA5C3E1F0), Box::OK);
    EXPECT_EQ(sim->GetDataMask(), 0x01FFE000u);
    EXPECT_EQ(sim->GetGrayMask(), 0x00001FFFu);
    EXPECT_EQ(sim->GetSPIData(), 0xA5C3E1F0u);
    unsigned value = 0;
    ASSERT_EQ(box.GetDataMask(value), Box::OK);
    EXPECT_EQ(value, 0x01FFE000u);
    ASSERT_EQ(box.GetGrayBinaryMask(value), Box::OK);
    EXPECT_EQ(value, 0x00001FFFu);
    ASSERT_EQ(box.GetSPIData(value), Box::OK);
    EXPECT_EQ(value, 0xA5C3E1F0u);
}

TEST_F(SimulatorFixture, MasksShapeTheReadings)
{
    sim->SetEncoder({.rpm = 0.06}); // slow: the position stays put while we look
    ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);
    clock.SleepUntil(FTD2xx::Clock::TimePoint{} + 2750s); // 2.75 turns: turn 2, step 6144
    const unsigned position = (2u << 13) | 6144u;

    std::vector<unsigned> values;
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, std::vector<unsigned>{position});
    ASSERT_EQ(box.SetDataMask(0x00001FFF), Box::OK); // singleturn only
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, std::vector<unsigned>{6144u});

    // A Gray encoder read in SSI_Gray mode with the Gray mask over the frame.
    ASSERT_EQ(box.SetDataMask(0xFFFFFFFF), Box::OK);
    sim->SetEncoder({.rpm = 0.06, .gray = true});
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, std::vector<unsigned>{position ^ (position >> 1)}) << "binary mode";
    SetParameters(SampleParameter::SSI_Gray, 2000000, 25, 50, 1);
    ASSERT_EQ(box.SetGrayBinaryMask(0x01FFFFFF), Box::OK);
    ASSERT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values, std::vector<unsigned>{position});
}

TEST_F(SimulatorFixture, ParameterSetsRoundTrip)
{
    struct Case
    {
        SampleParameter::SERIAL_MODE mode;
        unsigned hz, bits, delay, count;
    };
    for (const Case& c : {Case{SampleParameter::SSI_Binary, 62500, 0, 10, 1},
                          Case{SampleParameter::SSI_Gray, 1000000, 17, 100, 1234},
                          Case{SampleParameter::SPI_Binary, 8000000, 63, 4096, 16777215},
                          Case{SampleParameter::SPI_Gray, 2666666, 32, 777, 65536}})
    {
        SampleParameter sent;
        sent.SetMode(c.mode);
        sent.SetFrequence(c.hz);
        sent.SetDataBits(c.bits);
        sent.SetDelay(c.delay);
        sent.SetSampleCount(c.count);
        ASSERT_EQ(box.SetSampleParameter(sent), Box::OK) << box.GetStatusAsString(1);

        std::vector<unsigned char> block;
        sent.Export(block);
        const auto stored = sim->GetParameterBlock();
        EXPECT_EQ(block, std::vector<unsigned char>(stored.begin(), stored.end()));

        SampleParameter back;
        ASSERT_EQ(box.GetSampleParameter(back), Box::OK) << box.GetStatusAsString(1);
        EXPECT_EQ(back.GetMode(), sent.GetMode());
        EXPECT_EQ(back.GetFrequence(), sent.GetFrequence());
        EXPECT_EQ(back.GetDataBits(), sent.GetDataBits());
        EXPECT_EQ(back.GetDelay(), sent.GetDelay());
        EXPECT_EQ(back.GetSampleCount(), sent.GetSampleCount());
    }
}

TEST_F(SimulatorFixture, SsiAbove2MHzIsSentWithAWarning)
{
    SampleParameter p;
    p.SetFrequence(2666666);
    ASSERT_EQ(box.SetSampleParameter(p), Box::OK);
    EXPECT_STREQ(box.GetStatusAsString(1),
                 "Clock frequency is above SSI specification. Maximum is 2 MHz.");
    EXPECT_EQ(sim->GetParameterBlock()[0], 130);
}

TEST_F(SimulatorFixture, ModeByteOutsideTheTableFromAFaultyBoxFailsValidation)
{
    sim->SetParameterBlock({131, 25, 0x1F, 0x03, 1, 0, 0, 0x00});
    SampleParameter p;
    EXPECT_EQ(box.GetSampleParameter(p), Box::FAILED);
    EXPECT_EQ(static_cast<unsigned>(p.GetMode()), 0xFFFFu);
    EXPECT_STREQ(box.GetStatusAsString(1),
                 "Invalid serial mode. Must be one of [0x24,0xA4,0x44,0xC4].");

    // The box's stored copy was not replaced: a sample still expects one reading.
    std::vector<unsigned> values;
    EXPECT_EQ(box.Sample(values), Box::OK);
    EXPECT_EQ(values.size(), 1u);
}

TEST_F(SimulatorFixture, ResetRestoresThePowerOnState)
{
    ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);
    ASSERT_EQ(box.SetOutput(2, Box::OUT_HIGH_UB), Box::OK);
    ASSERT_EQ(box.SetDataMask(0xFF), Box::OK);
    SetParameters(SampleParameter::SPI_Binary, 8000000, 12, 20, 99);
    ASSERT_EQ(box.Reset(), Box::OK);

    Box::POWER_MODE mode = Box::PWR_INTERNAL;
    ASSERT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_OFF);
    unsigned mask = 0;
    ASSERT_EQ(box.GetDataMask(mask), Box::OK);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
    SampleParameter p, defaults;
    ASSERT_EQ(box.GetSampleParameter(p), Box::OK);
    EXPECT_EQ(p.GetSampleCount(), defaults.GetSampleCount());
    EXPECT_EQ(p.GetDataBits(), defaults.GetDataBits());
    EXPECT_EQ(p.GetFrequence(), defaults.GetFrequence());
}

TEST_F(SimulatorFixture, UsbResetKeepsTheBoxState)
{
    ASSERT_EQ(box.SetPowerMode(Box::PWR_EXTERNAL), Box::OK);
    ASSERT_EQ(box.ResetUsb(), Box::OK);
    Box::POWER_MODE mode = Box::PWR_OFF;
    ASSERT_EQ(box.GetPowerMode(mode), Box::OK);
    EXPECT_EQ(mode, Box::PWR_EXTERNAL);
}

TEST_F(SimulatorFixture, StateSurvivesReopening)
{
    ASSERT_EQ(box.SetSPIData(0x12345678), Box::OK);
    box.Close();
    ASSERT_EQ(box.Open(0), Box::OK);
    unsigned value = 0;
    ASSERT_EQ(box.GetSPIData(value), Box::OK);
    EXPECT_EQ(value, 0x12345678u);
}
