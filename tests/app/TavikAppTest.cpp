#include "DialogTestSupport.h"

#include "app/AboutDlg.h"
#include "app/Resource.h"
#include "app/TavikApp.h"
#include "base/XAssertion.h"
#include "driver/XAssertion.h"

#include <QButtonGroup>
#include <QLabel>
#include <QTimer>

#include <stdexcept>

using namespace App;

namespace
{
struct Shown
{
    QString caption;
    QString text;
    int count = 0;
};

class LastResortTest : public DialogTest
{
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_Previous = CTavikApp::SetMessageBoxFunction(
            [this](const QString& c, const QString& t)
            {
                m_Shown.caption = c;
                m_Shown.text = t;
                ++m_Shown.count;
            });
    }
    void TearDown() override
    {
        CTavikApp::SetMessageBoxFunction(m_Previous);
        DialogTest::TearDown();
    }

    // Runs the real main dialog and lets `fail` run inside its event loop.
    void RunDialogThatFails(std::function<void(CTavikDlg&)> fail)
    {
        bool destroyedBeforeBox = false;
        auto* app = CTavikApp::Instance();
        ASSERT_NE(app, nullptr);
        QObject* watch = nullptr;
        const bool result = app->InitInstance(
            [&]() -> std::unique_ptr<QDialog>
            {
                auto dlg = std::make_unique<CTavikDlg>(nullptr, &m_Ini);
                dlg->SetDataFolder({}); // no spool: the user's records stay untouched
                CTavikDlg* raw = dlg.get();
                watch = raw;
                QObject::connect(raw, &QObject::destroyed,
                                 [&] { destroyedBeforeBox = m_Shown.count == 0; });
                QTimer::singleShot(0, raw, [raw, fail] { fail(*raw); });
                return dlg;
            });
        EXPECT_FALSE(result);
        EXPECT_NE(watch, nullptr);
        EXPECT_TRUE(destroyedBeforeBox) << "the dialog is gone before the message box";
        EXPECT_EQ(app->GetMainWnd(), nullptr);
    }

    Shown m_Shown;
    CTavikApp::MessageBoxFunction m_Previous;
};
} // namespace

TEST_F(LastResortTest, BaseAssertionInAHandlerEndsTheProgramWithFixedMessage)
{
    RunDialogThatFails([](CTavikDlg&)
                       { zef::XAssertionFailed("false", "Internal", "TavikDlg", 1); });
    EXPECT_EQ(m_Shown.count, 1);
    EXPECT_EQ(m_Shown.caption, "XAssertion");
    EXPECT_EQ(m_Shown.text, "Uncaught exception. Application will terminate.");
}

TEST_F(LastResortTest, StandardExceptionShowsItsCause)
{
    RunDialogThatFails([](CTavikDlg&) { throw std::runtime_error("driver report"); });
    EXPECT_EQ(m_Shown.count, 1);
    EXPECT_EQ(m_Shown.caption, "XAssertion");
    EXPECT_EQ(m_Shown.text,
              "Uncaught std::exception. Application will terminate.\nCause: driver report");
}

TEST_F(LastResortTest, AssertionInsideADialogHandlerEndsTheProgram)
{
    // Power ON with no supply radio checked breaks the dialog's own invariant.
    RunDialogThatFails(
        [](CTavikDlg& dlg)
        {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
            WindowInput::Click(dlg.GetDlgItem(IDC_BT_CONNECT));
            // No user can uncheck both; the program's own state goes wrong here.
            auto* external = dlg.Item<QAbstractButton>(IDC_RD_SSIDEVICE_EXTERNAL);
            auto* internal = dlg.Item<QAbstractButton>(IDC_RD_SSIDEVICE_INTERNAL);
            external->group()->setExclusive(false);
            external->setChecked(false);
            internal->setChecked(false);
            WindowInput::Click(dlg.GetDlgItem(IDC_BT_POWER));
        });
    EXPECT_EQ(m_Shown.count, 1);
    EXPECT_EQ(m_Shown.text, "Uncaught exception. Application will terminate.");
}

TEST_F(LastResortTest, DriverAssertionShowsItsReport)
{
    // The driver's built-in report throws a standard exception carrying its text.
    RunDialogThatFails([](CTavikDlg&) { Tavik::XAssertionFailed("x>0", "bad value", "Box", 12); });
    EXPECT_EQ(m_Shown.count, 1);
    EXPECT_TRUE(m_Shown.text.startsWith(
        "Uncaught std::exception. Application will terminate.\nCause: XAssertionFailed in "))
        << m_Shown.text.toStdString();
}

TEST_F(LastResortTest, DialogClosedNormallyShowsNoBox)
{
    auto* app = CTavikApp::Instance();
    EXPECT_FALSE(app->InitInstance(
        [&]() -> std::unique_ptr<QDialog>
        {
            auto dlg = std::make_unique<CTavikDlg>(nullptr, &m_Ini);
            dlg->SetDataFolder({});
            QTimer::singleShot(0, dlg.get(), &QDialog::reject);
            return dlg;
        }));
    EXPECT_EQ(m_Shown.count, 0);
}

TEST_F(DialogTest, NoBrandIsCaseInsensitiveButExact)
{
    WriteIni("[VisualizeAngleDlg]\nLogo=NoBrand\n");
    EXPECT_TRUE(CTavikApp::IsNoBrand(m_Ini));
    WriteIni("[VisualizeAngleDlg]\nLogo=NOBRAND x\n");
    EXPECT_FALSE(CTavikApp::IsNoBrand(m_Ini));
    zef::IniFile closed;
    EXPECT_FALSE(CTavikApp::IsNoBrand(closed));
    ASSERT_TRUE(m_Ini.OpenEmpty().IsOk());
    EXPECT_FALSE(CTavikApp::IsNoBrand(m_Ini));
}

TEST_F(DialogTest, NoBrandHidesTheLogo)
{
    WriteIni("[VisualizeAngleDlg]\nLogo=nobrand\n");
    Dlg().show();
    EXPECT_FALSE(Dlg().GetDlgItem(IDC_ST_LOGO)->isVisible());
}

TEST(AboutDlg, BrandedBoxHasVersionAndContactBlocks)
{
    CAboutDlg about(IDD_ABOUTBOX);
    about.SetNoBrand(false);
    about.Init();
    EXPECT_EQ(about.windowTitle(), "About Tavik");
    const auto* version = qobject_cast<QLabel*>(about.GetDlgItem(IDC_ST_VERSION));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().startsWith("Tavik\nVersion 1.3.2 \nDate 2013.06.07\n"));
    const auto* us = qobject_cast<QLabel*>(about.GetDlgItem(IDC_ST_CONTACT_US));
    ASSERT_NE(us, nullptr);
    EXPECT_EQ(us->text(), CAboutDlg::CONTACT_US);
    EXPECT_NE(about.GetDlgItem(IDOK), nullptr);
}

TEST(AboutDlg, UnbrandedBoxIsSmallAndHasNoContacts)
{
    CAboutDlg branded(IDD_ABOUTBOX);
    CAboutDlg about(IDD_ABOUTBOX_NOBRAND);
    about.SetNoBrand(true);
    about.Init();
    EXPECT_EQ(about.GetDlgItem(IDC_ST_CONTACT_EU), nullptr);
    EXPECT_NE(about.GetDlgItem(IDC_ST_VERSION), nullptr);
    EXPECT_LT(about.width(), branded.width());
    EXPECT_LT(about.height(), branded.height());
}
