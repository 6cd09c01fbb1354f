// Takes the README's screenshot of the main window connected to a simulated box. Disabled
// in normal runs; run under Xvfb with TAVIK_SCREENSHOT=docs/main-window.png,
// QT_QPA_PLATFORM=xcb and xvfb-run -a build/bin/AppTests --gtest_also_run_disabled_tests
// --gtest_filter='*Screenshot*'
#include "DialogTestSupport.h"

#include "app/AnalysisDlg.h"
#include "app/BatchSampleDlg.h"
#include "app/ClockSweepDlg.h"
#include "app/HistoryList.h"
#include "app/ProductionTestDlg.h"
#include "app/Resource.h"
#include "app/core/HistorySink.h"
#include "controls/RunPlotCtrl.h"
#include "tests/support/TestRecords.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QThread>

#include <cstdlib>
#include <filesystem>

using namespace App;

TEST_F(DialogTest, DISABLED_MainWindowScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    FTD2xx::EncoderModel encoder;
    encoder.rpm = 7.5;
    SimBox().SetEncoder(encoder);
    Dlg().show();
    Dlg().move(0, 0);
    Click(IDC_BT_CONNECT);
    Click(IDC_BT_POWER);
    m_Clock.Advance(std::chrono::milliseconds(1234567));
    Click(IDC_BT_SINGLESAMPLE);
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = Dlg().screen()->grabWindow(Dlg().winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}

// The README's screenshot of the window waiting for its box after an unplug during continuous
// sampling; run as above with TAVIK_SCREENSHOT=docs/waiting-for-box.png and
// --gtest_filter='*WaitingScreenshot*'.
TEST_F(DialogTest, DISABLED_WaitingScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    Dlg().show();
    Dlg().move(0, 0);
    Click(IDC_BT_CONNECT);
    Click(IDC_BT_POWER);
    Click(IDC_BT_CONTINUOUSSAMPLE);
    SimBox().Unplug();
    Dlg().OnTimer();
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = Dlg().screen()->grabWindow(Dlg().winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}

// The README's screenshot of the batch dialog after a check that found the simulator's
// glitches; run as above with TAVIK_SCREENSHOT=docs/batch-dialog.png and
// --gtest_filter='*BatchDialogScreenshot*'.
TEST_F(DialogTest, DISABLED_BatchDialogScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    SimBox().SetEncoder(FTD2xx::EncoderModel{});
    FTD2xx::SimulatorFaults faults;
    faults.glitchEvery = 25000;
    SimBox().SetFaults(faults);
    Tavik::Box box;
    ASSERT_EQ(box.Open(0), Tavik::Box::OK);
    ASSERT_EQ(box.SetPowerMode(Tavik::Box::PWR_INTERNAL), Tavik::Box::OK);

    CBatchSampleDlg batch(box, 13, 12, false);
    ASSERT_TRUE(WindowInput::Show(&batch));
    batch.move(0, 0);
    WindowInput::Type(batch.Item<QLineEdit>(IDC_ED_SAMPLECOUNT), "100000");
    WindowInput::Type(batch.Item<QLineEdit>(IDC_ED_ERRORLIMIT), "10");
    WindowInput::Click(batch.GetDlgItem(IDC_RD_MONO_MT_NOTEST + MONO_ASC));
    batch.OnStart();
    while (batch.IsTimerRunning())
    {
        m_Clock.Advance(std::chrono::milliseconds(CBatchSampleDlg::kTimerPeriodMs));
        batch.OnTimer();
    }
    // The list keeps its last entry on top; show the tester's messages above it.
    batch.GetHistory().SetTopIndex(std::max(0, batch.GetHistory().GetCount() - 6));
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = batch.screen()->grabWindow(batch.winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}

// The README's screenshot of the analysis view of a run with the simulator's glitches and a
// stuck stretch; run as above with TAVIK_SCREENSHOT=docs/analysis-view.png and
// --gtest_filter='*AnalysisScreenshot*'.
TEST_F(DialogTest, DISABLED_AnalysisScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    SimBox().SetEncoder(FTD2xx::EncoderModel{});
    FTD2xx::SimulatorFaults faults;
    faults.glitchEvery = 7000;
    faults.stuckEvery = 60000;
    SimBox().SetFaults(faults);
    Tavik::Box box;
    ASSERT_EQ(box.Open(0), Tavik::Box::OK);
    ASSERT_EQ(box.SetPowerMode(Tavik::Box::PWR_INTERNAL), Tavik::Box::OK);
    CBatchSampleDlg batch(box, 13, 12, false);
    ASSERT_TRUE(WindowInput::Show(&batch));
    WindowInput::Type(batch.Item<QLineEdit>(IDC_ED_SAMPLECOUNT), "100000");
    batch.OnStart();
    while (batch.IsTimerRunning())
    {
        m_Clock.Advance(std::chrono::milliseconds(CBatchSampleDlg::kTimerPeriodMs));
        batch.OnTimer();
    }

    const std::span<const unsigned> run = batch.GetRun().GetBuffer();
    const Analysis& analysis = batch.GetRun().GetAnalysis();
    ASSERT_FALSE(analysis.rootCause.empty());

    CAnalysisDlg view(run, analysis, batch.GetRun().GetAnalysisConfig());
    view.show();
    view.move(0, 0);
    view.ChoosePosition(CAnalysisDlg::POSITION_ST);
    if (analysis.events.size() > 1)
        view.ChooseEvent(1);
    view.PositionPlot().SetRange({0, double(run.size())});
    // The readout of the step plot at 3 s, where the stuck stretch ends.
    const zef::Glimra::RunPlotCtrl& step = view.StepPlot();
    const zef::Glimra::Rect plot = step.PlotRect();
    QTest::mouseMove(view.windowHandle(),
                     step.mapTo(&view, QPoint(plot.left + plot.Width() * 3 / 5, plot.top + 20)));
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = view.screen()->grabWindow(view.winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}

// The README's screenshot of the clock sweep on a simulated 50 m cable; run as above with
// TAVIK_SCREENSHOT=docs/clock-sweep.png and --gtest_filter='*ClockSweepScreenshot*'.
TEST_F(DialogTest, DISABLED_ClockSweepScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    Tavik::Box::SetSleepFunction([this](unsigned ms)
                                 { m_Clock.Advance(std::chrono::milliseconds(ms)); });
    SimBox().SetEncoder(FTD2xx::EncoderModel{});
    FTD2xx::SimulatorFaults faults;
    faults.cableMaxClockHz = FTD2xx::SimulatorFaults::CableMaxClock(50);
    SimBox().SetFaults(faults);
    Tavik::Box box;
    ASSERT_EQ(box.Open(0), Tavik::Box::OK);
    ASSERT_EQ(box.SetPowerMode(Tavik::Box::PWR_INTERNAL), Tavik::Box::OK);

    VectorSink history;
    CClockSweepDlg sweep(box, history, 13, 12, {});
    sweep.show();
    sweep.move(0, 0);
    sweep.OnStart();
    while (sweep.IsTimerRunning())
    {
        m_Clock.Advance(std::chrono::milliseconds(CClockSweepDlg::kTimerPeriodMs));
        sweep.OnTimer();
    }
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = sweep.screen()->grabWindow(sweep.winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}

// The README's picture of records waiting for an unreachable results store; run as above with
// TAVIK_SCREENSHOT=docs/records-waiting.png and --gtest_filter='*RecordsWaitingScreenshot*'.
TEST_F(DialogTest, DISABLED_RecordsWaitingScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    const std::string data = QDir::current().absoluteFilePath("screenshot-data").toStdString();
    QDir(QString::fromStdString(data)).removeRecursively();
    for (int id = 1; id <= 3; ++id)
        TestRecords::Write(data + "/spool", TestRecords::Unit(id));
    WriteIni("[Default]\nStore=service=line\n");
    m_DataFolder = data;
    Dlg().show();
    Dlg().move(0, 0);
    Dlg().WaitForForwarding();
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = Dlg().screen()->grabWindow(Dlg().winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}

// The README's picture of the production test: a unit that failed on a glitching box. Run as
// above with TAVIK_SCREENSHOT=docs/production-test.png and
// --gtest_filter='*ProductionTestScreenshot*'.
TEST_F(DialogTest, DISABLED_ProductionTestScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    Tavik::Box::SetSleepFunction([this](unsigned ms)
                                 { m_Clock.Advance(std::chrono::milliseconds(ms)); });
    SimBox().SetEncoder(FTD2xx::EncoderModel{});
    FTD2xx::SimulatorFaults faults;
    faults.glitchEvery = 5000;
    SimBox().SetFaults(faults);
    Tavik::Box box;
    ASSERT_EQ(box.Open(0), Tavik::Box::OK);
    ASSERT_EQ(box.SetPowerMode(Tavik::Box::PWR_INTERNAL), Tavik::Box::OK);

    VectorSink history;
    CProductionTestDlg::Setup setup;
    setup.station = "line 2";
    setup.spoolFolder = "ProductionTestScreenshot-spool";
    setup.planFile = TAVIK_SOURCE_DIR "/docs/plans/incoming-inspection-ssi-13-12.toml";
    setup.operatorName = "A. Operator";
    CProductionTestDlg test(box, history, m_Clock, setup);
    test.move(0, 0);
    ASSERT_TRUE(WindowInput::Show(&test));
    WindowInput::Type(test.Item<QLineEdit>(IDC_ED_TEST_PART), "ENC-1325-S");
    WindowInput::Type(test.Item<QLineEdit>(IDC_ED_TEST_SERIAL), "SN-240117", false);
    WindowInput::Key(&test, Qt::Key_Return);
    while (test.IsTimerRunning())
    {
        m_Clock.Advance(std::chrono::milliseconds(CProductionTestDlg::kTimerPeriodMs));
        test.OnTimer();
    }
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = test.screen()->grabWindow(test.winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
    std::filesystem::remove_all(setup.spoolFolder);
}
