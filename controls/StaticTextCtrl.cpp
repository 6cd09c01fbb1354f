#include "controls/StaticTextCtrl.h"

#include "controls/MemoryDC.h"
#include "controls/PaintDCGuard.h"

#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <optional>

namespace zef::Glimra
{

namespace
{

enum LinkKind
{
    LINK_NONE = 0,
    LINK_WEB = 1,
    LINK_MAIL = 2,
};

// The description of a font the window already has, for the device of `wnd`.
LOGFONTA DescribeFont(const QFont& f, const QWidget* wnd)
{
    LOGFONTA lf;
    int px = f.pixelSize();
    if (px <= 0)
    {
        const int dpi = LogFont::GetLogPixelSy(wnd) > 0 ? LogFont::GetLogPixelSy(wnd) : 96;
        px = static_cast<int>(f.pointSizeF() * dpi / 72.0 + 0.5);
    }
    lf.lfHeight = -px;
    lf.lfWeight = static_cast<int>(f.weight());
    lf.lfItalic = f.italic() ? 1 : 0;
    lf.lfUnderline = f.underline() ? 1 : 0;
    lf.lfStrikeOut = f.strikeOut() ? 1 : 0;
    const QByteArray face = f.family().toUtf8();
    std::memcpy(lf.lfFaceName, face.constData(),
                std::min<std::size_t>(static_cast<std::size_t>(face.size()), LF_FACESIZE - 1));
    return lf;
}

int Channel(ColorRef c, int shift)
{
    return static_cast<int>((c >> shift) & 0xFF);
}

} // namespace

std::vector<GradientBand> GradientBands(int left, int right, ColorRef from, ColorRef to, int steps)
{
    std::vector<GradientBand> bands;
    const int w = right - left;
    const int n = std::min(steps, w);
    if (n < 1)
        return bands;

    // Channels in 1/256 units; the steps truncate toward zero, so the walk never overshoots.
    int value[3], step[3];
    for (int c = 0; c < 3; ++c)
    {
        value[c] = Channel(from, 8 * c) * 256;
        step[c] = ((Channel(to, 8 * c) - Channel(from, 8 * c)) * 256) / n;
    }
    const int width = w / n;
    bands.reserve(static_cast<std::size_t>(n));
    int x = left;
    for (int i = 0; i < n; ++i)
    {
        const int end = i == n - 1 ? right : x + width;
        bands.push_back({x, end, MakeRgb(value[0] / 256, value[1] / 256, value[2] / 256)});
        for (int c = 0; c < 3; ++c)
            value[c] += step[c];
        x = end;
    }
    return bands;
}

void FillGradient(DrawContext& dc, const Rect& rect, ColorRef from, ColorRef to, int steps)
{
    for (const GradientBand& band : GradientBands(rect.left, rect.right, from, to, steps))
        dc.FillSolidRect({band.left, rect.top, band.right, rect.bottom}, band.color);
}

struct StaticTextCtrl::Data
{
    ColorRef textColor = GetSysColor(COLOR_WINDOWTEXT);
    ColorRef color3D = MakeRgb(255, 255, 255);
    Text3D text3D = TEXT3D_FLAT;
    QFont font;
    LogFont logFont;
    bool gradient = false;
    ColorRef bkColor = GetSysColor(COLOR_BTNFACE);
    ColorRef bkColor2 = 0;
    int linkKind = LINK_NONE;
    bool notifyParent = false;
    bool reportsClicks = false; // the control passes clicks on to its link handling
    std::optional<QCursor> linkCursor;
    QString linkTarget;
    bool border = false;
    bool sunken = false;
};

StaticTextCtrl::StaticTextCtrl(QWidget* parent) : StaticTextCtrl(QString(), parent) {}

StaticTextCtrl::StaticTextCtrl(const QString& text, QWidget* parent)
    : QLabel(text, parent), m_Data(std::make_unique<Data>())
{
    // Every paint covers the whole client area, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_Data->logFont = LogFont(this);
    m_Data->logFont = DescribeFont(font(), this);
    if (!m_Data->logFont.Create(m_Data->font))
        m_Data->font = font();
}

StaticTextCtrl::~StaticTextCtrl() = default;

void StaticTextCtrl::Redraw()
{
    repaint();
}

void StaticTextCtrl::SetText(const QString& text)
{
    setText(text);
    Redraw();
}

void StaticTextCtrl::SetTextColor(ColorRef color)
{
    if (m_Data->textColor == color)
        return;
    m_Data->textColor = color;
    Redraw();
}

void StaticTextCtrl::SetText3DColor(ColorRef color)
{
    if (m_Data->color3D == color)
        return;
    m_Data->color3D = color;
    Redraw();
}

void StaticTextCtrl::SetText3D(Text3D mode)
{
    if (m_Data->text3D == mode)
        return;
    m_Data->text3D = mode;
    Redraw();
}

void StaticTextCtrl::SetBkColor(ColorRef color)
{
    if (!m_Data->gradient && m_Data->bkColor == color)
        return;
    m_Data->gradient = false;
    m_Data->bkColor = color;
    Redraw();
}

void StaticTextCtrl::SetBkColor(ColorRef from, ColorRef to)
{
    if (m_Data->gradient && m_Data->bkColor == from && m_Data->bkColor2 == to)
        return;
    m_Data->gradient = true;
    m_Data->bkColor = from;
    m_Data->bkColor2 = to;
    Redraw();
}

void StaticTextCtrl::SetTextFont(const LOGFONTA& font)
{
    if (m_Data->logFont == font)
        return;
    m_Data->logFont = font;
    QFont created;
    if (m_Data->logFont.Create(created))
        m_Data->font = created;
    Redraw();
}

const LOGFONTA& StaticTextCtrl::GetTextFont() const
{
    return m_Data->logFont;
}

void StaticTextCtrl::SetBorder(bool on)
{
    m_Data->border = on;
    UpdateMargins();
}

void StaticTextCtrl::SetSunken(bool on)
{
    m_Data->sunken = on;
    UpdateMargins();
}

void StaticTextCtrl::UpdateMargins()
{
    // The frame takes one pixel per edge each; the client area is what lies inside.
    const int m = (m_Data->border ? 1 : 0) + (m_Data->sunken ? 1 : 0);
    setContentsMargins(m, m, m, m);
    Redraw();
}

void StaticTextCtrl::SetLink(int kind, bool link, bool notify)
{
    m_Data->linkKind = link ? kind : LINK_NONE;
    m_Data->notifyParent = notify;
    m_Data->reportsClicks = link;
}

void StaticTextCtrl::SetHyperLink(bool link, bool notify)
{
    SetLink(LINK_WEB, link, notify);
}

void StaticTextCtrl::SetMailLink(bool link, bool notify)
{
    SetLink(LINK_MAIL, link, notify);
}

void StaticTextCtrl::SetHyperLink(const QString& target)
{
    m_Data->linkTarget = target;
}

void StaticTextCtrl::SetLinkCursor(const QCursor* cursor)
{
    if (cursor)
    {
        m_Data->linkCursor = *cursor;
        setCursor(*cursor);
    }
    else
    {
        m_Data->linkCursor.reset();
        unsetCursor();
    }
}

ColorRef StaticTextCtrl::GetTextColor() const
{
    return m_Data->textColor;
}
ColorRef StaticTextCtrl::GetText3DColor() const
{
    return m_Data->color3D;
}
StaticTextCtrl::Text3D StaticTextCtrl::GetText3D() const
{
    return m_Data->text3D;
}
bool StaticTextCtrl::IsGradient() const
{
    return m_Data->gradient;
}
ColorRef StaticTextCtrl::GetBkColor() const
{
    return m_Data->bkColor;
}
ColorRef StaticTextCtrl::GetBkColor2() const
{
    return m_Data->bkColor2;
}
bool StaticTextCtrl::HasBorder() const
{
    return m_Data->border;
}
bool StaticTextCtrl::IsSunken() const
{
    return m_Data->sunken;
}

Rect StaticTextCtrl::ClientRect() const
{
    return Rect::FromQRect(contentsRect());
}

unsigned StaticTextCtrl::TextFormat() const
{
    const Qt::Alignment align = alignment();
    const QString t = text();
    if ((align & Qt::AlignCenter) == Qt::AlignCenter)
    {
        // Centred both ways: one centred line, or centred lines from the top when the text
        // holds line breaks.
        if (!t.contains(QStringLiteral("\r\n")))
            return DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        return DT_CENTER;
    }
    unsigned format;
    if (align & Qt::AlignHCenter)
        format = DT_CENTER | DT_WORDBREAK;
    else if (align & Qt::AlignRight)
        format = DT_RIGHT | DT_WORDBREAK;
    else if (!wordWrap())
        format = DT_LEFT;
    else
        format = DT_LEFT | DT_WORDBREAK;
    if (t.contains(QLatin1Char('\t')))
        format |= DT_EXPANDTABS;
    return format;
}

void StaticTextCtrl::PaintText(DrawContext& dc, Rect rect)
{
    PaintDCGuard guard(dc);
    guard.SetBkMode(TRANSPARENT);
    guard.SetFont(m_Data->font);
    guard.SetTextColor(m_Data->textColor);
    const unsigned format = TextFormat();
    const QString t = text();
    Rect box = rect;
    dc.DrawText(t, box, format);

    if (m_Data->text3D == TEXT3D_RAISED || m_Data->text3D == TEXT3D_SUNKEN)
    {
        const int d = m_Data->text3D == TEXT3D_RAISED ? -1 : 1;
        box = rect;
        box.OffsetRect(d, d);
        guard.SetTextColor(m_Data->color3D);
        dc.DrawText(t, box, format);
    }
}

void StaticTextCtrl::Paint(DrawContext& dc)
{
    const Rect client = ClientRect();
    MemoryDC mem(dc, client);
    if (m_Data->gradient)
        FillGradient(mem, client, m_Data->bkColor, m_Data->bkColor2, 100);
    else
        mem.FillSolidRect(client, m_Data->bkColor);
    PaintText(mem, client);
}

void StaticTextCtrl::paintEvent(QPaintEvent*)
{
    {
        DrawContext dc(this);
        Paint(dc);
    }
    if (!m_Data->border && !m_Data->sunken)
        return;
    DrawContext dc(this);
    Rect frame = Rect::FromQRect(rect());
    if (m_Data->border)
    {
        dc.FrameRect(frame, Brush::Solid(0)); // the thin window border is black
        frame.DeflateRect(1, 1);
    }
    if (m_Data->sunken)
        dc.Draw3dRect(frame, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
}

void StaticTextCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_Data->reportsClicks)
    {
        if (m_Data->notifyParent)
        {
            emit Notify(this, property("controlId").toInt(), NOTIFY_CLICKED);
        }
        else
        {
            const QString target = m_Data->linkTarget.isEmpty() ? text() : m_Data->linkTarget;
            if (!target.isEmpty())
            {
                if (m_Data->linkKind == LINK_WEB)
                    OpenLink(QUrl::fromUserInput(target));
                else if (m_Data->linkKind == LINK_MAIL)
                    OpenLink(QUrl(QStringLiteral("mailto:") + target));
            }
        }
    }
    QLabel::mousePressEvent(event);
}

void StaticTextCtrl::OpenLink(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void StaticTextCtrl::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        update();
}

} // namespace zef::Glimra
