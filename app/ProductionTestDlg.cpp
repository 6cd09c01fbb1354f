#include "app/ProductionTestDlg.h"

#include "app/Resource.h"
#include "app/core/Formats.h"
#include "app/core/Report.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace App
{

namespace
{
struct OutcomeLook
{
    QColor background;
    QColor text;
};

// Green, red, amber as on a signal; an error of the box and a stop are not the unit's fault
// and stay apart from both.
OutcomeLook LookOf(TestOutcome outcome)
{
    switch (outcome)
    {
    case OUTCOME_PASS:
        return {QColor(0, 140, 60), Qt::white};
    case OUTCOME_MARGINAL:
        return {QColor(255, 176, 0), Qt::black};
    case OUTCOME_FAIL:
        return {QColor(200, 20, 20), Qt::white};
    case OUTCOME_ERROR:
        return {QColor(90, 40, 120), Qt::white};
    default:
        return {QColor(110, 110, 110), Qt::white};
    }
}
} // namespace

CProductionTestDlg::CProductionTestDlg(Tavik::Box& box, HistorySink& history,
                                       const FTD2xx::Clock& clock, Setup setup, QWidget* parent)
    : DialogBase(parent), m_Runner(box, history, clock), m_Setup(std::move(setup))
{
    setWindowTitle(QStringLiteral("Production Test"));
    setModal(true);
    BuildControls();
    setFixedSize(DialogUnitsToPixels(0, 0, 300, 262).size());
    m_Timer.setInterval(kTimerPeriodMs);
    connect(&m_Timer, &QTimer::timeout, this, [this] { Guard([this] { OnTimer(); }); });
    if (!m_Setup.planFile.empty())
        LoadPlan(m_Setup.planFile);
    Render();
    m_Serial->setFocus();
}

CProductionTestDlg::~CProductionTestDlg()
{
    // The box's own settings back, however the dialog goes; a stopped run keeps its record.
    if (m_Runner.IsRunning())
    {
        m_Runner.Stop();
        Finished();
    }
}

void CProductionTestDlg::BuildControls()
{
    const auto caption = [this](const char* text, int x, int y, int w)
    { return Place(new QLabel(QString::fromLatin1(text), this), 0, x, y, w, 8); };
    const auto button = [this](const char* text, int id, int x, int y, int w)
    { return Place(new QPushButton(QString::fromUtf8(text), this), id, x, y, w, 14); };

    caption("Plan", 7, 9, 30);
    m_PlanFile = Place(new QLineEdit(this), IDC_ED_TEST_PLAN, 40, 7, 190, 12);
    m_PlanFile->setReadOnly(true);
    button("Choose…", IDC_BT_TEST_PLAN, 236, 6, 57);
    m_PlanName = Place(new QLabel(this), IDC_ST_TEST_PLAN, 40, 22, 253, 8);
    caption("Operator", 7, 37, 32);
    m_Operator =
        Place(new QLineEdit(ToQ(m_Setup.operatorName), this), IDC_ED_TEST_OPERATOR, 40, 35, 90, 12);
    caption("Part", 140, 37, 20);
    m_Part = Place(new QLineEdit(this), IDC_ED_TEST_PART, 162, 35, 68, 12);

    caption("Serial", 7, 57, 32);
    m_Serial = Place(new QLineEdit(this), IDC_ED_TEST_SERIAL, 40, 53, 190, 16);
    QFont big = m_Serial->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    m_Serial->setFont(big);
    m_Serial->setAccessibleName(QStringLiteral("Serial"));
    button("Start", IDC_BT_TEST_START, 236, 52, 57);
    button("Stop", IDC_BT_TEST_STOP, 236, 68, 57);

    m_Outcome = Place(new QLabel(this), IDC_ST_TEST_OUTCOME, 7, 88, 286, 52);
    m_Outcome->setAlignment(Qt::AlignCenter);
    m_Outcome->setAutoFillBackground(true);
    QFont huge = m_Outcome->font();
    huge.setPointSizeF(huge.pointSizeF() * 4);
    huge.setBold(true);
    m_Outcome->setFont(huge);

    m_Status = Place(new QLabel(this), IDC_ST_TEST_STATUS, 7, 144, 286, 18);
    m_Status->setWordWrap(true);
    m_Progress = Place(new QProgressBar(this), IDC_PR_TEST, 7, 164, 286, 8);
    m_Progress->setTextVisible(false);
    caption("Failed measurements", 7, 176, 150);
    m_Failed = Place(new QListWidget(this), IDC_LB_TEST_FAILED, 7, 186, 286, 50);
    m_Failed->setAccessibleName(QStringLiteral("Failed measurements"));
    button("Open Report", IDC_BT_TEST_REPORT, 172, 242, 57);
    button("Close", IDC_BT_TEST_CLOSE, 236, 242, 57);

    const auto remember = [this]
    {
        m_Setup.operatorName = FromQ(m_Operator->text());
        if (m_Setup.remember)
            m_Setup.remember(m_Setup.planFile, m_Setup.operatorName);
    };
    connect(m_Operator, &QLineEdit::editingFinished, this, [remember] { Guard(remember); });
    OnClicked(IDC_BT_TEST_PLAN, [this] { OnChoosePlan(); });
    OnClicked(IDC_BT_TEST_START, [this] { OnStart(); });
    OnClicked(IDC_BT_TEST_STOP, [this] { OnStop(); });
    OnClicked(IDC_BT_TEST_REPORT, [this] { OnOpenReport(); });
    OnClicked(IDC_BT_TEST_CLOSE, [this] { reject(); });
}

bool CProductionTestDlg::LoadPlan(const std::string& path)
{
    TestPlan plan;
    std::string error;
    if (!LoadTestPlan(path, plan, error))
    {
        m_Message = error;
        m_MessageIsError = true;
        Render();
        return false;
    }
    m_Plan = std::move(plan);
    m_HasPlan = true;
    m_Setup.planFile = path;
    m_Message.clear();
    if (m_Setup.remember)
        m_Setup.remember(m_Setup.planFile, m_Setup.operatorName);
    Render();
    return true;
}

void CProductionTestDlg::OnChoosePlan()
{
    const QString dir =
        m_Setup.planFile.empty() ? QString() : QFileInfo(ToQ(m_Setup.planFile)).absolutePath();
    const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Test Plan"), dir,
                                                      QStringLiteral("Test plans (*.toml)"));
    if (!name.isEmpty())
        LoadPlan(FromQ(name));
    m_Serial->setFocus();
}

void CProductionTestDlg::OnStart()
{
    if (m_Runner.IsRunning())
        return;
    const std::string serial = FromQ(m_Serial->text().trimmed());
    m_MessageIsError = true;
    if (!m_HasPlan)
        m_Message = "Choose a test plan first.";
    else if (serial.empty())
        m_Message = "Scan or type the unit's serial number, then press Enter.";
    else
    {
        // The plan is read again: what runs is what the file says now.
        if (!LoadPlan(m_Setup.planFile))
            return;
        m_Message.clear();
        m_ShowsOutcome = false;
        m_RecordFile.clear();
        m_Failed->clear();
        m_Setup.operatorName = FromQ(m_Operator->text());
        const TestUnit unit{serial, FromQ(m_Part->text().trimmed()), m_Setup.operatorName,
                            m_Setup.station};
        if (m_Runner.Start(m_Plan, unit, m_Setup.programVersion))
            m_Timer.start();
        else
            Finished();
    }
    Render();
}

void CProductionTestDlg::OnStop()
{
    if (!m_Runner.IsRunning())
        return;
    m_Runner.Stop();
    Finished();
}

void CProductionTestDlg::OnTimer()
{
    // Between two steps the next one starts at once; a poll that collects waits for the next
    // tick.
    for (int step = 0; step < 8 && m_Runner.IsRunning(); ++step)
    {
        m_Runner.Poll();
        if (m_Runner.IsStreaming())
            break;
    }
    if (!m_Runner.IsRunning())
        return Finished();
    Render();
}

void CProductionTestDlg::Finished()
{
    m_Timer.stop();
    const TestRecord& record = m_Runner.Record();
    // Saved before anything else happens with it.
    const SpoolWrite saved = WriteTestRecord(record, m_Setup.spoolFolder);
    m_RecordFile = saved.jsonPath;
    m_MessageIsError = !saved.Ok();
    m_Message = saved.Ok() ? "Record: " + saved.jsonPath : saved.error;
    if (record.rootCause && record.outcome != OUTCOME_PASS)
        m_Message = "Root cause: " + *record.rootCause + "\n" + m_Message;
    m_Failed->clear();
    for (const std::string& line : FailedLines(record))
        m_Failed->addItem(ToQ(line));
    m_ShowsOutcome = true;
    Render();
    // The scanner's next serial number replaces this one.
    m_Serial->setFocus();
    m_Serial->selectAll();
}

void CProductionTestDlg::OnOpenReport()
{
    if (m_RecordFile.empty() || m_Runner.IsRunning())
        return;
    // Beside the record, so that the page and its record stay together.
    std::string html = m_RecordFile;
    if (html.ends_with(".json"))
        html.resize(html.size() - 5);
    html += ".html";
    const std::string error = WriteReport(m_RecordFile, html);
    if (!error.empty())
    {
        m_Message = "The report could not be written: " + error;
        m_MessageIsError = true;
        Render();
        return;
    }
    if (m_Setup.showReport)
        m_Setup.showReport(html);
}

void CProductionTestDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter in the serial field starts the unit: a barcode scanner ends each code with it.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_Serial->hasFocus())
    {
        event->accept();
        Guard([this] { OnStart(); });
        return;
    }
    DialogBase::keyPressEvent(event);
}

void CProductionTestDlg::reject()
{
    if (m_Runner.IsRunning())
    {
        m_Runner.Stop();
        Finished();
    }
    m_Timer.stop();
    DialogBase::reject();
}

void CProductionTestDlg::Render()
{
    const bool running = m_Runner.IsRunning();
    const TestRunner::View view = m_Runner.GetView();
    m_PlanFile->setText(ToQ(m_Setup.planFile));
    m_PlanName->setText(m_HasPlan ? ToQ(m_Plan.name + ", version " + m_Plan.version + ", " +
                                        std::to_string(m_Plan.steps.size()) +
                                        (m_Plan.steps.size() == 1 ? " step" : " steps"))
                                  : QStringLiteral("No plan chosen."));
    for (int id : {IDC_BT_TEST_PLAN, IDC_ED_TEST_OPERATOR, IDC_ED_TEST_PART})
        GetDlgItem(id)->setEnabled(!running);
    m_Serial->setReadOnly(running);
    GetDlgItem(IDC_BT_TEST_START)->setEnabled(!running && m_HasPlan);
    GetDlgItem(IDC_BT_TEST_STOP)->setEnabled(running);
    GetDlgItem(IDC_BT_TEST_CLOSE)->setEnabled(true);
    GetDlgItem(IDC_BT_TEST_REPORT)->setEnabled(!running && !m_RecordFile.empty());

    QString outcome;
    OutcomeLook look{palette().color(QPalette::Window), palette().color(QPalette::WindowText)};
    if (running)
        outcome = QStringLiteral("TESTING");
    else if (m_ShowsOutcome)
    {
        outcome = QString::fromLatin1(TestOutcomeName(m_Runner.Record().outcome));
        look = LookOf(m_Runner.Record().outcome);
    }
    QPalette palette = m_Outcome->palette();
    palette.setColor(QPalette::Window, look.background);
    palette.setColor(QPalette::WindowText, look.text);
    m_Outcome->setPalette(palette);
    m_Outcome->setText(outcome);

    QString status;
    if (running)
        status = QStringLiteral("Step %1 of %2: %3%4")
                     .arg(view.step + 1)
                     .arg(view.steps)
                     .arg(ToQ(view.stepName))
                     .arg(view.attempt > 1 ? QStringLiteral(", attempt %1").arg(view.attempt)
                                           : QString());
    else
        status = ToQ(m_Message);
    QPalette statusPalette = this->palette();
    if (!running && m_MessageIsError && !m_Message.empty())
        statusPalette.setColor(QPalette::WindowText, Qt::darkRed);
    m_Status->setPalette(statusPalette);
    m_Status->setText(status);
    const int steps = int(std::max<std::size_t>(view.steps, 1));
    m_Progress->setRange(0, steps * 1000);
    const double part =
        view.readingsMax ? double(view.readingsPos) / double(view.readingsMax) : 0.0;
    m_Progress->setValue(running ? int((double(view.step) + part) * 1000)
                                 : (m_ShowsOutcome ? steps * 1000 : 0));
}

} // namespace App
