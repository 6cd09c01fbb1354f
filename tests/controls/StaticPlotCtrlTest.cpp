#include "controls/StaticPlotCtrl.h"
#include "controls/RgbColor.h"

#include <QCoreApplication>
#include <QImage>

#include "tests/controls/PixelTestSupport.h"
#include <gtest/gtest.h>

using namespace zef::Glimra;

using PixelTest::At;

namespace
{

constexpr ColorRef kPlot = RGB_COLOR::WHITE;
constexpr ColorRef kDesc = RGB_COLOR::LIGHTGRAY;
constexpr ColorRef kLine = RGB_COLOR::LIGHTRED;
constexpr ColorRef kGrid = RGB_COLOR::LIGHTBLUE;

// Reaches the protected parts and counts paints.
class Plot : public StaticPlotCtrl
{
public:
    using StaticPlotCtrl::GetPlotRect;
    using StaticPlotCtrl::GetScale;
    int paints = 0;

    Plot(int w, int h)
    {
        resize(w, h);
        SetBkColorPlot(kPlot);
        SetBkColorDesc(kDesc);
    }

    QImage Render() { return PixelTest::RenderWidget(*this); }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        StaticPlotCtrl::paintEvent(e);
    }
};

int Count(const QImage& img, ColorRef c, QRect area = QRect())
{
    if (area.isNull())
        area = img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += At(img, x, y) == c ? 1 : 0;
    return n;
}

DataLine Line(DataLine::STYLE style, std::initializer_list<std::pair<float, float>> points)
{
    DataLine line;
    line.SetColor(kLine);
    line.SetStyle(style, 0);
    for (auto [x, y] : points)
        line.Add(x, y);
    return line;
}

} // namespace

TEST(DataLine, KeepsItsRange)
{
    DataLine line;
    float a = 9, b = 9, c = 9, d = 9;
    EXPECT_FALSE(line.GetMinMax(a, b, c, d));
    line.Add(3, -1);
    line.Add(-2, 4);
    line.Add(1, 7);
    ASSERT_TRUE(line.GetMinMax(a, b, c, d));
    EXPECT_EQ(a, -2);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(c, -1);
    EXPECT_EQ(d, 7);
    line.Clear();
    EXPECT_EQ(line.GetCount(), 0u);
    EXPECT_FALSE(line.GetMinMax(a, b, c, d));
    line.Add(5, 5); // the first point after a clear sets all four limits again
    ASSERT_TRUE(line.GetMinMax(a, b, c, d));
    EXPECT_EQ(a, 5);
    EXPECT_EQ(d, 5);
}

TEST(StaticPlotCtrl, RangeInEitherOrderAndPlotRect)
{
    Plot plot(131, 71);
    plot.SetPlotRange(10, 0, 5, -5);
    plot.SetDescArea(30, 0, 0, 20);
    Rect r;
    plot.GetPlotRect(r);
    EXPECT_EQ(r, Rect(30, 0, 131, 51));
    double sx, sy;
    QPoint origin;
    plot.GetScale(sx, sy, origin);
    EXPECT_DOUBLE_EQ(sx, 10.0); // 101 pixels over 0..10
    EXPECT_DOUBLE_EQ(sy, 5.0);
    EXPECT_EQ(origin, QPoint(30, 51 - 25 - 1));
}

TEST(StaticPlotCtrl, BackgroundsOfPlotAndMargins)
{
    Plot plot(60, 40);
    QImage img = plot.Render();
    EXPECT_EQ(Count(img, kPlot), 60 * 40); // no margins: the plot covers the client

    plot.SetDescArea(10, 5, 0, 0);
    img = plot.Render();
    EXPECT_EQ(At(img, 9, 20), kDesc);
    EXPECT_EQ(At(img, 30, 4), kDesc);
    EXPECT_EQ(At(img, 10, 5), kPlot);
    EXPECT_EQ(Count(img, kPlot), 50 * 35);
}

TEST(StaticPlotCtrl, DotsLandOnTheScaledPixels)
{
    Plot plot(101, 51);
    plot.SetPlotRange(0, 10, 0, 5);
    plot.AddLine(Line(DataLine::STYLE_DOTS, {{0, 0}, {10, 5}, {10, 0}, {5, 2.5f}, {10.06f, 0}}));
    const QImage img = plot.Render();
    EXPECT_EQ(At(img, 0, 50), kLine);
    EXPECT_EQ(At(img, 100, 0), kLine); // x = 10 on the last column inside
    EXPECT_EQ(At(img, 100, 50), kLine);
    EXPECT_EQ(At(img, 50, 25), kLine); // 2.5 * 10 = 25 below the top of 0..50
    EXPECT_EQ(Count(img, kLine), 4);   // 10.06 maps to column 101: outside
}

TEST(StaticPlotCtrl, SinglePointLineDrawsNothingButADotDoes)
{
    Plot plot(101, 51);
    plot.SetPlotRange(0, 10, 0, 5);
    plot.AddLine(Line(DataLine::STYLE_LINE, {{5, 2}}));
    EXPECT_EQ(Count(plot.Render(), kLine), 0);
    plot.ClearLine();
    plot.AddLine(Line(DataLine::STYLE_DOTS, {{5, 2}}));
    EXPECT_EQ(Count(plot.Render(), kLine), 1);
    plot.ClearLine();
    plot.AddLine(Line(static_cast<DataLine::STYLE>(7), {{5, 2}})); // unknown style: dots
    EXPECT_EQ(Count(plot.Render(), kLine), 1);
}

TEST(StaticPlotCtrl, SegmentsAreClippedToThePlot)
{
    Plot plot(131, 71);
    plot.SetDescArea(0, 10, 30, 10); // plot rectangle 0,10 .. 101,61
    plot.SetPlotRange(0, 10, 0, 5);
    plot.AddLine(Line(DataLine::STYLE_LINE, {{5, 2.5f}, {15, 2.5f}}));
    QImage img = plot.Render();
    const int y = 60 - 25;
    EXPECT_EQ(At(img, 50, y), kLine);
    EXPECT_EQ(At(img, 99, y), kLine);
    EXPECT_EQ(Count(img, kLine, QRect(101, 0, 30, 71)), 0); // nothing in the right margin
    EXPECT_EQ(Count(img, kLine, QRect(0, 0, 50, 71)), 0);

    plot.ClearLine();
    plot.AddLine(Line(DataLine::STYLE_LINE, {{11, 1}, {15, 4}, {-3, 10}}));
    EXPECT_EQ(Count(plot.Render(), kLine), 0); // wholly outside

    plot.ClearLine();
    plot.AddLine(Line(DataLine::STYLE_LINE, {{5, -10}, {5, 10}}));
    img = plot.Render();
    EXPECT_EQ(Count(img, kLine, QRect(50, 0, 1, 10)), 0); // top margin untouched
    EXPECT_EQ(Count(img, kLine, QRect(50, 61, 1, 10)), 0);
    EXPECT_GE(Count(img, kLine, QRect(50, 10, 1, 51)), 50);
}

TEST(StaticPlotCtrl, RangeAboveZeroShowsItsData)
{
    Plot plot(101, 51);
    plot.SetPlotRange(1000, 1010, 200, 205);
    plot.AddLine(Line(DataLine::STYLE_DOTS, {{1000, 200}, {1010, 205}, {1005, 202}}));
    const QImage img = plot.Render();
    EXPECT_EQ(At(img, 0, 50), kLine);
    EXPECT_EQ(At(img, 100, 0), kLine);
    EXPECT_EQ(At(img, 50, 30), kLine);
}

TEST(StaticPlotCtrl, GridLinesAcrossTheRange)
{
    Plot plot(101, 51);
    plot.SetPlotRange(0, 10, 0, 5);
    GridLine grid;
    grid.SetAxis(X_AXIS);
    grid.SetColor(kGrid);
    grid.Add(5);
    grid.Add(20); // off the plot
    plot.AddGrid(grid);
    GridLine rows;
    rows.SetAxis(Y_AXIS);
    rows.SetColor(kGrid);
    rows.Add(1);
    plot.AddGrid(rows);
    const QImage img = plot.Render();
    EXPECT_EQ(At(img, 50, 49), kGrid);
    EXPECT_EQ(At(img, 50, 2), kGrid);
    EXPECT_GE(Count(img, kGrid, QRect(50, 0, 1, 51)), 50); // one end pixel may stay out
    EXPECT_EQ(At(img, 1, 40), kGrid);
    EXPECT_EQ(At(img, 99, 40), kGrid);
    EXPECT_EQ(Count(img, kGrid, QRect(51, 0, 50, 40)), 0);

    GridLine none;
    none.SetColor(kGrid);
    none.SetAttribute(GridLine::LA_NONE);
    none.Add(2);
    plot.ClearGrid();
    plot.AddGrid(none);
    EXPECT_EQ(Count(plot.Render(), kGrid), 0);

    GridLine badAxis; // neither axis: draws nothing
    badAxis.SetAxis(static_cast<AXIS>(2));
    badAxis.SetColor(kGrid);
    badAxis.Add(2);
    plot.ClearGrid();
    plot.AddGrid(badAxis);
    EXPECT_EQ(Count(plot.Render(), kGrid), 0);
}

TEST(StaticPlotCtrl, LaterObjectsCoverEarlierOnesAndCopiesAreKept)
{
    Plot plot(101, 51);
    plot.SetPlotRange(0, 10, 0, 5);
    DataLine first = Line(DataLine::STYLE_DOTS, {{5, 2}});
    plot.AddLine(first);
    DataLine second = first;
    second.SetColor(kGrid);
    plot.AddLine(second);
    first.Add(1, 1); // after adding: no effect on the plot
    const QImage img = plot.Render();
    EXPECT_EQ(At(img, 50, 30), kGrid);
    EXPECT_EQ(Count(img, kLine), 0);
}

TEST(StaticPlotCtrl, AxisDescriptionsNeedAMargin)
{
    AxisDescription desc;
    desc.SetAxis(X_AXIS);
    desc.SetColor(RGB_COLOR::BLACK);
    desc.Add(5, QStringLiteral("MMM"));

    Plot plot(201, 71);
    plot.SetPlotRange(0, 10, 0, 5);
    plot.AddAxisDescription(desc);
    EXPECT_EQ(Count(plot.Render(), kPlot), 201 * 71); // all margins 0: skipped

    plot.SetDescArea(0, 0, 0, 20); // plot 0..201 x 0..51, texts below it
    const QImage img = plot.Render();
    int minX = 1000, maxX = -1, minY = 1000;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (QColor(img.pixel(x, y)).lightness() < 100)
            {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
            }
    ASSERT_GE(maxX, 0) << "no text drawn";
    EXPECT_GE(minY, 52);                          // below the plot, in the margin
    EXPECT_NEAR((minX + maxX) / 2.0, 100.0, 3.0); // centred on x = 5 -> column 100
}

TEST(StaticPlotCtrl, YAxisTextsAreRightAlignedInTheLeftMargin)
{
    AxisDescription desc;
    desc.SetAxis(Y_AXIS);
    desc.SetColor(RGB_COLOR::BLACK);
    desc.Add(2.5f, QStringLiteral("I"));
    desc.Add(99, QStringLiteral("I")); // off the plot: skipped
    Plot plot(141, 101);
    plot.SetDescArea(40, 0, 0, 0);
    plot.SetPlotRange(0, 10, 0, 5);
    plot.AddAxisDescription(desc);
    const QImage img = plot.Render();
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (QColor(img.pixel(x, y)).lightness() < 100)
            {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "no text drawn";
    EXPECT_LT(maxX, 39);                             // inside the margin, left of the plot
    EXPECT_GT(minX, 25);                             // right-aligned
    EXPECT_NEAR((minY + maxY) / 2.0, 100 - 50, 4.0); // about y = 2.5 -> row 50
}

TEST(StaticPlotCtrl, DirectRedrawOffOnlyStores)
{
    Plot plot(50, 50);
    plot.show();
    QCoreApplication::processEvents(); // let the window be exposed
    plot.paints = 0;
    plot.SetPlotRange(0, 1, 0, 1);
    EXPECT_EQ(plot.paints, 1);
    plot.DirectRedraw(false);
    plot.SetPlotRange(0, 2, 0, 2);
    plot.AddLine(DataLine());
    EXPECT_EQ(plot.paints, 1);
    plot.DirectRedraw(true);
    EXPECT_EQ(plot.paints, 2);
    plot.DirectRedraw(true);
    EXPECT_EQ(plot.paints, 2);
}

TEST(StaticPlotCtrl, DegenerateSizesAndValuesDoNotCrash)
{
    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(2, 300)})
    {
        Plot plot(std::max(size.width(), 1), std::max(size.height(), 1));
        plot.resize(size);
        plot.SetDescArea(5, 5, 5, 5);
        plot.SetPlotRange(0, 0, 0, 0);
        const float inf = std::numeric_limits<float>::infinity();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        plot.AddLine(Line(DataLine::STYLE_LINE, {{0, 0}, {inf, 1}, {nan, 2}, {1e38f, -1e38f}}));
        plot.AddLine(Line(DataLine::STYLE_DOTS, {{inf, 0}, {nan, nan}, {-1e38f, 0}}));
        GridLine grid;
        grid.Add(nan);
        grid.Add(1e38f);
        plot.AddGrid(grid);
        QImage img(std::max(size.width(), 1), std::max(size.height(), 1), QImage::Format_RGB32);
        plot.render(&img);
    }
}
