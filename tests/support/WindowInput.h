#pragma once

// User input as the window system delivers it: every event goes to the top-level QWindow at
// the widget's place, so modality, stacking and widgets lying on top of the target apply as
// they do for a person at the mouse and keyboard. The windows must be shown first (Show).

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>

namespace WindowInput
{

// Shows the widget's window and waits until the window system has exposed it. It is also
// made the active window, which the offscreen platform does on show and a bare X server
// does not: only the active window's edits see the focus leave and commit.
[[nodiscard]] inline bool Show(QWidget* widget)
{
    QWidget* window = widget->window();
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    if (!window->isActiveWindow())
    {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    }
    return true;
}

inline QWindow* Handle(QWidget* widget)
{
    return widget->window()->windowHandle();
}

// A point of the widget in its window's coordinates.
inline QPoint InWindow(QWidget* widget, QPoint at)
{
    return widget->mapTo(widget->window(), at);
}

// Clicks `at` (widget coordinates) through the widget's window.
inline void ClickAt(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    ASSERT_NE(Handle(widget), nullptr) << "the window is not shown";
    QTest::mouseClick(Handle(widget), button, {}, InWindow(widget, at));
}

// A click in the middle; on a radio button or check box at its indicator, since the rest of
// a wide one does not react.
inline void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
{
    const bool indicator = qobject_cast<QAbstractButton*>(widget) != nullptr &&
                           qobject_cast<QPushButton*>(widget) == nullptr;
    const int half = widget->height() / 2;
    ClickAt(widget,
            indicator ? QPoint(std::min(half, widget->width() / 2), half) : widget->rect().center(),
            button);
}

inline void Key(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(Handle(window), key, modifiers);
}

inline void Escape(QWidget* window)
{
    Key(window, Qt::Key_Escape);
}

// Clicks into the edit, replaces its text by typing and leaves it with Tab when `leave`.
inline void Type(QLineEdit* edit, const char* text, bool leave = true)
{
    Click(edit);
    Key(edit, Qt::Key_A, Qt::ControlModifier);
    Key(edit, Qt::Key_Delete);
    for (const char* c = text; *c != '\0'; ++c)
        QTest::keyClick(Handle(edit), *c);
    if (leave)
        Key(edit, Qt::Key_Tab);
}

// Opens the list with a click and walks its popup with the keyboard to entry `index`.
inline void ChooseIndex(QComboBox* list, int index)
{
    ASSERT_TRUE(index >= 0 && index < list->count());
    Click(list);
    QWidget* popup = list->view()->window();
    ASSERT_TRUE(popup->isVisible()) << "the list did not open";
    Key(popup, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        Key(popup, Qt::Key_Down);
    Key(popup, Qt::Key_Return);
}

inline void Choose(QComboBox* list, const QVariant& data)
{
    const int index = list->findData(data);
    ASSERT_GE(index, 0) << "no entry with this data";
    ChooseIndex(list, index);
}

// Turns the wheel over the widget by `steps` notches (positive: away from the user).
inline void Wheel(QWidget* widget, int steps)
{
    QWindow* window = Handle(widget);
    const QPointF at = InWindow(widget, widget->rect().center());
    QWheelEvent wheel(at, window->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window, &wheel);
}

// Opens the menu of the window's menu bar that holds `action` and clicks the action.
inline void ChooseMenu(QWidget* window, QAction* action)
{
    auto* bar = window->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    for (QAction* title : bar->actions())
    {
        QMenu* menu = title->menu();
        if (menu == nullptr || !menu->actions().contains(action))
            continue;
        ClickAt(bar, bar->actionGeometry(title).center());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu)) << "the menu did not open";
        ClickAt(menu, menu->actionGeometry(action).center());
        return;
    }
    FAIL() << "no menu holds the action";
}

} // namespace WindowInput
