#include "app/core/BoxSession.h"

#include "app/core/DefaultParameter.h"
#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/Unplugged.h"
#include "base/IniFile.h"
#include "base/Result.h"
#include "base/String.h"
#include "base/XAssertion.h"

#include <algorithm>
#include <cctype>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
constexpr const char* SOURCE = "TavikDlg";

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y)
                      {
                          return std::tolower(static_cast<unsigned char>(x)) ==
                                 std::tolower(static_cast<unsigned char>(y));
                      });
}
} // namespace

// A register behind an edit: how it is read and written, and its texts.
struct BoxSession::Register
{
    int (Box::*get)(unsigned int&) const;
    int (Box::*set)(unsigned int);
    const char* readError;
    const char* setError;
    const char* doneFormat;
};

BoxSession::BoxSession(Box& box, HistorySink& history, const zef::IniFile& ini)
    : m_Box(box), m_History(history), m_Ini(ini)
{
}

const std::vector<unsigned>& BoxSession::Clocks()
{
    static const std::vector<unsigned> clocks = []
    {
        std::vector<unsigned> hz;
        unsigned previous = 0;
        for (unsigned f = SampleParameter::GetNextFrequence(0); f > previous;
             f = SampleParameter::GetNextFrequence(f))
        {
            hz.push_back(f);
            previous = f;
        }
        std::reverse(hz.begin(), hz.end());
        return hz;
    }();
    return clocks;
}

bool BoxSession::IsClock(unsigned hz)
{
    const auto& clocks = Clocks();
    return std::find(clocks.begin(), clocks.end(), hz) != clocks.end();
}

template <class Body> Outcome BoxSession::Act(Body&& body)
{
    if (m_ActionDepth == 0)
        m_Outcome = {};
    struct Depth
    {
        int& depth;
        ~Depth() { --depth; }
    } depth{++m_ActionDepth};
    body();
    return m_Outcome;
}

void BoxSession::Fail(const std::string& text, int status)
{
    if (!m_Outcome.failed)
        m_Outcome = {true, status, text.substr(0, text.find_last_not_of('\n') + 1)};
    m_History.Error(text);
}

bool BoxSession::Check(int status, const std::string& failure)
{
    if (status == Box::OK)
        return true;
    m_LastFailure = status;
    m_LastFailureText = m_Box.GetStatusAsString(status);
    const GuiState state = m_View.state;
    if (m_Box.IsOpen() && MeansUnplugged(status, m_LastFailureText) &&
        (state == GS_CONNECTED || state == GS_POWERED || state == GS_CONTINUOUS))
    {
        // One line for the unplug instead of an error for each call that finds the box gone.
        if (!m_Outcome.failed)
            m_Outcome = {true, status, failure + m_LastFailureText};
        BoxVanished(state == GS_CONTINUOUS ? "Continuous sampling" : nullptr);
        return false;
    }
    Fail(failure + m_LastFailureText, status);
    return false;
}

bool BoxSession::LastFailureMeansUnplugged() const
{
    return MeansUnplugged(m_LastFailure, m_LastFailureText);
}

void BoxSession::BoxVanished(const char* what)
{
    const std::string serial = m_Box.IsOpen() ? m_Box.GetSerial() : m_View.waitingFor;
    m_Restore = CurrentSettings();
    m_Box.Close();
    std::string text = (what ? std::string(what) + " stopped: box " : std::string("Box ")) + serial;
    if (m_WaitForReturn)
    {
        // The history blanks non-ASCII bytes: a hyphen where the state text has its dash.
        text += " unplugged - waiting for it to return.";
        EnterState(GS_WAITING);
        m_View.waitingFor = serial;
    }
    else
    {
        text += " unplugged (" + m_LastFailureText + ").";
        EnterState(GS_DISCONNECTED);
    }
    if (!m_Outcome.failed)
        m_Outcome = {true, m_LastFailure, text};
    m_History.Error(text);
}

BoxSettings BoxSession::CurrentSettings() const
{
    BoxSettings settings;
    settings.mode = m_View.mode.value_or(SampleParameter::SSI_Binary);
    settings.clockHz = m_View.clock;
    settings.stBits = m_View.stBits;
    settings.mtBits = m_View.mtBits;
    settings.dataMask = m_View.dataFilter;
    settings.grayMask = m_View.grayCodeFilter;
    settings.spiWord = m_View.spiWord;
    settings.outputs = m_View.outputs;
    const GuiState state = m_View.state;
    settings.supply = state == GS_POWERED || state == GS_CONTINUOUS || state == GS_BATCH
                          ? m_View.supply
                          : Box::PWR_OFF;
    return settings;
}

std::string StateText(const BoxView& view)
{
    if (view.state != GS_WAITING)
        return {};
    return "Box " + view.waitingFor + " unplugged \u2013 waiting for it to return";
}

// ---------------------------------------------------------------------------------------------
// State

Outcome BoxSession::Init()
{
    return Act(
        [&]
        {
            EnterState(GS_INIT);
            if (const std::string problem = IniProblem(m_Ini); !problem.empty())
                Fail(problem);
            ScanDevices();
            PreselectConfigured();
        });
}

std::string BoxSession::IniProblem(const zef::IniFile& ini)
{
    // A file that could not be read is not used at all; say why, or every setting would
    // silently be a built-in one. A missing file (code 5) is the normal case.
    const zef::Result& load = ini.GetLoadResult();
    if (!load.IsError() || load.GetErrorCode() == 5)
        return {};
    return "Configuration file ignored; built-in values apply.\n" +
           zef::IniFile::DescribeLoadError(load).GetStdString();
}

void BoxSession::EnterState(GuiState state)
{
    if (state == m_View.state && state != GS_INIT)
        return;
    if (state != GS_WAITING)
        m_View.waitingFor.clear();
    if (state == GS_INIT)
    {
        m_View.state = GS_INIT;
        m_View.supply = Box::PWR_EXTERNAL;
        m_View.outputs = {Box::OUT_OPEN, Box::OUT_OPEN, Box::OUT_OPEN};
        ApplyExpertFlags();
        m_View.clock = Clocks().empty() ? 0 : Clocks().front();
        m_View.stBits = 12;
        m_View.mtBits = 13;
        m_View.dataFilter = m_View.grayCodeFilter = m_View.spiWord = 0;
        m_View.sample = 0;
        state = GS_DISCONNECTED;
    }
    m_View.state = state;
}

// ---------------------------------------------------------------------------------------------
// Devices and connection

Outcome BoxSession::ScanDevices()
{
    return Act([&] { ListDevices(false); });
}

void BoxSession::ListDevices(bool quiet)
{
    // A quiet listing (after a hot-plug event) keeps the selected box selected.
    const int selected = m_View.selectedDevice;
    const std::string selectedSerial = selected >= 0 && selected < int(m_View.devices.size())
                                           ? m_View.devices[std::size_t(selected)].serial
                                           : std::string();
    m_View.devices.clear();
    m_View.selectedDevice = -1;
    unsigned long count = 0;
    if (!Check(m_Box.GetConnectedDevices(count),
               "Error while retrieving number of connected devices.\n"))
        return;
    if (!quiet)
        m_History.Line(Format("%u connected device(s) found.", unsigned(count)));
    for (unsigned long index = 0; index < count; ++index)
    {
        std::string serial;
        std::string description;
        if (!Check(m_Box.GetDeviceInformation(int(index), serial, description),
                   "Error while retrieving device information of connected device.\n"))
            return;
        // The list is sorted by serial number; equal serials keep their order.
        const auto at = std::upper_bound(m_View.devices.begin(), m_View.devices.end(), serial,
                                         [](const std::string& s, const BoxView::Device& d)
                                         { return s < d.serial; });
        m_View.devices.insert(at, {serial, int(index)});
    }
    if (m_View.devices.empty())
        return;
    m_View.selectedDevice = 0;
    if (quiet)
        for (std::size_t i = 0; i < m_View.devices.size(); ++i)
            if (m_View.devices[i].serial == selectedSerial)
                m_View.selectedDevice = int(i);
}

Outcome BoxSession::DevicesChanged()
{
    return Act(
        [&]
        {
            switch (m_View.state)
            {
            case GS_DISCONNECTED:
                ListDevices(true);
                break;
            case GS_CONNECTED:
            case GS_POWERED:
            {
                Box::POWER_MODE power = Box::PWR_OFF;
                Check(m_Box.GetPowerMode(power), "Error while reading power_mode from device.\n");
                break;
            }
            case GS_WAITING:
                Reconnect();
                break;
            default:
                break;
            }
        });
}

Outcome BoxSession::Reconnect()
{
    return Act(
        [&]
        {
            if (m_View.state != GS_WAITING)
                return;
            const std::string serial = m_View.waitingFor;
            Reconnector reconnector(m_Box, m_History, *m_Clock);
            if (!reconnector.IsListed(serial))
                return;
            switch (reconnector.Reopen(serial, m_Restore))
            {
            case Reconnector::ABSENT:
                return;
            case Reconnector::REOPENED:
                m_LastWarning.clear();
                EnterState(m_Restore.supply != Box::PWR_OFF ? GS_POWERED : GS_CONNECTED);
                return;
            case Reconnector::REFUSED:
                Fail("Box " + serial + " is back but cannot be opened yet.\n" +
                     reconnector.LastError());
                return;
            case Reconnector::FAILED:
                if (!m_Box.IsOpen())
                {
                    Fail("Error while opening device.\n" + reconnector.LastError());
                    return;
                }
                // Open, but a setting did not take (its error line is written): the box as
                // it is now.
                m_Outcome = {true, Box::FAILED, reconnector.LastError()};
                EnterState(GS_CONNECTED);
                if (ReadSettingsBack() != Box::PWR_OFF)
                    EnterState(GS_POWERED);
                return;
            }
        });
}

Outcome BoxSession::PreselectConfigured()
{
    return Act(
        [&]
        {
            if (!m_Ini.IsOpen())
                return;
            zef::String configured;
            if (!m_Ini.GetString("Default", "UsbDevice", configured) || configured.IsEmpty())
                return;
            const std::string wanted = configured.GetStdString();
            for (std::size_t i = 0; i < m_View.devices.size(); ++i)
            {
                if (EqualsIgnoringCase(m_View.devices[i].serial, wanted))
                {
                    m_View.selectedDevice = int(i);
                    return;
                }
            }
            Fail("Configured USB device '" + wanted + "' was not detected.\n");
        });
}

Outcome BoxSession::ConnectOrDisconnect()
{
    return Act(
        [&]
        {
            if (m_View.state == GS_WAITING)
            {
                m_History.Line("Stopped waiting for box " + m_View.waitingFor + ".");
                EnterState(GS_DISCONNECTED);
                ListDevices(true);
                return;
            }
            if (m_Box.IsOpen())
            {
                m_Box.Close();
                m_History.Line("Disconnected from device.");
                EnterState(GS_DISCONNECTED);
                return;
            }
            if (m_View.selectedDevice < 0 || m_View.selectedDevice >= int(m_View.devices.size()))
                return;
            const int device = m_View.devices[std::size_t(m_View.selectedDevice)].index;
            if (!(device >= 0))
                zef::XAssertionFailed("iDevice >= 0", "Internal", SOURCE, __LINE__);
            if (!Check(m_Box.Open(device), "Error while opening device.\n"))
                return;
            m_LastWarning.clear();
            m_History.Line(Format("Connected to device '%s', serial '%s'.",
                                  m_Box.GetDescription().c_str(), m_Box.GetSerial().c_str()));
            EnterState(GS_CONNECTED);
            const Box::POWER_MODE power = ReadSettingsBack();
            if (!m_Box.IsOpen())
                return; // it vanished on the way
            if (power != Box::PWR_OFF)
                EnterState(GS_POWERED);
            else
                LoadAndApplyDefaults();
        });
}

Outcome BoxSession::Reset()
{
    return Act(
        [&]
        {
            if (!m_Box.IsOpen())
                return;
            if (Check(m_Box.Reset(), "Error while reset device.\n"))
                m_History.Line("Reset device");
            if (!m_Box.IsOpen())
                return; // it vanished on the way
            EnterState(GS_CONNECTED);
            ReadSettingsBack();
        });
}

Box::POWER_MODE BoxSession::ReadSettingsBack()
{
    if (!m_Box.IsOpen())
        zef::XAssertionFailed("m_Tavik.IsOpen()", "Internal", SOURCE, __LINE__);

    SampleParameter p;
    if (!Check(m_Box.GetSampleParameter(p), "Error while reading sample parameter from device.\n"))
        return Box::PWR_OFF;
    // Only the view changes here; a value the lists cannot show is reported, not fatal.
    if (IsClock(p.GetFrequence()))
        m_View.clock = p.GetFrequence();
    else
        Fail(Format("Current SSI frequency (%u Hz) of the device cannot be shown.",
                    p.GetFrequence()));
    if (p.GetMode() > SampleParameter::SPI_Gray || !SelectMode(p.GetMode(), false))
        Fail(Format("Current SSI mode (0x%X) of the device cannot be shown.",
                    unsigned(p.GetMode())));
    const unsigned n = p.GetDataBits();
    const unsigned st = std::min(n, 12u);
    const unsigned mt = n > 12 ? n - 12 : 0;
    m_View.stBits = st; // st is at most 12: always an entry
    if (mt <= MT_BITS_MAX)
        m_View.mtBits = mt;
    else
        Fail(Format("Current number of multiturn bits (%u) of the device cannot be shown.", mt));

    unsigned value = 0;
    if (!Check(m_Box.GetGrayBinaryMask(value), "Error while reading data filter mask.\n"))
        return Box::PWR_OFF;
    m_View.grayCodeFilter = value;
    if (!Check(m_Box.GetDataMask(value), "Error while reading data filter mask from device.\n"))
        return Box::PWR_OFF;
    m_View.dataFilter = value;
    if (!Check(m_Box.GetSPIData(value), "Error while reading SPI data word from device.\n"))
        return Box::PWR_OFF;
    m_View.spiWord = value;
    for (int index = 0; index < 3; ++index)
    {
        Box::OUTPUT_MODE mode = Box::OUT_OPEN;
        if (!Check(m_Box.GetOutput(index, mode), "Error while reading output_mode from device.\n"))
            return Box::PWR_OFF;
        if (mode <= Box::OUT_HIGH_UB)
            ShowOutputMode(index, mode);
    }
    Box::POWER_MODE power = Box::PWR_OFF;
    if (!Check(m_Box.GetPowerMode(power), "Error while reading power_mode from device.\n"))
        return Box::PWR_OFF;
    if (power == Box::PWR_EXTERNAL || power == Box::PWR_INTERNAL || power == Box::PWR_INTERNAL_DCDC)
        m_View.supply = power;
    return power;
}

// ---------------------------------------------------------------------------------------------
// Defaults

Outcome BoxSession::LoadAndApplyDefaults()
{
    return Act(
        [&]
        {
            DefaultParameter record;
            if (!m_Ini.IsOpen() || !m_Box.IsOpen())
                return;
            zef::Result result;
            const std::string& description = m_Box.GetDescription();
            const std::string& serial = m_Box.GetSerial();
            const char* file = m_Ini.GetFileName().c_str();
            if (!LoadDefaults(result, m_Ini, record, serial))
            {
                const char* details =
                    result.IsError() && !result.GetText().IsNull() ? result.GetText().c_str() : "";
                m_History.Line(
                    Format("Error while loading configuration for device '%s', serial '%s' "
                           "from file '%s'.\nDetails: %s",
                           description.c_str(), serial.c_str(), file, details));
            }
            else if (record != DefaultParameter())
            {
                m_History.Line(
                    Format("Loading configuration for device '%s', serial '%s' from file '%s'.",
                           description.c_str(), serial.c_str(), file));
            }
            ApplyDefaults(record);
        });
}

void BoxSession::ApplyDefaults(const DefaultParameter& record)
{
    // PWR_OFF has no radio button: the supply choice stays as it is.
    if (record.powerMode != Box::PWR_OFF)
        m_View.supply = record.powerMode;
    for (int index = 0; index < 3; ++index)
    {
        ShowOutputMode(index, record.outputMode[index]);
        SwitchOutput(index, record.outputMode[index]);
    }
    if (SelectMode(record.ssiMode))
        CommitMode();
    if (IsClock(record.ssiClock))
        ChooseClock(record.ssiClock);
    if (record.stBits <= ST_BITS_MAX)
        ChooseStBits(record.stBits);
    if (record.mtBits <= MT_BITS_MAX)
        ChooseMtBits(record.mtBits);
    // Masks given in the INI file win over those derived from the bit counts. The data mask
    // is committed first; its commit copies it into the Gray filter, as typing does.
    const bool dataDiffers = record.dataFilterLoaded && record.dataFilter != m_View.dataFilter;
    const bool grayDiffers =
        record.grayCodeFilterLoaded && record.grayCodeFilter != m_View.grayCodeFilter;
    if (dataDiffers)
        CommitDataFilter(FormatHex8(record.dataFilter));
    if (dataDiffers || grayDiffers)
        CommitGrayCodeFilter(FormatHex8(record.grayCodeFilterLoaded ? record.grayCodeFilter
                                                                    : m_View.grayCodeFilter));
    m_View.hex = record.valueEncoding == 1;
}

// ---------------------------------------------------------------------------------------------
// Supply and outputs

void BoxSession::ShowOutputMode(int index, Box::OUTPUT_MODE mode)
{
    if (!(index >= 0 && index <= 2))
        zef::XAssertionFailed("index>=0 && index <=2", "Index out of range.", SOURCE, __LINE__);
    if (mode <= Box::OUT_HIGH_UB)
        m_View.outputs[std::size_t(index)] = mode;
}

Outcome BoxSession::SwitchOutput(int index, Box::OUTPUT_MODE mode)
{
    return Act(
        [&]
        {
            if (m_View.state == GS_DISCONNECTED || m_View.state == GS_BATCH ||
                m_View.state == GS_WAITING)
                return;
            if (!(index >= 0 && index <= 2))
                zef::XAssertionFailed("index>=0 && index<=2", "Parameter index is out of range.",
                                      SOURCE, __LINE__);
            const std::string name = Box::GetOutputModeAsString(mode);
            if (Check(m_Box.SetOutput(index, mode),
                      Format("Error while switching output %d to %s.\n", index + 1, name.c_str())))
                m_History.Line(Format("Switching output %d to %s.", index + 1, name.c_str()));
        });
}

Outcome BoxSession::ClickOutput(int index, Box::OUTPUT_MODE mode)
{
    return Act(
        [&]
        {
            ShowOutputMode(index, mode);
            SwitchOutput(index, mode);
        });
}

Outcome BoxSession::TogglePower()
{
    return Act(
        [&]
        {
            Box::POWER_MODE supply;
            GuiState target;
            if (m_View.state == GS_CONNECTED)
            {
                supply = m_View.supply;
                target = GS_POWERED;
                for (int index = 0; index < 3; ++index)
                    SwitchOutput(index, m_View.outputs[std::size_t(index)]);
                if (m_View.state != GS_CONNECTED)
                    return; // it vanished on the way
            }
            else if (m_View.state == GS_POWERED)
            {
                supply = Box::PWR_OFF;
                target = GS_CONNECTED;
            }
            else
            {
                return;
            }
            const std::string name = Box::GetPowerModeAsString(supply);
            if (!Check(m_Box.SetPowerMode(supply),
                       "Error while switching powermode of device to " + name + ".\n"))
                return;
            m_History.Line("Powermode of device is set to " + name + ".");
            EnterState(target);
        });
}

// ---------------------------------------------------------------------------------------------
// Serial settings

int BoxSession::ValidateAndSet(SampleParameter& p, const std::string& description)
{
    std::string message;
    if (!p.Validate(message))
    {
        std::string text = Format("Error while checking sample parameter: %s.", message.c_str());
        if (!description.empty())
            text += "\nNot allowed: " + description;
        text += std::string("\n") + m_Box.GetStatusAsString(Box::INVALID_PARAMETER);
        Fail(text, Box::INVALID_PARAMETER);
        return Box::INVALID_PARAMETER;
    }
    if (message.empty())
    {
        m_LastWarning.clear();
    }
    else if (message != m_LastWarning || p.GetFrequence() != m_LastWarningClock)
    {
        // The message is a sentence of its own: no second period.
        const char* end = message.back() == '.' ? "" : ".";
        m_History.Line(
            Format("Warning while checking sample parameter: %s%s", message.c_str(), end));
        m_LastWarning = message;
        m_LastWarningClock = p.GetFrequence();
    }
    const int status = m_Box.SetSampleParameter(p);
    const std::string suffix = description.empty() ? std::string() : " " + description;
    if (Check(status, "Error while setting sample parameter." + suffix + "\n"))
        m_History.Line("Setting sample parameter." + suffix + "\n");
    return status;
}

bool BoxSession::ReadSampleParameter(SampleParameter& p)
{
    return Check(m_Box.GetSampleParameter(p), "Error while reading sample parameter.\n");
}

Outcome BoxSession::ChooseMode(SampleParameter::SERIAL_MODE mode)
{
    return Act(
        [&]
        {
            if (std::find(m_View.modes.begin(), m_View.modes.end(), mode) == m_View.modes.end())
                return;
            m_View.mode = mode;
            CommitMode();
        });
}

Outcome BoxSession::ChooseClock(unsigned hz)
{
    return Act(
        [&]
        {
            if (!IsClock(hz))
                return;
            m_View.clock = hz;
            CommitClock();
        });
}

Outcome BoxSession::ChooseStBits(unsigned bits)
{
    return Act(
        [&]
        {
            if (bits > ST_BITS_MAX)
                return;
            m_View.stBits = bits;
            CommitBitCounts();
        });
}

Outcome BoxSession::ChooseMtBits(unsigned bits)
{
    return Act(
        [&]
        {
            if (bits > MT_BITS_MAX)
                return;
            m_View.mtBits = bits;
            CommitBitCounts();
        });
}

Outcome BoxSession::ChooseBitCounts(unsigned stBits, unsigned mtBits)
{
    return Act(
        [&]
        {
            if (stBits > ST_BITS_MAX || mtBits > MT_BITS_MAX)
                return;
            m_View.stBits = stBits;
            m_View.mtBits = mtBits;
            CommitBitCounts();
        });
}

Outcome BoxSession::CommitMode()
{
    return Act(
        [&]
        {
            if (!m_Box.IsOpen() || !m_View.mode)
                return;
            SampleParameter p;
            if (!ReadSampleParameter(p))
                return;
            const SampleParameter::SERIAL_MODE mode = *m_View.mode;
            if (mode == p.GetMode())
                return;
            p.SetMode(mode);
            ValidateAndSet(p, Format("Set SSI mode to %s", SampleParameter::GetModeAsString(mode)));
        });
}

Outcome BoxSession::ApplyClock(unsigned hz)
{
    if (!IsClock(hz))
        return {true, Box::INVALID_PARAMETER, {}};
    if (!m_Box.IsOpen())
        return {true, Box::DEVICE_NOT_OPENED, {}};
    return Act(
        [&]
        {
            SampleParameter p;
            if (!ReadSampleParameter(p))
                return;
            p.SetFrequence(hz);
            if (ValidateAndSet(p, Format("Set new frequence to %u Hz", hz)) == Box::OK)
                m_View.clock = hz;
        });
}

Outcome BoxSession::EndBatch(const char* what, bool boxVanished)
{
    return Act(
        [&]
        {
            if (m_View.state != GS_BATCH)
                return;
            if (boxVanished)
                BoxVanished(what);
            else
                EnterState(GS_POWERED);
        });
}

Outcome BoxSession::CommitClock()
{
    return Act(
        [&]
        {
            if (!m_Box.IsOpen())
                return;
            SampleParameter p;
            if (!ReadSampleParameter(p))
                return;
            const unsigned hz = m_View.clock;
            p.SetFrequence(hz);
            ValidateAndSet(p, Format("Set new frequence to %u Hz", hz));
        });
}

Outcome BoxSession::CommitBitCounts()
{
    return Act(
        [&]
        {
            const unsigned st = m_View.stBits;
            const unsigned mt = m_View.mtBits;
            const unsigned n = st + mt;
            const unsigned mask = Tavik::LowMask(n);
            if (m_View.dataFilter != mask)
            {
                m_View.dataFilter = m_View.grayCodeFilter = mask;
                CommitDataFilter(FormatHex8(mask));
                CommitGrayCodeFilter(FormatHex8(mask));
            }
            if (!m_Box.IsOpen())
                return;
            SampleParameter p;
            if (!ReadSampleParameter(p))
                return;
            if (n == p.GetDataBits())
                return;
            p.SetDataBits(n);
            ValidateAndSet(p, Format("Set clocks to %d (mt bits = %d, st bits = %d).", int(n),
                                     int(mt), int(st)));
        });
}

Outcome BoxSession::CommitDataFilter(const std::string& text)
{
    return Act(
        [&]
        {
            const unsigned value = ParseHex(text);
            m_View.dataFilter = m_View.grayCodeFilter = value;
            CommitRegister(
                value, {&Box::GetDataMask, &Box::SetDataMask, "Error while reading data mask.\n",
                        "Error while setting data mask.\n", "Setting data mask to 0x%08X."});
        });
}

Outcome BoxSession::CommitGrayCodeFilter(const std::string& text)
{
    return Act(
        [&]
        {
            const unsigned value = ParseHex(text);
            m_View.grayCodeFilter = value;
            CommitRegister(value, {&Box::GetGrayBinaryMask, &Box::SetGrayBinaryMask,
                                   "Error while reading gray binary mask.\n",
                                   "Error while setting gray binary mask.\n",
                                   "Setting gray binary mask to 0x%08X."});
        });
}

Outcome BoxSession::CommitSpiWord(const std::string& text)
{
    return Act(
        [&]
        {
            const unsigned value = ParseHex(text);
            m_View.spiWord = value;
            CommitRegister(value, {&Box::GetSPIData, &Box::SetSPIData,
                                   "Error while reading SPI data from box.\n",
                                   "Error while setting SPI data to box.\n",
                                   "Setting SPI data to 0x%08X."});
        });
}

// Sends a register only when the box holds another value, so re-committing an unchanged edit
// adds no history line.
void BoxSession::CommitRegister(unsigned value, const Register& reg)
{
    if (!m_Box.IsOpen())
        return;
    unsigned current = 0;
    if (!Check((m_Box.*reg.get)(current), reg.readError))
        return;
    if (current == value)
        return;
    if (Check((m_Box.*reg.set)(value), reg.setError))
        m_History.Line(Format(reg.doneFormat, value));
}

// ---------------------------------------------------------------------------------------------
// Expert settings

Outcome BoxSession::SetExpert(ExpertOption option, bool shown)
{
    return Act(
        [&]
        {
            // The SPI group sits inside the data filter group: one never shows without the
            // other.
            if (option == ExpertOption::DATA_FILTER)
            {
                m_View.dataFilterShown = shown;
                m_View.spiShown = m_View.spiShown && shown;
            }
            else
            {
                m_View.spiShown = shown;
                m_View.dataFilterShown = m_View.dataFilterShown || shown;
            }
            ApplyExpertFlags();
        });
}

void BoxSession::ApplyExpertFlags(bool commitMode)
{
    const auto remembered = m_View.mode.value_or(SampleParameter::SSI_Binary);
    m_View.modes = {SampleParameter::SSI_Binary, SampleParameter::SSI_Gray};
    if (m_View.spiShown)
    {
        m_View.modes.push_back(SampleParameter::SPI_Binary);
        m_View.modes.push_back(SampleParameter::SPI_Gray);
    }
    m_View.mode.reset();
    // Selecting a mode that the list lacks brings SPI mode back (select mode). That nested
    // rebuild must not commit: it would send whatever its fresh list selected first, and the
    // commit below sends the mode that ends up selected anyway.
    if (!SelectMode(remembered, false))
        m_View.mode = m_View.modes.front();
    if (commitMode)
        CommitMode();
}

bool BoxSession::SelectMode(SampleParameter::SERIAL_MODE mode, bool commitMode)
{
    while (true)
    {
        if (std::find(m_View.modes.begin(), m_View.modes.end(), mode) != m_View.modes.end())
        {
            m_View.mode = mode;
            return true;
        }
        if (m_View.spiShown || mode > SampleParameter::SPI_Gray)
            return false;
        m_View.dataFilterShown = m_View.spiShown = true;
        ApplyExpertFlags(commitMode);
    }
}

// ---------------------------------------------------------------------------------------------
// Measurement

Reading BoxSession::SingleSample()
{
    Reading reading;
    if (m_View.state != GS_POWERED && m_View.state != GS_CONTINUOUS)
        return reading;
    reading.outcome = Act(
        [&]
        {
            m_LastFailure = Box::OK; // a failure here is judged by its own status
            // An unplug during continuous sampling ends it in Check, with one line.
            SampleParameter p;
            if (!ReadSampleParameter(p))
                return;
            if (p.GetSampleCount() != 1)
            {
                p.SetSampleCount(1);
                if (ValidateAndSet(p, "Set sample count 1.") != Box::OK)
                    return;
            }
            std::vector<unsigned> samples;
            if (!Check(m_Box.Sample(samples), "Error while sampling.\n"))
            {
                // A reading that did not come leaves its run going, and the box refuses every
                // other command until the run ends: end it, so that the next reading can be
                // taken.
                if (!LastFailureMeansUnplugged())
                    m_Box.TerminateSample();
                return;
            }
            if (samples.size() != 1)
                zef::XAssertionFailed("samples.size() == 1", "Array size not expected.", SOURCE,
                                      __LINE__);
            m_View.sample = samples[0];
            reading.value = samples[0];
        });
    return reading;
}

SampleParts BoxSession::Split(unsigned value) const
{
    SampleParts parts;
    parts.stBits = m_View.stBits;
    parts.mtBits = m_View.mtBits;
    Tavik::SplitStMt(parts.stBits, parts.mtBits, value, parts.st, parts.mt);
    parts.stText = m_View.hex ? FormatHex8(parts.st) : std::to_string(parts.st);
    parts.mtText = m_View.hex ? FormatHex8(parts.mt) : std::to_string(parts.mt);
    return parts;
}

} // namespace App

namespace App
{

RunSettings BoxSession::DescribeRun(const std::string& program) const
{
    RunSettings settings;
    settings.serial = m_Box.GetSerial();
    settings.description = m_Box.GetDescription();
    settings.mode = m_View.mode ? Tavik::SampleParameter::GetModeAsString(*m_View.mode) : "unknown";
    settings.clockHz = m_View.clock;
    settings.stBits = m_View.stBits;
    settings.mtBits = m_View.mtBits;
    settings.dataMask = m_View.dataFilter;
    settings.grayMask = m_View.grayCodeFilter;
    settings.spiWord = m_View.spiWord;
    settings.program = program;
    return settings;
}

} // namespace App
