// The main window's box logic without a window, which tavik-cli shares: the session against
// simulated boxes on a manual clock, checked through its view, its history lines, the outcomes
// it answers and the box's registers.

#include "app/core/BoxSession.h"
#include "app/core/HistorySink.h"
#include "base/IniFile.h"
#include "base/Support.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorProvider.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>

using namespace App;
using Lines = std::vector<std::string>;
using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
class BoxSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Box::SetSleepFunction([](unsigned) {});
        Simulate({});
        ASSERT_TRUE(m_Ini.OpenEmpty().IsOk());
    }
    void TearDown() override
    {
        m_Session.reset();
        m_Box.reset();
        FTD2xx::Proxy::UseDefaultProviders();
        Box::SetSleepFunction({});
    }
    void Simulate(FTD2xx::SimulatorFaults faults, unsigned boxes = 1)
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = boxes;
        config.encoder.rpm = 0;
        config.faults = faults;
        m_Sim = std::make_shared<FTD2xx::SimulatorProvider>(config, m_Clock);
        FTD2xx::Proxy::SetProviders({m_Sim});
    }
    void Ini(const std::string& content)
    {
        std::ofstream(m_IniName) << content;
        ASSERT_TRUE(m_Ini.Open(m_IniName.c_str()).IsOk());
    }
    BoxSession& Session()
    {
        if (!m_Session)
        {
            m_Box = std::make_unique<Box>();
            m_Session = std::make_unique<BoxSession>(*m_Box, m_Sink, m_Ini);
            m_Session->Init();
        }
        return *m_Session;
    }
    const BoxView& View() { return Session().View(); }
    FTD2xx::SimulatedBox& Sim() { return *m_Sim->GetBox(0); }
    Lines NewLines() { return m_Sink.TakeNew(); }
    // Connects to the first box, with the lines of the start-up taken.
    Outcome Connect()
    {
        Session();
        NewLines();
        return Session().ConnectOrDisconnect();
    }
    void PowerOn()
    {
        Connect();
        ASSERT_TRUE(Session().TogglePower());
        ASSERT_EQ(View().state, GS_POWERED);
    }
    static std::string Connected()
    {
        return "Connected to device '" + std::string(FTD2xx::SimulatorProvider::kDescription) +
               "', serial 'SIM00001'.";
    }

    FTD2xx::ManualClock m_Clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> m_Sim;
    zef::IniFile m_Ini;
    // One name per process: ctest runs test cases side by side in the same directory.
    const std::string m_IniName = "BoxSessionTest-" + std::to_string(::getpid()) + ".ini";
    VectorSink m_Sink;
    std::unique_ptr<Box> m_Box;
    std::unique_ptr<BoxSession> m_Session;
};
} // namespace

TEST_F(BoxSessionTest, StartsDisconnectedWithTheFirstBoxSelected)
{
    EXPECT_EQ(View().state, GS_DISCONNECTED);
    ASSERT_EQ(View().devices.size(), 1u);
    EXPECT_EQ(View().selectedDevice, 0);
    EXPECT_EQ(View().clock, 8000000u);
    EXPECT_EQ(View().stBits, 12u);
    EXPECT_EQ(View().mtBits, 13u);
    EXPECT_EQ(View().modes.size(), 2u);
    EXPECT_EQ(m_Sink.Texts(), (std::vector<std::string>{"1 connected device(s) found."}));
}

TEST_F(BoxSessionTest, IniMasksWinOverTheMasksDerivedFromTheBitCounts)
{
    // Only the data mask is given: its commit copies it into the Gray mask, as typing does.
    Ini("[Default]\nStBits=10\nMtBits=6\nBinaryDataFilter=255\n");
    Session().ConnectOrDisconnect();
    EXPECT_EQ(View().state, GS_CONNECTED);
    EXPECT_EQ(View().dataFilter, 0xFFu);
    EXPECT_EQ(View().grayCodeFilter, 0xFFu);
    EXPECT_EQ(Sim().GetDataMask(), 0xFFu);
    EXPECT_EQ(Sim().GetGrayMask(), 0xFFu);
}

TEST_F(BoxSessionTest, WithoutIniMasksTheBitCountsDecideBothMasks)
{
    Ini("[Default]\nStBits=10\nMtBits=6\n");
    Session().ConnectOrDisconnect();
    EXPECT_EQ(View().dataFilter, 0xFFFFu);
    EXPECT_EQ(View().grayCodeFilter, 0xFFFFu);
    EXPECT_EQ(Sim().GetGrayMask(), 0xFFFFu);
    SampleParameter p;
    ASSERT_EQ(Session().GetBox().GetSampleParameter(p), Box::OK);
    EXPECT_EQ(p.GetDataBits(), 16u);
}

TEST_F(BoxSessionTest, APoweredBoxIsShownAsItIsAndGetsNoDefaults)
{
    {
        Box other;
        ASSERT_EQ(other.Open(0), Box::OK);
        ASSERT_EQ(other.SetPowerMode(Box::PWR_INTERNAL_DCDC), Box::OK);
        ASSERT_EQ(other.SetOutput(1, Box::OUT_LOW_GND), Box::OK);
        ASSERT_EQ(other.SetDataMask(0x1234), Box::OK);
    }
    Ini("[Default]\nStBits=4\n");
    EXPECT_TRUE(Connect());
    EXPECT_EQ(NewLines(), (Lines{Connected()}));
    EXPECT_EQ(View().state, GS_POWERED);
    EXPECT_EQ(View().supply, Box::PWR_INTERNAL_DCDC);
    EXPECT_EQ(View().clock, 2000000u);
    EXPECT_EQ(View().outputs[1], Box::OUT_LOW_GND);
    EXPECT_EQ(View().dataFilter, 0x1234u);
    EXPECT_EQ(View().stBits, 12u); // the box's 25 data bits, split as 12 + 13
    EXPECT_EQ(View().mtBits, 13u);
}

TEST_F(BoxSessionTest, AnSpiModeOnTheBoxBringsTheSpiGroupWithoutSendingAMode)
{
    {
        Box other;
        ASSERT_EQ(other.Open(0), Box::OK);
        SampleParameter p;
        ASSERT_EQ(other.GetSampleParameter(p), Box::OK);
        p.SetMode(SampleParameter::SPI_Gray);
        ASSERT_EQ(other.SetSampleParameter(p), Box::OK);
        ASSERT_EQ(other.SetPowerMode(Box::PWR_EXTERNAL), Box::OK);
    }
    Connect();
    EXPECT_TRUE(View().dataFilterShown && View().spiShown);
    EXPECT_EQ(View().modes.size(), 4u);
    EXPECT_EQ(View().mode, SampleParameter::SPI_Gray);
    EXPECT_EQ(NewLines(), (Lines{Connected()}));
    EXPECT_EQ(Sim().GetParameterBlock()[7], 0xC4);
}

TEST_F(BoxSessionTest, SplitFollowsTheBitCountsAndTheHexFlag)
{
    Session().ChooseBitCounts(12, 13);
    SampleParts parts = Session().Split(0x00ABCDEF);
    EXPECT_EQ(parts.st, 0xDEFu);
    EXPECT_EQ(parts.mt, 0xABCu);
    EXPECT_EQ(parts.stText, "3567");
    Session().SetHex(true);
    parts = Session().Split(0x00ABCDEF);
    EXPECT_EQ(parts.stText, "00000DEF");
    EXPECT_EQ(parts.mtText, "00000ABC");
    Session().ChooseBitCounts(32, 8);
    parts = Session().Split(0x00ABCDEF);
    EXPECT_EQ(parts.stText, "00ABCDEF");
    EXPECT_EQ(parts.mtText, "00000000");
    Session().ChooseStBits(0);
    parts = Session().Split(0x00ABCDEF);
    EXPECT_EQ(parts.stText, "00000000");
    EXPECT_EQ(parts.mtText, "000000EF");
}

TEST_F(BoxSessionTest, ABrokenIniIsNamedAtStartWithItsCauseAndIsNotUsed)
{
    const std::string name = "BoxSessionTest-broken-" + std::to_string(::getpid()) + ".ini";
    const std::string log = name + ".log";
    for (const auto& [content, cause] :
         {std::pair{"[Default]\nStBits=8\nMtBits\n", "line 3. Syntax error: Token '=' expected."},
          std::pair{"[Default]\nStBits=8\nStBits=9\n",
                    "line 3. Syntax error: Key 'StBits' already exists in this Chapter."}})
    {
        std::remove(log.c_str());
        std::ofstream(name) << content;
        zef::Support::LoadAppIni(m_Ini, name.c_str(), log.c_str());
        m_Session.reset();
        m_Sink.TakeNew();
        Session();
        const std::string reason = "Error while reading file '" + name + "', " + cause;
        const std::vector<std::string> lines = m_Sink.TakeNew();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], "Error: Configuration file ignored; built-in values apply.");
        EXPECT_EQ(lines[1], "    " + reason);
        std::ifstream in(log);
        const std::string logged((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(logged, "Error opening inifile: " + reason + "\n");
        std::vector<zef::String> chapters;
        m_Ini.GetChapters(chapters);
        EXPECT_TRUE(chapters.empty());
    }
}

TEST_F(BoxSessionTest, ABatchThatLostItsBoxEndsAsAnUnplugAndAClockTheBoxRefusedIsNotShown)
{
    Session().ConnectOrDisconnect();
    Session().TogglePower();
    ASSERT_EQ(View().state, GS_POWERED);
    const unsigned before = View().clock;
    EXPECT_TRUE(Session().ApplyClock(500000));
    EXPECT_EQ(View().clock, 500000u);

    Session().EnterState(GS_BATCH);
    Sim().Unplug();
    m_Sink.TakeNew();
    EXPECT_FALSE(Session().ApplyClock(before));
    EXPECT_EQ(View().clock, 500000u);
    Session().EndBatch("Batch sampling", true);
    EXPECT_EQ(View().state, GS_WAITING);
    const std::vector<std::string> lines = m_Sink.TakeNew();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "Error: Batch sampling stopped: box SIM00001 unplugged - waiting for it to return.");
    // Back with the clock the batch ran at, supply on.
    Sim().Replug();
    EXPECT_TRUE(Session().Reconnect());
    EXPECT_EQ(View().state, GS_POWERED);
    SampleParameter p;
    ASSERT_EQ(Session().GetBox().GetSampleParameter(p), Box::OK);
    EXPECT_EQ(p.GetFrequence(), 500000u);
}

// --- Devices and connecting ------------------------------------------------------------------

TEST_F(BoxSessionTest, ScanWithoutBoxesReportsZeroAndConnectDoesNothing)
{
    Simulate({}, 0);
    EXPECT_EQ(View().selectedDevice, -1);
    EXPECT_EQ(NewLines(), (Lines{"0 connected device(s) found."}));
    EXPECT_TRUE(Session().ConnectOrDisconnect());
    EXPECT_EQ(NewLines(), (Lines{}));
    EXPECT_EQ(View().state, GS_DISCONNECTED);
}

TEST_F(BoxSessionTest, ConfiguredDeviceIsPreselectedIgnoringCaseOrNamedWhenMissing)
{
    Simulate({}, 3);
    Ini("[Default]\nUsbDevice=sim00002\n");
    ASSERT_EQ(View().devices.size(), 3u);
    EXPECT_EQ(View().devices[std::size_t(View().selectedDevice)].serial, "SIM00002");
    EXPECT_EQ(NewLines(), (Lines{"3 connected device(s) found."}));

    Ini("[Default]\nUsbDevice=XYZ\n");
    const Outcome missing = Session().PreselectConfigured();
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.status, Box::OK) << "the session's own refusal";
    EXPECT_EQ(missing.error, "Configured USB device 'XYZ' was not detected.");
    EXPECT_EQ(NewLines(), (Lines{"Error: Configured USB device 'XYZ' was not detected."}));
    EXPECT_EQ(View().devices[std::size_t(View().selectedDevice)].serial, "SIM00002");
}

TEST_F(BoxSessionTest, OpenFailureIsAnErrorLineAndTheOutcome)
{
    Session();
    Sim().Unplug();
    const Outcome outcome = Connect();
    EXPECT_FALSE(outcome);
    EXPECT_NE(outcome.status, Box::OK);
    EXPECT_EQ(outcome.error.rfind("Error while opening device.\n", 0), 0u) << outcome.error;
    const Lines lines = m_Sink.Texts();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Error: Error while opening device.");
    EXPECT_EQ(View().state, GS_DISCONNECTED);
}

TEST_F(BoxSessionTest, ConnectToBoxThatIsOffAppliesBuiltInDefaults)
{
    EXPECT_TRUE(Connect());
    EXPECT_EQ(NewLines(),
              (Lines{Connected(), "Switching output 1 to OUT_OPEN.",
                     "Switching output 2 to OUT_OPEN.", "Switching output 3 to OUT_OPEN.",
                     "Setting sample parameter. Set new frequence to 1000000 Hz",
                     "Setting data mask to 0x03FFFFFF.", "Setting gray binary mask to 0x03FFFFFF.",
                     "Setting sample parameter. Set clocks to 26 (mt bits = 13, st bits = 13).",
                     "Setting data mask to 0x01FFFFFF.", "Setting gray binary mask to 0x01FFFFFF.",
                     "Setting sample parameter. Set clocks to 25 (mt bits = 12, st bits = 13)."}));
    EXPECT_EQ(View().state, GS_CONNECTED);
    EXPECT_EQ(View().supply, Box::PWR_INTERNAL);
    EXPECT_FALSE(View().hex);
    EXPECT_EQ(Sim().GetDataMask(), 0x01FFFFFFu);
    EXPECT_EQ(Sim().GetParameterBlock()[1], 25); // data bits
    EXPECT_EQ(Sim().GetPowerCode(), 0);          // the supply stays off
}

TEST_F(BoxSessionTest, ConnectToBoxThatIsOffAppliesDefaultAndPerSerialChapters)
{
    Ini("[Default]\nPowerMode=2\nOutputMode1=2\nOutputMode3=1\nSsiMode=1\nSsiClock=500000\n"
        "StBits=12\nMtBits=12\nValueEncoding=1\nGrayCodeFilter=4095\n"
        "[Default/SIM00001]\nMtBits=16\n");
    EXPECT_TRUE(Connect());
    EXPECT_EQ(NewLines(),
              (Lines{Connected(),
                     "Loading configuration for device '" +
                         std::string(FTD2xx::SimulatorProvider::kDescription) +
                         "', serial 'SIM00001' from file '" + m_IniName + "'.",
                     "Switching output 1 to OUT_HIGH_UB.", "Switching output 2 to OUT_OPEN.",
                     "Switching output 3 to OUT_LOW_GND.",
                     "Setting sample parameter. Set SSI mode to SSI_Gray",
                     "Setting sample parameter. Set new frequence to 500000 Hz",
                     "Setting data mask to 0x01FFFFFF.", "Setting gray binary mask to 0x01FFFFFF.",
                     // ST 12 with the MT 13 read back from the box's 25 bits: nothing to send
                     "Setting data mask to 0x0FFFFFFF.", "Setting gray binary mask to 0x0FFFFFFF.",
                     "Setting sample parameter. Set clocks to 28 (mt bits = 16, st bits = 12).",
                     // the Gray mask of the INI file comes last
                     "Setting gray binary mask to 0x00000FFF."}));
    EXPECT_EQ(View().supply, Box::PWR_INTERNAL_DCDC);
    EXPECT_TRUE(View().hex);
    EXPECT_EQ(Sim().GetOutputByte(), 0x2 | (0x1 << 4));
    EXPECT_EQ(Sim().GetGrayMask(), 0x00000FFFu);
    EXPECT_EQ(Sim().GetDataMask(), 0x0FFFFFFFu);
    EXPECT_EQ(Sim().GetParameterBlock()[7], 0xA4);
}

// A chapter that does not load is a plain line, not an error: the connection stands.
TEST_F(BoxSessionTest, LoadFailureIsAHistoryLineAndBuiltInValuesApply)
{
    Ini("[Default]\nPowerMode=4\n[Default/SIM00001]\nMtBits=16\n");
    EXPECT_TRUE(Connect());
    const Lines lines = NewLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Error while loading configuration for device '" +
                            std::string(FTD2xx::SimulatorProvider::kDescription) +
                            "', serial 'SIM00001' from file '" + m_IniName + "'.");
    EXPECT_EQ(lines[2], "    Details: Chapter [Default] Value 'PowerMode' is out of range. "
                        "Allowed values are [0,1,2,3].");
    EXPECT_EQ(lines.back(),
              "Setting sample parameter. Set clocks to 25 (mt bits = 12, st bits = 13).");
}

TEST_F(BoxSessionTest, PowerModeOffFromIniLeavesTheSupplyChoiceAlone)
{
    Ini("[Default]\nPowerMode=3\n");
    Connect();
    Session().ChooseSupply(Box::PWR_INTERNAL_DCDC);
    Session().ConnectOrDisconnect(); // disconnect and connect again
    Session().ConnectOrDisconnect();
    EXPECT_EQ(View().state, GS_CONNECTED);
    EXPECT_EQ(View().supply, Box::PWR_INTERNAL_DCDC);
}

TEST_F(BoxSessionTest, BoxWithUnlistedBitCountFailsTheConnectWithAnErrorLine)
{
    Session();
    Sim().SetParameterBlock({131, 40, 0x1F, 0x03, 1, 0, 0, 0x24});
    const Outcome outcome = Connect();
    EXPECT_FALSE(outcome) << "tavik-cli exits with a box error";
    EXPECT_TRUE(Session().GetBox().IsOpen());
    const Lines lines = m_Sink.Texts();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2],
              "Error: Current number of multiturn bits (28) of the device cannot be shown.");
    EXPECT_EQ(outcome.error,
              "Current number of multiturn bits (28) of the device cannot be shown.");
}

// --- Supply and outputs ----------------------------------------------------------------------

TEST_F(BoxSessionTest, PowerOnSwitchesTheThreeOutputsFirst)
{
    Connect();
    Session().ChooseSupply(Box::PWR_INTERNAL_DCDC);
    Session().ClickOutput(0, Box::OUT_HIGH_UB);
    Session().ClickOutput(2, Box::OUT_LOW_GND);
    NewLines();
    EXPECT_TRUE(Session().TogglePower());
    EXPECT_EQ(NewLines(),
              (Lines{"Switching output 1 to OUT_HIGH_UB.", "Switching output 2 to OUT_OPEN.",
                     "Switching output 3 to OUT_LOW_GND.",
                     "Powermode of device is set to PWR_INTERNAL_DCDC."}));
    EXPECT_EQ(Sim().GetPowerCode(), 0x08);
    EXPECT_TRUE(Session().TogglePower());
    EXPECT_EQ(NewLines(), (Lines{"Powermode of device is set to PWR_OFF."}));
    EXPECT_EQ(View().state, GS_CONNECTED);
}

// --- Expert settings and registers -----------------------------------------------------------

TEST_F(BoxSessionTest, ExpertGroupsComeTogetherAndASelectedSpiModeKeepsSpiShown)
{
    Connect();
    EXPECT_TRUE(Session().SetExpert(ExpertOption::SPI_MODE, true));
    EXPECT_TRUE(View().dataFilterShown && View().spiShown);
    EXPECT_EQ(View().modes.size(), 4u);
    Session().SetExpert(ExpertOption::SPI_MODE, false); // the data filter stays
    EXPECT_TRUE(View().dataFilterShown && !View().spiShown);
    EXPECT_EQ(View().modes.size(), 2u);
    Session().SetExpert(ExpertOption::SPI_MODE, true);
    Session().SetExpert(ExpertOption::DATA_FILTER, false); // hides both
    EXPECT_FALSE(View().dataFilterShown || View().spiShown);

    Session().SetExpert(ExpertOption::SPI_MODE, true);
    NewLines();
    EXPECT_TRUE(Session().ChooseMode(SampleParameter::SPI_Binary));
    EXPECT_EQ(NewLines(), (Lines{"Setting sample parameter. Set SSI mode to SPI_Binary"}));
    Session().SetExpert(ExpertOption::SPI_MODE, false);
    EXPECT_TRUE(View().spiShown);
    EXPECT_EQ(View().mode, SampleParameter::SPI_Binary);
    EXPECT_EQ(NewLines(), (Lines{}));
}

TEST_F(BoxSessionTest, SpiWordParsesHexDigitsAndIsSentOnlyWhenItChanges)
{
    Connect();
    NewLines();
    EXPECT_TRUE(Session().CommitSpiWord("12g4"));
    EXPECT_EQ(View().spiWord, 0x124u);
    EXPECT_EQ(NewLines(), (Lines{"Setting SPI data to 0x00000124."}));
    EXPECT_EQ(Sim().GetSPIData(), 0x124u);
    Session().CommitSpiWord("12g4");
    EXPECT_EQ(NewLines(), (Lines{}));
}

TEST_F(BoxSessionTest, BitCountsDeriveMasksAndDataBits)
{
    Connect();
    Session().ChooseStBits(16);
    Session().ChooseMtBits(16);
    EXPECT_EQ(View().dataFilter, 0xFFFFFFFFu);
    EXPECT_EQ(View().grayCodeFilter, 0xFFFFFFFFu);
    EXPECT_EQ(Sim().GetParameterBlock()[1], 32);
    Session().ChooseStBits(8);
    Session().ChooseMtBits(4);
    EXPECT_EQ(View().dataFilter, 0x00000FFFu);
}

TEST_F(BoxSessionTest, ClockAboveTwoMegahertzWarnsOncePerClock)
{
    const std::string warning = "Warning while checking sample parameter: Clock frequency is "
                                "above SSI specification. Maximum is 2 MHz.";
    Connect();
    NewLines();
    EXPECT_TRUE(Session().ChooseClock(4000000)) << "a warning is no failure";
    EXPECT_EQ(NewLines(),
              (Lines{warning, "Setting sample parameter. Set new frequence to 4000000 Hz"}));
    Session().ChooseStBits(10); // the clock stays: no second warning
    const Lines later = NewLines();
    ASSERT_FALSE(later.empty());
    EXPECT_EQ(later.back(),
              "Setting sample parameter. Set clocks to 22 (mt bits = 12, st bits = 10).");
    for (const std::string& line : later)
        EXPECT_EQ(line.find("Warning"), std::string::npos) << line;
    Session().ChooseClock(8000000);
    EXPECT_EQ(NewLines().front(), warning);
}

// --- Readings --------------------------------------------------------------------------------

TEST_F(BoxSessionTest, SingleSampleSetsTheSampleCountOnceAndTakesNoneUnlessPowered)
{
    Connect();
    NewLines();
    const Reading none = Session().SingleSample();
    EXPECT_FALSE(none.value);
    EXPECT_TRUE(none.outcome);
    EXPECT_EQ(NewLines(), (Lines{}));

    Session().TogglePower();
    // A box that kept a sample count of 5 from some earlier batch.
    auto block = Sim().GetParameterBlock();
    block[4] = 5;
    Sim().SetParameterBlock(block);
    NewLines();
    const Reading reading = Session().SingleSample();
    EXPECT_EQ(NewLines(), (Lines{"Setting sample parameter. Set sample count 1."}));
    ASSERT_TRUE(reading.value);
    EXPECT_EQ(*reading.value, Sim().ComputeReading(m_Clock.Now()));
    EXPECT_EQ(View().sample, *reading.value);
    EXPECT_TRUE(Session().SingleSample().value);
    EXPECT_EQ(NewLines(), (Lines{}));
}

TEST_F(BoxSessionTest, UnplugDuringContinuousSamplingWaitsAndTheReturningBoxGetsItsSettingsBack)
{
    PowerOn();
    Session().SetClock(m_Clock);
    Session().ChooseClock(500000);
    Session().ChooseBitCounts(13, 4);
    Session().SetExpert(ExpertOption::SPI_MODE, true);
    Session().CommitSpiWord("12345678");
    Session().ClickOutput(1, Box::OUT_HIGH_UB);
    const BoxSettings before = Session().CurrentSettings();
    Session().StartContinuous();
    NewLines();

    Sim().Unplug();
    const Reading reading = Session().SingleSample();
    EXPECT_FALSE(reading.value);
    EXPECT_FALSE(reading.outcome);
    EXPECT_EQ(NewLines(), (Lines{"Error: Continuous sampling stopped: box SIM00001 unplugged - "
                                 "waiting for it to return."}));
    EXPECT_EQ(View().state, GS_WAITING);
    EXPECT_EQ(StateText(View()), "Box SIM00001 unplugged \u2013 waiting for it to return");
    EXPECT_FALSE(Session().GetBox().IsOpen());
    EXPECT_TRUE(Session().SingleSample().outcome); // no reading taken while waiting
    // Events while it is away, or twice, add nothing.
    Session().DevicesChanged();
    Session().DevicesChanged();
    EXPECT_EQ(NewLines(), (Lines{}));

    // Back before udev set its permissions: every attempt is refused, the window waits on.
    Sim().SetFaults({.deniedOpens = 5});
    Sim().Replug();
    const auto start = m_Clock.Now();
    EXPECT_FALSE(Session().DevicesChanged());
    EXPECT_EQ(m_Clock.Now() - start, std::chrono::milliseconds(1400)); // 0, 100, 300, 1000 ms
    EXPECT_EQ(NewLines(),
              (Lines{"Error: Box SIM00001 is back but cannot be opened yet.",
                     "    usb_open() failed: Access denied (insufficient permissions)"}));
    EXPECT_EQ(View().state, GS_WAITING);
    // The next event: refused once more, then opened after 100 ms.
    EXPECT_TRUE(Session().DevicesChanged());
    // (and the restoring commands take their replies' time)
    EXPECT_GE(m_Clock.Now() - start, std::chrono::milliseconds(1500));
    EXPECT_LT(m_Clock.Now() - start, std::chrono::milliseconds(1600));
    EXPECT_EQ(NewLines(),
              (Lines{"Box SIM00001 is back; restoring its settings.",
                     "Restored SSI mode SSI_Binary.", "Restored SSI clock 500 kHz.",
                     "Restored 13 ST bits and 4 MT bits.", "Restored data mask 0x0001FFFF.",
                     "Restored gray binary mask 0x0001FFFF.", "Restored SPI data 0x12345678.",
                     "Restored output 1 to OUT_OPEN.", "Restored output 2 to OUT_HIGH_UB.",
                     "Restored output 3 to OUT_OPEN.", "Restored power mode PWR_INTERNAL."}));
    EXPECT_EQ(View().state, GS_POWERED);
    BoxSettings onBox;
    ASSERT_EQ(BoxSettings::Read(Session().GetBox(), onBox), Box::OK);
    BoxSettings expected = before;
    expected.stBits = 12; // the box counts 17 bits; read back, they split at 12
    expected.mtBits = 5;
    EXPECT_EQ(onBox, expected);
    // A duplicate event finds the box there.
    EXPECT_TRUE(Session().DevicesChanged());
    EXPECT_EQ(NewLines(), (Lines{}));
    EXPECT_TRUE(Session().SingleSample().value);
}

TEST_F(BoxSessionTest, AnIdleBoxThatVanishesComesBackWithItsSupplyOffAndStopWaitingLists)
{
    Connect();
    ASSERT_EQ(View().state, GS_CONNECTED);
    NewLines();
    Sim().Unplug();
    EXPECT_FALSE(Session().DevicesChanged());
    EXPECT_EQ(NewLines(), (Lines{"Error: Box SIM00001 unplugged - waiting for it to return."}));
    Sim().Replug();
    EXPECT_TRUE(Session().DevicesChanged());
    EXPECT_EQ(View().state, GS_CONNECTED);
    EXPECT_EQ(Sim().GetPowerCode(), 0); // the supply was off: it stays off
    EXPECT_EQ(NewLines().back(), "Restored output 3 to OUT_OPEN.");

    // Disconnect while waiting stops the waiting; the list then follows the events.
    Sim().Unplug();
    Session().DevicesChanged();
    NewLines();
    EXPECT_TRUE(Session().ConnectOrDisconnect());
    EXPECT_EQ(NewLines(), (Lines{"Stopped waiting for box SIM00001."}));
    EXPECT_EQ(View().state, GS_DISCONNECTED);
    EXPECT_TRUE(View().devices.empty());
    Sim().Replug();
    Session().DevicesChanged();
    ASSERT_EQ(View().devices.size(), 1u);
    EXPECT_EQ(View().selectedDevice, 0);
    EXPECT_EQ(NewLines(), (Lines{}));
}

TEST_F(BoxSessionTest, TimeoutDuringContinuousSamplingKeepsSampling)
{
    PowerOn();
    Session().StartContinuous();
    NewLines();
    FTD2xx::SimulatorFaults late;
    late.lateReplyMs = 500;
    Sim().SetFaults(late);
    const Reading timedOut = Session().SingleSample();
    EXPECT_EQ(timedOut.outcome.status, Box::TIMEOUT);
    const Lines lines = NewLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "    TIMEOUT");
    EXPECT_EQ(View().state, GS_CONTINUOUS);
    Sim().SetFaults({});
    m_Clock.Advance(std::chrono::seconds(1));
    Session().SingleSample();
    EXPECT_TRUE(Session().SingleSample().value);
    EXPECT_EQ(NewLines(), (Lines{}));
}
