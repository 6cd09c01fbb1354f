// Takes the README's screenshot of the main window connected to a simulated box. Disabled
// in normal runs; run under Xvfb with TAVIK_SCREENSHOT=docs/main-window.png,
// QT_QPA_PLATFORM=xcb and xvfb-run -a build/bin/AppTests --gtest_also_run_disabled_tests
// --gtest_filter='*Screenshot*'
#include "DialogTestSupport.h"

#include "app/Resource.h"

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdlib>

using namespace App;

TEST_F(DialogTest, DISABLED_MainWindowScreenshot)
{
    const char* path = std::getenv("TAVIK_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "TAVIK_SCREENSHOT names the file to write";
    FTD2xx::EncoderModel encoder;
    encoder.rpm = 7.5;
    SimBox().SetEncoder(encoder);
    Dlg().show();
    Dlg().move(0, 0);
    Click(IDC_BT_CONNECT);
    Click(IDC_BT_POWER);
    m_Clock.Advance(std::chrono::milliseconds(1234567));
    Click(IDC_BT_SINGLESAMPLE);
    for (int i = 0; i < 20; ++i)
    {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const QPixmap shot = Dlg().screen()->grabWindow(Dlg().winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
}
