#include "app/TavikApp.h"

#include "app/TavikDlg.h"
#include "app/core/VisualizeSettings.h"
#include "base/Support.h"

#include <QMessageBox>
#include <QWidget>

namespace App
{

namespace
{
CTavikApp* g_Instance = nullptr;
std::exception_ptr g_PendingWithoutApp;

CTavikApp::MessageBoxFunction& MessageBox()
{
    static CTavikApp::MessageBoxFunction show = [](const QString& caption, const QString& text)
    { QMessageBox::warning(nullptr, caption, text, QMessageBox::Ok); };
    return show;
}
} // namespace

CTavikApp::CTavikApp(int& argc, char** argv) : QApplication(argc, argv)
{
    g_Instance = this;
    setApplicationName(QStringLiteral("Tavik"));
}

CTavikApp::~CTavikApp()
{
    if (g_Instance == this)
        g_Instance = nullptr;
}

CTavikApp* CTavikApp::Instance()
{
    return g_Instance;
}

CTavikApp::MessageBoxFunction CTavikApp::SetMessageBoxFunction(MessageBoxFunction show)
{
    MessageBoxFunction previous = MessageBox();
    MessageBox() = std::move(show);
    return previous;
}

bool CTavikApp::IsNoBrand()
{
    return IsNoBrand(zef::Support::GetAppIni());
}

bool CTavikApp::IsNoBrand(const zef::IniFile& ini)
{
    return App::IsNoBrand(ini);
}

void CTavikApp::CloseDialogs()
{
    // Ends every running dialog, innermost first, so each modal loop returns.
    for (QWidget* widget : QApplication::topLevelWidgets())
    {
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            dialog->done(QDialog::Rejected);
    }
}

void CTavikApp::ReportUncaughtException(std::exception_ptr exception)
{
    CTavikApp* app = Instance();
    std::exception_ptr& pending = app ? app->m_Pending : g_PendingWithoutApp;
    if (!pending)
        pending = exception;
    CloseDialogs();
}

bool CTavikApp::notify(QObject* receiver, QEvent* event)
{
    try
    {
        return QApplication::notify(receiver, event);
    }
    catch (...)
    {
        ReportUncaughtException(std::current_exception());
        return false;
    }
}

bool CTavikApp::InitInstance(const DialogFactory& factory)
{
    try
    {
        m_Pending = nullptr;
        std::unique_ptr<QDialog> dialog = factory ? factory() : std::make_unique<CTavikDlg>();
        // An exception raised while the dialog initialised is handled like one from a
        // handler of the running dialog.
        if (!m_Pending)
        {
            m_pMainWnd = dialog.get();
            dialog->exec();
        }
        m_pMainWnd = nullptr;
        if (m_Pending)
        {
            std::exception_ptr pending = m_Pending;
            m_Pending = nullptr;
            std::rethrow_exception(pending);
        }
    }
    catch (const std::exception& e)
    {
        m_pMainWnd = nullptr;
        MessageBox()(
            QStringLiteral("XAssertion"),
            QStringLiteral("Uncaught std::exception. Application will terminate.\nCause: ") +
                QString::fromLocal8Bit(e.what()));
    }
    catch (...)
    {
        m_pMainWnd = nullptr;
        MessageBox()(QStringLiteral("XAssertion"),
                     QStringLiteral("Uncaught exception. Application will terminate."));
    }
    return false;
}

} // namespace App
