#include "controls/RotationAngleCtrl.h"
#include "controls/RgbColor.h"

#include <QCoreApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "tests/controls/PixelTestSupport.h"
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

using namespace zef::Glimra;

using PixelTest::At;
using PixelTest::Render;

namespace
{

constexpr ColorRef kInd = RGB_COLOR::LIGHTRED;
constexpr ColorRef kKnob = RGB_COLOR::YELLOW;

// A dial with distinct colours rendered into an image.
struct Dial : RotationAngleCtrl
{
    int paints = 0;
    Dial()
    {
        DirectRedraw(false);
        SetColorIndicator(kInd);
        SetColorKnob(kKnob);
        SetBkColor(RGB_COLOR::LIGHTGRAY);
        DirectRedraw(true);
    }
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        RotationAngleCtrl::paintEvent(e);
    }
};

} // namespace

TEST(RotationAngleGeometry, Dial200x100WithRim)
{
    const DialGeometry g = DialGeometry::Compute({0, 0, 200, 100}, 4);
    EXPECT_EQ(g.r, 48);
    EXPECT_EQ(g.cx, 100);
    EXPECT_EQ(g.cy, 50);
    EXPECT_EQ(g.rh, 4);
    EXPECT_EQ(g.rp, 44);
    EXPECT_EQ(g.ri, 45);
    EXPECT_EQ(g.ro, 44);
    EXPECT_EQ(g.hb, 2);
    EXPECT_EQ(g.LabelRadius(13, 5), 48 - 4 - 15);
    const DialGeometry flat = DialGeometry::Compute({0, 0, 200, 100}, 0);
    EXPECT_EQ(flat.r, 50);
    EXPECT_EQ(flat.ro, flat.r); // ticks reach the knob's edge
}

TEST(RotationAngleGeometry, RotateDirections)
{
    EXPECT_EQ(Rotate(0, 44, true), QPoint(44, 0));
    EXPECT_EQ(Rotate(90, 44, true), QPoint(0, 44));   // 6 o'clock
    EXPECT_EQ(Rotate(90, 44, false), QPoint(0, -44)); // 12 o'clock
    EXPECT_EQ(Rotate(-90, 44, true), QPoint(0, -44));
    EXPECT_EQ(Rotate(180, 10, true), QPoint(-10, 0));
    EXPECT_EQ(Rotate(355, 100, true), Rotate(-5, 100, true));
    // Huge and extreme angles reduce without overflow.
    EXPECT_EQ(Rotate(INT_MIN, 100, false), Rotate(INT_MIN % 360, 100, false));
    EXPECT_EQ(Rotate(INT_MAX, 100, true), Rotate(INT_MAX % 360, 100, true));
}

TEST(RotationAngleGeometry, PointerTriangle)
{
    const DialGeometry g = DialGeometry::Compute({0, 0, 200, 100}, 4);
    const auto t = PointerTriangle(g, 0, true);
    EXPECT_EQ(t[0], QPoint(100, 48));
    EXPECT_EQ(t[1], QPoint(144, 50));
    EXPECT_EQ(t[2], QPoint(100, 52));
    EXPECT_EQ(PointerTriangle(g, 90, true)[1], QPoint(100, 94));
    EXPECT_EQ(PointerTriangle(g, 90, false)[1], QPoint(100, 6));
}

TEST(RotationAngleGeometry, PointerEndsShortOfEveryLabel)
{
    // The visualisation window's dial with a 16 x 7 marker font.
    const DialGeometry g = DialGeometry::Compute({0, 0, 315, 263}, 0);
    const int tip = g.PointerRadius(16, 7);
    EXPECT_GE(tip, g.r / 2);
    for (int k = 0; k < 360; k += 45)
    {
        const QRect box = LabelBox(g, k, int(QString::number(k).size()), 16, 7, true);
        // The label's point nearest the centre lies beyond the tip.
        const int nx = std::clamp(g.cx, box.left(), box.right()) - g.cx;
        const int ny = std::clamp(g.cy, box.top(), box.bottom()) - g.cy;
        EXPECT_GT(std::hypot(nx, ny), tip) << "label " << k;
    }
    // A dial too small for both keeps a pointer of half its radius.
    const DialGeometry small = DialGeometry::Compute({0, 0, 60, 60}, 0);
    EXPECT_EQ(small.PointerRadius(16, 7), small.r / 2);
}

TEST(RotationAngleCtrl, StoredValuesAreReduced)
{
    RotationAngleCtrl d;
    d.DirectRedraw(false);
    d.SetAngle(725);
    EXPECT_EQ(d.GetAngle(), 5);
    d.SetAngle(-725);
    EXPECT_EQ(d.GetAngle(), -5);
    d.SetOffset(370);
    EXPECT_EQ(d.GetOffset(), 10);
    d.SetClockFaceAngle(-370);
    EXPECT_EQ(d.GetClockFaceAngle(), -10);
    d.SetAngle(INT_MIN);
    EXPECT_EQ(d.GetAngle(), INT_MIN % 360);
    d.SetMarker(-30);
    EXPECT_EQ(d.GetMarker(), 30);
    d.SetMarker(360);
    EXPECT_EQ(d.GetMarker(), 0);
    d.SetMarker(INT_MIN);
    EXPECT_GE(d.GetMarker(), 0);
    EXPECT_LE(d.GetMarker(), 359);
    d.SetKnobBoundary3d(false);
    EXPECT_EQ(d.GetRimWidth(), 0);
}

TEST(RotationAngleCtrl, Defaults)
{
    RotationAngleCtrl d;
    EXPECT_EQ(d.GetMarker(), 45);
    EXPECT_EQ(d.GetRimWidth(), 4);
    EXPECT_TRUE(d.GetClockFaceDirection());
    EXPECT_EQ(d.GetColorIndicator(), RGB_COLOR::BLACK);
    EXPECT_EQ(d.GetBkColor(), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(d.GetColorKnob(), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(d.GetMarkerFont().GetResolution(), -1);
    EXPECT_TRUE(d.IsDirectRedraw());
}

TEST(RotationAngleCtrl, PointerDirectionOnScreen)
{
    Dial d;
    QImage img = Render(d, 200, 100);
    EXPECT_EQ(At(img, 100, 50), kInd); // hub
    EXPECT_EQ(At(img, 112, 50), kInd); // pointer at 3 o'clock, short of the labels
    EXPECT_EQ(At(img, 100, 80), kKnob);
    EXPECT_EQ(At(img, 1, 1), RGB_COLOR::LIGHTGRAY); // background

    d.SetAngle(90);
    img = Render(d, 200, 100);
    EXPECT_EQ(At(img, 100, 62), kInd); // 6 o'clock
    EXPECT_EQ(At(img, 112, 50), kKnob);

    d.SetClockFaceDirection(false);
    img = Render(d, 200, 100);
    EXPECT_EQ(At(img, 100, 38), kInd); // 12 o'clock
    EXPECT_EQ(At(img, 100, 80), kKnob);
}

TEST(RotationAngleCtrl, ClockFaceAngleMovesZero)
{
    Dial d;
    d.SetClockFaceAngle(-90);
    const QImage img = Render(d, 200, 200);
    EXPECT_EQ(At(img, 100, 60), kInd); // angle 0 at 12 o'clock
    EXPECT_EQ(At(img, 140, 100), kKnob);
}

TEST(RotationAngleCtrl, OffsetAddsToAngle)
{
    Dial d;
    d.SetAngle(45);
    d.SetOffset(45);
    const QImage img = Render(d, 200, 200);
    EXPECT_EQ(At(img, 100, 140), kInd);
}

TEST(RotationAngleCtrl, RimHalvesAndHubOutline)
{
    Dial d;
    d.SetColorKnob(RGB_COLOR::WHITE);
    QImage img = Render(d, 200, 100);
    const ColorRef hi = GetSysColor(COLOR_BTNHIGHLIGHT);
    const ColorRef sh = GetSysColor(COLOR_BTNSHADOW);
    // Visible rim 2 pixels wide: x 52..53 on the left (highlight), 146..147 on the right.
    EXPECT_EQ(At(img, 53, 45), hi);
    EXPECT_EQ(At(img, 100, 2), hi);
    EXPECT_EQ(At(img, 100, 97), sh);
    EXPECT_EQ(At(img, 146, 55), sh);
    EXPECT_EQ(At(img, 51, 30), RGB_COLOR::LIGHTGRAY);
    // Hub outlined by the 3-pixel tick pen.
    EXPECT_EQ(At(img, 96, 50), RGB_COLOR::BLACK);

    d.SetMarker(0);
    img = Render(d, 200, 100);
    EXPECT_NE(At(img, 96, 50), RGB_COLOR::BLACK); // no outline without ticks

    d.SetKnobBoundary3d(false);
    d.SetColorKnob(kKnob);
    img = Render(d, 200, 100);
    EXPECT_EQ(At(img, 100, 2), kKnob); // no rim: the knob reaches r = 50
}

TEST(RotationAngleCtrl, TicksAndLabelsDrawn)
{
    Dial d;
    d.SetColorKnob(RGB_COLOR::WHITE);
    const QImage img = Render(d, 300, 300);
    // The tick at 0 degrees, 3 o'clock, near the knob edge.
    const DialGeometry g = DialGeometry::Compute({0, 0, 300, 300}, 4);
    EXPECT_EQ(At(img, g.cx + g.ro, g.cy), RGB_COLOR::BLACK);
    // Labels: some dark text pixels near the label circle at 6 o'clock ("90").
    int dark = 0;
    for (int y = g.cy + g.r / 2; y < g.cy + g.ro - 2; ++y)
        for (int x = g.cx - 12; x <= g.cx + 12; ++x)
            dark += QColor(img.pixel(x, y)).lightness() < 100 ? 1 : 0;
    EXPECT_GT(dark, 5);
}

TEST(RotationAngleCtrl, TinyClientAreas)
{
    Dial d;
    for (QSize s : {QSize(0, 0), QSize(1, 1), QSize(1, 100), QSize(100, 1), QSize(4, 4),
                    QSize(5, 5), QSize(11, 11)})
    {
        const QImage img = Render(d, s.width(), s.height());
        EXPECT_FALSE(img.isNull());
    }
    d.SetAngle(INT_MAX);
    d.SetOffset(INT_MIN);
    d.SetClockFaceAngle(INT_MIN);
    EXPECT_FALSE(Render(d, 50, 50).isNull());
}

TEST(RotationAngleCtrl, DirectRedrawRepaintsOnlyWhenOn)
{
    Dial d;
    d.resize(100, 100);
    d.show();
    QCoreApplication::processEvents();
    d.paints = 0;
    d.SetAngle(10);
    EXPECT_EQ(d.paints, 1); // synchronous repaint
    d.DirectRedraw(false);
    d.SetAngle(20);
    d.SetMarker(30); // stores only
    EXPECT_EQ(d.paints, 1);
    d.DirectRedraw(true);
    EXPECT_EQ(d.paints, 2);
    d.DirectRedraw(true);
    EXPECT_EQ(d.paints, 2);
    d.SetClockFaceDirection(false); // never repaints
    EXPECT_EQ(d.paints, 2);
}

TEST(RotationAngleCtrl, GrabRendersThroughPaintEvent)
{
    Dial d;
    d.resize(200, 100);
    const QImage img = d.grab().toImage();
    if (const char* out = std::getenv("GLIMRA_DUMP"))
        img.save(QString::fromLocal8Bit(out) + "/dial.png");
    ASSERT_EQ(img.size(), QSize(200, 100));
    EXPECT_EQ(FromQColor(QColor(img.pixel(112, 50))), kInd);
}
