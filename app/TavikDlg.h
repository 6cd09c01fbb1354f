#pragma once

#include "app/DialogBase.h"
#include "app/core/BoxSession.h"
#include "app/core/GuiState.h"
#include "controls/WindowSizer.h"
#include "controls/WndTimer.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/DeviceEvents.h"

#include <QIcon>
#include <QRect>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QSocketNotifier;
class QTimer;

namespace zef
{
class IniFile;
}

namespace App
{
class CBatchSampleDlg;
class CClockSweepDlg;
class CProductionTestDlg;
class CHistoryList;
class CLabel;
class LiveViewDlg;
class VisualizeAngleDlg;
class VisualizeSegmentDlg;

// The main window. It builds its controls, turns each user action into one call on its
// BoxSession and renders the session's view; the box logic and every history text live in
// the session.
class CTavikDlg : public DialogBase
{
    Q_OBJECT

public:
    // `ini` is the settings file to use (the application INI file when null); it must
    // outlive the dialog.
    explicit CTavikDlg(QWidget* parent = nullptr, const zef::IniFile* ini = nullptr);
    ~CTavikDlg() override;

    // --- Handlers, public so that tests can drive the dialog --------------------------------
    void OnScanDevices();
    void OnConnect();
    void OnReset();
    void OnPower();
    void OnSingleSample();
    void OnContinuousSample();
    void OnTimer(); // one tick of the continuous timer
    // "Batch Sample": GS_BATCH while the batch dialog runs modally on the box, then GS_POWERED.
    void OnBatchSample();
    // How OnBatchSample runs the dialog (exec() when empty); tests drive it instead.
    using BatchDialogRunner = std::function<void(CBatchSampleDlg&)>;
    void SetBatchDialogRunner(BatchDialogRunner runner) { m_RunBatchDialog = std::move(runner); }
    // Menu command "Clock Sweep": GS_BATCH while the sweep dialog runs modally on the box, then
    // GS_POWERED. Its Apply chooses the clock as the clock list does.
    void OnClockSweep();
    using SweepDialogRunner = std::function<void(CClockSweepDlg&)>;
    // The clock that times batch runs (their rate and stalls) and the retries of a reopen;
    // tests pass a manual one.
    void SetClock(FTD2xx::Clock& clock)
    {
        m_Clock = &clock;
        m_Session.SetClock(clock);
    }
    // Hot-plug events arrived (udev's descriptor turned readable, or the simulator's poll):
    // the device list is read again, an unplug found, a returning box reopened.
    void OnDeviceEvents();
    // What the window tells of its state beside the device list; empty when hidden.
    QString GetStateText() const;
    void SetSweepDialogRunner(SweepDialogRunner runner) { m_RunSweepDialog = std::move(runner); }
    // Menu command "Production Test": GS_BATCH while the dialog runs modally on the box, then
    // GS_POWERED.
    void OnProductionTest();
    using ProductionDialogRunner = std::function<void(CProductionTestDlg&)>;
    void SetProductionDialogRunner(ProductionDialogRunner runner)
    {
        m_RunProductionDialog = std::move(runner);
    }
    // A menu command (the system menu's commands), compared after clearing its low 4 bits.
    void OnSysCommand(int command);
    void OnOutputClicked(int index, Tavik::Box::OUTPUT_MODE mode);
    // Checks the radio button of output `index` (0 to 2) for `mode`.
    void ShowOutputMode(int index, Tavik::Box::OUTPUT_MODE mode);
    // The mode of the checked radio button of output `index`.
    Tavik::Box::OUTPUT_MODE ReadOutputMode(int index) const;
    void CommitMode();
    void CommitClock();
    void CommitBitCounts();
    void CommitDataFilter();
    void CommitGrayCodeFilter();
    void CommitSpiWord();

    GuiState GetGuiState() const { return m_Session.View().state; }
    void EnterGuiState(GuiState state);
    // Bit 0: the data filter group is shown; bit 1: the SPI group. Indexes the logo's places.
    int GetExpertFlags() const
    {
        return (m_Session.View().dataFilterShown ? 1 : 0) | (m_Session.View().spiShown ? 2 : 0);
    }
    // The widget id of a control that the state table names.
    static int ControlId(Control control);
    QRect GetLogoRect(int index) const { return m_LogoRect[std::size_t(index)]; }
    bool IsContinuousRunning() const { return m_Continuous.IsEnabled(); }
    Tavik::Box& GetBox() { return m_Tavik; }
    BoxSession& GetSession() { return m_Session; }
    CHistoryList& GetHistory() const { return *m_History; }
    QAction* GetMenuAction(int command) const;
    CLabel* GetBitLabel(int bit) const { return m_BitLabels[std::size_t(bit)]; }

    // Shows a reading as ST and MT values and on the bit lamps; only changed texts and
    // bits are repainted.
    void ShowSample(unsigned value);

    void AddHistory(const std::string& text);
    void AddErrorLine(const std::string& text);

    // --- Results store ------------------------------------------------------------------------
    // Sends the spool's waiting records to the results store (Store in Tavik.ini, else
    // records.sqlite in the data folder) in the background; the window shows how many wait.
    // Runs on the first show, so that a station catches up at each start.
    void ForwardRecords();
    // The per-user data folder with the spool; tests give a scratch one before the first show.
    void SetDataFolder(std::string folder) { m_DataFolder = std::move(folder); }
    const std::string& GetDataFolder() const { return m_DataFolder; }
    // Waits for the pass in the background and shows its answer (tests).
    void WaitForForwarding();
    QLabel* GetWaitingLabel() const { return m_Waiting; }

    // --- Visualisation windows ---------------------------------------------------------------
    // Menu command 32 or 64: creates that window once (with its callback and the current
    // output modes) and shows it.
    void OnVisualize(int command);
    VisualizeAngleDlg* GetAngleDlg() const { return m_AngleDlg.get(); }
    VisualizeSegmentDlg* GetSegmentDlg() const { return m_SegmentDlg.get(); }

    // --- Live view ---------------------------------------------------------------------------
    // Menu command "Live View": stops continuous sampling (with a history line), opens the
    // window and starts its stream. While it streams the main window is in GS_BATCH, and any
    // action of the main window stops it first, with a history line: the two never share the
    // box.
    void OnLiveView();
    LiveViewDlg* GetLiveViewDlg() const { return m_LiveView.get(); }

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct BatchScope;
    void BuildControls();
    void BuildMenu();
    void InitLogoRects();
    void InitControls();
    // Runs one user action on the session, then shows what changed.
    template <class F> void Act(F&& action);
    void Render();
    void RenderDevices();
    void RenderLists();
    void RenderExpertFlags();
    void AboutBox();
    // Watches the device sources that have hot-plug events, on the event loop; says once
    // when a source cannot be watched.
    void WatchDevices();

    // Members in the order of their meaning; see the class comment.
    std::array<QRect, 4> m_LogoRect{};
    Tavik::Box m_Tavik;
    const zef::IniFile* m_Ini;
    CHistoryList* m_History = nullptr;
    BoxSession m_Session;
    GuiState m_RenderedState = GS_INIT;
    int m_RenderedFlags = -1;
    zef::Glimra::WndTimer m_Continuous;
    QIcon m_Icon;

    QComboBox* m_Devices = nullptr;
    QComboBox* m_Modes = nullptr;
    QComboBox* m_Clocks = nullptr;
    QComboBox* m_StBits = nullptr;
    QComboBox* m_MtBits = nullptr;
    QLineEdit* m_DataFilter = nullptr;
    QLineEdit* m_GrayCodeFilter = nullptr;
    QLineEdit* m_SpiCommand = nullptr;
    CLabel* m_MtValue = nullptr;
    CLabel* m_StValue = nullptr;
    std::array<CLabel*, 32> m_BitLabels{};
    unsigned m_LastSample = 0xFFFFFFFF;
    std::string m_LastMtText;
    std::string m_LastStText;

    QMenuBar* m_MenuBar = nullptr;
    std::map<int, QAction*> m_Actions;
    QLabel* m_Logo = nullptr;
    QWidget* m_HistoryGroup = nullptr;
    // The window grows beyond its template; the history list takes the extra room.
    zef::Glimra::WindowSizer m_Sizer;

    // Every shown sample goes to each visualisation window that exists, visible or not.
    // They are child windows of this one, deleted here before ~QWidget would delete them (a
    // deleted child leaves its parent's list, so there is no second delete).
    void FeedVisualisations(const SampleParts& parts);
    std::unique_ptr<VisualizeAngleDlg> m_AngleDlg;
    std::unique_ptr<VisualizeSegmentDlg> m_SegmentDlg;
    // Stops the live view's stream, if it runs, saying why; back to GS_POWERED.
    void StopLiveView(const char* why);
    void LiveViewStopped();
    std::unique_ptr<LiveViewDlg> m_LiveView;
    FTD2xx::Clock* m_Clock = &FTD2xx::Clock::System();
    QLabel* m_StateText = nullptr;
    std::vector<std::unique_ptr<FTD2xx::DeviceEvents>> m_DeviceEvents;
    std::vector<QSocketNotifier*> m_DeviceNotifiers; // children of the window
    QTimer* m_DevicePoll = nullptr;                  // for sources without a descriptor
    BatchDialogRunner m_RunBatchDialog;
    SweepDialogRunner m_RunSweepDialog;

    void ShowWaiting(std::size_t waiting);
    std::string m_DataFolder;
    QLabel* m_Waiting = nullptr;
    bool m_Forwarded = false; // the pass at start has begun
    std::atomic<bool> m_ForwardBusy = false;
    std::thread m_Forwarding;
    ProductionDialogRunner m_RunProductionDialog;
};

} // namespace App
