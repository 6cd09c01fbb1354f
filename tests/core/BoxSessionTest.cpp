// The main window's box logic without a window: the session against simulated boxes on a
// manual clock, checked through its view and the box's registers.

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
    void Simulate(FTD2xx::SimulatorFaults faults)
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = 1;
        config.encoder.rpm = 0;
        config.faults = faults;
        m_Sim = std::make_shared<FTD2xx::SimulatorProvider>(config, m_Clock);
        FTD2xx::Proxy::SetProviders({m_Sim});
    }
    void Ini(const std::string& content)
    {
        const std::string name = "BoxSessionTest-" + std::to_string(::getpid()) + ".ini";
        std::ofstream(name) << content;
        ASSERT_TRUE(m_Ini.Open(name.c_str()).IsOk());
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

    FTD2xx::ManualClock m_Clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> m_Sim;
    zef::IniFile m_Ini;
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
    Session().ConnectOrDisconnect();
    EXPECT_EQ(View().state, GS_POWERED);
    EXPECT_EQ(View().supply, Box::PWR_INTERNAL_DCDC);
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
    Session().ConnectOrDisconnect();
    EXPECT_TRUE(View().dataFilterShown && View().spiShown);
    EXPECT_EQ(View().modes.size(), 4u);
    EXPECT_EQ(View().mode, SampleParameter::SPI_Gray);
    for (const std::string& line : m_Sink.Texts())
        EXPECT_EQ(line.find("Set SSI mode"), std::string::npos) << line;
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
    EXPECT_EQ(View().state, GS_DISCONNECTED);
    const std::vector<std::string> lines = m_Sink.TakeNew();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Batch sampling stopped: the box is no longer attached.");
}
