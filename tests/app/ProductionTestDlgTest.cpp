// The production test from the main window's menu, driven as an operator with a barcode
// scanner drives it: a serial number typed and ended with Enter, in virtual time.

#include "app/ProductionTestDlg.h"
#include "app/Resource.h"
#include "tests/app/DialogTestSupport.h"

#include <QLabel>
#include <QListWidget>
#include <QSettings>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace
{
// Types as a scanner does: into the focused field, each code ended with Enter.
void Scan(QWidget* window, const char* code)
{
    for (const char* c = code; *c != '\0'; ++c)
        QTest::keyClick(WindowInput::Handle(window), *c);
    WindowInput::Key(window, Qt::Key_Return);
}

void RunToEnd(CProductionTestDlg& test, FTD2xx::ManualClock& clock)
{
    for (int tick = 0; test.IsTimerRunning() && tick < 10000; ++tick)
    {
        clock.Advance(std::chrono::milliseconds(CProductionTestDlg::kTimerPeriodMs));
        test.OnTimer();
    }
    EXPECT_FALSE(test.IsTimerRunning());
}
} // namespace

TEST_F(DialogTest, ProductionTestPassesAScannedUnitThenFailsOneOnAGlitchingBox)
{
    const std::filesystem::path data =
        std::filesystem::current_path() / ("ProductionTest-" + std::to_string(::getpid()));
    std::filesystem::remove_all(data);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    // The plan used last, as the dialog keeps it.
    QSettings(QStringLiteral("ProductionTest.ini"), QSettings::IniFormat)
        .setValue(
            QStringLiteral("Plan"),
            QStringLiteral(TAVIK_SOURCE_DIR "/docs/plans/incoming-inspection-ssi-13-12.toml"));
    Tavik::Box::SetSleepFunction([this](unsigned ms)
                                 { m_Clock.Advance(std::chrono::milliseconds(ms)); });
    SimBox().SetEncoder(FTD2xx::EncoderModel{}); // turning at 60 rpm, as the plan expects
    Click(IDC_BT_CONNECT);
    EXPECT_FALSE(Dlg().GetMenuAction(IDM_PRODUCTION_TEST)->isEnabled());
    Click(IDC_BT_POWER);

    bool ran = false;
    Dlg().SetProductionDialogRunner(
        [&](CProductionTestDlg& test)
        {
            ran = true;
            ASSERT_TRUE(WindowInput::Show(&test));
            EXPECT_EQ(Dlg().GetGuiState(), GS_BATCH);
            auto* serial = test.Item<QLineEdit>(IDC_ED_TEST_SERIAL);
            auto* outcome = test.Item<QLabel>(IDC_ST_TEST_OUTCOME);
            auto* failed = test.Item<QListWidget>(IDC_LB_TEST_FAILED);
            EXPECT_TRUE(serial->hasFocus());
            EXPECT_FALSE(test.GetDlgItem(IDC_BT_TEST_REPORT)->isEnabled());

            Scan(&test, "SN-0001");
            EXPECT_EQ(outcome->text(), "TESTING");
            RunToEnd(test, m_Clock);
            EXPECT_EQ(outcome->text(), "PASS");
            EXPECT_EQ(failed->count(), 0);
            EXPECT_TRUE(serial->hasFocus());
            const std::string first = test.LastRecordFile();
            EXPECT_TRUE(std::filesystem::exists(first));

            FTD2xx::SimulatorFaults faults;
            faults.glitchEvery = 5000;
            SimBox().SetFaults(faults);
            // The next code replaces the last; the outcome stays until it is entered.
            QTest::keyClick(WindowInput::Handle(&test), 'S');
            EXPECT_EQ(outcome->text(), "PASS");
            Scan(&test, "N-0002");
            RunToEnd(test, m_Clock);
            EXPECT_EQ(outcome->text(), "FAIL");
            ASSERT_GE(failed->count(), 1);
            EXPECT_TRUE(
                failed->findItems(QStringLiteral("Code check: spike_events ="), Qt::MatchStartsWith)
                    .size() == 1);
            EXPECT_TRUE(serial->hasFocus());
            EXPECT_EQ(serial->text(), "SN-0002");
            EXPECT_EQ(std::filesystem::path(test.LastRecordFile()).parent_path(),
                      data / "tavik" / "spool");
            // The report is written beside its record (the offscreen platform opens no browser).
            WindowInput::Click(test.GetDlgItem(IDC_BT_TEST_REPORT));
            std::filesystem::path html = test.LastRecordFile();
            EXPECT_GT(std::filesystem::file_size(html.replace_extension(".html")), 1000u);
            WindowInput::Click(test.GetDlgItem(IDC_BT_TEST_CLOSE));
        });
    Menu(IDM_PRODUCTION_TEST);
    ASSERT_TRUE(ran);
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
    ::unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(data);
    std::filesystem::remove("ProductionTest.ini");
}
