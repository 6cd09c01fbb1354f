#include "controls/ListBoxCtrl.h"

#include "controls/DrawContext.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScrollBar>

#include <algorithm>

namespace zef::Glimra
{

ListBoxCtrl::ListBoxCtrl(QWidget* parent) : QListWidget(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

ListBoxCtrl::~ListBoxCtrl() = default;

int ListBoxCtrl::GetTextWidth(const QString& text) const
{
    const QFontMetrics fm(font());
    if (m_tabStops)
        return TabbedTextWidth(fm, text) + 2;
    return fm.horizontalAdvance(text) + 3;
}

void ListBoxCtrl::SetHorizontalExtent(int extent)
{
    m_extent = std::max(0, extent);
    updateGeometries();
}

int ListBoxCtrl::DefaultAddString(const QString& text)
{
    addItem(text);
    return count() - 1;
}

int ListBoxCtrl::DefaultInsertString(int index, const QString& text)
{
    if (index < -1 || index > count())
        return LB_ERR;
    const int at = index == -1 ? count() : index;
    insertItem(at, text);
    return at;
}

int ListBoxCtrl::DefaultDeleteString(int index)
{
    if (index < 0 || index >= count())
        return LB_ERR;
    delete takeItem(index);
    return count();
}

int ListBoxCtrl::DefaultDir(const QStringList& names)
{
    if (names.isEmpty())
        return LB_ERR;
    addItems(names);
    return count() - 1;
}

int ListBoxCtrl::AddString(const QString& text)
{
    const int result = DefaultAddString(text);
    if (result != LB_ERR && result != LB_ERRSPACE)
        SetHorizontalExtent(std::max(m_extent, GetTextWidth(text)));
    return result;
}

int ListBoxCtrl::InsertString(int index, const QString& text)
{
    const int result = DefaultInsertString(index, text);
    if (result != LB_ERR && result != LB_ERRSPACE)
        SetHorizontalExtent(std::max(m_extent, GetTextWidth(text)));
    return result;
}

int ListBoxCtrl::DeleteString(int index)
{
    const int result = DefaultDeleteString(index);
    if (result != LB_ERR && result != LB_ERRSPACE)
        Recalculate();
    return result;
}

int ListBoxCtrl::Dir(const QStringList& names)
{
    const int result = DefaultDir(names);
    if (result != LB_ERR && result != LB_ERRSPACE)
        Recalculate();
    return result;
}

void ListBoxCtrl::ResetContent()
{
    clear();
    SetHorizontalExtent(0);
}

void ListBoxCtrl::Recalculate()
{
    if (count() == 0)
    {
        SetHorizontalExtent(0);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, GetTextWidth(item(i)->text()));
    QApplication::restoreOverrideCursor();
    SetHorizontalExtent(widest);
}

void ListBoxCtrl::updateGeometries()
{
    QListWidget::updateGeometries();
    // The scroll range follows the stored extent rather than the items' own sizes.
    QScrollBar* bar = horizontalScrollBar();
    const int page = viewport()->width();
    bar->setPageStep(std::max(1, page));
    bar->setRange(0, std::max(0, m_extent - page));
}

} // namespace zef::Glimra
