#include "controls/BmpCtrl.h"

#include "controls/MemoryDC.h"

#include <QImageReader>

namespace zef::Glimra
{

bool BmpCtrl::IsValidStyle(int style)
{
    if (style == 1 || style == 2)
        return true;
    const int base = style & ~STYLE_KEEP_ASPECT;
    if ((style & ~0x1FF) != 0)
        return false;
    return base == 20 || base == 36 || base == 68 || base == 132;
}

BmpPlacement BmpPlacement::Compute(int style, int cw, int ch, int bw, int bh)
{
    BmpPlacement p;
    if (bw <= 0 || bh <= 0 || cw <= 0 || ch <= 0)
        return p;
    const int base = style & ~BmpCtrl::STYLE_KEEP_ASPECT;
    p.draw = true;
    if (base == 1 || base == 2)
    {
        if (base == 2)
        {
            if (cw > bw)
                p.x0 = (cw - bw) / 2;
            if (ch > bh)
                p.y0 = (ch - bh) / 2;
        }
        p.buffered = cw > bw || ch > bh;
        p.w = cw;
        p.h = ch;
        return p;
    }
    p.stretch = true;
    switch (base)
    {
    case 36:
        p.mode = WHITEONBLACK;
        break;
    case 68:
        p.mode = COLORONCOLOR;
        break;
    case 132:
        p.mode = HALFTONE;
        break;
    default:
        p.mode = BLACKONWHITE;
        break;
    }
    p.w = cw;
    p.h = ch;
    if (style & BmpCtrl::STYLE_KEEP_ASPECT)
    {
        const double rb = static_cast<double>(bh) / bw;
        const double rc = static_cast<double>(ch) / cw;
        if (rc <= rb)
        {
            p.w = static_cast<int>(ch / rb);
            p.x0 = (cw - p.w) / 2;
        }
        else
        {
            p.h = static_cast<int>(rb * cw);
            p.y0 = (ch - p.h) / 2;
        }
    }
    return p;
}

BmpCtrl::BmpCtrl(QWidget* parent) : QWidget(parent), m_bkColor(GetSysColor(COLOR_BTNFACE))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

BmpCtrl::~BmpCtrl() = default;

bool BmpCtrl::Load(const QString& path)
{
    m_bitmap = QImage();
    // Only device-independent bitmaps: the BMP reader, whatever the file claims to be.
    QImageReader reader(path, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage img;
    if (reader.read(&img) && !img.isNull())
        m_bitmap = img.convertToFormat(QImage::Format_RGB32);
    if (!m_bitmap.isNull())
        Redraw();
    return !m_bitmap.isNull();
}

void BmpCtrl::Clear()
{
    m_bitmap = QImage();
}

bool BmpCtrl::SetStyle(int style)
{
    if (!IsValidStyle(style))
        return false;
    m_style = style;
    Redraw();
    return true;
}

void BmpCtrl::SetCenter(bool center)
{
    SetStyle(center ? 2 : 1);
}

void BmpCtrl::SetBkColor(unsigned long color)
{
    m_bkColor = static_cast<ColorRef>(color);
    Redraw();
}

void BmpCtrl::DirectRedraw(bool on)
{
    if (on == m_directRedraw)
        return;
    m_directRedraw = on;
    if (on)
        Redraw();
}

void BmpCtrl::Redraw()
{
    if (m_directRedraw)
        repaint();
}

void BmpCtrl::paintEvent(QPaintEvent*)
{
    DrawContext dc(this);
    Paint(dc);
}

void BmpCtrl::Paint(DrawContext& dc)
{
    dc.SetBkColor(m_bkColor);
    const Rect client = Rect::FromQRect(rect());
    if (m_bitmap.isNull())
    {
        dc.FillSolidRect(client, m_bkColor);
        return;
    }
    const BmpPlacement p = BmpPlacement::Compute(m_style, client.Width(), client.Height(),
                                                 m_bitmap.width(), m_bitmap.height());
    if (!p.draw)
        return;
    if (!p.stretch)
    {
        if (p.buffered)
        {
            MemoryDC mem(dc, client);
            mem.BitBlt(client.left + p.x0, client.top + p.y0, p.w, p.h, m_bitmap, 0, 0);
        }
        else
        {
            dc.BitBlt(client.left + p.x0, client.top + p.y0, p.w, p.h, m_bitmap, 0, 0);
        }
        return;
    }
    dc.SetStretchBltMode(p.mode);
    if (p.mode == HALFTONE)
        dc.SetBrushOrg({0, 0});
    dc.StretchBlt(client.left + p.x0, client.top + p.y0, p.w, p.h, m_bitmap, 0, 0, m_bitmap.width(),
                  m_bitmap.height());
}

} // namespace zef::Glimra
