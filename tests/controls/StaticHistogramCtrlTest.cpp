#include "controls/StaticHistogramCtrl.h"

#include <QFontMetrics>
#include <QImage>

#include <gtest/gtest.h>

#include "tests/controls/PixelTestSupport.h"
#include <limits>

using namespace zef::Glimra;

using PixelTest::At;

namespace
{

class Histogram : public StaticHistogramCtrl
{
public:
    using StaticHistogramCtrl::GetDisplayedMeasurements;
    using StaticHistogramCtrl::GetMeasurementRect;
    using StaticHistogramCtrl::GetTextRect;

    Histogram(int w, int h) { resize(w, h); }

    QImage Render() { return PixelTest::RenderWidget(*this); }
};

// Height of the bar in column x: highlighted pixels counted up from the bottom.
int BarHeight(const QImage& img, int x)
{
    const ColorRef bar = GetSysColor(COLOR_BTNHIGHLIGHT);
    int h = 0;
    for (int y = img.height() - 1; y >= 0 && At(img, x, y) == bar; --y)
        ++h;
    return h;
}

} // namespace

TEST(StaticHistogramCtrl, EighteenBarsFromFortyToNinetyFour)
{
    ASSERT_NE(GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNFACE));
    Histogram hist(100, 60);
    hist.SetTextWidth(40);
    EXPECT_EQ(hist.GetTextRect(), Rect(0, 0, 40, 60));
    EXPECT_EQ(hist.GetMeasurementRect(), Rect(40, 0, 100, 60));
    EXPECT_EQ(hist.GetDisplayedMeasurements(), 20);
    for (int i = 0; i < 25; ++i)
        hist.Add(100);
    EXPECT_EQ(hist.GetData().size(), 21u); // one more than displayed

    const QImage img = hist.Render();
    EXPECT_EQ(BarHeight(img, 39), 0);
    EXPECT_EQ(BarHeight(img, 40), 58); // full height: client height - 2
    EXPECT_EQ(BarHeight(img, 93), 58);
    EXPECT_EQ(BarHeight(img, 94), 0);
    EXPECT_EQ(At(img, 94, 59), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(At(img, 50, 0), GetSysColor(COLOR_BTNFACE));
}

TEST(StaticHistogramCtrl, BarHeightsAreShareOfTheMaximum)
{
    Histogram hist(30, 52); // H = 50
    hist.SetData({50, 150, -3, 100});
    const QImage img = hist.Render();
    EXPECT_EQ(BarHeight(img, 0), 25); // newest at the left
    EXPECT_EQ(BarHeight(img, 2), 25);
    EXPECT_EQ(BarHeight(img, 3), 50);
    EXPECT_EQ(BarHeight(img, 6), 0);
    EXPECT_EQ(BarHeight(img, 9), 50);
    EXPECT_EQ(At(img, 0, 26), GetSysColor(COLOR_BTNFACE));

    hist.SetMaxValue(-100); // a negative maximum gives flat bars
    EXPECT_EQ(BarHeight(hist.Render(), 3), 0);
}

TEST(StaticHistogramCtrl, TextOnTheRightAndMaximumZero)
{
    Histogram hist(100, 60);
    hist.SetTextWidth(40);
    hist.SetTextLeft(false);
    EXPECT_EQ(hist.GetTextRect(), Rect(60, 0, 100, 60));
    hist.SetData({100, 100});
    QImage img = hist.Render();
    EXPECT_EQ(BarHeight(img, 0), 58);
    EXPECT_EQ(BarHeight(img, 61), 0);

    hist.SetMaxValue(0); // only the texts: the bar area stays unpainted
    img = hist.Render();
    EXPECT_EQ(img.pixel(10, 30), QColor(Qt::magenta).rgb());
    EXPECT_EQ(At(img, 80, 30), GetSysColor(COLOR_BTNFACE));
}

TEST(StaticHistogramCtrl, ScaleTextsAtTopMiddleAndBottom)
{
    Histogram hist(100, 100);
    hist.SetTextWidth(40);
    QFont font = hist.font();
    for (int px = 6; px < 40 && QFontMetrics(font).height() != 16; ++px)
        font.setPixelSize(px);
    ASSERT_EQ(QFontMetrics(font).height(), 16) << "no font size gives 16-pixel lines";
    hist.setFont(font);
    hist.SetMaxValue(0);
    hist.SetText({QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("8")});
    const QImage img = hist.Render();

    std::vector<bool> inked(100, false);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 40; ++x)
            if (At(img, x, y) != GetSysColor(COLOR_BTNFACE))
                inked[static_cast<std::size_t>(y)] = true;
    const auto rowsInked = [&](int from, int to)
    {
        for (int y = from; y < to; ++y)
            if (inked[static_cast<std::size_t>(y)])
                return true;
        return false;
    };
    EXPECT_TRUE(rowsInked(0, 16));
    EXPECT_FALSE(rowsInked(16, 42));
    EXPECT_TRUE(rowsInked(42, 58));
    EXPECT_FALSE(rowsInked(58, 84));
    EXPECT_TRUE(rowsInked(84, 100));
}

TEST(StaticHistogramCtrl, OddSizesAndValuesDoNotCrash)
{
    Histogram hist(20, 1);
    hist.SetTextWidth(500); // wider than the control
    EXPECT_EQ(hist.GetDisplayedMeasurements(), 0);
    for (int i = 0; i < 5; ++i)
        hist.Add(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(hist.GetData().size(), 1u);
    hist.SetTextWidth(-5);
    hist.SetText({QStringLiteral("a"), QStringLiteral("b")});
    hist.SetData({std::numeric_limits<double>::infinity(), -1e300, 1e300});
    hist.Render();
    hist.resize(0, 0);
    hist.Add(3);
    hist.Render();
}
