// Takes the README's screenshots of both visualisation windows, fed by a simulated box.
// Disabled in normal runs; run under Xvfb with TAVIK_SCREENSHOT_DIR=docs,
// QT_QPA_PLATFORM=xcb and xvfb-run -a build/bin/AppTests --gtest_also_run_disabled_tests
// --gtest_filter='*VisualisationWindowPictures*'
#include "DialogTestSupport.h"

#include "app/Resource.h"
#include "app/VisualizeAngleDlg.h"
#include "app/VisualizeSegmentDlg.h"
#include "link/SimulatedBox.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdlib>

using namespace App;

namespace
{
void Settle()
{
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

void Shoot(QWidget& window, const QString& path)
{
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(path));
}
} // namespace

TEST_F(DialogTest, DISABLED_VisualisationWindowPictures)
{
    const char* dir = std::getenv("TAVIK_SCREENSHOT_DIR");
    ASSERT_NE(dir, nullptr) << "TAVIK_SCREENSHOT_DIR names the folder to write to";
    SimBox().SetEncoder({13, 12, 7.5, false});
    Dlg().show();
    Click(IDC_BT_CONNECT);
    Choose(IDC_CB_STBITS, 13);
    Choose(IDC_CB_MTBITS, 12);
    Click(IDC_BT_POWER);
    Menu(IDM_VISUALIZE_ANGLE);
    Menu(IDM_VISUALIZE_DIGITAL);
    Dlg().GetSegmentDlg()->GetFormat(VisualizeSegmentDlg::LOWER) = {0.0, 360.0 / 8192, 0.0, 2,
                                                                    true};
    Click(1011); // output 1 low, as the labels show it too
    Dlg().GetAngleDlg()->ShowOutputMode(0, Tavik::Box::OUT_LOW_GND);
    Dlg().GetSegmentDlg()->ShowOutputMode(0, Tavik::Box::OUT_LOW_GND);
    m_Clock.Advance(std::chrono::milliseconds(1234567));
    Click(IDC_BT_SINGLESAMPLE);
    for (QWidget* w :
         {static_cast<QWidget*>(Dlg().GetAngleDlg()), static_cast<QWidget*>(Dlg().GetSegmentDlg())})
        w->move(0, 0);
    Dlg().GetAngleDlg()->raise();
    Settle();
    Shoot(*Dlg().GetAngleDlg(), QString::fromLocal8Bit(dir) + "/visualize-angle.png");
    Dlg().GetSegmentDlg()->raise();
    Settle();
    Shoot(*Dlg().GetSegmentDlg(), QString::fromLocal8Bit(dir) + "/visualize-segment.png");
}
