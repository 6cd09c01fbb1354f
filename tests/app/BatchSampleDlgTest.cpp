// The batch dialog against a simulated box on a manual clock: its rendering of the run, the
// file dialogs and message boxes, how it closes, and the main window around it.
#include "DialogTestSupport.h"

#include "app/AnalysisDlg.h"
#include "app/BatchSampleDlg.h"
#include "app/Label.h"
#include "app/Resource.h"
#include "app/core/CsvFile.h"
#include "controls/RgbColor.h"
#include "controls/RunPlotCtrl.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace App;
using zef::Glimra::RGB_COLOR;
namespace fs = std::filesystem;

namespace
{

// A folder in which no file can be created, by root neither (through the immutable flag).
class UnwritableFolder
{
public:
    explicit UnwritableFolder(fs::path path) : m_Path(std::move(path))
    {
        fs::create_directory(m_Path);
        fs::permissions(m_Path, fs::perms::owner_read | fs::perms::owner_exec);
        if (::geteuid() != 0)
            return;
        m_Fd = ::open(m_Path.c_str(), O_RDONLY | O_DIRECTORY);
        if (m_Fd >= 0 && ::ioctl(m_Fd, FS_IOC_GETFLAGS, &m_Flags) == 0)
        {
            m_Flags |= FS_IMMUTABLE_FL;
            m_Immutable = ::ioctl(m_Fd, FS_IOC_SETFLAGS, &m_Flags) == 0;
        }
    }
    ~UnwritableFolder()
    {
        if (m_Immutable)
        {
            m_Flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_Fd, FS_IOC_SETFLAGS, &m_Flags);
        }
        if (m_Fd >= 0)
            ::close(m_Fd);
        fs::permissions(m_Path, fs::perms::owner_all);
        fs::remove_all(m_Path);
    }
    const fs::path& Path() const { return m_Path; }
    bool IsUnwritable() const { return ::geteuid() != 0 || m_Immutable; }

private:
    fs::path m_Path;
    int m_Fd = -1;
    int m_Flags = 0;
    bool m_Immutable = false;
};

class BatchSampleDlgTest : public DialogTest
{
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        Tavik::Box::SetSleepFunction([this](unsigned ms)
                                     { m_Clock.Advance(std::chrono::milliseconds(ms)); });
        FTD2xx::EncoderModel encoder; // 13 + 12 bits, 60 rpm forward
        SimBox().SetEncoder(encoder);
        ASSERT_EQ(m_Box.Open(0), Tavik::Box::OK);
        ASSERT_EQ(m_Box.SetPowerMode(Tavik::Box::PWR_INTERNAL), Tavik::Box::OK);
    }
    void TearDown() override
    {
        m_Batch.reset();
        m_Box.Close();
        DialogTest::TearDown();
    }

    CBatchSampleDlg& Batch()
    {
        if (!m_Batch)
        {
            m_Batch = std::make_unique<CBatchSampleDlg>(m_Box, 13, 12, false, nullptr, m_Clock);
            m_Batch->SetErrorBox([this](QWidget*, const QString& text)
                                 { m_Errors.push_back(text.toStdString()); });
            m_Batch->SetUnsavedQuestion(
                [this](QWidget*, std::size_t readings)
                {
                    m_Asked.push_back(readings);
                    return m_Answer;
                });
            EXPECT_TRUE(WindowInput::Show(m_Batch.get()));
        }
        return *m_Batch;
    }
    // Presses a button of the batch dialog with the mouse.
    void Press(int id) { WindowInput::Click(Batch().GetDlgItem(id)); }
    // Types into an edit as the user does, then leaves it.
    void Enter(int id, const char* text) { WindowInput::Type(Batch().Item<QLineEdit>(id), text); }
    bool IsRed(int id)
    {
        return Batch().Item<QLineEdit>(id)->palette().color(QPalette::Base) ==
               CLabel::ToQColor(RGB_COLOR::LIGHTRED);
    }
    std::optional<unsigned> Colour(BatchRun::ResultField field)
    {
        return Batch().GetResultLabel(field)->GetBackgroundColor();
    }
    std::vector<std::size_t> m_Asked; // "Save the N readings?" questions
    CBatchSampleDlg::Unsaved m_Answer = CBatchSampleDlg::Unsaved::Discard;
    std::vector<std::string> BatchHistory()
    {
        std::vector<std::string> lines;
        const CHistoryList& list = Batch().GetHistory();
        for (int i = 0; i < list.GetCount(); ++i)
            lines.push_back(list.GetLine(i).toStdString());
        return lines;
    }
    void RunToTheEnd()
    {
        while (Batch().IsTimerRunning())
        {
            m_Clock.Advance(std::chrono::milliseconds(CBatchSampleDlg::kTimerPeriodMs));
            Batch().OnTimer();
        }
    }
    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Tavik::Box m_Box;
    std::unique_ptr<CBatchSampleDlg> m_Batch;
    std::vector<std::string> m_Errors;
};

TEST_F(BatchSampleDlgTest, OutOfRangeDelayIsRedUntilValid)
{
    Enter(IDC_ED_SAMPLEDELAY, "9");
    EXPECT_TRUE(IsRed(IDC_ED_SAMPLEDELAY));
    Enter(IDC_ED_SAMPLEDELAY, "4096");
    EXPECT_TRUE(IsRed(IDC_ED_SAMPLEDELAY));
    Enter(IDC_ED_SAMPLEDELAY, "50");
    EXPECT_FALSE(IsRed(IDC_ED_SAMPLEDELAY));
}

TEST_F(BatchSampleDlgTest, RunInOneTransactionIsCheckedWithoutTimer)
{
    Enter(IDC_ED_SAMPLECOUNT, "100");
    Press(IDC_BT_START);
    EXPECT_FALSE(Batch().IsTimerRunning());
    EXPECT_EQ(Colour(BatchRun::RESULT_ST_STEP), RGB_COLOR::LIGHTGREEN);
    EXPECT_EQ(BatchHistory().back(), "Check finished");
}

TEST_F(BatchSampleDlgTest, AnalysisOpensAfterACheckAndShowsTheChosenEvent)
{
    EXPECT_FALSE(Batch().GetDlgItem(IDC_BT_ANALYSIS)->isEnabled());
    Enter(IDC_ED_SAMPLECOUNT, "100");
    Press(IDC_BT_START);
    Press(IDC_BT_ANALYSIS);
    ASSERT_NE(Batch().GetAnalysisDlg(), nullptr);

    Analysis analysis = Batch().GetRun().GetAnalysis();
    AnalysisEvent event;
    event.cls = EVENT_SPIKE;
    event.first = 60;
    analysis.events = {AnalysisEvent{}, event};
    CAnalysisDlg view(Batch().GetRun().GetBuffer(), analysis, Batch().GetRun().GetAnalysisConfig());
    EXPECT_EQ(view.PositionPlot().GetRange().Span(), 100);
    view.ChooseEvent(1);
    for (const zef::Glimra::RunPlotCtrl* plot : {&view.PositionPlot(), &view.StepPlot()})
    {
        const zef::Glimra::IndexRange range = plot->GetRange();
        EXPECT_TRUE(range.first < 60 && range.last > 61 && range.Span() < 50);
    }
}

TEST_F(BatchSampleDlgTest, LongRunDisablesTheDialogUntilItEnds)
{
    Press(IDC_BT_START); // 10,000 readings
    ASSERT_TRUE(Batch().IsTimerRunning());
    EXPECT_FALSE(Batch().GetDlgItem(IDC_BT_START)->isEnabled());
    EXPECT_FALSE(Batch().GetDlgItem(IDC_RD_MONO_ST_AUTODETECT)->isEnabled());
    EXPECT_TRUE(Batch().GetDlgItem(IDC_ED_SAMPLECOUNT)->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    RunToTheEnd();
    EXPECT_TRUE(Batch().GetDlgItem(IDC_BT_START)->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Batch().Item<QProgressBar>(IDC_PR_BUFFER)->value(), 10000);
}

TEST_F(BatchSampleDlgTest, GlitchesShowAsRedFieldsAndNameTheirIndexes)
{
    FTD2xx::SimulatorFaults faults;
    faults.glitchEvery = 25000; // readings 24999, 49999, ... show MT's top bit flipped
    SimBox().SetFaults(faults);
    WindowInput::Click(Batch().GetDlgItem(IDC_RD_MONO_MT_NOTEST + MONO_ASC));
    Enter(IDC_ED_SAMPLECOUNT, "100000");
    Enter(IDC_ED_ERRORLIMIT, "999");
    Press(IDC_BT_START);
    RunToTheEnd();

    EXPECT_EQ(Colour(BatchRun::RESULT_MT_STEP), RGB_COLOR::LIGHTRED);
    EXPECT_EQ(Colour(BatchRun::RESULT_MT_TURNS), RGB_COLOR::LIGHTRED);
    EXPECT_EQ(Colour(BatchRun::RESULT_MT_MONOTONY), RGB_COLOR::LIGHTGREEN);
    EXPECT_EQ(Colour(BatchRun::RESULT_ST_STEP), RGB_COLOR::LIGHTGREEN);
    EXPECT_EQ(Colour(BatchRun::RESULT_ST_TURNS), RGB_COLOR::LIGHTGREEN);
    std::vector<std::size_t> named;
    for (const std::string& line : BatchHistory())
    {
        std::size_t before = 0, index = 0;
        if (std::sscanf(line.c_str(),
                        "Step error: Distance between MT-Value[%zu] and MT-Value[%zu]", &before,
                        &index) == 2)
            named.push_back(index);
    }
    EXPECT_EQ(named, (std::vector<std::size_t>{24999, 25000, 49999, 50000, 74999, 75000, 99999}));
}

TEST_F(BatchSampleDlgTest, SavesTheRunWithItsDelay)
{
    bool asked = false;
    const std::string path =
        fs::absolute("BatchSave-" + std::to_string(::getpid()) + ".log").string();
    Batch().SetFileChooser(
        [&](QWidget*)
        {
            asked = true;
            return QString::fromStdString(path);
        });
    Press(IDC_BT_SAVEBUFFER);
    EXPECT_FALSE(asked) << "an empty buffer saves nothing";

    SimBox().SetEncoder(FTD2xx::EncoderModel{13, 12, 0.0, false}); // still: equal readings
    Enter(IDC_ED_SAMPLECOUNT, "3");
    Press(IDC_BT_START);
    ASSERT_EQ(Batch().GetRun().GetBuffer().size(), 3u);
    const std::string v = std::to_string(Batch().GetRun().GetBuffer()[0]);
    Press(IDC_BT_SAVEBUFFER);
    EXPECT_EQ(Contents(path),
              "Time [us]; Measurement [dec]\n0," + v + "\n50," + v + "\n100," + v + "\n");
    EXPECT_TRUE(m_Errors.empty());
    fs::remove(path);
}

TEST_F(BatchSampleDlgTest, SaveIntoAnUnwritableFolderShowsTheMessageAndChangesNothing)
{
    const UnwritableFolder folder(fs::absolute("Unwritable-" + std::to_string(::getpid())));
    if (!folder.IsUnwritable())
        GTEST_SKIP() << "cannot make a folder unwritable for root here";
    const QString name = QString::fromStdString((folder.Path() / "SSIBatch.log").string());
    Batch().SetFileChooser([&](QWidget*) { return name; });
    Batch().OnLoadDummyData(); // its button is hidden: a developer's command
    Press(IDC_BT_SAVEBUFFER);
    EXPECT_EQ(m_Errors, std::vector<std::string>{"Cannot open file '" + name.toStdString() +
                                                 "' for writing"});
    EXPECT_TRUE(fs::is_empty(folder.Path()));
}

TEST_F(BatchSampleDlgTest, ExitEscapeAndCloseBoxStopTheRun)
{
    const std::function<void(CBatchSampleDlg&)> ways[] = {
        [](CBatchSampleDlg& dlg) { WindowInput::Click(dlg.GetDlgItem(IDC_BT_EXIT)); },
        [](CBatchSampleDlg& dlg) { WindowInput::Escape(&dlg); },
        [](CBatchSampleDlg& dlg) { dlg.windowHandle()->close(); }, // the close box
    };
    for (const auto& close : ways)
    {
        m_Batch.reset();
        WindowInput::Click(Batch().GetDlgItem(IDC_BT_START));
        ASSERT_TRUE(SimBox().IsStreaming());
        close(Batch());
        EXPECT_FALSE(SimBox().IsStreaming());
        EXPECT_FALSE(Batch().IsTimerRunning());
        EXPECT_FALSE(Batch().isVisible());
    }
}

// The History group box is built after the list: the list must still be on top of it.
TEST_F(BatchSampleDlgTest, HistoryScrollsWithTheWheel)
{
    for (int i = 0; i < 40; ++i)
        AddHistory(Batch().GetHistory(), "line " + std::to_string(i));
    const int top = Batch().GetHistory().GetTopIndex();
    WindowInput::Wheel(&Batch().GetHistory(), 1);
    EXPECT_LT(Batch().GetHistory().GetTopIndex(), top);
}

TEST_F(DialogTest, BatchSampleRunsTheDialogInBatchState)
{
    Click(IDC_BT_CONNECT);
    Click(IDC_BT_POWER);
    ASSERT_EQ(Dlg().GetGuiState(), GS_POWERED);
    GuiState during = GS_INIT;
    Dlg().SetBatchDialogRunner(
        [&](CBatchSampleDlg& batch)
        {
            // Shown modal, as exec() would; the main window no longer takes input.
            ASSERT_TRUE(WindowInput::Show(&batch));
            ASSERT_EQ(QApplication::activeModalWidget(), &batch);
            during = Dlg().GetGuiState();
            WindowInput::Click(batch.GetDlgItem(IDC_BT_START));
            EXPECT_TRUE(batch.GetRun().HasReadings());
            while (batch.IsTimerRunning()) // the buttons come back when the run is complete
            {
                m_Clock.Advance(std::chrono::milliseconds(CBatchSampleDlg::kTimerPeriodMs));
                batch.OnTimer();
            }
            // A CSV file names the box and the run.
            const std::string path = fs::absolute("BatchSave.csv").string();
            batch.SetFileChooser([&](QWidget*) { return QString::fromStdString(path); });
            WindowInput::Click(batch.GetDlgItem(IDC_BT_SAVEBUFFER));
            CsvFile::Contents saved;
            std::string error;
            ASSERT_TRUE(CsvFile::Read(path, saved, error)) << error;
            EXPECT_TRUE(std::ranges::equal(saved.data.readings, batch.GetRun().GetBuffer()));
            EXPECT_EQ(saved.settings.serial, Dlg().GetSession().GetBox().GetSerial());
            EXPECT_EQ(saved.settings.delayUs, batch.GetRun().GetDelay());
            EXPECT_EQ(saved.settings.program.rfind("Tavik ", 0), 0u);
            fs::remove(path);
            WindowInput::Click(batch.GetDlgItem(IDC_BT_EXIT));
        });
    Click(IDC_BT_BATCHSAMPLE);
    EXPECT_EQ(during, GS_BATCH);
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
}

} // namespace
