#pragma once

#include "app/core/HistorySink.h"

#include <QAbstractScrollArea>
#include <QString>

#include <string>
#include <vector>

namespace App
{

// The history list box: one line per entry, never emptied, no limit on its length.
// Only the visible lines are painted and adding a line costs the same however long the
// list already is, so a day of error lines does not slow the program down. A line that the
// list's width cuts off shows whole in a tooltip.
class CHistoryList : public QAbstractScrollArea, public HistorySink
{
    Q_OBJECT

public:
    explicit CHistoryList(QWidget* parent = nullptr);

    void AddLine(const QString& line);
    int GetCount() const { return int(m_Lines.size()); }
    const QString& GetLine(int index) const { return m_Lines.at(std::size_t(index)); }
    // Index of the first visible entry.
    int GetTopIndex() const;
    // Scrolls so that `index` is the first visible entry.
    void SetTopIndex(int index);
    // The line at `pos` (viewport coordinates) if the list's width cuts it off, else empty:
    // the text of the tooltip there.
    QString CutLineAt(QPoint pos) const;

protected:
    // One entry per display line; scrolls so that the message's last entry is on top.
    void AddEntries(const std::vector<std::string>& entries, Kind kind) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void UpdateScrollRange();
    int LineHeight() const;
    // Left edge of the text in the viewport: a small margin, less the horizontal scroll.
    int TextLeft() const;

    std::vector<QString> m_Lines;
    int m_LongestLine = 0;
};

// Adds a message to a history list, one entry per display line (see SplitHistoryLines),
// and scrolls so that its last entry is the top visible entry.
inline void AddHistory(HistorySink& list, const std::string& text)
{
    list.Line(text);
}
// The same with "Error: " in front of the text.
inline void AddErrorLine(HistorySink& list, const std::string& text)
{
    list.Error(text);
}

} // namespace App
