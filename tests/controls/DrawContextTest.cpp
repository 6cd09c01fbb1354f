#include "controls/DrawContext.h"
#include "controls/MemoryDC.h"
#include "controls/PaintDCGuard.h"
#include "controls/RgbColor.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace zef::Glimra;

namespace
{

constexpr ColorRef kRed = RGB_COLOR::LIGHTRED;
constexpr ColorRef kWhite = RGB_COLOR::WHITE;
constexpr ColorRef kBlack = RGB_COLOR::BLACK;

QImage WhiteImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

ColorRef At(const QImage& img, int x, int y)
{
    return FromQColor(QColor(img.pixel(x, y)));
}

int CountColor(const QImage& img, ColorRef c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += At(img, x, y) == c ? 1 : 0;
    return n;
}

} // namespace

TEST(DrawContext, ColourValuesAreBgr)
{
    EXPECT_EQ(MakeRgb(1, 2, 3), 0x00030201u);
    EXPECT_EQ(ToQColor(RGB_COLOR::DARKRED), QColor(52, 0, 0));
    EXPECT_EQ(FromQColor(QColor(0, 0, 255)), RGB_COLOR::LIGHTBLUE);
}

TEST(DrawContext, RectanglesExcludeRightAndBottomEdges)
{
    QImage img = WhiteImage(20, 20);
    {
        DrawContext dc(&img);
        dc.FillSolidRect({2, 3, 12, 8}, kRed);
    }
    EXPECT_EQ(CountColor(img, kRed), 10 * 5);
    EXPECT_EQ(At(img, 2, 3), kRed);
    EXPECT_EQ(At(img, 11, 7), kRed);
    EXPECT_EQ(At(img, 12, 7), kWhite);
    EXPECT_EQ(At(img, 11, 8), kWhite);
}

TEST(DrawContext, RectangleWithNullPenIsOnePixelSmaller)
{
    QImage img = WhiteImage(20, 20);
    {
        DrawContext dc(&img);
        dc.SelectPen(Pen::Null());
        dc.SelectBrush(Brush::Solid(kRed));
        dc.Rectangle({0, 0, 10, 10});
        dc.SelectPen(Pen::Solid(1, kBlack));
        dc.Rectangle({10, 10, 20, 20});
    }
    EXPECT_EQ(CountColor(img, kRed), 81 + 64);
    EXPECT_EQ(At(img, 10, 10), kBlack);
    EXPECT_EQ(At(img, 19, 19), kBlack);
    EXPECT_EQ(At(img, 15, 15), kRed);
}

TEST(DrawContext, LinesLeaveOutTheirLastPixel)
{
    QImage img = WhiteImage(20, 20);
    {
        DrawContext dc(&img);
        dc.MoveTo({2, 5});
        dc.LineTo({10, 5});
    }
    EXPECT_EQ(At(img, 2, 5), kBlack);
    EXPECT_EQ(At(img, 9, 5), kBlack);
    EXPECT_EQ(At(img, 10, 5), kWhite);
    EXPECT_EQ(CountColor(img, kBlack), 8);
}

TEST(DrawContext, LinesKeepTheirFirstPixelInEveryDirection)
{
    const QPoint start(10, 10);
    for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1),
                              QPoint(1, 1), QPoint(-1, -1), QPoint(1, -1), QPoint(-1, 1)})
    {
        QImage img = WhiteImage(20, 20);
        {
            DrawContext dc(&img);
            dc.MoveTo(start);
            dc.LineTo(start + 6 * step);
        }
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(At(img, (start + k * step).x(), (start + k * step).y()), kBlack)
                << "step " << step.x() << "," << step.y() << " pixel " << k;
        EXPECT_EQ(CountColor(img, kBlack), 6) << "step " << step.x() << "," << step.y();
    }
}

TEST(DrawContext, LinePixelsOfASteepLineAndOfAPoint)
{
    const QPolygon steep = LinePixels({0, 0}, {2, -6});
    ASSERT_EQ(steep.size(), 6);
    EXPECT_EQ(steep.first(), QPoint(0, 0));
    EXPECT_EQ(steep.last().y(), -5);
    for (int i = 1; i < steep.size(); ++i)
    {
        EXPECT_EQ(steep[i].y(), steep[i - 1].y() - 1);
        EXPECT_LE(std::abs(steep[i].x() - steep[i - 1].x()), 1);
    }
    EXPECT_TRUE(LinePixels({3, 3}, {3, 3}).isEmpty());
}

TEST(DrawContext, EllipseFillsInsideItsBox)
{
    QImage img = WhiteImage(40, 40);
    {
        DrawContext dc(&img);
        dc.SelectPen(Pen::Null());
        dc.SelectBrush(Brush::Solid(kRed));
        dc.Ellipse({10, 10, 30, 30});
    }
    EXPECT_EQ(At(img, 19, 19), kRed);
    EXPECT_EQ(At(img, 10, 19), kRed);
    EXPECT_EQ(At(img, 19, 10), kRed);
    EXPECT_EQ(At(img, 9, 19), kWhite);
    EXPECT_EQ(At(img, 29, 19), kWhite);
    EXPECT_EQ(At(img, 11, 11), kWhite); // corner of the box stays empty
}

TEST(DrawContext, InsideFramePenStaysInsideTheBox)
{
    QImage img = WhiteImage(40, 40);
    {
        DrawContext dc(&img);
        dc.SelectPen({PS_INSIDEFRAME, 4, kRed});
        dc.Arc({10, 10, 30, 30}, {30, 20}, {30, 20}); // full circle
    }
    EXPECT_EQ(At(img, 10, 19), kRed);
    EXPECT_EQ(At(img, 13, 19), kRed);
    EXPECT_EQ(At(img, 9, 19), kWhite);
    EXPECT_EQ(At(img, 15, 19), kWhite);
    EXPECT_EQ(At(img, 29, 19), kRed);
    EXPECT_EQ(At(img, 30, 19), kWhite);
}

TEST(DrawContext, ArcRunsCounterClockwise)
{
    QImage img = WhiteImage(40, 40);
    {
        DrawContext dc(&img);
        dc.SelectPen({PS_SOLID, 3, kRed});
        // From the upper right to the lower left, counter-clockwise: the upper-left half.
        dc.Arc({0, 0, 40, 40}, {40, 0}, {0, 40});
    }
    EXPECT_EQ(At(img, 19, 1), kRed);    // 12 o'clock
    EXPECT_EQ(At(img, 1, 19), kRed);    // 9 o'clock
    EXPECT_EQ(At(img, 19, 38), kWhite); // 6 o'clock
    EXPECT_EQ(At(img, 38, 19), kWhite); // 3 o'clock
}

TEST(DrawContext, PolygonRegionUsesAlternateFill)
{
    // A five-pointed star: its centre is outside in alternate mode.
    const QPoint star[] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
    QImage img = WhiteImage(100, 100);
    {
        DrawContext dc(&img);
        dc.FillPolygonRgn(star, 5, Brush::Solid(kRed), ALTERNATE);
    }
    EXPECT_EQ(At(img, 50, 50), kWhite);
    EXPECT_EQ(At(img, 50, 15), kRed);
    QImage img2 = WhiteImage(100, 100);
    {
        DrawContext dc(&img2);
        dc.FillPolygonRgn(star, 5, Brush::Solid(kRed), WINDING);
    }
    EXPECT_EQ(At(img2, 50, 50), kRed);
}

TEST(DrawContext, PathIsStrokedAndFilledWithOpenFiguresClosed)
{
    QImage img = WhiteImage(30, 30);
    {
        DrawContext dc(&img);
        dc.SelectPen(Pen::Solid(1, kBlack));
        dc.SelectBrush(Brush::Solid(kRed));
        dc.BeginPath();
        dc.MoveTo({5, 5});
        dc.LineTo({25, 5});
        dc.LineTo({25, 25});
        dc.LineTo({5, 25}); // left edge left open
        dc.EndPath();
        dc.StrokeAndFillPath();
    }
    EXPECT_EQ(At(img, 15, 15), kRed);
    EXPECT_EQ(At(img, 5, 15), kBlack); // closing edge stroked
    EXPECT_EQ(At(img, 2, 15), kWhite);
}

TEST(DrawContext, BezierPassesThroughEndPoints)
{
    QImage img = WhiteImage(40, 40);
    {
        DrawContext dc(&img);
        dc.MoveTo({0, 20});
        const QPoint pts[] = {{10, 0}, {30, 0}, {39, 20}};
        dc.PolyBezierTo(pts, 3);
        EXPECT_EQ(dc.GetCurrentPosition(), QPoint(39, 20));
    }
    bool startHit = false;
    for (int y = 18; y <= 20; ++y)
        for (int x = 0; x <= 1; ++x)
            startHit = startHit || At(img, x, y) == kBlack;
    EXPECT_TRUE(startHit);
    bool topHit = false; // the curve's middle lies at about (19.9, 5)
    for (int y = 4; y <= 6; ++y)
        for (int x = 18; x <= 21; ++x)
            topHit = topHit || At(img, x, y) == kBlack;
    EXPECT_TRUE(topHit);
    EXPECT_EQ(At(img, 20, 20), kWhite);
}

TEST(DrawContext, TextUsesTextColourAndOpaqueBackground)
{
    QImage img = WhiteImage(100, 40);
    {
        DrawContext dc(&img);
        dc.SetTextColor(kRed);
        dc.SetBkColor(RGB_COLOR::LIGHTBLUE);
        dc.SelectPen(Pen::Solid(1, RGB_COLOR::LIGHTGREEN));
        dc.TextOut(2, 2, QStringLiteral("HHH"));
        EXPECT_EQ(dc.GetTextExtent("HHH").height(), dc.GetTextMetrics().height);
    }
    int reddish = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
        {
            const QColor c(img.pixel(x, y));
            reddish += (c.red() > 150 && c.green() < 80) ? 1 : 0;
        }
    EXPECT_GT(reddish, 10);
    EXPECT_GT(CountColor(img, RGB_COLOR::LIGHTBLUE), 10);
    EXPECT_EQ(CountColor(img, RGB_COLOR::LIGHTGREEN), 0);
    EXPECT_EQ(At(img, 1, 1), kWhite);
}

TEST(DrawContext, DrawTextCalcRectAndSingleLineCentring)
{
    QImage img = WhiteImage(200, 50);
    DrawContext dc(&img);
    Rect calc{0, 0, 200, 0};
    const int h = dc.DrawText("Hello", calc, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(h, dc.GetTextMetrics().height);
    EXPECT_EQ(calc.Width(), dc.GetTextExtent("Hello").width());
    EXPECT_EQ(CountColor(img, kBlack), 0); // calculating draws nothing

    dc.SetBkMode(TRANSPARENT);
    Rect box{0, 0, 200, 50};
    dc.DrawText("Hello", box, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    int minX = 200;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 200; ++x)
            if (At(img, x, y) != kWhite)
                minX = std::min(minX, x);
    EXPECT_NEAR(minX, (200 - calc.Width()) / 2, 3);
}

TEST(DrawContext, TabbedExtentUsesDefaultStops)
{
    QImage img = WhiteImage(10, 10);
    DrawContext dc(&img);
    const int stop = 8 * dc.GetTextMetrics().aveCharWidth;
    EXPECT_EQ(dc.GetTabbedTextExtent("\t").width(), stop);
    EXPECT_EQ(dc.GetTabbedTextExtent("a\tb").width(), stop + dc.GetTextExtent("b").width());
}

TEST(DrawContext, BitBltCopiesOnlyWhatLiesOnTheSource)
{
    QImage src(4, 4, QImage::Format_RGB32);
    src.fill(Qt::red);
    QImage img = WhiteImage(20, 20);
    {
        DrawContext dc(&img);
        EXPECT_TRUE(dc.BitBlt(5, 5, 10, 10, src, 0, 0));
    }
    EXPECT_EQ(CountColor(img, kRed), 16);
    EXPECT_EQ(At(img, 8, 8), kRed);
    EXPECT_EQ(At(img, 9, 9), kWhite);
}

TEST(DrawContext, MemoryContextDrawsIntoSelectedBitmap)
{
    QImage bmp = WhiteImage(10, 10);
    DrawContext mem;
    EXPECT_FALSE(mem.IsValid());
    mem.FillSolidRect({0, 0, 5, 5}, kRed); // no bitmap: nothing happens
    EXPECT_EQ(mem.SelectBitmap(&bmp), nullptr);
    mem.FillSolidRect({0, 0, 5, 5}, kRed);
    EXPECT_EQ(mem.GetPixel({4, 4}), kRed);
    EXPECT_EQ(mem.SelectBitmap(nullptr), &bmp);
    EXPECT_EQ(CountColor(bmp, kRed), 25);
}

TEST(StretchImage, FourModes)
{
    // 4 x 1 source: black, white, white, white, shrunk to 1 x 1.
    QImage src(4, 1, QImage::Format_RGB32);
    src.fill(Qt::white);
    src.setPixel(0, 0, qRgb(0, 0, 0));
    const auto one = [&](int mode) { return QColor(StretchImage(src, {1, 1}, mode).pixel(0, 0)); };
    EXPECT_EQ(one(BLACKONWHITE), QColor(0, 0, 0));
    EXPECT_EQ(one(WHITEONBLACK), QColor(255, 255, 255));
    EXPECT_EQ(StretchImage(src, {8, 2}, COLORONCOLOR).size(), QSize(8, 2));
    EXPECT_EQ(QColor(StretchImage(src, {8, 2}, BLACKONWHITE).pixel(1, 1)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(StretchImage(src, {8, 2}, BLACKONWHITE).pixel(2, 1)), QColor(255, 255, 255));
    const QColor half = one(HALFTONE);
    EXPECT_GT(half.red(), 0);
    EXPECT_LT(half.red(), 255);
    EXPECT_TRUE(StretchImage(src, {0, 5}, HALFTONE).isNull());
}

TEST(MemoryDC, PaintsOffscreenThenCopiesOnce)
{
    QImage img = WhiteImage(50, 50);
    {
        DrawContext target(&img);
        target.SetBkColor(RGB_COLOR::LIGHTBLUE);
        {
            MemoryDC mem(target, {10, 10, 30, 30});
            EXPECT_TRUE(mem.IsBuffered());
            mem.FillSolidRect({15, 15, 20, 20}, kRed); // target coordinates
            EXPECT_EQ(At(img, 12, 12), kWhite);        // nothing on screen yet
            EXPECT_EQ(mem.GetPixel({12, 12}), RGB_COLOR::LIGHTBLUE);
        }
    }
    EXPECT_EQ(At(img, 12, 12), RGB_COLOR::LIGHTBLUE);
    EXPECT_EQ(At(img, 15, 15), kRed);
    EXPECT_EQ(At(img, 9, 9), kWhite);
    EXPECT_EQ(At(img, 30, 30), kWhite);
    EXPECT_EQ(CountColor(img, kRed), 25);
}

TEST(MemoryDC, PrintingTargetIsDrawnDirectly)
{
    QImage img = WhiteImage(20, 20);
    {
        DrawContext target(&img);
        target.SetPrinting(true);
        target.SetBkColor(RGB_COLOR::LIGHTBLUE);
        MemoryDC mem(target);
        EXPECT_FALSE(mem.IsBuffered());
        EXPECT_EQ(mem.GetRect(), Rect(0, 0, 20, 20));
        mem.SetPixel({3, 3}, kRed);
        EXPECT_EQ(At(img, 3, 3), kRed); // straight on the target
        EXPECT_EQ(At(img, 4, 4), RGB_COLOR::LIGHTBLUE);
    }
}

TEST(MemoryDC, EmptyRectangleIsHarmless)
{
    QImage img = WhiteImage(5, 5);
    DrawContext target(&img);
    {
        MemoryDC mem(target, {3, 3, 3, 3});
        mem.FillSolidRect({0, 0, 5, 5}, kRed);
        mem.Ellipse({0, 0, 5, 5});
    }
    {
        MemoryDC mem(target, {3, 3, 1, 1}); // inverted
    }
    EXPECT_EQ(CountColor(img, kRed), 0);
}

TEST(PaintDCGuard, RestoresStateFromBeforeFirstChange)
{
    QImage img = WhiteImage(5, 5);
    DrawContext dc(&img);
    const QFont font0 = dc.GetFont();
    {
        PaintDCGuard guard(dc);
        guard.SetTextColor(1);
        guard.SetTextColor(2);
        guard.SetTextColor(3);
        guard.SetPen(Pen::Solid(3, kRed));
        guard.SetPen(Pen::Null());
        guard.SetBrush(Brush::Null());
        guard.SetBkMode(TRANSPARENT);
        guard.SetBkColor(kRed);
        QFont f = font0;
        f.setPixelSize(40);
        guard.SetFont(f);
        EXPECT_EQ(dc.GetTextColor(), 3u);
        guard.RestorePen();
        EXPECT_EQ(dc.GetPen(), Pen());
        dc.SelectPen(Pen::Solid(2, kRed));
        guard.RestorePen(); // nothing remembered any more
        EXPECT_EQ(dc.GetPen(), Pen::Solid(2, kRed));
    }
    EXPECT_EQ(dc.GetTextColor(), 0u);
    EXPECT_EQ(dc.GetBkColor(), kWhite);
    EXPECT_EQ(dc.GetBkMode(), OPAQUE);
    EXPECT_EQ(dc.GetBrush(), Brush::Solid(kWhite));
    EXPECT_EQ(dc.GetFont(), font0);
}

TEST(PaintDCGuard, RestoresBitmapOfMemoryContext)
{
    QImage a = WhiteImage(3, 3);
    QImage b = WhiteImage(3, 3);
    DrawContext mem;
    mem.SelectBitmap(&a);
    {
        PaintDCGuard guard(mem);
        guard.SetBitmap(&b);
        guard.SetBitmap(nullptr);
        EXPECT_EQ(mem.GetBitmap(), nullptr);
    }
    EXPECT_EQ(mem.GetBitmap(), &a);
}
