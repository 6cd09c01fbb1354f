#include "app/HistoryList.h"

#include "app/core/HistorySink.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace App
{

CHistoryList::CHistoryList(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
}

void CHistoryList::AddLine(const QString& line)
{
    m_Lines.push_back(line);
    // Character count is a cheap stand-in for the pixel width; the horizontal range only
    // needs to grow with the widest entry.
    m_LongestLine = std::max(m_LongestLine, int(line.size()));
    UpdateScrollRange();
}

int CHistoryList::GetTopIndex() const
{
    return verticalScrollBar()->value();
}

void CHistoryList::SetTopIndex(int index)
{
    verticalScrollBar()->setValue(index);
}

int CHistoryList::LineHeight() const
{
    return std::max(1, fontMetrics().height());
}

int CHistoryList::TextLeft() const
{
    return 2 - horizontalScrollBar()->value();
}

QString CHistoryList::CutLineAt(QPoint pos) const
{
    if (pos.y() < 0 || pos.x() < 0 || pos.x() >= viewport()->width())
        return {};
    const int index = GetTopIndex() + pos.y() / LineHeight();
    if (index >= GetCount())
        return {};
    const QString& line = m_Lines[std::size_t(index)];
    const int left = TextLeft();
    const bool cut = left < 0 || left + fontMetrics().horizontalAdvance(line) > viewport()->width();
    return cut ? line : QString();
}

bool CHistoryList::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString line = CutLineAt(help->pos());
    if (line.isEmpty())
        QToolTip::hideText();
    else // as rich text, which the tooltip wraps at the screen's width
        QToolTip::showText(help->globalPos(), QStringLiteral("<p>%1</p>").arg(line.toHtmlEscaped()),
                           viewport());
    return true;
}

void CHistoryList::UpdateScrollRange()
{
    const int lineHeight = LineHeight();
    const int visible = std::max(1, viewport()->height() / lineHeight);
    // The last entry may be scrolled up to the top of the list.
    verticalScrollBar()->setRange(0, std::max(0, GetCount() - 1));
    verticalScrollBar()->setPageStep(visible);
    const int textWidth = m_LongestLine * fontMetrics().averageCharWidth() + 4;
    horizontalScrollBar()->setRange(0, std::max(0, textWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void CHistoryList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void CHistoryList::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    const int lineHeight = LineHeight();
    const int first = GetTopIndex();
    const int rows = viewport()->height() / lineHeight + 1;
    const int dx = TextLeft();
    painter.setPen(palette().color(QPalette::Text));
    for (int row = 0; row < rows && first + row < GetCount(); ++row)
    {
        const QRect rect(dx, row * lineHeight, viewport()->width() - dx, lineHeight);
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         m_Lines[std::size_t(first + row)]);
    }
}

void CHistoryList::AddEntries(const std::vector<std::string>& entries, Kind /*kind*/)
{
    for (const std::string& line : entries)
        AddLine(QString::fromLatin1(line.data(), qsizetype(line.size())));
    SetTopIndex(GetCount() - 1);
}

} // namespace App
