#pragma once

#include "app/DialogBase.h"
#include "app/core/TestPlan.h"
#include "app/core/TestRunner.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;

namespace Tavik
{
class Box;
}

namespace App
{
class HistorySink;

// The modal "Production Test" dialog, an operator's screen: a plan, then one unit after the
// other by its serial number, which a barcode scanner types and ends with Enter. Renders a
// TestRunner; each record goes to the spool folder as soon as its run ends. The outcome stays
// large on screen until the next unit starts.
class CProductionTestDlg : public DialogBase
{
    Q_OBJECT

public:
    static constexpr int kTimerPeriodMs = 200;

    // What the window gives the dialog, and what it keeps for the next time.
    struct Setup
    {
        std::string station;     // the default: /etc/machine-id's content
        std::string spoolFolder; // where records go
        std::string planFile;    // the plan used last; loaded when it still reads
        std::string operatorName;
        std::string programVersion;
        // Called with the plan and operator whenever they change.
        std::function<void(const std::string& planFile, const std::string& operatorName)> remember;
        // Shows a written report (the desktop's browser; tests record the path instead).
        std::function<void(const std::string& htmlPath)> showReport;
    };

    // Borrows `box`, `history` and `clock` while it lives.
    CProductionTestDlg(Tavik::Box& box, HistorySink& history, const FTD2xx::Clock& clock,
                       Setup setup, QWidget* parent = nullptr);
    ~CProductionTestDlg() override;

    // --- Handlers, public so that tests can drive the dialog --------------------------------
    void OnChoosePlan();
    void OnStart();
    void OnStop();
    void OnTimer();
    void OnOpenReport();
    // Loads a plan; on a fault the dialog says why and keeps the plan it had.
    bool LoadPlan(const std::string& path);

    TestRunner& GetRunner() { return m_Runner; }
    bool IsTimerRunning() const { return m_Timer.isActive(); }
    // The last record's file; empty before the first.
    const std::string& LastRecordFile() const { return m_RecordFile; }

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void Finished();
    void Render();

    TestRunner m_Runner;
    Setup m_Setup;
    TestPlan m_Plan;
    bool m_HasPlan = false;
    bool m_ShowsOutcome = false; // the last run's outcome is on screen
    std::string m_Message;       // why nothing started, or where the record went
    bool m_MessageIsError = false;
    std::string m_RecordFile;
    QTimer m_Timer;
    QLineEdit* m_PlanFile = nullptr;
    QLabel* m_PlanName = nullptr;
    QLineEdit* m_Operator = nullptr;
    QLineEdit* m_Part = nullptr;
    QLineEdit* m_Serial = nullptr;
    QLabel* m_Outcome = nullptr;
    QLabel* m_Status = nullptr;
    QProgressBar* m_Progress = nullptr;
    QListWidget* m_Failed = nullptr;
};

} // namespace App
