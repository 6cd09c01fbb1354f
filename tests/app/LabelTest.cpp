#include "app/Label.h"
#include "tests/support/WindowInput.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QImage>
#include <QPainter>
#include <QUrl>

#include <gtest/gtest.h>

using namespace App;

namespace
{
QImage Render(CLabel& label)
{
    QImage image(label.size(), QImage::Format_RGB32);
    image.fill(Qt::green);
    QPainter painter(&image);
    label.Render(painter);
    return image;
}

// Receives what the label hands to the desktop services.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

void Click(CLabel& label)
{
    ASSERT_TRUE(WindowInput::Show(&label));
    WindowInput::Click(&label);
}
} // namespace

TEST(Label, SolidBackgroundFillsTheWholeLabel)
{
    CLabel label;
    label.resize(20, 10);
    label.SetBackground(0x0000FF, 0, false);
    QImage image = Render(label);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(19, 9), QColor(255, 0, 0));
    label.SetBackground(0, 0, false);
    image = Render(label);
    EXPECT_EQ(image.pixelColor(10, 5), QColor(0, 0, 0));
}

TEST(Label, GradientBands)
{
    int bands = 0;
    int width = 0;
    CLabel::GradientBands(50, bands, width);
    EXPECT_EQ(bands, 50);
    EXPECT_EQ(width, 1);
    CLabel::GradientBands(300, bands, width);
    EXPECT_EQ(bands, 100);
    EXPECT_EQ(width, 3);
    CLabel::GradientBands(0, bands, width);
    EXPECT_EQ(bands, 0);
}

TEST(Label, GradientRunsFromBackgroundAtLeftToGradientColourAtRight)
{
    CLabel label;
    label.resize(300, 4);
    label.SetBackground(0x000000, 0xFFFFFF, true);
    EXPECT_FALSE(label.GetBackgroundColor().has_value());
    const QImage image = Render(label);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(2, 0), QColor(0, 0, 0)); // first band is 3 pixels
    EXPECT_EQ(image.pixelColor(3, 0).red(), 2);         // 255 * 256 / 100 per band
    EXPECT_GT(image.pixelColor(299, 0).red(), 245);
    EXPECT_EQ(image.pixelColor(299, 0).red(), image.pixelColor(299, 0).blue());
}

TEST(Label, CaptionIsDrawnInTheTextColour)
{
    CLabel label(QString(), nullptr, CLabel::SS_CENTER | CLabel::SS_CENTERIMAGE);
    label.resize(60, 30);
    label.SetBackground(0xFFFFFF).SetForeground(0x000000).SetCaption("88").SetPointSize(14);
    const QImage image = Render(label);
    bool dark = false;
    for (int x = 0; x < 60 && !dark; ++x)
        dark = image.pixelColor(x, 15).red() < 100; // one line, centred vertically
    EXPECT_TRUE(dark);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 255, 255));
}

TEST(Label, BlinkingTextVanishesInTheOffPhase)
{
    CLabel label;
    label.resize(40, 20);
    label.SetBackground(0xFFFFFF).SetForeground(0).SetCaption("MMMM").SetPointSize(12);
    label.BlinkText(true);
    EXPECT_TRUE(label.IsBlinking());
    EXPECT_FALSE(label.GetBlinkPhase());
    QImage off = Render(label);
    bool anyDark = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            anyDark = anyDark || off.pixelColor(x, y).red() < 128;
    EXPECT_FALSE(anyDark);
    label.BlinkText(false);
    EXPECT_EQ(label.GetBlinkKind(), CLabel::BLINK_NONE);
}

TEST(Label, SettersChainAndRemakeTheFont)
{
    CLabel label;
    label.SetBold(true)
        .SetItalic(true)
        .SetUnderline(true)
        .SetFaceName("Courier New")
        .SetRotation(90);
    EXPECT_TRUE(label.GetLogFont().bold());
    EXPECT_TRUE(label.GetLogFont().italic());
    EXPECT_EQ(label.GetEscapement(), 900);
    EXPECT_EQ(label.font().family(), "Courier New");
    label.SetFaceName(QString(40, 'x'));
    EXPECT_EQ(label.GetLogFont().families().front().size(), 31);
}

TEST(Label, MailLinkHandsMailtoWithTheTextToTheShell)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "Open");
    CLabel label("service@example.com");
    label.SetMailLink(true, false);
    EXPECT_TRUE(label.GetStyle() & CLabel::SS_NOTIFY);
    Click(label);
    QDesktopServices::unsetUrlHandler("mailto");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), "mailto:service@example.com");
}

TEST(Label, HyperlinkOpensTargetOrTextAndNotifyGoesToParentInstead)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    CLabel label("https://example.com/a");
    label.SetHyperlink(true);
    Click(label);
    label.SetLinkTarget("https://example.com/b");
    Click(label);
    int notified = 0;
    QObject::connect(&label, &CLabel::Notify,
                     [&](CLabel*, int, int code)
                     {
                         EXPECT_EQ(code, 0x8200);
                         ++notified;
                     });
    label.SetHyperlink(true, true);
    Click(label);
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].toString(), "https://example.com/a");
    EXPECT_EQ(catcher.urls[1].toString(), "https://example.com/b");
    EXPECT_EQ(notified, 1);
    label.SetHyperlink(false);
    EXPECT_FALSE(label.GetStyle() & CLabel::SS_NOTIFY);
}

#include "LabelTest.moc"
