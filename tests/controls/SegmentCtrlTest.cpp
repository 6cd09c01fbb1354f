#include "controls/SegmentCtrl.h"
#include "controls/RgbColor.h"

#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "tests/controls/PixelTestSupport.h"
#include <cstdlib>

using namespace zef::Glimra;

using PixelTest::At;
using PixelTest::Render;

namespace
{

constexpr ColorRef kOff = RGB_COLOR::DARKGREEN;
constexpr ColorRef kOn = RGB_COLOR::LIGHTGREEN;

// Device pixel of a design point in cell i of the laid-out control.
QPoint Where(const SegmentCtrl& seg, int w, int h, std::size_t cell, QPoint design)
{
    std::vector<int> widths;
    for (const auto& c : seg.GetCells())
        widths.push_back(c->GetWidth());
    const auto boxes = LayoutCells(widths, w, h, seg.GetStyle());
    return MapDesignPoint(design, boxes.at(cell), widths.at(cell));
}

struct Kind
{
    int width;
    int count;
    unsigned mask;
};

std::vector<Kind> Kinds(const SegmentCtrl& seg)
{
    std::vector<Kind> out;
    for (const auto& c : seg.GetCells())
        out.push_back({c->GetWidth(), c->GetSegmentCount(), c->GetMask()});
    return out;
}

} // namespace

TEST(SegmentCells, CharacterTable)
{
    const auto mask = [](QChar c, std::uint32_t style = 0)
    {
        auto cell = MakeDigiChar(c, style);
        return cell ? static_cast<int>(cell->GetMask()) : -1;
    };
    EXPECT_EQ(mask(u'8'), 0x7F);
    EXPECT_EQ(mask(u'-'), 0x08);
    EXPECT_EQ(mask(u'-', SegmentCtrl::STYLE_14_SEGMENT), 0x00C0);
    EXPECT_EQ(mask(u' '), 0x00);
    EXPECT_EQ(mask(u'0', SegmentCtrl::STYLE_14_SEGMENT), 0x3F00);
    EXPECT_EQ(mask(u'A'), 0x3BC0);
    EXPECT_EQ(mask(u'Z'), 0x240C);
    EXPECT_EQ(mask(u'*'), 0x00FF);
    EXPECT_EQ(mask(u'+'), 0x00E1);
    EXPECT_EQ(mask(u'.'), 0x04);
    EXPECT_EQ(mask(u':'), 0x03);
    EXPECT_EQ(mask(u','), -1);
    EXPECT_EQ(mask(u'/'), -1);
    EXPECT_EQ(mask(u'a'), -1); // upper-casing happens before
    EXPECT_EQ(MakeDigiChar(u'7', 0)->GetSegmentCount(), 7);
    EXPECT_EQ(MakeDigiChar(u'7', SegmentCtrl::STYLE_14_SEGMENT)->GetSegmentCount(), 14);
    EXPECT_EQ(MakeDigiChar(u'Q', 0)->GetOutlines().size(), 14u);
    EXPECT_EQ(MakeDigiChar(u':', 0)->GetWidth(), 18);
}

TEST(SegmentCells, OutlinesAndMirroring)
{
    const auto seven = MakeDigiChar(u'8', 0);
    const auto& o = seven->GetOutlines();
    ASSERT_EQ(o.size(), 7u);
    EXPECT_EQ(o[0].points.front(), QPoint(5, 4));
    EXPECT_EQ(o[0].types.front(), PT_MOVETO);
    EXPECT_EQ(o[0].types.back(), PT_LINETO);
    EXPECT_EQ(o[2].points[1], QPoint(44, 40)); // upper right = upper left mirrored: 48 - 4
    EXPECT_EQ(o[4].points[1], QPoint(4, 42));  // lower left: 82 - 40
    EXPECT_EQ(o[6].points[0], QPoint(5, 78));  // bottom: 82 - 4

    const auto rounded = MakeDigiChar(u'8', SegmentCtrl::STYLE_ROUNDED);
    const auto& r = rounded->GetOutlines();
    EXPECT_EQ(r[5].points[0], QPoint(37, 46)); // bit 2 mirrored vertically only
    EXPECT_EQ(r[0].types[1], PT_BEZIERTO);

    const auto fourteen = MakeDigiChar(u'W', 0);
    const auto& f = fourteen->GetOutlines();
    EXPECT_EQ(f[13].points[0], QPoint(6, 4));   // E: top
    EXPECT_EQ(f[10].points[0], QPoint(6, 78));  // bottom = E mirrored vertically
    EXPECT_EQ(f[11].points[0], QPoint(44, 75)); // D mirrored both ways
}

TEST(SegmentCells, CopiesAreDeep)
{
    auto a = MakeDigiChar(u'5', SegmentCtrl::STYLE_ROUNDED);
    auto b = a->Clone();
    a->SetSegments(0, 0);
    EXPECT_EQ(b->GetMask(), 0x6B);
    EXPECT_EQ(b->GetOutlines()[0].types[1], PT_BEZIERTO);
    EXPECT_EQ(a->GetOutlines()[0].types[1], PT_LINETO);
}

TEST(SegmentLayout, TwelvePointFiveKeepsAspect)
{
    SegmentCtrl seg;
    seg.SetText("12.5");
    Render(seg, 330, 100);
    const auto k = Kinds(seg);
    ASSERT_EQ(k.size(), 4u);
    EXPECT_EQ(k[0].width + k[1].width + k[2].width + k[3].width, 165);
    EXPECT_EQ(k[0].count, 7);
    EXPECT_EQ(k[0].mask, 0x24u);
    EXPECT_EQ(k[1].mask, 0x5Du);
    EXPECT_EQ(k[2].count, 3);
    EXPECT_EQ(k[2].mask, 0x04u);
    EXPECT_EQ(k[3].mask, 0x6Bu);

    const auto boxes = LayoutCells({49, 49, 18, 49}, 330, 100, SegmentCtrl::STYLE_KEEP_ASPECT);
    const double s = 100.0 / 83;
    EXPECT_DOUBLE_EQ(boxes[0].left, (330 - s * 165) / 2);
    EXPECT_NEAR(boxes[0].top, 0, 1e-9);
    EXPECT_DOUBLE_EQ(boxes[3].bottom, 100);
    EXPECT_NEAR(boxes[3].right, 330 - (330 - s * 165) / 2, 1e-9);
}

TEST(SegmentLayout, WithoutKeepAspectStretches)
{
    const auto boxes = LayoutCells({49, 49}, 980, 83, 0);
    EXPECT_DOUBLE_EQ(boxes[0].left, 0);
    EXPECT_DOUBLE_EQ(boxes[0].right, 490);
    EXPECT_DOUBLE_EQ(boxes[1].right, 980);
    EXPECT_DOUBLE_EQ(boxes[1].bottom, 83);
    EXPECT_TRUE(LayoutCells({}, 100, 100, 4).empty());
    EXPECT_TRUE(LayoutCells({49}, 0, 100, 4).empty());
    EXPECT_TRUE(LayoutCells({49}, 100, 0, 0).empty());
}

TEST(SegmentLayout, PointMappingRoundsHalfUp)
{
    const CellBox box{10.0, 5.0, 10.0 + 49 * 1.5, 5.0 + 83 * 2.0};
    EXPECT_EQ(MapDesignPoint({1, 1}, box, 49), QPoint(12, 7)); // 11.5 -> 12, 7.0 -> 7
    EXPECT_EQ(MapDesignPoint({0, 0}, box, 49), QPoint(10, 5));
}

TEST(SegmentLayout, OutlineColourLiesBetweenFillAndBackground)
{
    EXPECT_EQ(BlendOutline(0x0000FF00, 0), 0x0000BF00u); // 191.25 -> 191
    EXPECT_EQ(BlendOutline(0x00003400, 0), 0x00002700u); // 39
    EXPECT_EQ(BlendOutline(0x00000000, 0x00FFFFFF), 0x003F3F3Fu);
}

TEST(SegmentCtrl, LitAndUnlitColoursOfTwelvePointFive)
{
    SegmentCtrl seg;
    seg.SetText("12.5");
    const QImage img = Render(seg, 330, 100);
    // "1": upper right lit, top unlit.
    EXPECT_EQ(At(img, Where(seg, 330, 100, 0, {40, 24})), kOn);
    EXPECT_EQ(At(img, Where(seg, 330, 100, 0, {24, 7})), kOff);
    EXPECT_EQ(At(img, Where(seg, 330, 100, 0, {24, 41})), kOff); // middle
    // "2": top and middle lit, upper left unlit.
    EXPECT_EQ(At(img, Where(seg, 330, 100, 1, {24, 7})), kOn);
    EXPECT_EQ(At(img, Where(seg, 330, 100, 1, {24, 41})), kOn);
    EXPECT_EQ(At(img, Where(seg, 330, 100, 1, {7, 24})), kOff);
    // ".": point lit, colon dots unlit.
    EXPECT_EQ(At(img, Where(seg, 330, 100, 2, {8, 72})), kOn);
    EXPECT_EQ(At(img, Where(seg, 330, 100, 2, {8, 27})), kOff);
    // Background around the row.
    EXPECT_EQ(At(img, {2, 50}), RGB_COLOR::BLACK);
    EXPECT_EQ(At(img, {327, 50}), RGB_COLOR::BLACK);
}

TEST(SegmentCtrl, LowerCaseShownAsFourteenSegmentUpperCase)
{
    SegmentCtrl seg;
    seg.SetText("abc");
    EXPECT_EQ(seg.GetText(), "abc");
    Render(seg, 200, 100);
    EXPECT_EQ(seg.GetText(), "ABC");
    const auto k = Kinds(seg);
    ASSERT_EQ(k.size(), 3u);
    EXPECT_EQ(k[0].count, 14);
    EXPECT_EQ(k[0].mask, 0x3BC0u);
    EXPECT_EQ(k[1].mask, 0x3CA1u);
    EXPECT_EQ(k[2].mask, 0x2700u);
}

TEST(SegmentCtrl, PunctuationCells)
{
    SegmentCtrl seg;
    seg.SetText("1,2/3:4");
    const QImage img = Render(seg, 400, 100);
    const auto k = Kinds(seg);
    ASSERT_EQ(k.size(), 5u);
    EXPECT_EQ(k[3].width, 18);
    EXPECT_EQ(k[3].mask, 0x03u);
    EXPECT_EQ(At(img, Where(seg, 400, 100, 3, {8, 27})), kOn);  // colon dot
    EXPECT_EQ(At(img, Where(seg, 400, 100, 3, {8, 72})), kOff); // decimal point
}

TEST(SegmentCtrl, MinusLightsMiddleOnly)
{
    SegmentCtrl seg;
    seg.SetText("-");
    QImage img = Render(seg, 49, 83);
    EXPECT_EQ(At(img, Where(seg, 49, 83, 0, {24, 41})), kOn);
    EXPECT_EQ(At(img, Where(seg, 49, 83, 0, {24, 7})), kOff);
    ASSERT_TRUE(seg.ModifyDigiStyle(0, SegmentCtrl::STYLE_14_SEGMENT));
    img = Render(seg, 98, 166);
    EXPECT_EQ(Kinds(seg)[0].mask, 0x00C0u);
    EXPECT_EQ(At(img, Where(seg, 98, 166, 0, {14, 41})), kOn);  // left half
    EXPECT_EQ(At(img, Where(seg, 98, 166, 0, {34, 41})), kOn);  // right half
    EXPECT_EQ(At(img, Where(seg, 98, 166, 0, {24, 25})), kOff); // upper centre bar
}

TEST(SegmentCtrl, ModifyDigiStyle)
{
    SegmentCtrl seg;
    EXPECT_EQ(seg.GetStyle(), SegmentCtrl::STYLE_KEEP_ASPECT);
    EXPECT_FALSE(seg.ModifyDigiStyle(2, 2));
    EXPECT_EQ(seg.GetStyle(), SegmentCtrl::STYLE_KEEP_ASPECT);
    seg.SetText("42");
    Render(seg, 100, 83);
    EXPECT_EQ(Kinds(seg)[0].count, 7);
    EXPECT_TRUE(seg.ModifyDigiStyle(0, 2));
    EXPECT_TRUE(seg.IsRebuildNeeded());
    Render(seg, 100, 83);
    EXPECT_EQ(Kinds(seg)[0].count, 14);
    EXPECT_EQ(Kinds(seg)[0].mask, 0x19C0u);
    EXPECT_TRUE(seg.ModifyDigiStyle(SegmentCtrl::STYLE_KEEP_ASPECT, SegmentCtrl::STYLE_ROUNDED));
    EXPECT_EQ(seg.GetStyle(), SegmentCtrl::STYLE_ROUNDED | SegmentCtrl::STYLE_14_SEGMENT);
}

TEST(SegmentCtrl, SameTextDoesNotRebuild)
{
    SegmentCtrl seg;
    seg.SetText("7");
    Render(seg, 50, 83);
    EXPECT_FALSE(seg.IsRebuildNeeded());
    seg.SetText("7");
    EXPECT_FALSE(seg.IsRebuildNeeded());
    seg.SetColor(kOff, kOn); // unchanged colours
    seg.SetText("8");
    EXPECT_TRUE(seg.IsRebuildNeeded());
}

TEST(SegmentCtrl, ColoursAndBackground)
{
    SegmentCtrl seg;
    seg.SetText("8");
    seg.SetColor(RGB_COLOR::DARKRED, RGB_COLOR::LIGHTRED);
    seg.SetBackColor(RGB_COLOR::WHITE);
    const QImage img = Render(seg, 49, 83);
    EXPECT_EQ(At(img, Where(seg, 49, 83, 0, {24, 41})), RGB_COLOR::LIGHTRED);
    EXPECT_EQ(At(img, {0, 0}), RGB_COLOR::WHITE);
    // Stroke between fill and background: 0.75 * 255 + 0.25 * 255 = 255 red, 63 green/blue.
    bool outline = false;
    for (int y = 0; y < img.height() && !outline; ++y)
        for (int x = 0; x < img.width() && !outline; ++x)
            outline = At(img, {x, y}) == BlendOutline(RGB_COLOR::LIGHTRED, RGB_COLOR::WHITE);
    EXPECT_TRUE(outline);
}

TEST(SegmentCtrl, EmptyTextPaintsOnlyBackground)
{
    SegmentCtrl seg;
    seg.SetBackColor(RGB_COLOR::DARKBLUE);
    const QImage img = Render(seg, 60, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(At(img, {x, y}), RGB_COLOR::DARKBLUE);
}

TEST(SegmentCtrl, RoundedStyleDrawsCurves)
{
    SegmentCtrl seg;
    seg.ModifyDigiStyle(0, SegmentCtrl::STYLE_ROUNDED);
    seg.SetText("8W");
    const QImage img = Render(seg, 400, 340);
    EXPECT_EQ(At(img, Where(seg, 400, 340, 0, {24, 8})), kOn);
    EXPECT_EQ(At(img, Where(seg, 400, 340, 0, {7, 24})), kOn);
    EXPECT_EQ(At(img, Where(seg, 400, 340, 1, {32, 7})), kOff); // "W" has no top
    EXPECT_EQ(At(img, Where(seg, 400, 340, 1, {7, 24})), kOn);
    // A curve run produces one Bezier element ending on the point after the run.
    const auto& paths =
        seg.GetCells()[0]->DevicePaths(LayoutCells({49, 49}, 400, 340, seg.GetStyle())[0]);
    ASSERT_GE(paths[0].size(), 2u);
    EXPECT_EQ(paths[0][1].type, PT_BEZIERTO);
}

TEST(BezierFit, ReducesErrorAndPassesNearCurvePoints)
{
    const QPointF p0(0, 0);
    const QPointF p3(30, 0);
    // Points of the curve with control points (0, 20) and (30, 20).
    std::vector<QPointF> q;
    for (double u : {0.25, 0.5, 0.75})
    {
        const double v = 1 - u;
        q.push_back(v * v * v * p0 + 3 * v * v * u * QPointF(0, 20) +
                    3 * v * u * u * QPointF(30, 20) + u * u * u * p3);
    }
    const QPointF s1 = 2 * q.front() - p0;
    const QPointF s2 = 2 * q.back() - p3;
    const double start = BezierError(p0, s1, s2, p3, q);
    const BezierFit fit = FitBezier(p0, q, p3);
    const double end = BezierError(p0, fit.c1, fit.c2, p3, q);
    EXPECT_LE(end, start);
    EXPECT_LT(end, 0.5);
    // Degenerate input terminates.
    const BezierFit same = FitBezier(p0, {p0, p0}, p0);
    EXPECT_EQ(same.c1, p0);
    const BezierFit none = FitBezier(p0, {}, p3);
    EXPECT_EQ(none.c2, p3);
}

TEST(SegmentCtrl, AnyByteStringIsSafe)
{
    SegmentCtrl seg;
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    seg.SetText(QString::fromLatin1(all));
    Render(seg, 300, 50);
    // Digits, space, "-", letters (lower case too), "*", "+", "." and ":".
    EXPECT_EQ(seg.GetCells().size(), 10u + 1 + 1 + 26 + 26 + 2 + 2);

    QByteArray noise(10000, '\0');
    auto* rng = QRandomGenerator::global();
    for (auto& c : noise)
        c = static_cast<char>(rng->bounded(256));
    seg.SetText(QString::fromLatin1(noise));
    Render(seg, 800, 60);
    seg.ModifyDigiStyle(0, SegmentCtrl::STYLE_ROUNDED | SegmentCtrl::STYLE_14_SEGMENT);
    Render(seg, 800, 60);
    seg.SetText(QString(10000, u'8'));
    Render(seg, 800, 60);
    EXPECT_EQ(seg.GetCells().size(), 10000u);
    seg.SetText(QString());
    Render(seg, 10, 10);
    EXPECT_TRUE(seg.GetCells().empty());
    seg.SetText(static_cast<const char*>(nullptr));
    EXPECT_TRUE(seg.GetText().isEmpty());
    seg.SetText("\xE9\xDF"
                "1"); // Latin-1 letters give no cell and never expand
    Render(seg, 100, 50);
    EXPECT_EQ(seg.GetCells().size(), 1u);
}

TEST(SegmentCtrl, TinyClientAreas)
{
    SegmentCtrl seg;
    seg.SetText("12:34.5-ABC");
    for (std::uint32_t style : {0u, 1u, 2u, 3u, 4u, 5u, 7u})
    {
        seg.ModifyDigiStyle(7, style);
        for (QSize s : {QSize(0, 0), QSize(1, 1), QSize(1, 200), QSize(200, 1), QSize(3, 3)})
            EXPECT_FALSE(Render(seg, s.width(), s.height()).isNull());
    }
}

TEST(SegmentCtrl, GrabRendersThroughPaintEvent)
{
    SegmentCtrl seg;
    seg.SetText("8");
    seg.resize(49, 83);
    const QImage img = seg.grab().toImage();
    ASSERT_EQ(img.size(), QSize(49, 83));
    EXPECT_EQ(FromQColor(QColor(img.pixel(24, 41))), kOn);
    if (const char* out = std::getenv("GLIMRA_DUMP"))
    {
        SegmentCtrl big;
        big.ModifyDigiStyle(0, SegmentCtrl::STYLE_ROUNDED);
        big.SetText("-12.5:AB*");
        big.resize(480, 90);
        big.grab().save(QString::fromLocal8Bit(out) + "/segment.png");
        SegmentCtrl one;
        one.ModifyDigiStyle(0, SegmentCtrl::STYLE_ROUNDED);
        one.SetText("8W");
        one.resize(400, 340);
        one.grab().save(QString::fromLocal8Bit(out) + "/rounded.png");
    }
}
