#include "controls/MemoryDC.h"

namespace zef::Glimra
{

MemoryDC::MemoryDC(DrawContext& target) : m_target(target), m_rect(target.GetClipBox())
{
    Init();
}

MemoryDC::MemoryDC(DrawContext& target, const Rect& rect) : m_target(target), m_rect(rect)
{
    Init();
}

void MemoryDC::Init()
{
    m_buffered = !m_target.IsPrinting();
    if (m_buffered)
    {
        const int w = std::max(0, m_rect.Width());
        const int h = std::max(0, m_rect.Height());
        m_bitmap = std::make_unique<QImage>(w, h, QImage::Format_RGB32);
        UseOwnImage(m_bitmap.get());
        // Drawing at the target's logical coordinates lands on the bitmap.
        SetWindowOrg(m_rect.TopLeft());
    }
    else
    {
        ShareStateOf(m_target);
    }
    FillSolidRect(m_rect, m_target.GetBkColor());
}

MemoryDC::~MemoryDC()
{
    if (m_buffered)
    {
        SelectBitmap(nullptr); // finish painting before the copy
        if (m_bitmap && !m_bitmap->isNull())
            m_target.BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), *m_bitmap, 0,
                            0);
    }
}

} // namespace zef::Glimra
