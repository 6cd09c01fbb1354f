#include "app/AnalysisDlg.h"

#include "app/Resource.h"
#include "app/core/Formats.h"
#include "controls/RgbColor.h"
#include "controls/RunPlotCtrl.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
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
constexpr std::array<ColorRef, kEventClasses> kClassColors = {
    zef::Glimra::MakeRgb(230, 0, 0),   zef::Glimra::MakeRgb(255, 128, 0),
    zef::Glimra::MakeRgb(160, 0, 200), zef::Glimra::MakeRgb(0, 150, 150),
    zef::Glimra::MakeRgb(0, 160, 0),   zef::Glimra::MakeRgb(200, 0, 120),
    zef::Glimra::MakeRgb(90, 90, 90),  zef::Glimra::MakeRgb(0, 0, 0)};

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
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const AnalysisEvent& e = m_Events[std::size_t(index.row())];
        switch (index.column())
        {
        case 0:
            return QString::fromLatin1(EventClassName(e.cls));
        case 1:
            return QString::number(e.first);
        case 2:
            return QString::number(e.length);
        default:
        {
            QString text;
            for (std::size_t k = 0; k < e.around.size(); ++k)
            {
                const std::size_t at = e.aroundFirst + k;
                const bool own = at >= e.first && at < e.first + e.length;
                text += QString(own ? "[%1] " : "%1 ").arg(e.around[k], 0, 16);
            }
            return text.trimmed();
        }
        }
    }

private:
    const std::vector<AnalysisEvent>& m_Events;
};

QString Part(const char* name, const PartFigures& part)
{
    return QStringLiteral("%1: %2 counts/s, %3 rpm, %4 turns")
        .arg(QString::fromLatin1(name))
        .arg(part.countsPerSecond, 0, 'f', 1)
        .arg(part.rpm, 0, 'f', 2)
        .arg(part.turns);
}
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
    auto* figures = new QLabel(FiguresText(), this);
    figures->setWordWrap(true);
    Register(figures, IDC_ST_RUNFIGURES);

    m_Position = new QComboBox(this);
    m_Position->addItems(
        {QStringLiteral("Whole reading"), QStringLiteral("ST"), QStringLiteral("MT")});
    Register(m_Position, IDC_CB_POSITION);
    auto* top = new QHBoxLayout;
    top->addWidget(figures, 1);
    top->addWidget(new QLabel(QStringLiteral("Position:"), this));
    top->addWidget(m_Position);

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
        markers.push_back({e.first, e.length, kClassColors[std::size_t(e.cls) % kEventClasses]});
    m_PositionPlot->SetMarkers(markers);
    m_StepPlot->SetMarkers(std::move(markers));

    m_Classes = new QTableWidget(0, 5, this);
    m_Classes->setHorizontalHeaderLabels({QStringLiteral("Class"), QStringLiteral("Count"),
                                          QStringLiteral("ppm"), QStringLiteral("First"),
                                          QStringLiteral("Worst")});
    m_Classes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_Classes->verticalHeader()->hide();
    Register(m_Classes, IDC_LV_CLASSES);
    FillClasses();

    m_Events = new QTableView(this);
    m_Events->setModel(new EventModel(m_Analysis.events, m_Events));
    m_Events->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Events->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Events->verticalHeader()->hide();
    m_Events->horizontalHeader()->setStretchLastSection(true);
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
    layout->addWidget(root);
    layout->addLayout(top);
    layout->addWidget(m_PositionPlot, 3);
    layout->addWidget(m_StepPlot, 2);
    layout->addLayout(tables, 2);

    connect(m_Position, &QComboBox::currentIndexChanged, this,
            [this](int index) { Guard([&] { ChoosePosition(Position(index)); }); });
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
    const unsigned st = m_Config.stBits, mt = m_Config.mtBits;
    zef::Glimra::PositionBits bits{0, st + mt};
    if (position == POSITION_ST)
        bits = {mt, st};
    else if (position == POSITION_MT)
        bits = {0, mt};
    if (bits.bits == 0)
        bits.bits = 32;
    const IndexRange range = m_PositionPlot->GetRange();
    const bool keep = m_Data && m_Data->Size() == m_Readings.size();
    m_Data = std::make_unique<zef::Glimra::MinMaxPyramid>(m_Readings, bits);
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
    const RunPlotCtrl::Marker marker{e.first, e.length,
                                     kClassColors[std::size_t(e.cls) % kEventClasses]};
    m_PositionPlot->SetSelected(marker);
    m_StepPlot->SetSelected(marker);
    m_PositionPlot->ShowReadings(e.first, e.length);
    if (m_Events->currentIndex().row() != int(event))
        m_Events->selectRow(int(event));
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
                       ? QString::number(m_Analysis.events[std::size_t(event)].first)
                       : QString();
        };
        const QString texts[5] = {QString::fromLatin1(EventClassName(EventClass(c))),
                                  QString::number(s.count), QString::number(s.ppm, 'g', 4),
                                  index(s.first), index(s.worst)};
        for (int k = 0; k < 5; ++k)
            m_Classes->setItem(row, k, new QTableWidgetItem(texts[k]));
    }
    m_Classes->resizeColumnsToContents();
}

QString CAnalysisDlg::FiguresText() const
{
    const Analysis& a = m_Analysis;
    QString text = QStringLiteral("%1 readings, %2 distinct").arg(a.readings).arg(a.distinct);
    if (a.durationS > 0)
        text += QStringLiteral(", %1 s").arg(a.durationS, 0, 'g', 4);
    return text + QStringLiteral("; ") + Part("ST", a.st) + QStringLiteral("; ") + Part("MT", a.mt);
}

} // namespace App
