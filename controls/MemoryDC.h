#pragma once

// MemoryDC: off-screen surface for flicker-free painting. Draw on it at the target's logical
// coordinates; its destruction copies the painted rectangle to the target in one block.
// It starts filled with the target's background colour. On a printing target it draws
// straight on the target (sharing its state) and copies nothing.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

#include <QImage>

#include <memory>

namespace zef::Glimra
{

class GLIMRA_API MemoryDC : public DrawContext
{
public:
    explicit MemoryDC(DrawContext& target); // the target's clip box
    MemoryDC(DrawContext& target, const Rect& rect);
    ~MemoryDC() override;

    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    bool IsBuffered() const { return m_buffered; }
    const Rect& GetRect() const { return m_rect; }

private:
    void Init();

    std::unique_ptr<QImage> m_bitmap;
    DrawContext& m_target;
    Rect m_rect;
    bool m_buffered = false;
};

} // namespace zef::Glimra
