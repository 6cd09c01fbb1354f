#include "controls/MemoryDC.h"

#include <vector>

namespace zef::Glimra
{

namespace
{

// Controls repaint at the same size many times a second: a few released bitmaps are kept
// for reuse, which spares allocating (and the system zeroing) a large block per paint.
// Painting runs on the UI thread only; the pool is per thread all the same.
std::vector<std::unique_ptr<QImage>>& Pool()
{
    thread_local std::vector<std::unique_ptr<QImage>> pool;
    return pool;
}

std::unique_ptr<QImage> TakeBitmap(int w, int h)
{
    auto& pool = Pool();
    for (auto it = pool.begin(); it != pool.end(); ++it)
    {
        if ((*it)->width() == w && (*it)->height() == h)
        {
            std::unique_ptr<QImage> img = std::move(*it);
            pool.erase(it);
            return img;
        }
    }
    return std::make_unique<QImage>(w, h, QImage::Format_RGB32);
}

void GiveBack(std::unique_ptr<QImage> img)
{
    constexpr std::size_t kKeep = 4;
    if (!img || img->isNull() || !img->isDetached())
        return;
    auto& pool = Pool();
    if (pool.size() >= kKeep)
        pool.erase(pool.begin());
    pool.push_back(std::move(img));
}

} // namespace

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
        m_bitmap = TakeBitmap(w, h);
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
        GiveBack(std::move(m_bitmap));
    }
}

} // namespace zef::Glimra
