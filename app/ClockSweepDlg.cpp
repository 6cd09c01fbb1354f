#include "app/ClockSweepDlg.h"

#include "app/Resource.h"
#include "app/SweepPlot.h"
#include "app/core/Formats.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace App
{

CClockSweepDlg::CClockSweepDlg(Tavik::Box& box, HistorySink& history, unsigned stBits,
                               unsigned mtBits, Apply apply, QWidget* parent)
    : DialogBase(parent), m_Sweep(box, history, stBits, mtBits, false), m_Apply(std::move(apply))
{
    setWindowTitle(QStringLiteral("Clock Sweep"));
    setModal(true);
    BuildControls();
    setFixedSize(DialogUnitsToPixels(0, 0, 300, 236).size());
    m_Timer.setInterval(kTimerPeriodMs);
    connect(&m_Timer, &QTimer::timeout, this, [this] { Guard([this] { OnTimer(); }); });
    Render();
}

CClockSweepDlg::~CClockSweepDlg()
{
    // The box's own clock back, however the dialog goes.
    m_Sweep.Stop();
}

void CClockSweepDlg::BuildControls()
{
    const ClockSweep::Settings defaults;
    const auto caption = [this](const char* text, int x, int y, int w)
    { return Place(new QLabel(QString::fromLatin1(text), this), 0, x, y, w, 8); };
    const auto edit = [this](int id, unsigned value, int x, int y, int w)
    {
        auto* line = Place(new QLineEdit(QString::number(value), this), id, x, y, w, 12);
        line->setMaxLength(8);
        return line;
    };
    const auto button = [this](const char* text, int id, int x, int y, int w)
    { return Place(new QPushButton(QString::fromLatin1(text), this), id, x, y, w, 14); };

    caption("From", 7, 9, 24);
    m_From = edit(IDC_ED_SWEEP_FROM, defaults.fromHz, 32, 7, 44);
    caption("Hz", 79, 9, 12);
    caption("To", 95, 9, 14);
    m_To = edit(IDC_ED_SWEEP_TO, defaults.toHz, 110, 7, 44);
    caption("Hz", 157, 9, 12);
    caption("Count", 7, 25, 24);
    m_Count = edit(IDC_ED_SWEEP_COUNT, defaults.count, 32, 23, 44);
    caption("Delay", 95, 25, 22);
    m_Delay = edit(IDC_ED_SWEEP_DELAY, defaults.delayUs, 118, 23, 36);
    caption("\xB5s (0: minimum)", 157, 25, 70);
    button("Start", IDC_BT_SWEEP_START, 236, 6, 57);
    button("Stop", IDC_BT_SWEEP_STOP, 236, 22, 57);
    m_Progress = Place(new QProgressBar(this), IDC_PR_SWEEP, 7, 41, 286, 10);
    m_Progress->setTextVisible(false);
    m_Plot = Place(new SweepPlot(this), IDC_ST_SWEEP_PLOT, 7, 56, 286, 130);
    caption("Error rate against clock", 7, 188, 150);
    m_Result = Place(new QLabel(this), IDC_ST_SWEEP_RESULT, 7, 198, 286, 18);
    m_Result->setWordWrap(true);
    button("Apply", IDC_BT_SWEEP_APPLY, 172, 218, 57);
    button("Close", IDC_BT_SWEEP_CLOSE, 236, 218, 57);

    for (QLineEdit* edit : {m_From, m_To, m_Count, m_Delay})
        connect(edit, &QLineEdit::textEdited, this, [this] { Guard([this] { Validate(); }); });
    OnClicked(IDC_BT_SWEEP_START, [this] { OnStart(); });
    OnClicked(IDC_BT_SWEEP_STOP, [this] { OnStop(); });
    OnClicked(IDC_BT_SWEEP_APPLY, [this] { OnApply(); });
    OnClicked(IDC_BT_SWEEP_CLOSE, [this] { reject(); });
}

ClockSweep::TextCheck CClockSweepDlg::Validate()
{
    const ClockSweep::TextCheck check =
        ClockSweep::CheckTexts({FromQ(m_From->text()), FromQ(m_To->text()), FromQ(m_Count->text()),
                                FromQ(m_Delay->text())});
    const std::array<QLineEdit*, 4> edits = {m_From, m_To, m_Count, m_Delay};
    for (std::size_t e = 0; e < edits.size(); ++e)
    {
        QPalette palette = this->palette();
        if (!check.valid[e])
            palette.setColor(QPalette::Base, QColor(255, 160, 160));
        edits[e]->setPalette(palette);
    }
    m_Invalid = check.reason;
    Render();
    return check;
}

void CClockSweepDlg::OnStart()
{
    const ClockSweep::TextCheck check = Validate();
    if (!check.reason.empty())
        return;
    m_Applied.clear();
    if (m_Sweep.Start(check.settings))
        m_Timer.start();
    Render();
}

void CClockSweepDlg::OnStop()
{
    m_Sweep.Stop();
    Render();
}

void CClockSweepDlg::OnTimer()
{
    // Between two clocks the next batch starts at once; a poll that collects waits for the
    // next tick.
    for (int step = 0; step < 8 && m_Sweep.GetState() == ClockSweep::SWEEP_RUNNING; ++step)
    {
        m_Sweep.Poll();
        if (m_Sweep.IsStreaming())
            break;
    }
    Render();
}

void CClockSweepDlg::OnApply()
{
    const ClockSweep::Recommendation r = m_Sweep.GetView().recommendation;
    if (m_Sweep.GetState() != ClockSweep::SWEEP_DONE || r.clock == 0 || !m_Apply)
        return;
    m_Applied = m_Apply(r.clock) ? QStringLiteral("Applied: %1.").arg(ToQ(FormatFrequency(r.clock)))
                                 : QStringLiteral("The box did not take %1; see the history.")
                                       .arg(ToQ(FormatFrequency(r.clock)));
    Render();
}

void CClockSweepDlg::reject()
{
    m_Sweep.Stop();
    m_Timer.stop();
    DialogBase::reject();
}

void CClockSweepDlg::Render()
{
    const ClockSweep::View view = m_Sweep.GetView();
    const bool running = view.state == ClockSweep::SWEEP_RUNNING;
    if (!running)
        m_Timer.stop();
    for (QLineEdit* edit : {m_From, m_To, m_Count, m_Delay})
        edit->setEnabled(!running);
    GetDlgItem(IDC_BT_SWEEP_START)->setEnabled(!running && m_Invalid.empty());
    GetDlgItem(IDC_BT_SWEEP_STOP)->setEnabled(running);
    GetDlgItem(IDC_BT_SWEEP_APPLY)
        ->setEnabled(view.state == ClockSweep::SWEEP_DONE && view.recommendation.clock != 0);
    const int total = int(view.points.size());
    m_Progress->setRange(0, std::max(total, 1) * 1000);
    const double part =
        view.readingsMax ? double(view.readingsPos) / double(view.readingsMax) : 0.0;
    m_Progress->setValue(int((double(view.done) + part) * 1000));
    // A bad edit, then the box's last failure, stand in red above everything else.
    QString text;
    bool error = true;
    if (!m_Invalid.empty() && !running)
        text = ToQ(m_Invalid);
    else if (!view.lastError.empty() && !running)
        text = ToQ(view.lastError).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char(' ') +
               ToQ(view.recommendation.text);
    else
    {
        error = false;
        if (running)
            text = QStringLiteral("Sweeping: %1 of %2 clocks checked.").arg(view.done).arg(total);
        else
            text = ToQ(view.recommendation.text);
        if (!m_Applied.isEmpty())
            text += QLatin1Char(' ') + m_Applied;
    }
    QPalette palette = this->palette();
    if (error)
        palette.setColor(QPalette::WindowText, Qt::darkRed);
    m_Result->setPalette(palette);
    m_Result->setText(text);
    static_cast<SweepPlot*>(m_Plot)->SetView(view);
}

} // namespace App
