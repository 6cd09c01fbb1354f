#include "app/HistoryList.h"
#include "app/core/HistorySink.h"

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
