#pragma once

#include "app/DialogBase.h"
#include "app/core/GuiState.h"
#include "driver/Box.h"
#include "driver/SampleParameter.h"

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <string>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;

namespace zef
{
class IniFile;
}

namespace App
{
class CBatchSampleDlg;
class CHistoryList;
class CLabel;
struct DefaultParameter;

// The main window: connects one box, sets it up, and shows its readings.
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
    struct RegisterAccess
    {
        int (Tavik::Box::*get)(unsigned int&) const;
        int (Tavik::Box::*set)(unsigned int);
        const char* readError;
        const char* setError;
        const char* doneFormat;
    };
    bool ReadSampleParameter(Tavik::SampleParameter& p);
    void CommitRegister(unsigned value, const RegisterAccess& access);

    GuiState GetGuiState() const { return m_GuiState; }
    void EnterGuiState(GuiState state);
    int GetExpertFlags() const { return m_ExpertFlags; }
    QRect GetLogoRect(int index) const { return m_LogoRect[std::size_t(index)]; }
    bool IsContinuousRunning() const { return m_ContinuousTimer != 0; }
    Tavik::Box& GetBox() { return m_Tavik; }
    CHistoryList& GetHistory() const { return *m_History; }
    QAction* GetMenuAction(int command) const;
    CLabel* GetBitLabel(int bit) const { return m_BitLabels[std::size_t(bit)]; }

    // Shows a reading as ST and MT values and on the bit lamps; only changed texts and
    // bits are repainted.
    void ShowSample(unsigned value);

    void AddHistory(const std::string& text);
    void AddErrorLine(const std::string& text);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void InitLogoRects();
    void InitControls();
    void FillLists();

    Tavik::Box::POWER_MODE ReadSettingsBack();
    void LoadAndApplyDefaults();
    void ApplyDefaults(const DefaultParameter& record);
    void ApplyExpertFlags(bool commitMode = true);
    bool SelectMode(Tavik::SampleParameter::SERIAL_MODE mode, bool commitMode = true);
    static bool SelectData(QComboBox* list, unsigned value);
    int ValidateAndSet(Tavik::SampleParameter& p, const std::string& description);
    void SwitchOutput(int index, Tavik::Box::OUTPUT_MODE mode);
    Tavik::Box::POWER_MODE ReadPowerRadio() const;
    void CheckPowerRadio(Tavik::Box::POWER_MODE mode);
    unsigned SelectedData(QComboBox* list) const;
    std::string Status(int status) const;
    void StopContinuousTimer();
    void AboutBox();
    void ExpertSettings(int command);

    // Members in the order of their meaning; see the class comment.
    int m_ExpertFlags = 0;
    std::array<QRect, 4> m_LogoRect{};
    int m_ContinuousTimer = 0;
    GuiState m_GuiState = GS_INIT;
    Tavik::Box m_Tavik;
    QIcon m_Icon;
    const zef::IniFile* m_Ini;

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
    CHistoryList* m_History = nullptr;
    std::array<CLabel*, 32> m_BitLabels{};
    unsigned m_LastSample = 0xFFFFFFFF;
    QString m_LastMtText;
    QString m_LastStText;

    QMenuBar* m_MenuBar = nullptr;
    std::map<int, QAction*> m_Actions;
    QLabel* m_Logo = nullptr;
    BatchDialogRunner m_RunBatchDialog;
};

} // namespace App
