// The analysis view on a generated 13 + 12 bit run, driven through its window as a user would.
#include "app/AnalysisDlg.h"

#include "controls/RunPlotCtrl.h"
#include "driver/Box.h"

#include <QComboBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

using namespace App;

namespace
{

constexpr unsigned kSt = 13, kMt = 12;
constexpr unsigned kSpikeBit = 1u << 24; // MT's top bit: a spike of 16.7 M in the whole reading
constexpr std::size_t kStuckAt = 9000, kStuckFor = 60;

// Three counts a reading from just below an ST wrap, about 7 turns, spikes every 2,500
// readings and one stuck stretch.
std::vector<unsigned> MakeRun()
{
    std::vector<unsigned> run(20000);
    for (std::size_t i = 0; i < run.size(); ++i)
    {
        const std::size_t held = i >= kStuckAt && i < kStuckAt + kStuckFor ? kStuckAt : i;
        run[i] = unsigned(8100 + 5 * 8192 + 3 * held);
    }
    for (std::size_t i = 1000; i < run.size(); i += 2500)
        run[i] ^= kSpikeBit;
    return run;
}

AnalysisConfig Config()
{
    AnalysisConfig c;
    c.stBits = kSt;
    c.mtBits = kMt;
    c.delayUs = 50;
    return c;
}

class AnalysisDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_View.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_View));
    }

    QWindow* Window() { return m_View.windowHandle(); }
    // Where a point of a widget lies in the dialog's window.
    QPoint At(const QWidget& widget, QPoint point) { return widget.mapTo(&m_View, point); }
    void Click(const QWidget& widget, QPoint point)
    {
        QTest::mouseClick(Window(), Qt::LeftButton, {}, At(widget, point));
    }
    // The dialog's position list, moved by keys as a user would.
    void Choose(CAnalysisDlg::Position position)
    {
        auto* list = m_View.findChild<QComboBox*>();
        list->setFocus();
        QTest::keyClick(Window(), Qt::Key_Home);
        for (int k = 0; k < int(position); ++k)
            QTest::keyClick(Window(), Qt::Key_Down);
    }

    const std::vector<unsigned> m_Run = MakeRun();
    CAnalysisDlg m_View{m_Run, AnalyseRun(m_Run, Config()), Config()};
};

TEST_F(AnalysisDlgTest, StAndMtPlotTheBitsSplitStMtGives)
{
    for (const auto position : {CAnalysisDlg::POSITION_ST, CAnalysisDlg::POSITION_MT})
    {
        Choose(position);
        bool wrapped = false;
        for (std::size_t i = 0; i < m_Run.size(); ++i)
        {
            unsigned st, mt;
            Tavik::SplitStMt(kSt, kMt, m_Run[i], st, mt);
            ASSERT_EQ(m_View.PlotData().Value(zef::Glimra::SERIES_POSITION, i),
                      position == CAnalysisDlg::POSITION_ST ? st : mt)
                << position << ' ' << i;
            wrapped = wrapped || (i > 0 && st < 100 && (m_Run[i - 1] & 0x1FFF) > 8000);
        }
        EXPECT_TRUE(wrapped); // the run crosses turns
    }
}

TEST_F(AnalysisDlgTest, SpikesLeaveTheScaleToTheMotionUntilFullRangeIsOn)
{
    ASSERT_EQ(m_View.GetAnalysis().classes[EVENT_SPIKE].count, 8u);
    const std::int64_t top = 8100 + 5 * 8192 + 3 * 20000;
    for (const zef::Glimra::RunPlotCtrl* plot : {&m_View.PositionPlot(), &m_View.StepPlot()})
    {
        const zef::Glimra::ValueAxis axis = plot->Axis();
        EXPECT_LT(axis.max - axis.min, std::int64_t(kSpikeBit) / 100);
    }
    EXPECT_GE(m_View.PositionPlot().Axis().max, top);

    const QToolButton& full = m_View.FullRangeButton();
    Click(full, full.rect().center());
    EXPECT_TRUE(full.isChecked());
    EXPECT_GE(m_View.PositionPlot().Axis().max, std::int64_t(kSpikeBit));
    EXPECT_LE(m_View.StepPlot().Axis().min, -std::int64_t(kSpikeBit) + 3);
    Click(full, full.rect().center());
    EXPECT_LT(m_View.PositionPlot().Axis().max, std::int64_t(kSpikeBit));
}

TEST_F(AnalysisDlgTest, AClassRowShowsTheClassesFirstEvent)
{
    const Analysis& a = m_View.GetAnalysis();
    QTableWidget& classes = m_View.ClassTable();
    QTableView& events = m_View.EventList();
    ASSERT_EQ(classes.rowCount(), 2); // spikes and the stuck stretch
    for (int row : {1, 0})
    {
        const EventClass cls = EventClass(classes.item(row, 0)->data(Qt::UserRole).toInt());
        const std::size_t first = std::size_t(a.classes[cls].first);
        Click(*classes.viewport(), classes.visualItemRect(classes.item(row, 0)).center());
        EXPECT_EQ(events.currentIndex().row(), int(first));
        const std::size_t at = a.events[first].first;
        for (const zef::Glimra::RunPlotCtrl* plot : {&m_View.PositionPlot(), &m_View.StepPlot()})
        {
            const zef::Glimra::IndexRange range = plot->GetRange();
            EXPECT_TRUE(range.first <= double(at) && double(at) < range.last &&
                        range.Span() < 1000);
        }
    }
    EXPECT_EQ(a.events[std::size_t(a.classes[EVENT_STUCK].first)].first, kStuckAt);

    // After another event, a click on the same row goes back to the class's first.
    ASSERT_EQ(classes.item(0, 0)->data(Qt::UserRole).toInt(), EVENT_SPIKE);
    Click(*events.viewport(), events.visualRect(events.model()->index(2, 0)).center());
    ASSERT_EQ(events.currentIndex().row(), 2);
    Click(*classes.viewport(), classes.visualItemRect(classes.item(0, 0)).center());
    EXPECT_EQ(events.currentIndex().row(), a.classes[EVENT_SPIKE].first);
}

TEST_F(AnalysisDlgTest, ValuesAroundReadInDecimalWithHexOnHover)
{
    const QAbstractItemModel& events = *m_View.EventList().model();
    const AnalysisEvent& e = m_View.GetAnalysis().events[0];
    const QString spike = QString::number(m_Run[e.first]);
    EXPECT_TRUE(events.data(events.index(0, 3)).toString().contains("[" + spike + "]"));
    EXPECT_TRUE(events.data(events.index(0, 3), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("[0x%1]").arg(m_Run[e.first], 0, 16)));
    EXPECT_EQ(events.data(events.index(0, 1)).toString(), QStringLiteral("1,000"));
}

TEST_F(AnalysisDlgTest, TheReadoutFollowsTheCursor)
{
    const zef::Glimra::RunPlotCtrl& plot = m_View.PositionPlot();
    const zef::Glimra::Rect r = plot.PlotRect();
    EXPECT_TRUE(plot.ReadoutText().isEmpty());
    QTest::mouseMove(Window(), At(plot, {r.left, (r.top + r.bottom) / 2}));
    const QString left = plot.ReadoutText();
    EXPECT_TRUE(left.startsWith(QStringLiteral("#0\u2013"))) << left.toStdString();
    EXPECT_TRUE(left.contains(QStringLiteral("(0 ms): 49,060 to 49,"))) // 8,100 + 5 * 8,192
        << left.toStdString();
    QTest::mouseMove(Window(), At(plot, {r.right - 1, (r.top + r.bottom) / 2}));
    const QString right = plot.ReadoutText();
    EXPECT_TRUE(right.contains(QStringLiteral("\u201319,999 (")) &&
                right.endsWith(QStringLiteral(" to 109,057"))) // 49,060 + 3 * 19,999
        << right.toStdString();
    QTest::mouseMove(Window(), At(m_View.ClassTable(), {5, 5}));
    EXPECT_TRUE(plot.ReadoutText().isEmpty());
}

TEST(AnalysisDlgFigures, ReadWithSeparatorsUnitsAndOnlyMeaningfulSpeeds)
{
    Analysis a;
    a.readings = 16'777'214;
    a.distinct = 8192;
    a.durationS = 838.86;
    a.st = {10321.94, 75.6, 1, 1, true};
    a.mt = {1.26, 0.0185, 1, 0, false};
    EXPECT_EQ(CAnalysisDlg::FiguresText(a, Config()),
              QStringLiteral("16,777,214 readings every 50 \u00b5s (838.9 s), 8,192 distinct; "
                             "ST: 10,321.9 counts/s, 75.6 rpm, 1 turn; MT: did not move"));
    a.mt.moved = true;
    a.mt.turns = 2;
    EXPECT_TRUE(CAnalysisDlg::FiguresText(a, Config())
                    .endsWith(QStringLiteral("MT: 1.3 counts/s, 0.0185 rpm, 2 turns")));
    AnalysisConfig stOnly = Config();
    stOnly.mtBits = 0;
    stOnly.delayUs = 0;
    a.durationS = 0;
    EXPECT_EQ(CAnalysisDlg::FiguresText(a, stOnly),
              QStringLiteral("16,777,214 readings, 8,192 distinct; ST: 1 turn"));
}

} // namespace
