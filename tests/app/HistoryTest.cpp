#include "app/HistoryList.h"
#include "app/core/HistorySink.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace App;

using Lines = std::vector<std::string>;

TEST(History, TwoLinesEndingInLineFeedGiveTwoEntriesSecondIndented)
{
    EXPECT_EQ(SplitHistoryLines("Error while opening device.\nTIMEOUT\n"),
              (Lines{"Error while opening device.", "    TIMEOUT"}));
}

TEST(History, TabAndOtherControlOrHighBytesBecomeOneBlank)
{
    EXPECT_EQ(SplitHistoryLines("a\tb"), (Lines{"a b"}));
    EXPECT_EQ(SplitHistoryLines("a\x01\x7F\xE4z"), (Lines{"a   z"}));
}

TEST(History, RunsOfLineBreaksCountAsOneAndEmptyTextGivesOneEmptyEntry)
{
    EXPECT_EQ(SplitHistoryLines("one\r\n\r\n\ntwo"), (Lines{"one", "    two"}));
    EXPECT_EQ(SplitHistoryLines(""), (Lines{""}));
    EXPECT_EQ(SplitHistoryLines("\n"), (Lines{""}));
    EXPECT_EQ(SplitHistoryLines("x\ny\nz"), (Lines{"x", "    y", "    z"}));
}

TEST(History, AddErrorLinePrefixesAndScrollsLastEntryToTop)
{
    CHistoryList list;
    list.resize(200, 100);
    for (int i = 0; i < 30; ++i)
        AddHistory(list, "line");
    AddErrorLine(list, "Error while sampling.\nTIMEOUT");
    ASSERT_EQ(list.GetCount(), 32);
    EXPECT_EQ(list.GetLine(30).toStdString(), "Error: Error while sampling.");
    EXPECT_EQ(list.GetLine(31).toStdString(), "    TIMEOUT");
    EXPECT_EQ(list.GetTopIndex(), 31);
}

TEST(History, ALineTheWidthCutsOffShowsWholeInItsTooltip)
{
    CHistoryList list;
    list.resize(200, 100);
    const std::string longLine = "Step error: " + std::string(80, 'x') + " <end>";
    AddHistory(list, "short");
    AddHistory(list, longLine);
    list.SetTopIndex(0);
    const int h = list.fontMetrics().height();
    EXPECT_EQ(list.CutLineAt({10, h / 2}), "");
    EXPECT_EQ(list.CutLineAt({10, h + h / 2}).toStdString(), longLine);
    EXPECT_EQ(list.CutLineAt({10, 2 * h + h / 2}), "") << "below the last line";

    // What Qt sends once the mouse rests over the line.
    list.show();
    QWidget* viewport = list.viewport();
    const QPoint at(10, h + h / 2);
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(QToolTip::text().contains("x &lt;end&gt;")) << QToolTip::text().toStdString();
    QToolTip::hideText();
}
