#pragma once

#include "app/BatchForm.h"
#include "app/DialogBase.h"
#include "app/core/BatchRun.h"

#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QFileDialog;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace Tavik
{
class Box;
}

namespace App
{
class CAnalysisDlg;
class CHistoryList;
class CLabel;

// The modal "Batch Sample" dialog: renders a BatchRun and forwards the user's actions to it.
// Its own history list is the run's sink; its 300 ms timer calls BatchRun::Poll.
class CBatchSampleDlg : public DialogBase
{
    Q_OBJECT

public:
    static constexpr int kTimerPeriodMs = 300;
    // Saves of at least this many readings show a progress dialog.
    static constexpr std::size_t kProgressReadings = 100000;

    // Borrows `box` (and `clock`, which times the run) while it lives. Reads the box's
    // parameter set at once.
    CBatchSampleDlg(Tavik::Box& box, unsigned stBits, unsigned mtBits, bool gray,
                    QWidget* parent = nullptr,
                    const FTD2xx::Clock& clock = FTD2xx::Clock::System());
    ~CBatchSampleDlg() override;
    // What a saved CSV or HDF5 file names as its box and program.
    void SetRunSettings(const RunSettings& settings) { m_Run.SetSettings(settings); }

    // --- Handlers, public so that tests can drive the dialog --------------------------------
    void OnStart();
    // "Stop": ends a streaming run and keeps what arrived.
    void OnStop();
    void OnTimer(); // one collection tick
    void OnCheckAgain();
    // False when nothing was written (cancelled or failed).
    bool OnSaveBuffer();
    void OnLoadDummyData();
    void OnValidateEdits();
    // "Analysis": opens the view of the last check over the batch dialog.
    void OnAnalysis();
    // "Exit", Escape and the close box: a streaming run is stopped on the box; readings not
    // saved yet are offered for saving first (Cancel keeps the dialog open).
    void OnExit();

    // Asks for the file to save to; an empty name cancels. Tests replace it.
    using FileChooser = std::function<QString(QWidget* parent)>;
    void SetFileChooser(FileChooser chooser) { m_ChooseFile = std::move(chooser); }
    // Shows a file error; tests replace it.
    using ErrorBox = std::function<void(QWidget* parent, const QString& text)>;
    void SetErrorBox(ErrorBox box) { m_ShowError = std::move(box); }
    // Asks "Save the N readings?"; tests replace it.
    enum class Unsaved
    {
        Save,
        Discard,
        Cancel,
    };
    using UnsavedQuestion = std::function<Unsaved(QWidget* parent, std::size_t readings)>;
    void SetUnsavedQuestion(UnsavedQuestion ask) { m_AskUnsaved = std::move(ask); }
    // The save dialog as the default chooser shows it.
    static void ConfigureSaveDialog(QFileDialog& dialog);

    BatchRun& GetRun() { return m_Run; }
    const BatchForm& GetForm() const { return m_Form; }
    CHistoryList& GetHistory() const { return *m_History; }
    // The open analysis view, or nullptr.
    CAnalysisDlg* GetAnalysisDlg() const;
    bool IsTimerRunning() const { return m_Timer.isActive(); }
    CLabel* GetResultLabel(BatchRun::ResultField field) const
    {
        return m_Results[std::size_t(field)];
    }

protected:
    void reject() override;

private:
    void BuildControls();
    void ResetControls();
    // Tells the form what the monotony radio groups show.
    void SyncMonotony();
    // Validates the changed edits, with the run's warning on a short delay.
    bool ValidateEdits();
    void Render();
    void SetWaitCursor(bool on);

    CHistoryList* m_History = nullptr; // before m_Run: the run writes to it
    BatchRun m_Run;
    BatchForm m_Form;
    QTimer m_Timer;
    bool m_WaitCursor = false;
    std::array<QLineEdit*, kBatchValues> m_Edits{};
    std::array<CLabel*, BatchRun::kResultFields> m_Results{};
    QProgressBar* m_Progress = nullptr;
    QLabel* m_ProgressText = nullptr;
    QLabel* m_Verdict = nullptr;
    FileChooser m_ChooseFile;
    ErrorBox m_ShowError;
    UnsavedQuestion m_AskUnsaved;
    std::unique_ptr<CAnalysisDlg> m_Analysis;
};

} // namespace App
