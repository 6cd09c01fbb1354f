#include "app/cli/Subcommand.h"

#include "app/TavikVersion.h"
#include "app/core/BatchFile.h"
#include "app/core/Formats.h"
#include "app/core/RecordSpool.h"
#include "app/core/TestRecord.h"
#include "app/core/TestRunner.h"
#include "base/IniFile.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <unistd.h>

namespace App::Cli
{

namespace
{
struct TestOptions
{
    std::string plan;
    TestUnit unit;
    std::string spool;
    std::string store;
};

class Test : public SubcommandWith<TestOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    // The plan and the spool folder are checked before the box is touched.
    int Prepare() override;
    int Execute() override;

private:
    // The spool's waiting records, this one among them, go on to the results store; one
    // out of reach leaves them waiting and says so, the run's exit code unchanged.
    void SendToStore();

    TestPlan m_Plan;
    TestUnit m_Unit;
    std::string m_Spool;
};

void Test::SendToStore()
{
    std::string spec = m_Options.store;
    if (zef::String configured; spec.empty() && m_Ini.GetString("Default", "Store", configured))
        spec = configured.c_str();
    if (spec.empty() && !m_Env.dataFolder.empty())
        spec = DefaultStoreSpec(m_Env.dataFolder);
    if (spec.empty())
        return;
    const SpoolForward sent = ForwardSpool(m_Spool, spec);
    for (const std::string& line : ForwardErrorLines(sent))
        m_Env.err << "Error: " << line << '\n';
    if (sent.waiting != 0)
        m_Env.err << WaitingText(sent.waiting) << " in " << m_Spool << '\n';
}

int Test::Prepare()
{
    std::string error;
    if (!LoadTestPlan(m_Options.plan, m_Plan, error))
    {
        m_Env.err << "Error: " << error << '\n';
        return EXIT_USAGE;
    }
    m_Unit = m_Options.unit;
    if (m_Unit.serial.empty())
        return Usage("--dut: the unit's serial number must not be empty");
    if (m_Unit.station.empty())
    {
        std::string text;
        if (BatchFile::ReadText("/etc/machine-id", text, error))
            m_Unit.station = StationFromMachineId(text);
    }
    m_Spool = !m_Options.spool.empty()   ? m_Options.spool
              : m_Env.dataFolder.empty() ? std::string()
                                         : DefaultSpoolFolder(m_Env.dataFolder);
    if (m_Spool.empty())
        return Usage("no spool folder: give --spool DIR, or set HOME or XDG_DATA_HOME");
    std::error_code ec;
    std::filesystem::create_directories(m_Spool, ec);
    if (ec || ::access(m_Spool.c_str(), W_OK) != 0)
        return Usage("--spool " + m_Spool + ": cannot write into the folder" +
                     (ec ? ": " + ec.message() : std::string()));
    return EXIT_OK;
}

int Test::Execute()
{
    TestRunner runner(m_Box, m_Sink);
    const std::size_t errorsBefore = m_Sink.ErrorCount();
    runner.Start(m_Plan, m_Unit, TAVIK_VERSION);
    const bool interrupted = PollUntilDone({[&runner] { return runner.IsRunning(); },
                                            [&runner] { return runner.IsStreaming(); },
                                            [&runner] { runner.Poll(); },
                                            [&runner] { runner.Stop(); },
                                            {}});
    // Saved before anything else happens with it.
    const TestRecord& record = runner.Record();
    const SpoolWrite saved = WriteTestRecord(record, m_Spool);
    if (!saved.Ok())
        m_Env.err << "Error: " << saved.error << '\n';
    else
        SendToStore();

    std::vector<std::string> failed;
    for (const StepResult& step : record.steps)
        for (const MeasurementResult& m : step.measurements)
            if (m.outcome == OUTCOME_FAIL)
                failed.push_back(step.name + ": " + m.name);
    if (m_Global.json)
    {
        json doc = {
            {"outcome", TestOutcomeName(record.outcome)},
            {"file", saved.jsonPath.empty() ? json() : json(saved.jsonPath)},
            {"failed", failed},
            {"interrupted", interrupted},
            {"record", json::parse(TestRecordJson(
                           record, saved.h5Path.empty() ? std::string() : record.uuid + ".h5"))}};
        PrintJson(doc);
    }
    else
    {
        for (const StepResult& step : record.steps)
        {
            m_Env.out << Format("%-9s %s", TestOutcomeName(step.outcome), step.name.c_str())
                      << (step.error.empty()
                              ? ""
                              : " (" + step.error.substr(0, step.error.find('\n')) + ")")
                      << '\n';
            for (const MeasurementResult& m : step.measurements)
                m_Env.out << Format(
                    "  %-9s %-22s %s %s\n", TestOutcomeName(m.outcome), m.name.c_str(),
                    m.value ? Format("%.6g", *m.value).c_str() : "none", m.unit.c_str());
        }
        if (record.rootCause)
            m_Env.out << "Root cause: " << *record.rootCause << '\n';
        m_Env.out << TestOutcomeName(record.outcome) << ' ' << record.unit.serial << '\n';
        if (saved.Ok())
            m_Env.out << "Record: " << saved.jsonPath << '\n';
    }
    if (interrupted || record.outcome == OUTCOME_ABORTED)
        return EXIT_INTERRUPT;
    if (!saved.Ok())
        return EXIT_USAGE;
    if (record.outcome == OUTCOME_ERROR || m_Sink.ErrorCount() != errorsBefore)
        return EXIT_BOX;
    return record.outcome == OUTCOME_FAIL ? EXIT_FOUND : EXIT_OK;
}

} // namespace

Factory DeclareTest(CLI::App& sub)
{
    auto o = std::make_shared<TestOptions>();
    sub.add_option("plan", o->plan, "the test plan (TOML)")->required();
    sub.add_option("--dut", o->unit.serial, "the unit's serial number")->required();
    sub.add_option("--part", o->unit.partNumber, "the unit's part number");
    sub.add_option("--operator", o->unit.operatorName, "who tests");
    sub.add_option("--station", o->unit.station, "the station's name (default: /etc/machine-id)");
    sub.add_option("--store", o->store,
                   "the results store the record goes on to: postgresql://..., service=NAME or "
                   "an SQLite file (default: Store in Tavik.ini, else records.sqlite in the data "
                   "folder)");
    sub.add_option("--spool", o->spool,
                   "the folder of the records (default: $XDG_DATA_HOME/tavik/spool, else "
                   "~/.local/share/tavik/spool)");
    return Make<Test>(o);
}

} // namespace App::Cli
