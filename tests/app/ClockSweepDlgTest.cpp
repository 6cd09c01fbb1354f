// The clock sweep from the main window's menu against a simulated 50 m cable, in virtual time.

#include "app/ClockSweepDlg.h"
#include "app/Resource.h"
#include "tests/app/DialogTestSupport.h"

#include <QAction>
#include <QLabel>

#include <algorithm>
#include <chrono>

TEST_F(DialogTest, ClockSweepFromTheMenuFindsTheCablesClockAndAppliesIt)
{
    Tavik::Box::SetSleepFunction([this](unsigned ms)
                                 { m_Clock.Advance(std::chrono::milliseconds(ms)); });
    FTD2xx::SimulatorFaults faults;
    faults.cableMaxClockHz = FTD2xx::SimulatorFaults::CableMaxClock(50);
    SimBox().SetFaults(faults);
    SimBox().SetEncoder(FTD2xx::EncoderModel{}); // turning: a shaft at 0 reads all zeros
    QAction* menu = Dlg().GetMenuAction(IDM_CLOCK_SWEEP);
    Click(IDC_BT_CONNECT);
    EXPECT_FALSE(menu->isEnabled());
    Click(IDC_BT_POWER);
    ASSERT_TRUE(menu->isEnabled());
    const unsigned clockBefore = Dlg().GetSession().View().clock;

    bool ran = false;
    Dlg().SetSweepDialogRunner(
        [&](CClockSweepDlg& sweep)
        {
            ran = true;
            ASSERT_TRUE(WindowInput::Show(&sweep)); // modal, as exec() shows it
            EXPECT_EQ(Dlg().GetGuiState(), GS_BATCH);
            WindowInput::Click(sweep.GetDlgItem(IDC_BT_SWEEP_START));
            while (sweep.IsTimerRunning())
            {
                m_Clock.Advance(std::chrono::milliseconds(CClockSweepDlg::kTimerPeriodMs));
                sweep.OnTimer();
            }
            EXPECT_EQ(Dlg().GetSession().View().clock, clockBefore); // restored
            EXPECT_EQ(sweep.Item<QLabel>(IDC_ST_SWEEP_RESULT)->text(),
                      "No errors up to 800 kHz, errors from 888888 Hz. Recommended clock: "
                      "727272 Hz (one step below, for margin).");
            NewLines();
            WindowInput::Click(sweep.GetDlgItem(IDC_BT_SWEEP_APPLY));
            WindowInput::Click(sweep.GetDlgItem(IDC_BT_SWEEP_CLOSE));
        });
    Menu(IDM_CLOCK_SWEEP);
    ASSERT_TRUE(ran);
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
    EXPECT_EQ(Dlg().GetSession().View().clock, 727272u);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_SSIFREQUENCE)->currentData().toUInt(), 727272u);
    const std::vector<std::string> lines = NewLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Setting sample parameter. Set new frequence to 727272 Hz"),
              lines.end());
}
