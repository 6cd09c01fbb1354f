#pragma once

#include "app/core/GuiState.h"
#include "app/core/RunSettings.h"
#include "driver/Box.h"
#include "driver/SampleParameter.h"

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

    // Bit 0: the data filter group is shown; bit 1: the SPI group is shown.
    int expertFlags = 0;
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

    bool operator==(const BoxView&) const = default;
};

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

// The main window's work with one box, without a window: scanning, connecting (with the
// read-back of the box's settings, or the defaults of the INI file), reset, supply, outputs,
// mode, clock, bit counts with the masks they imply, the three registers, and sampling.
// Every outcome goes to the history sink with the texts the window has always written;
// failures of the box are error lines that end in the box's status text. The session
// borrows the box, the sink and the INI file; they must outlive it.
class BoxSession
{
public:
    static constexpr unsigned ST_BITS_MAX = 32; // entries of the ST bits list: 0 to 32
    static constexpr unsigned MT_BITS_MAX = 24; // and of the MT bits list: 0 to 24

    BoxSession(Tavik::Box& box, HistorySink& history, const zef::IniFile& ini);

    const BoxView& View() const { return m_View; }
    Tavik::Box& GetBox() { return m_Box; }
    // The box's settings as a saved run names them, written by `program` ("Tavik 1.3.2").
    RunSettings DescribeRun(const std::string& program) const;
    // The selectable clock frequencies, highest first.
    static const std::vector<unsigned>& Clocks();

    // Start-up: the controls' first values, why the INI file is not used (when it failed to
    // load), the device list, and the configured box.
    void Init();
    // The error that says why `ini` is not used: "" when it loaded or does not exist. Every
    // front end reports it in these words.
    static std::string IniProblem(const zef::IniFile& ini);
    void EnterState(GuiState state);

    // --- Devices ---------------------------------------------------------------------------
    void ScanDevices();
    void SelectDevice(int index) { m_View.selectedDevice = index; }
    // Selects the device named by "UsbDevice" in chapter "Default", ignoring letter case.
    void PreselectConfigured();
    // Connect to the selected device, or disconnect when a box is open.
    void ConnectOrDisconnect();
    void Reset();
    // Reads the box's settings into the view; PWR_OFF also when a read failed.
    Tavik::Box::POWER_MODE ReadSettingsBack();
    void LoadAndApplyDefaults();

    // --- Supply and outputs ----------------------------------------------------------------
    void ChooseSupply(Tavik::Box::POWER_MODE supply) { m_View.supply = supply; }
    void TogglePower();
    // An output radio clicked: that radio is checked and the output switched.
    void ClickOutput(int index, Tavik::Box::OUTPUT_MODE mode);
    // Switches an output on the box (not in GS_DISCONNECTED or GS_BATCH), with its line.
    void SwitchOutput(int index, Tavik::Box::OUTPUT_MODE mode);
    void ShowOutputMode(int index, Tavik::Box::OUTPUT_MODE mode);

    // --- Serial settings -------------------------------------------------------------------
    void ChooseMode(Tavik::SampleParameter::SERIAL_MODE mode);
    void ChooseClock(unsigned hz);
    // A clock chosen elsewhere (the clock sweep's Apply): the view shows it only when the box
    // took it. False, with the error line, when it did not.
    bool ApplyClock(unsigned hz);
    void ChooseStBits(unsigned bits);
    void ChooseMtBits(unsigned bits);
    // Both bit counts chosen at once, committed once.
    void ChooseBitCounts(unsigned stBits, unsigned mtBits);
    void CommitMode();
    void CommitClock();
    void CommitBitCounts();
    // An edit's text committed: parsed, shown again as eight hexadecimal digits, sent when
    // the box holds another value. The data filter is copied into the Gray filter edit.
    void CommitDataFilter(const std::string& text);
    void CommitGrayCodeFilter(const std::string& text);
    void CommitSpiWord(const std::string& text);
    // Menu commands 80 "Enable Data Filter" and 96 "Enable SPI Mode".
    void ExpertCommand(int command);
    void SetHex(bool hex) { m_View.hex = hex; }

    // --- Measurement -----------------------------------------------------------------------
    // One reading (in GS_POWERED and GS_CONTINUOUS), or nothing when it failed or the state
    // takes none. The reading becomes the view's sample.
    std::optional<unsigned> SingleSample();
    // Continuous sampling on or off; the caller runs the timer. When the box is found gone
    // during continuous sampling, the session closes it and ends in GS_DISCONNECTED.
    void StartContinuous() { EnterState(GS_CONTINUOUS); }
    void StopContinuous() { EnterState(GS_POWERED); }
    SampleParts Split(unsigned value) const;
    // A batch-like dialog (`what`: "Batch sampling", "Clock sweep") ended: back to GS_POWERED,
    // or, when the box vanished on the way, closed with one line as continuous sampling does.
    void EndBatch(const char* what, bool boxVanished);

    // Validates a parameter set and writes it, with the warning and error lines; answers the
    // box status (INVALID_PARAMETER when the set was not valid: nothing is then sent).
    int ValidateAndSet(Tavik::SampleParameter& p, const std::string& description);

private:
    struct Register;
    // False, with an error line of `failure` and the status text, when status is not OK.
    bool Check(int status, const std::string& failure);
    // Whether the last failure that Check reported says the box is no longer attached.
    bool LastFailureMeansUnplugged() const;
    void StopBecauseUnplugged(const char* what);
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
};

} // namespace App
