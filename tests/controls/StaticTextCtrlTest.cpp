#include "controls/StaticTextCtrl.h"
#include "controls/RgbColor.h"

#include <QCoreApplication>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

#include "tests/controls/PixelTestSupport.h"
#include "tests/support/WindowInput.h"
#include <cstdlib>

using namespace zef::Glimra;

using PixelTest::At;

namespace
{

// Records links instead of starting a browser or mail program, and counts paints.
class Text : public StaticTextCtrl
{
public:
    using StaticTextCtrl::TextFormat;
    std::vector<QUrl> opened;
    int paints = 0;

    explicit Text(const QString& text = QString()) : StaticTextCtrl(text) {}

    QImage Render() { return PixelTest::RenderWidget(*this); }

    void Click()
    {
        ASSERT_TRUE(WindowInput::Show(this));
        WindowInput::Click(this);
    }

    void ShowExposed()
    {
        show();
        QCoreApplication::processEvents();
        paints = 0;
    }

protected:
    void OpenLink(const QUrl& url) override { opened.push_back(url); }
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        StaticTextCtrl::paintEvent(e);
    }
};

int Count(const QImage& img, ColorRef c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += At(img, x, y) == c ? 1 : 0;
    return n;
}

// Pixels close to a colour: text is antialiased, so its strokes are rarely exact.
bool Near(const QImage& img, int x, int y, ColorRef c)
{
    const QColor q(img.pixel(x, y));
    return std::abs(q.red() - RedOf(c)) < 60 && std::abs(q.green() - GreenOf(c)) < 60 &&
           std::abs(q.blue() - BlueOf(c)) < 60;
}

int CountNear(const QImage& img, ColorRef c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += Near(img, x, y, c) ? 1 : 0;
    return n;
}

} // namespace

TEST(FillGradient, BandWidthsFollowTheWidth)
{
    auto bands = GradientBands(0, 50, 0, RGB_COLOR::WHITE, 100);
    ASSERT_EQ(bands.size(), 50u);
    for (const GradientBand& b : bands)
        EXPECT_EQ(b.right - b.left, 1);

    bands = GradientBands(10, 260, 0, RGB_COLOR::WHITE, 100);
    ASSERT_EQ(bands.size(), 100u);
    for (std::size_t i = 0; i + 1 < bands.size(); ++i)
    {
        EXPECT_EQ(bands[i].left, 10 + 2 * static_cast<int>(i));
        EXPECT_EQ(bands[i].right - bands[i].left, 2);
    }
    EXPECT_EQ(bands.back().left, 208);
    EXPECT_EQ(bands.back().right, 260); // the last band runs to the edge: 52 pixels

    EXPECT_TRUE(GradientBands(0, 0, 0, 0, 100).empty());
    EXPECT_TRUE(GradientBands(0, 50, 0, 0, 0).empty());
    EXPECT_TRUE(GradientBands(50, 0, 0, 0, 100).empty());
}

TEST(FillGradient, ChannelsStepInTruncatedSixteenthsOfAPixelValue)
{
    const auto bands = GradientBands(0, 250, RGB_COLOR::BLACK, RGB_COLOR::LIGHTBLUE, 100);
    ASSERT_EQ(bands.size(), 100u);
    const int expected[] = {0, 2, 5, 7, 10};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(bands[static_cast<std::size_t>(i)].color, MakeRgb(0, 0, expected[i]));
    EXPECT_EQ(bands.back().color, MakeRgb(0, 0, 252));

    // Falling channels stop short of the target too, never below it.
    const auto down = GradientBands(0, 100, RGB_COLOR::WHITE, RGB_COLOR::BLACK, 100);
    EXPECT_EQ(down.front().color, RGB_COLOR::WHITE);
    EXPECT_EQ(RedOf(down.back().color), (255 * 256 - 99 * 652) / 256);
}

TEST(StaticTextCtrl, GradientBackgroundOnScreen)
{
    Text text;
    text.resize(250, 20);
    text.SetBkColor(RGB_COLOR::BLACK, RGB_COLOR::LIGHTBLUE);
    EXPECT_TRUE(text.IsGradient());
    const QImage img = text.Render();
    const int expected[] = {0, 0, 2, 2, 5, 5, 7, 7, 10, 10};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(At(img, x, 10), MakeRgb(0, 0, expected[x])) << "x = " << x;
    EXPECT_EQ(At(img, 197, 10), MakeRgb(0, 0, 249));
    EXPECT_EQ(At(img, 198, 10), MakeRgb(0, 0, 252));
    EXPECT_EQ(At(img, 249, 19), MakeRgb(0, 0, 252));
}

TEST(StaticTextCtrl, SolidBackgroundRedrawsOnlyOnChange)
{
    Text text;
    text.resize(40, 20);
    text.ShowExposed();
    text.SetBkColor(RGB_COLOR::YELLOW);
    EXPECT_EQ(text.paints, 1);
    text.SetBkColor(RGB_COLOR::YELLOW);
    EXPECT_EQ(text.paints, 1);
    text.SetBkColor(RGB_COLOR::YELLOW, RGB_COLOR::WHITE);
    EXPECT_EQ(text.paints, 2);
    text.SetBkColor(RGB_COLOR::YELLOW, RGB_COLOR::WHITE);
    EXPECT_EQ(text.paints, 2);
    text.SetBkColor(RGB_COLOR::YELLOW); // back to solid
    EXPECT_FALSE(text.IsGradient());
    EXPECT_EQ(text.paints, 3);
    text.SetTextColor(text.GetTextColor());
    text.SetText3D(text.GetText3D());
    text.SetText3DColor(text.GetText3DColor());
    EXPECT_EQ(text.paints, 3);
    EXPECT_EQ(Count(text.Render(), RGB_COLOR::YELLOW), 40 * 20);
}

TEST(StaticTextCtrl, TextAndItsThreeDimensionalCopy)
{
    Text text(QStringLiteral("HHHH"));
    text.resize(80, 30);
    text.SetBkColor(RGB_COLOR::WHITE);
    text.SetTextColor(RGB_COLOR::LIGHTRED);
    text.SetText3DColor(RGB_COLOR::LIGHTBLUE);
    QImage img = text.Render();
    EXPECT_GT(CountNear(img, RGB_COLOR::LIGHTRED), 10);
    EXPECT_EQ(CountNear(img, RGB_COLOR::LIGHTBLUE), 0);

    text.SetText3D(StaticTextCtrl::TEXT3D_SUNKEN);
    img = text.Render();
    EXPECT_GT(CountNear(img, RGB_COLOR::LIGHTBLUE), 10);
    // The copy lies one pixel down and right: each of its pixels' upper-left neighbour
    // belongs to the text (or was covered by the copy).
    int shifted = 0, blue = 0;
    for (int y = 1; y < img.height(); ++y)
        for (int x = 1; x < img.width(); ++x)
            if (Near(img, x, y, RGB_COLOR::LIGHTBLUE))
            {
                ++blue;
                shifted += At(img, x - 1, y - 1) != RGB_COLOR::WHITE ? 1 : 0;
            }
    EXPECT_GT(shifted, blue * 3 / 4);
}

TEST(StaticTextCtrl, FormatFromTheAlignment)
{
    Text text(QStringLiteral("a"));
    text.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(text.TextFormat(), DT_LEFT);
    text.setWordWrap(true);
    EXPECT_EQ(text.TextFormat(), DT_LEFT | DT_WORDBREAK);
    text.setAlignment(Qt::AlignRight);
    EXPECT_EQ(text.TextFormat(), DT_RIGHT | DT_WORDBREAK);
    text.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(text.TextFormat(), DT_CENTER | DT_WORDBREAK);
    text.setText(QStringLiteral("a\tb"));
    EXPECT_EQ(text.TextFormat(), DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS);
    text.setAlignment(Qt::AlignCenter);
    EXPECT_EQ(text.TextFormat(), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    text.setText(QStringLiteral("a\r\nb\tc"));
    EXPECT_EQ(text.TextFormat(), DT_CENTER);
}

TEST(StaticTextCtrl, MailLinkWithoutTargetUsesTheText)
{
    Text text(QStringLiteral("info"));
    text.resize(40, 20);
    text.Click();
    EXPECT_TRUE(text.opened.empty()); // no link: nothing

    text.SetMailLink(true, false);
    text.Click();
    ASSERT_EQ(text.opened.size(), 1u);
    EXPECT_EQ(text.opened[0], QUrl(QStringLiteral("mailto:info")));

    text.SetHyperLink(true, false);
    text.SetHyperLink(QStringLiteral("https://example.org/x"));
    text.Click();
    ASSERT_EQ(text.opened.size(), 2u);
    EXPECT_EQ(text.opened[1], QUrl(QStringLiteral("https://example.org/x")));

    text.SetHyperLink(false, false);
    text.Click();
    EXPECT_EQ(text.opened.size(), 2u);
}

TEST(StaticTextCtrl, NotifyReportsInsteadOfOpening)
{
    Text text(QStringLiteral("www.example.org"));
    text.resize(40, 20);
    text.setProperty("controlId", 1234);
    std::vector<std::pair<int, int>> notes;
    QObject::connect(&text, &StaticTextCtrl::Notify,
                     [&](StaticTextCtrl* c, int id, int code)
                     {
                         EXPECT_EQ(c, &text);
                         notes.emplace_back(id, code);
                     });
    text.SetHyperLink(true, true);
    text.Click();
    EXPECT_TRUE(text.opened.empty());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], std::make_pair(1234, 0x8200));

    text.SetHyperLink(true, false);
    text.Click();
    ASSERT_EQ(text.opened.size(), 1u);
    EXPECT_EQ(text.opened[0].host(), QStringLiteral("www.example.org"));
}

TEST(StaticTextCtrl, FontDescriptionRoundTrip)
{
    Text text(QStringLiteral("x"));
    LOGFONTA lf = text.GetTextFont();
    EXPECT_LT(lf.lfHeight, 0); // the window's font, as a character height
    lf.lfHeight = -30;
    lf.lfWeight = 700;
    text.SetTextFont(lf);
    EXPECT_EQ(text.GetTextFont().lfHeight, -30);
    EXPECT_EQ(text.GetTextFont().lfWeight, 700);
}

TEST(StaticTextCtrl, BorderAndSunkenEdgeFrameTheClientArea)
{
    Text text;
    text.resize(30, 20);
    text.SetBkColor(RGB_COLOR::YELLOW);
    text.SetBorder(true);
    EXPECT_TRUE(text.HasBorder());
    QImage img = text.Render();
    EXPECT_EQ(At(img, 0, 0), RGB_COLOR::BLACK);
    EXPECT_EQ(At(img, 29, 19), RGB_COLOR::BLACK);
    EXPECT_EQ(At(img, 1, 1), RGB_COLOR::YELLOW);
    text.SetSunken(true);
    img = text.Render();
    EXPECT_EQ(At(img, 1, 1), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(At(img, 2, 2), RGB_COLOR::YELLOW);
    EXPECT_EQ(Count(img, RGB_COLOR::YELLOW), 26 * 16);
    text.SetBorder(false);
    text.SetSunken(false);
    EXPECT_EQ(Count(text.Render(), RGB_COLOR::YELLOW), 30 * 20);
}
