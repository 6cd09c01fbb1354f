// The batch and sweep dialogs as a person uses them: clicks and keys go to the top-level
// window at the control's place, so modality and stacking apply.
#include "DialogTestSupport.h"
#include "tests/support/WindowInput.h"

#include "app/BatchSampleDlg.h"
#include "app/ClockSweepDlg.h"
#include "app/Label.h"
#include "app/Resource.h"
#include "app/SweepPlot.h"
#include "controls/RgbColor.h"

#include <QLabel>
#include <QLineEdit>

#include <filesystem>

using namespace App;

namespace
{
class BatchStopTest : public DialogTest
{
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        Tavik::Box::SetSleepFunction([this](unsigned ms)
                                     { m_Clock.Advance(std::chrono::milliseconds(ms)); });
        SimBox().SetEncoder(FTD2xx::EncoderModel{});
        Click(IDC_BT_CONNECT);
        Click(IDC_BT_POWER);
        ASSERT_EQ(Dlg().GetGuiState(), GS_POWERED);
    }
    // Runs the batch dialog from the main window's button; `use` drives it while it is open.
    void RunBatch(const std::function<void(CBatchSampleDlg&)>& use)
    {
        Dlg().SetBatchDialogRunner(
            [&](CBatchSampleDlg& batch)
            {
                batch.SetUnsavedQuestion(
                    [this](QWidget*, std::size_t n)
                    {
                        m_Asked.push_back(n);
                        return m_Answer;
                    });
                ASSERT_TRUE(WindowInput::Show(&batch));
                use(batch);
            });
        WindowInput::Click(Item<QWidget>(IDC_BT_BATCHSAMPLE));
    }
    void Tick(CBatchSampleDlg& batch, int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i)
        {
            m_Clock.Advance(std::chrono::milliseconds(CBatchSampleDlg::kTimerPeriodMs));
            batch.OnTimer();
        }
    }

    std::vector<std::size_t> m_Asked;
    CBatchSampleDlg::Unsaved m_Answer = CBatchSampleDlg::Unsaved::Cancel;
};

TEST_F(BatchStopTest, StopKeepsAStalledRunWhichIsSavedAndExitAsksAboutUnsavedReadings)
{
    FTD2xx::SimulatorFaults faults;
    faults.stallAfter = 5000;
    SimBox().SetFaults(faults);
    const std::string path = std::filesystem::absolute("Stalled.log").string();
    RunBatch(
        [&](CBatchSampleDlg& batch)
        {
            WindowInput::Type(batch.Item<QLineEdit>(IDC_ED_SAMPLECOUNT), "100000", false);
            WindowInput::Click(batch.GetDlgItem(IDC_BT_START));
            ASSERT_TRUE(batch.IsTimerRunning());
            EXPECT_TRUE(batch.GetDlgItem(IDC_BT_STOP)->isEnabled());
            Tick(batch, 15);
            const QString progress = batch.Item<QLabel>(IDC_ST_PROGRESS)->text();
            EXPECT_TRUE(progress.startsWith("5,000 of 100,000 readings\nNo reading for "))
                << progress.toStdString();

            WindowInput::Click(batch.GetDlgItem(IDC_BT_STOP));
            EXPECT_FALSE(batch.IsTimerRunning());
            EXPECT_FALSE(SimBox().IsStreaming());
            EXPECT_EQ(batch.GetRun().GetBuffer().size(), 5000u);

            // Exit with readings not saved: Cancel keeps the dialog, Save saves and closes.
            WindowInput::Click(batch.GetDlgItem(IDC_BT_EXIT));
            EXPECT_EQ(m_Asked, std::vector<std::size_t>{5000});
            EXPECT_TRUE(batch.isVisible());
            m_Answer = CBatchSampleDlg::Unsaved::Save;
            batch.SetFileChooser([&](QWidget*) { return QString::fromStdString(path); });
            WindowInput::Escape(&batch);
            EXPECT_EQ(m_Asked.size(), 2u);
            EXPECT_FALSE(batch.isVisible());
        });
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);
    const std::vector<std::string> lines = History();
    EXPECT_EQ(lines.back(), "Batch Sample closed: 5,000 readings, 50 us apart, not checked, "
                            "saved to " +
                                path + ".");
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
}

TEST_F(BatchStopTest, ADeadEncoderIsGreyNotGreenAndAVanishedBoxEndsAsAnUnplug)
{
    FTD2xx::SimulatorFaults faults;
    faults.dead = FTD2xx::SimulatorFaults::DEAD_ONES;
    SimBox().SetFaults(faults);
    RunBatch(
        [&](CBatchSampleDlg& batch)
        {
            WindowInput::Type(batch.Item<QLineEdit>(IDC_ED_SAMPLECOUNT), "100", false);
            WindowInput::Click(batch.GetDlgItem(IDC_BT_START));
            CLabel* field = batch.GetResultLabel(BatchRun::RESULT_ST_MONOTONY);
            EXPECT_EQ(field->GetBackgroundColor(), zef::Glimra::RGB_COLOR::LIGHTGRAY);
            EXPECT_EQ(field->GetText(), "ST Monotonie: 0");
            EXPECT_EQ(batch.Item<QLabel>(IDC_ST_VERDICT)->text(),
                      "Not checked: no encoder answering");
            SimBox().Unplug();
            WindowInput::Click(batch.GetDlgItem(IDC_BT_START));
            m_Answer = CBatchSampleDlg::Unsaved::Discard;
            WindowInput::Click(batch.GetDlgItem(IDC_BT_EXIT));
        });
    EXPECT_EQ(Dlg().GetGuiState(), GS_WAITING);
    EXPECT_EQ(History().back(),
              "Error: Batch sampling stopped: box SIM00001 unplugged - waiting for it to return.");
}

TEST_F(BatchStopTest, TheSweepSaysWhatIsWrongWithAnEditAndAStoppedSweepRecommendsNothing)
{
    bool ran = false;
    Dlg().SetSweepDialogRunner(
        [&](CClockSweepDlg& sweep)
        {
            ran = true;
            ASSERT_TRUE(WindowInput::Show(&sweep));
            auto* result = sweep.Item<QLabel>(IDC_ST_SWEEP_RESULT);
            WindowInput::Type(sweep.Item<QLineEdit>(IDC_ED_SWEEP_FROM), "abc");
            EXPECT_EQ(result->text(), "From: \"abc\" is not a whole number.");
            EXPECT_FALSE(sweep.GetDlgItem(IDC_BT_SWEEP_START)->isEnabled());
            WindowInput::Type(sweep.Item<QLineEdit>(IDC_ED_SWEEP_FROM), "3000000");
            EXPECT_EQ(result->text(), "From must not be above To.");
            WindowInput::Type(sweep.Item<QLineEdit>(IDC_ED_SWEEP_FROM), "250000");
            ASSERT_TRUE(sweep.GetDlgItem(IDC_BT_SWEEP_START)->isEnabled());

            WindowInput::Click(sweep.GetDlgItem(IDC_BT_SWEEP_START));
            for (int i = 0; i < 100 && sweep.GetSweep().GetView().done == 0; ++i)
            {
                m_Clock.Advance(std::chrono::milliseconds(CClockSweepDlg::kTimerPeriodMs));
                sweep.OnTimer();
            }
            ASSERT_GT(sweep.GetSweep().GetView().done, 0u);
            WindowInput::Click(sweep.GetDlgItem(IDC_BT_SWEEP_STOP));
            EXPECT_EQ(result->text(), "Sweep stopped: no recommendation.");
            EXPECT_FALSE(sweep.GetDlgItem(IDC_BT_SWEEP_APPLY)->isEnabled());
            WindowInput::Click(sweep.GetDlgItem(IDC_BT_SWEEP_CLOSE));
        });
    WindowInput::ChooseMenu(&Dlg(), Dlg().GetMenuAction(IDM_CLOCK_SWEEP));
    EXPECT_TRUE(ran);
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
}

TEST(SweepPlotGeometry, CleanClocksSitInTheirBandBelowTheScaleAndLabelsNeverOverlap)
{
    SweepAxes axes{.left = 0, .top = 10, .width = 100, .height = 50, .zeroGap = 6, .zeroBand = 8};
    EXPECT_DOUBLE_EQ(axes.RateY(1), 10);
    EXPECT_DOUBLE_EQ(axes.RateY(1e-5), 60);
    EXPECT_DOUBLE_EQ(axes.RateY(1e-9), 60); // below the scale: on its bottom line, not in the band
    EXPECT_DOUBLE_EQ(axes.RateY(0), 70);

    // Ten labels 12 wide, 10 apart: every other one fits, and the last always shows.
    std::vector<double> centres;
    for (int i = 0; i < 10; ++i)
        centres.push_back(10.0 * i);
    const std::vector<double> widths(10, 12);
    const std::vector<std::size_t> kept = SpacedLabels(centres, widths, 2);
    EXPECT_EQ(kept.front(), 0u);
    EXPECT_EQ(kept.back(), 9u);
    for (std::size_t k = 1; k < kept.size(); ++k)
        EXPECT_GE(centres[kept[k]] - centres[kept[k - 1]], 14.0);
}

} // namespace
