#include "DialogTestSupport.h"

#include "app/Label.h"
#include "app/Resource.h"
#include "app/SwitchCallBack.h"
#include "app/TavikApp.h"
#include "app/core/Formats.h"
#include "link/SimulatedBox.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

using Lines = std::vector<std::string>;
using Tavik::Box;

namespace
{

// Every control that a GUI state switches, with its expected enabled state in
// DISCONNECTED, CONNECTED, POWERED, CONTINUOUS and WAITING.
struct Expected
{
    int id;
    bool enabled[5];
};
const Expected STATE_TABLE[] = {
    {IDC_CB_DEVICES, {true, false, false, false, false}},
    {IDC_BT_SCAN, {true, false, false, false, false}},
    {IDC_BT_CONNECT, {true, true, false, false, true}},
    {IDC_BT_POWER, {false, true, true, false, false}},
    {IDC_RD_SSIDEVICE_EXTERNAL, {false, true, false, false, false}},
    {IDC_RD_SSIDEVICE_INTERNAL, {false, true, false, false, false}},
    {IDC_RD_SSIDEVICE_DCDC, {false, true, false, false, false}},
    {IDC_BT_SINGLESAMPLE, {false, false, true, false, false}},
    {IDC_BT_BATCHSAMPLE, {false, false, true, false, false}},
    {IDC_BT_CONTINUOUSSAMPLE, {false, false, true, true, false}},
    {IDC_BT_RESET, {false, true, true, true, false}},
    {1009, {false, true, true, true, false}},
    {1013, {false, true, true, true, false}},
    {1017, {false, true, true, true, false}},
    {IDC_CK_HEX, {false, true, true, true, false}},
    {IDC_CB_SSIMODE, {false, true, true, false, false}},
    {IDC_CB_SSIFREQUENCE, {false, true, true, false, false}},
    {IDC_ED_DATAFILTER, {false, true, true, false, false}},
    {IDC_ED_GRAYCODEFILTER, {false, true, true, false, false}},
    {IDC_ED_SPICOMMAND, {false, true, true, false, false}},
    {IDC_CB_STBITS, {false, true, true, false, false}},
    {IDC_CB_MTBITS, {false, true, true, false, false}},
};
} // namespace

class TavikDlgTest : public DialogTest
{
protected:
    void ExpectEnabled(int column, const char* state)
    {
        for (const Expected& e : STATE_TABLE)
            EXPECT_EQ(Dlg().GetDlgItem(e.id)->isEnabled(), e.enabled[column])
                << "control " << e.id << " in " << state;
    }
    void Connect()
    {
        Dlg();
        NewLines();
        Click(IDC_BT_CONNECT);
    }
};

TEST_F(TavikDlgTest, TemplateHasEveryControlWithCaptionAndEditLimits)
{
    for (int id :
         {1000, 1001, 1002, 1004, 1005, 1006, 1007, 1008, 1018, 1019, 1053, 1054, 1055, 1056,
          1057, 1058, 1059, 1063, 1064, 1067, 1068, 1102, 1149, 1162, 1163, 1164, 1165, 1166})
        EXPECT_NE(Dlg().GetDlgItem(id), nullptr) << id;
    for (int id = 1009; id <= 1017; ++id)
        EXPECT_NE(Dlg().GetDlgItem(id), nullptr) << id;
    for (int id = 1070; id <= 1101; ++id)
        EXPECT_NE(Dlg().GetDlgItem(id), nullptr) << id;
    EXPECT_EQ(Dlg().windowTitle(), "Tavik");
    EXPECT_EQ(Dlg().GetMenuAction(IDM_CLOCK_SWEEP)->text(), "Clock Sweep…") << "it asks for more";
    EXPECT_EQ(Item<QAbstractButton>(IDC_BT_SCAN)->text(), "Scan Devices");
    EXPECT_EQ(Item<QAbstractButton>(IDC_RD_SSIDEVICE_DCDC)->text(), "Internal DCDC (+12V)");
    EXPECT_EQ(Item<QAbstractButton>(1011)->text(), "Low / GND");
    EXPECT_EQ(Item<QAbstractButton>(IDC_CK_HEX)->text(), "Display as Hex");
    for (int id : {IDC_ED_DATAFILTER, IDC_ED_GRAYCODEFILTER, IDC_ED_SPICOMMAND})
    {
        EXPECT_EQ(Item<QLineEdit>(id)->maxLength(), 8);
        EXPECT_EQ(Item<QLineEdit>(id)->text(), "00000000");
    }
    // Start-up selections and radio buttons.
    EXPECT_EQ(Item<QComboBox>(IDC_CB_SSIFREQUENCE)->currentText(), "8 MHz");
    EXPECT_EQ(Item<QComboBox>(IDC_CB_SSIFREQUENCE)->count(), 128);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_STBITS)->currentText(), "12 Bit");
    EXPECT_EQ(Item<QComboBox>(IDC_CB_STBITS)->count(), 33);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_MTBITS)->currentText(), "13 Bit");
    EXPECT_EQ(Item<QComboBox>(IDC_CB_MTBITS)->count(), 25);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_SSIMODE)->count(), 2);
    EXPECT_TRUE(Item<QRadioButton>(IDC_RD_SSIDEVICE_EXTERNAL)->isChecked());
    EXPECT_TRUE(Item<QRadioButton>(1010)->isChecked() && Item<QRadioButton>(1013)->isChecked() &&
                Item<QRadioButton>(1016)->isChecked());
    EXPECT_EQ(Item<QAbstractButton>(IDC_BT_POWER)->text(), "Power ON");
    EXPECT_EQ(Item<CLabel>(IDC_ST_STVALUE)->GetText(), "0");
    EXPECT_TRUE(Item<CLabel>(IDC_ST_STVALUE)->GetLogFont().bold());
}

TEST_F(TavikDlgTest, EnabledStateOfEveryControlInEveryGuiState)
{
    EXPECT_EQ(Dlg().GetGuiState(), GS_DISCONNECTED);
    ExpectEnabled(0, "DISCONNECTED");
    EXPECT_EQ(Item<QAbstractButton>(IDC_BT_CONNECT)->text(), "Connect");
    Click(IDC_BT_CONNECT);
    EXPECT_EQ(Dlg().GetGuiState(), GS_CONNECTED);
    ExpectEnabled(1, "CONNECTED");
    EXPECT_EQ(Item<QAbstractButton>(IDC_BT_CONNECT)->text(), "Disconnect");
    Click(IDC_BT_POWER);
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
    ExpectEnabled(2, "POWERED");
    EXPECT_EQ(Item<QAbstractButton>(IDC_BT_POWER)->text(), "Power OFF");
    Click(IDC_BT_CONTINUOUSSAMPLE);
    EXPECT_EQ(Dlg().GetGuiState(), GS_CONTINUOUS);
    ExpectEnabled(3, "CONTINUOUS");
    Dlg().EnterGuiState(GS_BATCH); // changes no control
    ExpectEnabled(3, "BATCH after CONTINUOUS");
    Dlg().EnterGuiState(GS_CONTINUOUS);
    Click(IDC_BT_CONTINUOUSSAMPLE);
    ExpectEnabled(2, "POWERED again");
    Click(IDC_BT_POWER);
    ExpectEnabled(1, "CONNECTED again");
    Click(IDC_BT_CONNECT);
    ExpectEnabled(0, "DISCONNECTED again");
    EXPECT_EQ(NewLines().back(), "Disconnected from device.");
}

TEST_F(TavikDlgTest, OutputRadioSwitchesEvenWhenAlreadyChecked)
{
    Connect();
    NewLines();
    Click(1010); // already checked "Open"
    Click(1011);
    EXPECT_EQ(NewLines(),
              (Lines{"Switching output 1 to OUT_OPEN.", "Switching output 1 to OUT_LOW_GND."}));
    EXPECT_EQ(SimBox().GetOutputByte() & 3, 1);
}

TEST_F(TavikDlgTest, ExpertSettingsShowGroupsRebuildModesAndMoveLogo)
{
    Dlg().show();
    QWidget* logo = Dlg().GetDlgItem(IDC_ST_LOGO);
    const QRect templatePlace = Dlg().GetLogoRect(3);
    EXPECT_EQ(logo->geometry(), Dlg().GetLogoRect(0));
    EXPECT_LT(Dlg().GetLogoRect(0).left(), Dlg().GetLogoRect(1).left());
    EXPECT_LT(Dlg().GetLogoRect(1).left(), templatePlace.left());
    EXPECT_FALSE(Dlg().GetDlgItem(IDC_GR_DATAFILTER)->isVisible());

    Menu(IDM_EXPERT_SPIMODE);
    EXPECT_EQ(Dlg().GetExpertFlags(), 3);
    EXPECT_EQ(logo->geometry(), templatePlace);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_SSIMODE)->count(), 4);
    EXPECT_TRUE(Dlg().GetDlgItem(IDC_GR_DATAFILTER)->isVisible());
    EXPECT_TRUE(Dlg().GetDlgItem(IDC_ED_SPICOMMAND)->isVisible());
    EXPECT_TRUE(Dlg().GetMenuAction(IDM_EXPERT_SPIMODE)->isChecked());
    EXPECT_TRUE(Dlg().GetMenuAction(IDM_EXPERT_DATAFILTER)->isChecked());

    Menu(IDM_EXPERT_SPIMODE); // SPI off, filter stays
    EXPECT_EQ(Dlg().GetExpertFlags(), 1);
    EXPECT_EQ(logo->geometry(), Dlg().GetLogoRect(1));
    EXPECT_FALSE(Dlg().GetDlgItem(IDC_ED_SPICOMMAND)->isVisible());
    EXPECT_EQ(Item<QComboBox>(IDC_CB_SSIMODE)->count(), 2);

    Menu(IDM_EXPERT_SPIMODE);
    Dlg().OnSysCommand(IDM_EXPERT_DATAFILTER + 3); // low bits are ignored; hides both
    EXPECT_EQ(Dlg().GetExpertFlags(), 0);
    EXPECT_FALSE(Dlg().GetDlgItem(IDC_GR_SPIMODE)->isVisible());
    EXPECT_FALSE(Dlg().GetMenuAction(IDM_EXPERT_SPIMODE)->isChecked());

    Menu(IDM_EXPERT_DATAFILTER);
    EXPECT_EQ(Dlg().GetExpertFlags(), 1);
    EXPECT_TRUE(Dlg().GetMenuAction(IDM_EXPERT_DATAFILTER)->isChecked());
}

TEST_F(TavikDlgTest, DataFilterEditCopiesIntoGrayEditButSendsOnlyDataMask)
{
    Connect();
    Menu(IDM_EXPERT_DATAFILTER);
    NewLines();
    Type(IDC_ED_DATAFILTER, "FF");
    EXPECT_EQ(Item<QLineEdit>(IDC_ED_DATAFILTER)->text(), "000000FF");
    EXPECT_EQ(Item<QLineEdit>(IDC_ED_GRAYCODEFILTER)->text(), "000000FF");
    EXPECT_EQ(NewLines(), (Lines{"Setting data mask to 0x000000FF."}));
    EXPECT_EQ(SimBox().GetGrayMask(), 0x01FFFFFFu);
    WindowInput::Click(Item<QLineEdit>(IDC_ED_GRAYCODEFILTER)); // passing through sends it
    WindowInput::Key(&Dlg(), Qt::Key_Tab);
    EXPECT_EQ(NewLines(), (Lines{"Setting gray binary mask to 0x000000FF."}));
}

TEST_F(TavikDlgTest, EnterInDataFilterMovesFocusAndCommits)
{
    Connect();
    Menu(IDM_EXPERT_DATAFILTER);
    NewLines();
    WindowInput::Type(Item<QLineEdit>(IDC_ED_DATAFILTER), "FF", false);
    ASSERT_TRUE(Item<QLineEdit>(IDC_ED_DATAFILTER)->hasFocus());
    WindowInput::Key(&Dlg(), Qt::Key_Return);
    EXPECT_TRUE(Dlg().isVisible());
    EXPECT_TRUE(Item<QLineEdit>(IDC_ED_GRAYCODEFILTER)->hasFocus());
    EXPECT_EQ(NewLines(), (Lines{"Setting data mask to 0x000000FF."}));
}

TEST_F(TavikDlgTest, SampleIsSplitIntoStAndMtAndShownDecimalOrHex)
{
    Connect();
    Choose(IDC_CB_STBITS, 12);
    Choose(IDC_CB_MTBITS, 13);
    Dlg().ShowSample(0x00ABCDEF);
    EXPECT_EQ(Item<CLabel>(IDC_ST_STVALUE)->GetText(), "3567");
    EXPECT_EQ(Item<CLabel>(IDC_ST_MTVALUE)->GetText(), "2748");
    Click(IDC_CK_HEX);
    Dlg().ShowSample(0x00ABCDEF);
    EXPECT_EQ(Item<CLabel>(IDC_ST_STVALUE)->GetText(), "00000DEF");
    EXPECT_EQ(Item<CLabel>(IDC_ST_MTVALUE)->GetText(), "00000ABC");
}

TEST_F(TavikDlgTest, BitLampsRepaintOnlyChangedBits)
{
    Dlg();
    std::vector<int> before(32);
    for (int bit = 0; bit < 32; ++bit)
    {
        before[std::size_t(bit)] = Dlg().GetBitLabel(bit)->GetRedrawCount();
        EXPECT_EQ(Dlg().GetBitLabel(bit)->GetBackgroundColor(), 0u) << "black after start-up";
    }
    const int stBefore = Item<CLabel>(IDC_ST_STVALUE)->GetRedrawCount();
    Dlg().ShowSample(0x80000005);
    for (int bit = 0; bit < 32; ++bit)
    {
        const bool set = bit == 0 || bit == 2 || bit == 31;
        EXPECT_EQ(Dlg().GetBitLabel(bit)->GetRedrawCount() - before[std::size_t(bit)], set ? 1 : 0)
            << bit;
        EXPECT_EQ(Dlg().GetBitLabel(bit)->GetBackgroundColor(), set ? 0x0000FFu : 0u) << bit;
    }
    const int afterFirst = Item<CLabel>(IDC_ST_STVALUE)->GetRedrawCount();
    EXPECT_EQ(afterFirst - stBefore, 1);
    Dlg().ShowSample(0x80000005); // the same reading changes no label
    Dlg().ShowSample(0x80000004);
    EXPECT_EQ(Item<CLabel>(IDC_ST_STVALUE)->GetRedrawCount() - afterFirst, 1);
    EXPECT_EQ(Dlg().GetBitLabel(0)->GetRedrawCount() - before[0], 2);
    EXPECT_EQ(Dlg().GetBitLabel(2)->GetRedrawCount() - before[2], 1);
    EXPECT_EQ(Dlg().GetBitLabel(0)->GetBackgroundColor(), 0u);
}

TEST_F(TavikDlgTest, ContinuousSamplingTogglesAndResetEndsIt)
{
    Connect();
    Click(IDC_BT_POWER);
    Click(IDC_BT_CONTINUOUSSAMPLE);
    EXPECT_TRUE(Dlg().IsContinuousRunning());
    EXPECT_EQ(Dlg().GetGuiState(), GS_CONTINUOUS);
    NewLines();
    SimBox().SetEncoder({13, 12, 600.0, false});
    Dlg().OnTimer();
    const QString first = Item<CLabel>(IDC_ST_STVALUE)->GetText();
    m_Clock.Advance(std::chrono::milliseconds(50));
    Dlg().OnTimer();
    EXPECT_NE(Item<CLabel>(IDC_ST_STVALUE)->GetText(), first) << "the encoder turns";
    EXPECT_EQ(NewLines(), (Lines{}));

    Click(IDC_BT_RESET);
    EXPECT_FALSE(Dlg().IsContinuousRunning());
    EXPECT_EQ(Dlg().GetGuiState(), GS_CONNECTED);
    Click(IDC_BT_POWER);
    Click(IDC_BT_CONTINUOUSSAMPLE); // starts afresh
    EXPECT_TRUE(Dlg().IsContinuousRunning());
    Click(IDC_BT_CONTINUOUSSAMPLE);
    EXPECT_FALSE(Dlg().IsContinuousRunning());
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
}

// The session's lines and restored settings are checked in BoxSessionTest; here the timer
// stops, the state shows, the controls follow and the box comes back on its event.
TEST_F(TavikDlgTest, UnplugDuringContinuousSamplingShowsTheWaitingStateUntilTheBoxIsBack)
{
    Connect();
    Click(IDC_BT_POWER);
    Click(IDC_BT_CONTINUOUSSAMPLE);
    NewLines();
    SimBox().Unplug();
    Dlg().OnTimer();
    EXPECT_FALSE(Dlg().IsContinuousRunning());
    EXPECT_EQ(Dlg().GetGuiState(), GS_WAITING);
    EXPECT_EQ(Dlg().GetStateText(),
              QString::fromUtf8("Box SIM00001 unplugged \u2013 waiting for it to return"));
    ExpectEnabled(4, "WAITING");
    EXPECT_EQ(NewLines(), (Lines{"Error: Continuous sampling stopped: box SIM00001 unplugged - "
                                 "waiting for it to return."}));
    EXPECT_EQ(Item<QAbstractButton>(IDC_BT_CONNECT)->text(), "Disconnect");

    SimBox().Replug();
    Dlg().OnDeviceEvents();
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
    EXPECT_EQ(Dlg().GetStateText(), QString());
    ExpectEnabled(2, "POWERED after the return");
    EXPECT_EQ(NewLines().back(), "Restored power mode PWR_INTERNAL.");
    Click(IDC_BT_SINGLESAMPLE);
    EXPECT_EQ(NewLines(), (Lines{}));
}

TEST_F(TavikDlgTest, TheBoxListFollowsPlugAndUnplugEvents)
{
    UseBoxes(2);
    Dlg();
    ASSERT_EQ(Item<QComboBox>(IDC_CB_DEVICES)->count(), 2);
    Choose(IDC_CB_DEVICES, 1); // the link's index of SIM00002
    NewLines();
    SimBox(0).Unplug();
    Dlg().OnDeviceEvents();
    ASSERT_EQ(Item<QComboBox>(IDC_CB_DEVICES)->count(), 1);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_DEVICES)->currentText(), "SIM00002");
    SimBox(0).Replug();
    Dlg().OnDeviceEvents();
    Dlg().OnDeviceEvents(); // twice: nothing more
    ASSERT_EQ(Item<QComboBox>(IDC_CB_DEVICES)->count(), 2);
    EXPECT_EQ(Item<QComboBox>(IDC_CB_DEVICES)->currentText(), "SIM00002"); // still chosen
    EXPECT_EQ(NewLines(), (Lines{}));
    Click(IDC_BT_CONNECT);
    EXPECT_EQ(Dlg().GetBox().GetSerial(), "SIM00002");
}

TEST_F(TavikDlgTest, WheelChangesOnlyAFocusedListAndScrollingSendsNothing)
{
    Connect();
    NewLines();
    auto* clocks = Item<QComboBox>(IDC_CB_SSIFREQUENCE);
    auto* stBits = Item<QComboBox>(IDC_CB_STBITS);
    const int clock = clocks->currentIndex();
    const int st = stBits->currentIndex();
    ASSERT_FALSE(clocks->hasFocus() || stBits->hasFocus());
    for (QWidget* w : {static_cast<QWidget*>(clocks), static_cast<QWidget*>(stBits),
                       static_cast<QWidget*>(&Dlg().GetHistory())})
        WindowInput::Wheel(w, -1);
    EXPECT_EQ(clocks->currentIndex(), clock);
    EXPECT_EQ(stBits->currentIndex(), st);
    EXPECT_EQ(NewLines(), (Lines{}));

    // A click opens the list and takes the focus; Escape closes it again.
    Click(IDC_CB_SSIFREQUENCE);
    WindowInput::Escape(clocks->view()->window());
    ASSERT_TRUE(clocks->hasFocus());
    WindowInput::Wheel(clocks, -1);
    EXPECT_EQ(clocks->currentIndex(), clock + 1);
    const unsigned hz = clocks->currentData().toUInt();
    EXPECT_EQ(NewLines(), (Lines{"Setting sample parameter. Set new frequence to " +
                                 std::to_string(hz) + " Hz"}));
}

// The History group box is built after the list: the list must still be on top of it.
TEST_F(TavikDlgTest, HistoryScrollsWithTheWheel)
{
    for (int i = 0; i < 40; ++i)
        Dlg().AddHistory("line " + std::to_string(i));
    CHistoryList& history = Dlg().GetHistory();
    const int top = history.GetTopIndex();
    WindowInput::Wheel(&history, 1);
    EXPECT_LT(history.GetTopIndex(), top);
}

TEST_F(TavikDlgTest, DisplayAsHexShowsTheLastReadingAgainWithoutACommand)
{
    Connect();
    Click(IDC_BT_POWER);
    SimBox().SetEncoder({13, 12, 0.0, false});
    Click(IDC_BT_SINGLESAMPLE);
    const QString decimal = Item<CLabel>(IDC_ST_STVALUE)->GetText();
    const unsigned st = decimal.toUInt();
    const auto commands = SimBox().GetCommandCount();
    Click(IDC_CK_HEX);
    EXPECT_EQ(Item<CLabel>(IDC_ST_STVALUE)->GetText(), ToQ(FormatHex8(st)));
    Click(IDC_CK_HEX);
    EXPECT_EQ(Item<CLabel>(IDC_ST_STVALUE)->GetText(), decimal);
    EXPECT_EQ(SimBox().GetCommandCount(), commands);
}

TEST_F(TavikDlgTest, WindowGrowsWithTheHistoryAndNeverBelowItsTemplate)
{
    Dlg().show();
    const QSize start = Dlg().size();
    EXPECT_EQ(Dlg().minimumSize(), start);
    const QSize history = Dlg().GetHistory().size();
    Dlg().resize(start + QSize(100, 60));
    QApplication::processEvents();
    EXPECT_EQ(Dlg().GetHistory().size(), history + QSize(100, 60));
    bool mnemonic = false;
    for (const QMenu* menu : Dlg().findChildren<QMenu*>())
        mnemonic = mnemonic || menu->title() == "&Expert Settings";
    EXPECT_TRUE(mnemonic);
}

TEST_F(TavikDlgTest, EnterDoesNotCloseTheDialog)
{
    WindowInput::Key(&Dlg(), Qt::Key_Enter);
    EXPECT_TRUE(Dlg().isVisible());
    EXPECT_EQ(Dlg().result(), 0);
}

TEST_F(TavikDlgTest, VisualisationCallBackChecksTheRadioThenSwitches)
{
    Connect();
    NewLines();
    VisualizeDlgCallBack callBack(&Dlg());
    SwitchCallBack& asInterface = callBack;
    asInterface.SwitchOutput(2, Box::OUT_HIGH_UB);
    EXPECT_TRUE(Item<QRadioButton>(1015)->isChecked());
    EXPECT_EQ(Dlg().ReadOutputMode(2), Box::OUT_HIGH_UB);
    EXPECT_EQ(NewLines(), (Lines{"Switching output 3 to OUT_HIGH_UB."}));
    EXPECT_EQ((SimBox().GetOutputByte() >> 4) & 3, 2);
}
