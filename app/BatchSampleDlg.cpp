#include "app/BatchSampleDlg.h"

#include "app/AnalysisDlg.h"

#include "app/HistoryList.h"
#include "app/Label.h"
#include "app/Resource.h"
#include "app/core/Formats.h"
#include "controls/RgbColor.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace App
{

using zef::Glimra::RGB_COLOR;

namespace
{
constexpr std::array<int, kBatchValues> kEditIds = {IDC_ED_SAMPLEDELAY, IDC_ED_SAMPLECOUNT,
                                                    IDC_ED_MTSTEPSIZE, IDC_ED_STSTEPSIZE,
                                                    IDC_ED_ERRORLIMIT};
constexpr std::array<int, BatchRun::kResultFields> kResultIds = {
    IDC_ST_RESULT_MTMONOTONY, IDC_ST_RESULT_STMONOTONY, IDC_ST_RESULT_MTSTEP,
    IDC_ST_RESULT_STSTEP,     IDC_ST_RESULT_MTTURNS,    IDC_ST_RESULT_STTURNS};
constexpr const char* kMonotonyTexts[4] = {"No Test", "Ascending", "Descending", "Autodetect"};
constexpr std::array<const char*, BatchRun::kResultFields> kResultTexts = {
    "MT Monotonie", "ST Monotonie", "MT Step Size", "ST Step Size", "", ""};
// A check that could not check anything is neither green nor red.
constexpr unsigned kNotCheckedColour = RGB_COLOR::LIGHTGRAY;
constexpr int kProgressSteps = 1000;

QString DefaultChooseFile(QWidget* parent)
{
    QFileDialog dialog(parent);
    CBatchSampleDlg::ConfigureSaveDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void DefaultShowError(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("Error"), text);
}

CBatchSampleDlg::Unsaved DefaultAskUnsaved(QWidget* parent, std::size_t readings)
{
    const auto answer = QMessageBox::question(
        parent, QStringLiteral("Batch Sample"),
        QStringLiteral("Save the %1 readings?").arg(ToQ(FormatCount(readings))),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    return answer == QMessageBox::Save      ? CBatchSampleDlg::Unsaved::Save
           : answer == QMessageBox::Discard ? CBatchSampleDlg::Unsaved::Discard
                                            : CBatchSampleDlg::Unsaved::Cancel;
}
} // namespace

void CBatchSampleDlg::ConfigureSaveDialog(QFileDialog& dialog)
{
    dialog.setWindowTitle(QStringLiteral("Save Sampled Data As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt separates patterns by blanks and takes them from the last parentheses; with the
    // details hidden, each filter shows its name exactly as written before them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QStringLiteral("Logfiles (*.dat;*.log;*.txt) (*.dat *.log *.txt)"),
                           QStringLiteral("All Files (*.*) (*)"),
                           QStringLiteral("CSV Files (*.csv) (*.csv)"),
                           QStringLiteral("HDF5 Files (*.h5) (*.h5)")});
    dialog.selectFile(QStringLiteral("SSIBatch.log"));
    // Overwriting asks first: Qt's default, kept by not setting DontConfirmOverwrite.
}

CBatchSampleDlg::CBatchSampleDlg(Tavik::Box& box, unsigned stBits, unsigned mtBits, bool gray,
                                 QWidget* parent, const FTD2xx::Clock& clock)
    : DialogBase(parent), m_History(new CHistoryList(this)),
      m_Run(box, *m_History, stBits, mtBits, gray, clock), m_ChooseFile(DefaultChooseFile),
      m_ShowError(DefaultShowError), m_AskUnsaved(DefaultAskUnsaved)
{
    setWindowTitle(QStringLiteral("Batch Sample"));
    setModal(true);
    BuildControls();
    const QRect size = DialogUnitsToPixels(0, 0, 340, 333);
    setFixedSize(size.size());

    m_Timer.setInterval(kTimerPeriodMs);
    connect(&m_Timer, &QTimer::timeout, this, [this] { Guard([this] { OnTimer(); }); });

    ResetControls();
    m_Run.Open();
    Render();
}

CBatchSampleDlg::~CBatchSampleDlg()
{
    m_Analysis.reset(); // it borrows the run's buffer
    // Never leave the box streaming, however the dialog goes.
    m_Run.Stop();
    SetWaitCursor(false);
}

void CBatchSampleDlg::BuildControls()
{
    const auto group = [this](const char* title, int x, int y, int w, int h)
    { return Place(new QGroupBox(QString::fromLatin1(title), this), 0, x, y, w, h); };
    const auto caption = [this](const char* text, int x, int y, int w)
    { return Place(new QLabel(QString::fromLatin1(text), this), 0, x, y, w, 8); };
    const auto button = [this](const char* text, int id, int x, int y, int w)
    { return Place(new QPushButton(QString::fromLatin1(text), this), id, x, y, w, 14); };
    const auto edit = [this](BatchValue e, int x, int y, int w)
    {
        auto* line = Place(new QLineEdit(this), kEditIds[e], x, y, w, 12);
        line->setMaxLength(BatchRange(e).maxChars);
        m_Edits[e] = line;
        connect(line, &QLineEdit::textEdited, this,
                [this, e](const QString& text) { m_Form.SetText(e, FromQ(text)); });
        return line;
    };
    const auto result = [this](BatchRun::ResultField f, const char* text, int x, int y, int w)
    {
        auto* label = Place(
            new CLabel(QString::fromLatin1(text), this, CLabel::SS_CENTER | CLabel::SS_CENTERIMAGE),
            kResultIds[f], x, y, w, 12);
        label->SetSunkenEdge(true);
        m_Results[f] = label;
    };

    // Group boxes first: later siblings are drawn above them.
    group("Sample Parameter", 7, 7, 160, 66);
    group("Mesasurement Buffer", 173, 7, 160, 66);
    group("Code Test", 7, 78, 326, 76);
    group("MT Monotonie", 14, 89, 70, 58);
    group("ST Monotonie", 90, 89, 70, 58);
    group("Result", 7, 159, 326, 44);
    group("History", 7, 208, 326, 100);

    caption("Sample Delay", 14, 22, 60);
    edit(BATCH_DELAY, 76, 20, 36);
    caption("\xB5s", 116, 22, 12);
    caption("Sample Count", 14, 38, 60);
    edit(BATCH_COUNT, 76, 36, 50);
    button("Start", IDC_BT_START, 14, 53, 50);
    button("Stop", IDC_BT_STOP, 68, 53, 50);

    m_Progress = Place(new QProgressBar(this), IDC_PR_BUFFER, 180, 22, 146, 12);
    m_Progress->setTextVisible(false);
    // Readings of total, then rate and time left, or how long nothing came.
    m_ProgressText = Place(new QLabel(this), IDC_ST_PROGRESS, 180, 35, 146, 17);
    m_ProgressText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    button("Save Buffer", IDC_BT_SAVEBUFFER, 180, 53, 60);
    button("LoadDummyData", IDC_BT_LOADDUMMYDATA, 266, 53, 60)->hide();

    for (int part = 0; part < 2; ++part)
    {
        auto* radios = new QButtonGroup(this);
        const int first = part == 0 ? IDC_RD_MONO_MT_NOTEST : IDC_RD_MONO_ST_NOTEST;
        for (int k = 0; k < 4; ++k)
            Radio(kMonotonyTexts[k], first + k, 20 + 76 * part, 100 + 11 * k, 60, radios);
    }
    caption("MT Step Size", 168, 94, 58);
    edit(BATCH_MT_STEP, 228, 92, 16);
    caption("ST Step Size", 168, 110, 58);
    edit(BATCH_ST_STEP, 228, 108, 16);
    caption("Stop after", 168, 126, 44);
    edit(BATCH_ERROR_LIMIT, 214, 124, 20);
    caption("errors", 238, 126, 30);
    button("Check again", IDC_BT_CHECKAGAIN, 270, 92, 56);
    button("Analysis", IDC_BT_ANALYSIS, 270, 110, 56);

    result(BatchRun::RESULT_MT_MONOTONY, "MT Monotonie", 14, 171, 74);
    result(BatchRun::RESULT_ST_MONOTONY, "ST Monotonie", 94, 171, 74);
    result(BatchRun::RESULT_MT_STEP, "MT Step Size", 174, 171, 74);
    result(BatchRun::RESULT_ST_STEP, "ST Step Size", 254, 171, 72);
    caption("MT Turns", 14, 188, 40);
    result(BatchRun::RESULT_MT_TURNS, "", 54, 186, 34);
    caption("ST Turns", 94, 188, 40);
    result(BatchRun::RESULT_ST_TURNS, "", 134, 186, 34);
    m_Verdict = Place(new QLabel(this), IDC_ST_VERDICT, 174, 187, 152, 10);

    Place(m_History, IDC_LB_HISTORY, 14, 220, 312, 82);
    m_History->raise(); // built before its group box, which would take the wheel
    button("Exit", IDC_BT_EXIT, 273, 313, 60);

    for (BatchValue e : {BATCH_DELAY, BATCH_COUNT, BATCH_MT_STEP, BATCH_ST_STEP})
        CommitOnFocusOut(m_Edits[e], [this] { OnValidateEdits(); });
    OnClicked(IDC_BT_START, [this] { OnStart(); });
    OnClicked(IDC_BT_STOP, [this] { OnStop(); });
    OnClicked(IDC_BT_SAVEBUFFER, [this] { OnSaveBuffer(); });
    OnClicked(IDC_BT_LOADDUMMYDATA, [this] { OnLoadDummyData(); });
    OnClicked(IDC_BT_CHECKAGAIN, [this] { OnCheckAgain(); });
    OnClicked(IDC_BT_EXIT, [this] { OnExit(); });
    OnClicked(IDC_BT_ANALYSIS, [this] { OnAnalysis(); });
}

void CBatchSampleDlg::ResetControls()
{
    m_Form.Reset();
    for (std::size_t e = 0; e < kBatchValues; ++e)
        m_Edits[e]->setText(ToQ(m_Form.Text(BatchValue(e))));
    Item<QRadioButton>(IDC_RD_MONO_MT_AUTODETECT)->setChecked(true);
    Item<QRadioButton>(IDC_RD_MONO_ST_AUTODETECT)->setChecked(true);
}

void CBatchSampleDlg::SyncMonotony()
{
    for (const BatchForm::Part part : {BatchForm::PART_MT, BatchForm::PART_ST})
    {
        const int first =
            part == BatchForm::PART_MT ? IDC_RD_MONO_MT_NOTEST : IDC_RD_MONO_ST_NOTEST;
        const int checked = CheckedRadio({first, first + 1, first + 2, first + 3});
        m_Form.SetMonotony(part, checked == 0 ? std::nullopt
                                              : std::optional<MONOTONY>(MONOTONY(checked - first)));
    }
}

void CBatchSampleDlg::SetWaitCursor(bool on)
{
    if (on == m_WaitCursor)
        return;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    m_WaitCursor = on;
}

void CBatchSampleDlg::Render()
{
    const BatchRun::View view = m_Run.GetView();
    const bool ready = view.state == BatchRun::BATCH_READY;

    for (const int id : {IDC_BT_START, IDC_BT_SAVEBUFFER, IDC_BT_LOADDUMMYDATA, IDC_BT_CHECKAGAIN,
                         IDC_ED_MTSTEPSIZE, IDC_ED_STSTEPSIZE, IDC_ED_ERRORLIMIT})
        GetDlgItem(id)->setEnabled(ready);
    for (int id = IDC_RD_MONO_MT_NOTEST; id <= IDC_RD_MONO_ST_AUTODETECT; ++id)
        GetDlgItem(id)->setEnabled(ready);
    // A check leaves a result; a new run or check clears it until it is done.
    GetDlgItem(IDC_BT_ANALYSIS)->setEnabled(ready && view.results[BatchRun::RESULT_MT_TURNS].shown);
    const bool parameters = view.state != BatchRun::BATCH_BOX_ERROR;
    m_Edits[BATCH_DELAY]->setEnabled(parameters);
    m_Edits[BATCH_COUNT]->setEnabled(parameters);

    const bool sampling = view.state == BatchRun::BATCH_SAMPLING;
    GetDlgItem(IDC_BT_STOP)->setEnabled(sampling);
    SetWaitCursor(sampling);
    if (sampling && !m_Timer.isActive())
        m_Timer.start();
    else if (!sampling)
        m_Timer.stop();

    for (std::size_t e = 0; e < kBatchValues; ++e)
    {
        QPalette palette = this->palette();
        if (!m_Form.Valid(BatchValue(e)))
            palette.setColor(QPalette::Base, CLabel::ToQColor(RGB_COLOR::LIGHTRED));
        m_Edits[e]->setPalette(palette);
    }

    // A range of 0 to 0 would make the bar a busy indicator.
    m_Progress->setRange(0, std::max(1, int(view.progressMax)));
    m_Progress->setValue(int(view.progressPos));
    QString progress;
    if (view.progressMax > 0)
        progress = QStringLiteral("%1 of %2 readings")
                       .arg(ToQ(FormatCount(view.progressPos)), ToQ(FormatCount(view.progressMax)));
    if (sampling && view.stalled)
        progress +=
            QStringLiteral("\nNo reading for %1").arg(ToQ(FormatSeconds(view.secondsSinceReading)));
    else if (sampling && view.ratePerSecond > 0)
        progress += QStringLiteral("\n%1/s, %2 left")
                        .arg(ToQ(FormatCount(static_cast<unsigned long long>(view.ratePerSecond))),
                             ToQ(FormatSeconds(view.secondsLeft)));
    if (m_ProgressText->text() != progress)
        m_ProgressText->setText(progress);
    {
        QPalette stalled = palette();
        if (sampling && view.stalled)
            stalled.setColor(QPalette::WindowText, Qt::darkRed);
        m_ProgressText->setPalette(stalled);
    }

    const unsigned cleared = CLabel::FromQColor(palette().color(QPalette::Button));
    for (std::size_t f = 0; f < BatchRun::kResultFields; ++f)
    {
        const BatchRun::Field& field = view.results[f];
        const unsigned colour = !field.shown ? cleared
                                : field.grey ? kNotCheckedColour
                                : field.ok   ? RGB_COLOR::LIGHTGREEN
                                             : RGB_COLOR::LIGHTRED;
        CLabel* label = m_Results[f];
        if (label->GetBackgroundColor() != colour)
            label->SetBackground(colour);
        // The error fields add their count to their name once a check has run.
        QString text = QString::fromLatin1(kResultTexts[f]);
        if (!field.shown)
            text = f >= BatchRun::RESULT_MT_TURNS ? QString() : text;
        else
            text = f >= BatchRun::RESULT_MT_TURNS ? ToQ(field.text)
                                                  : text + QStringLiteral(": ") + ToQ(field.text);
        if (label->GetText() != text)
            label->SetCaption(text);
        label->setToolTip(field.grey ? ToQ(view.verdict.Text(0)) : QString());
    }
    QString verdict;
    if (view.checked)
    {
        const CodeTester::Result& r = m_Run.GetResult();
        verdict = ToQ(view.verdict.Text(r.GetErrorCount()));
        verdict[0] = verdict[0].toUpper();
    }
    if (m_Verdict->text() != verdict)
        m_Verdict->setText(verdict);
}

bool CBatchSampleDlg::ValidateEdits()
{
    const BatchForm::Validation validation = m_Form.Validate();
    if (validation.newDelay)
        m_Run.WarnAboutDelay(*validation.newDelay);
    return validation.valid;
}

void CBatchSampleDlg::OnValidateEdits()
{
    ValidateEdits();
    Render();
}

void CBatchSampleDlg::OnStart()
{
    if (m_Run.GetState() == BatchRun::BATCH_READY)
    {
        // A start clears the last results, also one that the edits stop.
        m_Run.ClearResults();
        if (ValidateEdits())
        {
            SyncMonotony();
            m_Run.Start(m_Form.Settings());
        }
    }
    Render();
}

void CBatchSampleDlg::OnStop()
{
    m_Run.Stop();
    Render();
}

void CBatchSampleDlg::OnTimer()
{
    // The check at the run's end takes what the edits and radio groups show then.
    SyncMonotony();
    m_Run.SetCheckSettings(m_Form.Check());
    m_Run.Poll();
    Render();
}

void CBatchSampleDlg::OnCheckAgain()
{
    if (m_Run.GetState() != BatchRun::BATCH_READY)
        return;
    SyncMonotony();
    m_Run.SetCheckSettings(m_Form.Check());
    m_Run.Check();
    Render();
}

CAnalysisDlg* CBatchSampleDlg::GetAnalysisDlg() const
{
    return m_Analysis && m_Analysis->isVisible() ? m_Analysis.get() : nullptr;
}

void CBatchSampleDlg::OnAnalysis()
{
    if (!GetDlgItem(IDC_BT_ANALYSIS)->isEnabled())
        return;
    // Window-modal: the buffer it borrows cannot change while it is open.
    m_Analysis = std::make_unique<CAnalysisDlg>(m_Run.GetBuffer(), m_Run.GetAnalysis(),
                                                m_Run.GetAnalysisConfig(), this);
    m_Analysis->setWindowModality(Qt::WindowModal);
    m_Analysis->show();
}

void CBatchSampleDlg::OnLoadDummyData()
{
    m_Run.LoadDummyData();
    Render();
}

void CBatchSampleDlg::OnExit()
{
    m_Run.Stop();
    Render();
    if (m_Run.NeedsSave())
    {
        switch (m_AskUnsaved(this, m_Run.GetBuffer().size()))
        {
        case Unsaved::Cancel:
            return;
        case Unsaved::Save:
            if (!OnSaveBuffer())
                return;
            break;
        case Unsaved::Discard:
            break;
        }
    }
    QDialog::reject();
}

void CBatchSampleDlg::reject()
{
    Guard([this] { OnExit(); });
}

bool CBatchSampleDlg::OnSaveBuffer()
{
    if (!m_Run.HasReadings())
        return false;
    const QString name = m_ChooseFile(this);
    if (name.isEmpty())
        return false;

    std::unique_ptr<QProgressDialog> progress;
    const std::size_t readings = m_Run.GetBuffer().size();
    if (readings >= kProgressReadings)
    {
        progress = std::make_unique<QProgressDialog>(
            QStringLiteral("Saving %1 measurements to '%2' ...").arg(readings).arg(name),
            QStringLiteral("Cancel"), 0, kProgressSteps, this);
        progress->setWindowTitle(windowTitle());
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(300);
        progress->setValue(0);
    }
    const auto report = [&progress](std::size_t done, std::size_t total)
    {
        if (!progress)
            return true;
        // Each step lets the windows paint and the cancel button be pressed.
        progress->setValue(int(done * kProgressSteps / std::max<std::size_t>(total, 1)));
        return !progress->wasCanceled();
    };
    const BatchFile::Error error = m_Run.Save(QFile::encodeName(name).toStdString(), report);
    progress.reset();
    if (error == BatchFile::BATCH_FILE_OPEN)
        m_ShowError(this, QStringLiteral("Cannot open file '%1' for writing").arg(name));
    else if (error == BatchFile::BATCH_FILE_WRITE)
        m_ShowError(this, QStringLiteral("Error while writing to file '%1' for writing").arg(name));
    return error == BatchFile::BATCH_FILE_OK;
}

} // namespace App
