#pragma once

#include <QDialog>
#include <QRect>
#include <QString>

#include <functional>
#include <initializer_list>
#include <map>
#include <string>

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace App
{

// Texts cross between the core (bytes) and the toolkit as Latin-1, so every byte survives.
QString ToQ(const std::string& text);
std::string FromQ(const QString& text);

// What every dialog of the program shares: controls placed in dialog units and found by
// their numeric id, handlers whose exceptions reach the last-resort handler instead of
// unwinding through the toolkit, Enter moving the focus instead of closing the dialog, the
// commit of an edit when it loses the focus, and lists that the mouse wheel changes only
// when they have the focus.
class DialogBase : public QDialog
{
    Q_OBJECT

public:
    explicit DialogBase(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // The control with this id (nullptr if the dialog has none).
    QWidget* GetDlgItem(int id) const;
    template <class T> T* Item(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }

    // Dialog units to pixels with the dialog's font: x = units * average character width / 4,
    // y = units * character height / 8.
    QRect DialogUnitsToPixels(int x, int y, int w, int h) const;

    // Runs a handler; an exception is handed to the application's last-resort handler.
    static void Guard(const std::function<void()>& handler);

protected:
    // Places a control at a rectangle in dialog units (below a menu bar of SetTop pixels)
    // and registers it under its id (0: no id).
    template <class W> W* Place(W* widget, int id, int x, int y, int w, int h)
    {
        widget->setGeometry(DialogUnitsToPixels(x, y, w, h).translated(0, m_Top));
        Register(widget, id);
        return widget;
    }
    QRadioButton* Radio(const char* text, int id, int x, int y, int w, QButtonGroup* group);
    void Register(QWidget* widget, int id);
    void SetTop(int pixels) { m_Top = pixels; }
    int GetTop() const { return m_Top; }

    // Connects a button's click to a guarded handler.
    void OnClicked(int id, std::function<void()> handler);
    // Commits an edit when it loses the focus (also when Enter moves the focus on).
    void CommitOnFocusOut(QLineEdit* edit, std::function<void()> commit);
    // The id of the one checked radio button among `ids`, or 0 when none or several are.
    int CheckedRadio(std::initializer_list<int> ids) const;

    // Widens every caption (label, button, check box, radio button) that its text does not
    // fit in the dialog's real fonts: into the free room to its right, and for a label
    // beside an edit or a list by moving that field's left edge (its right edge stays).
    // Runs when the dialog is first shown; dialogs that are measured before may call it.
    void FitCaptions();
    // The width a caption needs: its widest line plus indicator, spacing and frame.
    static int CaptionWidth(const QWidget& control);

    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<int, QWidget*> m_Items;
    std::map<QObject*, std::function<void()>> m_FocusOutCommits;
    int m_BaseX = 6;
    int m_BaseY = 13;
    int m_Top = 0;
    bool m_Fitted = false;
};

} // namespace App
