#pragma once

#include "app/core/GuiState.h"
#include "app/core/Reconnector.h"
#include "app/core/RunSettings.h"
#include "driver/Box.h"
#include "driver/SampleParameter.h"
#include "link/Clock.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace zef
{
class IniFile;
}

namespace App
{

class HistorySink;
struct DefaultParameter;

// Everything the main window shows, as values. The window renders it; the session is the
// only one that changes it.
struct BoxView
{
    struct Device
    {
        std::string serial;
        int index; // the link's device index
    };

    GuiState state = GS_INIT;
    std::vector<Device> devices; // sorted by serial number
    int selectedDevice = -1;     // index into devices, -1 for none

    Tavik::Box::POWER_MODE supply = Tavik::Box::PWR_EXTERNAL; // the checked supply radio
    std::array<Tavik::Box::OUTPUT_MODE, 3> outputs{Tavik::Box::OUT_OPEN, Tavik::Box::OUT_OPEN,
                                                   Tavik::Box::OUT_OPEN};

    // The expert groups shown. The SPI group comes only with the data filter group.
    bool dataFilterShown = false;
    bool spiShown = false;
    std::vector<Tavik::SampleParameter::SERIAL_MODE> modes;  // the mode list's entries
    std::optional<Tavik::SampleParameter::SERIAL_MODE> mode; // its selection
    unsigned clock = 0;                                      // Hz, an entry of Clocks()
    unsigned stBits = 12;
    unsigned mtBits = 13;
    // What the three edits show.
    unsigned dataFilter = 0;
    unsigned grayCodeFilter = 0;
    unsigned spiWord = 0;
    bool hex = false; // "Display as Hex"

    // The reading shown last, for windows that show it again in another format.
    unsigned sample = 0;

    // In GS_WAITING: the serial number of the box that vanished.
    std::string waitingFor;

    bool operator==(const BoxView&) const = default;
};

// What the window shows of its state beside the device list: in GS_WAITING "Box SIM00001
// unplugged – waiting for it to return" (UTF-8, with an en dash), otherwise nothing.
std::string StateText(const BoxView& view);

// A reading split into its parts by the selected bit counts, and the texts the window
// shows for them.
struct SampleParts
{
    unsigned stBits = 0;
    unsigned mtBits = 0;
    unsigned st = 0;
    unsigned mt = 0;
    std::string stText;
    std::string mtText;
};

// The expert settings the menu shows and hides.
enum class ExpertOption
{
    DATA_FILTER, // the data filter group (hiding it hides the SPI group too)
    SPI_MODE,    // the SPI group and the SPI modes (showing it shows the data filter group)
};

// What an action came to. An action failed when it wrote an error line: `error` is the text of
// the first one, `status` the box's status behind it (Box::OK when the session refused on its
// own, as for a configured box that is not attached or a setting the lists cannot show).
struct Outcome
{
    bool failed = false;
    int status = Tavik::Box::OK;
    std::string error;

    explicit operator bool() const { return !failed; }
};

// A single reading: the value when one came, and the outcome.
struct Reading
{
    Outcome outcome;
    std::optional<unsigned> value; // none when it failed or the state takes no reading
};

// The main window's work with one box, without a window: scanning, connecting (with the
// read-back of the box's settings, or the defaults of the INI file), reset, supply, outputs,
// mode, clock, bit counts with the masks they imply, the three registers, and sampling.
// Every action returns its Outcome and writes its lines to the history sink with the texts the
// window has always written; failures of the box are error lines that end in the box's status
// text. Front ends judge an action by what it returns, never by counting the sink's errors.
// The session borrows the box, the sink and the INI file; they must outlive it.
class BoxSession
{
public:
    static constexpr unsigned ST_BITS_MAX = 32; // entries of the ST bits list: 0 to 32
    static constexpr unsigned MT_BITS_MAX = 24; // and of the MT bits list: 0 to 24

    BoxSession(Tavik::Box& box, HistorySink& history, const zef::IniFile& ini);

    // The clock that times the retries of a reopen (the system clock unless set).
    void SetClock(FTD2xx::Clock& clock) { m_Clock = &clock; }
    // Whether a box that vanishes is waited for (GS_WAITING, the window) or only closed
    // (GS_DISCONNECTED, a command line run that does not reconnect). On by default.
    void SetWaitForReturn(bool wait) { m_WaitForReturn = wait; }

    const BoxView& View() const { return m_View; }
    Tavik::Box& GetBox() { return m_Box; }
    // The box's settings as a saved run names them, written by `program` ("Tavik 1.3.2").
    RunSettings DescribeRun(const std::string& program) const;
    // The selectable clock frequencies, highest first.
    static const std::vector<unsigned>& Clocks();

    // Start-up: the controls' first values, why the INI file is not used (when it failed to
    // load), the device list, and the configured box.
    Outcome Init();
    // The error that says why `ini` is not used: "" when it loaded or does not exist. Every
    // front end reports it in these words.
    static std::string IniProblem(const zef::IniFile& ini);
    void EnterState(GuiState state);

    // --- Devices ---------------------------------------------------------------------------
    Outcome ScanDevices();
    // Devices came or went (a hot-plug event, which may come early or twice). Without a box
    // the list is read again, silently. With a box open and idle, the box is asked whether it
    // is still there. While waiting for a box, it is reopened when it is listed (Reconnect).
    // Continuous sampling and batches find an unplug by their own failing calls.
    Outcome DevicesChanged();
    // In GS_WAITING, when the box is listed again: reopens it (retrying on access or busy
    // errors, on the session's clock), restores the settings it had, with a line each, and
    // ends in GS_POWERED when its supply was on, else GS_CONNECTED. Nothing while it is
    // not listed.
    Outcome Reconnect();
    // The settings the view shows, the supply as on only in a state with the supply on.
    BoxSettings CurrentSettings() const;
    void SelectDevice(int index) { m_View.selectedDevice = index; }
    // Selects the device named by "UsbDevice" in chapter "Default", ignoring letter case.
    Outcome PreselectConfigured();
    // Connect to the selected device, or disconnect when a box is open; in GS_WAITING it stops
    // waiting.
    Outcome ConnectOrDisconnect();
    Outcome Reset();
    // Reads the box's settings into the view; PWR_OFF also when a read failed.
    Tavik::Box::POWER_MODE ReadSettingsBack();
    Outcome LoadAndApplyDefaults();

    // --- Supply and outputs ----------------------------------------------------------------
    void ChooseSupply(Tavik::Box::POWER_MODE supply) { m_View.supply = supply; }
    Outcome TogglePower();
    // An output radio clicked: that radio is checked and the output switched.
    Outcome ClickOutput(int index, Tavik::Box::OUTPUT_MODE mode);
    // Switches an output on the box (not in GS_DISCONNECTED or GS_BATCH), with its line.
    Outcome SwitchOutput(int index, Tavik::Box::OUTPUT_MODE mode);
    void ShowOutputMode(int index, Tavik::Box::OUTPUT_MODE mode);

    // --- Serial settings -------------------------------------------------------------------
    Outcome ChooseMode(Tavik::SampleParameter::SERIAL_MODE mode);
    Outcome ChooseClock(unsigned hz);
    // A clock chosen elsewhere (the clock sweep's Apply): the view shows it only when the box
    // took it; a clock that is not selectable or a closed box fails without a line.
    Outcome ApplyClock(unsigned hz);
    Outcome ChooseStBits(unsigned bits);
    Outcome ChooseMtBits(unsigned bits);
    // Both bit counts chosen at once, committed once.
    Outcome ChooseBitCounts(unsigned stBits, unsigned mtBits);
    Outcome CommitMode();
    Outcome CommitClock();
    Outcome CommitBitCounts();
    // An edit's text committed: parsed, shown again as eight hexadecimal digits, sent when
    // the box holds another value. The data filter is copied into the Gray filter edit.
    Outcome CommitDataFilter(const std::string& text);
    Outcome CommitGrayCodeFilter(const std::string& text);
    Outcome CommitSpiWord(const std::string& text);
    // Shows or hides an expert group ("Enable Data Filter", "Enable SPI Mode"). The mode list
    // follows; a selected SPI mode keeps the SPI group shown.
    Outcome SetExpert(ExpertOption option, bool shown);
    void SetHex(bool hex) { m_View.hex = hex; }

    // --- Measurement -----------------------------------------------------------------------
    // One reading (in GS_POWERED and GS_CONTINUOUS), or nothing when it failed or the state
    // takes none. The reading becomes the view's sample.
    Reading SingleSample();
    // Continuous sampling on or off; the caller runs the timer. When the box is found gone
    // during continuous sampling, the session closes it and ends in GS_DISCONNECTED.
    void StartContinuous() { EnterState(GS_CONTINUOUS); }
    void StopContinuous() { EnterState(GS_POWERED); }
    SampleParts Split(unsigned value) const;
    // A batch-like dialog (`what`: "Batch sampling", "Clock sweep") ended: back to GS_POWERED,
    // or, when the box vanished on the way, closed with one line as continuous sampling does.
    Outcome EndBatch(const char* what, bool boxVanished);

    // Validates a parameter set and writes it, with the warning and error lines; answers the
    // box status (INVALID_PARAMETER when the set was not valid: nothing is then sent).
    int ValidateAndSet(Tavik::SampleParameter& p, const std::string& description);

private:
    struct Register;
    // Runs one action; the outermost action of a nesting answers the outcome of all of them.
    template <class Body> Outcome Act(Body&& body);
    // Writes an error line and records it in the running action's outcome.
    void Fail(const std::string& text, int status = Tavik::Box::OK);
    // False, with an error line of `failure` and the status text, when status is not OK.
    bool Check(int status, const std::string& failure);
    // Whether the last failure that Check reported says the box is no longer attached.
    bool LastFailureMeansUnplugged() const;
    // The open box vanished: one line, closed, and GS_WAITING (or GS_DISCONNECTED). `what`
    // names the work it stopped ("Continuous sampling"), or is null.
    void BoxVanished(const char* what);
    void ListDevices(bool quiet);
    bool ReadSampleParameter(Tavik::SampleParameter& p);
    void CommitRegister(unsigned value, const Register& reg);
    void ApplyDefaults(const DefaultParameter& record);
    void ApplyExpertFlags(bool commitMode = true);
    bool SelectMode(Tavik::SampleParameter::SERIAL_MODE mode, bool commitMode = true);
    static bool IsClock(unsigned hz);

    Tavik::Box& m_Box;
    HistorySink& m_History;
    const zef::IniFile& m_Ini;
    BoxView m_View;
    int m_LastFailure = Tavik::Box::OK;
    std::string m_LastFailureText;
    // The warning last written with the clock it was written for: it is repeated only when
    // the clock changes.
    std::string m_LastWarning;
    unsigned m_LastWarningClock = 0;
    Outcome m_Outcome; // of the running action
    int m_ActionDepth = 0;
    FTD2xx::Clock* m_Clock = &FTD2xx::Clock::System();
    bool m_WaitForReturn = true;
    BoxSettings m_Restore; // in GS_WAITING: what the box had
};

} // namespace App
