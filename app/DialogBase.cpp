#include "app/DialogBase.h"

#include "app/TavikApp.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>

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

int DialogBase::CaptionWidth(const QWidget& control)
{
    const QFontMetrics metrics = control.fontMetrics();
    const QStyle* style = control.style();
    const auto widest = [&metrics](const QString& text)
    {
        int width = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            width = std::max(width, metrics.horizontalAdvance(line));
        return width;
    };
    if (const auto* label = qobject_cast<const QLabel*>(&control))
    {
        const QMargins m = label->contentsMargins();
        return label->text().isEmpty() ? 0
                                       : widest(label->text()) + m.left() + m.right() +
                                             2 * label->margin() + 2 * label->frameWidth();
    }
    const auto* button = qobject_cast<const QAbstractButton*>(&control);
    if (button == nullptr || button->text().isEmpty())
        return 0;
    QString text = button->text();
    text.remove(QLatin1Char('&'));
    int extra = 0;
    if (qobject_cast<const QCheckBox*>(button))
        extra = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) +
                style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
    else if (qobject_cast<const QRadioButton*>(button))
        extra = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) +
                style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button);
    else if (qobject_cast<const QPushButton*>(button))
        extra = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    return widest(text) + extra;
}

void DialogBase::FitCaptions()
{
    m_Fitted = true;
    const int gap = std::max(1, DialogUnitsToPixels(0, 0, 2, 0).width());
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* caption : children)
    {
        if (qobject_cast<QGroupBox*>(caption) != nullptr)
            continue;
        const auto* label = qobject_cast<QLabel*>(caption);
        if (label != nullptr && (label->alignment() & Qt::AlignRight))
            continue; // right-aligned captions keep their right edge
        const int need = CaptionWidth(*caption);
        QRect rect = caption->geometry();
        if (need <= rect.width())
            continue;
        // The room to the right: up to the next control on the same row, the frame of the
        // group around the caption, or the dialog's edge.
        int limit = width() - gap;
        QWidget* next = nullptr;
        for (QWidget* other : children)
        {
            const QRect o = other->geometry();
            if (other == caption || o.bottom() < rect.top() || o.top() > rect.bottom())
                continue;
            if (qobject_cast<QGroupBox*>(other) != nullptr)
            {
                if (o.contains(rect.center()))
                    limit = std::min(limit, other->contentsRect().translated(o.topLeft()).right());
                continue;
            }
            if (o.left() >= rect.right() && o.left() - gap < limit)
            {
                limit = o.left() - gap;
                next = other;
            }
        }
        const int wanted = rect.left() + need - 1;
        if (wanted > limit && label != nullptr &&
            (qobject_cast<QLineEdit*>(next) != nullptr ||
             qobject_cast<QComboBox*>(next) != nullptr))
        {
            // The field beside the label gives up the difference.
            QRect field = next->geometry();
            field.setLeft(std::min(field.right(), wanted + gap + 1));
            next->setGeometry(field);
            limit = wanted;
        }
        rect.setRight(std::min(wanted, limit));
        caption->setGeometry(rect);
    }
}

void DialogBase::showEvent(QShowEvent* event)
{
    if (!m_Fitted)
        FitCaptions();
    QDialog::showEvent(event);
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
