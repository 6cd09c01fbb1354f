#include "app/ClockSweepDlg.h"

#include "app/Resource.h"
#include "app/core/BatchRun.h"
#include "app/core/Formats.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace App
{

namespace
{
// The rate axis: 10^-5 at the bottom, 1 at the top; no errors lie on the bottom line.
constexpr double kRateDecades = 5;

double RateY(double rate, double height)
{
    if (rate <= 0)
        return height;
    const double decades = std::clamp(-std::log10(rate), 0.0, kRateDecades);
    return height * decades / kRateDecades;
}

// The clock axis is logarithmic too: the selectable clocks crowd at the low end.
double ClockX(unsigned hz, unsigned fromHz, unsigned toHz, double width)
{
    if (toHz <= fromHz || fromHz == 0)
        return width / 2;
    return width * std::log(double(hz) / fromHz) / std::log(double(toHz) / fromHz);
}

// Error rate against clock: green points clean, red ones with errors, the recommended
// clock as a blue line.
class SweepPlot : public QWidget
{
public:
    explicit SweepPlot(QWidget* parent) : QWidget(parent) {}
    void SetView(ClockSweep::View view)
    {
        m_View = std::move(view);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        const int left = fontMetrics().horizontalAdvance(QStringLiteral("1e-5")) + 6;
        const int bottom = fontMetrics().height() + 4;
        const QRectF area(left, 6, width() - left - 10, height() - bottom - 12);
        p.setPen(QColor(220, 220, 220));
        for (int d = 0; d <= int(kRateDecades); ++d)
        {
            const double y = area.top() + area.height() * d / kRateDecades;
            p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            p.setPen(Qt::black);
            p.drawText(QRectF(0, y - 8, left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                       d == 0 ? QStringLiteral("1") : QStringLiteral("1e-%1").arg(d));
            p.setPen(QColor(220, 220, 220));
        }
        p.setPen(Qt::black);
        p.drawRect(area);
        const auto& points = m_View.points;
        if (points.empty())
            return;
        const unsigned from = points.front().hz;
        const unsigned to = points.back().hz;
        const auto at = [&](const ClockSweep::Point& point)
        {
            return QPointF(area.left() + ClockX(point.hz, from, to, area.width()),
                           area.top() + RateY(point.Rate(), area.height()));
        };
        p.drawText(QRectF(area.left(), area.bottom() + 2, area.width() / 2, bottom), Qt::AlignLeft,
                   ToQ(FormatFrequency(from)));
        p.drawText(QRectF(area.center().x(), area.bottom() + 2, area.width() / 2, bottom),
                   Qt::AlignRight, ToQ(FormatFrequency(to)));
        if (const unsigned hz = m_View.recommendation.clock; hz >= from && hz <= to)
        {
            const double x = area.left() + ClockX(hz, from, to, area.width());
            p.setPen(QPen(QColor(0, 0, 200), 1, Qt::DashLine));
            p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(120, 120, 120));
        const ClockSweep::Point* previous = nullptr;
        for (const ClockSweep::Point& point : points)
        {
            if (!point.done)
                break;
            if (previous)
                p.drawLine(at(*previous), at(point));
            previous = &point;
        }
        p.setPen(Qt::NoPen);
        for (const ClockSweep::Point& point : points)
        {
            if (!point.done)
                break;
            p.setBrush(point.errors ? QColor(210, 0, 0) : QColor(0, 160, 0));
            p.drawEllipse(at(point), 3, 3);
        }
    }

private:
    ClockSweep::View m_View;
};

unsigned Number(const QLineEdit* edit)
{
    return BatchRun::ParseNumber(FromQ(edit->text()));
}
} // namespace

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
    caption("us (0: minimum)", 157, 25, 70);
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

    OnClicked(IDC_BT_SWEEP_START, [this] { OnStart(); });
    OnClicked(IDC_BT_SWEEP_STOP, [this] { OnStop(); });
    OnClicked(IDC_BT_SWEEP_APPLY, [this] { OnApply(); });
    OnClicked(IDC_BT_SWEEP_CLOSE, [this] { reject(); });
}

void CClockSweepDlg::OnStart()
{
    ClockSweep::Settings settings;
    settings.fromHz = Number(m_From);
    settings.toHz = Number(m_To);
    settings.count = Number(m_Count);
    settings.delayUs = Number(m_Delay);
    if (m_Sweep.Start(settings))
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
    if (m_Sweep.GetState() == ClockSweep::SWEEP_RUNNING || r.clock == 0 || !m_Apply)
        return;
    m_Apply(r.clock);
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
    GetDlgItem(IDC_BT_SWEEP_START)->setEnabled(!running);
    GetDlgItem(IDC_BT_SWEEP_STOP)->setEnabled(running);
    GetDlgItem(IDC_BT_SWEEP_APPLY)
        ->setEnabled(!running && view.state != ClockSweep::SWEEP_IDLE &&
                     view.recommendation.clock != 0);
    const int total = int(view.points.size());
    m_Progress->setRange(0, std::max(total, 1) * 1000);
    const double part =
        view.readingsMax ? double(view.readingsPos) / double(view.readingsMax) : 0.0;
    m_Progress->setValue(int((double(view.done) + part) * 1000));
    QString text;
    if (running)
        text = QStringLiteral("Sweeping: %1 of %2 clocks checked.").arg(view.done).arg(total);
    else if (view.state == ClockSweep::SWEEP_STOPPED)
        text = QStringLiteral("Stopped. ");
    else if (view.state == ClockSweep::SWEEP_FAILED)
        text = QStringLiteral("The box failed; see the history. ");
    if (!running)
        text += ToQ(view.recommendation.text);
    m_Result->setText(text);
    static_cast<SweepPlot*>(m_Plot)->SetView(view);
}

} // namespace App
