#include "app/cli/Cli.h"

#include "app/TavikVersion.h"
#include "app/core/BatchRun.h"
#include "app/core/BoxSession.h"
#include "app/core/ClockSweep.h"
#include "app/core/CodeTester.h"
#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/Run.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunFile.h"
#include "app/core/Verdict.h"
#include "base/IniFile.h"
#include "base/String.h"
#include "base/Support.h"
#include "driver/Box.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;
using json = nlohmann::ordered_json;

namespace
{
volatile std::sig_atomic_t g_Interrupted = 0;

extern "C" void OnInterrupt(int)
{
    g_Interrupted = 1;
}

constexpr const char* kUsage = "Usage: tavik-cli [--simulate] [--json] [-q] "
                               "<list|info|set|read|batch|check|analyse|sweep> [OPTIONS]";

// The batch's collection tick: short enough for a lively progress bar, long enough to cost
// the processor next to nothing while the box streams.
constexpr unsigned kPollMs = 200;

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0    success\n"
    "  1    a box or link failure (the box's status on stderr)\n"
    "  2    bad usage, a malformed input file or an output file that cannot be written\n"
    "  3    check or batch found errors in the readings or could not check them (fewer than 3\n"
    "       readings, no encoder answering); analyse found events; sweep found no clean clock\n"
    "  130  interrupted (Ctrl-C); what arrived is kept, a sweep restores the clock\n";

// History lines to stdout (unless quiet), error lines to stderr; both kept for --json.
class CliSink : public HistorySink
{
public:
    CliSink(std::ostream& out, std::ostream& err, bool quiet)
        : m_Out(out), m_Err(err), m_Quiet(quiet)
    {
    }
    std::size_t ErrorCount() const { return m_ErrorCount; }
    // Called before a line is written: a progress bar clears its line so the two don't mix.
    void SetBeforeWrite(std::function<void()> hook) { m_BeforeWrite = std::move(hook); }
    const std::vector<std::string>& Lines() const { return m_Lines; }
    const std::vector<std::string>& Errors() const { return m_Errors; }

protected:
    void AddEntries(const std::vector<std::string>& entries, Kind kind) override
    {
        if (kind == HISTORY_ERROR)
            ++m_ErrorCount;
        if (m_BeforeWrite && (kind == HISTORY_ERROR || !m_Quiet))
            m_BeforeWrite();
        for (const std::string& entry : entries)
        {
            if (kind == HISTORY_ERROR)
            {
                m_Err << entry << '\n';
                m_Errors.push_back(entry);
            }
            else
            {
                if (!m_Quiet)
                    m_Out << entry << '\n';
                m_Lines.push_back(entry);
            }
        }
        (kind == HISTORY_ERROR ? m_Err : m_Out).flush();
    }

private:
    std::ostream& m_Out;
    std::ostream& m_Err;
    bool m_Quiet;
    std::function<void()> m_BeforeWrite;
    std::size_t m_ErrorCount = 0;
    std::vector<std::string> m_Lines;
    std::vector<std::string> m_Errors;
};

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y)
                      { return std::tolower((unsigned char)x) == std::tolower((unsigned char)y); });
}

// A mask or register word: at most eight hexadecimal digits, "0x" allowed.
std::string CheckHexWord(const std::string& text)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isxdigit((unsigned char)c); }))
        return "'" + text + "' is not a hexadecimal word of at most 8 digits";
    return {};
}

const std::map<std::string, SampleParameter::SERIAL_MODE> kModes = {
    {"ssi-binary", SampleParameter::SSI_Binary},
    {"ssi-gray", SampleParameter::SSI_Gray},
    {"spi-binary", SampleParameter::SPI_Binary},
    {"spi-gray", SampleParameter::SPI_Gray},
};
const std::map<std::string, Box::POWER_MODE> kSupplies = {
    {"off", Box::PWR_OFF},
    {"ext", Box::PWR_EXTERNAL},
    {"5v", Box::PWR_INTERNAL},
    {"12v", Box::PWR_INTERNAL_DCDC},
};
const std::map<std::string, Box::OUTPUT_MODE> kOutputs = {
    {"open", Box::OUT_OPEN},
    {"low", Box::OUT_LOW_GND},
    {"high", Box::OUT_HIGH_UB},
};

struct Options
{
    bool simulate = false;
    bool json = false;
    bool quiet = false;
    std::string device;

    // set
    std::optional<std::string> mode;
    std::optional<unsigned> clock;
    std::optional<unsigned> st;
    std::optional<unsigned> mt;
    std::optional<std::string> dataMask;
    std::optional<std::string> grayMask;
    std::optional<std::string> spiWord;
    std::vector<std::string> outputs;
    std::optional<std::string> power;

    // read
    std::optional<unsigned> count;
    std::optional<unsigned> interval;

    // batch and check; the numbers start at the batch's start values
    BatchSettings batch;
    std::string file;
    std::string stMono = "auto";
    std::string mtMono = "auto";
    bool gray = false;

    // analyse
    std::optional<unsigned> fileDelay;
    unsigned events = 20;

    // sweep
    ClockSweep::Settings sweep;
};

const std::map<std::string, MONOTONY> kMonotonies = {
    {"asc", MONO_ASC},
    {"desc", MONO_DESC},
    {"auto", MONO_AUTODETECT},
    {"none", MONO_NO_TEST},
};

const char* VerdictName(Verdict::Kind kind)
{
    return kind == Verdict::PASSED ? "passed" : kind == Verdict::FAILED ? "failed" : "not checked";
}

json ResultJson(const CodeTester::Result& r, const Verdict& verdict)
{
    return {{"passed", verdict.kind == Verdict::PASSED},
            {"verdict", VerdictName(verdict.kind)},
            {"reason", verdict.reason},
            {"errors", r.GetErrorCount()},
            {"stMonotonyErrors", r.m_StMonotonyErrors},
            {"mtMonotonyErrors", r.m_MtMonotonyErrors},
            {"stStepErrors", r.m_StStepErrors},
            {"mtStepErrors", r.m_MtStepErrors},
            {"stTurns", r.m_StTurns},
            {"mtTurns", r.m_MtTurns}};
}

void PrintResult(std::ostream& out, const CodeTester::Result& r, const Verdict& verdict)
{
    out << "ST monotony errors: " << r.m_StMonotonyErrors << '\n'
        << "MT monotony errors: " << r.m_MtMonotonyErrors << '\n'
        << "ST step errors:     " << r.m_StStepErrors << '\n'
        << "MT step errors:     " << r.m_MtStepErrors << '\n'
        << "ST turns:           " << r.m_StTurns << '\n'
        << "MT turns:           " << r.m_MtTurns << '\n'
        << "Result:             "
        << (verdict.kind == Verdict::FAILED ? std::to_string(r.GetErrorCount()) + " error(s)"
                                            : verdict.Text(r.GetErrorCount()))
        << '\n';
}

// Readings per second and the time left, redrawn in place on a terminal.
class ProgressBar
{
public:
    ProgressBar(std::ostream& err, bool shown) : m_Err(err), m_Shown(shown) {}
    void Show(std::size_t done, std::size_t total)
    {
        if (!m_Shown || total == 0)
            return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
        const double rate = seconds > 0 ? double(done) / seconds : 0;
        constexpr int kWidth = 30;
        const int filled = int(double(kWidth) * double(done) / double(total));
        std::string bar = "\r[" + std::string(std::size_t(filled), '#') +
                          std::string(std::size_t(kWidth - filled), '-') + "]";
        bar += Format(" %3d%%  %zu/%zu  %.0f/s", int(100.0 * double(done) / double(total)), done,
                      total, rate);
        if (rate > 0)
        {
            const unsigned left = unsigned(double(total - done) / rate + 0.5);
            bar += Format("  %u:%02u left", left / 60, left % 60);
        }
        m_Err << bar << "\x1b[K" << std::flush;
        m_Drawn = true;
    }
    void Done()
    {
        if (m_Drawn)
            m_Err << '\n' << std::flush;
        m_Drawn = false;
    }
    // Clears the drawn bar; the next Show draws it again below what was written meanwhile.
    void Erase()
    {
        if (m_Drawn)
            m_Err << "\r\x1b[K" << std::flush;
        m_Drawn = false;
    }

private:
    std::ostream& m_Err;
    bool m_Shown;
    bool m_Drawn = false;
    std::chrono::steady_clock::time_point m_Start = std::chrono::steady_clock::now();
};

// One run of the program: the box, its session and the sink, set up for one subcommand.
class Command
{
public:
    Command(const Options& options, CliEnvironment& env)
        : m_Options(options), m_Env(env), m_Sink(env.out, env.err, options.quiet || options.json),
          m_Session(m_Box, m_Sink, m_Ini)
    {
        // As the window does: a missing INI file is an empty one; a broken one is not used,
        // logged to error_opening_inifile.log and named on stderr, and the run goes on with
        // the built-in values.
        zef::Support::LoadAppIni(m_Ini, env.iniFile.c_str());
        if (const std::string problem = BoxSession::IniProblem(m_Ini); !problem.empty())
            for (const std::string& line : SplitHistoryLines("Error: " + problem))
                m_Env.err << line << '\n';
    }

    int List();
    int Info();
    int Set();
    int Read();
    int Batch();
    int Check();
    int Analyse();
    int Sweep();

private:
    int CheckOutputPath();
    bool Save(BatchRun& run);
    // The batch values the subcommand takes, each against its range, and the radio groups'
    // choices; on a bad value its own message and the exit code.
    int TakeBatchSettings(std::initializer_list<BatchValue> values, BatchSettings& settings);
    // The CLI's collection loop for a batch or a sweep: a poll every tick while the box
    // streams, Stop on Ctrl-C. True when interrupted.
    struct Polled
    {
        std::function<bool()> running;
        std::function<bool()> streaming;
        std::function<void()> poll;
        std::function<void()> stop;
        std::function<void()> progress;
    };
    bool PollUntilDone(const Polled& engine);
    // Scans, picks the box (-d, else UsbDevice, else the only one) and connects.
    int Connect();
    int PowerOn();
    // The saved file as a run, with its bit counts (the options, else the file's); on a
    // failure the error is written and the exit code returned.
    int ReadFile(Run& run);
    int Usage(const std::string& message);
    std::string Description(const BoxView::Device& device) const;
    std::vector<BoxView::Device> InLinkOrder() const;
    json History() const;
    void PrintJson(json document);
    void Sleep(unsigned ms)
    {
        if (m_Env.sleep)
            m_Env.sleep(ms);
    }

    const Options& m_Options;
    CliEnvironment& m_Env;
    zef::IniFile m_Ini;
    CliSink m_Sink;
    Box m_Box;
    BoxSession m_Session;
};

int Command::Usage(const std::string& message)
{
    m_Env.err << "Error: " << message << '\n' << kUsage << '\n';
    return EXIT_USAGE;
}

std::string Command::Description(const BoxView::Device& device) const
{
    std::string serial;
    std::string description;
    m_Box.GetDeviceInformation(device.index, serial, description);
    return description;
}

std::vector<BoxView::Device> Command::InLinkOrder() const
{
    std::vector<BoxView::Device> devices = m_Session.View().devices;
    std::sort(devices.begin(), devices.end(),
              [](const BoxView::Device& a, const BoxView::Device& b) { return a.index < b.index; });
    return devices;
}

json Command::History() const
{
    return json{{"history", m_Sink.Lines()}, {"errors", m_Sink.Errors()}};
}

void Command::PrintJson(json document)
{
    document.update(History());
    m_Env.out << document.dump(2) << '\n';
}

int Command::List()
{
    m_Session.EnterState(GS_INIT);
    const Outcome scan = m_Session.ScanDevices();
    json devices = json::array();
    for (const BoxView::Device& device : InLinkOrder())
    {
        const std::string description = Description(device);
        if (m_Options.json)
            devices.push_back({{"serial", device.serial}, {"description", description}});
        else
            m_Env.out << device.serial << "  " << description << '\n';
    }
    if (m_Options.json)
        PrintJson({{"devices", devices}});
    return scan ? EXIT_OK : EXIT_BOX;
}

int Command::Connect()
{
    m_Session.EnterState(GS_INIT);
    if (!m_Session.ScanDevices())
        return EXIT_BOX;
    const auto& devices = m_Session.View().devices;
    auto listing = [&]
    {
        std::string text;
        for (const BoxView::Device& device : InLinkOrder())
            text += "\n    " + device.serial + "  " + Description(device);
        return text;
    };
    zef::String configured;
    if (!m_Options.device.empty())
    {
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [&](const BoxView::Device& d)
                                        { return EqualsIgnoringCase(d.serial, m_Options.device); });
        if (found == devices.end())
        {
            m_Sink.Error("Device '" + m_Options.device + "' was not detected." +
                         (devices.empty() ? std::string() : "\nAttached:" + listing()));
            return EXIT_BOX;
        }
        m_Session.SelectDevice(int(found - devices.begin()));
    }
    else if (m_Ini.GetString("Default", "UsbDevice", configured) && !configured.IsEmpty())
    {
        if (!m_Session.PreselectConfigured())
            return EXIT_BOX;
    }
    else if (devices.empty())
    {
        m_Sink.Error("No box is attached.");
        return EXIT_BOX;
    }
    else if (devices.size() > 1)
    {
        m_Env.err << "Error: " << devices.size()
                  << " boxes are attached; choose one with -d SERIAL or with UsbDevice in "
                     "chapter [Default] of Tavik.ini:"
                  << listing() << '\n'
                  << kUsage << '\n';
        return EXIT_USAGE;
    }
    const Outcome connected = m_Session.ConnectOrDisconnect();
    return m_Box.IsOpen() && connected ? EXIT_OK : EXIT_BOX;
}

int Command::Info()
{
    if (const int code = Connect(); code != EXIT_OK)
        return code;
    const BoxView& view = m_Session.View();
    const bool on = view.state == GS_POWERED;
    const char* mode = view.mode ? SampleParameter::GetModeAsString(*view.mode) : "unknown";
    if (m_Options.json)
    {
        json outputs = json::array();
        for (Box::OUTPUT_MODE output : view.outputs)
            outputs.push_back(Box::GetOutputModeAsString(output));
        PrintJson({{"serial", m_Box.GetSerial()},
                   {"description", m_Box.GetDescription()},
                   {"supply", on ? Box::GetPowerModeAsString(view.supply) : "PWR_OFF"},
                   {"supplyChoice", Box::GetPowerModeAsString(view.supply)},
                   {"mode", mode},
                   {"clockHz", view.clock},
                   {"stBits", view.stBits},
                   {"mtBits", view.mtBits},
                   {"dataMask", view.dataFilter},
                   {"grayMask", view.grayCodeFilter},
                   {"spiWord", view.spiWord},
                   {"outputs", outputs}});
        return EXIT_OK;
    }
    std::ostream& out = m_Env.out;
    out << "Device:    " << m_Box.GetSerial() << "  " << m_Box.GetDescription() << '\n';
    out << "Supply:    "
        << (on ? Box::GetPowerModeAsString(view.supply)
               : "PWR_OFF (" + std::string(Box::GetPowerModeAsString(view.supply)) + " chosen)")
        << '\n';
    out << "Mode:      " << mode << '\n';
    out << "Clock:     " << view.clock << " Hz\n";
    out << "ST bits:   " << view.stBits << '\n';
    out << "MT bits:   " << view.mtBits << '\n';
    out << "Data mask: 0x" << FormatHex8(view.dataFilter) << '\n';
    out << "Gray mask: 0x" << FormatHex8(view.grayCodeFilter) << '\n';
    out << "SPI word:  0x" << FormatHex8(view.spiWord) << '\n';
    for (std::size_t i = 0; i < view.outputs.size(); ++i)
        out << "Output " << i + 1 << ":  " << Box::GetOutputModeAsString(view.outputs[i]) << '\n';
    return EXIT_OK;
}

int Command::Set()
{
    // Every value is checked before the box is touched.
    std::optional<Box::POWER_MODE> power;
    if (m_Options.power)
        power = kSupplies.at(*m_Options.power);
    std::vector<std::pair<int, Box::OUTPUT_MODE>> outputs;
    for (const std::string& text : m_Options.outputs)
    {
        const auto eq = text.find('=');
        const auto mode =
            eq == std::string::npos ? kOutputs.end() : kOutputs.find(text.substr(eq + 1));
        const std::string index = text.substr(0, eq);
        if (mode == kOutputs.end() || (index != "1" && index != "2" && index != "3"))
            return Usage("--output: '" + text + "' is not N=open|low|high with N 1 to 3");
        outputs.emplace_back(index[0] - '1', mode->second);
    }
    if (m_Options.clock)
    {
        const auto& clocks = BoxSession::Clocks();
        if (std::find(clocks.begin(), clocks.end(), *m_Options.clock) == clocks.end())
        {
            std::string list;
            for (unsigned hz : clocks)
                list += (list.empty() ? "" : ", ") + std::to_string(hz);
            return Usage("--clock: " + std::to_string(*m_Options.clock) +
                         " Hz is not a selectable clock; choose one of " + list);
        }
    }

    if (const int code = Connect(); code != EXIT_OK)
        return code;
    const BoxView& view = m_Session.View();
    if (power && *power != Box::PWR_OFF && view.state == GS_POWERED && view.supply != *power)
        return Usage(std::string("the supply is on with ") +
                     Box::GetPowerModeAsString(view.supply) +
                     "; it is only switched on from off (--power off first)");

    // Every setting is tried; one that failed makes the exit code.
    bool failed = false;
    const auto apply = [&failed](const Outcome& outcome) { failed = failed || !outcome; };
    if (m_Options.mode)
    {
        const auto mode = kModes.at(*m_Options.mode);
        if (std::find(view.modes.begin(), view.modes.end(), mode) == view.modes.end())
            apply(m_Session.SetExpert(ExpertOption::SPI_MODE, true));
        apply(m_Session.ChooseMode(mode));
    }
    if (m_Options.clock)
        apply(m_Session.ChooseClock(*m_Options.clock));
    if (m_Options.st || m_Options.mt)
        apply(m_Session.ChooseBitCounts(m_Options.st.value_or(view.stBits),
                                        m_Options.mt.value_or(view.mtBits)));
    if (m_Options.dataMask)
        apply(m_Session.CommitDataFilter(*m_Options.dataMask));
    if (m_Options.grayMask)
        apply(m_Session.CommitGrayCodeFilter(*m_Options.grayMask));
    if (m_Options.spiWord)
        apply(m_Session.CommitSpiWord(*m_Options.spiWord));
    for (const auto& [index, mode] : outputs)
        apply(m_Session.ClickOutput(index, mode));
    if (power)
    {
        if (*power == Box::PWR_OFF && view.state == GS_POWERED)
            apply(m_Session.TogglePower());
        else if (*power != Box::PWR_OFF && view.state == GS_CONNECTED)
        {
            m_Session.ChooseSupply(*power);
            apply(m_Session.TogglePower());
        }
    }
    if (m_Options.json)
        PrintJson(json::object());
    return failed ? EXIT_BOX : EXIT_OK;
}

// A box found off is switched on with the supply its defaults chose, as the window's power
// button does after connecting.
int Command::PowerOn()
{
    if (m_Session.View().state == GS_CONNECTED)
        m_Session.TogglePower();
    return m_Session.View().state == GS_POWERED ? EXIT_OK : EXIT_BOX;
}

int Command::Read()
{
    if (const int code = Connect(); code != EXIT_OK)
        return code;
    if (const int code = PowerOn(); code != EXIT_OK)
        return code;
    // Without --count: one reading, or one every interval until Ctrl-C when it is given.
    const bool endless = !m_Options.count && m_Options.interval;
    const unsigned count = m_Options.count.value_or(1);
    const unsigned interval = m_Options.interval.value_or(50);
    json readings = json::array();
    int code = EXIT_OK;
    for (unsigned n = 0; endless || n < count; ++n)
    {
        if (n != 0)
            Sleep(interval);
        if (Interrupted())
        {
            code = EXIT_INTERRUPT;
            break;
        }
        const std::optional<unsigned> value = m_Session.SingleSample().value;
        if (!value)
        {
            code = EXIT_BOX;
            break;
        }
        const SampleParts parts = m_Session.Split(*value);
        if (m_Options.json)
            readings.push_back({{"raw", *value}, {"st", parts.st}, {"mt", parts.mt}});
        else
            m_Env.out << (m_Session.View().hex ? FormatHex8(*value) : std::to_string(*value)) << ' '
                      << parts.stText << ' ' << parts.mtText << std::endl;
    }
    if (m_Options.json)
        PrintJson({{"stBits", m_Session.View().stBits},
                   {"mtBits", m_Session.View().mtBits},
                   {"readings", readings}});
    return code;
}

int Command::CheckOutputPath()
{
    if (RunFileTypeOf(m_Options.file) == RUN_FILE_UNKNOWN)
        return Usage("-o " + m_Options.file + ": expected " + kRunFileTypes);
    std::filesystem::path folder = std::filesystem::path(m_Options.file).parent_path();
    if (folder.empty())
        folder = ".";
    if (::access(folder.c_str(), W_OK) != 0)
        return Usage("-o " + m_Options.file + ": cannot write into the folder " + folder.string());
    // Before the run, not after it: a folder or a write-protected file cannot take it.
    if (BatchFile::CheckTarget(m_Options.file) != BatchFile::BATCH_FILE_OK)
        return Usage("-o " + m_Options.file +
                     ": cannot open the file for writing: " + std::strerror(errno));
    return EXIT_OK;
}

bool Command::Save(BatchRun& run)
{
    if (!run.HasReadings())
        return true;
    // The run writes its own line on success.
    const BatchFile::Error error = run.Save(m_Options.file);
    if (error == BatchFile::BATCH_FILE_OK)
        return true;
    const int failure = errno;
    m_Env.err << "Error: " << m_Options.file
              << (error == BatchFile::BATCH_FILE_OPEN ? ": cannot open the file for writing: "
                                                      : ": error while writing the file: ")
              << std::strerror(failure) << '\n';
    return false;
}

int Command::TakeBatchSettings(std::initializer_list<BatchValue> values, BatchSettings& settings)
{
    settings = m_Options.batch;
    for (const BatchValue value : values)
    {
        const BatchValueRange& range = BatchRange(value);
        if (const std::string why = CheckBatchValue(value, BatchValueOf(settings, value));
            !why.empty())
            return Usage(
                Format("--%s %u: %s", range.name, BatchValueOf(settings, value), why.c_str()));
    }
    settings.check.stMonotony = kMonotonies.at(m_Options.stMono);
    settings.check.mtMonotony = kMonotonies.at(m_Options.mtMono);
    return EXIT_OK;
}

bool Command::PollUntilDone(const Polled& engine)
{
    while (engine.running())
    {
        if (engine.progress)
            engine.progress();
        if (engine.streaming())
            Sleep(kPollMs);
        if (Interrupted())
        {
            // Stopped on the box; what arrived is kept.
            engine.stop();
            return true;
        }
        engine.poll();
    }
    return false;
}

int Command::Batch()
{
    BatchSettings settings;
    if (const int code = TakeBatchSettings(
            {BATCH_COUNT, BATCH_DELAY, BATCH_MT_STEP, BATCH_ST_STEP, BATCH_ERROR_LIMIT}, settings);
        code != EXIT_OK)
        return code;
    if (const int code = CheckOutputPath(); code != EXIT_OK)
        return code;
    if (const int code = Connect(); code != EXIT_OK)
        return code;
    if (const int code = PowerOn(); code != EXIT_OK)
        return code;
    const BoxView& view = m_Session.View();
    // The window opens its batch dialog with binary readings.
    BatchRun run(m_Box, m_Sink, view.stBits, view.mtBits, false);
    run.Open();
    if (run.GetState() == BatchRun::BATCH_BOX_ERROR)
        return EXIT_BOX;
    run.WarnAboutDelay(settings.delayUs);
    run.SetSettings(m_Session.DescribeRun(std::string("tavik-cli ") + TAVIK_VERSION));

    const std::size_t errorsBefore = m_Sink.ErrorCount();
    ProgressBar bar(m_Env.err, m_Env.errIsTerminal);
    m_Sink.SetBeforeWrite([&bar] { bar.Erase(); });
    run.Start(settings);
    const auto sampling = [&run] { return run.GetState() == BatchRun::BATCH_SAMPLING; };
    const bool interrupted =
        PollUntilDone({sampling, sampling, [&run] { run.Poll(); }, [&run] { run.Stop(); },
                       [&] { bar.Show(run.GetView().progressPos, settings.count); }});
    bar.Show(run.GetView().progressPos, settings.count);
    bar.Done();
    m_Sink.SetBeforeWrite({});
    const bool boxFailed = m_Sink.ErrorCount() != errorsBefore;
    const bool saved = Save(run);
    const bool checked = !interrupted && !boxFailed && run.GetBuffer().size() == settings.count;
    const Verdict verdict = run.GetView().verdict;
    if (m_Options.json)
    {
        json doc = {{"file", m_Options.file},
                    {"readings", run.GetBuffer().size()},
                    {"interrupted", interrupted}};
        if (checked)
            doc["result"] = ResultJson(run.GetResult(), verdict);
        PrintJson(doc);
    }
    else if (checked)
        PrintResult(m_Env.out, run.GetResult(), verdict);
    if (interrupted)
        return EXIT_INTERRUPT;
    if (boxFailed)
        return EXIT_BOX;
    if (!saved)
        return EXIT_USAGE;
    return checked && verdict.kind == Verdict::PASSED ? EXIT_OK : EXIT_FOUND;
}

int Command::ReadFile(Run& run)
{
    if (RunFileTypeOf(m_Options.file) == RUN_FILE_UNKNOWN)
        return Usage(m_Options.file + ": expected " + kRunFileTypes);
    RunFileContents contents;
    std::string error;
    if (!ReadRunFile(m_Options.file, contents, error))
    {
        m_Env.err << "Error: " << error << '\n';
        return EXIT_USAGE;
    }
    // The file's bit counts stand in for options not given.
    const std::optional<RunSettings>& settings = contents.settings;
    const std::optional<unsigned> st = m_Options.st ? m_Options.st
                                       : settings   ? std::optional(settings->stBits)
                                                    : std::nullopt;
    const std::optional<unsigned> mt = m_Options.mt ? m_Options.mt
                                       : settings   ? std::optional(settings->mtBits)
                                                    : std::nullopt;
    if (!st || !mt)
        return Usage(m_Options.file + ": give the bit counts with --st and --mt");
    const bool gray = m_Options.gray || contents.gray;
    run = Run::FromFile(std::move(contents), *st, *mt, gray);
    return EXIT_OK;
}

int Command::Check()
{
    BatchSettings settings;
    if (const int code =
            TakeBatchSettings({BATCH_MT_STEP, BATCH_ST_STEP, BATCH_ERROR_LIMIT}, settings);
        code != EXIT_OK)
        return code;
    Run run;
    if (const int code = ReadFile(run); code != EXIT_OK)
        return code;
    // The same check and the same history lines as the batch that recorded the run.
    const RunCheck check = run.Check(settings.check);
    for (const std::string& line : check.HistoryLines())
        m_Sink.Line(line);
    if (m_Options.json)
    {
        json doc = {{"file", m_Options.file}, {"readings", run.Readings().size()}};
        doc["result"] = ResultJson(check.result, check.verdict);
        PrintJson(doc);
    }
    else
        PrintResult(m_Env.out, check.result, check.verdict);
    return check.verdict.kind == Verdict::PASSED ? EXIT_OK : EXIT_FOUND;
}

const char* DirectionName(int direction)
{
    return direction > 0 ? "forward" : direction < 0 ? "backward" : "standing";
}

std::string Turns(std::uint64_t turns)
{
    return Format("%llu turn%s", static_cast<unsigned long long>(turns), turns == 1 ? "" : "s");
}

// Without a delay the speeds are unknown, not 0.
json PartJson(const PartFigures& part, bool timed)
{
    return {{"countsPerSecond", timed ? json(part.countsPerSecond) : json()},
            {"rpm", timed ? json(part.rpm) : json()},
            {"direction", DirectionName(part.direction)},
            {"turns", part.turns}};
}

std::string PartText(const PartFigures& part, bool timed)
{
    if (!timed)
        return Format("speed unknown, %s, %s", DirectionName(part.direction),
                      Turns(part.turns).c_str());
    return Format("%.1f counts/s, %.2f rpm %s, %s", std::fabs(part.countsPerSecond),
                  std::fabs(part.rpm), DirectionName(part.direction), Turns(part.turns).c_str());
}

int Command::Analyse()
{
    Run run;
    if (const int code = ReadFile(run); code != EXIT_OK)
        return code;
    if (m_Options.fileDelay)
        run.Settings().delayUs = *m_Options.fileDelay;
    const AnalysisConfig config = run.GetAnalysisConfig();
    const Analysis a = run.Analyse();

    const bool timed = a.durationS > 0;
    const unsigned mtBits = std::min(config.mtBits, 32u - std::min(config.stBits, 32u));
    // The counts include the events beyond those the analysis keeps.
    std::uint64_t total = 0;
    for (const ClassSummary& c : a.classes)
        total += c.count;
    const std::size_t listed = std::min<std::size_t>(a.events.size(), m_Options.events);
    const auto readingOf = [&](long event)
    { return event < 0 ? json() : json(a.events[std::size_t(event)].first); };

    if (m_Options.json)
    {
        json classes = json::array();
        for (std::size_t c = 0; c < kEventClasses; ++c)
        {
            const ClassSummary& s = a.classes[c];
            if (s.count != 0)
                classes.push_back({{"name", EventClassName(EventClass(c))},
                                   {"count", s.count},
                                   {"ppm", s.ppm},
                                   {"first", readingOf(s.first)},
                                   {"worst", readingOf(s.worst)}});
        }
        json events = json::array();
        for (std::size_t i = 0; i < listed; ++i)
        {
            const AnalysisEvent& e = a.events[i];
            events.push_back({{"class", EventClassName(e.cls)},
                              {"first", e.first},
                              {"length", e.length},
                              {"aroundFirst", e.aroundFirst},
                              {"around", e.around}});
        }
        PrintJson({{"file", m_Options.file},
                   {"stBits", config.stBits},
                   {"mtBits", config.mtBits},
                   {"gray", config.gray},
                   {"delayUs", config.delayUs},
                   {"clockHz", config.clockHz},
                   {"readings", a.readings},
                   {"distinct", a.distinct},
                   {"durationS", timed ? json(a.durationS) : json()},
                   {"st", config.stBits != 0 ? PartJson(a.st, timed) : json()},
                   {"mt", mtBits != 0 ? PartJson(a.mt, timed) : json()},
                   {"rootCause", a.rootCause.empty() ? json() : json(a.rootCause)},
                   {"classes", classes},
                   {"events", events},
                   {"truncated", listed < total}});
        return a.Clean() ? EXIT_OK : EXIT_FOUND;
    }

    std::ostream& out = m_Env.out;
    out << "Readings:  " << a.readings << '\n'
        << "Distinct:  " << a.distinct << '\n'
        << "Duration:  "
        << (timed ? Format("%.6g s", a.durationS) : "unknown without a delay (--delay US)") << '\n';
    if (config.stBits != 0)
        out << "ST:        " << PartText(a.st, timed) << '\n';
    if (mtBits != 0)
        out << "MT:        " << PartText(a.mt, timed) << '\n';
    out << '\n';
    if (a.Clean())
    {
        out << "No events found\n";
        return EXIT_OK;
    }
    // The lines the batch check writes to the history.
    for (const std::string& line : a.SummaryLines())
        out << line << '\n';
    if (listed != 0)
    {
        out << '\n' << Format("%-17s %10s %10s\n", "Event", "First", "Length");
        for (std::size_t i = 0; i < listed; ++i)
        {
            const AnalysisEvent& e = a.events[i];
            out << Format("%-17s %10zu %10zu\n", EventClassName(e.cls), e.first, e.length);
        }
        if (listed < total)
            out << Format("... and %llu more\n", static_cast<unsigned long long>(total - listed));
    }
    return EXIT_FOUND;
}

std::string FormatRate(double rate)
{
    return rate == 0 ? std::string("0") : Format("%.2e", rate);
}

int Command::Sweep()
{
    if (const std::string why = ClockSweep::CheckSettings(m_Options.sweep); !why.empty())
        return Usage(why.substr(std::string("Clock sweep: ").size()));
    if (const int code = Connect(); code != EXIT_OK)
        return code;
    if (const int code = PowerOn(); code != EXIT_OK)
        return code;
    const BoxView& view = m_Session.View();
    // Binary readings, as for a batch.
    ClockSweep sweep(m_Box, m_Sink, view.stBits, view.mtBits, false);
    if (!sweep.Start(m_Options.sweep))
        return EXIT_BOX;
    const bool interrupted =
        PollUntilDone({[&sweep] { return sweep.GetState() == ClockSweep::SWEEP_RUNNING; },
                       [&sweep] { return sweep.IsStreaming(); },
                       [&sweep] { sweep.Poll(); },
                       [&sweep] { sweep.Stop(); },
                       {}});
    const ClockSweep::View result = sweep.GetView();
    const ClockSweep::Recommendation& r = result.recommendation;
    if (m_Options.json)
    {
        json points = json::array();
        for (const ClockSweep::Point& p : result.points)
        {
            if (p.done)
                points.push_back({{"hz", p.hz},
                                  {"delayUs", p.delayUs},
                                  {"readings", p.readings},
                                  {"errors", p.errors},
                                  {"rate", p.Rate()}});
        }
        PrintJson({{"points", points},
                   {"highestClean", r.highestClean},
                   {"recommended", r.clock},
                   {"recommendation", r.text},
                   {"interrupted", interrupted}});
    }
    else
    {
        m_Env.out << Format("%-12s %9s %9s %9s\n", "Clock", "Readings", "Errors", "Rate");
        for (const ClockSweep::Point& p : result.points)
        {
            if (p.done)
                m_Env.out << Format("%-12s %9u %9llu %9s\n", FormatFrequency(p.hz).c_str(),
                                    unsigned(p.readings), (unsigned long long)p.errors,
                                    FormatRate(p.Rate()).c_str());
        }
        if (r.valid)
            m_Env.out << r.text << '\n';
    }
    if (interrupted)
        return EXIT_INTERRUPT;
    if (result.state == ClockSweep::SWEEP_FAILED || m_Sink.ErrorCount() != 0)
        return EXIT_BOX;
    return r.clock == 0 ? EXIT_FOUND : EXIT_OK;
}

} // namespace

void InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool Interrupted()
{
    return g_Interrupted != 0;
}

void ClearInterrupt()
{
    g_Interrupted = 0;
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env)
{
    Options o;
    CLI::App app{"The Tavik box from a terminal and from scripts.", "tavik-cli"};
    app.set_version_flag("--version", std::string("tavik-cli ") + TAVIK_VERSION);
    app.footer(kExitCodes);
    app.require_subcommand(1, 1);
    app.fallthrough();
    app.add_flag("--simulate", o.simulate, "list a simulated box after the real ones");
    app.add_flag("--json", o.json, "one JSON document on stdout");
    app.add_flag("-q,--quiet", o.quiet, "no history lines on stdout");

    auto addDevice = [&](CLI::App* sub)
    {
        sub->add_option("-d,--device", o.device,
                        "the box's serial (default: UsbDevice in Tavik.ini, else the only box)");
    };
    auto hexWord = CLI::Validator(CheckHexWord, "HEX");
    auto keys = [](const auto& map)
    {
        std::vector<std::string> names;
        for (const auto& entry : map)
            names.push_back(entry.first);
        return names;
    };

    CLI::App* list = app.add_subcommand("list", "the attached boxes: serial and description");
    CLI::App* info = app.add_subcommand("info", "the box's settings, supply and outputs");
    addDevice(info);
    CLI::App* set = app.add_subcommand("set", "change the given settings, as the window does");
    addDevice(set);
    set->add_option("--mode", o.mode, "serial mode")->check(CLI::IsMember(keys(kModes)));
    set->add_option("--clock", o.clock, "clock in Hz");
    set->add_option("--st", o.st, "singleturn bits")
        ->check(CLI::Range(0u, BoxSession::ST_BITS_MAX));
    set->add_option("--mt", o.mt, "multiturn bits")->check(CLI::Range(0u, BoxSession::MT_BITS_MAX));
    set->add_option("--data-mask", o.dataMask, "data mask, hexadecimal")->check(hexWord);
    set->add_option("--gray-mask", o.grayMask, "Gray code mask, hexadecimal")->check(hexWord);
    set->add_option("--spi-word", o.spiWord, "SPI data word, hexadecimal")->check(hexWord);
    set->add_option("--output", o.outputs, "output N (1 to 3): N=open|low|high");
    set->add_option("--power", o.power, "supply; switched on only from off")
        ->check(CLI::IsMember(keys(kSupplies)));
    CLI::App* read = app.add_subcommand(
        "read",
        "single readings: raw, ST and MT (a box found off is switched on with its default supply)");
    addDevice(read);
    read->add_option("--count", o.count, "readings to take")->check(CLI::PositiveNumber);
    read->add_option("--interval", o.interval, "milliseconds between readings (default 50)");

    // The batch's numbers with the help their range gives; the range is checked later, each
    // value with its own message.
    auto addBatchOption = [&](CLI::App* sub, BatchValue value, bool required = false)
    {
        const BatchValueRange& range = BatchRange(value);
        std::string help = range.what;
        if (range.max != 0xFFFFFFFFu)
            help += ", " + FormatCount(range.min) + " to " + FormatCount(range.max);
        if (!required)
            help += Format(" (default %u)", range.start);
        unsigned* target = nullptr;
        switch (value)
        {
        case BATCH_DELAY:
            target = &o.batch.delayUs;
            break;
        case BATCH_COUNT:
            target = &o.batch.count;
            break;
        case BATCH_MT_STEP:
            target = &o.batch.check.mtStep;
            break;
        case BATCH_ST_STEP:
            target = &o.batch.check.stStep;
            break;
        case BATCH_ERROR_LIMIT:
            target = &o.batch.check.errorLimit;
            break;
        }
        CLI::Option* option = sub->add_option("--" + std::string(range.name), *target, help);
        return required ? option->required() : option;
    };
    auto addCheckOptions = [&](CLI::App* sub)
    {
        sub->add_option("--st-mono", o.stMono, "ST monotony (default auto)")
            ->check(CLI::IsMember(keys(kMonotonies)));
        sub->add_option("--mt-mono", o.mtMono, "MT monotony (default auto)")
            ->check(CLI::IsMember(keys(kMonotonies)));
        addBatchOption(sub, BATCH_ST_STEP);
        addBatchOption(sub, BATCH_MT_STEP);
        addBatchOption(sub, BATCH_ERROR_LIMIT);
    };
    CLI::App* batch = app.add_subcommand(
        "batch", "a batch of readings into a file (.log .txt .dat .csv .h5), then its check");
    addDevice(batch);
    addBatchOption(batch, BATCH_COUNT, true);
    addBatchOption(batch, BATCH_DELAY);
    batch->add_option("-o,--output", o.file, "the file; its extension gives its type")->required();
    addCheckOptions(batch);
    auto addFileOptions = [&](CLI::App* sub)
    {
        sub->add_option("FILE", o.file, "a .log, .txt, .dat, .csv or .h5 file")->required();
        sub->add_option("--st", o.st, "singleturn bits (.csv and .h5 files give them)")
            ->check(CLI::Range(0u, BoxSession::ST_BITS_MAX));
        sub->add_option("--mt", o.mt, "multiturn bits (.csv and .h5 files give them)")
            ->check(CLI::Range(0u, BoxSession::MT_BITS_MAX));
        sub->add_flag("--gray", o.gray, "the readings are Gray coded");
    };
    CLI::App* check = app.add_subcommand("check", "the code tester on a saved file");
    addFileOptions(check);
    addCheckOptions(check);
    CLI::App* analyse = app.add_subcommand(
        "analyse", "the run analysis of a saved file: speed, fault classes and events");
    addFileOptions(analyse);
    analyse->add_option("--delay", o.fileDelay,
                        "microseconds between readings (default: the file's; 0: unknown)");
    analyse->add_option("--events", o.events, "events listed (default 20)");

    CLI::App* sweep = app.add_subcommand(
        "sweep", "a short batch at each clock of a range: the fastest clean clock, with margin");
    addDevice(sweep);
    sweep->add_option("--from", o.sweep.fromHz, "lowest clock in Hz (default 250000)");
    sweep->add_option("--to", o.sweep.toHz, "highest clock in Hz (default 2000000)");
    sweep->add_option("--count", o.sweep.count,
                      "readings per clock, 3 to 16777214 (default 10000)");
    sweep->add_option("--delay", o.sweep.delayUs,
                      "microseconds between readings, 10 to 4095 (default: the minimum of each "
                      "clock)");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try
    {
        app.parse(reversed);
    }
    catch (const CLI::ParseError& e)
    {
        if (e.get_exit_code() == 0)
        {
            // --help and --version
            app.exit(e, env.out, env.err);
            return EXIT_OK;
        }
        env.err << "Error: " << e.what() << '\n' << kUsage << '\n';
        return EXIT_USAGE;
    }

    if (o.simulate)
    {
        // As in Tavik: settings given in TAVIK_SIMULATOR are kept.
        const char* settings = std::getenv("TAVIK_SIMULATOR");
        if (settings == nullptr || *settings == '\0' || std::string(settings) == "0")
            setenv("TAVIK_SIMULATOR", "1", 1);
    }
    Command command(o, env);
    if (list->parsed())
        return command.List();
    if (info->parsed())
        return command.Info();
    if (set->parsed())
        return command.Set();
    if (read->parsed())
        return command.Read();
    if (batch->parsed())
        return command.Batch();
    if (check->parsed())
        return command.Check();
    if (analyse->parsed())
        return command.Analyse();
    if (sweep->parsed())
        return command.Sweep();
    return EXIT_USAGE;
}

} // namespace App
