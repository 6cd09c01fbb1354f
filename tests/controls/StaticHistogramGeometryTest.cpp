#include "controls/HistogramGeometry.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zef::Glimra;

TEST(HistogramGeometry, TextStripOnEitherSide)
{
    HistogramLayout l = ComputeHistogramLayout(Rect{0, 0, 100, 60}, true, 40);
    EXPECT_EQ(l.text, (Rect{0, 0, 40, 60}));
    EXPECT_EQ(l.measurement, (Rect{40, 0, 100, 60}));
    EXPECT_EQ(l.displayed, 20);
    l = ComputeHistogramLayout(Rect{0, 0, 100, 60}, false, 40);
    EXPECT_EQ(l.text, (Rect{60, 0, 100, 60}));
    EXPECT_EQ(l.measurement, (Rect{0, 0, 60, 60}));
}

TEST(HistogramGeometry, TextWiderThanTheControlLeavesNoBars)
{
    HistogramLayout l = ComputeHistogramLayout(Rect{0, 0, 30, 60}, true, 500);
    EXPECT_EQ(l.measurement.Width(), 0);
    EXPECT_EQ(l.displayed, 0);
    l = ComputeHistogramLayout(Rect{0, 0, 30, 60}, false, -7);
    EXPECT_EQ(l.text.Width(), 0);
    EXPECT_EQ(l.displayed, 10);
    EXPECT_EQ(ComputeHistogramLayout(Rect{0, 0, 0, 0}, true, 0).displayed, 0);
}

TEST(HistogramGeometry, BarsStopBeforeTheRightEdge)
{
    const Rect m{40, 0, 100, 60};
    EXPECT_EQ(HistogramBarCount(m, 21), 18); // x = 40 .. 94
    EXPECT_EQ(HistogramBarCount(m, 5), 5);
    EXPECT_EQ(HistogramBarCount(m, 0), 0);
    EXPECT_EQ(HistogramBarCount(Rect{0, 0, 6, 10}, 3), 0);
    EXPECT_EQ(HistogramBarCount(Rect{0, 0, 7, 10}, 3), 1);
}

TEST(HistogramGeometry, BarHeightIsTheShareOfTheMaximum)
{
    EXPECT_EQ(HistogramBarHeight(50, 100, 50), 25);
    EXPECT_EQ(HistogramBarHeight(150, 100, 50), 50);
    EXPECT_EQ(HistogramBarHeight(-3, 100, 50), 0);
    EXPECT_EQ(HistogramBarHeight(99.9, 100, 50), 49); // truncated
    EXPECT_EQ(HistogramBarHeight(-50, -100, 50), 0);  // negative maximum
    EXPECT_EQ(HistogramBarHeight(50, 0, 50), 0);
    EXPECT_EQ(HistogramBarHeight(std::numeric_limits<double>::quiet_NaN(), 100, 50), 0);
    EXPECT_EQ(HistogramBarHeight(std::numeric_limits<double>::infinity(), 100, 50), 50);
    EXPECT_EQ(HistogramBarHeight(50, 100, -2), 0);
}

TEST(HistogramGeometry, ScaleTextsSpreadFromTopToBottom)
{
    const Rect text{0, 0, 40, 100};
    EXPECT_EQ(HistogramTextTops(text, 16, 3), (std::vector<int>{0, 42, 84}));
    EXPECT_EQ(HistogramTextTops(text, 16, 1), (std::vector<int>{0}));
    EXPECT_TRUE(HistogramTextTops(text, 16, 0).empty());
    // Lower than one line: all at the top instead of climbing out of the strip.
    EXPECT_EQ(HistogramTextTops(Rect{0, 0, 40, 10}, 16, 3), (std::vector<int>{0, 0, 0}));
}
