// No caption is wider than its control in the fonts the program really uses (DejaVu Sans,
// Liberation Mono). Every dialog is walked; a new dialog joins with one line in Dialogs().

#include "DialogTestSupport.h"

#include "app/AboutDlg.h"
#include "app/ClockSweepDlg.h"
#include "app/Label.h"
#include "app/Resource.h"
#include "app/VisualizeAngleDlg.h"
#include "app/VisualizeSegmentDlg.h"
#include "app/VisualizeSegmentParaDlg.h"
#include "app/core/HistorySink.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <functional>

namespace
{
int WidestLine(const QFontMetrics& metrics, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

// The room a control's caption needs beside the text itself: indicators, spacing, frames.
int Decoration(const QWidget& w)
{
    const QStyle* style = w.style();
    if (qobject_cast<const QCheckBox*>(&w))
        return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &w) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &w);
    if (qobject_cast<const QRadioButton*>(&w))
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &w) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &w);
    if (qobject_cast<const QPushButton*>(&w))
        return style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &w) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &w);
    return 0;
}

// "text (needs N px, has M px)" for every caption of `dialog` that does not fit.
std::vector<std::string> Clipped(const QWidget& dialog)
{
    std::vector<std::string> clipped;
    const auto check = [&](const QString& text, int need, int have)
    {
        if (!text.isEmpty() && need > have)
            clipped.push_back(text.toStdString() + " (needs " + std::to_string(need) + " px, has " +
                              std::to_string(have) + " px)");
    };
    for (const QWidget* w : dialog.findChildren<QWidget*>())
    {
        const QFontMetrics metrics = w->fontMetrics();
        if (const auto* label = qobject_cast<const QLabel*>(w))
        {
            const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                              -label->margin(), -label->margin());
            const QString text = label->text();
            check(text, WidestLine(metrics, text), room.width());
            check(text, int(text.count(QLatin1Char('\n')) + 1) * metrics.lineSpacing(),
                  room.height());
        }
        else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        {
            QString text = button->text();
            text.remove(QLatin1Char('&'));
            check(text, metrics.horizontalAdvance(text) + Decoration(*w), w->width());
        }
        else if (const auto* group = qobject_cast<const QGroupBox*>(w))
        {
            check(group->title(), group->minimumSizeHint().width(), w->width());
        }
        else if (const auto* label = qobject_cast<const CLabel*>(w))
        {
            check(label->GetText(), WidestLine(metrics, label->GetText()), w->width());
        }
    }
    // A control inside a group box stays off its frame.
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
    {
        // The frame runs below the title.
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.textAlignment = group->alignment();
        const QRect frame = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxFrame, group);
        const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, group);
        QRect inside = frame.adjusted(1, 1, -1, -1);
        inside.setTop(std::max(inside.top(), title.bottom() + 3)); // line and one clear pixel
        inside.translate(group->pos());
        for (const QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        {
            if (w == group || qobject_cast<const QGroupBox*>(w) ||
                !group->geometry().contains(w->geometry().center()))
                continue;
            if (!inside.contains(w->geometry()))
                clipped.push_back(w->objectName().toStdString() + " covers the frame of " +
                                  group->title().toStdString());
        }
    }
    return clipped;
}
} // namespace

class ClippingTest : public DialogTest
{
protected:
    // Every dialog of the program, built as it is shown.
    std::vector<std::pair<std::string, std::function<std::unique_ptr<QWidget>()>>> Dialogs()
    {
        const auto about = [](int id)
        {
            auto dlg = std::make_unique<CAboutDlg>(id);
            dlg->SetNoBrand(id == IDD_ABOUTBOX_NOBRAND);
            dlg->Init();
            return dlg;
        };
        return {
            {"about box", [about] { return about(IDD_ABOUTBOX); }},
            {"about box without brand", [about] { return about(IDD_ABOUTBOX_NOBRAND); }},
            {"angle visualisation", [this] { return std::make_unique<VisualizeAngleDlg>(&m_Ini); }},
            {"segment visualisation",
             [this] { return std::make_unique<VisualizeSegmentDlg>(&m_Ini); }},
            {"segment format", [] { return std::make_unique<VisualizeSegmentParaDlg>(); }},
            {"clock sweep",
             [this] { return std::make_unique<CClockSweepDlg>(m_Box, m_Sink, 13, 12, nullptr); }},
        };
    }
    Tavik::Box m_Box; // closed: the sweep dialog only borrows it
    VectorSink m_Sink;
};

TEST_F(ClippingTest, NoCaptionOfTheMainWindowIsClipped)
{
    // Both expert groups shown, and the widest reading in both value fields.
    Menu(IDM_EXPERT_SPIMODE);
    for (int id : {IDC_ST_MTVALUE, IDC_ST_STVALUE})
        Item<CLabel>(id)->SetCaption(QStringLiteral("4294967295"));
    EXPECT_EQ(Clipped(Dlg()), std::vector<std::string>{});
}

TEST_F(ClippingTest, NoCaptionOfAnyOtherDialogIsClipped)
{
    for (const auto& [name, make] : Dialogs())
    {
        const std::unique_ptr<QWidget> dialog = make();
        dialog->show();
        EXPECT_EQ(Clipped(*dialog), std::vector<std::string>{}) << name;
    }
}
