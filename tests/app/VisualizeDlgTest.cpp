#include "DialogTestSupport.h"

#include "app/Label.h"
#include "app/OutputPanel.h"
#include "app/Resource.h"
#include "app/VisualizeAngleDlg.h"
#include "app/VisualizeSegmentDlg.h"
#include "app/VisualizeSegmentParaDlg.h"
#include "app/core/SegmentFormat.h"
#include "controls/BmpCtrl.h"
#include "controls/RotationAngleCtrl.h"
#include "controls/SegmentCtrl.h"
#include "link/SimulatedBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>

using Lines = std::vector<std::string>;
using Tavik::Box;
using zef::Glimra::SegmentCtrl;

namespace
{
// Runs `act` on the format dialog once the display's click has opened it (its exec() does
// not return before `act` answers it).
void WhenFormatDialogOpens(const std::function<void(VisualizeSegmentParaDlg&)>& act)
{
    QTimer::singleShot(0,
                       [act]
                       {
                           auto* dlg = qobject_cast<VisualizeSegmentParaDlg*>(
                               QApplication::activeModalWidget());
                           ASSERT_NE(dlg, nullptr);
                           ASSERT_TRUE(WindowInput::Show(dlg));
                           act(*dlg);
                       });
}

std::string Text(const SegmentCtrl& display)
{
    return display.GetText().toStdString();
}
} // namespace

class VisualizeDlgTest : public DialogTest
{
protected:
    VisualizeAngleDlg& Angle()
    {
        if (!m_Angle)
            m_Angle = std::make_unique<VisualizeAngleDlg>(&m_Ini);
        return *m_Angle;
    }
    VisualizeSegmentDlg& Segment()
    {
        if (!m_Segment)
            m_Segment = std::make_unique<VisualizeSegmentDlg>(&m_Ini);
        return *m_Segment;
    }
    void TearDown() override
    {
        m_Angle.reset();
        m_Segment.reset();
        DialogTest::TearDown();
    }
    std::unique_ptr<VisualizeAngleDlg> m_Angle;
    std::unique_ptr<VisualizeSegmentDlg> m_Segment;
};

TEST_F(VisualizeDlgTest, AngleOfASampleAndTurnCount)
{
    EXPECT_EQ(Angle().GetDial().GetAngle(), 0);
    EXPECT_EQ(Text(Angle().GetTurnDisplay()), "0000");
    Angle().ShowSample(13, 2048, 7);
    EXPECT_EQ(Angle().GetDial().GetAngle(), 270);
    EXPECT_EQ(Text(Angle().GetTurnDisplay()), "0007");
    Angle().ShowSample(24, 16777215, 123456);
    EXPECT_EQ(Angle().GetDial().GetAngle(), 0);
    EXPECT_EQ(Text(Angle().GetTurnDisplay()), "123456");
    Angle().ShowSample(0, 999, 0);
    EXPECT_EQ(Angle().GetDial().GetAngle(), 0) << "ST bits 0: 360 - 0";
    EXPECT_FALSE(Angle().GetDial().GetClockFaceDirection());
    EXPECT_EQ(Angle().GetDial().GetRimWidth(), 0);
}

TEST_F(VisualizeDlgTest, PointerAtThreeOClockForZeroAndSixOClockForAQuarterTurn)
{
    auto& dial = Angle().GetDial();
    const auto pointerAt = [&dial](int dx, int dy)
    {
        const QImage image = dial.grab().toImage();
        const zef::Glimra::DialGeometry g = zef::Glimra::DialGeometry::Compute(
            zef::Glimra::Rect::FromQRect(dial.rect()), dial.GetRimWidth());
        const int radius = g.rh + (g.rp - g.rh) / 3;
        return zef::Glimra::FromQColor(image.pixelColor(g.cx + dx * radius, g.cy + dy * radius)) ==
               dial.GetColorIndicator();
    };
    Angle().ShowSample(13, 0, 0);
    EXPECT_TRUE(pointerAt(1, 0));
    EXPECT_FALSE(pointerAt(0, 1));
    Angle().ShowSample(13, 2048, 0);
    EXPECT_TRUE(pointerAt(0, 1));
    EXPECT_FALSE(pointerAt(1, 0));
}

TEST_F(VisualizeDlgTest, IniColoursAndTitles)
{
    WriteIni("[VisualizeAngleDlg]\nColorRotationAngleKnob=111\nColorRotationAngleIndicator=222\n"
             "ColorDigitalAngleSegmentDisabled=1\nColorDigitalAngleSegmentEnabled=2\n"
             "ColorDigitalAngleBackground=3\nColorSwitchEnabled=255\nColorSwitchDisabled=4\n"
             "Output2=Brake\n");
    EXPECT_EQ(Angle().GetDial().GetColorKnob(), 111u);
    EXPECT_EQ(Angle().GetDial().GetColorIndicator(), 222u);
    for (const SegmentCtrl* display :
         {&Angle().GetTurnDisplay(), &Segment().GetDisplay(VisualizeSegmentDlg::UPPER),
          &Segment().GetDisplay(VisualizeSegmentDlg::LOWER)})
    {
        EXPECT_EQ(display->GetOffColor(), 1u);
        EXPECT_EQ(display->GetOnColor(), 2u);
        EXPECT_EQ(display->GetBackColor(), 3u);
    }
    for (DialogBase* dlg :
         {static_cast<DialogBase*>(&Angle()), static_cast<DialogBase*>(&Segment())})
    {
        EXPECT_EQ(dlg->Item<QGroupBox>(IDC_GR_OUTPUT1)->title(), "Output 1");
        EXPECT_EQ(dlg->Item<QGroupBox>(IDC_GR_OUTPUT2)->title(), "Brake");
    }
    Segment().ShowOutputMode(1, Box::OUT_OPEN);
    EXPECT_EQ(Segment().Item<CLabel>(1144)->GetBackgroundColor(), 255u);
    EXPECT_EQ(Segment().Item<CLabel>(1143)->GetBackgroundColor(), 4u);
}

TEST_F(VisualizeDlgTest, DefaultColoursFollowTheSystemButtonFace)
{
    const auto face = zef::Glimra::GetSysColor(zef::Glimra::COLOR_BTNFACE);
    EXPECT_EQ(Angle().GetDial().GetColorKnob(), face);
    EXPECT_EQ(Angle().GetDial().GetBkColor(), face);
    EXPECT_EQ(Angle().GetDial().GetColorIndicator(), 13312u);
    EXPECT_EQ(Angle().GetTurnDisplay().GetOnColor(), 65280u);
}

TEST_F(VisualizeDlgTest, LogoBuiltInConfiguredMissingOrNoBrand)
{
    const auto logos = [](DialogBase& dlg)
    {
        return std::pair{!dlg.GetDlgItem(IDC_ST_LOGO_BUILTIN)->isHidden(),
                         !dlg.GetDlgItem(IDC_ST_LOGO_BMP)->isHidden()};
    };
    EXPECT_EQ(logos(Angle()), std::pair(true, false));
    m_Angle.reset();
    WriteIni("[VisualizeAngleDlg]\nLogo=/nonexistent/logo.bmp\n");
    EXPECT_EQ(logos(Angle()), std::pair(true, false));
    EXPECT_EQ(logos(Segment()), std::pair(true, false));
    m_Angle.reset();
    m_Segment.reset();
    WriteIni("[VisualizeAngleDlg]\nLogo=nobrand\n");
    EXPECT_EQ(logos(Angle()), std::pair(false, false));
    EXPECT_EQ(logos(Segment()), std::pair(false, false));
    m_Angle.reset();
    const std::string bmp = "VisualizeDlgTest-" + std::to_string(::getpid()) + ".bmp";
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(bmp), "BMP"));
    WriteIni("[VisualizeAngleDlg]\nLogo=" + bmp + "\n");
    EXPECT_EQ(logos(Angle()), std::pair(false, true));
    std::remove(bmp.c_str());
}

// The main window runs application-modal (exec()); the windows it opens from its menu must
// still take clicks and their close box, and stay in front of it.
TEST_F(VisualizeDlgTest, LabelClickSwitchesTheBoxThroughTheMainWindow)
{
    Click(IDC_BT_CONNECT);
    Menu(IDM_VISUALIZE_ANGLE);
    VisualizeAngleDlg& angle = *Dlg().GetAngleDlg();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&angle));
    EXPECT_EQ(angle.windowHandle()->transientParent(), Dlg().windowHandle());
    EXPECT_EQ(angle.Item<CLabel>(1144)->GetBackgroundColor(), 255u) << "current mode: OFF";
    NewLines();
    WindowInput::Click(angle.Item<CLabel>(1145));
    EXPECT_EQ(angle.Item<CLabel>(1145)->GetBackgroundColor(), 255u);
    EXPECT_EQ(angle.Item<CLabel>(1143)->GetBackgroundColor(), 65280u);
    EXPECT_EQ(angle.Item<CLabel>(1144)->GetBackgroundColor(), 65280u);
    EXPECT_EQ(NewLines(), (Lines{"Switching output 2 to OUT_HIGH_UB."}));
    EXPECT_EQ((SimBox().GetOutputByte() >> 2) & 3, 2);
    EXPECT_EQ(Dlg().ReadOutputMode(1), Box::OUT_HIGH_UB);
    angle.windowHandle()->close(); // the close box
    EXPECT_FALSE(angle.isVisible());

    Menu(IDM_VISUALIZE_DIGITAL);
    VisualizeSegmentDlg& segment = *Dlg().GetSegmentDlg();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&segment));
    EXPECT_EQ(segment.windowHandle()->transientParent(), Dlg().windowHandle());
    EXPECT_EQ(segment.Item<CLabel>(1145)->GetBackgroundColor(), 255u) << "modes given at creation";
    WindowInput::Click(segment.Item<CLabel>(1146));
    EXPECT_EQ(NewLines(), (Lines{"Switching output 3 to OUT_LOW_GND."}));
    EXPECT_EQ((SimBox().GetOutputByte() >> 4) & 3, 1);
    EXPECT_EQ(Dlg().ReadOutputMode(2), Box::OUT_LOW_GND);
    bool opened = false;
    WhenFormatDialogOpens(
        [&opened](VisualizeSegmentParaDlg& dlg)
        {
            opened = true;
            WindowInput::Escape(&dlg);
        });
    WindowInput::Click(&segment.GetDisplay(VisualizeSegmentDlg::UPPER));
    EXPECT_TRUE(opened) << "a click on a display opens \"Format MT / ST\"";
    EXPECT_EQ(QApplication::activeModalWidget(), &Dlg());
    segment.windowHandle()->close();
    EXPECT_FALSE(segment.isVisible());
}

TEST_F(VisualizeDlgTest, ResizingFollowsTheSizerRulesAndNeverGoesBelowTheTemplate)
{
    for (DialogBase* dlg :
         {static_cast<DialogBase*>(&Angle()), static_cast<DialogBase*>(&Segment())})
    {
        const QSize start = dlg->DialogUnitsToPixels(0, 0, 496, 294).size();
        EXPECT_EQ(dlg->size(), start);
        EXPECT_EQ(dlg->minimumSize(), start);
        dlg->show();
        const int topId = dlg == m_Angle.get() ? IDC_ST_ROTATIONANGLE : IDC_ST_SEGMENT_UPPER;
        const int bottomId = dlg == m_Angle.get() ? IDC_ST_TURNS : IDC_ST_SEGMENT_LOWER;
        QWidget* top = dlg->GetDlgItem(topId);
        QWidget* bottom = dlg->GetDlgItem(bottomId);
        QWidget* label = dlg->GetDlgItem(1140);
        QWidget* logo = dlg->GetDlgItem(IDC_ST_LOGO_BUILTIN);
        const QRect top0 = top->geometry(), bottom0 = bottom->geometry();
        const QRect label0 = label->geometry(), logo0 = logo->geometry();

        dlg->resize(start.width() + 100, start.height() + 60);
        QApplication::processEvents();
        EXPECT_EQ(top->geometry(), top0.adjusted(0, 0, 100, 30));
        EXPECT_EQ(bottom->geometry(), bottom0.adjusted(0, 30, 100, 60));
        EXPECT_EQ(label->geometry(), label0.translated(100, 30));
        EXPECT_EQ(logo->geometry(), logo0.translated(100, 0));

        dlg->resize(start.width() - 50, start.height() - 50);
        QApplication::processEvents();
        EXPECT_EQ(dlg->size(), start);
        EXPECT_EQ(top->geometry(), top0);
        EXPECT_EQ(label->geometry(), label0);
    }
}

TEST_F(VisualizeDlgTest, ClosingOnlyHidesAndTheNextCommandShowsTheSameWindow)
{
    Click(IDC_BT_CONNECT);
    Menu(IDM_VISUALIZE_ANGLE);
    VisualizeAngleDlg* first = Dlg().GetAngleDlg();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(Dlg().GetSegmentDlg(), nullptr);
    first->windowHandle()->close();
    EXPECT_FALSE(first->isVisible());
    Choose(IDC_CB_STBITS, 13);
    Dlg().ShowSample(0x800);
    Menu(IDM_VISUALIZE_ANGLE);
    EXPECT_EQ(Dlg().GetAngleDlg(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->GetDial().GetAngle(), 270) << "fed while hidden (ST 13 bits: 2048)";

    Menu(IDM_VISUALIZE_DIGITAL);
    VisualizeSegmentDlg* segment = Dlg().GetSegmentDlg();
    ASSERT_NE(segment, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(segment));
    WindowInput::Escape(segment);
    EXPECT_FALSE(segment->isVisible());
    Menu(IDM_VISUALIZE_DIGITAL);
    EXPECT_EQ(Dlg().GetSegmentDlg(), segment);
    EXPECT_TRUE(segment->isVisible());
}

TEST_F(VisualizeDlgTest, ContinuousSamplingKeepsBothWindowsInStep)
{
    Click(IDC_BT_CONNECT);
    Click(IDC_BT_POWER);
    Menu(IDM_VISUALIZE_ANGLE);
    Menu(IDM_VISUALIZE_DIGITAL);
    SimBox().SetEncoder({13, 12, 600.0, false});
    Click(IDC_BT_CONTINUOUSSAMPLE);
    VisualizeAngleDlg& angle = *Dlg().GetAngleDlg();
    VisualizeSegmentDlg& segment = *Dlg().GetSegmentDlg();
    for (int tick = 0; tick < 5; ++tick)
    {
        m_Clock.Advance(std::chrono::milliseconds(50));
        Dlg().OnTimer();
        const std::string st = Item<CLabel>(IDC_ST_STVALUE)->GetText().toStdString();
        const std::string mt = Item<CLabel>(IDC_ST_MTVALUE)->GetText().toStdString();
        EXPECT_EQ(Text(segment.GetDisplay(VisualizeSegmentDlg::LOWER)), st);
        EXPECT_EQ(Text(segment.GetDisplay(VisualizeSegmentDlg::UPPER)), mt);
        EXPECT_EQ(Text(angle.GetTurnDisplay()), FormatTurns(unsigned(std::stoul(mt))));
        EXPECT_EQ(angle.GetDial().GetAngle(),
                  int(360 - SampleAngle(13, unsigned(std::stoul(st)))) % 360);
    }
}

TEST_F(VisualizeDlgTest, SegmentDisplaysShowEachFormat)
{
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::UPPER)), "0");
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::LOWER)), "0");
    Segment().SetLastSample(13, 12, 4096, 3);
    Segment().UpdateDisplays();
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::UPPER)), "3");
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::LOWER)), "4096");
    Segment().GetFormat(VisualizeSegmentDlg::UPPER) = {0.0, 0.5, 0.0, 0, false};
    Segment().GetFormat(VisualizeSegmentDlg::LOWER) = {0.0, 360.0 / 8192, 0.0, 2, true};
    Segment().UpdateDisplays();
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::UPPER)), "14336");
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::LOWER)), "180.00");
}

TEST_F(VisualizeDlgTest, FormatDialogEditsListAndSplit)
{
    VisualizeSegmentParaDlg dlg;
    ASSERT_TRUE(WindowInput::Show(&dlg));
    EXPECT_EQ(dlg.windowTitle(), "Format MT / ST");
    auto* list = dlg.Item<QComboBox>(IDC_CB_DECIMALS);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(1), "1 digits");
    dlg.SetFormat({0.0, 360.0 / 8192, -10.0, 2, true});
    auto* mt = dlg.Item<QLineEdit>(IDC_ED_MTFACTOR);
    auto* st = dlg.Item<QLineEdit>(IDC_ED_STFACTOR);
    auto* offset = dlg.Item<QLineEdit>(IDC_ED_OFFSET);
    EXPECT_EQ(st->text(), "0.044");
    EXPECT_EQ(offset->text(), "-10.000");
    EXPECT_EQ(list->currentIndex(), 2);

    WindowInput::Click(st);
    WindowInput::Key(&dlg, Qt::Key_Tab);
    EXPECT_EQ(dlg.GetFormat().stFactor, 360.0 / 8192) << "passing through keeps the exact value";
    WindowInput::Type(offset, "abc");
    EXPECT_EQ(offset->text(), "0.000");
    WindowInput::Type(offset, "2");
    EXPECT_EQ(offset->text(), "2.000");
    EXPECT_EQ(dlg.GetFormat().offset, 2.0);
    WindowInput::Type(st, "1e999");
    EXPECT_EQ(st->text(), "inf");

    auto* split = dlg.Item<QCheckBox>(IDC_CK_SPLIT);
    WindowInput::Click(split);
    EXPECT_FALSE(mt->isEnabled());
    EXPECT_TRUE(st->isEnabled());
    EXPECT_EQ(dlg.Item<QLabel>(IDC_ST_STFACTOR)->text(), "Factor MT/ST");
    EXPECT_FALSE(dlg.GetFormat().split);
    WindowInput::Click(split);
    EXPECT_TRUE(mt->isEnabled());
    EXPECT_EQ(dlg.Item<QLabel>(IDC_ST_STFACTOR)->text(), "Factor ST");

    WindowInput::ChooseIndex(list, 1);
    EXPECT_EQ(dlg.GetFormat().decimalPlaces, 1);
}

TEST_F(VisualizeDlgTest, DisplayClickRunsTheFormatDialogOkTakesItCancelDoesNot)
{
    ASSERT_TRUE(WindowInput::Show(&Segment()));
    Segment().SetLastSample(13, 12, 3, 0);
    const SegmentFormat before = Segment().GetFormat(VisualizeSegmentDlg::LOWER);
    WhenFormatDialogOpens(
        [](VisualizeSegmentParaDlg& dlg)
        {
            WindowInput::Type(dlg.Item<QLineEdit>(IDC_ED_OFFSET), "-10");
            WindowInput::Click(dlg.Item<QPushButton>(IDCANCEL));
        });
    WindowInput::Click(&Segment().GetDisplay(VisualizeSegmentDlg::LOWER));
    EXPECT_EQ(Segment().GetFormat(VisualizeSegmentDlg::LOWER), before);

    WhenFormatDialogOpens(
        [](VisualizeSegmentParaDlg& dlg)
        {
            EXPECT_EQ(dlg.Item<QLineEdit>(IDC_ED_STFACTOR)->text(), "1.000");
            // Typed, then OK straight away.
            WindowInput::Type(dlg.Item<QLineEdit>(IDC_ED_OFFSET), "-10", false);
            WindowInput::Click(dlg.Item<QPushButton>(IDOK));
        });
    WindowInput::Click(&Segment().GetDisplay(VisualizeSegmentDlg::LOWER));
    EXPECT_EQ(Segment().GetFormat(VisualizeSegmentDlg::LOWER).offset, -10.0);
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::LOWER)), "-7");

    WhenFormatDialogOpens(
        [](VisualizeSegmentParaDlg& dlg)
        {
            WindowInput::Type(dlg.Item<QLineEdit>(IDC_ED_STFACTOR), "1e300");
            WindowInput::Click(dlg.Item<QPushButton>(IDOK));
        });
    WindowInput::Click(&Segment().GetDisplay(VisualizeSegmentDlg::LOWER));
    EXPECT_EQ(Text(Segment().GetDisplay(VisualizeSegmentDlg::LOWER)), "OVERFLOW");
}
