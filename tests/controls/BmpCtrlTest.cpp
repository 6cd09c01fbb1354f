#include "controls/BmpCtrl.h"
#include "controls/RgbColor.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "tests/controls/PixelTestSupport.h"
#include <gtest/gtest.h>

using namespace zef::Glimra;

using PixelTest::At;
using PixelTest::Render;

namespace
{

constexpr ColorRef kBk = RGB_COLOR::LIGHTBLUE;

class BmpCtrlFile : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString red; // 100 x 50 red bitmap

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        red = dir.filePath("red.bmp");
        QImage img(100, 50, QImage::Format_RGB32);
        img.fill(Qt::red);
        ASSERT_TRUE(img.save(red, "BMP"));
    }

    QString Write(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
};

} // namespace

TEST(BmpPlacement, CentredAndAspectKept)
{
    BmpPlacement p = BmpPlacement::Compute(2, 200, 100, 100, 50);
    EXPECT_EQ(p.x0, 50);
    EXPECT_EQ(p.y0, 25);
    EXPECT_TRUE(p.buffered);
    EXPECT_EQ(BmpPlacement::Compute(1, 200, 100, 100, 50).x0, 0);
    EXPECT_FALSE(BmpPlacement::Compute(2, 50, 20, 100, 50).buffered);
    EXPECT_EQ(BmpPlacement::Compute(2, 50, 20, 100, 50).x0, 0);

    p = BmpPlacement::Compute(20 + 256, 200, 200, 100, 50); // rb 0.5, rc 1.0
    EXPECT_EQ(p.h, 100);
    EXPECT_EQ(p.y0, 50);
    EXPECT_EQ(p.w, 200);
    EXPECT_EQ(p.x0, 0);
    EXPECT_EQ(p.mode, BLACKONWHITE);

    p = BmpPlacement::Compute(132 + 256, 400, 100, 100, 50); // rc 0.25 <= 0.5
    EXPECT_EQ(p.w, 200);
    EXPECT_EQ(p.x0, 100);
    EXPECT_EQ(p.h, 100);
    EXPECT_EQ(p.mode, HALFTONE);

    p = BmpPlacement::Compute(68, 300, 30, 100, 50);
    EXPECT_EQ(p.w, 300);
    EXPECT_EQ(p.h, 30);
    EXPECT_EQ(p.mode, COLORONCOLOR);
    EXPECT_EQ(BmpPlacement::Compute(36, 3, 3, 1, 1).mode, WHITEONBLACK);

    EXPECT_FALSE(BmpPlacement::Compute(2, 0, 100, 100, 50).draw);
    EXPECT_FALSE(BmpPlacement::Compute(20 + 256, 100, 0, 100, 50).draw);
    EXPECT_FALSE(BmpPlacement::Compute(2, 10, 10, 0, 50).draw);
}

TEST(BmpCtrl, StyleValidation)
{
    BmpCtrl c;
    EXPECT_EQ(c.GetStyle(), 2);
    EXPECT_FALSE(c.SetStyle(4));
    EXPECT_FALSE(c.SetStyle(257));
    EXPECT_FALSE(c.SetStyle(0));
    EXPECT_FALSE(c.SetStyle(20 + 512));
    EXPECT_EQ(c.GetStyle(), 2);
    for (int s : {1, 2, 20, 36, 68, 132, 276, 292, 324, 388})
        EXPECT_TRUE(c.SetStyle(s)) << s;
    c.SetCenter(false);
    EXPECT_EQ(c.GetStyle(), 1);
    c.SetCenter(true);
    EXPECT_EQ(c.GetStyle(), 2);
}

TEST_F(BmpCtrlFile, CentredBitmapLandsAtOffset)
{
    BmpCtrl c;
    c.SetBkColor(kBk);
    ASSERT_TRUE(c.Load(red));
    const QImage img = Render(c, 200, 100);
    EXPECT_EQ(At(img, 50, 25), RGB_COLOR::LIGHTRED);
    EXPECT_EQ(At(img, 149, 74), RGB_COLOR::LIGHTRED);
    EXPECT_EQ(At(img, 49, 25), kBk);
    EXPECT_EQ(At(img, 150, 75), kBk);
}

TEST_F(BmpCtrlFile, StretchedWithAspectKept)
{
    BmpCtrl c;
    c.SetBkColor(kBk);
    ASSERT_TRUE(c.Load(red));
    ASSERT_TRUE(c.SetStyle(20 + 256));
    const QImage img = Render(c, 200, 200);
    EXPECT_EQ(At(img, 0, 50), RGB_COLOR::LIGHTRED);
    EXPECT_EQ(At(img, 199, 149), RGB_COLOR::LIGHTRED);
    // The bars above and below are not painted.
    EXPECT_EQ(At(img, 100, 49), RGB_COLOR::LIGHTMAGENTA);
    EXPECT_EQ(At(img, 100, 150), RGB_COLOR::LIGHTMAGENTA);
}

TEST_F(BmpCtrlFile, BadFilesLeaveNoBitmap)
{
    BmpCtrl c;
    c.SetBkColor(kBk);
    ASSERT_TRUE(c.Load(red));
    EXPECT_FALSE(c.Load(dir.filePath("missing.bmp")));
    EXPECT_FALSE(c.HasBitmap());
    QFile f(red);
    f.open(QIODevice::ReadOnly);
    const QByteArray whole = f.readAll();
    EXPECT_FALSE(c.Load(Write("truncated.bmp", whole.left(40))));
    EXPECT_FALSE(c.Load(Write("header-only.bmp", whole.left(14))));
    EXPECT_FALSE(c.Load(Write("text.bmp", "this is not a bitmap at all")));
    EXPECT_FALSE(c.Load(Write("empty.bmp", QByteArray())));
    QImage png(4, 4, QImage::Format_RGB32);
    png.fill(Qt::red);
    png.save(dir.filePath("real.png"), "PNG");
    EXPECT_FALSE(c.Load(dir.filePath("real.png"))); // not a device-independent bitmap
    EXPECT_FALSE(c.Load(dir.path()));               // a directory
    // Without a bitmap the control shows its background colour.
    const QImage img = Render(c, 20, 10);
    EXPECT_EQ(At(img, 10, 5), kBk);
}

TEST_F(BmpCtrlFile, TinyClientAreasEveryStyle)
{
    BmpCtrl c;
    ASSERT_TRUE(c.Load(red));
    for (int style : {1, 2, 20, 36, 68, 132, 276, 292, 324, 388})
    {
        c.SetStyle(style);
        for (QSize s : {QSize(0, 0), QSize(1, 1), QSize(1, 300), QSize(300, 1)})
            EXPECT_FALSE(Render(c, s.width(), s.height()).isNull());
    }
    c.Clear();
    EXPECT_FALSE(c.HasBitmap());
}
