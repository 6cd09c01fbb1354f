#include "controls/DrawContext.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zef::Glimra
{

QColor ToQColor(ColorRef c)
{
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

ColorRef FromQColor(const QColor& c)
{
    return MakeRgb(c.red(), c.green(), c.blue());
}

ColorRef GetSysColor(int index)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    {
        // No application, no palette: the classic Windows values.
        switch (index)
        {
        case COLOR_BTNSHADOW:
            return MakeRgb(160, 160, 160);
        case COLOR_BTNHIGHLIGHT:
        case COLOR_WINDOW:
            return MakeRgb(255, 255, 255);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
        case COLOR_3DDKSHADOW:
            return 0;
        case COLOR_GRAYTEXT:
            return MakeRgb(109, 109, 109);
        case COLOR_3DLIGHT:
            return MakeRgb(227, 227, 227);
        default:
            return MakeRgb(240, 240, 240);
        }
    }
    const QPalette pal = QGuiApplication::palette();
    switch (index)
    {
    case COLOR_WINDOW:
        return FromQColor(pal.color(QPalette::Base));
    case COLOR_WINDOWTEXT:
        return FromQColor(pal.color(QPalette::WindowText));
    case COLOR_BTNSHADOW:
        return FromQColor(pal.color(QPalette::Dark));
    case COLOR_GRAYTEXT:
        return FromQColor(pal.color(QPalette::Disabled, QPalette::Text));
    case COLOR_BTNTEXT:
        return FromQColor(pal.color(QPalette::ButtonText));
    case COLOR_BTNHIGHLIGHT:
        return FromQColor(pal.color(QPalette::Light));
    case COLOR_3DDKSHADOW:
        return FromQColor(pal.color(QPalette::Shadow));
    case COLOR_3DLIGHT:
        return FromQColor(pal.color(QPalette::Midlight));
    case COLOR_BTNFACE:
    default:
        return FromQColor(pal.color(QPalette::Button));
    }
}

namespace
{

int ScreenDpiY()
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    {
        if (QScreen* s = app->primaryScreen())
            return qRound(s->logicalDotsPerInchY());
    }
    return 96;
}

QFont DefaultDcFont()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    return QFont();
}

QPen ToQPen(const Pen& pen)
{
    if (pen.style == PS_NULL)
        return QPen(Qt::NoPen);
    const QColor color = ToQColor(pen.color);
    if (pen.width > 1)
        return QPen(color, pen.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    // Cosmetic one-pixel pen; a flat cap leaves out the last pixel of a line, as LineTo does.
    QPen p(color, 0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    switch (pen.style)
    {
    case PS_DASH:
        p.setDashPattern({18, 6});
        break;
    case PS_DOT:
        p.setDashPattern({3, 3});
        break;
    case PS_DASHDOT:
        p.setDashPattern({9, 6, 3, 6});
        break;
    case PS_DASHDOTDOT:
        p.setDashPattern({9, 3, 3, 3, 3, 3});
        break;
    default:
        break;
    }
    return p;
}

// Path with every open figure closed, for stroking filled figures.
QPainterPath ClosedCopy(const QPainterPath& path)
{
    QPainterPath out;
    out.setFillRule(path.fillRule());
    bool open = false;
    for (int i = 0; i < path.elementCount(); ++i)
    {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type)
        {
        case QPainterPath::MoveToElement:
            if (open)
                out.closeSubpath();
            out.moveTo(e.x, e.y);
            open = false;
            break;
        case QPainterPath::LineToElement:
            out.lineTo(e.x, e.y);
            open = true;
            break;
        case QPainterPath::CurveToElement:
        {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element to = path.elementAt(i + 2);
            out.cubicTo(e.x, e.y, c2.x, c2.y, to.x, to.y);
            i += 2;
            open = true;
            break;
        }
        default:
            break;
        }
    }
    if (open)
        out.closeSubpath();
    return out;
}

QString StripPrefix(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == u'&')
            continue;
        out += text[i];
    }
    return out;
}

} // namespace

struct DrawContext::State
{
    QPaintDevice* device = nullptr;
    QImage* image = nullptr; // device as image, for pixel reads and block copies
    bool memory = false;
    QPainter* painter = nullptr;
    std::unique_ptr<QPainter> owned;
    QTransform base;

    Pen pen;
    Brush brush = Brush::Solid(0x00FFFFFF);
    QFont font = DefaultDcFont();
    ColorRef textColor = 0;
    ColorRef bkColor = 0x00FFFFFF;
    int bkMode = OPAQUE;
    int polyFillMode = ALTERNATE;
    int stretchMode = BLACKONWHITE;
    QPoint windowOrg;
    QPoint brushOrg;
    QPoint current;
    bool printing = false;
    bool inPath = false;
    QPainterPath path;

    void Begin(QPaintDevice* dev)
    {
        End();
        device = dev;
        image = nullptr;
        if (!dev)
            return;
        if (dev->devType() == QInternal::Image)
            image = static_cast<QImage*>(dev);
        if (image && image->isNull())
            return;
        owned = std::make_unique<QPainter>();
        if (owned->begin(dev))
            painter = owned.get();
        else
            owned.reset();
    }

    void End()
    {
        if (owned)
            owned->end();
        owned.reset();
        painter = nullptr;
    }

    ~State() { End(); }
};

DrawContext::DrawContext() : m_state(std::make_shared<State>())
{
    m_state->memory = true;
}

DrawContext::DrawContext(QPaintDevice* device) : m_state(std::make_shared<State>())
{
    m_state->Begin(device);
}

DrawContext::DrawContext(QPainter& painter) : m_state(std::make_shared<State>())
{
    m_state->device = painter.device();
    if (m_state->device && m_state->device->devType() == QInternal::Image)
        m_state->image = static_cast<QImage*>(m_state->device);
    if (painter.isActive())
    {
        m_state->painter = &painter;
        m_state->base = painter.worldTransform();
    }
}

DrawContext::~DrawContext() = default;

void DrawContext::ShareStateOf(DrawContext& other)
{
    m_state = other.m_state;
}

void DrawContext::UseOwnImage(QImage* image)
{
    m_state = std::make_shared<State>();
    m_state->memory = true;
    m_state->Begin(image);
}

bool DrawContext::IsValid() const
{
    return m_state->painter != nullptr;
}
bool DrawContext::IsPrinting() const
{
    return m_state->printing;
}
void DrawContext::SetPrinting(bool printing)
{
    m_state->printing = printing;
}

int DrawContext::GetLogPixelsY() const
{
    if (m_state->device)
        return m_state->device->logicalDpiY();
    return m_state->memory ? ScreenDpiY() : 0;
}

Rect DrawContext::GetClipBox() const
{
    int w = 0;
    int h = 0;
    if (QPaintDevice* d = m_state->device)
    {
        const double dpr = d->devicePixelRatioF();
        w = static_cast<int>(d->width() / (d->devType() == QInternal::Image ? dpr : 1.0));
        h = static_cast<int>(d->height() / (d->devType() == QInternal::Image ? dpr : 1.0));
    }
    const QPoint o = m_state->windowOrg;
    return {o.x(), o.y(), o.x() + w, o.y() + h};
}

Pen DrawContext::SelectPen(const Pen& pen)
{
    return std::exchange(m_state->pen, pen);
}
Brush DrawContext::SelectBrush(const Brush& brush)
{
    return std::exchange(m_state->brush, brush);
}
QFont DrawContext::SelectFont(const QFont& font)
{
    return std::exchange(m_state->font, font);
}

QImage* DrawContext::SelectBitmap(QImage* bitmap)
{
    if (!m_state->memory)
        return nullptr;
    QImage* old = m_state->image;
    m_state->Begin(bitmap);
    return old;
}

const Pen& DrawContext::GetPen() const
{
    return m_state->pen;
}
const Brush& DrawContext::GetBrush() const
{
    return m_state->brush;
}
const QFont& DrawContext::GetFont() const
{
    return m_state->font;
}
QImage* DrawContext::GetBitmap() const
{
    return m_state->image;
}

ColorRef DrawContext::SetTextColor(ColorRef c)
{
    return std::exchange(m_state->textColor, c);
}
ColorRef DrawContext::GetTextColor() const
{
    return m_state->textColor;
}
ColorRef DrawContext::SetBkColor(ColorRef c)
{
    return std::exchange(m_state->bkColor, c);
}
ColorRef DrawContext::GetBkColor() const
{
    return m_state->bkColor;
}

int DrawContext::SetBkMode(int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
        return 0;
    return std::exchange(m_state->bkMode, mode);
}
int DrawContext::GetBkMode() const
{
    return m_state->bkMode;
}

int DrawContext::SetPolyFillMode(int mode)
{
    if (mode != ALTERNATE && mode != WINDING)
        return 0;
    return std::exchange(m_state->polyFillMode, mode);
}
int DrawContext::GetPolyFillMode() const
{
    return m_state->polyFillMode;
}

int DrawContext::SetStretchBltMode(int mode)
{
    if (mode < BLACKONWHITE || mode > HALFTONE)
        return 0;
    return std::exchange(m_state->stretchMode, mode);
}
int DrawContext::GetStretchBltMode() const
{
    return m_state->stretchMode;
}

QPoint DrawContext::SetBrushOrg(QPoint org)
{
    return std::exchange(m_state->brushOrg, org);
}
QPoint DrawContext::SetWindowOrg(QPoint org)
{
    return std::exchange(m_state->windowOrg, org);
}
QPoint DrawContext::GetWindowOrg() const
{
    return m_state->windowOrg;
}

QPainter* DrawContext::Painter()
{
    return m_state->painter;
}

// Applies the logical origin. Integer coordinates name pixels: fills and one-pixel lines
// cover the pixels GDI would without further ado; strokes of wide pens are centred on the
// pixels by a half-pixel shift.
QPainter* DrawContext::Prepare(bool pen, bool brush)
{
    QPainter* p = m_state->painter;
    if (!p)
        return nullptr;
    QTransform t =
        QTransform::fromTranslate(-m_state->windowOrg.x(), -m_state->windowOrg.y()) * m_state->base;
    if (pen && m_state->pen.width > 1)
        t = QTransform::fromTranslate(0.5, 0.5) * t;
    p->setWorldTransform(t);
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->setPen(pen ? ToQPen(m_state->pen) : QPen(Qt::NoPen));
    if (brush && !m_state->brush.null)
        p->setBrush(ToQColor(m_state->brush.color));
    else
        p->setBrush(Qt::NoBrush);
    return p;
}

void DrawContext::DrawPath(const QPainterPath& path, bool stroke, bool fill)
{
    if (fill && !m_state->brush.null)
    {
        if (QPainter* p = Prepare(false, true))
            p->fillPath(path, ToQColor(m_state->brush.color));
    }
    if (stroke && m_state->pen.style != PS_NULL)
    {
        if (QPainter* p = Prepare(true, false))
            p->drawPath(path);
    }
}

void DrawContext::FillSolidRect(const Rect& r, ColorRef c)
{
    if (QPainter* p = Prepare(false, false); p && !r.IsRectEmpty())
        p->fillRect(r.ToQRect(), ToQColor(c));
}

void DrawContext::FillRect(const Rect& r, const Brush& b)
{
    if (!b.null)
        FillSolidRect(r, b.color);
}

void DrawContext::FrameRect(const Rect& r, const Brush& b)
{
    if (b.null || r.IsRectEmpty())
        return;
    FillSolidRect({r.left, r.top, r.right, r.top + 1}, b.color);
    FillSolidRect({r.left, r.bottom - 1, r.right, r.bottom}, b.color);
    FillSolidRect({r.left, r.top, r.left + 1, r.bottom}, b.color);
    FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, b.color);
}

void DrawContext::Draw3dRect(const Rect& r, ColorRef topLeft, ColorRef bottomRight)
{
    if (r.IsRectEmpty())
        return;
    FillSolidRect({r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillSolidRect({r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolidRect({r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

void DrawContext::Rectangle(const Rect& r)
{
    if (r.IsRectEmpty())
        return;
    const Pen& pen = m_state->pen;
    if (!m_state->brush.null)
    {
        // A null pen leaves the right column and bottom row unfilled.
        const Rect inner =
            pen.style == PS_NULL ? Rect{r.left, r.top, r.right - 1, r.bottom - 1} : r;
        FillSolidRect(inner, m_state->brush.color);
    }
    if (pen.style == PS_NULL)
        return;
    if (pen.width <= 1 && pen.style == PS_SOLID)
    {
        FrameRect(r, Brush::Solid(pen.color));
        return;
    }
    const double inset = pen.style == PS_INSIDEFRAME ? (pen.width - 1) / 2.0 : 0.0;
    QPainterPath path;
    path.addRect(QRectF(r.left + inset, r.top + inset, r.Width() - 1 - 2 * inset,
                        r.Height() - 1 - 2 * inset));
    DrawPath(path, true, false);
}

ColorRef DrawContext::SetPixel(QPoint p, ColorRef c)
{
    FillSolidRect({p.x(), p.y(), p.x() + 1, p.y() + 1}, c);
    return c;
}

ColorRef DrawContext::GetPixel(QPoint p) const
{
    const QImage* img = m_state->image;
    if (!img)
        return CLR_INVALID;
    const QPoint d = p - m_state->windowOrg;
    if (!img->valid(d))
        return CLR_INVALID;
    return FromQColor(QColor::fromRgb(img->pixel(d)));
}

namespace
{
// Figure box in pixel-centre space: the outline runs inside the box without its right column
// and bottom row; an inside-frame pen shrinks it further so the whole stroke fits.
QRectF FigureBox(const Rect& box, const Pen& pen)
{
    const double inset =
        (pen.style == PS_INSIDEFRAME && pen.width > 1) ? (pen.width - 1) / 2.0 : 0.0;
    return QRectF(box.left + inset, box.top + inset, box.Width() - 1 - 2 * inset,
                  box.Height() - 1 - 2 * inset);
}
} // namespace

void DrawContext::Ellipse(const Rect& box)
{
    if (box.Width() <= 0 || box.Height() <= 0)
        return;
    QPainterPath path;
    path.addEllipse(FigureBox(box, m_state->pen));
    DrawPath(path, true, true);
}

void DrawContext::Arc(const Rect& box, QPoint start, QPoint end)
{
    if (box.Width() <= 0 || box.Height() <= 0 || m_state->pen.style == PS_NULL)
        return;
    const QRectF fb = FigureBox(box, m_state->pen);
    const QPointF c = fb.center();
    // Angles on screen, counter-clockwise positive (y grows downward).
    const double a1 = std::atan2(-(start.y() - c.y()), start.x() - c.x()) * 180.0 / M_PI;
    const double a2 = std::atan2(-(end.y() - c.y()), end.x() - c.x()) * 180.0 / M_PI;
    double span = a2 - a1;
    while (span <= 0.0)
        span += 360.0;
    while (span > 360.0)
        span -= 360.0;
    QPainterPath path;
    path.arcMoveTo(fb, a1);
    path.arcTo(fb, a1, span);
    DrawPath(path, true, false);
}

void DrawContext::Polygon(const QPoint* points, int count)
{
    if (!points || count < 2)
        return;
    QPainterPath path;
    path.setFillRule(m_state->polyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    path.moveTo(points[0]);
    for (int i = 1; i < count; ++i)
        path.lineTo(points[i]);
    path.closeSubpath();
    DrawPath(path, true, true);
}

void DrawContext::Polyline(const QPoint* points, int count)
{
    if (!points || count < 2)
        return;
    QPainterPath path;
    path.moveTo(points[0]);
    for (int i = 1; i < count; ++i)
        path.lineTo(points[i]);
    DrawPath(path, true, false);
}

void DrawContext::FillPolygonRgn(const QPoint* points, int count, const Brush& b, int fillMode)
{
    if (!points || count < 3 || b.null)
        return;
    QPainterPath path;
    path.setFillRule(fillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    path.moveTo(points[0]);
    for (int i = 1; i < count; ++i)
        path.lineTo(points[i]);
    path.closeSubpath();
    if (QPainter* p = Prepare(false, true))
        p->fillPath(path, ToQColor(b.color));
}

QPoint DrawContext::MoveTo(QPoint p)
{
    if (m_state->inPath)
        m_state->path.moveTo(p);
    return std::exchange(m_state->current, p);
}

void DrawContext::LineTo(QPoint p)
{
    if (m_state->inPath)
    {
        if (m_state->path.elementCount() == 0)
            m_state->path.moveTo(m_state->current);
        m_state->path.lineTo(p);
    }
    else if (m_state->pen.style != PS_NULL)
    {
        // Qt leaves out the first pixel of a thin line drawn upwards or to the left and keeps
        // its last; LineTo keeps the first and leaves out the last in every direction.
        constexpr int kMaxRasterised = 1 << 14;
        const QPoint d = p - m_state->current;
        const bool thinSolid = m_state->pen.style == PS_SOLID && m_state->pen.width <= 1;
        if (thinSolid && std::abs(d.x()) < kMaxRasterised && std::abs(d.y()) < kMaxRasterised)
        {
            if (QPainter* painter = Prepare(true, false))
                painter->drawPoints(LinePixels(m_state->current, p));
        }
        else
        {
            QPainterPath path;
            path.moveTo(m_state->current);
            path.lineTo(p);
            DrawPath(path, true, false);
        }
    }
    m_state->current = p;
}

QPolygon LinePixels(QPoint from, QPoint to)
{
    QPolygon out;
    const long long dx = std::llabs(static_cast<long long>(to.x()) - from.x());
    const long long dy = -std::llabs(static_cast<long long>(to.y()) - from.y());
    const int sx = from.x() < to.x() ? 1 : -1;
    const int sy = from.y() < to.y() ? 1 : -1;
    out.reserve(static_cast<int>(std::min<long long>(std::max(dx, -dy), 1 << 20)));
    long long err = dx + dy;
    int x = from.x();
    int y = from.y();
    while (x != to.x() || y != to.y())
    {
        out << QPoint(x, y);
        const long long e2 = 2 * err;
        if (e2 >= dy)
        {
            err += dy;
            x += sx;
        }
        if (e2 <= dx)
        {
            err += dx;
            y += sy;
        }
    }
    return out;
}

QPoint DrawContext::GetCurrentPosition() const
{
    return m_state->current;
}

void DrawContext::PolyBezierTo(const QPoint* points, int count)
{
    if (!points || count < 3)
        return;
    QPainterPath local;
    QPainterPath& path = m_state->inPath ? m_state->path : local;
    if (path.elementCount() == 0)
        path.moveTo(m_state->current);
    for (int i = 0; i + 2 < count; i += 3)
    {
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
        m_state->current = points[i + 2];
    }
    if (!m_state->inPath)
        DrawPath(local, true, false);
}

void DrawContext::BeginPath()
{
    m_state->path = QPainterPath();
    m_state->inPath = true;
}

void DrawContext::EndPath()
{
    m_state->inPath = false;
}

void DrawContext::AbortPath()
{
    m_state->path = QPainterPath();
    m_state->inPath = false;
}

void DrawContext::CloseFigure()
{
    if (m_state->inPath)
        m_state->path.closeSubpath();
}

void DrawContext::StrokePath()
{
    QPainterPath path = std::exchange(m_state->path, QPainterPath());
    m_state->inPath = false;
    DrawPath(path, true, false);
}

void DrawContext::FillPath()
{
    QPainterPath path = ClosedCopy(std::exchange(m_state->path, QPainterPath()));
    m_state->inPath = false;
    path.setFillRule(m_state->polyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    DrawPath(path, false, true);
}

void DrawContext::StrokeAndFillPath()
{
    QPainterPath path = ClosedCopy(std::exchange(m_state->path, QPainterPath()));
    m_state->inPath = false;
    path.setFillRule(m_state->polyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    DrawPath(path, true, true);
}

void DrawContext::TextOut(int x, int y, const QString& text)
{
    QPainter* p = Prepare(false, false);
    if (!p || text.isEmpty())
        return;
    p->setFont(m_state->font);
    const QFontMetrics fm = p->fontMetrics();
    if (m_state->bkMode == OPAQUE)
        p->fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()),
                    ToQColor(m_state->bkColor));
    p->setPen(ToQColor(m_state->textColor));
    p->drawText(QPoint(x, y + fm.ascent()), text);
}

int DrawContext::DrawText(const QString& text, Rect& rect, unsigned format)
{
    QString t = (format & DT_NOPREFIX) ? text : StripPrefix(text);
    QFontMetrics fm(m_state->font, m_state->device);
    int flags = 0;
    if (format & DT_CENTER)
        flags |= Qt::AlignHCenter;
    else if (format & DT_RIGHT)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (format & DT_SINGLELINE)
    {
        // One line: line breaks do not break.
        t.replace(QLatin1String("\r\n"), QLatin1String(" "));
        t.replace(u'\n', u' ');
        t.replace(u'\r', u' ');
        flags |= Qt::TextSingleLine;
        if (format & DT_VCENTER)
            flags |= Qt::AlignVCenter;
        else if (format & DT_BOTTOM)
            flags |= Qt::AlignBottom;
        else
            flags |= Qt::AlignTop;
    }
    else
    {
        t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        flags |= Qt::AlignTop;
        if (format & DT_WORDBREAK)
            flags |= Qt::TextWordWrap;
    }
    if (format & DT_EXPANDTABS)
        flags |= Qt::TextExpandTabs;
    if ((format & DT_END_ELLIPSIS) && (format & DT_SINGLELINE))
        t = fm.elidedText(t, Qt::ElideRight, std::max(0, rect.Width()), Qt::TextSingleLine);

    const QRect r = rect.ToQRect();
    const int tabStop = 8 * std::max(1, fm.averageCharWidth());
    QRect bound =
        fm.boundingRect(QRect(r.x(), r.y(), std::max(0, r.width()), 0),
                        (flags & ~(Qt::AlignVCenter | Qt::AlignBottom)) | Qt::AlignTop, t, tabStop);
    if (format & DT_CALCRECT)
    {
        if (format & DT_SINGLELINE)
            rect.right = rect.left + fm.horizontalAdvance(t);
        else
            rect.right = rect.left + std::max(bound.width(), 0);
        rect.bottom = rect.top + bound.height();
        return bound.height();
    }
    QPainter* p = Prepare(false, false);
    if (!p || t.isEmpty())
        return bound.height();
    p->save();
    p->setFont(m_state->font);
    if (!(format & DT_NOCLIP))
        p->setClipRect(r, Qt::IntersectClip);
    else
        flags |= Qt::TextDontClip;
    if (m_state->bkMode == OPAQUE)
    {
        const QRect drawn = p->boundingRect(r, flags, t);
        p->fillRect(drawn, ToQColor(m_state->bkColor));
    }
    p->setPen(ToQColor(m_state->textColor));
    p->drawText(r, flags, t);
    p->restore();
    return bound.height();
}

TextMetrics DrawContext::GetTextMetrics() const
{
    const QFontMetrics fm(m_state->font, m_state->device);
    TextMetrics tm;
    tm.ascent = fm.ascent();
    tm.descent = fm.descent();
    tm.height = fm.height();
    const QFontInfo info(m_state->font);
    tm.internalLeading = std::max(0, tm.height - info.pixelSize());
    tm.externalLeading = std::max(0, fm.leading());
    tm.aveCharWidth = fm.averageCharWidth();
    tm.maxCharWidth = fm.maxWidth();
    return tm;
}

QSize DrawContext::GetTextExtent(const QString& text) const
{
    const QFontMetrics fm(m_state->font, m_state->device);
    return {fm.horizontalAdvance(text), fm.height()};
}

QSize DrawContext::GetTabbedTextExtent(const QString& text) const
{
    const QFontMetrics fm(m_state->font, m_state->device);
    return {TabbedTextWidth(fm, text), fm.height()};
}

int TabbedTextWidth(const QFontMetrics& metrics, const QString& text)
{
    const int stop = 8 * std::max(1, metrics.averageCharWidth());
    int x = 0;
    const QStringList parts = text.split(u'\t');
    for (qsizetype i = 0; i < parts.size(); ++i)
    {
        if (i > 0)
            x = (x / stop + 1) * stop;
        x += metrics.horizontalAdvance(parts[i]);
    }
    return x;
}

bool DrawContext::BitBlt(int x, int y, int w, int h, const DrawContext& src, int sx, int sy)
{
    const QImage* img = src.m_state->image;
    if (!img)
        return false;
    // Source coordinates are logical in the source context.
    const QPoint o = src.m_state->windowOrg;
    return BitBlt(x, y, w, h, *img, sx - o.x(), sy - o.y());
}

bool DrawContext::BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy)
{
    QPainter* p = Prepare(false, false);
    if (!p || w <= 0 || h <= 0 || src.isNull())
        return false;
    // Only the part that lies on the source is copied.
    const QRect wanted(sx, sy, w, h);
    const QRect part = wanted.intersected(src.rect());
    if (part.isEmpty())
        return true;
    p->setCompositionMode(QPainter::CompositionMode_Source);
    if (&src == m_state->image)
    {
        const QImage copy = src.copy(part);
        p->drawImage(QPoint(x + part.x() - sx, y + part.y() - sy), copy);
    }
    else
    {
        p->drawImage(QPoint(x + part.x() - sx, y + part.y() - sy), src, part);
    }
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

bool DrawContext::StretchBlt(int x, int y, int w, int h, const DrawContext& src, int sx, int sy,
                             int sw, int sh)
{
    const QImage* img = src.m_state->image;
    if (!img)
        return false;
    const QPoint o = src.m_state->windowOrg;
    return StretchBlt(x, y, w, h, *img, sx - o.x(), sy - o.y(), sw, sh);
}

bool DrawContext::StretchBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw,
                             int sh)
{
    QPainter* p = Prepare(false, false);
    if (!p || w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || src.isNull())
        return false;
    const QImage part = src.copy(sx, sy, sw, sh);
    const QImage scaled = StretchImage(part, QSize(w, h), m_state->stretchMode);
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(QPoint(x, y), scaled);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

QImage StretchImage(const QImage& src, QSize size, int mode)
{
    if (src.isNull() || size.isEmpty())
        return QImage();
    if (mode == HALFTONE)
        return src.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    const QImage s = src.convertToFormat(QImage::Format_RGB32);
    if (mode != BLACKONWHITE && mode != WHITEONBLACK)
        return s.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // Shrinking merges source pixels: AND keeps black, OR keeps white. Growing repeats pixels.
    const bool andMode = mode == BLACKONWHITE;
    const int sw = s.width();
    const int sh = s.height();
    const int w = size.width();
    const int h = size.height();
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
    {
        const int y0 = static_cast<int>(static_cast<long long>(y) * sh / h);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(y + 1) * sh / h));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
        {
            const int x0 = static_cast<int>(static_cast<long long>(x) * sw / w);
            const int x1 =
                std::max(x0 + 1, static_cast<int>(static_cast<long long>(x + 1) * sw / w));
            QRgb acc = andMode ? 0xFFFFFFFFu : 0xFF000000u;
            for (int yy = y0; yy < y1; ++yy)
            {
                const auto* line = reinterpret_cast<const QRgb*>(s.constScanLine(yy));
                for (int xx = x0; xx < x1; ++xx)
                    acc = andMode ? (acc & line[xx]) : (acc | line[xx]);
            }
            dst[x] = acc | 0xFF000000u;
        }
    }
    return out;
}

} // namespace zef::Glimra
