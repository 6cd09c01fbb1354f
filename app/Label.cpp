#include "app/Label.h"

#include "controls/DrawContext.h"
#include "controls/StaticTextCtrl.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QTimerEvent>
#include <QUrl>

#include <algorithm>

namespace App
{

namespace
{
constexpr int BLINK_TIMER_MS = 500;
// A logical font carries at most 31 characters of face name.
constexpr int FACE_NAME_MAX = 31;
} // namespace

QColor CLabel::ToQColor(unsigned color)
{
    return zef::Glimra::ToQColor(color);
}

unsigned CLabel::FromQColor(const QColor& color)
{
    return zef::Glimra::FromQColor(color);
}

CLabel::CLabel(const QString& text, QWidget* parent, unsigned style)
    : QWidget(parent), m_Text(text), m_Style(style)
{
    m_TextColor = FromQColor(QApplication::palette().color(QPalette::WindowText));
    m_DefaultBackground = QBrush(QApplication::palette().color(QPalette::Button));
    // Attaching copies the control's font into the label's logical font.
    m_LogFont = parent ? parent->font() : QApplication::font();
    RemakeFont();
    // Painting covers the whole client area, so no background erase is needed.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CLabel::~CLabel()
{
    StopBlinkTimer();
}

void CLabel::SetStyle(unsigned style)
{
    m_Style = style;
    Redraw();
}

std::optional<unsigned> CLabel::GetBackgroundColor() const
{
    if (!m_Background)
        return std::nullopt;
    return FromQColor(m_Background->color());
}

void CLabel::Redraw()
{
    ++m_RedrawCount;
    update();
}

void CLabel::RemakeFont()
{
    setFont(m_LogFont);
}

CLabel& CLabel::SetBackground(unsigned color, unsigned gradientColor, bool gradient)
{
    m_BackgroundColor = color;
    m_GradientColor = gradientColor;
    m_Gradient = gradient;
    m_Background.reset();
    if (!gradient)
        m_Background = QBrush(ToQColor(color));
    Redraw();
    return *this;
}

CLabel& CLabel::SetForeground(unsigned color)
{
    m_TextColor = color;
    Redraw();
    return *this;
}

CLabel& CLabel::SetCaption(const QString& text)
{
    m_Text = text;
    Redraw();
    return *this;
}

CLabel& CLabel::SetBold(bool on)
{
    m_LogFont.setWeight(on ? QFont::Bold : QFont::Normal);
    RemakeFont();
    Redraw();
    return *this;
}

CLabel& CLabel::SetFaceName(const QString& faceName, int /*charSet*/)
{
    // Longer names are cut to what a logical font can hold.
    m_LogFont.setFamilies({faceName.left(FACE_NAME_MAX)});
    RemakeFont();
    Redraw();
    return *this;
}

CLabel& CLabel::SetUnderline(bool on)
{
    m_LogFont.setUnderline(on);
    RemakeFont();
    Redraw();
    return *this;
}

CLabel& CLabel::SetItalic(bool on)
{
    m_LogFont.setItalic(on);
    RemakeFont();
    Redraw();
    return *this;
}

CLabel& CLabel::SetPointSize(int points)
{
    if (points > 0)
        m_LogFont.setPointSize(points);
    RemakeFont();
    Redraw();
    return *this;
}

CLabel& CLabel::SetSunkenEdge(bool on)
{
    m_SunkenEdge = on;
    Redraw();
    return *this;
}

CLabel& CLabel::SetFrame(bool on)
{
    m_Frame = on;
    Redraw();
    return *this;
}

CLabel& CLabel::SetTransparentMode(bool on)
{
    m_Transparent = on;
    // Once transparent, the widget keeps letting its parent show through (as the
    // extended style stays set); only the off-screen fill depends on the flag.
    if (on)
        setAttribute(Qt::WA_OpaquePaintEvent, false);
    Redraw();
    return *this;
}

void CLabel::StopBlinkTimer()
{
    if (m_BlinkTimer != 0)
    {
        killTimer(m_BlinkTimer);
        m_BlinkTimer = 0;
    }
}

CLabel& CLabel::BlinkText(bool on)
{
    if (m_Blinking)
        StopBlinkTimer();
    if (on)
    {
        m_BlinkPhase = false;
        m_Blinking = true;
        m_BlinkTimer = startTimer(BLINK_TIMER_MS);
        m_BlinkKind = BLINK_TEXT;
    }
    else
    {
        m_Blinking = false;
        m_BlinkKind = BLINK_NONE;
    }
    Redraw();
    return *this;
}

CLabel& CLabel::BlinkBackground(bool on)
{
    if (m_Blinking)
        StopBlinkTimer();
    if (on)
    {
        m_BlinkPhase = false;
        m_Blinking = true;
        m_BlinkTimer = startTimer(BLINK_TIMER_MS);
        m_BlinkKind = BLINK_BACKGROUND;
    }
    else
    {
        m_Blinking = false;
        m_BlinkKind = BLINK_NONE;
    }
    Redraw();
    return *this;
}

CLabel& CLabel::SetHyperlink(bool on, bool notify)
{
    m_LinkKind = on ? LINK_HYPER : LINK_NONE;
    m_NotifyParent = notify;
    m_Style = on ? (m_Style | SS_NOTIFY) : (m_Style & ~unsigned(SS_NOTIFY));
    return *this;
}

CLabel& CLabel::SetMailLink(bool on, bool notify)
{
    m_LinkKind = on ? LINK_MAIL : LINK_NONE;
    m_NotifyParent = notify;
    m_Style = on ? (m_Style | SS_NOTIFY) : (m_Style & ~unsigned(SS_NOTIFY));
    return *this;
}

CLabel& CLabel::SetLinkTarget(const QString& target)
{
    m_LinkTarget = target;
    return *this;
}

CLabel& CLabel::SetCursorHandle(const std::optional<QCursor>& cursor)
{
    if (cursor)
        setCursor(*cursor);
    else
        unsetCursor();
    return *this;
}

CLabel& CLabel::SetEmboss(bool on, bool direction)
{
    m_Emboss = on;
    m_EmbossDirection = direction;
    Redraw();
    return *this;
}

CLabel& CLabel::SetRotation(int degrees, bool on)
{
    m_Escapement = degrees * 10;
    m_Rotated = on;
    RemakeFont();
    Redraw();
    return *this;
}

CLabel& CLabel::SetEmbossColor(unsigned color)
{
    m_EmbossColor = color;
    Redraw();
    return *this;
}

CLabel& CLabel::SetFontAttributes(const QFont& logFont)
{
    m_LogFont = logFont;
    RemakeFont();
    Redraw();
    return *this;
}

void CLabel::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_BlinkTimer)
    {
        QWidget::timerEvent(event);
        return;
    }
    m_BlinkPhase = !m_BlinkPhase;
    Redraw();
}

void CLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
    {
        if (m_NotifyParent)
        {
            emit Notify(this, property("controlId").toInt(), NOTIFY_CLICKED);
        }
        else if (m_LinkKind == LINK_HYPER)
        {
            const QString target = m_LinkTarget.isEmpty() ? m_Text : m_LinkTarget;
            QDesktopServices::openUrl(QUrl::fromUserInput(target));
        }
        else if (m_LinkKind == LINK_MAIL)
        {
            QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + m_Text));
        }
    }
    QWidget::mousePressEvent(event);
}

void CLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
    {
        m_DefaultBackground = QBrush(QApplication::palette().color(QPalette::Button));
        Redraw();
    }
    QWidget::changeEvent(event);
}

// The label's gradient is Glimra's: at most 100 bands of equal width, channels stepping in
// 1/256 units, the last band running to the right edge.
constexpr int GRADIENT_BANDS = 100;

void CLabel::GradientBands(int width, int& bands, int& bandWidth)
{
    bands = int(zef::Glimra::GradientBands(0, width, 0, 0, GRADIENT_BANDS).size());
    bandWidth = bands == 0 ? 0 : width / bands;
}

void CLabel::FillGradient(QPainter& painter, const QRect& rect) const
{
    for (const zef::Glimra::GradientBand& band :
         zef::Glimra::GradientBands(rect.left(), rect.left() + rect.width(), m_BackgroundColor,
                                    m_GradientColor, GRADIENT_BANDS))
        painter.fillRect(QRect(band.left, rect.top(), band.right - band.left, rect.height()),
                         ToQColor(band.color));
}

int CLabel::TextFlags() const
{
    int flags = Qt::AlignTop;
    switch (m_Style & SS_TYPEMASK)
    {
    case SS_CENTER:
        flags |= Qt::AlignHCenter | Qt::TextWordWrap;
        break;
    case SS_RIGHT:
        flags |= Qt::AlignRight | Qt::TextWordWrap;
        break;
    case SS_LEFTNOWORDWRAP:
        flags |= Qt::AlignLeft;
        break;
    default:
        flags |= Qt::AlignLeft | Qt::TextWordWrap;
        break;
    }
    if (m_Text.contains(QLatin1Char('\t')))
        flags |= Qt::TextExpandTabs;
    if (m_Style & SS_CENTERIMAGE)
    {
        if (!m_Text.contains(QStringLiteral("\r\n")))
            flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
        else
            flags = Qt::AlignHCenter | Qt::AlignTop;
    }
    return flags;
}

void CLabel::Render(QPainter& painter)
{
    const QRect client(0, 0, width(), height());
    painter.save();
    painter.setFont(font());
    QColor textColour = ToQColor(m_TextColor);

    if (!m_Transparent)
    {
        if (m_Gradient)
            FillGradient(painter, client);
        else
            painter.fillRect(client, m_Background ? *m_Background : m_DefaultBackground);
    }
    // Blinking text vanishes into the background every other period.
    if (!m_BlinkPhase && m_BlinkKind == BLINK_TEXT)
        textColour = m_Background ? m_Background->color() : QColor(Qt::black);
    // Background blinking swaps text and background colours in the off phase.
    if (!m_BlinkPhase && m_BlinkKind == BLINK_BACKGROUND && !m_Transparent)
    {
        painter.fillRect(client, textColour);
        textColour = m_Background ? m_Background->color() : m_DefaultBackground.color();
    }

    painter.setPen(textColour);
    if (m_Rotated)
    {
        // Baseline-centred text turned around the centre of the label.
        painter.translate(client.center().x() + 1, client.center().y() + 1);
        painter.rotate(-m_Escapement / 10.0);
        const QFontMetrics metrics(font());
        const int textWidth = metrics.horizontalAdvance(m_Text);
        painter.drawText(-textWidth / 2, 0, m_Text);
    }
    else
    {
        const int flags = TextFlags();
        painter.drawText(client, flags, m_Text);
        if (m_Emboss)
        {
            painter.setPen(ToQColor(m_EmbossColor));
            const int d = m_EmbossDirection ? 1 : -1;
            painter.drawText(client.translated(d, d), flags, m_Text);
        }
    }
    painter.restore();

    if (m_Frame)
    {
        painter.setPen(QColor(Qt::black));
        painter.drawRect(client.adjusted(0, 0, -1, -1));
    }
    if (m_SunkenEdge)
    {
        const QPalette& pal = QApplication::palette();
        painter.setPen(pal.color(QPalette::Dark));
        painter.drawLine(client.topLeft(), client.topRight());
        painter.drawLine(client.topLeft(), client.bottomLeft());
        painter.setPen(pal.color(QPalette::Light));
        painter.drawLine(client.bottomLeft(), client.bottomRight());
        painter.drawLine(client.topRight(), client.bottomRight());
    }
}

void CLabel::paintEvent(QPaintEvent* /*event*/)
{
    if (m_Transparent)
    {
        QPainter painter(this);
        Render(painter);
        return;
    }
    // Off-screen first, then one copy: no flicker at 20 repaints a second.
    const qreal ratio = devicePixelRatioF();
    QPixmap offscreen(size() * ratio);
    offscreen.setDevicePixelRatio(ratio);
    {
        QPainter memory(&offscreen);
        Render(memory);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, offscreen);
}

} // namespace App
