#include "app/LiveViewDlg.h"

#include "app/Artwork.h"
#include "app/LiveChart.h"
#include "app/core/Formats.h"
#include "controls/StaticHistogramCtrl.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace App
{

namespace
{
QString Count(long long n)
{
    return QString::fromStdString(zef::Glimra::GroupDigits(n));
}

QString Steps(long long n)
{
    return Count(n) + (n == 1 ? QStringLiteral(" step") : QStringLiteral(" steps"));
}

// "1,898.4″"
QString ArcSeconds(double arcSeconds)
{
    const long long whole = std::llround(std::floor(arcSeconds));
    const int tenth = int(std::lround((arcSeconds - double(whole)) * 10)) % 10;
    return Count(whole) + QStringLiteral(".%1″").arg(tenth);
}
} // namespace

LiveViewDlg::LiveViewDlg(Tavik::Box& box, HistorySink& sink, const FTD2xx::Clock& clock,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_View(box, sink, clock)
{
    setWindowTitle(QStringLiteral("Live View"));
    setWindowIcon(MakeProgramIcon());
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Position:"), this));
    m_PartList = new QComboBox(this);
    m_PartList->addItem(QStringLiteral("Whole reading"), LiveView::PART_WHOLE);
    m_PartList->addItem(QStringLiteral("ST"), LiveView::PART_ST);
    m_PartList->addItem(QStringLiteral("MT"), LiveView::PART_MT);
    m_PartList->setAccessibleName(QStringLiteral("Position"));
    top->addWidget(m_PartList);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Delay:"), this));
    m_Delay = new QSpinBox(this);
    m_Delay->setRange(int(LiveView::kMinDelayUs) - 1, int(LiveView::kMaxDelayUs));
    m_Delay->setSpecialValueText(QStringLiteral("smallest"));
    m_Delay->setSuffix(QStringLiteral(" µs"));
    m_Delay->setAccessibleName(QStringLiteral("Delay"));
    top->addWidget(m_Delay);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Repaints/s:"), this));
    m_Repaints = new QSpinBox(this);
    m_Repaints->setRange(kMinRepaints, kMaxRepaints);
    m_Repaints->setValue(30);
    m_Repaints->setAccessibleName(QStringLiteral("Repaints per second"));
    top->addWidget(m_Repaints);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Keep:"), this));
    m_Seconds = new QSpinBox(this);
    m_Seconds->setRange(1, 86400);
    m_Seconds->setValue(60);
    m_Seconds->setSuffix(QStringLiteral(" s"));
    m_Seconds->setAccessibleName(QStringLiteral("Seconds kept"));
    top->addWidget(m_Seconds);
    m_Memory = new QLabel(this);
    top->addWidget(m_Memory);
    top->addStretch(1);
    m_Pause = new QPushButton(QStringLiteral("Pause"), this);
    m_Clear = new QPushButton(QStringLiteral("Clear"), this);
    top->addWidget(m_Pause);
    top->addWidget(m_Clear);
    layout->addLayout(top);

    m_Status = new QLabel(this);
    layout->addWidget(m_Status);
    m_Chart = new LiveChart(m_View, this);
    m_Chart->setAccessibleName(QStringLiteral("Strip chart"));
    layout->addWidget(m_Chart, 3);
    m_Scroll = new QScrollBar(Qt::Horizontal, this);
    m_Scroll->setAccessibleName(QStringLiteral("Scroll back"));
    m_Scroll->setEnabled(false);
    layout->addWidget(m_Scroll);
    m_Speed = new LiveSpeedPlot(m_View, *m_Chart, this);
    layout->addWidget(m_Speed, 2);

    auto* jitter = new QGroupBox(QStringLiteral("Jitter"), this);
    auto* jl = new QHBoxLayout(jitter);
    auto* histogramColumn = new QVBoxLayout;
    m_Histogram = new zef::Glimra::StaticHistogramCtrl(jitter);
    m_Histogram->setMinimumSize(61 * 3 + 60, 110);
    m_Histogram->SetTextWidth(50);
    histogramColumn->addWidget(m_Histogram);
    m_HistogramAxis = new QLabel(jitter);
    histogramColumn->addWidget(m_HistogramAxis);
    jl->addLayout(histogramColumn);
    auto* right = new QVBoxLayout;
    auto* settings = new QHBoxLayout;
    settings->addWidget(new QLabel(QStringLiteral("Last"), jitter));
    m_JitterCount = new QSpinBox(jitter);
    m_JitterCount->setRange(2, 1000000);
    m_JitterCount->setValue(int(m_View.GetJitterReadings()));
    m_JitterCount->setGroupSeparatorShown(true);
    m_JitterCount->setAccessibleName(QStringLiteral("Readings of the jitter"));
    settings->addWidget(m_JitterCount);
    settings->addWidget(new QLabel(QStringLiteral("readings.   Limit: jump ≤"), jitter));
    m_Limit = new QSpinBox(jitter);
    m_Limit->setRange(0, 1000000);
    m_Limit->setValue(int(m_View.GetJumpLimit()));
    m_Limit->setAccessibleName(QStringLiteral("Jump limit"));
    settings->addWidget(m_Limit);
    settings->addWidget(new QLabel(QStringLiteral("steps"), jitter));
    settings->addStretch(1);
    m_ResetDrag = new QPushButton(QStringLiteral("Reset min/max"), jitter);
    settings->addWidget(m_ResetDrag);
    right->addLayout(settings);
    m_Figures = new QLabel(jitter);
    m_Figures->setTextFormat(Qt::PlainText);
    m_Figures->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    right->addWidget(m_Figures, 1);
    jl->addLayout(right, 1);
    layout->addWidget(jitter);

    connect(m_Pause, &QPushButton::clicked, this, [this] { OnPause(); });
    connect(m_Clear, &QPushButton::clicked, this, [this] { OnClear(); });
    connect(m_ResetDrag, &QPushButton::clicked, this,
            [this]
            {
                m_View.ResetDrag();
                Render();
            });
    connect(m_PartList, &QComboBox::currentIndexChanged, this,
            [this]
            {
                m_View.SetPart(LiveView::Part(m_PartList->currentData().toInt()));
                Render();
            });
    connect(m_Repaints, &QSpinBox::valueChanged, this,
            [this](int n) { m_Timer.setInterval(1000 / n); });
    connect(m_Seconds, &QSpinBox::editingFinished, this, [this] { OnStreamSettings(); });
    connect(m_Delay, &QSpinBox::editingFinished, this, [this] { OnStreamSettings(); });
    connect(m_Limit, &QSpinBox::valueChanged, this,
            [this](int k)
            {
                m_View.SetJumpLimit(unsigned(k));
                Render();
            });
    connect(m_JitterCount, &QSpinBox::valueChanged, this,
            [this](int n)
            {
                m_View.SetJitterReadings(std::size_t(n));
                Render();
            });
    connect(m_Chart, &LiveChart::RangeChanged, this, [this] { RenderScrollBar(); });
    connect(m_Scroll, &QScrollBar::valueChanged, this,
            [this](int value)
            {
                if (m_Scrolling || !m_View.Ring())
                    return;
                const double span = m_Chart->Range().Span();
                const double first = double(m_View.Ring()->First()) + value;
                m_Chart->SetRange({first, first + span});
                m_Speed->update();
            });
    m_Timer.setInterval(1000 / m_Repaints->value());
    connect(&m_Timer, &QTimer::timeout, this, [this] { Tick(); });
    resize(1000, 760);
}

LiveViewDlg::~LiveViewDlg()
{
    m_Timer.stop();
}

bool LiveViewDlg::Start(unsigned stBits, unsigned mtBits)
{
    m_Settings.stBits = stBits;
    m_Settings.mtBits = mtBits;
    m_Settings.seconds = m_Seconds->value();
    m_Settings.delayUs =
        m_Delay->value() < int(LiveView::kMinDelayUs) ? 0 : unsigned(m_Delay->value());
    m_View.SetPaused(false);
    m_Chart->SetFollowing(true);
    m_Pause->setText(QStringLiteral("Pause"));
    const bool started = m_View.Start(m_Settings);
    if (started)
        m_Timer.start();
    Render();
    return started;
}

void LiveViewDlg::Stop()
{
    m_Timer.stop();
    m_View.Stop();
    Render();
}

void LiveViewDlg::Tick()
{
    m_View.Poll();
    if (!m_View.IsStreaming())
    {
        m_Timer.stop();
        emit Stopped();
    }
    Render();
}

void LiveViewDlg::OnPause()
{
    const bool pause = !m_View.IsPaused();
    m_View.SetPaused(pause);
    m_Chart->SetFollowing(!pause);
    m_Pause->setText(pause ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    Render();
}

void LiveViewDlg::OnClear()
{
    m_View.Clear();
    m_Chart->SetFollowing(!m_View.IsPaused());
    Render();
}

void LiveViewDlg::OnStreamSettings()
{
    const unsigned delay =
        m_Delay->value() < int(LiveView::kMinDelayUs) ? 0 : unsigned(m_Delay->value());
    if (m_Settings.seconds == m_Seconds->value() && m_Settings.delayUs == delay)
        return;
    const bool streaming = m_View.IsStreaming();
    m_View.Stop();
    if (streaming && !Start(m_Settings.stBits, m_Settings.mtBits))
        emit Stopped();
}

void LiveViewDlg::RenderScrollBar()
{
    const LiveRing* ring = m_View.Ring();
    m_Scrolling = true;
    const bool paused = m_View.IsPaused() && ring && ring->Size() > 0;
    m_Scroll->setEnabled(paused);
    if (paused)
    {
        const zef::Glimra::IndexRange range = m_Chart->Range();
        const double room = double(ring->Size()) - range.Span();
        m_Scroll->setRange(0, int(std::max(0.0, std::min(room, 2e9))));
        m_Scroll->setPageStep(int(std::max(1.0, std::min(range.Span(), 2e9))));
        m_Scroll->setSingleStep(int(std::max(1.0, range.Span() / 10)));
        m_Scroll->setValue(int(range.first - double(ring->First())));
    }
    else
    {
        m_Scroll->setRange(0, 0);
    }
    m_Scrolling = false;
}

void LiveViewDlg::Render()
{
    const LiveRing* ring = m_View.Ring();
    if (ring)
        m_Memory->setText(QStringLiteral("%1 readings, %2")
                              .arg(Count((long long)ring->Capacity()),
                                   QString::fromStdString(LiveView::MemoryText(ring->Bytes()))));
    const Recording::View stream = m_View.Stream();
    QString events;
    for (std::size_t c = 0; c < kEventClasses; ++c)
        if (const std::uint64_t n = m_View.EventCounts()[c])
            events += (events.isEmpty() ? QString() : QStringLiteral(", ")) +
                      QString::fromLatin1(EventClassName(EventClass(c))) + QStringLiteral(": ") +
                      Count((long long)n);
    m_Status->setText(
        QStringLiteral("%1 · a reading every %2 µs (%3/s) · %4 readings kept · events: %5")
            .arg(m_View.IsStreaming()
                     ? (m_View.IsPaused() ? QStringLiteral("Paused") : QStringLiteral("Streaming"))
                     : QStringLiteral("Stopped"))
            .arg(m_View.DelayUs())
            .arg(Count(m_View.DelayUs() ? std::llround(1e6 / m_View.DelayUs()) : 0))
            .arg(Count(ring ? (long long)ring->Size() : 0))
            .arg(events.isEmpty() ? QStringLiteral("none") : events));
    m_Chart->setEnabled(ring != nullptr);
    const LiveBits bits = m_View.BitsOf(m_View.GetPart());
    m_Chart->SetTitle(
        QStringLiteral("Position (%1, %2 bits)").arg(m_PartList->currentText()).arg(bits.bits));

    const JitterFigures j = m_View.Jitter();
    const LiveView::Drag& drag = m_View.GetDrag();
    const bool within = m_View.JumpWithinLimit();
    QString figures;
    if (j.count >= 2)
        figures = QStringLiteral("Last %1 readings:  mean %2 counts\n"
                                 "σ %3 counts = %4    peak-to-peak %5 counts = %6\n"
                                 "Largest jump %7\n")
                      .arg(Count((long long)j.count))
                      .arg(std::fabs(j.mean) < 0.05 ? 0.0 : j.mean, 0, 'f', 1) // not "-0.0"
                      .arg(j.stdDev, 0, 'f', 2)
                      .arg(ArcSeconds(j.stdDev * j.arcSecondsPerCount))
                      .arg(Count(j.peakToPeak))
                      .arg(ArcSeconds(double(j.peakToPeak) * j.arcSecondsPerCount))
                      .arg(Steps(j.largestJump));
    if (drag.any)
        figures += QStringLiteral("Since reset:  min %1   max %2   largest jump %3   %4 jump ≤ %5")
                       .arg(Count(drag.min))
                       .arg(Count(drag.max))
                       .arg(Steps(drag.largestJump))
                       .arg(within ? QStringLiteral("✔") : QStringLiteral("✘ not"))
                       .arg(Steps(m_View.GetJumpLimit()));
    m_Figures->setText(figures);
    m_Figures->setStyleSheet(within ? QString() : QStringLiteral("color: #b00000"));

    std::deque<double> bins;
    double highest = 1;
    for (const std::size_t n : j.bins)
    {
        bins.push_back(double(n));
        highest = std::max(highest, double(n));
    }
    m_Histogram->SetMaxValue(highest);
    m_Histogram->SetText(
        {Count(std::llround(highest)), Count(std::llround(highest / 2)), QStringLiteral("0")});
    m_Histogram->SetData(bins);
    m_Histogram->update();
    if (!j.bins.empty())
        m_HistogramAxis->setText(QStringLiteral("%1 … %2 counts around the mean")
                                     .arg(j.histogramFrom)
                                     .arg(j.histogramFrom + std::int64_t(j.bins.size()) - 1));

    RenderScrollBar();
    m_Chart->update();
    m_Speed->update();
}

void LiveViewDlg::closeEvent(QCloseEvent* event)
{
    const bool streaming = m_View.IsStreaming();
    Stop();
    if (streaming)
        emit Stopped();
    event->accept();
}

} // namespace App
