// Production test plans, the runner and its records, against a simulated box on a manual clock.

#include "app/core/TestRunner.h"
#include "app/core/H5File.h"
#include "app/core/HistorySink.h"
#include "app/core/TestPlan.h"
#include "app/core/TestRecord.h"
#include "tests/core/PoweredSimulatedBox.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace App;
using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
std::string Slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ExamplePlan(const char* name)
{
    return std::string(TAVIK_SOURCE_DIR) + "/docs/plans/" + name;
}

TestPlan Parse(const std::string& text)
{
    TestPlan plan;
    std::string error;
    EXPECT_TRUE(ParseTestPlan(text, "plan.toml", plan, error)) << error;
    return plan;
}

// A plan of one step over the 13+12-bit encoder of the simulator.
std::string OneStep(const std::string& step)
{
    return "name = \"p\"\nversion = \"1\"\n[box]\nclock_hz = 1000000\nst_bits = 13\n"
           "mt_bits = 12\n" +
           step;
}

const MeasurementResult* Find(const TestRecord& record, const std::string& name)
{
    for (const StepResult& step : record.steps)
        for (const MeasurementResult& m : step.measurements)
            if (m.name == name)
                return &m;
    return nullptr;
}

TEST(TestPlan, FaultsNameFileLineAndKey)
{
    const struct
    {
        std::string text;
        std::string error;
    } cases[] = {
        {"name = \"p\"\nversion = ", "plan.toml:2: "},
        {OneStep("[[steps]]\nname = \"s\"\nkind = \"batch\"\n[[steps.measurements]]\n"
                 "name = \"spike_pppm\"\ncomparison = \"EQ\"\nvalue = 0\n"),
         "plan.toml:11: steps[0].measurements[0].name: unknown measurement \"spike_pppm\""},
        {OneStep("[[steps]]\nname = \"s\"\nkind = \"read\"\n[[steps.measurements]]\n"
                 "name = \"max_clean_clock_hz\"\ncomparison = \"GE\"\nlow = 0\n"),
         "plan.toml:11: steps[0].measurements[0].name: \"max_clean_clock_hz\" does not come "
         "from a read step"},
        {OneStep("[[steps]]\nname = \"s\"\nkind = \"batch\"\ncount = 2\n"),
         "plan.toml:10: steps[0].count: 2 is out of range (3 to 16777214)"},
        {OneStep("[[steps]]\nname = \"s\"\nkind = \"batch\"\nrepeat = 2\n"),
         "plan.toml:10: steps[0].repeat: unknown key"},
        {OneStep("[[steps]]\nname = \"s\"\nkind = \"batch\"\n[[steps.measurements]]\n"
                 "name = \"rpm\"\ncomparison = \"GELE\"\nlow = 50\n"),
         "steps[0].measurements[0].high: missing: GELE needs it"},
        {OneStep("[[steps]]\nname = \"s\"\nkind = \"batch\"\n[[steps.measurements]]\n"
                 "name = \"rpm\"\ncomparison = \"LE\"\nhigh = 50\nmarginal_high = 60\n"),
         "plan.toml:14: steps[0].measurements[0].marginal_high: must lie within low and high"},
        {"name = \"p\"\nversion = \"1\"\n[box]\nclock_hz = 1000001\n",
         "plan.toml:4: box.clock_hz: 1000001 Hz is not a selectable clock"},
    };
    for (const auto& c : cases)
    {
        TestPlan plan;
        plan.name = "untouched";
        std::string error;
        EXPECT_FALSE(ParseTestPlan(c.text, "plan.toml", plan, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(plan.name, "untouched");
    }
}

TEST(TestPlan, LimitsJudgeComparisonsAndMarginalBands)
{
    const auto judge = [](Comparison c, std::optional<double> low, std::optional<double> high,
                          double value, std::optional<double> mLow = {},
                          std::optional<double> mHigh = {}) {
        return TestOutcomeName(Limits{c, low, high, mLow, mHigh}.Judge(value));
    };
    EXPECT_STREQ(judge(CMP_EQ, 0, 0, 0), "PASS");
    EXPECT_STREQ(judge(CMP_NE, 0, 0, 0), "FAIL");
    EXPECT_STREQ(judge(CMP_GT, 5, {}, 5), "FAIL");
    EXPECT_STREQ(judge(CMP_GE, 5, {}, 5), "PASS");
    EXPECT_STREQ(judge(CMP_LT, {}, 5, 5), "FAIL");
    EXPECT_STREQ(judge(CMP_GELT, 1, 5, 5), "FAIL");
    EXPECT_STREQ(judge(CMP_GTLE, 1, 5, 5), "PASS");
    EXPECT_STREQ(judge(CMP_GTLT, 1, 5, 1), "FAIL");
    // A band inside the limits: passing, but only just.
    EXPECT_STREQ(judge(CMP_GELE, 50, 70, 56, 57, 63), "MARGINAL");
    EXPECT_STREQ(judge(CMP_GELE, 50, 70, 63.5, 57, 63), "MARGINAL");
    EXPECT_STREQ(judge(CMP_GELE, 50, 70, 60, 57, 63), "PASS");
    EXPECT_STREQ(judge(CMP_GELE, 50, 70, 71, 57, 63), "FAIL");
    EXPECT_STREQ(TestOutcomeName(Limits{CMP_GE, 0, {}, {}, {}}.Judge(std::nullopt)), "FAIL");
}

class TestRunnerTest : public PoweredSimulatedBox
{
protected:
    void SetUp() override
    {
        PoweredSimulatedBox::SetUp();
        // One folder per process: ctest runs the cases side by side.
        m_Spool = std::filesystem::path(::testing::TempDir()) /
                  ("tavik-spool-" + std::to_string(::getpid()));
    }
    void TearDown() override { std::filesystem::remove_all(m_Spool); }
    TestPlan Load(const char* name)
    {
        TestPlan plan;
        std::string error;
        EXPECT_TRUE(LoadTestPlan(ExamplePlan(name), plan, error)) << error;
        return plan;
    }
    // Polls as a 200 ms timer would; `stopAfter` polls, then Stop.
    const TestRecord& Run(const TestPlan& plan, unsigned stopAfter = 0)
    {
        m_Runner.Start(plan, {"U-1", "P-7", "Ann", "station 3"}, "9.9");
        for (unsigned tick = 0; m_Runner.IsRunning() && tick < 100000; ++tick)
        {
            if (stopAfter != 0 && tick == stopAfter)
                m_Runner.Stop();
            m_Runner.Poll();
            m_Clock.Advance(std::chrono::milliseconds(200));
        }
        EXPECT_FALSE(m_Runner.IsRunning());
        return m_Runner.Record();
    }
    void Faults(void (*set)(FTD2xx::SimulatorFaults&))
    {
        FTD2xx::SimulatorFaults faults;
        set(faults);
        Sim().SetFaults(faults);
    }

    VectorSink m_Sink;
    TestRunner m_Runner{m_Box, m_Sink, m_Clock,
                        [] { return std::chrono::system_clock::time_point{}; }};
    std::filesystem::path m_Spool;
};

TEST_F(TestRunnerTest, ExamplePlansPassOnACleanBoxAndTheRecordIsSavedWithItsReadings)
{
    const TestRecord& record = Run(Load("incoming-inspection-ssi-13-12.toml"));
    EXPECT_STREQ(TestOutcomeName(record.outcome), "PASS");
    ASSERT_EQ(record.steps.size(), 2u);
    EXPECT_EQ(record.steps[1].attempts, 1u);
    EXPECT_EQ(record.start, "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(record.planSha256.size(), 64u);

    const SpoolWrite saved = WriteTestRecord(record, m_Spool.string());
    ASSERT_TRUE(saved.Ok()) << saved.error;
    EXPECT_EQ(saved.jsonPath, (m_Spool / (record.uuid + ".json")).string());
    const auto json = nlohmann::json::parse(Slurp(saved.jsonPath));
    EXPECT_EQ(json["outcome"], "PASS");
    EXPECT_EQ(json["unit"]["part_number"], "P-7");
    EXPECT_EQ(json["box"]["settings"]["supply"], "internal");
    EXPECT_EQ(json["steps"][1]["measurements"][0]["limits"],
              nlohmann::json::parse(R"({"comparison": "EQ", "low": 0.0, "high": 0.0})"));
    EXPECT_EQ(json["attachment"], record.uuid + ".h5");
    H5File::Contents h5;
    std::string error;
    ASSERT_TRUE(H5File::Read(saved.h5Path, h5, error)) << error;
    EXPECT_EQ(h5.readings.size(), 40000u); // the check's, not the read's
    EXPECT_EQ(h5.settings.stBits, 13u);

    EXPECT_STREQ(TestOutcomeName(Run(Load("cable-acceptance.toml")).outcome), "PASS");
}

TEST_F(TestRunnerTest, EachSimulatedFaultFailsItsMeasurement)
{
    const struct
    {
        void (*set)(FTD2xx::SimulatorFaults&);
        const char* plan;
        const char* measurement;
    } cases[] = {
        {[](FTD2xx::SimulatorFaults& f) { f.glitchEvery = 5000; },
         "incoming-inspection-ssi-13-12.toml", "spike_events"},
        {[](FTD2xx::SimulatorFaults& f) { f.stuckEvery = 10000; },
         "incoming-inspection-ssi-13-12.toml", "stuck_events"},
        {[](FTD2xx::SimulatorFaults& f)
         { f.cableMaxClockHz = FTD2xx::SimulatorFaults::CableMaxClock(50); },
         "cable-acceptance.toml", "max_clean_clock_hz"},
    };
    for (const auto& c : cases)
    {
        Faults(c.set);
        const TestRecord& record = Run(Load(c.plan));
        EXPECT_STREQ(TestOutcomeName(record.outcome), "FAIL") << c.measurement;
        const MeasurementResult* m = Find(record, c.measurement);
        ASSERT_NE(m, nullptr) << c.measurement;
        EXPECT_STREQ(TestOutcomeName(m->outcome), "FAIL") << c.measurement;
    }
    // The cable's sweep is critical: the batch after it did not run.
    EXPECT_STREQ(TestOutcomeName(m_Runner.Record().steps[1].outcome), "ABORTED");
    EXPECT_EQ(m_Runner.Record().steps[1].attempts, 0u);
    EXPECT_NE(m_Runner.Record().steps[1].error.find("critical"), std::string::npos);
}

TEST_F(TestRunnerTest, RetriesRepeatAFailedStepAndMarginalBandsShow)
{
    const std::string plan =
        OneStep("[[steps]]\nname = \"glitches\"\nkind = \"batch\"\ncount = 20000\n"
                "delay_us = 50\nretries = 2\n"
                "[[steps.measurements]]\nname = \"spike_events\"\ncomparison = \"EQ\"\nvalue = 0\n"
                "[[steps]]\nname = \"speed\"\nkind = \"batch\"\ncount = 20000\ndelay_us = 50\n"
                "[[steps.measurements]]\nname = \"rpm\"\ncomparison = \"GELE\"\nlow = 50\n"
                "high = 70\nmarginal_low = 61\n");
    Faults([](FTD2xx::SimulatorFaults& f) { f.glitchEvery = 5000; });
    const TestRecord& failing = Run(Parse(plan));
    EXPECT_EQ(failing.steps[0].attempts, 3u);
    EXPECT_STREQ(TestOutcomeName(failing.steps[0].outcome), "FAIL");
    EXPECT_STREQ(TestOutcomeName(failing.steps[1].outcome), "MARGINAL"); // not critical: it ran
    EXPECT_STREQ(TestOutcomeName(failing.outcome), "FAIL");

    Faults([](FTD2xx::SimulatorFaults&) {});
    const TestRecord& marginal = Run(Parse(plan));
    EXPECT_EQ(marginal.steps[0].attempts, 1u);
    EXPECT_STREQ(TestOutcomeName(marginal.outcome), "MARGINAL");
}

TEST_F(TestRunnerTest, StopMidPlanAbortsAndGivesTheBoxItsOwnSettingsBack)
{
    // The box's own settings differ from the plan's in every field the plan sets.
    SampleParameter own;
    own.SetFrequence(500000);
    own.SetDataBits(20);
    own.SetMode(SampleParameter::SSI_Gray);
    ASSERT_EQ(m_Box.SetSampleParameter(own), Box::OK);
    ASSERT_EQ(m_Box.SetDataMask(0xFFFFF), Box::OK);
    ASSERT_EQ(m_Box.SetSPIData(0x1234), Box::OK);
    ASSERT_EQ(m_Box.SetPowerMode(Box::PWR_OFF), Box::OK);
    ASSERT_EQ(m_Box.SetPowerMode(Box::PWR_EXTERNAL), Box::OK);
    const auto block = Sim().GetParameterBlock();

    const TestRecord& record = Run(Load("cable-acceptance.toml"), 5);
    EXPECT_STREQ(TestOutcomeName(record.outcome), "ABORTED");
    EXPECT_STREQ(TestOutcomeName(record.steps[0].outcome), "ABORTED");
    EXPECT_EQ(record.steps[0].error, "stopped");
    EXPECT_FALSE(record.steps[0].sweep.empty());
    EXPECT_EQ(record.steps[1].attempts, 0u);

    EXPECT_EQ(Sim().GetParameterBlock(), block);
    unsigned mask = 0;
    unsigned spi = 0;
    Box::POWER_MODE supply = Box::PWR_OFF;
    ASSERT_EQ(m_Box.GetDataMask(mask), Box::OK);
    ASSERT_EQ(m_Box.GetSPIData(spi), Box::OK);
    ASSERT_EQ(m_Box.GetPowerMode(supply), Box::OK);
    EXPECT_EQ(mask, 0xFFFFFu);
    EXPECT_EQ(spi, 0x1234u);
    EXPECT_EQ(supply, Box::PWR_EXTERNAL);
}

TEST_F(TestRunnerTest, AVanishingBoxErrsTheStepWithTheBoxsWords)
{
    TestPlan plan = Load("incoming-inspection-ssi-13-12.toml");
    m_Runner.Start(plan, {"U-2", "", "", ""}, "9.9");
    m_Runner.Poll(); // the read step, at once on the manual clock
    UnplugAfter(0);
    while (m_Runner.IsRunning())
        m_Runner.Poll();
    const TestRecord& record = m_Runner.Record();
    EXPECT_STREQ(TestOutcomeName(record.outcome), "ERROR");
    EXPECT_TRUE(m_Runner.BoxVanished());
    EXPECT_TRUE(m_Runner.RestoreFailed());
    EXPECT_STREQ(TestOutcomeName(record.steps[0].outcome), "PASS");
    EXPECT_STREQ(TestOutcomeName(record.steps[1].outcome), "ERROR");
    EXPECT_NE(record.steps[1].error.find("No such device"), std::string::npos);
}

} // namespace
