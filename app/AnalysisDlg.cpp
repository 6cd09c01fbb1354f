#include "app/AnalysisDlg.h"

#include "app/Resource.h"
#include "app/core/Formats.h"
#include "controls/RgbColor.h"
#include "controls/RunPlotCtrl.h"
#include "controls/RunPlotGeometry.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace App
{

using zef::Glimra::ColorRef;
using zef::Glimra::IndexRange;
using zef::Glimra::RunPlotCtrl;

namespace
{
ColorRef ClassColor(EventClass cls)
{
    const EventClassInfo& c = EventClasses()[std::size_t(cls) % kEventClasses];
    return zef::Glimra::MakeRgb(c.red, c.green, c.blue);
}

QString Grouped(std::int64_t value)
{
    return QString::fromStdString(zef::Glimra::GroupDigits(value));
}

// "10,321.9": one decimal, digits grouped.
QString GroupedTenths(double value)
{
    const long long tenths = std::llround(std::fabs(value) * 10);
    return QString(value < 0 && tenths != 0 ? "-%1.%2" : "%1.%2")
        .arg(Grouped(tenths / 10))
        .arg(tenths % 10);
}

// About three significant digits: "75.6", "0.0185", "1,250".
QString Significant(double value)
{
    const double a = std::fabs(value);
    if (a >= 1000)
        return Grouped(std::llround(value));
    if (a >= 1)
        return QString::number(value, 'f', a >= 100 ? 0 : a >= 10 ? 1 : 2);
    return QString::number(value, 'g', 3);
}

QString Turns(std::uint64_t turns)
{
    return turns == 1 ? QStringLiteral("1 turn") : Grouped(std::int64_t(turns)) + " turns";
}

// One part's figures; a part that did not move has no speed worth a number.
QString Part(const char* name, const PartFigures& part, bool timed)
{
    QString text = QString::fromLatin1(name) + QStringLiteral(": ");
    if (!part.moved)
        return text + QStringLiteral("did not move");
    if (timed)
        text += GroupedTenths(part.countsPerSecond) + QStringLiteral(" counts/s, ") +
                Significant(part.rpm) + QStringLiteral(" rpm, ");
    return text + Turns(part.turns);
}

// The event list on demand: a flood of events must not become a widget per cell.
class EventModel : public QAbstractTableModel
{
public:
    EventModel(const std::vector<AnalysisEvent>& events, QObject* parent)
        : QAbstractTableModel(parent), m_Events(events)
    {
    }
    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : int(m_Events.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char* const kTitles[4] = {"Class", "Index", "Length", "Values around"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
            return {};
        return QString::fromLatin1(kTitles[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const AnalysisEvent& e = m_Events[std::size_t(index.row())];
        if (role == Qt::TextAlignmentRole && (index.column() == 1 || index.column() == 2))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole && index.column() == 3)
            return Around(e, 16);
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column())
        {
        case 0:
            return QString::fromLatin1(EventClassName(e.cls));
        case 1:
            return Grouped(std::int64_t(e.first));
        case 2:
            return Grouped(std::int64_t(e.length));
        default:
            return Around(e, 10);
        }
    }

private:
    // The raw readings around the event, the event's own in brackets.
    static QString Around(const AnalysisEvent& e, int base)
    {
        QString text;
        for (std::size_t k = 0; k < e.around.size(); ++k)
        {
            const std::size_t at = e.aroundFirst + k;
            const bool own = at >= e.first && at < e.first + e.length;
            const QString value = base == 16
                                      ? QStringLiteral("0x") + QString::number(e.around[k], 16)
                                      : QString::number(e.around[k]);
            text += QString(own ? "[%1] " : "%1 ").arg(value);
        }
        return text.trimmed();
    }

    const std::vector<AnalysisEvent>& m_Events;
};
} // namespace

CAnalysisDlg::CAnalysisDlg(std::span<const unsigned> readings, Analysis analysis,
                           AnalysisConfig config, QWidget* parent)
    : DialogBase(parent), m_Readings(readings), m_Analysis(std::move(analysis)), m_Config(config)
{
    setWindowTitle(QStringLiteral("Analysis"));
    setSizeGripEnabled(true);
    resize(1000, 720);

    auto* root = new QLabel(this);
    root->setWordWrap(true);
    QFont bold = root->font();
    bold.setBold(true);
    root->setFont(bold);
    root->setText(!m_Analysis.rootCause.empty() ? ToQ(m_Analysis.rootCause)
                  : m_Analysis.Clean()          ? QStringLiteral("No events found")
                                                : QStringLiteral("No single cause"));
    Register(root, IDC_ST_ROOTCAUSE);
    auto* figures = new QLabel(FiguresText(m_Analysis, m_Config), this);
    figures->setWordWrap(true);
    figures->setToolTip(QStringLiteral(
        "Turns: of each part from the first reading to the last along the track, counted once "
        "the part is within a reading's move of its first value again, as the code tester "
        "counts them. The batch dialog's code tester stops counting a part's turns at its "
        "first error, so after errors its counts are lower.\nA part that did not move has no "
        "speed."));
    Register(figures, IDC_ST_RUNFIGURES);

    m_Position = new QComboBox(this);
    m_Position->addItems(
        {QStringLiteral("Whole reading"), QStringLiteral("ST"), QStringLiteral("MT")});
    Register(m_Position, IDC_CB_POSITION);
    // A part without bits has nothing to plot.
    const auto enable = [this](int item, bool on)
    {
        if (auto* model = qobject_cast<QStandardItemModel*>(m_Position->model()))
            model->item(item)->setEnabled(on);
    };
    enable(POSITION_ST, m_Config.stBits > 0);
    enable(POSITION_MT, m_Config.mtBits > 0 && m_Config.stBits < 32);
    m_FullRange = new QToolButton(this);
    m_FullRange->setText(QStringLiteral("Full range"));
    m_FullRange->setCheckable(true);
    m_FullRange->setToolTip(
        QStringLiteral("Scale the plots to every reading; off, spikes and all-ones or all-zeros "
                       "readings are left out of the scale and marked at the plot's edge"));
    // The choices beside the root cause; the figures get a line of their own.
    auto* top = new QHBoxLayout;
    top->addWidget(root, 1);
    top->addWidget(new QLabel(QStringLiteral("Position:"), this));
    top->addWidget(m_Position);
    top->addWidget(m_FullRange);

    m_PositionPlot = new RunPlotCtrl(this);
    m_StepPlot = new RunPlotCtrl(this);
    Register(m_PositionPlot, IDC_PL_POSITION);
    Register(m_StepPlot, IDC_PL_STEP);
    m_StepPlot->SetTitle(QStringLiteral("Step between readings"));
    m_StepPlot->SetLineColor(zef::Glimra::MakeRgb(0, 110, 0));
    for (RunPlotCtrl* plot : {m_PositionPlot, m_StepPlot})
        plot->SetSecondsPerReading(m_Config.delayUs * 1e-6);
    // One x range for both: each follows the other (an equal range ends the echo).
    connect(m_PositionPlot, &RunPlotCtrl::RangeChanged, m_StepPlot, &RunPlotCtrl::SetRange);
    connect(m_StepPlot, &RunPlotCtrl::RangeChanged, m_PositionPlot, &RunPlotCtrl::SetRange);

    std::vector<RunPlotCtrl::Marker> markers;
    markers.reserve(m_Analysis.events.size());
    for (const AnalysisEvent& e : m_Analysis.events)
        markers.push_back({e.first, e.length, ClassColor(e.cls)});
    m_PositionPlot->SetMarkers(markers);
    m_StepPlot->SetMarkers(std::move(markers));

    m_Classes = new QTableWidget(0, 5, this);
    m_Classes->setHorizontalHeaderLabels({QStringLiteral("Class"), QStringLiteral("Count"),
                                          QStringLiteral("ppm"), QStringLiteral("First"),
                                          QStringLiteral("Worst")});
    m_Classes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_Classes->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Classes->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Classes->verticalHeader()->hide();
    Register(m_Classes, IDC_LV_CLASSES);
    FillClasses();
    // A click also on the row already current: the event list may have moved on since.
    const auto chooseRow = [this](int row)
    {
        if (const QTableWidgetItem* item = m_Classes->item(row, 0))
            Guard([&] { ChooseClass(EventClass(item->data(Qt::UserRole).toInt())); });
    };
    connect(m_Classes, &QTableWidget::cellClicked, this, chooseRow);
    connect(m_Classes, &QTableWidget::currentCellChanged, this, chooseRow);

    m_Events = new QTableView(this);
    m_Events->setModel(new EventModel(m_Analysis.events, m_Events));
    m_Events->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Events->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Events->verticalHeader()->hide();
    m_Events->horizontalHeader()->setStretchLastSection(true);
    // Widths from the widest texts, not from the rows: a flood has 100,000 of them.
    m_Events->setWordWrap(false);
    const QFontMetrics metrics = m_Events->fontMetrics();
    const int pad = 3 * metrics.averageCharWidth();
    m_Events->setColumnWidth(0,
                             metrics.horizontalAdvance(QStringLiteral("ST-MT out of step")) + pad);
    for (int column : {1, 2})
        m_Events->setColumnWidth(column,
                                 metrics.horizontalAdvance(QStringLiteral("16,777,214")) + pad);
    Register(m_Events, IDC_LV_EVENTS);
    connect(m_Events->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current)
            {
                if (current.isValid())
                    Guard([&] { ChooseEvent(std::size_t(current.row())); });
            });

    auto* tables = new QHBoxLayout;
    tables->addWidget(m_Classes, 2);
    tables->addWidget(m_Events, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(figures);
    layout->addWidget(m_PositionPlot, 3);
    layout->addWidget(m_StepPlot, 2);
    layout->addLayout(tables, 2);

    connect(m_Position, &QComboBox::currentIndexChanged, this,
            [this](int index) { Guard([&] { ChoosePosition(Position(index)); }); });
    connect(m_FullRange, &QToolButton::toggled, this,
            [this](bool full)
            {
                m_PositionPlot->SetFullRange(full);
                m_StepPlot->SetFullRange(full);
            });
    ChoosePosition(POSITION_WHOLE);
}

CAnalysisDlg::~CAnalysisDlg() = default;

void CAnalysisDlg::ChoosePosition(Position position)
{
    if (m_Position->currentIndex() != int(position))
    {
        m_Position->setCurrentIndex(int(position)); // comes back here through the signal
        return;
    }
    // As Tavik::SplitStMt splits a reading: ST the low bits, MT the ones above them.
    const unsigned st = std::min(m_Config.stBits, 32u);
    const unsigned mt = std::min(m_Config.mtBits, 32u - st);
    zef::Glimra::PositionBits bits{0, st + mt};
    if (position == POSITION_ST)
        bits = {0, st};
    else if (position == POSITION_MT)
        bits = {st, mt};
    if (bits.bits == 0)
        bits = {0, 32};
    // Readings off the track for a moment, or of a dead line, would set the scale.
    std::vector<zef::Glimra::ReadingSpan> outliers;
    for (const AnalysisEvent& e : m_Analysis.events)
        if (EventClasses()[std::size_t(e.cls) % kEventClasses].outlier)
            outliers.push_back({e.first, e.length});
    const IndexRange range = m_PositionPlot->GetRange();
    const bool keep = m_Data && m_Data->Size() == m_Readings.size();
    // The old levels live until both plots hold the new ones: setting the first plot's data
    // moves the second plot's range while it still reads the old levels.
    const std::unique_ptr<zef::Glimra::MinMaxPyramid> old = std::move(m_Data);
    m_Data = std::make_unique<zef::Glimra::MinMaxPyramid>(m_Readings, bits, outliers);
    m_PositionPlot->SetTitle(m_Position->currentText());
    m_PositionPlot->SetData(m_Data.get(), zef::Glimra::SERIES_POSITION);
    m_StepPlot->SetData(m_Data.get(), zef::Glimra::SERIES_STEP);
    if (keep)
        m_PositionPlot->SetRange(range);
}

void CAnalysisDlg::ChooseEvent(std::size_t event)
{
    if (event >= m_Analysis.events.size())
        return;
    const AnalysisEvent& e = m_Analysis.events[event];
    const RunPlotCtrl::Marker marker{e.first, e.length, ClassColor(e.cls)};
    m_PositionPlot->SetSelected(marker);
    m_StepPlot->SetSelected(marker);
    m_PositionPlot->ShowReadings(e.first, e.length);
    if (m_Events->currentIndex().row() != int(event))
        m_Events->selectRow(int(event));
}

void CAnalysisDlg::ChooseClass(EventClass cls)
{
    const long first = std::size_t(cls) < kEventClasses ? m_Analysis.classes[cls].first : -1;
    if (first >= 0)
        ChooseEvent(std::size_t(first));
}

void CAnalysisDlg::FillClasses()
{
    for (std::size_t c = 0; c < kEventClasses; ++c)
    {
        const ClassSummary& s = m_Analysis.classes[c];
        if (s.count == 0)
            continue;
        const int row = m_Classes->rowCount();
        m_Classes->insertRow(row);
        const auto index = [this](long event)
        {
            return event >= 0 && std::size_t(event) < m_Analysis.events.size()
                       ? Grouped(std::int64_t(m_Analysis.events[std::size_t(event)].first))
                       : QString();
        };
        const QString texts[5] = {QString::fromLatin1(EventClassName(EventClass(c))),
                                  Grouped(std::int64_t(s.count)), QString::number(s.ppm, 'g', 4),
                                  index(s.first), index(s.worst)};
        for (int k = 0; k < 5; ++k)
        {
            auto* item = new QTableWidgetItem(texts[k]);
            if (k > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_Classes->setItem(row, k, item);
        }
        m_Classes->item(row, 0)->setData(Qt::UserRole, int(c));
        m_Classes->item(row, 0)->setToolTip(QStringLiteral("Show the first event of the class"));
    }
    m_Classes->resizeColumnsToContents();
}

QString CAnalysisDlg::FiguresText(const Analysis& a, const AnalysisConfig& config)
{
    QString text = Grouped(std::int64_t(a.readings)) +
                   (a.readings == 1 ? QStringLiteral(" reading") : QStringLiteral(" readings"));
    if (config.delayUs > 0)
        text += QStringLiteral(" every %1 \u00b5s").arg(Grouped(config.delayUs));
    if (a.durationS > 0)
        text += QStringLiteral(" (%1 s)").arg(a.durationS, 0, 'g', 4);
    text += QStringLiteral(", %1 distinct").arg(Grouped(std::int64_t(a.distinct)));
    const bool timed = a.durationS > 0;
    const unsigned st = std::min(config.stBits, 32u), mt = std::min(config.mtBits, 32u - st);
    if (st > 0)
        text += QStringLiteral("; ") + Part("ST", a.st, timed);
    if (mt > 0)
        text += QStringLiteral("; ") + Part("MT", a.mt, timed);
    return text;
}

} // namespace App
