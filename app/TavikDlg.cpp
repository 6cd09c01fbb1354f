#include "app/TavikDlg.h"

#include "app/AboutDlg.h"
#include "app/Artwork.h"
#include "app/BatchSampleDlg.h"
#include "app/HistoryList.h"
#include "app/Label.h"
#include "app/Resource.h"
#include "app/TavikApp.h"
#include "app/core/DefaultParameter.h"
#include "app/core/Formats.h"
#include "base/IniFile.h"
#include "base/Result.h"
#include "base/String.h"
#include "base/Support.h"
#include "base/XAssertion.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimerEvent>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
constexpr const char* SOURCE = "TavikDlg";
constexpr int CONTINUOUS_PERIOD_MS = 50;
constexpr int CONTINUOUS_TIMER_ID = 1;
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

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and layout

CTavikDlg::CTavikDlg(QWidget* parent, const zef::IniFile* ini)
    : DialogBase(parent), m_Ini(ini ? ini : &zef::Support::GetAppIni())
{
    setWindowTitle(QStringLiteral("Tavik"));

    BuildMenu();
    BuildControls();
    const QRect size = DialogUnitsToPixels(0, 0, 484, 383);
    setFixedSize(size.width(), size.height() + GetTop());

    // Initialisation, in the order the window comes up.
    m_Icon = MakeProgramIcon();
    setWindowIcon(m_Icon);
    m_ExpertFlags = 0;
    InitLogoRects();
    if (CTavikApp::IsNoBrand(*m_Ini))
        m_Logo->hide();
    EnterGuiState(GS_INIT);
    OnScanDevices();

    if (m_Ini->IsOpen())
    {
        zef::String configured;
        if (m_Ini->GetString("Default", "UsbDevice", configured) && !configured.IsEmpty())
        {
            const QString wanted = QString::fromLatin1(configured.c_str());
            bool found = false;
            for (int i = 0; i < m_Devices->count() && !found; ++i)
            {
                if (m_Devices->itemText(i).compare(wanted, Qt::CaseInsensitive) == 0)
                {
                    m_Devices->setCurrentIndex(i);
                    found = true;
                }
            }
            if (!found)
                AddErrorLine("Configured USB device '" + configured.GetStdString() +
                             "' was not detected.\n");
        }
    }
}

CTavikDlg::~CTavikDlg()
{
    StopContinuousTimer();
    // m_Tavik closes its link when it is destroyed; the supply stays as it is.
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
    QMenu* expert = m_MenuBar->addMenu(QStringLiteral("Expert Settings"));
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
    group("History", 0, 7, 251, 470, 125);

    // Device
    m_Devices = list(IDC_CB_DEVICES, 14, 20, 90);
    button("Scan Devices", IDC_BT_SCAN, 108, 19, 58);
    button("Connect", IDC_BT_CONNECT, 170, 19, 58);
    button("Reset", IDC_BT_RESET, 170, 37, 58);

    // Supply
    auto* power = new QButtonGroup(this);
    Radio("External", IDC_RD_SSIDEVICE_EXTERNAL, 14, 74, 110, power);
    Radio("Internal (+5V)", IDC_RD_SSIDEVICE_INTERNAL, 14, 88, 110, power);
    Radio("Internal DCDC (+12V)", IDC_RD_SSIDEVICE_DCDC, 14, 102, 110, power);
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
            connect(outputs->button(IDC_RD_OUT1_HIGH + 3 * index + k), &QAbstractButton::clicked,
                    this,
                    [this, index, mode] { Guard([=, this] { OnOutputClicked(index, mode); }); });
        }
    }

    // Measurement
    button("Single Sample", IDC_BT_SINGLESAMPLE, 251, 72, 82, 12);
    button("Continuous Sample", IDC_BT_CONTINUOUSSAMPLE, 251, 86, 82, 12);
    button("Batch Sample", IDC_BT_BATCHSAMPLE, 251, 100, 82, 12);
    Place(new QCheckBox(QStringLiteral("Display as Hex"), this), IDC_CK_HEX, 251, 113, 82, 10);
    caption("MT", 0, 338, 77, 12);
    m_MtValue = Place(new CLabel(QString(), this, CLabel::SS_RIGHT | CLabel::SS_CENTERIMAGE),
                      IDC_ST_MTVALUE, 352, 72, 118, 20);
    caption("ST", 0, 338, 100, 12);
    m_StValue = Place(new CLabel(QString(), this, CLabel::SS_RIGHT | CLabel::SS_CENTERIMAGE),
                      IDC_ST_STVALUE, 352, 96, 118, 20);

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

    // History
    m_History = Place(new CHistoryList(this), IDC_LB_HISTORY, 14, 262, 456, 108);

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

// ---------------------------------------------------------------------------------------------
// State machine

void CTavikDlg::EnterGuiState(GuiState state)
{
    if (state == m_GuiState && state != GS_INIT)
        return;
    if (state == GS_INIT)
    {
        m_GuiState = GS_INIT;
        InitControls();
        state = GS_DISCONNECTED;
    }
    for (const ControlState& c : ControlStatesFor(state))
    {
        QWidget* w = GetDlgItem(c.id);
        if (w == nullptr)
            continue; // a control this window does not carry (yet)
        if (c.enable != ControlState::UNCHANGED)
            w->setEnabled(c.enable == ControlState::ENABLE);
        if (c.text != nullptr)
        {
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                b->setText(QString::fromLatin1(c.text));
        }
    }
    m_GuiState = state;
}

void CTavikDlg::InitControls()
{
    auto* power = Item<QPushButton>(IDC_BT_POWER);
    power->setEnabled(false);
    power->setText(QStringLiteral("Power ON"));
    Item<QRadioButton>(IDC_RD_SSIDEVICE_EXTERNAL)->setChecked(true);
    for (int index = 0; index < 3; ++index)
        ShowOutputMode(index, Box::OUT_OPEN);
    ApplyExpertFlags();
    FillLists();
    for (QLineEdit* e : {m_DataFilter, m_GrayCodeFilter, m_SpiCommand})
    {
        e->setMaxLength(EDIT_LIMIT);
        e->setText(QStringLiteral("00000000"));
    }
    for (CLabel* label : {m_MtValue, m_StValue})
    {
        label->SetBold(true);
        label->SetPointSize(24);
        label->SetFaceName(QStringLiteral("Courier New"), 0);
    }
    ShowSample(0);
}

void CTavikDlg::FillLists()
{
    const QSignalBlocker b1(m_Clocks), b2(m_StBits), b3(m_MtBits);
    m_Clocks->clear();
    std::vector<unsigned> frequencies;
    unsigned previous = 0;
    for (unsigned hz = SampleParameter::GetNextFrequence(0); hz > previous;
         hz = SampleParameter::GetNextFrequence(hz))
    {
        frequencies.push_back(hz);
        previous = hz;
    }
    for (auto it = frequencies.rbegin(); it != frequencies.rend(); ++it)
        m_Clocks->addItem(ToQ(FormatFrequency(*it)), *it);
    m_Clocks->setCurrentIndex(0);

    m_StBits->clear();
    for (unsigned n = 0; n <= 32; ++n)
        m_StBits->addItem(QStringLiteral("%1 Bit").arg(n), n);
    m_MtBits->clear();
    for (unsigned n = 0; n <= 24; ++n)
        m_MtBits->addItem(QStringLiteral("%1 Bit").arg(n), n);
    SelectData(m_StBits, 12);
    SelectData(m_MtBits, 13);
}

// ---------------------------------------------------------------------------------------------
// History

void CTavikDlg::AddHistory(const std::string& text)
{
    App::AddHistory(*m_History, text);
}

void CTavikDlg::AddErrorLine(const std::string& text)
{
    App::AddErrorLine(*m_History, text);
}

std::string CTavikDlg::Status(int status) const
{
    return m_Tavik.GetStatusAsString(status);
}

// ---------------------------------------------------------------------------------------------
// Devices and connection

void CTavikDlg::OnScanDevices()
{
    {
        const QSignalBlocker blocker(m_Devices);
        m_Devices->clear();
    }
    unsigned long count = 0;
    int status = m_Tavik.GetConnectedDevices(count);
    if (status != Box::OK)
    {
        AddErrorLine("Error while retrieving number of connected devices.\n" + Status(status));
        return;
    }
    AddHistory(Format("%u connected device(s) found.", unsigned(count)));
    for (unsigned long index = 0; index < count; ++index)
    {
        std::string serial;
        std::string description;
        status = m_Tavik.GetDeviceInformation(int(index), serial, description);
        if (status != Box::OK)
        {
            AddErrorLine("Error while retrieving device information of connected device.\n" +
                         Status(status));
            return;
        }
        // The list is sorted by serial number.
        const QString text = ToQ(serial);
        int at = 0;
        while (at < m_Devices->count() && m_Devices->itemText(at) < text)
            ++at;
        const QSignalBlocker blocker(m_Devices);
        m_Devices->insertItem(at, text, int(index));
    }
    if (m_Devices->count() > 0)
        m_Devices->setCurrentIndex(0);
}

void CTavikDlg::OnConnect()
{
    if (m_Tavik.IsOpen())
    {
        StopContinuousTimer();
        m_Tavik.Close();
        AddHistory("Disconnected from device.");
        EnterGuiState(GS_DISCONNECTED);
        return;
    }
    if (m_Devices->currentIndex() < 0)
        return;
    const int device = m_Devices->currentData().toInt();
    if (!(device >= 0))
        zef::XAssertionFailed("iDevice >= 0", "Internal", SOURCE, __LINE__);
    const int status = m_Tavik.Open(device);
    if (status != Box::OK)
    {
        AddErrorLine("Error while opening device.\n" + Status(status));
        return;
    }
    AddHistory(Format("Connected to device '%s', serial '%s'.", m_Tavik.GetDescription().c_str(),
                      m_Tavik.GetSerial().c_str()));
    EnterGuiState(GS_CONNECTED);
    if (ReadSettingsBack() != Box::PWR_OFF)
        EnterGuiState(GS_POWERED);
    else
        LoadAndApplyDefaults();
}

void CTavikDlg::OnReset()
{
    if (!m_Tavik.IsOpen())
        return;
    // A reset ends continuous sampling; the next press of the button starts it afresh.
    StopContinuousTimer();
    const int status = m_Tavik.Reset();
    if (status != Box::OK)
        AddErrorLine("Error while reset device.\n" + Status(status));
    else
        AddHistory("Reset device");
    EnterGuiState(GS_CONNECTED);
    ReadSettingsBack();
}

Box::POWER_MODE CTavikDlg::ReadSettingsBack()
{
    if (!m_Tavik.IsOpen())
        zef::XAssertionFailed("m_Tavik.IsOpen()", "Internal", SOURCE, __LINE__);

    SampleParameter p;
    int status = m_Tavik.GetSampleParameter(p);
    if (status != Box::OK)
    {
        AddErrorLine("Error while reading sample parameter from device.\n" + Status(status));
        return Box::PWR_OFF;
    }
    // Only the controls change here; a value without list entry is reported, not fatal.
    {
        const QSignalBlocker b1(m_Clocks), b2(m_Modes), b3(m_StBits), b4(m_MtBits);
        if (!SelectData(m_Clocks, p.GetFrequence()))
            AddErrorLine(Format("Current SSI frequency (%u Hz) of the device cannot be shown.",
                                p.GetFrequence()));
        if (p.GetMode() > SampleParameter::SPI_Gray || !SelectMode(p.GetMode(), false))
            AddErrorLine(Format("Current SSI mode (0x%X) of the device cannot be shown.",
                                unsigned(p.GetMode())));
        const unsigned n = p.GetDataBits();
        const unsigned st = std::min(n, 12u);
        const unsigned mt = n > 12 ? n - 12 : 0;
        if (!SelectData(m_StBits, st))
            AddErrorLine(Format("Current number of singleturn bits (%u) of the device cannot be "
                                "shown.",
                                st));
        if (!SelectData(m_MtBits, mt))
            AddErrorLine(Format("Current number of multiturn bits (%u) of the device cannot be "
                                "shown.",
                                mt));
    }

    unsigned value = 0;
    status = m_Tavik.GetGrayBinaryMask(value);
    if (status != Box::OK)
    {
        AddErrorLine("Error while reading data filter mask.\n" + Status(status));
        return Box::PWR_OFF;
    }
    m_GrayCodeFilter->setText(ToQ(FormatHex8(value)));
    status = m_Tavik.GetDataMask(value);
    if (status != Box::OK)
    {
        AddErrorLine("Error while reading data filter mask from device.\n" + Status(status));
        return Box::PWR_OFF;
    }
    m_DataFilter->setText(ToQ(FormatHex8(value)));
    status = m_Tavik.GetSPIData(value);
    if (status != Box::OK)
    {
        AddErrorLine("Error while reading SPI data word from device.\n" + Status(status));
        return Box::PWR_OFF;
    }
    m_SpiCommand->setText(ToQ(FormatHex8(value)));
    for (int index = 0; index < 3; ++index)
    {
        Box::OUTPUT_MODE mode = Box::OUT_OPEN;
        status = m_Tavik.GetOutput(index, mode);
        if (status != Box::OK)
        {
            AddErrorLine("Error while reading output_mode from device.\n" + Status(status));
            return Box::PWR_OFF;
        }
        if (mode <= Box::OUT_HIGH_UB)
            ShowOutputMode(index, mode);
    }
    Box::POWER_MODE power = Box::PWR_OFF;
    status = m_Tavik.GetPowerMode(power);
    if (status != Box::OK)
    {
        AddErrorLine("Error while reading power_mode from device.\n" + Status(status));
        return Box::PWR_OFF;
    }
    if (power != Box::PWR_OFF)
        CheckPowerRadio(power);
    return power;
}

// ---------------------------------------------------------------------------------------------
// Defaults

void CTavikDlg::LoadAndApplyDefaults()
{
    DefaultParameter record;
    if (!m_Ini->IsOpen())
        return;
    zef::Result result;
    const std::string& description = m_Tavik.GetDescription();
    const std::string& serial = m_Tavik.GetSerial();
    const char* file = m_Ini->GetFileName().c_str();
    if (!LoadDefaults(result, *m_Ini, record, serial))
    {
        const char* details =
            result.IsError() && !result.GetText().IsNull() ? result.GetText().c_str() : "";
        AddHistory(Format("Error while loading configuration for device '%s', serial '%s' from "
                          "file '%s'.\nDetails: %s",
                          description.c_str(), serial.c_str(), file, details));
    }
    else if (record != DefaultParameter())
    {
        AddHistory(Format("Loading configuration for device '%s', serial '%s' from file '%s'.",
                          description.c_str(), serial.c_str(), file));
    }
    ApplyDefaults(record);
}

void CTavikDlg::ApplyDefaults(const DefaultParameter& record)
{
    // PWR_OFF has no radio button: the supply choice stays as it is.
    if (record.powerMode != Box::PWR_OFF)
        CheckPowerRadio(record.powerMode);
    for (int index = 0; index < 3; ++index)
    {
        ShowOutputMode(index, record.outputMode[index]);
        SwitchOutput(index, record.outputMode[index]);
    }
    if (SelectMode(record.ssiMode))
        CommitMode();
    if (SelectData(m_Clocks, record.ssiClock))
        CommitClock();
    if (SelectData(m_StBits, record.stBits))
        CommitBitCounts();
    if (SelectData(m_MtBits, record.mtBits))
        CommitBitCounts();
    // Masks given in the INI file win over those derived from the bit counts.
    const unsigned derivedData = ParseHex(FromQ(m_DataFilter->text()));
    const unsigned derivedGray = ParseHex(FromQ(m_GrayCodeFilter->text()));
    const bool dataDiffers = record.dataFilterLoaded && record.dataFilter != derivedData;
    const bool grayDiffers = record.grayCodeFilterLoaded && record.grayCodeFilter != derivedGray;
    if (dataDiffers)
    {
        m_DataFilter->setText(ToQ(FormatHex8(record.dataFilter)));
        CommitDataFilter(); // copies the data mask into the Gray edit, as typing does
    }
    if (dataDiffers || grayDiffers)
    {
        if (record.grayCodeFilterLoaded)
            m_GrayCodeFilter->setText(ToQ(FormatHex8(record.grayCodeFilter)));
        CommitGrayCodeFilter();
    }
    Item<QCheckBox>(IDC_CK_HEX)->setChecked(record.valueEncoding == 1);
}

// ---------------------------------------------------------------------------------------------
// Parameter controls

void CTavikDlg::ShowOutputMode(int index, Box::OUTPUT_MODE mode)
{
    if (!(index >= 0 && index <= 2))
        zef::XAssertionFailed("index>=0 && index <=2", "Index out of range.", SOURCE, __LINE__);
    if (auto* radio = Item<QRadioButton>(OutputRadioId(index, mode)))
        radio->setChecked(true);
}

Box::OUTPUT_MODE CTavikDlg::ReadOutputMode(int index) const
{
    const int first = IDC_RD_OUT1_HIGH + 3 * index;
    const int checked = CheckedRadio({first, first + 1, first + 2});
    if (checked == 0)
        zef::XAssertionFailed("false", "Invalid combination of IDC_RD_OUT*", SOURCE, __LINE__);
    return OUTPUT_RADIO_MODES[checked - first];
}

Box::POWER_MODE CTavikDlg::ReadPowerRadio() const
{
    const int checked =
        CheckedRadio({IDC_RD_SSIDEVICE_EXTERNAL, IDC_RD_SSIDEVICE_INTERNAL, IDC_RD_SSIDEVICE_DCDC});
    if (checked == 0)
        zef::XAssertionFailed("false", "Invalid combination of IDC_RD_SSIDEVICE", SOURCE, __LINE__);
    return checked == IDC_RD_SSIDEVICE_EXTERNAL   ? Box::PWR_EXTERNAL
           : checked == IDC_RD_SSIDEVICE_INTERNAL ? Box::PWR_INTERNAL
                                                  : Box::PWR_INTERNAL_DCDC;
}

void CTavikDlg::CheckPowerRadio(Box::POWER_MODE mode)
{
    const int id = mode == Box::PWR_EXTERNAL        ? IDC_RD_SSIDEVICE_EXTERNAL
                   : mode == Box::PWR_INTERNAL      ? IDC_RD_SSIDEVICE_INTERNAL
                   : mode == Box::PWR_INTERNAL_DCDC ? IDC_RD_SSIDEVICE_DCDC
                                                    : 0;
    if (id != 0)
        Item<QRadioButton>(id)->setChecked(true);
}

void CTavikDlg::SwitchOutput(int index, Box::OUTPUT_MODE mode)
{
    if (m_GuiState == GS_DISCONNECTED || m_GuiState == GS_BATCH)
        return;
    if (!(index >= 0 && index <= 2))
        zef::XAssertionFailed("index>=0 && index<=2", "Parameter index is out of range.", SOURCE,
                              __LINE__);
    const std::string name = Box::GetOutputModeAsString(mode);
    const int status = m_Tavik.SetOutput(index, mode);
    if (status != Box::OK)
        AddErrorLine(Format("Error while switching output %d to %s.\n", index + 1, name.c_str()) +
                     Status(status));
    else
        AddHistory(Format("Switching output %d to %s.", index + 1, name.c_str()));
}

void CTavikDlg::OnOutputClicked(int index, Box::OUTPUT_MODE mode)
{
    SwitchOutput(index, mode);
}

void CTavikDlg::OnPower()
{
    Box::POWER_MODE supply;
    GuiState target;
    if (m_GuiState == GS_CONNECTED)
    {
        supply = ReadPowerRadio();
        target = GS_POWERED;
        for (int index = 0; index < 3; ++index)
            SwitchOutput(index, ReadOutputMode(index));
    }
    else if (m_GuiState == GS_POWERED)
    {
        supply = Box::PWR_OFF;
        target = GS_CONNECTED;
    }
    else
    {
        return;
    }
    const std::string name = Box::GetPowerModeAsString(supply);
    const int status = m_Tavik.SetPowerMode(supply);
    if (status != Box::OK)
    {
        AddErrorLine("Error while switching powermode of device to " + name + ".\n" +
                     Status(status));
        return;
    }
    AddHistory("Powermode of device is set to " + name + ".");
    EnterGuiState(target);
}

unsigned CTavikDlg::SelectedData(QComboBox* list) const
{
    return list->currentIndex() < 0 ? 0u : list->currentData().toUInt();
}

bool CTavikDlg::SelectData(QComboBox* list, unsigned value)
{
    const int index = list->findData(value);
    if (index < 0)
        return false;
    const QSignalBlocker blocker(list);
    list->setCurrentIndex(index);
    return true;
}

int CTavikDlg::ValidateAndSet(SampleParameter& p, const std::string& description)
{
    std::string message;
    if (!p.Validate(message))
    {
        std::string text = Format("Error while checking sample parameter: %s.", message.c_str());
        if (!description.empty())
            text += "\nNot allowed: " + description;
        text += "\n" + Status(Box::INVALID_PARAMETER);
        AddErrorLine(text);
        return Box::INVALID_PARAMETER;
    }
    if (!message.empty())
        AddHistory(Format("Warning while checking sample parameter: %s.", message.c_str()));
    const int status = m_Tavik.SetSampleParameter(p);
    const std::string suffix = description.empty() ? std::string() : " " + description;
    if (status != Box::OK)
        AddErrorLine("Error while setting sample parameter." + suffix + "\n" + Status(status));
    else
        AddHistory("Setting sample parameter." + suffix + "\n");
    return status;
}

// Reads the box's parameter set; a failure ends in the history and answers false.
bool CTavikDlg::ReadSampleParameter(SampleParameter& p)
{
    const int status = m_Tavik.GetSampleParameter(p);
    if (status != Box::OK)
        AddErrorLine("Error while reading sample parameter.\n" + Status(status));
    return status == Box::OK;
}

void CTavikDlg::CommitMode()
{
    if (!m_Tavik.IsOpen() || m_Modes->currentIndex() < 0)
        return;
    SampleParameter p;
    if (!ReadSampleParameter(p))
        return;
    const auto mode = static_cast<SampleParameter::SERIAL_MODE>(SelectedData(m_Modes));
    if (mode == p.GetMode())
        return;
    p.SetMode(mode);
    ValidateAndSet(p, Format("Set SSI mode to %s", SampleParameter::GetModeAsString(mode)));
}

void CTavikDlg::CommitClock()
{
    if (!m_Tavik.IsOpen() || m_Clocks->currentIndex() < 0)
        return;
    SampleParameter p;
    if (!ReadSampleParameter(p))
        return;
    const unsigned hz = SelectedData(m_Clocks);
    p.SetFrequence(hz);
    ValidateAndSet(p, Format("Set new frequence to %u Hz", hz));
}

void CTavikDlg::CommitBitCounts()
{
    const unsigned st = SelectedData(m_StBits);
    const unsigned mt = SelectedData(m_MtBits);
    const unsigned n = st + mt;
    const unsigned mask = LowMask(n);
    if (ParseHex(FromQ(m_DataFilter->text())) != mask)
    {
        m_DataFilter->setText(ToQ(FormatHex8(mask)));
        m_GrayCodeFilter->setText(ToQ(FormatHex8(mask)));
        CommitDataFilter();
        CommitGrayCodeFilter();
    }
    if (!m_Tavik.IsOpen())
        return;
    SampleParameter p;
    if (!ReadSampleParameter(p))
        return;
    if (n == p.GetDataBits())
        return;
    p.SetDataBits(n);
    ValidateAndSet(
        p, Format("Set clocks to %d (mt bits = %d, st bits = %d).", int(n), int(mt), int(st)));
}

void CTavikDlg::CommitDataFilter()
{
    const unsigned value = ParseHex(FromQ(m_DataFilter->text()));
    m_DataFilter->setText(ToQ(FormatHex8(value)));
    m_GrayCodeFilter->setText(ToQ(FormatHex8(value)));
    CommitRegister(value, {&Box::GetDataMask, &Box::SetDataMask, "Error while reading data mask.\n",
                           "Error while setting data mask.\n", "Setting data mask to 0x%08X."});
}

void CTavikDlg::CommitGrayCodeFilter()
{
    const unsigned value = ParseHex(FromQ(m_GrayCodeFilter->text()));
    m_GrayCodeFilter->setText(ToQ(FormatHex8(value)));
    CommitRegister(value, {&Box::GetGrayBinaryMask, &Box::SetGrayBinaryMask,
                           "Error while reading gray binary mask.\n",
                           "Error while setting gray binary mask.\n",
                           "Setting gray binary mask to 0x%08X."});
}

void CTavikDlg::CommitSpiWord()
{
    const unsigned value = ParseHex(FromQ(m_SpiCommand->text()));
    m_SpiCommand->setText(ToQ(FormatHex8(value)));
    CommitRegister(value,
                   {&Box::GetSPIData, &Box::SetSPIData, "Error while reading SPI data from box.\n",
                    "Error while setting SPI data to box.\n", "Setting SPI data to 0x%08X."});
}

// Sends a register only when the box holds another value, so re-committing an unchanged edit
// adds no history line.
void CTavikDlg::CommitRegister(unsigned value, const RegisterAccess& access)
{
    if (!m_Tavik.IsOpen())
        return;
    unsigned current = 0;
    int status = (m_Tavik.*access.get)(current);
    if (status != Box::OK)
    {
        AddErrorLine(access.readError + Status(status));
        return;
    }
    if (current == value)
        return;
    status = (m_Tavik.*access.set)(value);
    if (status != Box::OK)
        AddErrorLine(access.setError + Status(status));
    else
        AddHistory(Format(access.doneFormat, value));
}

// ---------------------------------------------------------------------------------------------
// Expert settings

void CTavikDlg::ExpertSettings(int command)
{
    QAction* action = GetMenuAction(command);
    if (action == nullptr)
        zef::XAssertionFailed("false", "MenueItem not found", SOURCE, __LINE__);
    const bool checked = action->isChecked();
    if (command == IDM_EXPERT_DATAFILTER)
        m_ExpertFlags = checked ? 0 : (m_ExpertFlags | 1);
    else if (checked)
        m_ExpertFlags &= ~2;
    else
        m_ExpertFlags |= 3;
    ApplyExpertFlags();
}

void CTavikDlg::ApplyExpertFlags(bool commitMode)
{
    const bool filter = (m_ExpertFlags & 1) != 0;
    const bool spi = (m_ExpertFlags & 2) != 0;
    for (int id : {IDC_GR_DATAFILTER, IDC_ST_DATAFILTER, IDC_ST_GRAYCODEFILTER, IDC_ED_DATAFILTER,
                   IDC_ED_GRAYCODEFILTER})
        GetDlgItem(id)->setVisible(filter);
    m_Actions[IDM_EXPERT_DATAFILTER]->setChecked(filter);
    for (int id : {IDC_GR_SPIMODE, IDC_ST_SPICOMMAND, IDC_ED_SPICOMMAND})
        GetDlgItem(id)->setVisible(spi);
    m_Actions[IDM_EXPERT_SPIMODE]->setChecked(spi);

    m_Logo->setGeometry(m_LogoRect[std::size_t(m_ExpertFlags & 3)]);
    m_Logo->update();

    {
        const QSignalBlocker blocker(m_Modes);
        const auto remembered = m_Modes->currentIndex() < 0 ? unsigned(SampleParameter::SSI_Binary)
                                                            : SelectedData(m_Modes);
        m_Modes->clear();
        std::vector<SampleParameter::SERIAL_MODE> modes = {SampleParameter::SSI_Binary,
                                                           SampleParameter::SSI_Gray};
        if (spi)
        {
            modes.push_back(SampleParameter::SPI_Binary);
            modes.push_back(SampleParameter::SPI_Gray);
        }
        for (const auto mode : modes)
            m_Modes->addItem(QString::fromLatin1(SampleParameter::GetModeAsString(mode)),
                             unsigned(mode));
        // Selecting a mode that the list lacks brings SPI mode back (select mode). That
        // nested rebuild must not commit: it would send whatever its fresh list selected
        // first, and the commit below sends the mode that ends up selected anyway.
        if (!SelectMode(static_cast<SampleParameter::SERIAL_MODE>(remembered), false))
            m_Modes->setCurrentIndex(0);
    }
    if (commitMode)
        CommitMode();
}

bool CTavikDlg::SelectMode(SampleParameter::SERIAL_MODE mode, bool commitMode)
{
    while (true)
    {
        if (SelectData(m_Modes, mode))
            return true;
        if (m_Actions[IDM_EXPERT_SPIMODE]->isChecked() || mode > SampleParameter::SPI_Gray)
            return false;
        m_ExpertFlags |= 3;
        ApplyExpertFlags(commitMode);
    }
}

// ---------------------------------------------------------------------------------------------
// Menu commands

void CTavikDlg::OnSysCommand(int command)
{
    switch (command & 0xFFF0)
    {
    case IDM_ABOUTBOX:
        AboutBox();
        break;
    case IDM_EXPERT_DATAFILTER:
    case IDM_EXPERT_SPIMODE:
        ExpertSettings(command & 0xFFF0);
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
    if (m_GuiState != GS_POWERED && m_GuiState != GS_CONTINUOUS)
        return;
    SampleParameter p;
    if (!ReadSampleParameter(p))
        return;
    if (p.GetSampleCount() != 1)
    {
        p.SetSampleCount(1);
        if (ValidateAndSet(p, "Set sample count 1.") != Box::OK)
            return;
    }
    std::vector<unsigned> samples;
    const int status = m_Tavik.Sample(samples);
    if (status != Box::OK)
    {
        AddErrorLine("Error while sampling.\n" + Status(status));
        return;
    }
    if (samples.size() != 1)
        zef::XAssertionFailed("samples.size() == 1", "Array size not expected.", SOURCE, __LINE__);
    ShowSample(samples[0]);
}

void CTavikDlg::StopContinuousTimer()
{
    if (m_ContinuousTimer != 0)
    {
        killTimer(m_ContinuousTimer);
        m_ContinuousTimer = 0;
    }
}

void CTavikDlg::OnContinuousSample()
{
    if (m_ContinuousTimer != 0)
    {
        EnterGuiState(GS_POWERED);
        StopContinuousTimer();
        return;
    }
    EnterGuiState(GS_CONTINUOUS);
    m_ContinuousTimer = startTimer(CONTINUOUS_PERIOD_MS, Qt::PreciseTimer);
    (void)CONTINUOUS_TIMER_ID;
}

void CTavikDlg::OnTimer()
{
    OnSingleSample();
}

void CTavikDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_ContinuousTimer)
        Guard([this] { OnTimer(); });
    else
        QDialog::timerEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Batch Sample

void CTavikDlg::OnBatchSample()
{
    if (m_GuiState != GS_POWERED)
        return;
    EnterGuiState(GS_BATCH);
    // GS_POWERED again however the dialog ends, an exception included.
    struct Leave
    {
        CTavikDlg* dlg;
        ~Leave() { dlg->EnterGuiState(GS_POWERED); }
    } leave{this};
    CBatchSampleDlg batch(m_Tavik, SelectedData(m_StBits), SelectedData(m_MtBits), false, this);
    if (m_RunBatchDialog)
        m_RunBatchDialog(batch);
    else
        batch.exec();
}

void CTavikDlg::ShowSample(unsigned value)
{
    const unsigned stBits = SelectedData(m_StBits);
    const unsigned mtBits = SelectedData(m_MtBits);
    unsigned st = 0;
    unsigned mt = 0;
    Tavik::SplitStMt(stBits, mtBits, value, st, mt);

    const bool hex = Item<QCheckBox>(IDC_CK_HEX)->isChecked();
    const QString stText = ToQ(hex ? FormatHex8(st) : std::to_string(st));
    const QString mtText = ToQ(hex ? FormatHex8(mt) : std::to_string(mt));
    if (stText != m_LastStText)
    {
        m_StValue->SetCaption(stText);
        m_LastStText = stText;
    }
    if (mtText != m_LastMtText)
    {
        m_MtValue->SetCaption(mtText);
        m_LastMtText = mtText;
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
}

} // namespace App
