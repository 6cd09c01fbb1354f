#include "app/TavikDlg.h"
#include "app/TavikVersion.h"

#include "app/AboutDlg.h"
#include "app/Artwork.h"
#include "app/BatchSampleDlg.h"
#include "app/ClockSweepDlg.h"
#include "app/HistoryList.h"
#include "app/Label.h"
#include "app/LiveViewDlg.h"
#include "app/ProductionTestDlg.h"
#include "app/Resource.h"
#include "app/SwitchCallBack.h"
#include "app/TavikApp.h"
#include "app/VisualizeAngleDlg.h"
#include "app/VisualizeSegmentDlg.h"
#include "app/core/BatchFile.h"
#include "app/core/Formats.h"
#include "app/core/RecordSpool.h"
#include "app/core/TestRecord.h"
#include "base/IniFile.h"
#include "base/Support.h"
#include "base/XAssertion.h"
#include "link/Proxy.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSettings>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cstdlib>

#include <string>
#include <vector>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
constexpr int CONTINUOUS_PERIOD_MS = 50;
constexpr unsigned CONTINUOUS_TIMER_ID = 1;
constexpr unsigned LAMP_ON = 0x0000FF; // red
constexpr unsigned LAMP_OFF = 0x000000;
constexpr int EDIT_LIMIT = 8;

// Output radio buttons: 1009 + 3 * index, in the order High, Open, Low.
constexpr Box::OUTPUT_MODE OUTPUT_RADIO_MODES[3] = {Box::OUT_HIGH_UB, Box::OUT_OPEN,
                                                    Box::OUT_LOW_GND};
int OutputRadioId(int index, Box::OUTPUT_MODE mode)
{
    const int offset = mode == Box::OUT_HIGH_UB ? 0 : mode == Box::OUT_OPEN ? 1 : 2;
    return IDC_RD_OUT1_HIGH + 3 * index + offset;
}

int PowerRadioId(Box::POWER_MODE mode)
{
    return mode == Box::PWR_EXTERNAL   ? IDC_RD_SSIDEVICE_EXTERNAL
           : mode == Box::PWR_INTERNAL ? IDC_RD_SSIDEVICE_INTERNAL
                                       : IDC_RD_SSIDEVICE_DCDC;
}

} // namespace

int CTavikDlg::ControlId(Control control)
{
    switch (control)
    {
    case Control::DEVICES:
        return IDC_CB_DEVICES;
    case Control::SCAN:
        return IDC_BT_SCAN;
    case Control::CONNECT:
        return IDC_BT_CONNECT;
    case Control::RESET:
        return IDC_BT_RESET;
    case Control::POWER:
        return IDC_BT_POWER;
    case Control::SUPPLY_EXTERNAL:
        return IDC_RD_SSIDEVICE_EXTERNAL;
    case Control::SUPPLY_INTERNAL:
        return IDC_RD_SSIDEVICE_INTERNAL;
    case Control::SUPPLY_DCDC:
        return IDC_RD_SSIDEVICE_DCDC;
    case Control::OUT1_HIGH:
        return IDC_RD_OUT1_HIGH;
    case Control::OUT1_OPEN:
        return IDC_RD_OUT1_OPEN;
    case Control::OUT1_LOW:
        return IDC_RD_OUT1_LOW;
    case Control::OUT2_HIGH:
        return IDC_RD_OUT2_HIGH;
    case Control::OUT2_OPEN:
        return IDC_RD_OUT2_OPEN;
    case Control::OUT2_LOW:
        return IDC_RD_OUT2_LOW;
    case Control::OUT3_HIGH:
        return IDC_RD_OUT3_HIGH;
    case Control::OUT3_OPEN:
        return IDC_RD_OUT3_OPEN;
    case Control::OUT3_LOW:
        return IDC_RD_OUT3_LOW;
    case Control::HEX:
        return IDC_CK_HEX;
    case Control::MODE:
        return IDC_CB_SSIMODE;
    case Control::CLOCK:
        return IDC_CB_SSIFREQUENCE;
    case Control::DATA_FILTER:
        return IDC_ED_DATAFILTER;
    case Control::GRAY_CODE_FILTER:
        return IDC_ED_GRAYCODEFILTER;
    case Control::SPI_WORD:
        return IDC_ED_SPICOMMAND;
    case Control::ST_BITS:
        return IDC_CB_STBITS;
    case Control::MT_BITS:
        return IDC_CB_MTBITS;
    case Control::SINGLE_SAMPLE:
        return IDC_BT_SINGLESAMPLE;
    case Control::BATCH_SAMPLE:
        return IDC_BT_BATCHSAMPLE;
    case Control::CONTINUOUS_SAMPLE:
        return IDC_BT_CONTINUOUSSAMPLE;
    }
    return 0;
}

namespace
{
// Selects the entry with this data without a notification; false when there is none.
bool SelectData(QComboBox* list, unsigned value)
{
    const int index = list->findData(value);
    if (index < 0)
        return false;
    if (list->currentIndex() != index)
    {
        const QSignalBlocker blocker(list);
        list->setCurrentIndex(index);
    }
    return true;
}

unsigned SelectedData(const QComboBox* list)
{
    return list->currentIndex() < 0 ? 0u : list->currentData().toUInt();
}

void SetText(QLineEdit* edit, unsigned value)
{
    const QString text = ToQ(FormatHex8(value));
    if (edit->text() != text)
        edit->setText(text);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and layout

CTavikDlg::CTavikDlg(QWidget* parent, const zef::IniFile* ini)
    : DialogBase(parent), m_Ini(ini ? ini : &zef::Support::GetAppIni()),
      m_History(new CHistoryList(this)), m_Session(m_Tavik, *m_History, *m_Ini),
      m_Continuous(*this, CONTINUOUS_TIMER_ID)
{
    setWindowTitle(QStringLiteral("Tavik"));
    m_Continuous.SetDelay(CONTINUOUS_PERIOD_MS);

    BuildMenu();
    BuildControls();
    FitCaptions();
    const QRect size = DialogUnitsToPixels(0, 0, 484, 383);
    resize(size.width(), size.height() + GetTop());
    m_Sizer.Init(this);
    m_Sizer.SetMinimalSize(*this);
    using zef::Glimra::WindowSizer;
    m_Sizer.AddChild(m_MenuBar, WindowSizer::RULE_NONE, WindowSizer::RULE_NONE,
                     WindowSizer::RULE_FULL, WindowSizer::RULE_NONE);
    for (QWidget* history : {m_HistoryGroup, static_cast<QWidget*>(m_History)})
        m_Sizer.AddChild(history, WindowSizer::RULE_NONE, WindowSizer::RULE_NONE,
                         WindowSizer::RULE_FULL, WindowSizer::RULE_FULL);
    m_Sizer.AddChild(m_Waiting, WindowSizer::RULE_FULL, WindowSizer::RULE_NONE,
                     WindowSizer::RULE_FULL, WindowSizer::RULE_NONE);
    zef::Glimra::MINMAXINFO limits{};
    m_Sizer.OnGetMinMaxInfo(&limits);
    setMinimumSize(limits.ptMinTrackSize.x(), limits.ptMinTrackSize.y());

    // Initialisation, in the order the window comes up.
    m_Icon = MakeProgramIcon();
    setWindowIcon(m_Icon);
    InitLogoRects();
    if (CTavikApp::IsNoBrand(*m_Ini))
        m_Logo->hide();
    InitControls();
    Act([this] { m_Session.Init(); });
    m_DataFolder = UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    WatchDevices();
}

void CTavikDlg::WatchDevices()
{
    std::vector<std::string> problems;
    m_DeviceEvents = FTD2xx::Proxy::WatchDevices(problems);
    for (const std::string& problem : problems)
        AddHistory("Boxes plugged in or out are not noticed (" + problem +
                   "): use Scan Devices to list them.");
    for (const auto& source : m_DeviceEvents)
    {
        if (source->Descriptor() >= 0)
        {
            auto* notifier = new QSocketNotifier(source->Descriptor(), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [this] { OnDeviceEvents(); });
            m_DeviceNotifiers.push_back(notifier);
        }
        else if (!m_DevicePoll)
        {
            m_DevicePoll = new QTimer(this);
            connect(m_DevicePoll, &QTimer::timeout, this, [this] { OnDeviceEvents(); });
            m_DevicePoll->start(FTD2xx::DeviceEvents::kPollMs);
        }
    }
}

void CTavikDlg::OnDeviceEvents()
{
    bool changed = false;
    for (const auto& source : m_DeviceEvents)
        changed = source->Drain() || changed;
    if (changed)
        Act([this] { m_Session.DevicesChanged(); });
}

QString CTavikDlg::GetStateText() const
{
    return m_StateText->text();
}

CTavikDlg::~CTavikDlg()
{
    // A pass in the background ends on its own (a store out of reach within its timeout).
    if (m_Forwarding.joinable())
        m_Forwarding.join();
    // m_Tavik closes its link when it is destroyed; the supply stays as it is.
    m_Continuous.Disable();
    m_LiveView.reset();
    m_AngleDlg.reset();
    m_SegmentDlg.reset();
}

QAction* CTavikDlg::GetMenuAction(int command) const
{
    const auto it = m_Actions.find(command);
    return it == m_Actions.end() ? nullptr : it->second;
}

void CTavikDlg::BuildMenu()
{
    // The system menu's commands live in a menu bar.
    m_MenuBar = new QMenuBar(this);
    QMenu* help = m_MenuBar->addMenu(QStringLiteral("&Tavik"));
    const QString aboutText = QStringLiteral("&About Tavik...");
    if (!aboutText.isEmpty())
    {
        QAction* about = help->addAction(aboutText);
        m_Actions[IDM_ABOUTBOX] = about;
        connect(about, &QAction::triggered, this,
                [this] { Guard([this] { OnSysCommand(IDM_ABOUTBOX); }); });
    }
    for (const auto& [command, text] :
         {std::pair{IDM_VISUALIZE_ANGLE, "Angular Encoder Visualisation"},
          std::pair{IDM_VISUALIZE_DIGITAL, "Digital Encoder Visualisation"}})
    {
        QAction* action = help->addAction(QString::fromLatin1(text));
        m_Actions[command] = action;
        const int id = command;
        connect(action, &QAction::triggered, this,
                [this, id] { Guard([this, id] { OnSysCommand(id); }); });
    }
    {
        QAction* live = help->addAction(QStringLiteral("Live View…"));
        m_Actions[IDM_LIVE_VIEW] = live;
        live->setEnabled(false);
        connect(live, &QAction::triggered, this,
                [this] { Guard([this] { OnSysCommand(IDM_LIVE_VIEW); }); });
    }
    {
        QAction* sweep = help->addAction(QStringLiteral("Clock Sweep…"));
        m_Actions[IDM_CLOCK_SWEEP] = sweep;
        sweep->setEnabled(false);
        connect(sweep, &QAction::triggered, this,
                [this] { Guard([this] { OnSysCommand(IDM_CLOCK_SWEEP); }); });
        QAction* test = help->addAction(QStringLiteral("Production Test…"));
        m_Actions[IDM_PRODUCTION_TEST] = test;
        test->setEnabled(false);
        connect(test, &QAction::triggered, this,
                [this] { Guard([this] { OnSysCommand(IDM_PRODUCTION_TEST); }); });
    }
    QMenu* expert = m_MenuBar->addMenu(QStringLiteral("&Expert Settings"));
    for (const auto& [command, text] : {std::pair{IDM_EXPERT_DATAFILTER, "Enable Data Filter"},
                                        std::pair{IDM_EXPERT_SPIMODE, "Enable SPI Mode"}})
    {
        QAction* action = expert->addAction(QString::fromLatin1(text));
        action->setCheckable(true);
        m_Actions[command] = action;
        const int id = command;
        connect(action, &QAction::triggered, this,
                [this, action, id](bool checked)
                {
                    // The menu has already flipped the check; the command decides it afresh.
                    action->setChecked(!checked);
                    Guard([this, id] { OnSysCommand(id); });
                });
    }
    SetTop(m_MenuBar->sizeHint().height());
    m_MenuBar->setGeometry(0, 0, DialogUnitsToPixels(0, 0, 484, 0).width(), GetTop());
}

void CTavikDlg::BuildControls()
{
    const auto group = [this](const char* title, int id, int x, int y, int w, int h)
    { return Place(new QGroupBox(QString::fromLatin1(title), this), id, x, y, w, h); };
    const auto caption = [this](const char* text, int id, int x, int y, int w, int h = 8)
    { return Place(new QLabel(QString::fromLatin1(text), this), id, x, y, w, h); };
    const auto button = [this](const char* text, int id, int x, int y, int w, int h = 14)
    {
        auto* b = Place(new QPushButton(QString::fromLatin1(text), this), id, x, y, w, h);
        return b;
    };
    const auto list = [this](int id, int x, int y, int w)
    {
        auto* c = Place(new QComboBox(this), id, x, y, w, 12);
        c->setMaxVisibleItems(12);
        return c;
    };
    const auto edit = [this](int id, int x, int y, int w)
    { return Place(new QLineEdit(this), id, x, y, w, 12); };

    // Group boxes first: later siblings are drawn above them.
    group("Device", 0, 7, 7, 228, 50);
    group("Power SSI Device", 0, 7, 62, 228, 62);
    group("SSI Settings", 0, 7, 129, 228, 62);
    group("Output 1", IDC_GR_OUTPUT1, 243, 7, 74, 50);
    group("Output 2", IDC_GR_OUTPUT2, 323, 7, 74, 50);
    group("Output 3", IDC_GR_OUTPUT3, 403, 7, 74, 50);
    group("Measurement", 0, 243, 62, 234, 62);
    group("Bits", 0, 243, 129, 234, 62);
    group("Data Filter", IDC_GR_DATAFILTER, 7, 196, 150, 50);
    group("SPI Mode", IDC_GR_SPIMODE, 163, 196, 110, 50);
    m_HistoryGroup = group("History", 0, 7, 251, 470, 125);

    // Device
    m_Devices = list(IDC_CB_DEVICES, 14, 20, 90);
    button("Scan Devices", IDC_BT_SCAN, 108, 19, 58);
    button("Connect", IDC_BT_CONNECT, 170, 19, 58);
    button("Reset", IDC_BT_RESET, 170, 37, 58);
    // The state the window waits in, below the list; empty otherwise.
    m_StateText = caption("", 0, 14, 35, 152, 20);
    m_StateText->setWordWrap(true);

    // Supply
    auto* power = new QButtonGroup(this);
    Radio("External", IDC_RD_SSIDEVICE_EXTERNAL, 14, 74, 110, power);
    Radio("Internal (+5V)", IDC_RD_SSIDEVICE_INTERNAL, 14, 88, 110, power);
    Radio("Internal DCDC (+12V)", IDC_RD_SSIDEVICE_DCDC, 14, 102, 110, power);
    for (const auto& [id, mode] : {std::pair{IDC_RD_SSIDEVICE_EXTERNAL, Box::PWR_EXTERNAL},
                                   std::pair{IDC_RD_SSIDEVICE_INTERNAL, Box::PWR_INTERNAL},
                                   std::pair{IDC_RD_SSIDEVICE_DCDC, Box::PWR_INTERNAL_DCDC}})
        connect(power->button(id), &QAbstractButton::toggled, this,
                [this, mode = mode](bool on)
                {
                    if (on)
                        m_Session.ChooseSupply(mode);
                });
    button("Power ON", IDC_BT_POWER, 150, 82, 75, 20);

    // Serial settings
    caption("SSI Mode", 0, 14, 142, 80);
    m_Modes = list(IDC_CB_SSIMODE, 100, 140, 128);
    caption("SSI Clock Frequency", 0, 14, 158, 80);
    m_Clocks = list(IDC_CB_SSIFREQUENCE, 100, 156, 128);
    caption("ST Bits", 0, 14, 174, 30);
    m_StBits = list(IDC_CB_STBITS, 46, 172, 50);
    caption("MT Bits", 0, 120, 174, 30);
    m_MtBits = list(IDC_CB_MTBITS, 158, 172, 50);

    // Outputs
    for (int index = 0; index < 3; ++index)
    {
        auto* outputs = new QButtonGroup(this);
        const int x = 250 + 80 * index;
        Radio("High / Ub", IDC_RD_OUT1_HIGH + 3 * index, x, 18, 62, outputs);
        Radio("Open", IDC_RD_OUT1_HIGH + 3 * index + 1, x, 30, 62, outputs);
        Radio("Low / GND", IDC_RD_OUT1_HIGH + 3 * index + 2, x, 42, 62, outputs);
        for (int k = 0; k < 3; ++k)
        {
            const Box::OUTPUT_MODE mode = OUTPUT_RADIO_MODES[k];
            QAbstractButton* radio = outputs->button(IDC_RD_OUT1_HIGH + 3 * index + k);
            connect(radio, &QAbstractButton::clicked, this,
                    [this, index, mode] { OnOutputClicked(index, mode); });
            // A checked radio is the output's mode, however it got checked.
            connect(radio, &QAbstractButton::toggled, this,
                    [this, index, mode](bool on)
                    {
                        if (on)
                            m_Session.ShowOutputMode(index, mode);
                    });
        }
    }

    // Measurement
    button("Single Sample", IDC_BT_SINGLESAMPLE, 251, 74, 82);
    button("Continuous Sample", IDC_BT_CONTINUOUSSAMPLE, 251, 89, 82);
    button("Batch Sample", IDC_BT_BATCHSAMPLE, 251, 104, 82);
    // Three buttons fill the Measurement group: the display format sits below the bit lamps.
    Place(new QCheckBox(QStringLiteral("Display as Hex"), this), IDC_CK_HEX, 251, 175, 82, 10);
    caption("MT", 0, 338, 77, 12);
    m_MtValue = Place(new CLabel(QString(), this, CLabel::SS_RIGHT | CLabel::SS_CENTERIMAGE),
                      IDC_ST_MTVALUE, 352, 74, 118, 19);
    caption("ST", 0, 338, 100, 12);
    m_StValue = Place(new CLabel(QString(), this, CLabel::SS_RIGHT | CLabel::SS_CENTERIMAGE),
                      IDC_ST_STVALUE, 352, 97, 118, 19);

    // Bit lamps: bit 31 at the left, a small gap between bytes.
    const auto lampX = [](int k) { return 254 + 6 * k + 3 * (k / 8); };
    for (int k = 0; k < 32; ++k)
    {
        const int bit = 31 - k;
        m_BitLabels[std::size_t(bit)] =
            Place(new CLabel(QString(), this), IDC_ST_BIT0 + bit, lampX(k), 145, 5, 12);
    }
    // Each byte is captioned at both ends: its high bit left-aligned, its low bit right-aligned.
    for (int byte = 0; byte < 4; ++byte)
    {
        const int high = 31 - 8 * byte;
        auto* left = caption(std::to_string(high).c_str(), 0, lampX(8 * byte), 160, 12);
        left->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const int lastX = lampX(8 * byte + 7) + 5;
        auto* right = caption(std::to_string(high - 7).c_str(), 0, lastX - 12, 160, 12);
        right->setAlignment(Qt::AlignRight | Qt::AlignTop);
    }

    // Filters and SPI word
    caption("Binary Data Filter", IDC_ST_DATAFILTER, 14, 210, 70);
    m_DataFilter = edit(IDC_ED_DATAFILTER, 88, 208, 60);
    caption("Gray Code Filter", IDC_ST_GRAYCODEFILTER, 14, 228, 70);
    m_GrayCodeFilter = edit(IDC_ED_GRAYCODEFILTER, 88, 226, 60);
    caption("Command", IDC_ST_SPICOMMAND, 170, 210, 36);
    m_SpiCommand = edit(IDC_ED_SPICOMMAND, 208, 208, 58);

    // Logo (its template place is beside the SPI group)
    m_Logo = Place(new QLabel(this), IDC_ST_LOGO, 279, 196, 198, 50);
    m_Logo->setPixmap(MakeLogoPixmap(m_Logo->size()));

    // History. The list exists before its group box (the session needs it); above the box it
    // takes the wheel and the scroll bar.
    Place(m_History, IDC_LB_HISTORY, 14, 262, 456, 96);
    m_History->raise();
    m_History->setAccessibleName(QStringLiteral("History"));
    // Records waiting for the results store: a line below the history, shown while any wait.
    m_Waiting = caption("", IDC_ST_WAITING, 14, 361, 456, 9);
    m_Waiting->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_Waiting->hide();

    // Notifications. Only user actions commit: programmatic selections stay silent.
    const auto onClick = [this](int id, void (CTavikDlg::*handler)())
    { OnClicked(id, [this, handler] { (this->*handler)(); }); };
    CommitOnFocusOut(m_DataFilter, [this] { CommitDataFilter(); });
    CommitOnFocusOut(m_GrayCodeFilter, [this] { CommitGrayCodeFilter(); });
    CommitOnFocusOut(m_SpiCommand, [this] { CommitSpiWord(); });
    onClick(IDC_BT_SCAN, &CTavikDlg::OnScanDevices);
    onClick(IDC_BT_CONNECT, &CTavikDlg::OnConnect);
    onClick(IDC_BT_RESET, &CTavikDlg::OnReset);
    onClick(IDC_BT_POWER, &CTavikDlg::OnPower);
    onClick(IDC_BT_SINGLESAMPLE, &CTavikDlg::OnSingleSample);
    onClick(IDC_BT_CONTINUOUSSAMPLE, &CTavikDlg::OnContinuousSample);
    onClick(IDC_BT_BATCHSAMPLE, &CTavikDlg::OnBatchSample);
    const auto onSelect = [this](QComboBox* box, void (CTavikDlg::*handler)())
    {
        connect(box, &QComboBox::activated, this,
                [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    };
    connect(m_Devices, &QComboBox::activated, this,
            [this](int index) { m_Session.SelectDevice(index); });
    connect(Item<QCheckBox>(IDC_CK_HEX), &QCheckBox::toggled, this,
            [this](bool on)
            {
                // The reading on show is shown again in the new format, without asking the box.
                Act(
                    [this, on]
                    {
                        m_Session.SetHex(on);
                        ShowSample(m_LastSample);
                    });
            });
    onSelect(m_Modes, &CTavikDlg::CommitMode);
    onSelect(m_Clocks, &CTavikDlg::CommitClock);
    onSelect(m_StBits, &CTavikDlg::CommitBitCounts);
    onSelect(m_MtBits, &CTavikDlg::CommitBitCounts);
}

void CTavikDlg::InitLogoRects()
{
    const QRect logo = m_Logo->geometry();
    m_LogoRect[0] = m_LogoRect[1] = m_LogoRect[3] = logo;
    const int spiLeft = GetDlgItem(IDC_GR_SPIMODE)->geometry().left();
    const int filterLeft = GetDlgItem(IDC_GR_DATAFILTER)->geometry().left();
    m_LogoRect[1].moveLeft(logo.left() - (logo.left() - spiLeft) / 2);
    m_LogoRect[0].moveLeft(logo.left() - (logo.left() - filterLeft) / 2);
}

void CTavikDlg::InitControls()
{
    auto* power = Item<QPushButton>(IDC_BT_POWER);
    power->setEnabled(false);
    power->setText(QStringLiteral("Power ON"));
    {
        const QSignalBlocker b1(m_Clocks), b2(m_StBits), b3(m_MtBits);
        m_Clocks->clear();
        for (const unsigned hz : BoxSession::Clocks())
            m_Clocks->addItem(ToQ(FormatFrequency(hz)), hz);
        m_StBits->clear();
        for (unsigned n = 0; n <= BoxSession::ST_BITS_MAX; ++n)
            m_StBits->addItem(QStringLiteral("%1 Bit").arg(n), n);
        m_MtBits->clear();
        for (unsigned n = 0; n <= BoxSession::MT_BITS_MAX; ++n)
            m_MtBits->addItem(QStringLiteral("%1 Bit").arg(n), n);
    }
    for (QLineEdit* e : {m_DataFilter, m_GrayCodeFilter, m_SpiCommand})
    {
        e->setMaxLength(EDIT_LIMIT);
        e->setText(QStringLiteral("00000000"));
    }
    // 24 points unless the widest reading (32 ST bits in decimal) would not fit the field
    // in the monospaced font that is really used.
    int points = 24;
    for (CLabel* label : {m_MtValue, m_StValue})
    {
        label->SetBold(true);
        label->SetFaceName(QStringLiteral("Courier New"), 0);
        label->SetPointSize(points);
        while (points > 8 && label->fontMetrics().horizontalAdvance(QStringLiteral("4294967295")) >
                                 label->width())
            label->SetPointSize(--points);
    }
    m_MtValue->SetPointSize(points);
    ShowSample(0);
}

// ---------------------------------------------------------------------------------------------
// Rendering: every control is brought to what the session's view says; only what differs
// is touched, and programmatic changes send no notifications.

template <class F> void CTavikDlg::Act(F&& action)
{
    Guard(
        [&]
        {
            StopLiveView("the main window uses the box");
            action();
            // A box that vanished may be back already, its event taken while the window
            // was busy.
            if (m_Session.View().state == GS_WAITING && m_RenderedState != GS_WAITING)
                m_Session.Reconnect();
            Render();
        });
}

void CTavikDlg::Render()
{
    const BoxView& view = m_Session.View();
    if (view.state != m_RenderedState)
    {
        // The table's DISCONNECTED column leaves unchanged what CONNECTED set, where a
        // Disconnect comes from, and POWERED what CONNECTED set, where Power ON comes from;
        // a box that vanished leaves any state, and a box back from waiting comes to either,
        // so its controls are brought to CONNECTED first.
        std::vector<ControlState> changes = ControlStatesFor(view.state);
        if ((view.state == GS_DISCONNECTED && m_RenderedState != GS_CONNECTED) ||
            (m_RenderedState == GS_WAITING && view.state != GS_CONNECTED))
        {
            std::vector<ControlState> connected = ControlStatesFor(GS_CONNECTED);
            changes.insert(changes.begin(), connected.begin(), connected.end());
        }
        for (const ControlState& c : changes)
        {
            QWidget* w = GetDlgItem(ControlId(c.control));
            if (c.enable != ControlState::UNCHANGED)
                w->setEnabled(c.enable == ControlState::ENABLE);
            if (c.text != nullptr)
                qobject_cast<QAbstractButton*>(w)->setText(QString::fromLatin1(c.text));
        }
        m_RenderedState = view.state;
    }
    m_Actions[IDM_CLOCK_SWEEP]->setEnabled(view.state == GS_POWERED);
    m_Actions[IDM_PRODUCTION_TEST]->setEnabled(view.state == GS_POWERED);
    // Enabled while the supply is on; GS_BATCH is the live view itself streaming.
    m_Actions[IDM_LIVE_VIEW]->setEnabled(
        view.state == GS_POWERED || view.state == GS_CONTINUOUS ||
        (view.state == GS_BATCH && m_LiveView && m_LiveView->IsStreaming()));
    // Always there, empty unless waiting: screen readers see the text change in place.
    const QString stateText = QString::fromStdString(StateText(view));
    if (m_StateText->text() != stateText)
    {
        m_StateText->setText(stateText);
        m_StateText->setAccessibleName(stateText);
    }
    if (view.state == GS_CONTINUOUS)
        m_Continuous.Enable();
    else
        m_Continuous.Disable();

    RenderDevices();
    if (auto* radio = Item<QRadioButton>(PowerRadioId(view.supply)); !radio->isChecked())
        radio->setChecked(true);
    for (int index = 0; index < 3; ++index)
    {
        auto* radio = Item<QRadioButton>(OutputRadioId(index, view.outputs[std::size_t(index)]));
        if (!radio->isChecked())
            radio->setChecked(true);
    }
    RenderExpertFlags();
    RenderLists();
    SetText(m_DataFilter, view.dataFilter);
    SetText(m_GrayCodeFilter, view.grayCodeFilter);
    SetText(m_SpiCommand, view.spiWord);
    auto* hex = Item<QCheckBox>(IDC_CK_HEX);
    if (hex->isChecked() != view.hex)
    {
        const QSignalBlocker blocker(hex);
        hex->setChecked(view.hex);
    }
}

void CTavikDlg::RenderDevices()
{
    const BoxView& view = m_Session.View();
    bool same = m_Devices->count() == int(view.devices.size());
    for (int i = 0; same && i < m_Devices->count(); ++i)
        same = m_Devices->itemText(i) == ToQ(view.devices[std::size_t(i)].serial) &&
               m_Devices->itemData(i).toInt() == view.devices[std::size_t(i)].index;
    const QSignalBlocker blocker(m_Devices);
    if (!same)
    {
        m_Devices->clear();
        for (const BoxView::Device& device : view.devices)
            m_Devices->addItem(ToQ(device.serial), device.index);
    }
    if (m_Devices->currentIndex() != view.selectedDevice)
        m_Devices->setCurrentIndex(view.selectedDevice);
}

void CTavikDlg::RenderLists()
{
    const BoxView& view = m_Session.View();
    bool same = m_Modes->count() == int(view.modes.size());
    for (int i = 0; same && i < m_Modes->count(); ++i)
        same = m_Modes->itemData(i).toUInt() == unsigned(view.modes[std::size_t(i)]);
    if (!same)
    {
        const QSignalBlocker blocker(m_Modes);
        m_Modes->clear();
        for (const auto mode : view.modes)
            m_Modes->addItem(QString::fromLatin1(SampleParameter::GetModeAsString(mode)),
                             unsigned(mode));
    }
    if (view.mode)
        SelectData(m_Modes, unsigned(*view.mode));
    SelectData(m_Clocks, view.clock);
    SelectData(m_StBits, view.stBits);
    SelectData(m_MtBits, view.mtBits);
}

void CTavikDlg::RenderExpertFlags()
{
    const int flags = GetExpertFlags();
    if (flags == m_RenderedFlags)
        return;
    const bool filter = m_Session.View().dataFilterShown;
    const bool spi = m_Session.View().spiShown;
    for (int id : {IDC_GR_DATAFILTER, IDC_ST_DATAFILTER, IDC_ST_GRAYCODEFILTER, IDC_ED_DATAFILTER,
                   IDC_ED_GRAYCODEFILTER})
        GetDlgItem(id)->setVisible(filter);
    m_Actions[IDM_EXPERT_DATAFILTER]->setChecked(filter);
    for (int id : {IDC_GR_SPIMODE, IDC_ST_SPICOMMAND, IDC_ED_SPICOMMAND})
        GetDlgItem(id)->setVisible(spi);
    m_Actions[IDM_EXPERT_SPIMODE]->setChecked(spi);
    m_Logo->setGeometry(m_LogoRect[std::size_t(flags & 3)]);
    m_Logo->update();
    m_RenderedFlags = flags;
}

void CTavikDlg::EnterGuiState(GuiState state)
{
    if (state == GS_INIT)
    {
        InitControls();
        m_RenderedState = GS_INIT;
    }
    Act([&] { m_Session.EnterState(state); });
}

// ---------------------------------------------------------------------------------------------
// History

void CTavikDlg::AddHistory(const std::string& text)
{
    m_History->Line(text);
}

void CTavikDlg::AddErrorLine(const std::string& text)
{
    m_History->Error(text);
}

// ---------------------------------------------------------------------------------------------
// User actions

void CTavikDlg::OnScanDevices()
{
    Act([this] { m_Session.ScanDevices(); });
}

void CTavikDlg::OnConnect()
{
    Act(
        [this]
        {
            m_Session.SelectDevice(m_Devices->currentIndex());
            m_Session.ConnectOrDisconnect();
        });
}

void CTavikDlg::OnReset()
{
    Act([this] { m_Session.Reset(); });
}

void CTavikDlg::OnPower()
{
    Act(
        [this]
        {
            // The supply is read from its radios when it goes on; exactly one is checked.
            if (m_Session.View().state == GS_CONNECTED &&
                CheckedRadio({IDC_RD_SSIDEVICE_EXTERNAL, IDC_RD_SSIDEVICE_INTERNAL,
                              IDC_RD_SSIDEVICE_DCDC}) == 0)
                zef::XAssertionFailed("false", "Invalid combination of IDC_RD_SSIDEVICE",
                                      "TavikDlg", __LINE__);
            m_Session.TogglePower();
        });
}

void CTavikDlg::ShowOutputMode(int index, Box::OUTPUT_MODE mode)
{
    Act([&] { m_Session.ShowOutputMode(index, mode); });
}

Box::OUTPUT_MODE CTavikDlg::ReadOutputMode(int index) const
{
    const int first = IDC_RD_OUT1_HIGH + 3 * index;
    const int checked = CheckedRadio({first, first + 1, first + 2});
    if (checked == 0)
        zef::XAssertionFailed("false", "Invalid combination of IDC_RD_OUT*", "TavikDlg", __LINE__);
    return OUTPUT_RADIO_MODES[checked - first];
}

void CTavikDlg::OnOutputClicked(int index, Box::OUTPUT_MODE mode)
{
    Act([&] { m_Session.ClickOutput(index, mode); });
}

void CTavikDlg::CommitMode()
{
    Act(
        [this]
        {
            if (m_Modes->currentIndex() >= 0)
                m_Session.ChooseMode(
                    static_cast<SampleParameter::SERIAL_MODE>(SelectedData(m_Modes)));
        });
}

void CTavikDlg::CommitClock()
{
    Act([this] { m_Session.ChooseClock(SelectedData(m_Clocks)); });
}

void CTavikDlg::CommitBitCounts()
{
    Act([this] { m_Session.ChooseBitCounts(SelectedData(m_StBits), SelectedData(m_MtBits)); });
}

void CTavikDlg::CommitDataFilter()
{
    Act([this] { m_Session.CommitDataFilter(FromQ(m_DataFilter->text())); });
}

void CTavikDlg::CommitGrayCodeFilter()
{
    Act([this] { m_Session.CommitGrayCodeFilter(FromQ(m_GrayCodeFilter->text())); });
}

void CTavikDlg::CommitSpiWord()
{
    Act([this] { m_Session.CommitSpiWord(FromQ(m_SpiCommand->text())); });
}

void CTavikDlg::OnSysCommand(int command)
{
    switch (command & 0xFFF0)
    {
    case IDM_ABOUTBOX:
        AboutBox();
        break;
    case IDM_EXPERT_DATAFILTER:
        Act([&]
            { m_Session.SetExpert(ExpertOption::DATA_FILTER, !m_Session.View().dataFilterShown); });
        break;
    case IDM_EXPERT_SPIMODE:
        Act([&] { m_Session.SetExpert(ExpertOption::SPI_MODE, !m_Session.View().spiShown); });
        break;
    case IDM_VISUALIZE_ANGLE:
    case IDM_VISUALIZE_DIGITAL:
        OnVisualize(command & 0xFFF0);
        break;
    case IDM_CLOCK_SWEEP:
        OnClockSweep();
        break;
    case IDM_PRODUCTION_TEST:
        OnProductionTest();
        break;
    case IDM_LIVE_VIEW:
        OnLiveView();
        break;
    default:
        break;
    }
}

void CTavikDlg::AboutBox()
{
    const bool noBrand = CTavikApp::IsNoBrand(*m_Ini);
    CAboutDlg about(noBrand ? IDD_ABOUTBOX_NOBRAND : IDD_ABOUTBOX, this);
    about.SetNoBrand(noBrand);
    about.Init();
    about.exec();
}

// ---------------------------------------------------------------------------------------------
// Measurement

void CTavikDlg::OnSingleSample()
{
    Act(
        [this]
        {
            if (const Reading reading = m_Session.SingleSample(); reading.value)
                ShowSample(*reading.value);
        });
}

void CTavikDlg::OnContinuousSample()
{
    StopLiveView("continuous sampling reads the box");
    Act(
        [this]
        {
            if (m_Session.View().state == GS_CONTINUOUS)
                m_Session.StopContinuous();
            else
                m_Session.StartContinuous();
        });
}

void CTavikDlg::OnTimer()
{
    OnSingleSample();
}

void CTavikDlg::showEvent(QShowEvent* event)
{
    DialogBase::showEvent(event);
    if (!m_Forwarded)
    {
        m_Forwarded = true;
        ForwardRecords();
    }
}

// ---------------------------------------------------------------------------------------------
// Results store

void CTavikDlg::ForwardRecords()
{
    if (m_ForwardBusy || m_DataFolder.empty())
        return;
    if (m_Forwarding.joinable())
        m_Forwarding.join();
    zef::String configured;
    const std::string spec =
        m_Ini->GetString("Default", "Store", configured) && !configured.IsEmpty()
            ? std::string(configured.c_str())
            : DefaultStoreSpec(m_DataFolder);
    const std::string spool = DefaultSpoolFolder(m_DataFolder);
    const std::size_t waiting = WaitingRecords(spool, spec);
    ShowWaiting(waiting);
    if (waiting == 0)
        return;
    m_ForwardBusy = true;
    m_Forwarding = std::thread(
        [this, spool, spec]
        {
            const SpoolForward pass = ForwardSpool(spool, spec);
            QMetaObject::invokeMethod(
                this,
                [this, pass]
                {
                    m_ForwardBusy = false;
                    ShowWaiting(pass.waiting);
                    for (const std::string& line : ForwardErrorLines(pass))
                        AddErrorLine(line);
                },
                Qt::QueuedConnection);
        });
}

void CTavikDlg::WaitForForwarding()
{
    if (m_Forwarding.joinable())
        m_Forwarding.join();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CTavikDlg::ShowWaiting(std::size_t waiting)
{
    m_Waiting->setText(QString::fromStdString(WaitingText(waiting)));
    m_Waiting->setVisible(waiting != 0);
}

void CTavikDlg::customEvent(QEvent* event)
{
    if (event->type() == zef::Glimra::WndTimerEvent::type())
        OnTimer();
    else
        DialogBase::customEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Batch Sample

// GS_BATCH while a modal batch-like dialog runs, GS_POWERED again however it ends, an
// exception included; or the state of an unplug when its box vanished on the way.
struct CTavikDlg::BatchScope
{
    BatchScope(CTavikDlg& dlg, const char* what) : m_Dlg(dlg), m_What(what)
    {
        m_Dlg.EnterGuiState(GS_BATCH);
    }
    ~BatchScope()
    {
        m_Dlg.Act([this] { m_Dlg.m_Session.EndBatch(m_What, m_Vanished); });
    }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;
    CTavikDlg& m_Dlg;
    const char* m_What;
    bool m_Vanished = false;
};

void CTavikDlg::OnBatchSample()
{
    if (m_Session.View().state != GS_POWERED)
        return;
    BatchScope scope(*this, "Batch sampling");
    const BoxView& view = m_Session.View();
    CBatchSampleDlg batch(m_Tavik, view.stBits, view.mtBits, false, this, *m_Clock);
    batch.SetRunSettings(m_Session.DescribeRun(std::string("Tavik ") + TAVIK_VERSION));
    if (m_RunBatchDialog)
        m_RunBatchDialog(batch);
    else
        batch.exec();
    AddHistory(batch.GetRun().Summary());
    scope.m_Vanished = batch.GetRun().BoxVanished();
}

void CTavikDlg::OnClockSweep()
{
    if (m_Session.View().state != GS_POWERED)
        return;
    BatchScope scope(*this, "Clock sweep");
    const BoxView& view = m_Session.View();
    CClockSweepDlg sweep(
        m_Tavik, *m_History, view.stBits, view.mtBits,
        [this](unsigned hz)
        {
            bool taken = false;
            Act([&] { taken = bool(m_Session.ApplyClock(hz)); });
            return taken;
        },
        this);
    if (m_RunSweepDialog)
        m_RunSweepDialog(sweep);
    else
        sweep.exec();
    scope.m_Vanished = sweep.GetSweep().BoxVanished();
}

void CTavikDlg::OnProductionTest()
{
    if (m_Session.View().state != GS_POWERED)
        return;
    BatchScope scope(*this, "Production test");
    // The plan, the operator and a station's own name are kept beside Tavik.ini, in the
    // working folder.
    QSettings kept(QStringLiteral("ProductionTest.ini"), QSettings::IniFormat);
    CProductionTestDlg::Setup setup;
    std::string machineId;
    std::string error;
    setup.station = FromQ(kept.value(QStringLiteral("Station")).toString());
    if (setup.station.empty() && BatchFile::ReadText("/etc/machine-id", machineId, error))
        setup.station = StationFromMachineId(machineId);
    const std::string data = UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    setup.spoolFolder = data.empty() ? "spool" : DefaultSpoolFolder(data);
    setup.planFile = FromQ(kept.value(QStringLiteral("Plan")).toString());
    setup.operatorName = FromQ(kept.value(QStringLiteral("Operator")).toString());
    setup.programVersion = TAVIK_VERSION;
    setup.remember = [&kept](const std::string& plan, const std::string& operatorName)
    {
        kept.setValue(QStringLiteral("Plan"), ToQ(plan));
        kept.setValue(QStringLiteral("Operator"), ToQ(operatorName));
    };
    setup.showReport = [this](const std::string& html)
    {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(html))))
            AddHistory("No browser opened the report " + html + ".");
    };
    CProductionTestDlg test(m_Tavik, *m_History, *m_Clock, std::move(setup), this);
    if (m_RunProductionDialog)
        m_RunProductionDialog(test);
    else
        test.exec();
    scope.m_Vanished = test.GetRunner().BoxVanished();
    // The session's records go on to the results store.
    ForwardRecords();
}

void CTavikDlg::resizeEvent(QResizeEvent* event)
{
    DialogBase::resizeEvent(event);
    int cx = event->size().width();
    int cy = event->size().height();
    m_Sizer.OnSize(0, cx, cy);
}

void CTavikDlg::ShowSample(unsigned value)
{
    const SampleParts parts = m_Session.Split(value);
    if (parts.stText != m_LastStText)
    {
        m_StValue->SetCaption(ToQ(parts.stText));
        m_LastStText = parts.stText;
    }
    if (parts.mtText != m_LastMtText)
    {
        m_MtValue->SetCaption(ToQ(parts.mtText));
        m_LastMtText = parts.mtText;
    }
    if (value != m_LastSample)
    {
        const unsigned changed = value ^ m_LastSample;
        for (unsigned bit = 0; bit < 32; ++bit)
        {
            if ((changed >> bit) & 1u)
                m_BitLabels[bit]->SetBackground(((value >> bit) & 1u) ? LAMP_ON : LAMP_OFF, 0,
                                                false);
        }
        m_LastSample = value;
    }
    FeedVisualisations(parts);
}

// ---------------------------------------------------------------------------------------------
// Visualisation windows

void CTavikDlg::OnVisualize(int command)
{
    const auto open = [this](auto& window)
    {
        using Window = typename std::remove_reference_t<decltype(window)>::element_type;
        if (!window)
        {
            // A child window of this one: a parentless window would be blocked while this
            // window runs modal (exec()).
            window = std::make_unique<Window>(m_Ini, this);
            window->SetCallBack(std::make_unique<VisualizeDlgCallBack>(this));
            for (int index = 0; index < 3; ++index)
                window->ShowOutputMode(index, m_Session.View().outputs[std::size_t(index)]);
        }
        window->show();
        window->raise();
        window->activateWindow();
    };
    if (command == IDM_VISUALIZE_ANGLE)
        open(m_AngleDlg);
    else if (command == IDM_VISUALIZE_DIGITAL)
        open(m_SegmentDlg);
}

void CTavikDlg::FeedVisualisations(const SampleParts& parts)
{
    if (m_AngleDlg)
        m_AngleDlg->ShowSample(parts.stBits, parts.st, parts.mt);
    if (m_SegmentDlg)
    {
        m_SegmentDlg->SetLastSample(parts.stBits, parts.mtBits, parts.st, parts.mt);
        m_SegmentDlg->UpdateDisplays();
    }
}

// ---------------------------------------------------------------------------------------------
// Live view

void CTavikDlg::OnLiveView()
{
    if (m_LiveView && m_LiveView->IsStreaming())
    {
        m_LiveView->show();
        m_LiveView->raise();
        m_LiveView->activateWindow();
        return;
    }
    GuiState state = m_Session.View().state;
    if (state == GS_CONTINUOUS)
    {
        Act([this] { m_Session.StopContinuous(); });
        AddHistory("Continuous sampling stopped: the live view reads the box.");
        state = m_Session.View().state;
    }
    if (state != GS_POWERED)
        return;
    if (!m_LiveView)
    {
        // A child window of this one, as the visualisation windows.
        m_LiveView = std::make_unique<LiveViewDlg>(m_Tavik, *m_History, *m_Clock, this);
        connect(m_LiveView.get(), &LiveViewDlg::Stopped, this,
                [this] { Guard([this] { LiveViewStopped(); }); });
    }
    m_LiveView->show();
    m_LiveView->raise();
    m_LiveView->activateWindow();
    const BoxView& view = m_Session.View();
    if (m_LiveView->Start(view.stBits, view.mtBits))
    {
        m_Session.EnterState(GS_BATCH);
        Render();
    }
}

void CTavikDlg::StopLiveView(const char* why)
{
    if (!m_LiveView || !m_LiveView->IsStreaming())
        return;
    AddHistory(std::string("Live view stopped: ") + why + ".");
    m_LiveView->Stop();
    LiveViewStopped();
}

void CTavikDlg::LiveViewStopped()
{
    if (m_Session.View().state != GS_BATCH)
        return;
    m_Session.EndBatch("Live view", m_LiveView && m_LiveView->Session().BoxVanished());
    Render();
}

} // namespace App
