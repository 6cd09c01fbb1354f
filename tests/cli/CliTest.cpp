// tavik-cli in-process against simulated boxes on a manual clock: exact stdout, stderr and
// exit codes of each subcommand.

#include "app/cli/Cli.h"
#include "app/core/CsvFile.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorProvider.h"
#include "tests/support/TestRecords.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace App;
using Tavik::Box;
using json = nlohmann::json;

namespace
{
constexpr const char* kUsage =
    "Usage: tavik-cli [--simulate] [--json] [-q] "
    "<list|info|set|read|batch|check|analyse|sweep|test|monitor|records|yield|report> "
    "[OPTIONS]\n";

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Box::SetSleepFunction([](unsigned) {});
        unsetenv("TAVIK_SIMULATOR");
        ClearInterrupt();
        Simulate(1);
        std::remove(m_IniFile.c_str());
    }
    void TearDown() override
    {
        FTD2xx::Proxy::UseDefaultProviders();
        Box::SetSleepFunction({});
        std::signal(SIGINT, SIG_DFL);
        ClearInterrupt();
        std::remove(m_IniFile.c_str());
        for (const std::string& file : m_Files)
            std::remove(file.c_str());
    }
    std::string File(const std::string& name, const std::string& content = {})
    {
        const std::string path = "CliTest-" + std::to_string(::getpid()) + "-" + name;
        m_Files.push_back(path);
        if (!content.empty())
            std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    void Simulate(unsigned boxes, FTD2xx::SimulatorFaults faults = {}, double rpm = 0)
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = boxes;
        config.encoder.rpm = rpm;
        config.faults = faults;
        m_Sim = std::make_shared<FTD2xx::SimulatorProvider>(config, m_Clock);
        FTD2xx::Proxy::SetProviders({m_Sim});
    }
    void Ini(const std::string& content) { std::ofstream(m_IniFile) << content; }
    // `terminal`: stderr is a terminal, shared with stdout as in a shell.
    int Run(const std::vector<std::string>& args, bool terminal = false)
    {
        std::ostringstream out;
        std::ostringstream errStream;
        std::ostream& err = terminal ? out : errStream;
        CliEnvironment env{out, err, m_IniFile,
                           [this](unsigned ms)
                           {
                               m_Clock.Advance(std::chrono::milliseconds(ms));
                               if (m_OnSleep)
                                   m_OnSleep();
                           }};
        env.errIsTerminal = terminal;
        env.dataFolder = m_DataFolder;
        env.setUpDevices = [this](bool simulate) { m_SetUps.push_back(simulate); };
        const int code = RunCli(args, env);
        m_Out = out.str();
        m_Err = errStream.str();
        return code;
    }
    Box::POWER_MODE PowerOfBox(int index)
    {
        Box box;
        EXPECT_EQ(box.Open(index), Box::OK);
        Box::POWER_MODE mode = Box::PWR_OFF;
        EXPECT_EQ(box.GetPowerMode(mode), Box::OK);
        return mode;
    }

    FTD2xx::ManualClock m_Clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> m_Sim;
    std::string m_IniFile = "CliTest-" + std::to_string(::getpid()) + ".ini";
    std::function<void()> m_OnSleep;
    std::string m_Out;
    std::string m_Err;
    std::vector<std::string> m_Files;
    std::vector<bool> m_SetUps; // --simulate, each time the program set up its devices
    std::string m_DataFolder;
};
} // namespace

TEST_F(CliTest, ListPrintsTheHistoryLineAndEachBox)
{
    Simulate(2);
    EXPECT_EQ(Run({"list"}), EXIT_OK);
    EXPECT_EQ(m_Out, "2 connected device(s) found.\n"
                     "SIM00001  Tavik box (simulated)\n"
                     "SIM00002  Tavik box (simulated)\n");
    EXPECT_EQ(m_Err, "");
}

TEST_F(CliTest, ListAsJsonIsOneDocument)
{
    EXPECT_EQ(Run({"--json", "list"}), EXIT_OK);
    const json doc = json::parse(m_Out);
    ASSERT_EQ(doc["devices"].size(), 1u);
    EXPECT_EQ(doc["devices"][0]["serial"], "SIM00001");
    EXPECT_EQ(doc["devices"][0]["description"], "Tavik box (simulated)");
    EXPECT_EQ(doc["history"][0], "1 connected device(s) found.");
}

TEST_F(CliTest, QuietInfoShowsTheDefaultsAppliedToABoxThatIsOff)
{
    Ini("[Default]\nSsiClock=2000000\nStBits=10\nMtBits=6\n");
    EXPECT_EQ(Run({"-q", "info"}), EXIT_OK);
    EXPECT_EQ(m_Out, "Device:    SIM00001  Tavik box (simulated)\n"
                     "Supply:    PWR_OFF (PWR_INTERNAL chosen)\n"
                     "Mode:      SSI_Binary\n"
                     "Clock:     2000000 Hz\n"
                     "ST bits:   10\n"
                     "MT bits:   6\n"
                     "Data mask: 0x0000FFFF\n"
                     "Gray mask: 0x0000FFFF\n"
                     "SPI word:  0x00000000\n"
                     "Output 1:  OUT_OPEN\n"
                     "Output 2:  OUT_OPEN\n"
                     "Output 3:  OUT_OPEN\n");
    EXPECT_EQ(m_Err, "");
}

TEST_F(CliTest, InfoAsJson)
{
    EXPECT_EQ(Run({"info", "--json"}), EXIT_OK);
    const json doc = json::parse(m_Out);
    EXPECT_EQ(doc["serial"], "SIM00001");
    EXPECT_EQ(doc["supply"], "PWR_OFF");
    EXPECT_EQ(doc["clockHz"], 1000000);
    EXPECT_EQ(doc["stBits"], 13);
    EXPECT_EQ(doc["mtBits"], 12);
    EXPECT_EQ(doc["dataMask"], 0x1FFFFFF);
    EXPECT_EQ(doc["outputs"], json({"OUT_OPEN", "OUT_OPEN", "OUT_OPEN"}));
}

TEST_F(CliTest, SetSwitchesOutputsAndSupplyWithTheWindowsTexts)
{
    EXPECT_EQ(Run({"-q", "set", "--output", "2=high"}), EXIT_OK);
    EXPECT_EQ(Run({"set", "--power", "12v", "--spi-word", "0xAB"}), EXIT_OK);
    EXPECT_NE(m_Out.find("Setting SPI data to 0x000000AB.\n"), std::string::npos) << m_Out;
    EXPECT_NE(m_Out.find("Switching output 1 to OUT_OPEN.\n"
                         "Switching output 2 to OUT_OPEN.\n"
                         "Switching output 3 to OUT_OPEN.\n"
                         "Powermode of device is set to PWR_INTERNAL_DCDC.\n"),
              std::string::npos)
        << m_Out;
    EXPECT_EQ(PowerOfBox(0), Box::PWR_INTERNAL_DCDC);
    EXPECT_EQ(m_Sim->GetBox(0)->GetSPIData(), 0xABu);
}

TEST_F(CliTest, TheSupplyIsOnlySwitchedOnFromOff)
{
    ASSERT_EQ(Run({"set", "--power", "ext"}), EXIT_OK);
    EXPECT_EQ(Run({"-q", "set", "--power", "5v"}), EXIT_USAGE);
    EXPECT_EQ(m_Err, std::string("Error: the supply is on with PWR_EXTERNAL; it is only switched "
                                 "on from off (--power off first)\n") +
                         kUsage);
    EXPECT_EQ(PowerOfBox(0), Box::PWR_EXTERNAL);
    EXPECT_EQ(Run({"-q", "set", "--power", "off"}), EXIT_OK);
    EXPECT_EQ(PowerOfBox(0), Box::PWR_OFF);
}

// The program's main makes the simulator of TAVIK_SIMULATOR and --simulate there, once and
// only for a subcommand that uses the box.
TEST_F(CliTest, DevicesAreSetUpOnceWithSimulateForSubcommandsThatUseTheBox)
{
    EXPECT_EQ(Run({"--simulate", "-q", "list"}), EXIT_OK);
    EXPECT_EQ(Run({"-q", "info"}), EXIT_OK);
    EXPECT_EQ(Run({"read", "--simulate", "-q"}), EXIT_OK);
    EXPECT_EQ(Run({"check", File("missing.csv")}), EXIT_USAGE);
    EXPECT_EQ(m_SetUps, (std::vector<bool>{true, false, true}));
}

TEST_F(CliTest, AClockOutsideTheListIsBadUsageAndTouchesNoBox)
{
    EXPECT_EQ(Run({"set", "--clock", "7"}), EXIT_USAGE);
    EXPECT_EQ(
        m_Err.rfind("Error: --clock: 7 Hz is not a selectable clock; choose one of 8000000, ", 0),
        0u)
        << m_Err;
    EXPECT_EQ(m_Sim->GetBox(0)->GetCommandCount(), 0u);
}

TEST_F(CliTest, BadArgumentsGiveTheUsageLine)
{
    EXPECT_EQ(Run({"frobnicate"}), EXIT_USAGE);
    EXPECT_EQ(m_Out, "");
    EXPECT_NE(m_Err.find(kUsage), std::string::npos) << m_Err;
    EXPECT_EQ(Run({"set", "--data-mask", "12345678Z"}), EXIT_USAGE);
    EXPECT_EQ(Run({"set", "--output", "4=open"}), EXIT_USAGE);
}

TEST_F(CliTest, Version)
{
    EXPECT_EQ(Run({"--version"}), EXIT_OK);
    EXPECT_EQ(m_Out.rfind("tavik-cli ", 0), 0u) << m_Out;
}

TEST_F(CliTest, ReadSwitchesTheBoxOnAndSplitsEachReading)
{
    EXPECT_EQ(Run({"--json", "read", "--count", "3"}), EXIT_OK);
    const json doc = json::parse(m_Out);
    ASSERT_EQ(doc["readings"].size(), 3u);
    for (const json& r : doc["readings"])
    {
        const unsigned raw = r["raw"];
        EXPECT_EQ(r["st"], raw & 0x1FFF);
        EXPECT_EQ(r["mt"], (raw >> 13) & 0xFFF);
    }
    EXPECT_EQ(PowerOfBox(0), Box::PWR_INTERNAL);
    EXPECT_EQ(m_Err, "");
}

TEST_F(CliTest, ReadLinesAreRawStAndMt)
{
    EXPECT_EQ(Run({"-q", "read"}), EXIT_OK);
    unsigned raw = 0, st = 0, mt = 0;
    ASSERT_EQ(std::sscanf(m_Out.c_str(), "%u %u %u\n", &raw, &st, &mt), 3) << m_Out;
    EXPECT_EQ(st, raw & 0x1FFF);
    EXPECT_EQ(mt, raw >> 13);
}

TEST_F(CliTest, CtrlCEndsAnEndlessReadWithWhatArrived)
{
    InstallInterruptHandler();
    int sleeps = 0;
    m_OnSleep = [&]
    {
        if (++sleeps == 2)
            std::raise(SIGINT);
    };
    EXPECT_EQ(Run({"-q", "read", "--interval", "100"}), EXIT_INTERRUPT);
    EXPECT_EQ(std::count(m_Out.begin(), m_Out.end(), '\n'), 2);
    EXPECT_FALSE(m_Sim->GetBox(0)->IsStreaming());
}

TEST_F(CliTest, MonitorPrintsALineASecondUntilCtrlCAndGivesTheBoxItsSettingsBack)
{
    Simulate(1, {.glitchEvery = 15000}, 60);
    ASSERT_EQ(Run({"-q", "read"}), EXIT_OK); // the session's settings are in the box
    const auto parameters = []
    {
        Box box;
        Tavik::SampleParameter p;
        EXPECT_EQ(box.Open(0), Box::OK);
        EXPECT_EQ(box.GetSampleParameter(p), Box::OK);
        return std::pair{p.GetDelay(), p.GetSampleCount()};
    };
    const auto before = parameters();
    InstallInterruptHandler();
    int sleeps = 0;
    m_OnSleep = [&]
    {
        if (++sleeps == 25)
            std::raise(SIGINT);
    };
    EXPECT_EQ(Run({"-q", "--json", "monitor", "--delay", "50"}), EXIT_INTERRUPT);
    std::vector<std::string> lines;
    std::istringstream out(m_Out);
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u) << m_Out;
    std::uint64_t spikes = 0;
    for (const std::string& line : lines)
    {
        const json second = json::parse(line);
        EXPECT_NEAR(second["countsPerSecond"].get<double>(), 8192.0, 100.0); // 60 rpm, 13 bits
        spikes += second["events"].value("spike", 0u);
    }
    EXPECT_EQ(spikes, 2u); // 40,000 readings in two seconds
    EXPECT_FALSE(m_Sim->GetBox(0)->IsStreaming());
    EXPECT_EQ(parameters(), before);
}

TEST_F(CliTest, SeveralBoxesWithoutAChoiceAreListed)
{
    Simulate(2);
    EXPECT_EQ(Run({"-q", "info"}), EXIT_USAGE);
    EXPECT_EQ(m_Out, "");
    EXPECT_EQ(m_Err, std::string("Error: 2 boxes are attached; choose one with -d SERIAL or with "
                                 "UsbDevice in chapter [Default] of Tavik.ini:\n"
                                 "    SIM00001  Tavik box (simulated)\n"
                                 "    SIM00002  Tavik box (simulated)\n") +
                         kUsage);
}

TEST_F(CliTest, DashDPicksABoxIgnoringCase)
{
    Simulate(2);
    EXPECT_EQ(Run({"-q", "set", "-d", "sim00002", "--power", "ext"}), EXIT_OK);
    EXPECT_EQ(PowerOfBox(0), Box::PWR_OFF);
    EXPECT_EQ(PowerOfBox(1), Box::PWR_EXTERNAL);
}

// As the window: the same error line, the same log file, and the built-in values.
TEST_F(CliTest, BrokenIniIsReportedAndLoggedAndNotUsed)
{
    const char* log = "error_opening_inifile.log";
    std::remove(log);
    Ini("[Default]\nUsbDevice\n");
    EXPECT_EQ(Run({"list"}), EXIT_OK);
    EXPECT_EQ(m_Err.rfind("Error: Configuration file ignored; built-in values apply.\n    ", 0), 0u)
        << m_Err;
    EXPECT_NE(m_Err.find(m_IniFile), std::string::npos) << m_Err;
    std::ifstream written(log);
    std::string line;
    EXPECT_TRUE(std::getline(written, line));
    EXPECT_EQ(line.rfind("Error opening inifile: ", 0), 0u) << line;
    std::remove(log);
}

TEST_F(CliTest, UsbDeviceInTheIniPicksABox)
{
    Simulate(2);
    Ini("[Default]\nUsbDevice=SIM00002\n");
    EXPECT_EQ(Run({"-q", "set", "--power", "ext"}), EXIT_OK);
    EXPECT_EQ(PowerOfBox(1), Box::PWR_EXTERNAL);
}

TEST_F(CliTest, AnAbsentBoxIsABoxFailure)
{
    Ini("[Default]\nUsbDevice=NOPE\n");
    EXPECT_EQ(Run({"-q", "info"}), EXIT_BOX);
    EXPECT_EQ(m_Err, "Error: Configured USB device 'NOPE' was not detected.\n");
    EXPECT_EQ(Run({"-q", "info", "-d", "NOPE"}), EXIT_BOX);
    EXPECT_EQ(m_Err, "Error: Device 'NOPE' was not detected.\n"
                     "    Attached:\n"
                     "        SIM00001  Tavik box (simulated)\n");
}

TEST_F(CliTest, ALinkFailureEndsWithTheBoxStatusOnStderr)
{
    Simulate(1, {.unplugAtCommand = 3});
    EXPECT_EQ(Run({"-q", "read", "--count", "5"}), EXIT_BOX);
    EXPECT_EQ(m_Err.rfind("Error: ", 0), 0u) << m_Err;
    EXPECT_EQ(m_Out, "");
}

TEST_F(CliTest, BatchAndCheckOfItsFileFindTheSameErrorsAndWriteTheSameLines)
{
    for (const char* type : {"run.log", "run.csv", "run.h5"})
    {
        Simulate(1, {.glitchEvery = 700}, 600);
        const std::string path = File(type);
        EXPECT_EQ(Run({"--json", "batch", "--count", "3000", "--delay", "50", "-o", path, "--limit",
                       "100", "--mt-mono", "none"}),
                  EXIT_FOUND)
            << m_Err;
        const json batch = json::parse(m_Out);
        EXPECT_EQ(batch["readings"], 3000);
        EXPECT_GT(batch["result"]["errors"], 0);
        EXPECT_EQ(Run({"--json", "check", path, "--st", "13", "--mt", "12", "--limit", "100",
                       "--mt-mono", "none"}),
                  EXIT_FOUND)
            << m_Err;
        const json check = json::parse(m_Out);
        EXPECT_EQ(check["result"], batch["result"]) << type;
        // The tester's messages, the analysis' summary and "Check finished", as in the batch.
        const std::vector<std::string> lines = check["history"];
        const std::vector<std::string> batchLines = batch["history"];
        ASSERT_GE(lines.size(), 3u);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.starts_with("spike: "); }));
        EXPECT_NE(std::search(batchLines.begin(), batchLines.end(), lines.begin(), lines.end()),
                  batchLines.end())
            << type << "\n"
            << check["history"].dump(1) << batch["history"].dump(1);
    }
}

TEST_F(CliTest, TheCsvHeaderHoldsTheRunsSettings)
{
    Ini("[Default]\nSsiClock=2000000\nStBits=10\nMtBits=6\n");
    const std::string path = File("run.csv");
    // A shaft standing at 0 reads all zeros: written, but not checked.
    ASSERT_EQ(Run({"-q", "batch", "--count", "100", "--delay", "60", "-o", path}), EXIT_FOUND)
        << m_Err;
    CsvFile::Contents contents;
    std::string error;
    ASSERT_TRUE(CsvFile::Read(path, contents, error)) << error;
    const RunSettings& s = contents.settings;
    EXPECT_EQ(s.serial, "SIM00001");
    EXPECT_EQ(s.description, "Tavik box (simulated)");
    EXPECT_EQ(s.mode, "SSI_Binary");
    EXPECT_EQ(s.clockHz, 2000000u);
    EXPECT_EQ(s.stBits, 10u);
    EXPECT_EQ(s.mtBits, 6u);
    EXPECT_EQ(s.dataMask, 0xFFFFu);
    EXPECT_EQ(s.delayUs, 60u);
    EXPECT_EQ(s.sampleCount, 100u);
    EXPECT_EQ(s.start.size(), std::string("2026-12-09T04:10:00+00:00").size()) << s.start;
    EXPECT_EQ(s.program.rfind("tavik-cli ", 0), 0u);
    EXPECT_EQ(contents.data.readings.size(), 100u);
    EXPECT_EQ(contents.data.delayUs, 60u);
}

TEST_F(CliTest, MalformedFilesNameTheFileAndLine)
{
    const std::string header = "Time [us]; Measurement [dec]\n";
    const struct
    {
        const char* name;
        std::string content;
        std::string error;
    } cases[] = {
        {"number.log", header + "0,7\n50,x\n", ":3: expected a reading of 0 to 4294967295"},
        {"column.txt", header + "0,7\n50\n", ":3: expected \"<time>,<reading>\" in decimal"},
        {"garbage.dat",
         std::string("\x7f"
                     "ELF\x02\x01\x01\0\0",
                     9),
         ":1: "},
        {"truncated.csv", "# Serial: X\n" + header + "0,7\n50,8", ":4: the line does not end"},
        {"setting.csv", "# Serial: X\n# Clock [Hz]: fast\n" + header,
         ":2: \"fast\" is not a decimal number"},
        {"nocolumns.csv", "# Serial: X\n", ":2: the column line is missing"},
    };
    for (const auto& c : cases)
    {
        const std::string path = File(c.name, c.content);
        for (const char* command : {"check", "analyse"})
        {
            EXPECT_EQ(Run({command, path, "--st", "13", "--mt", "12"}), EXIT_USAGE) << c.name;
            EXPECT_EQ(m_Err.rfind("Error: " + path + c.error, 0), 0u) << m_Err;
            EXPECT_EQ(m_Out, "");
        }
    }
    EXPECT_EQ(Run({"check", File("garbage.h5", "not hdf5\n"), "--st", "1", "--mt", "1"}),
              EXIT_USAGE);
    EXPECT_EQ(m_Err, "Error: " + File("garbage.h5") + ": not an HDF5 file\n");
    EXPECT_EQ(Run({"check", File("missing.log"), "--st", "1", "--mt", "1"}), EXIT_USAGE);
    EXPECT_EQ(Run({"check", File("run.bin", "x"), "--st", "1", "--mt", "1"}), EXIT_USAGE);
}

TEST_F(CliTest, AnUnwritableOutputIsRefusedBeforeTheBoxIsTouched)
{
    EXPECT_EQ(Run({"batch", "--count", "10", "-o", "no-such-folder/run.csv"}), EXIT_USAGE);
    EXPECT_EQ(m_Err, std::string("Error: -o no-such-folder/run.csv: cannot write into the folder "
                                 "no-such-folder\n") +
                         kUsage);
    EXPECT_EQ(m_Sim->GetBox(0)->GetCommandCount(), 0u);
    EXPECT_EQ(Run({"batch", "--count", "10", "-o", "run.bin"}), EXIT_USAGE);
    // Each bad value is named with its own range.
    EXPECT_EQ(Run({"-q", "batch", "--count", "16777215", "-o", File("big.log")}), EXIT_USAGE);
    EXPECT_EQ(m_Err, std::string("Error: --count 16777215: The sample count takes 1 to "
                                 "16,777,214 readings.\n") +
                         kUsage);
    EXPECT_EQ(Run({"-q", "batch", "--count", "10", "--delay", "9", "-o", File("a.log")}),
              EXIT_USAGE);
    EXPECT_EQ(m_Err.substr(0, m_Err.find('\n')),
              "Error: --delay 9: The sample delay takes 10 to 4,095 us.");
    EXPECT_EQ(Run({"check", File("a.log", "1\n"), "--st-step", "100"}), EXIT_USAGE);
    EXPECT_EQ(m_Err.substr(0, m_Err.find('\n')),
              "Error: --st-step 100: The ST step size takes 1 to 99.");
    EXPECT_EQ(m_Sim->GetBox(0)->GetCommandCount(), 0u);
}

TEST_F(CliTest, CtrlCDuringABatchStopsTheBoxAndWritesWhatArrived)
{
    InstallInterruptHandler();
    int sleeps = 0;
    m_OnSleep = [&]
    {
        if (++sleeps == 3)
            std::raise(SIGINT);
    };
    const std::string path = File("partial.log");
    EXPECT_EQ(Run({"-q", "batch", "--count", "1000000", "--delay", "50", "-o", path}),
              EXIT_INTERRUPT);
    EXPECT_FALSE(m_Sim->GetBox(0)->IsStreaming());
    std::ifstream file(path);
    const auto lines = std::count(std::istreambuf_iterator<char>(file), {}, '\n');
    EXPECT_GT(lines, 1);
    EXPECT_LT(lines, 1000001);
    EXPECT_EQ(m_Err, "");
}

TEST_F(CliTest, HistoryLinesClearTheProgressBarFirst)
{
    Simulate(1, {}, 60);
    const std::string path = File("bar.log");
    EXPECT_EQ(Run({"batch", "--count", "100000", "--delay", "50", "-o", path}, true), EXIT_OK);
    EXPECT_NE(m_Out.find("/100000"), std::string::npos) << "the bar was drawn";
    EXPECT_NE(m_Out.find("\r\x1b[KAll 100000 measurements read."), std::string::npos) << m_Out;
}

TEST_F(CliTest, ARunWithoutAnEncoderIsNotCheckedNotPassed)
{
    Simulate(1, {.dead = FTD2xx::SimulatorFaults::DEAD_ONES});
    const std::string path = File("dead.csv");
    EXPECT_EQ(Run({"batch", "--count", "1000", "-o", path}), EXIT_FOUND) << m_Err;
    EXPECT_NE(m_Out.find("Result:             not checked: no encoder answering\n"),
              std::string::npos)
        << m_Out;
    EXPECT_EQ(Run({"--json", "check", path}), EXIT_FOUND) << m_Err;
    const json result = json::parse(m_Out)["result"];
    EXPECT_EQ(result["passed"], false);
    EXPECT_EQ(result["verdict"], "not checked");
    EXPECT_EQ(result["errors"], 0);
}

TEST_F(CliTest, SweepOnAFiftyMetreCableRecommendsOneStepBelowItsEdge)
{
    FTD2xx::SimulatorFaults faults;
    faults.cableMaxClockHz = FTD2xx::SimulatorFaults::CableMaxClock(50);
    Simulate(1, faults, 60); // a shaft standing at 0 would read all zeros: a fault of its own
    EXPECT_EQ(Run({"--json", "sweep"}), EXIT_OK);
    const json doc = json::parse(m_Out);
    EXPECT_EQ(doc["highestClean"], 800000);
    EXPECT_EQ(doc["recommended"], 727272);
    EXPECT_EQ(doc["points"].size(), 29u);
    EXPECT_EQ(doc["errors"].size(), 0u);
}

TEST_F(CliTest, SweepWithoutACableRecommendsTheHighestClock)
{
    Simulate(1, {}, 60);
    EXPECT_EQ(Run({"-q", "sweep", "--from", "1000000", "--count", "1000"}), EXIT_OK);
    EXPECT_EQ(m_Out, "Clock         Readings    Errors      Rate\n"
                     "1 MHz             1000         0         0\n"
                     "1142857 Hz        1000         0         0\n"
                     "1333333 Hz        1000         0         0\n"
                     "1600 kHz          1000         0         0\n"
                     "2 MHz             1000         0         0\n"
                     "No errors up to 2 MHz. Recommended clock: 2 MHz.\n");
}

TEST_F(CliTest, SweepWithoutACleanClockExitsWith3)
{
    FTD2xx::SimulatorFaults faults;
    faults.cableMaxClockHz = 100000;
    Simulate(1, faults);
    EXPECT_EQ(Run({"-q", "sweep", "--to", "300000"}), EXIT_FOUND);
    EXPECT_NE(m_Out.find("the problem is not the clock"), std::string::npos) << m_Out;
}

TEST_F(CliTest, CtrlCDuringASweepGivesTheBoxItsClockBack)
{
    ASSERT_EQ(Run({"-q", "info"}), EXIT_OK); // the INI defaults on the box
    const auto before = m_Sim->GetBox(0)->GetParameterBlock();
    InstallInterruptHandler();
    int sleeps = 0;
    m_OnSleep = [&]
    {
        if (++sleeps == 3)
            std::raise(SIGINT);
    };
    EXPECT_EQ(Run({"-q", "sweep"}), EXIT_INTERRUPT);
    EXPECT_FALSE(m_Sim->GetBox(0)->IsStreaming());
    EXPECT_EQ(m_Sim->GetBox(0)->GetParameterBlock(), before);
}

TEST_F(CliTest, AnalyseOfAFaultyBatchSaysWhatTheBatchCheckSaid)
{
    Simulate(1, {.glitchEvery = 700, .stuckEvery = 1500, .slipEvery = 2000}, 600);
    const std::string path = File("faulty.csv");
    ASSERT_EQ(Run({"batch", "--count", "3000", "-o", path}), EXIT_FOUND) << m_Err;
    const std::string batch = m_Out;
    EXPECT_EQ(Run({"analyse", path}), EXIT_FOUND) << m_Err;
    // The summary lines stand between the run's figures and the event table.
    const std::size_t from = m_Out.find("\n\n") + 2;
    const std::size_t to = m_Out.find("\n\n", from) + 1;
    const std::string summary = m_Out.substr(from, to - from);
    EXPECT_NE(summary.find("stuck: 1 event"), std::string::npos) << m_Out;
    EXPECT_NE(batch.find(summary + "Check finished\n"), std::string::npos) << batch << m_Out;
    EXPECT_NE(m_Out.find("\nEvent                  First     Length\n"
                         "spike                    699          1\n"),
              std::string::npos)
        << m_Out;
}

TEST_F(CliTest, AnalyseOfACleanTextFileTakesTheDelayFromItsTimes)
{
    Simulate(1, {}, 600);
    const std::string path = File("clean.log");
    ASSERT_EQ(Run({"-q", "batch", "--count", "3000", "-o", path, "--st-step", "10"}), EXIT_OK);
    EXPECT_EQ(Run({"analyse", path}), EXIT_USAGE);
    EXPECT_EQ(m_Err, "Error: " + path + ": give the bit counts with --st and --mt\n" + kUsage);
    EXPECT_EQ(Run({"analyse", path, "--st", "13", "--mt", "12"}), EXIT_OK) << m_Err;
    EXPECT_EQ(m_Out, "Readings:  3000\n"
                     "Distinct:  3000\n"
                     "Duration:  0.15 s\n"
                     "ST:        81920.6 counts/s, 600.00 rpm forward, 1 turn\n"
                     "MT:        10.0 counts/s, 0.15 rpm forward, 0 turns\n"
                     "\n"
                     "No events found\n");
    EXPECT_EQ(Run({"analyse", path, "--st", "13", "--mt", "0", "--delay", "0"}), EXIT_OK);
    EXPECT_NE(m_Out.find("Duration:  unknown without a delay (--delay US)\n"
                         "ST:        speed unknown, forward, 1 turn\n\n"),
              std::string::npos)
        << m_Out;
}

TEST_F(CliTest, AnalyseGivesNoSpeedForAPartThatDidNotMove)
{
    const std::string path =
        File("still.log", "Time [us]; Measurement [dec]\n0,8292\n50,8292\n100,8293\n150,8292\n");
    EXPECT_EQ(Run({"analyse", path, "--st", "13", "--mt", "12"}), EXIT_OK) << m_Err;
    EXPECT_NE(m_Out.find("MT:        did not move, 0 turns\n"), std::string::npos) << m_Out;
}

TEST_F(CliTest, AnalyseAsJsonHasTheClassesAndSaysWhenEventsAreLeftOut)
{
    Simulate(1, {.glitchEvery = 700}, 600);
    const std::string path = File("glitch.h5");
    ASSERT_EQ(Run({"-q", "batch", "--count", "3000", "-o", path}), EXIT_FOUND) << m_Err;
    EXPECT_EQ(Run({"--json", "analyse", path, "--events", "2"}), EXIT_FOUND) << m_Err;
    const json doc = json::parse(m_Out);
    EXPECT_EQ(doc["delayUs"], 50);
    ASSERT_EQ(doc["classes"].size(), 1u);
    EXPECT_EQ(doc["classes"][0]["name"], "spike");
    EXPECT_EQ(doc["classes"][0]["count"], 4);
    EXPECT_EQ(doc["classes"][0]["first"], 699);
    ASSERT_EQ(doc["events"].size(), 2u);
    EXPECT_EQ(doc["events"][1]["first"], 1399);
    EXPECT_EQ(doc["events"][1]["around"].size(), 7u);
    EXPECT_TRUE(doc["truncated"]);
}

TEST_F(CliTest, RecordsSendTheSpoolOnceAndYieldAndReportReadTheStore)
{
    m_DataFolder = (std::filesystem::current_path() / File("data")).string();
    std::filesystem::remove_all(m_DataFolder);
    const std::string spool = m_DataFolder + "/spool";
    TestRecords::Write(spool, TestRecords::Unit(1, "ENC-1", "FAIL"));
    TestRecords::Spec retest = TestRecords::Unit(2, "ENC-1");
    retest.start = "2026-12-09T11:00:00.000Z";
    TestRecords::Write(spool, retest);
    TestRecords::Spec other = TestRecords::Unit(3, "ENC-2");
    other.station = "station-b";
    TestRecords::Write(spool, other);

    EXPECT_EQ(Run({"records", "--sync"}), EXIT_OK) << m_Err;
    EXPECT_NE(m_Out.find("Sent 3, already stored 0, refused 0, waiting 0"), std::string::npos);
    EXPECT_NE(m_Out.find("3 records"), std::string::npos);
    EXPECT_EQ(Run({"--json", "records", "--sync", "--outcome", "fail", "--dut", "ENC-1"}), EXIT_OK);
    const auto doc = nlohmann::json::parse(m_Out);
    EXPECT_EQ(doc["sync"]["stored"], 0);
    ASSERT_EQ(doc["records"].size(), 1u);
    EXPECT_EQ(doc["records"][0]["uuid"], TestRecords::Uuid(1));

    EXPECT_EQ(Run({"--json", "yield", "--by", "station"}), EXIT_OK) << m_Err;
    const auto yield = nlohmann::json::parse(m_Out)["groups"];
    ASSERT_EQ(yield.size(), 2u);
    EXPECT_EQ(yield[0]["station"], "station-a");
    EXPECT_EQ(yield[0]["records"], 2);
    EXPECT_EQ(yield[0]["units"], 1);
    EXPECT_EQ(yield[0]["firstPass"], 0); // failed first, passed on retest
    EXPECT_EQ(Run({"yield", "--by", "week"}), EXIT_USAGE);

    const std::string html = File("report.html");
    EXPECT_EQ(Run({"report", TestRecords::Uuid(1), "-o", html}), EXIT_OK) << m_Err;
    EXPECT_TRUE(std::filesystem::file_size(html) > 1000);
    EXPECT_EQ(Run({"report", TestRecords::Uuid(42), "-o", html}), EXIT_USAGE);
    EXPECT_NE(m_Err.find("no record " + TestRecords::Uuid(42)), std::string::npos);

    EXPECT_EQ(Run({"records", "--since", "last week"}), EXIT_USAGE);
    EXPECT_NE(m_Err.find("--since last week"), std::string::npos);
    EXPECT_EQ(Run({"records", "--outcome", "WORSE"}), EXIT_USAGE);
    // A store out of reach: --sync says so and how many wait.
    EXPECT_EQ(Run({"records", "--sync", "--store", m_DataFolder + "/none/x.sqlite"}), EXIT_BOX);
    EXPECT_NE(m_Err.find("unable to open"), std::string::npos) << m_Err;
    EXPECT_NE(m_Err.find("3 records waiting to be sent in " + spool), std::string::npos) << m_Err;

    // A test's record goes on to the store as soon as it is in the spool.
    Simulate(1, {}, 60);
    EXPECT_EQ(Run({"test", TAVIK_SOURCE_DIR "/docs/plans/incoming-inspection-ssi-13-12.toml",
                   "--dut", "SN-9", "--spool", spool}),
              EXIT_OK)
        << m_Err;
    EXPECT_EQ(Run({"records", "--sync", "--dut", "SN-9"}), EXIT_OK);
    EXPECT_NE(m_Out.find("Sent 0, already stored 0, refused 0, waiting 0"), std::string::npos);
    EXPECT_NE(m_Out.find("1 record\n"), std::string::npos) << m_Out;
    std::filesystem::remove_all(m_DataFolder);
}

TEST_F(CliTest, WaitForTheBoxThenReadThroughAnUnplugWithReconnect)
{
    // --wait: the box is attached 300 ms into the wait.
    m_Sim->GetBox(0)->Unplug();
    const auto start = m_Clock.Now();
    m_OnSleep = [&]
    {
        if (m_Clock.Now() - start >= std::chrono::milliseconds(300))
            m_Sim->GetBox(0)->Replug();
    };
    EXPECT_EQ(Run({"-q", "--wait", "2", "info", "-d", "sim00001"}), EXIT_OK) << m_Err;
    EXPECT_EQ(m_Err, "Waiting for box sim00001...\n");
    m_OnSleep = {};
    m_Sim->GetBox(0)->Unplug();
    EXPECT_EQ(Run({"-q", "--wait", "1.5", "read"}), EXIT_BOX);
    EXPECT_EQ(m_Err, "Waiting for a box...\nError: No box appeared within 1.5 s.\n");

    // The box vanishes 1 s after it was opened and returns 0.5 s later.
    Simulate(1, {.unplugAfterMs = 1000, .replugAfterMs = 500});
    EXPECT_EQ(Run({"-q", "read", "--count", "20", "--interval", "100", "--reconnect"}), EXIT_OK);
    EXPECT_EQ(std::count(m_Out.begin(), m_Out.end(), '\n'), 20);
    EXPECT_EQ(m_Err, "Error: Box SIM00001 unplugged - waiting for it to return.\n"
                     "Box SIM00001 is back; its settings are restored.\n");
    // Without --reconnect the run ends there, with one line.
    Simulate(1, {.unplugAfterMs = 1000, .replugAfterMs = 500});
    EXPECT_EQ(Run({"-q", "read", "--count", "20", "--interval", "100"}), EXIT_BOX);
    EXPECT_EQ(m_Err,
              "Error: Box SIM00001 unplugged (No such device (it may have been disconnected)).\n");
    // --wait bounds the wait for the return.
    Simulate(1, {.unplugAfterMs = 1000});
    EXPECT_EQ(
        Run({"-q", "--wait", "1", "read", "--count", "20", "--interval", "100", "--reconnect"}),
        EXIT_BOX);
    EXPECT_EQ(m_Err, "Error: Box SIM00001 unplugged - waiting for it to return.\n"
                     "Error: Box SIM00001 did not return within 1 s.\n");
}

TEST_F(CliTest, TestExitsWithTheOutcomeAndSpoolsEveryRecordStoppedOnesToo)
{
    const std::string plan =
        std::string(TAVIK_SOURCE_DIR) + "/docs/plans/incoming-inspection-ssi-13-12.toml";
    const std::string spool = File("spool");
    const std::vector<std::string> unit = {"--dut", "SN-1", "--station", "s", "--spool", spool};
    const auto run = [&](std::vector<std::string> args)
    {
        args.insert(args.end(), unit.begin(), unit.end());
        return Run(args);
    };
    // A bad plan is refused before any box is touched.
    const std::string bad = File("bad.toml", "name = \"p\"\nversion = \"1\"\n[box]\nbits = 3\n");
    EXPECT_EQ(run({"-q", "test", bad}), EXIT_USAGE);
    EXPECT_EQ(m_Err, "Error: " + bad + ":4: box.bits: unknown key\n");
    EXPECT_EQ(m_Sim->GetBox(0)->GetCommandCount(), 0u);

    FTD2xx::SimulatorFaults faults;
    faults.glitchEvery = 5000;
    Simulate(1, faults, 60);
    EXPECT_EQ(run({"--json", "test", plan, "--operator", "Ann"}), EXIT_FOUND);
    const json doc = json::parse(m_Out);
    EXPECT_EQ(doc["outcome"], "FAIL");
    EXPECT_EQ(doc["record"]["operator"], "Ann");
    EXPECT_NE(std::find(doc["failed"].begin(), doc["failed"].end(), "Code check: spike_events"),
              doc["failed"].end());
    EXPECT_TRUE(std::filesystem::exists(doc["file"].get<std::string>()));

    Simulate(1, {}, 60);
    InstallInterruptHandler();
    int sleeps = 0;
    m_OnSleep = [&]
    {
        if (++sleeps == 3)
            std::raise(SIGINT);
    };
    EXPECT_EQ(run({"--json", "test", plan}), EXIT_INTERRUPT);
    EXPECT_EQ(json::parse(m_Out)["record"]["outcome"], "ABORTED");
    EXPECT_FALSE(m_Sim->GetBox(0)->IsStreaming());
    std::size_t records = 0;
    for (const auto& entry : std::filesystem::directory_iterator(spool))
        records += entry.path().extension() == ".json";
    EXPECT_EQ(records, 2u);
    std::filesystem::remove_all(spool);
}
