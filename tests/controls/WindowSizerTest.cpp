#include "controls/WindowSizer.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace zef::Glimra;
using R = WindowSizer::enRule;

namespace
{

struct Dialog
{
    QWidget parent;
    QWidget* child = new QWidget(&parent);

    Dialog()
    {
        parent.resize(400, 300);
        child->setGeometry(10, 20, 100, 50); // (10, 20)-(110, 70)
        child->setProperty("controlId", 1001);
    }
};

} // namespace

TEST(WindowSizerRules, PureArithmetic)
{
    EXPECT_EQ(WindowSizer::Delta(451, 400), 51);
    EXPECT_EQ(WindowSizer::Delta(350, 400), 0);
    const Rect stored{10, 20, 110, 70};
    EXPECT_EQ(WindowSizer::Apply(stored, 51, 51, 1, 2, 0, 0), Rect(61, 45, 161, 95));
    EXPECT_EQ(WindowSizer::Apply(stored, 51, 51, 0, 0, 2, 1), Rect(10, 20, 161, 95));
    EXPECT_EQ(WindowSizer::Apply(stored, 51, 51, 7, -1, 3, 99), stored); // unknown rules: 0
}

TEST(WindowSizer, MovesByHalfAndWholeChange)
{
    Dialog d;
    WindowSizer sizer;
    ASSERT_TRUE(sizer.Init(&d.parent));
    ASSERT_TRUE(sizer.AddChild(d.child, R::RULE_HALF, R::RULE_FULL, R::RULE_NONE, R::RULE_NONE));
    int cx = 451;
    int cy = 351;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(d.child->geometry(), QRect(61, 45, 100, 50));
    EXPECT_EQ(cx, 451);
    // Back to the start size: back to the stored rectangle, no accumulated rounding.
    cx = 400;
    cy = 300;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(d.child->geometry(), QRect(10, 20, 100, 50));
}

TEST(WindowSizer, GrowsWidthAndHalfHeight)
{
    Dialog d;
    WindowSizer sizer;
    sizer.Init(&d.parent);
    sizer.AddChild(1001, R::RULE_NONE, R::RULE_NONE, R::RULE_FULL, R::RULE_HALF);
    int cx = 451;
    int cy = 351;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(d.child->geometry(), QRect(10, 20, 151, 75));
}

TEST(WindowSizer, SmallerThanStartNeverShrinks)
{
    Dialog d;
    WindowSizer sizer;
    sizer.Init(&d.parent);
    sizer.AddChild(d.child, R::RULE_HALF, R::RULE_FULL, R::RULE_FULL, R::RULE_FULL);
    int cx = 350;
    int cy = 500;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(d.child->geometry(), QRect(10, 120, 100, 250)); // dx = 0, dy = 200
    cx = 0;
    cy = 0;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(d.child->geometry(), QRect(10, 20, 100, 50));
}

TEST(WindowSizer, AddAndRemove)
{
    Dialog d;
    WindowSizer sizer;
    EXPECT_FALSE(sizer.AddChild(1001, R::RULE_NONE, R::RULE_NONE, R::RULE_NONE, R::RULE_NONE));
    EXPECT_FALSE(sizer.Init(nullptr));
    EXPECT_FALSE(sizer.IsInitialised());
    ASSERT_TRUE(sizer.Init(&d.parent));
    EXPECT_FALSE(sizer.AddChild(4711, R::RULE_NONE, R::RULE_NONE, R::RULE_NONE, R::RULE_NONE));
    EXPECT_FALSE(sizer.AddChild(nullptr, R::RULE_NONE, R::RULE_NONE, R::RULE_NONE, R::RULE_NONE));
    EXPECT_EQ(sizer.GetChildCount(), 0);
    sizer.AddChild(d.child, R::RULE_NONE, R::RULE_NONE, R::RULE_FULL, R::RULE_NONE);
    sizer.AddChild(1001, R::RULE_NONE, R::RULE_NONE, R::RULE_FULL, R::RULE_NONE);
    EXPECT_EQ(sizer.GetChildCount(), 2);
    sizer.RemoveChild(0); // ids of 0 and below never match
    sizer.RemoveChild(-5);
    EXPECT_EQ(sizer.GetChildCount(), 2);
    sizer.RemoveChild(1001);
    EXPECT_EQ(sizer.GetChildCount(), 1);
    sizer.RemoveChild(d.child);
    EXPECT_EQ(sizer.GetChildCount(), 0);
    sizer.AddChild(d.child, R::RULE_NONE, R::RULE_NONE, R::RULE_FULL, R::RULE_NONE);
    ASSERT_TRUE(sizer.Init(&d.parent)); // a new list
    EXPECT_EQ(sizer.GetChildCount(), 0);
}

TEST(WindowSizer, VanishedWindowsAreSkipped)
{
    auto d = std::make_unique<Dialog>();
    WindowSizer sizer;
    sizer.Init(&d->parent);
    sizer.AddChild(d->child, R::RULE_FULL, R::RULE_FULL, R::RULE_FULL, R::RULE_FULL);
    sizer.AddChild(1001, R::RULE_FULL, R::RULE_FULL, R::RULE_FULL, R::RULE_FULL);
    delete d->child;
    int cx = 500;
    int cy = 500;
    sizer.OnSize(0, cx, cy); // child gone
    d.reset();
    sizer.OnSize(0, cx, cy); // parent gone
    MINMAXINFO info{};
    sizer.OnGetMinMaxInfo(&info);
    SUCCEED();
}

TEST(WindowSizer, MinMaxInfo)
{
    Dialog d;
    WindowSizer sizer;
    MINMAXINFO info{};
    info.ptMaxTrackSize = {1920, 1080};
    sizer.SetMinimalSize(300, 200);
    sizer.OnGetMinMaxInfo(&info); // not initialised: untouched
    EXPECT_EQ(info.ptMinTrackSize, QPoint(0, 0));
    sizer.Init(&d.parent);
    sizer.SetMinimalSize(d.parent);
    sizer.OnGetMinMaxInfo(&info);
    const QRect frame = d.parent.frameGeometry();
    EXPECT_EQ(info.ptMinTrackSize, QPoint(frame.width(), frame.height()));
    EXPECT_EQ(info.ptMaxTrackSize, QPoint(1920, 1080)); // the system's
    sizer.SetMaximalSize(800, 0);
    sizer.OnGetMinMaxInfo(&info);
    EXPECT_EQ(info.ptMaxTrackSize, QPoint(800, 1080));
    sizer.OnGetMinMaxInfo(nullptr);
}

TEST(WindowSizer, ZeroSizedParent)
{
    QWidget parent;
    parent.resize(0, 0);
    auto* child = new QWidget(&parent);
    child->setGeometry(0, 0, 1, 1);
    WindowSizer sizer;
    ASSERT_TRUE(sizer.Init(&parent));
    sizer.AddChild(child, R::RULE_HALF, R::RULE_HALF, R::RULE_HALF, R::RULE_HALF);
    int cx = 1;
    int cy = 1;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 1, 1)); // half of 1 is 0
    cx = 3;
    cy = 0;
    sizer.OnSize(0, cx, cy);
    EXPECT_EQ(child->geometry(), QRect(1, 0, 2, 1));
}
