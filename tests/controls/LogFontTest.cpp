#include "controls/LogFont.h"
#include "controls/DrawContext.h"
#include "controls/RgbColor.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace zef::Glimra;

TEST(RgbColor, SixteenConstantsInOrder)
{
    const ColorRef all[] = {
        RGB_COLOR::BLACK,     RGB_COLOR::DARKBLUE,     RGB_COLOR::DARKGREEN,  RGB_COLOR::DARKCYAN,
        RGB_COLOR::DARKRED,   RGB_COLOR::DARKMAGENTA,  RGB_COLOR::BROWN,      RGB_COLOR::DARKGRAY,
        RGB_COLOR::LIGHTGRAY, RGB_COLOR::LIGHTBLUE,    RGB_COLOR::LIGHTGREEN, RGB_COLOR::LIGHTCYAN,
        RGB_COLOR::LIGHTRED,  RGB_COLOR::LIGHTMAGENTA, RGB_COLOR::YELLOW,     RGB_COLOR::WHITE};
    const ColorRef expected[] = {0x00000000, 0x00800000, 0x00003400, 0x00343400,
                                 0x00000034, 0x00800080, 0x00008080, 0x00808080,
                                 0x00C0C0C0, 0x00FF0000, 0x0000FF00, 0x00FFFF00,
                                 0x000000FF, 0x00FF00FF, 0x0000FFFF, 0x00FFFFFF};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(all[i], expected[i]) << i;
    EXPECT_EQ(RedOf(RGB_COLOR::DARKRED), 52);
    EXPECT_EQ(GreenOf(RGB_COLOR::DARKRED), 0);
    EXPECT_EQ(BlueOf(RGB_COLOR::DARKRED), 0);
    EXPECT_EQ(ToQColor(RGB_COLOR::LIGHTRED), QColor(255, 0, 0));
}

TEST(LogFont, MulDivRoundsToNearestAwayFromZero)
{
    EXPECT_EQ(MulDiv(10, 96, 72), 13);
    EXPECT_EQ(MulDiv(-13, 72, 96), -10); // -9.75
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(5, 7, 0), 0);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, 1), INT_MAX); // clamped, no overflow
}

TEST(LogFont, ResolutionFromConstruction)
{
    EXPECT_EQ(LogFont().GetResolution(), -1);
    EXPECT_EQ(LogFont(120).GetResolution(), 120);
    EXPECT_EQ(LogFont(static_cast<const DrawContext*>(nullptr)).GetResolution(), 0);
    EXPECT_EQ(LogFont(static_cast<const QWidget*>(nullptr)).GetResolution(), 0);
    QImage img(4, 4, QImage::Format_RGB32);
    DrawContext dc(&img);
    EXPECT_EQ(LogFont(&dc).GetResolution(), img.logicalDpiY());
    QWidget w;
    EXPECT_EQ(LogFont(&w).GetResolution(), w.logicalDpiY());
    LOGFONTA rec = LogFont(96).GetRecord();
    EXPECT_EQ(LogFont(rec).GetResolution(), -1);
    // The default record is the GUI stock font.
    EXPECT_TRUE(LogFont() == LogFont::StockRecord(DefaultGuiFont));
}

TEST(LogFont, HeightRoundsBothWays)
{
    LogFont f(96);
    EXPECT_TRUE(f.SetHeight(10));
    EXPECT_EQ(f.GetRecord().lfHeight, -13);
    EXPECT_EQ(f.GetHeight(), 10);
    LogFont none(0);
    EXPECT_TRUE(none.SetHeight(10));
    EXPECT_EQ(none.GetRecord().lfHeight, 0);
    EXPECT_EQ(none.GetHeight(), 0); // no division by zero
    LogFont screen;
    EXPECT_TRUE(screen.SetHeight(12));
    EXPECT_LT(screen.GetRecord().lfHeight, 0);
    EXPECT_EQ(screen.GetHeight(), screen.GetRecord().lfHeight); // unchanged without a device
}

TEST(LogFont, NameUpToThirtyCharacters)
{
    LogFont f;
    EXPECT_TRUE(f.SetName("Courier New", 0));
    EXPECT_STREQ(f.GetRecord().lfFaceName, "Courier New");
    const QString thirty(30, u'x');
    EXPECT_TRUE(f.SetName(thirty, 2));
    EXPECT_EQ(f.GetRecord().lfCharSet, 2);
    EXPECT_EQ(std::strlen(f.GetRecord().lfFaceName), 30u);
    EXPECT_FALSE(f.SetName(QString(31, u'y'), 7));
    EXPECT_FALSE(f.SetName(QString(), 7));
    EXPECT_EQ(f.GetRecord().lfCharSet, 2);
    EXPECT_EQ(QString::fromLatin1(f.GetRecord().lfFaceName), thirty);
}

TEST(LogFont, AngleInTenthsOfADegree)
{
    LogFont f;
    f.SetAngle(-45);
    EXPECT_EQ(f.GetRecord().lfEscapement, -450);
    EXPECT_EQ(f.GetRecord().lfOrientation, -450);
    EXPECT_EQ(f.GetAngle(), -45);
    LOGFONTA rec = f;
    rec.lfEscapement = 459;
    f = rec;
    EXPECT_EQ(f.GetAngle(), 45);
}

TEST(LogFont, StyleSetters)
{
    LogFont f;
    f.SetBold(true);
    EXPECT_EQ(f.GetRecord().lfWeight, 700);
    f.SetBold(false);
    EXPECT_EQ(f.GetRecord().lfWeight, 400);
    f.SetItalic(true);
    f.SetUnderline(true);
    EXPECT_EQ(f.GetRecord().lfItalic, 1);
    EXPECT_EQ(f.GetRecord().lfUnderline, 1);
}

TEST(LogFont, DefaultOutsideTableIsSystemFont)
{
    LogFont a(72);
    LogFont b(96);
    a.SetDefault(static_cast<DefaultFont>(99));
    b.SetDefault(SystemFont);
    EXPECT_TRUE(a == b.GetRecord());
    EXPECT_EQ(a.GetResolution(), 72);
    EXPECT_FALSE(a == b); // same record, different resolution
    b.SetDefault(OemFixedFont);
    EXPECT_FALSE(a == b.GetRecord());
}

TEST(LogFont, EqualityAndAssignment)
{
    LogFont a(96);
    LogFont b(96);
    EXPECT_TRUE(a == b);
    b.SetBold(true);
    EXPECT_FALSE(a == b);
    b = a;
    EXPECT_TRUE(a == b);
    LogFont c(120);
    c = a.GetRecord(); // record only
    EXPECT_EQ(c.GetResolution(), 120);
    EXPECT_TRUE(c == a.GetRecord());
    LOGFONTA rec = a.GetRecord();
    rec.lfFaceName[0] ^= 0x20; // case differs
    EXPECT_FALSE(a == rec);
}

TEST(LogFont, CreateMakesMatchingFont)
{
    LogFont f(96);
    f.SetHeight(10);
    f.SetBold(true);
    f.SetItalic(true);
    QFont font;
    ASSERT_TRUE(f.Create(font));
    EXPECT_EQ(font.pixelSize(), 13);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.italic());
    LOGFONTA cell = f.GetRecord();
    cell.lfHeight = 20; // cell height
    ASSERT_TRUE(LogFont(cell).Create(font));
    EXPECT_GT(font.pixelSize(), 0);
    EXPECT_LE(font.pixelSize(), 20);
}
