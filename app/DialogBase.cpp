#include "app/DialogBase.h"

#include "app/TavikApp.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

namespace App
{

QString ToQ(const std::string& text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

std::string FromQ(const QString& text)
{
    return text.toLatin1().toStdString();
}

DialogBase::DialogBase(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
    const QFontMetrics metrics(font());
    m_BaseX = std::max(1, metrics.averageCharWidth());
    m_BaseY = std::max(1, metrics.height());
}

QWidget* DialogBase::GetDlgItem(int id) const
{
    const auto it = m_Items.find(id);
    return it == m_Items.end() ? nullptr : it->second;
}

QRect DialogBase::DialogUnitsToPixels(int x, int y, int w, int h) const
{
    return QRect(x * m_BaseX / 4, y * m_BaseY / 8, w * m_BaseX / 4, h * m_BaseY / 8);
}

void DialogBase::Guard(const std::function<void()>& handler)
{
    try
    {
        handler();
    }
    catch (...)
    {
        CTavikApp::ReportUncaughtException(std::current_exception());
    }
}

void DialogBase::Register(QWidget* widget, int id)
{
    if (qobject_cast<QComboBox*>(widget) != nullptr)
    {
        // A closed list must not change under a wheel turned to scroll the window.
        widget->setFocusPolicy(Qt::StrongFocus);
        widget->installEventFilter(this);
    }
    if (id == 0)
        return;
    widget->setProperty("controlId", id);
    widget->setObjectName(QStringLiteral("IDC_%1").arg(id));
    m_Items[id] = widget;
}

QRadioButton* DialogBase::Radio(const char* text, int id, int x, int y, int w, QButtonGroup* group)
{
    auto* radio = Place(new QRadioButton(QString::fromLatin1(text), this), id, x, y, w, 10);
    group->addButton(radio, id);
    return radio;
}

void DialogBase::OnClicked(int id, std::function<void()> handler)
{
    connect(Item<QAbstractButton>(id), &QAbstractButton::clicked, this,
            [handler = std::move(handler)] { Guard(handler); });
}

void DialogBase::CommitOnFocusOut(QLineEdit* edit, std::function<void()> commit)
{
    m_FocusOutCommits[edit] = std::move(commit);
    edit->installEventFilter(this);
}

int DialogBase::CheckedRadio(std::initializer_list<int> ids) const
{
    int checked = 0;
    int count = 0;
    for (const int id : ids)
    {
        const auto* radio = Item<QAbstractButton>(id);
        if (radio != nullptr && radio->isChecked())
        {
            checked = id;
            ++count;
        }
    }
    return count == 1 ? checked : 0;
}

void DialogBase::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        // Enter moves on instead of closing the window, and leaving an edit commits it. (A
        // focused push button takes Enter itself and is pressed, as in any dialog.)
        focusNextChild();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool DialogBase::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel)
    {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (qobject_cast<QComboBox*>(watched) != nullptr && widget != nullptr &&
            !widget->hasFocus())
        {
            event->ignore();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut)
    {
        const auto it = m_FocusOutCommits.find(watched);
        if (it != m_FocusOutCommits.end())
            Guard(it->second);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace App
