// The `tavik` Python module's native part: the box through the typed session, recordings,
// runs, their check and analysis, and the saves. Each method is one core call (or one
// collection loop around a Recording) and turns its answer into Python objects; the Python
// side (tavik/__init__.py) adds the iterators and the asyncio wrappers.
#include "app/TavikVersion.h"
#include "app/core/BatchRun.h"
#include "app/core/BoxSession.h"
#include "app/core/ClockSweep.h"
#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/Reconnector.h"
#include "app/core/Recording.h"
#include "app/core/Run.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunFile.h"
#include "app/core/Unplugged.h"
#include "base/IniFile.h"
#include "driver/Box.h"
#include "link/Proxy.h"
#include "link/SimulatorConfig.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;
using App::Outcome;
using App::Recording;
using Tavik::Box;
using Tavik::SampleParameter;

namespace
{

const std::string kProgram = std::string("tavik-python ") + TAVIK_VERSION;
// One collection tick: the recording keeps up with the box at 200 to 300 ms; shorter ticks
// answer Ctrl-C sooner and cost next to nothing while the GIL is released.
constexpr auto kTick = std::chrono::milliseconds(100);
// What the history's lines call each run when it ends.
constexpr const char* kBatch = "Batch sampling";
constexpr const char* kStream = "Streaming";
constexpr const char* kSweep = "Clock sweep";

// The exception classes, defined in tavik/__init__.py and handed in once at import. Never
// released: they live as long as the interpreter.
PyObject* g_BoxError = PyExc_RuntimeError;
PyObject* g_Unplugged = PyExc_RuntimeError;
PyObject* g_FileFormatError = PyExc_ValueError;

// BoxError(text, status), or Unplugged when a box call's status says the box is gone.
// `boxCall`: false for the module's own refusals, whose DEVICE_NOT_OPENED means "not open".
[[noreturn]] void RaiseBox(int status, const std::string& text, bool boxCall = true)
{
    const bool unplugged = boxCall && App::MeansUnplugged(status, text);
    PyErr_SetObject(unplugged ? g_Unplugged : g_BoxError, py::make_tuple(text, status).ptr());
    throw py::error_already_set();
}

// A numpy uint32 array over `data`, kept alive by `owner`.
py::array_t<std::uint32_t> ArrayOver(std::span<const unsigned> data, py::handle owner)
{
    static_assert(sizeof(unsigned) == sizeof(std::uint32_t));
    py::array_t<std::uint32_t> array({py::ssize_t(data.size())}, {py::ssize_t(sizeof(unsigned))},
                                     reinterpret_cast<const std::uint32_t*>(data.data()), owner);
    // The run's checks and saves read this buffer: it is not changed behind them.
    array.attr("setflags")("write"_a = false);
    return array;
}

// A vector handed to numpy without a copy: the capsule owns it.
py::array_t<std::uint32_t> ArrayOf(std::vector<unsigned>&& readings)
{
    auto* owned = new std::vector<unsigned>(std::move(readings));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<unsigned>*>(p); });
    return py::array_t<std::uint32_t>({py::ssize_t(owned->size())}, {py::ssize_t(sizeof(unsigned))},
                                      reinterpret_cast<const std::uint32_t*>(owned->data()), owner);
}

// History lines kept for `Box.history`; errors come to Python as exceptions.
class ListSink : public App::HistorySink
{
public:
    std::vector<std::string> lines;

protected:
    void AddEntries(const std::vector<std::string>& entries, Kind) override
    {
        lines.insert(lines.end(), entries.begin(), entries.end());
    }
};

// ---- Runs ------------------------------------------------------------------------------

struct PyRun
{
    App::Run run;

    py::dict Settings() const
    {
        const App::RunSettings& s = run.Settings();
        return py::dict("serial"_a = s.serial, "description"_a = s.description, "mode"_a = s.mode,
                        "clock_hz"_a = s.clockHz, "st_bits"_a = s.stBits, "mt_bits"_a = s.mtBits,
                        "data_mask"_a = s.dataMask, "gray_mask"_a = s.grayMask,
                        "spi_word"_a = s.spiWord, "delay_us"_a = s.delayUs,
                        "count"_a = s.sampleCount, "start"_a = s.start, "program"_a = s.program);
    }
};

py::object MakeRun(std::vector<unsigned>&& readings, const App::RunSettings& settings, bool gray)
{
    return py::cast(PyRun{App::Run::Owning(std::move(readings), settings, gray)});
}

py::object Null(bool present, py::object value)
{
    return present ? value : py::none();
}

const char* DirectionName(int direction)
{
    return direction > 0 ? "forward" : direction < 0 ? "backward" : "standing";
}

// The figures `tavik-cli --json analyse` prints, under the same names.
py::dict AnalyseJson(const PyRun& r, unsigned eventsListed)
{
    const App::AnalysisConfig config = r.run.GetAnalysisConfig();
    App::Analysis a;
    {
        py::gil_scoped_release unlocked;
        a = r.run.Analyse();
    }
    const bool timed = a.durationS > 0;
    const unsigned mtBits = std::min(config.mtBits, 32u - std::min(config.stBits, 32u));
    const auto part = [timed](const App::PartFigures& p)
    {
        const bool speed = timed && p.moved;
        return py::dict("countsPerSecond"_a = Null(speed, py::float_(p.countsPerSecond)),
                        "rpm"_a = Null(speed, py::float_(p.rpm)),
                        "direction"_a = DirectionName(p.direction), "turns"_a = p.turns);
    };
    std::uint64_t total = 0;
    for (const App::ClassSummary& c : a.classes)
        total += c.count;
    const std::size_t listed = std::min<std::size_t>(a.events.size(), eventsListed);
    const auto readingOf = [&](long event)
    { return event < 0 ? py::object(py::none()) : py::int_(a.events[std::size_t(event)].first); };
    py::list classes;
    for (std::size_t c = 0; c < App::kEventClasses; ++c)
    {
        const App::ClassSummary& s = a.classes[c];
        if (s.count != 0)
            classes.append(py::dict(
                "name"_a = App::EventClassName(App::EventClass(c)), "count"_a = s.count,
                "ppm"_a = s.ppm, "first"_a = readingOf(s.first), "worst"_a = readingOf(s.worst)));
    }
    py::list events;
    for (std::size_t i = 0; i < listed; ++i)
    {
        const App::AnalysisEvent& e = a.events[i];
        events.append(py::dict("class"_a = App::EventClassName(e.cls), "first"_a = e.first,
                               "length"_a = e.length, "aroundFirst"_a = e.aroundFirst,
                               "around"_a = e.around));
    }
    return py::dict(
        "stBits"_a = config.stBits, "mtBits"_a = config.mtBits, "gray"_a = config.gray,
        "delayUs"_a = config.delayUs, "clockHz"_a = config.clockHz, "readings"_a = a.readings,
        "distinct"_a = a.distinct, "durationS"_a = Null(timed, py::float_(a.durationS)),
        "st"_a = Null(config.stBits != 0, part(a.st)), "mt"_a = Null(mtBits != 0, part(a.mt)),
        "rootCause"_a = Null(!a.rootCause.empty(), py::str(a.rootCause)), "classes"_a = classes,
        "events"_a = events, "truncated"_a = listed < total, "summary"_a = a.SummaryLines());
}

App::MONOTONY MonotonyOf(const std::string& name)
{
    if (name == "asc")
        return App::MONO_ASC;
    if (name == "desc")
        return App::MONO_DESC;
    if (name == "auto")
        return App::MONO_AUTODETECT;
    if (name == "none")
        return App::MONO_NO_TEST;
    throw py::value_error("monotony '" + name + "': expected 'asc', 'desc', 'auto' or 'none'");
}

unsigned Ranged(App::BatchValue value, unsigned number)
{
    if (const std::string why = App::CheckBatchValue(value, number); !why.empty())
        throw py::value_error(std::string(App::BatchRange(value).name) + "=" +
                              std::to_string(number) + ": " + why);
    return number;
}

// The figures `tavik-cli --json check` prints under "result", and the history lines.
py::dict CheckJson(const PyRun& r, const std::string& stMono, const std::string& mtMono,
                   unsigned stStep, unsigned mtStep, unsigned errorLimit)
{
    App::CheckSettings settings;
    settings.stMonotony = MonotonyOf(stMono);
    settings.mtMonotony = MonotonyOf(mtMono);
    settings.stStep = Ranged(App::BATCH_ST_STEP, stStep);
    settings.mtStep = Ranged(App::BATCH_MT_STEP, mtStep);
    settings.errorLimit = Ranged(App::BATCH_ERROR_LIMIT, errorLimit);
    std::optional<App::RunCheck> check;
    {
        py::gil_scoped_release unlocked;
        check = r.run.Check(settings);
    }
    const App::CodeTester::Result& res = check->result;
    const App::Verdict& verdict = check->verdict;
    const char* name = verdict.kind == App::Verdict::PASSED   ? "passed"
                       : verdict.kind == App::Verdict::FAILED ? "failed"
                                                              : "not checked";
    return py::dict("passed"_a = verdict.kind == App::Verdict::PASSED, "verdict"_a = name,
                    "reason"_a = verdict.reason, "errors"_a = res.GetErrorCount(),
                    "stMonotonyErrors"_a = res.m_StMonotonyErrors,
                    "mtMonotonyErrors"_a = res.m_MtMonotonyErrors,
                    "stStepErrors"_a = res.m_StStepErrors, "mtStepErrors"_a = res.m_MtStepErrors,
                    "stTurns"_a = res.m_StTurns, "mtTurns"_a = res.m_MtTurns,
                    "history"_a = check->HistoryLines());
}

py::object Load(const std::string& path, std::optional<unsigned> st, std::optional<unsigned> mt,
                bool gray)
{
    if (App::RunFileTypeOf(path) == App::RUN_FILE_UNKNOWN)
        throw py::value_error(path + ": expected " + App::kRunFileTypes);
    if ((st && *st > App::BoxSession::ST_BITS_MAX) || (mt && *mt > App::BoxSession::MT_BITS_MAX))
        throw py::value_error("st_bits takes 0 to 32 and mt_bits 0 to 24");
    App::RunFileContents contents;
    std::string error;
    bool read = false;
    {
        py::gil_scoped_release unlocked;
        read = App::ReadRunFile(path, contents, error);
    }
    if (!read)
    {
        PyErr_SetObject(g_FileFormatError, py::make_tuple(error, path).ptr());
        throw py::error_already_set();
    }
    const std::optional<App::RunSettings>& settings = contents.settings;
    const std::optional<unsigned> stBits = st         ? st
                                           : settings ? std::optional(settings->stBits)
                                                      : std::nullopt;
    const std::optional<unsigned> mtBits = mt         ? mt
                                           : settings ? std::optional(settings->mtBits)
                                                      : std::nullopt;
    if (!stBits || !mtBits)
        throw py::value_error(path + ": the file names no bit counts; give st_bits and mt_bits");
    const bool isGray = gray || contents.gray;
    return py::cast(PyRun{App::Run::FromFile(std::move(contents), *stBits, *mtBits, isGray)});
}

void Save(const PyRun& r, const std::string& path)
{
    if (App::RunFileTypeOf(path) == App::RUN_FILE_UNKNOWN)
        throw py::value_error(path + ": expected " + App::kRunFileTypes);
    App::BatchFile::Error error;
    {
        py::gil_scoped_release unlocked;
        error = App::WriteRunFile(path, r.run.Readings(), r.run.Settings(), r.run.Gray());
    }
    if (error != App::BatchFile::BATCH_FILE_OK)
    {
        if (errno == 0)
            errno = EIO;
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
        throw py::error_already_set();
    }
}

// ---- The box ---------------------------------------------------------------------------

const std::vector<std::pair<const char*, Box::POWER_MODE>> kSupplies = {
    {"off", Box::PWR_OFF},
    {"ext", Box::PWR_EXTERNAL},
    {"5v", Box::PWR_INTERNAL},
    {"12v", Box::PWR_INTERNAL_DCDC}};
const std::vector<std::pair<const char*, Box::OUTPUT_MODE>> kOutputs = {
    {"open", Box::OUT_OPEN}, {"low", Box::OUT_LOW_GND}, {"high", Box::OUT_HIGH_UB}};
const std::vector<std::pair<const char*, SampleParameter::SERIAL_MODE>> kModes = {
    {"SSI_Binary", SampleParameter::SSI_Binary},
    {"SSI_Gray", SampleParameter::SSI_Gray},
    {"SPI_Binary", SampleParameter::SPI_Binary},
    {"SPI_Gray", SampleParameter::SPI_Gray}};

template <class Table> std::string Names(const Table& table)
{
    std::string names;
    for (const auto& [name, value] : table)
        names += (names.empty() ? "'" : ", '") + std::string(name) + "'";
    return names;
}
template <class Table> auto ValueOf(const Table& table, const std::string& name, const char* what)
{
    for (const auto& [key, value] : table)
        if (name == key)
            return value;
    throw py::value_error(std::string(what) + " '" + name + "': expected one of " + Names(table));
}
template <class Table, class Value> const char* NameOf(const Table& table, Value value)
{
    for (const auto& [key, v] : table)
        if (v == value)
            return key;
    return "unknown";
}

// Every box of this module, open or not (under the GIL).
std::vector<const Box*> g_Boxes;

// The link's devices: the real ones, and the simulated ones `simulator` describes. Made
// afresh (a new simulator, every simulated box plugged) unless a box is open and the same
// ones are asked for: an open box keeps its device.
void UseSimulator(bool simulate, const std::string& simulator)
{
    static std::optional<std::string> current; // the simulator in use; "" none
    const std::string wanted = simulate ? simulator : "";
    const bool anyOpen =
        std::any_of(g_Boxes.begin(), g_Boxes.end(), [](const Box* box) { return box->IsOpen(); });
    if (anyOpen && current == wanted)
        return;
    if (anyOpen)
        throw py::value_error(
            "a box is open with " +
            (current->empty() ? std::string("no simulator") : "simulator '" + *current + "'") +
            "; close it before asking for other devices");
    std::string warning;
    auto config = FTD2xx::SimulatorConfig::ForProgram(simulate ? simulator.c_str() : nullptr,
                                                      simulate, warning);
    if (!warning.empty())
        throw py::value_error("simulator '" + simulator + "': " + warning);
    FTD2xx::Proxy::UseDefaultProviders(config);
    current = wanted;
}

py::list ListBoxes(bool simulate, const std::string& simulator)
{
    UseSimulator(simulate, simulator);
    Box box;
    unsigned long count = 0;
    const int status = box.GetConnectedDevices(count);
    if (status != Box::OK)
        RaiseBox(status, box.GetStatusAsString(status));
    py::list boxes;
    for (unsigned long i = 0; i < count; ++i)
    {
        std::string serial, description;
        box.GetDeviceInformation(int(i), serial, description);
        boxes.append(py::dict("serial"_a = serial, "description"_a = description));
    }
    return boxes;
}

class PyBox
{
public:
    PyBox() : m_Session(m_Box, m_Sink, m_Ini) { g_Boxes.push_back(&m_Box); }
    ~PyBox()
    {
        Close();
        g_Boxes.erase(std::find(g_Boxes.begin(), g_Boxes.end(), &m_Box));
    }

    void Open(const std::optional<std::string>& serial, bool simulate, const std::string& simulator,
              double waitSeconds)
    {
        UseSimulator(simulate, simulator);
        if (waitSeconds > 0)
        {
            py::gil_scoped_release unlocked;
            App::Reconnector(m_Box, m_Sink, FTD2xx::Clock::System())
                .WaitUntilListed(serial.value_or(""), Seconds(waitSeconds));
        }
        Check(m_Session.ScanDevices());
        const auto& devices = m_Session.View().devices;
        if (serial)
        {
            const auto found =
                std::find_if(devices.begin(), devices.end(),
                             [&](const auto& d)
                             {
                                 // As tavik-cli's -d: letter case aside.
                                 return std::equal(d.serial.begin(), d.serial.end(),
                                                   serial->begin(), serial->end(),
                                                   [](char x, char y) {
                                                       return std::tolower((unsigned char)x) ==
                                                              std::tolower((unsigned char)y);
                                                   });
                             });
            if (found == devices.end())
                RaiseBox(Box::DEVICE_NOT_OPENED, "Device '" + *serial + "' was not detected.",
                         false);
            m_Session.SelectDevice(int(found - devices.begin()));
        }
        else if (devices.empty())
            RaiseBox(Box::DEVICE_NOT_OPENED, "No box is attached.", false);
        else if (devices.size() > 1)
            throw py::value_error(std::to_string(devices.size()) +
                                  " boxes are attached; name one with serial=");
        else
            m_Session.SelectDevice(0);
        Check(m_Session.ConnectOrDisconnect());
        // As tavik-cli's read and batch: a box found off is switched on with its defaults'
        // supply.
        if (m_Session.View().state == App::GS_CONNECTED)
            Check(m_Session.TogglePower());
        m_Serial = m_Box.GetSerial();
    }

    // The box of the last open, back after an unplug: waits up to `waitSeconds` for it to be
    // listed, reopens it (retrying while it refuses) and gives it the settings it had.
    void Reopen(double waitSeconds)
    {
        if (m_Box.IsOpen() && m_Session.View().state != App::GS_WAITING)
            return;
        if (m_Serial.empty())
            RaiseBox(Box::DEVICE_NOT_OPENED, "The box was never open.", false);
        m_Stream.reset();
        if (m_Box.IsOpen())
            m_Box.Close();
        App::Reconnector reconnector(m_Box, m_Sink, FTD2xx::Clock::System());
        App::Reconnector::Result result;
        {
            py::gil_scoped_release unlocked;
            result = reconnector.WaitAndReopen(m_Serial, m_Restore, Seconds(waitSeconds));
        }
        if (result == App::Reconnector::ABSENT)
            RaiseBox(Box::DEVICE_NOT_OPENED,
                     "Box " + m_Serial + " did not return within " +
                         App::FormatSeconds(waitSeconds) + ".",
                     false);
        if (!m_Box.IsOpen())
            RaiseBox(Box::DEVICE_NOT_OPENED, reconnector.LastError(), false);
        if (result == App::Reconnector::REOPENED)
        {
            // The session's view still holds what was restored (the bit counts' split is
            // the session's own: the box keeps their sum only).
            m_Session.EnterState(m_Restore.supply != Box::PWR_OFF ? App::GS_POWERED
                                                                  : App::GS_CONNECTED);
            return;
        }
        // Open, but a setting did not take: the session follows the box as it now is.
        m_Session.EnterState(App::GS_CONNECTED);
        if (m_Session.ReadSettingsBack() != Box::PWR_OFF)
            m_Session.EnterState(App::GS_POWERED);
        RaiseBox(Box::FAILED, reconnector.LastError(), false);
    }

    void Close()
    {
        m_Stream.reset(); // terminated on the box
        if (m_Box.IsOpen())
            m_Session.ConnectOrDisconnect();
    }

    bool IsOpen() const { return m_Box.IsOpen(); }
    std::string Serial() { return OpenBox().GetSerial(); }
    std::string Description() { return OpenBox().GetDescription(); }

    std::string Mode() const
    {
        const auto& mode = m_Session.View().mode;
        return mode ? NameOf(kModes, *mode) : "unknown";
    }
    void SetMode(const std::string& name)
    {
        const auto mode = ValueOf(kModes, name, "mode");
        OpenBox();
        const auto& modes = m_Session.View().modes;
        if (std::find(modes.begin(), modes.end(), mode) == modes.end())
            Check(m_Session.SetExpert(App::ExpertOption::SPI_MODE, true));
        Check(m_Session.ChooseMode(mode));
    }
    unsigned Clock() const { return m_Session.View().clock; }
    void SetClock(unsigned hz)
    {
        const auto& clocks = App::BoxSession::Clocks();
        if (std::find(clocks.begin(), clocks.end(), hz) == clocks.end())
            throw py::value_error("clock " + std::to_string(hz) + " Hz is not selectable: " +
                                  std::to_string(clocks.back()) + " to " +
                                  std::to_string(clocks.front()) + " Hz, one of tavik.CLOCKS");
        OpenBox();
        Check(m_Session.ChooseClock(hz));
    }
    unsigned StBits() const { return m_Session.View().stBits; }
    void SetStBits(unsigned bits)
    {
        if (bits > App::BoxSession::ST_BITS_MAX)
            throw py::value_error("st_bits " + std::to_string(bits) + ": 0 to 32");
        OpenBox();
        Check(m_Session.ChooseStBits(bits));
    }
    unsigned MtBits() const { return m_Session.View().mtBits; }
    void SetMtBits(unsigned bits)
    {
        if (bits > App::BoxSession::MT_BITS_MAX)
            throw py::value_error("mt_bits " + std::to_string(bits) + ": 0 to 24");
        OpenBox();
        Check(m_Session.ChooseMtBits(bits));
    }
    unsigned DataMask() const { return m_Session.View().dataFilter; }
    void SetDataMask(long long value)
    {
        const std::string text = Hex(value, "data_mask");
        OpenBox();
        Check(m_Session.CommitDataFilter(text));
    }
    unsigned GrayMask() const { return m_Session.View().grayCodeFilter; }
    void SetGrayMask(long long value)
    {
        const std::string text = Hex(value, "gray_mask");
        OpenBox();
        Check(m_Session.CommitGrayCodeFilter(text));
    }
    unsigned SpiWord() const { return m_Session.View().spiWord; }
    void SetSpiWord(long long value)
    {
        const std::string text = Hex(value, "spi_word");
        OpenBox();
        Check(m_Session.CommitSpiWord(text));
    }

    std::string Supply() const
    {
        const auto& view = m_Session.View();
        return view.state == App::GS_POWERED || view.state == App::GS_CONTINUOUS
                   ? NameOf(kSupplies, view.supply)
                   : "off";
    }
    void SetSupply(const std::string& name)
    {
        const auto supply = ValueOf(kSupplies, name, "supply");
        OpenBox();
        const App::BoxView& view = m_Session.View();
        const bool on = view.state == App::GS_POWERED;
        if (supply == Box::PWR_OFF)
        {
            if (on)
                Check(m_Session.TogglePower());
            return;
        }
        if (on && view.supply == supply)
            return;
        // The box switches a supply on only from off.
        if (on)
            Check(m_Session.TogglePower());
        m_Session.ChooseSupply(supply);
        Check(m_Session.TogglePower());
    }
    std::vector<std::string> Outputs() const
    {
        std::vector<std::string> names;
        for (const auto mode : m_Session.View().outputs)
            names.emplace_back(NameOf(kOutputs, mode));
        return names;
    }
    void SetOutput(int index, const std::string& name)
    {
        if (index < 0 || index > 2)
            throw py::value_error("output " + std::to_string(index) + ": 0 to 2");
        const auto mode = ValueOf(kOutputs, name, "output");
        OpenBox();
        Check(m_Session.ClickOutput(index, mode));
    }
    const std::vector<std::string>& History() const { return m_Sink.lines; }

    py::array_t<std::uint32_t> Read(long n)
    {
        if (n < 1)
            throw py::value_error("n=" + std::to_string(n) + ": at least 1");
        OpenBox();
        std::vector<unsigned> values;
        values.reserve(std::size_t(n));
        for (long i = 0; i < n; ++i)
        {
            App::Reading reading;
            {
                py::gil_scoped_release unlocked;
                reading = m_Session.SingleSample();
            }
            Check(reading.outcome);
            if (!reading.value)
                RaiseBox(Box::NOT_ALLOWED, "The box takes readings only with the supply on.",
                         false);
            values.push_back(*reading.value);
        }
        return ArrayOf(std::move(values));
    }

    // A counted run; progress(done, total) is called every tick.
    py::object Batch(unsigned count, unsigned delayUs, py::object progress)
    {
        Ranged(App::BATCH_COUNT, count);
        Ranged(App::BATCH_DELAY, delayUs);
        EnterBatch();
        const BatchScope scope{m_Session, kBatch};
        App::RunSettings settings = m_Session.DescribeRun(kProgram);
        settings.sampleCount = count;
        settings.delayUs = delayUs;
        settings.start = App::IsoTimeNow();
        Recording recording(m_Box);
        StartRecording(recording, {count, delayUs}, kBatch);
        while (recording.GetState() == Recording::STREAMING)
        {
            if (!progress.is_none())
                progress(recording.GetView().arrived, count);
            if (Interrupted())
            {
                // Stopped on the box; the exception carries what arrived.
                py::error_already_set interrupt;
                recording.Stop();
                m_Session.EndBatch(kBatch, false);
                interrupt.value().attr("run") = MakeRun(recording.TakeReadings(), settings, false);
                throw interrupt;
            }
            Tick(recording);
        }
        if (!progress.is_none())
            progress(recording.GetView().arrived, count);
        EndRecording(recording, kBatch);
        return MakeRun(recording.TakeReadings(), settings, false);
    }

    // Streams: StreamStart, then StreamNext until it returns None, StreamStop at any time,
    // also from another thread while StreamNext waits (an asyncio task cancelled): the lock
    // keeps the recording's calls apart, the shared pointer keeps it alive for the waiter.
    void StreamStart(std::optional<unsigned> count, unsigned delayUs)
    {
        Ranged(App::BATCH_DELAY, delayUs);
        if (count)
            Ranged(App::BATCH_COUNT, *count);
        EnterBatch();
        auto recording = std::make_shared<Recording>(m_Box);
        Recording::Settings settings{count.value_or(0), delayUs};
        settings.mode = count ? Recording::UNTIL_COUNT : Recording::UNTIL_STOP;
        StartRecording(*recording, settings, kStream);
        m_Stream = std::move(recording);
    }
    // The next chunk (never empty), or None at the end. `checkSignals`: from the main thread
    // Ctrl-C stops the box; the exception carries the readings not yet handed out.
    py::object StreamNext(bool checkSignals)
    {
        const std::shared_ptr<Recording> recording = m_Stream;
        if (!recording)
            return py::none();
        std::vector<unsigned> chunk;
        for (;;)
        {
            // Before a chunk is handed out too: Ctrl-C during the wait lands here, not in
            // the caller's loop.
            if (checkSignals && Interrupted())
            {
                py::error_already_set interrupt;
                interrupt.value().attr("readings") = StreamStop();
                throw interrupt;
            }
            Recording::State state;
            {
                std::lock_guard<std::mutex> lock(m_StreamLock);
                recording->TakeArrived(chunk);
                state = recording->GetState();
            }
            if (!chunk.empty())
                return ArrayOf(std::move(chunk));
            if (state != Recording::STREAMING)
                break;
            py::gil_scoped_release unlocked;
            std::this_thread::sleep_for(kTick);
            std::lock_guard<std::mutex> lock(m_StreamLock);
            if (recording->IsStreaming())
                recording->Poll();
        }
        if (m_Stream == recording)
            m_Stream.reset();
        EndRecording(*recording, kStream);
        return py::none();
    }
    // Ends the stream on the box; readings not yet handed out are returned.
    py::array_t<std::uint32_t> StreamStop()
    {
        std::vector<unsigned> rest;
        const std::shared_ptr<Recording> recording = std::move(m_Stream);
        if (recording)
        {
            py::gil_scoped_release unlocked;
            std::lock_guard<std::mutex> lock(m_StreamLock);
            if (recording->IsStreaming())
                recording->Stop();
            recording->TakeArrived(rest);
            m_Session.EndBatch(kStream, false);
        }
        return ArrayOf(std::move(rest));
    }
    py::dict StreamStatus() const
    {
        if (!m_Stream)
            return py::dict();
        const Recording::View v = m_Stream->GetView();
        return py::dict("arrived"_a = v.arrived, "dropped"_a = v.dropped, "rounds"_a = v.rounds,
                        "rate"_a = v.ratePerSecond);
    }

    py::dict Sweep(unsigned fromHz, unsigned toHz, unsigned count, unsigned delayUs)
    {
        const App::ClockSweep::Settings settings{fromHz, toHz, count, delayUs};
        if (const std::string why = App::ClockSweep::CheckSettings(settings); !why.empty())
            throw py::value_error(why);
        EnterBatch();
        const BatchScope scope{m_Session, kSweep};
        const App::BoxView& view = m_Session.View();
        App::ClockSweep sweep(m_Box, m_Sink, view.stBits, view.mtBits, false);
        if (!sweep.Start(settings))
        {
            m_Session.EndBatch(kSweep, false);
            RaiseBox(Box::FAILED,
                     m_Sink.lines.empty() ? "Clock sweep failed" : m_Sink.lines.back());
        }
        std::optional<py::error_already_set> interrupt;
        while (sweep.GetState() == App::ClockSweep::SWEEP_RUNNING)
        {
            if (Interrupted())
            {
                // The box's own parameter set is written back; the exception carries the
                // clocks checked so far.
                interrupt.emplace();
                py::gil_scoped_release unlocked;
                sweep.Stop();
                break;
            }
            py::gil_scoped_release unlocked;
            if (sweep.IsStreaming())
                std::this_thread::sleep_for(kTick);
            sweep.Poll();
        }
        const App::ClockSweep::View result = sweep.GetView();
        m_Session.EndBatch(kSweep, sweep.BoxVanished());
        if (result.state == App::ClockSweep::SWEEP_FAILED)
        {
            RaiseBox(sweep.BoxVanished() ? Box::DEVICE_NOT_OPENED : Box::FAILED, result.lastError);
        }
        py::list points;
        for (const auto& p : result.points)
            if (p.done)
                points.append(py::dict("hz"_a = p.hz, "delayUs"_a = p.delayUs,
                                       "readings"_a = p.readings, "errors"_a = p.errors,
                                       "rate"_a = p.Rate()));
        const auto& r = result.recommendation;
        if (interrupt)
        {
            interrupt->value().attr("points") = points;
            throw *interrupt;
        }
        return py::dict("points"_a = points, "highestClean"_a = r.highestClean,
                        "recommended"_a = r.clock, "recommendation"_a = r.text);
    }

private:
    // The open box, for any command but the stream's own: while the box streams, any other
    // command would drop the readings on their way.
    Box& OpenBox()
    {
        if (!m_Box.IsOpen())
            RaiseBox(Box::DEVICE_NOT_OPENED, "The box is not open.", false);
        if (m_Stream && m_Stream->IsStreaming())
            RaiseBox(Box::NOT_ALLOWED, "The box is streaming; stop the stream first.", false);
        return m_Box;
    }
    static std::string Hex(long long value, const char* what)
    {
        if (value < 0 || value > 0xFFFFFFFFLL)
            throw py::value_error(std::string(what) + " " + std::to_string(value) +
                                  ": 0 to 0xFFFFFFFF");
        char text[16];
        std::snprintf(text, sizeof text, "%08llX", value);
        return text;
    }
    // An action that failed is an exception; an unplugged box is closed by the session.
    // An action that failed is an exception. A box found gone is closed, so that Unplugged
    // comes once and later calls say the box is not open.
    void Check(const Outcome& outcome)
    {
        const App::GuiState state = m_Session.View().state;
        if (outcome)
        {
            // The settings a reopen gives back: the last that took.
            if (state == App::GS_CONNECTED || state == App::GS_POWERED)
                m_Restore = m_Session.CurrentSettings();
            return;
        }
        if (App::MeansUnplugged(outcome.status, outcome.error) && m_Box.IsOpen())
        {
            m_Box.Close();
            m_Session.EnterState(App::GS_DISCONNECTED);
        }
        RaiseBox(outcome.status, outcome.error);
    }
    // Leaves the session's batch state however the run ends (a progress callback that
    // raised, too); a no-op when the run ended it already.
    struct BatchScope
    {
        App::BoxSession& session;
        const char* what;
        ~BatchScope() { session.EndBatch(what, false); }
    };
    // Batches and streams run in the session's batch state, as the batch window's; they
    // need the supply on.
    void EnterBatch()
    {
        OpenBox();
        if (m_Session.View().state != App::GS_POWERED)
            RaiseBox(Box::NOT_ALLOWED, "The supply is off; switch it on first (box.supply).",
                     false);
        m_Session.EnterState(App::GS_BATCH);
    }
    void StartRecording(Recording& recording, const Recording::Settings& settings, const char* what)
    {
        {
            py::gil_scoped_release unlocked;
            recording.Start(settings);
        }
        if (recording.GetState() == Recording::FAILED)
            EndRecording(recording, what);
    }
    // Ends the session's batch state; a failed recording is an exception.
    void EndRecording(Recording& recording, const char* what)
    {
        const bool failed = recording.GetState() == Recording::FAILED;
        const bool vanished = failed && recording.LastFailure()->vanished;
        {
            std::lock_guard<std::mutex> lock(m_StreamLock);
            m_Session.EndBatch(what, vanished);
        }
        if (!failed)
            return;
        const Recording::Failure failure = *recording.LastFailure();
        static const char* const steps[] = {"reading the parameter set",
                                            "writing the parameter set", "starting the run",
                                            "collecting the readings", "stopping the run"};
        RaiseBox(failure.vanished && failure.status == Box::OK ? Box::DEVICE_NOT_OPENED
                                                               : failure.status,
                 std::string(what) + " failed " + steps[failure.step] + ":\n" + failure.statusText);
    }
    static bool Interrupted() { return PyErr_CheckSignals() != 0; }
    static void Tick(Recording& recording)
    {
        py::gil_scoped_release unlocked;
        std::this_thread::sleep_for(kTick);
        recording.Poll();
    }

    static FTD2xx::Clock::Duration Seconds(double seconds)
    {
        return std::chrono::duration_cast<FTD2xx::Clock::Duration>(
            std::chrono::duration<double>(seconds));
    }

    zef::IniFile m_Ini;
    ListSink m_Sink;
    std::string m_Serial;       // of the last open
    App::BoxSettings m_Restore; // what a reopen gives back
    Box m_Box;
    App::BoxSession m_Session;
    std::shared_ptr<Recording> m_Stream;
    std::mutex m_StreamLock;
};

} // namespace

PYBIND11_MODULE(_tavik, m)
{
    m.doc() = "Native part of the tavik module; use `import tavik`.";
    m.attr("__version__") = TAVIK_VERSION;
    m.attr("CLOCKS") = App::BoxSession::Clocks();

    m.def("_set_errors",
          [](py::object box, py::object unplugged, py::object fileFormat)
          {
              g_BoxError = box.release().ptr();
              g_Unplugged = unplugged.release().ptr();
              g_FileFormatError = fileFormat.release().ptr();
          });

    py::class_<PyRun>(m, "Run")
        .def(py::init(
                 [](py::array_t<std::uint32_t, py::array::c_style | py::array::forcecast> readings,
                    unsigned stBits, unsigned mtBits, unsigned delayUs, bool gray)
                 {
                     if (stBits > App::BoxSession::ST_BITS_MAX ||
                         mtBits > App::BoxSession::MT_BITS_MAX)
                         throw py::value_error("st_bits takes 0 to 32 and mt_bits 0 to 24");
                     App::RunSettings settings;
                     settings.stBits = stBits;
                     settings.mtBits = mtBits;
                     settings.delayUs = delayUs;
                     settings.sampleCount = std::size_t(readings.size());
                     settings.mode = gray ? "SSI_Gray" : "SSI_Binary";
                     settings.program = kProgram;
                     const std::uint32_t* data = readings.data();
                     return PyRun{App::Run::Owning(
                         std::vector<unsigned>(data, data + readings.size()), settings, gray)};
                 }),
             "readings"_a, "st_bits"_a, "mt_bits"_a, "delay_us"_a = 0, "gray"_a = false)
        .def_property_readonly("readings",
                               [](py::object self) {
                                   return ArrayOver(self.cast<const PyRun&>().run.Readings(), self);
                               })
        .def_property_readonly("settings", &PyRun::Settings)
        .def_property_readonly("gray", [](const PyRun& r) { return r.run.Gray(); })
        .def("__len__", [](const PyRun& r) { return r.run.Readings().size(); })
        .def("_analyse", &AnalyseJson, "events"_a)
        .def("_check", &CheckJson, "st_mono"_a, "mt_mono"_a, "st_step"_a, "mt_step"_a,
             "error_limit"_a)
        .def("save", &Save, "path"_a)
        // The benchmark's baseline: the core's analysis alone, in seconds.
        .def("_core_analysis_seconds",
             [](const PyRun& r)
             {
                 py::gil_scoped_release unlocked;
                 const auto start = std::chrono::steady_clock::now();
                 const App::Analysis analysis = r.run.Analyse();
                 return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                     .count();
             });

    m.def("_load", &Load, "path"_a, "st_bits"_a, "mt_bits"_a, "gray"_a);
    m.def("_list_boxes", &ListBoxes, "simulate"_a, "simulator"_a);

    py::class_<PyBox>(m, "Box")
        .def(py::init<>())
        .def("_open", &PyBox::Open, "serial"_a, "simulate"_a, "simulator"_a, "wait"_a = 0.0)
        .def("reopen", &PyBox::Reopen, "wait"_a = 10.0,
             "Gets the box of the last open back after an unplug: waits up to `wait` seconds for "
             "it, reopens it and restores the settings it had (the supply only if it was on).")
        .def("close", &PyBox::Close)
        .def_property_readonly("is_open", &PyBox::IsOpen)
        .def_property_readonly("serial", &PyBox::Serial)
        .def_property_readonly("description", &PyBox::Description)
        .def_property("mode", &PyBox::Mode, &PyBox::SetMode)
        .def_property("clock", &PyBox::Clock, &PyBox::SetClock)
        .def_property("st_bits", &PyBox::StBits, &PyBox::SetStBits)
        .def_property("mt_bits", &PyBox::MtBits, &PyBox::SetMtBits)
        .def_property("data_mask", &PyBox::DataMask, &PyBox::SetDataMask)
        .def_property("gray_mask", &PyBox::GrayMask, &PyBox::SetGrayMask)
        .def_property("spi_word", &PyBox::SpiWord, &PyBox::SetSpiWord)
        .def_property("supply", &PyBox::Supply, &PyBox::SetSupply)
        .def_property_readonly("_outputs", &PyBox::Outputs)
        .def("set_output", &PyBox::SetOutput, "index"_a, "mode"_a)
        .def_property_readonly("history", &PyBox::History)
        .def("read", &PyBox::Read, "n"_a = 1)
        .def("_batch", &PyBox::Batch, "count"_a, "delay_us"_a, "progress"_a)
        .def("_stream_start", &PyBox::StreamStart, "count"_a, "delay_us"_a)
        .def("_stream_next", &PyBox::StreamNext, "check_signals"_a)
        .def("_stream_stop", &PyBox::StreamStop)
        .def("_stream_status", &PyBox::StreamStatus)
        .def("_sweep", &PyBox::Sweep, "from_hz"_a, "to_hz"_a, "count"_a, "delay_us"_a);
}
