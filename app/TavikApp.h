#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>
#include <memory>

namespace zef
{
class IniFile;
}

namespace App
{

// The application object. Its start-up routine runs the main dialog modally and is the
// program's last line of defence: an exception escaping the dialog ends the program with a
// message box.
class CTavikApp : public QApplication
{
    Q_OBJECT

public:
    CTavikApp(int& argc, char** argv);
    ~CTavikApp() override;

    // The one application object, or nullptr.
    static CTavikApp* Instance();

    // Runs the main dialog (made by the factory; a CTavikDlg by default) and returns
    // false: the program ends after the dialog.
    using DialogFactory = std::function<std::unique_ptr<QDialog>()>;
    bool InitInstance(const DialogFactory& factory = {});
    QDialog* GetMainWnd() const { return m_pMainWnd; }

    // Where an exception goes that left an event handler: it is kept, every dialog is
    // closed, and InitInstance rethrows it once the dialog has returned.
    static void ReportUncaughtException(std::exception_ptr exception);

    // Message boxes of the last-resort handler; tests replace the box.
    using MessageBoxFunction = std::function<void(const QString& caption, const QString& text)>;
    static MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction show);

    // Whether key "Logo" of chapter "VisualizeAngleDlg" reads NOBRAND in any letter case.
    static bool IsNoBrand();
    static bool IsNoBrand(const zef::IniFile& ini);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    static void CloseDialogs();

    QDialog* m_pMainWnd = nullptr;
    std::exception_ptr m_Pending;
};

} // namespace App
