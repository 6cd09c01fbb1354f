#include "controls/ListBoxCtrl.h"

#include <QFontMetrics>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace zef::Glimra;

namespace
{

// A list box whose default add runs out of space on request.
struct FullListBox : ListBoxCtrl
{
    bool full = false;
    int DefaultAddString(const QString& text) override
    {
        return full ? LB_ERRSPACE : ListBoxCtrl::DefaultAddString(text);
    }
};

int Width(const ListBoxCtrl& box, const QString& s)
{
    return QFontMetrics(box.font()).horizontalAdvance(s) + 3;
}

} // namespace

TEST(ListBoxCtrl, ExtentGrowsAndShrinks)
{
    ListBoxCtrl box;
    const QString shortText = "short";
    const QString mid = "a somewhat longer line";
    const QString wide = "the widest line of them all, by quite a long way indeed";
    EXPECT_EQ(box.AddString(shortText), 0);
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, shortText));
    box.AddString(mid);
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, mid));
    EXPECT_EQ(box.InsertString(0, wide), 0);
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, wide));
    box.AddString(shortText); // narrower: no change
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, wide));
    EXPECT_EQ(box.DeleteString(0), 3);
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, mid));
    EXPECT_EQ(box.DeleteString(99), ListBoxCtrl::LB_ERR);
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, mid));
    EXPECT_EQ(box.InsertString(99, wide), ListBoxCtrl::LB_ERR);
    EXPECT_EQ(box.GetHorizontalExtent(), Width(box, mid));
    box.ResetContent();
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.GetHorizontalExtent(), 0);
    box.AddString("x");
    box.DeleteString(0);
    EXPECT_EQ(box.GetHorizontalExtent(), 0); // empty list
}

TEST(ListBoxCtrl, OutOfSpaceLeavesExtent)
{
    FullListBox box;
    box.AddString("abc");
    const int before = box.GetHorizontalExtent();
    box.full = true;
    EXPECT_EQ(box.AddString("a much, much wider line than before"), ListBoxCtrl::LB_ERRSPACE);
    EXPECT_EQ(box.GetHorizontalExtent(), before);
}

TEST(ListBoxCtrl, TabStopsAndDirectoryListing)
{
    ListBoxCtrl box;
    box.SetUseTabStops(true);
    const QFontMetrics fm(box.font());
    const int stop = 8 * fm.averageCharWidth();
    EXPECT_EQ(box.GetTextWidth("a\tb"), stop + fm.horizontalAdvance("b") + 2);
    EXPECT_EQ(box.Dir({"one", "three"}), 1);
    EXPECT_EQ(box.GetHorizontalExtent(), fm.horizontalAdvance("three") + 2);
    EXPECT_EQ(box.Dir({}), ListBoxCtrl::LB_ERR);
}

TEST(ListBoxCtrl, ScrollRangeFollowsExtent)
{
    ListBoxCtrl box;
    box.resize(100, 100);
    box.show();
    box.AddString(QString(300, u'W'));
    EXPECT_GT(box.horizontalScrollBar()->maximum(), 0);
    box.ResetContent();
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);
}

TEST(ListBoxCtrl, ZeroAndOnePixelBoxes)
{
    for (QSize s : {QSize(0, 0), QSize(1, 1)})
    {
        ListBoxCtrl box;
        box.resize(s);
        box.show();
        box.AddString("some text");
        EXPECT_GT(box.GetHorizontalExtent(), 0);
        EXPECT_FALSE(box.grab().isNull() && s.width() > 0);
        box.ResetContent();
        EXPECT_EQ(box.GetHorizontalExtent(), 0);
    }
}
