#include "controls/PlotGeometry.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zef::Glimra;

TEST(PlotRounding, HalvesGoAwayFromZero)
{
    EXPECT_EQ(RoundAway(0.5), 1.0);
    EXPECT_EQ(RoundAway(-0.5), -1.0);
    EXPECT_EQ(RoundAway(2.49), 2.0);
    EXPECT_EQ(RoundAway(-2.51), -3.0);
    EXPECT_EQ(RoundAway(0.0), 0.0);
}

TEST(PlotScale, RangeFromZeroFillsThePlotRectangle)
{
    const Rect plot{5, 10, 106, 61}; // 101 x 51
    const PlotScale s = ComputePlotScale(plot, 10, 0, 5, -5);
    EXPECT_DOUBLE_EQ(s.sx, 10.0);
    EXPECT_DOUBLE_EQ(s.sy, 5.0);
    EXPECT_EQ(s.origin, QPoint(5, 61 - 25 - 1));
    EXPECT_EQ(s.Map(0, -5), QPointF(5, 60));   // left edge, bottom edge minus one
    EXPECT_EQ(s.Map(10, 5), QPointF(105, 10)); // last column inside, top edge
}

TEST(PlotScale, NegativeSmallestUsesItsMagnitude)
{
    const Rect plot{0, 0, 201, 101};
    const PlotScale s = ComputePlotScale(plot, 10, -10, 0, -100);
    EXPECT_EQ(s.origin, QPoint(100, 100 - 100));
    EXPECT_EQ(s.Map(-10, -100), QPointF(0, 100));
    EXPECT_EQ(s.Map(10, 0), QPointF(200, 0));
}

TEST(PlotScale, RangeAboveZeroStartsOnTheEdge)
{
    const Rect plot{0, 0, 101, 51};
    const PlotScale s = ComputePlotScale(plot, 15, 5, 1050, 1000);
    EXPECT_DOUBLE_EQ(s.sx, 10.0);
    EXPECT_EQ(s.Map(5, 1000), QPointF(0, 50));
    EXPECT_EQ(s.Map(15, 1050), QPointF(100, 0));
    EXPECT_TRUE(PlotContains(plot, s.Map(10, 1025)));
}

TEST(PlotScale, SingleValueRanges)
{
    const Rect plot{0, 0, 100, 80};
    PlotScale s = ComputePlotScale(plot, 0, 0, 0, 0);
    EXPECT_DOUBLE_EQ(s.sx, 1.0);
    EXPECT_DOUBLE_EQ(s.sy, 1.0);
    EXPECT_EQ(s.Map(0, 0), QPointF(0, 79));

    s = ComputePlotScale(plot, 4, 4, 8, 8);
    EXPECT_DOUBLE_EQ(s.sx, 100 * 0.5 / 4);
    EXPECT_TRUE(PlotContains(plot, s.Map(4, 8)));

    // A negative single value keeps the axis the right way round and stays on the plot.
    s = ComputePlotScale(plot, -4, -4, -8, -8);
    EXPECT_GT(s.sx, 0.0);
    EXPECT_GT(s.sy, 0.0);
    EXPECT_TRUE(PlotContains(plot, s.Map(-4, -8)));
}

TEST(PlotScale, HugeRangesDoNotOverflow)
{
    const float big = std::numeric_limits<float>::max();
    const PlotScale s = ComputePlotScale(Rect{0, 0, 100, 100}, big, 1e-30f, big, -big);
    EXPECT_GE(s.origin.x(), -(1 << 28));
    EXPECT_LE(s.origin.y(), 100 + (1 << 28));
}

TEST(PlotClip, SegmentsInsideStayWhole)
{
    const Rect r{0, 0, 101, 51};
    QPoint a, b;
    ASSERT_TRUE(ClipSegment(r, {10, 10}, {90, 40}, a, b));
    EXPECT_EQ(a, QPoint(10, 10));
    EXPECT_EQ(b, QPoint(90, 40));
    ASSERT_TRUE(ClipSegment(r, {7, 7}, {7, 7}, a, b)); // a single point
    EXPECT_EQ(a, QPoint(7, 7));
    EXPECT_EQ(b, QPoint(7, 7));
}

TEST(PlotClip, LeavingSegmentIsCutAtTheLastPixel)
{
    const Rect r{0, 0, 101, 51}; // drawable: x 0..100, y 0..50
    QPoint a, b;
    ASSERT_TRUE(ClipSegment(r, {50, 20}, {150, 20}, a, b));
    EXPECT_EQ(a, QPoint(50, 20));
    EXPECT_EQ(b, QPoint(100, 20));
    ASSERT_TRUE(ClipSegment(r, {-100, -50}, {200, 100}, a, b)); // through both corners
    EXPECT_EQ(a, QPoint(0, 0));
    EXPECT_EQ(b, QPoint(100, 50));
    ASSERT_TRUE(ClipSegment(r, {50, 100}, {50, -100}, a, b)); // downward order kept
    EXPECT_EQ(a, QPoint(50, 50));
    EXPECT_EQ(b, QPoint(50, 0));
    ASSERT_TRUE(ClipSegment(r, {0, 60}, {20, 40}, a, b)); // diagonal entering from below
    EXPECT_EQ(a, QPoint(10, 50));
    EXPECT_EQ(b, QPoint(20, 40));
}

TEST(PlotClip, OutsideSegmentsAreDropped)
{
    const Rect r{0, 0, 101, 51};
    QPoint a, b;
    EXPECT_FALSE(ClipSegment(r, {101, 0}, {101, 50}, a, b)); // right column is excluded
    EXPECT_FALSE(ClipSegment(r, {0, 51}, {100, 51}, a, b));  // bottom row is excluded
    EXPECT_FALSE(ClipSegment(r, {-10, -10}, {-1, 60}, a, b));
    EXPECT_FALSE(ClipSegment(r, {90, -20}, {130, 20}, a, b)); // passes the corner outside
    EXPECT_FALSE(ClipSegment(Rect{0, 0, 0, 0}, {0, 0}, {0, 0}, a, b));
}

TEST(PlotClip, FarAndNonFiniteEnds)
{
    const Rect r{0, 0, 101, 51};
    QPoint a, b;
    ASSERT_TRUE(ClipSegment(r, {-1e30, 25}, {1e30, 25}, a, b));
    EXPECT_EQ(a, QPoint(0, 25));
    EXPECT_EQ(b, QPoint(100, 25));
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(ClipSegment(r, {inf, 0}, {10, 10}, a, b));
    EXPECT_FALSE(ClipSegment(r, {10, nan}, {10, 10}, a, b));
    EXPECT_FALSE(PlotContains(r, {nan, 10}));
}

TEST(PlotAxisDescription, DefaultsPickTheSideAndAlignment)
{
    const Rect client{0, 0, 200, 150};
    const Rect plot{30, 0, 200, 130}; // left 30, bottom 20
    auto x = PlaceAxisDescription(0, 0, client, plot, 30, 0, 0, 20);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->area, (Rect{0, 131, 200, 150}));
    EXPECT_EQ(x->alignment, 0x100);
    auto y = PlaceAxisDescription(1, 0, client, plot, 30, 0, 0, 20);
    ASSERT_TRUE(y);
    EXPECT_EQ(y->area, (Rect{0, 0, 29, 150}));
    EXPECT_EQ(y->alignment, 0x200);
    // Explicit right side without a right margin: nowhere to go.
    EXPECT_FALSE(PlaceAxisDescription(1, 32, client, plot, 30, 0, 0, 20));
    // Top side for X with a top margin.
    auto top = PlaceAxisDescription(0, 16 | 0x400, client, Rect{0, 20, 200, 150}, 0, 20, 0, 0);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->area, (Rect{0, 0, 200, 19}));
    EXPECT_EQ(top->alignment, 0x400);
}

TEST(PlotAxisDescription, SkippedWithoutMarginsOrWithBadAttributes)
{
    const Rect client{0, 0, 200, 150};
    EXPECT_FALSE(PlaceAxisDescription(0, 0, client, client, 0, 0, 0, 0));
    EXPECT_FALSE(PlaceAxisDescription(1, 0, client, client, 0, 0, 0, 0));
    EXPECT_FALSE(PlaceAxisDescription(2, 0, client, Rect{30, 0, 200, 130}, 30, 0, 0, 20));
    // Both sides without an alignment is undecided.
    EXPECT_FALSE(PlaceAxisDescription(0, 48, client, Rect{30, 0, 200, 130}, 30, 0, 0, 20));
    EXPECT_TRUE(PlaceAxisDescription(0, 48 | 0x200, client, Rect{30, 0, 200, 130}, 30, 0, 0, 20));
}

TEST(PlotAxisDescription, TextBoxesFollowTheScale)
{
    const Rect client{0, 0, 231, 171};
    const Rect plot{30, 0, 231, 151};
    const PlotScale s = ComputePlotScale(plot, 10, 0, 15, 0); // sx 20, sy 10
    auto x = PlaceAxisDescription(0, 0, client, plot, 30, 0, 0, 20);
    ASSERT_TRUE(x);
    auto box = PlaceAxisText(0, *x, plot, s, 5, 3, 14, 8); // x = 130, half width 12
    ASSERT_TRUE(box);
    EXPECT_EQ(*box, (Rect{117, 152, 143, 171}));
    box = PlaceAxisText(0, *x, plot, s, 0, 10, 14, 8); // long text at the left edge: clamped
    ASSERT_TRUE(box);
    EXPECT_EQ(box->left, 0);
    EXPECT_EQ(box->right, 71);
    box = PlaceAxisText(0, *x, plot, s, 10, 10, 14, 8); // long text at the right edge
    ASSERT_TRUE(box);
    EXPECT_EQ(box->right, 231);
    EXPECT_FALSE(PlaceAxisText(0, *x, plot, s, 11, 3, 14, 8)); // beyond the plot

    auto y = PlaceAxisDescription(1, 0, client, plot, 30, 0, 0, 20);
    ASSERT_TRUE(y);
    box = PlaceAxisText(1, *y, plot, s, 5, 3, 14, 8); // y = 150 - 50 = 100
    ASSERT_TRUE(box);
    EXPECT_EQ(*box, (Rect{0, 92, 29, 108}));
    EXPECT_FALSE(PlaceAxisText(1, *y, plot, s, 15, 3, 14, 8)); // box would leave the top
    EXPECT_FALSE(PlaceAxisText(1, *y, plot, s, -1, 3, 14, 8)); // below the plot
    EXPECT_FALSE(PlaceAxisText(1, *y, plot, s, std::numeric_limits<float>::quiet_NaN(), 3, 14, 8));
}
