#pragma once

#include "app/DialogBase.h"
#include "app/core/ClockSweep.h"

#include <QTimer>

#include <QString>

#include <functional>
#include <string>

class QLineEdit;
class QLabel;
class QProgressBar;

namespace Tavik
{
class Box;
}

namespace App
{
class HistorySink;

// The modal "Clock Sweep" dialog: renders a ClockSweep, with a plot of the error rate against
// the clock. Its history goes to the main window's list, where the sweep's record stays beside
// the line of the clock applied from it.
class CClockSweepDlg : public DialogBase
{
    Q_OBJECT

public:
    static constexpr int kTimerPeriodMs = 200;

    // Sets the chosen clock on the box, with its history line; false when the box refused.
    using Apply = std::function<bool(unsigned hz)>;
    // Borrows `box` and `history` while it lives.
    CClockSweepDlg(Tavik::Box& box, HistorySink& history, unsigned stBits, unsigned mtBits,
                   Apply apply, QWidget* parent = nullptr);
    ~CClockSweepDlg() override;

    // --- Handlers, public so that tests can drive the dialog --------------------------------
    void OnStart();
    void OnStop();
    void OnTimer();
    void OnApply();
    // Reads the edits strictly, marks the bad ones red and says why in the dialog.
    ClockSweep::TextCheck Validate();

    ClockSweep& GetSweep() { return m_Sweep; }
    bool IsTimerRunning() const { return m_Timer.isActive(); }

protected:
    void reject() override;

private:
    void BuildControls();
    void Render();

    ClockSweep m_Sweep;
    Apply m_Apply;
    QTimer m_Timer;
    QLineEdit* m_From = nullptr;
    QLineEdit* m_To = nullptr;
    QLineEdit* m_Count = nullptr;
    QLineEdit* m_Delay = nullptr;
    QProgressBar* m_Progress = nullptr;
    QWidget* m_Plot = nullptr;
    QLabel* m_Result = nullptr;
    std::string m_Invalid; // why the edits cannot be swept; empty when they can
    QString m_Applied;     // the outcome of Apply
};

} // namespace App
