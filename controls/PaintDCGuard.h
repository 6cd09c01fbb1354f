#pragma once

// PaintDCGuard: puts a drawing context back into the state in which the guard found it.
// Each Set* remembers the previous value only on the first change of its kind; Restore*
// puts it back and forgets it. The destructor restores pen, brush, font, bitmap, text colour,
// background colour and background mode, in this order. Bitmaps handed in stay the caller's.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

#include <QFont>

#include <optional>

namespace zef::Glimra
{

class GLIMRA_API PaintDCGuard
{
public:
    explicit PaintDCGuard(DrawContext& dc) : m_dc(dc) {}
    ~PaintDCGuard();

    PaintDCGuard(const PaintDCGuard&) = delete;
    PaintDCGuard& operator=(const PaintDCGuard&) = delete;

    void SetPen(const Pen& pen);
    void SetBrush(const Brush& brush);
    void SetFont(const QFont& font);
    void SetBitmap(QImage* bitmap);
    void SetTextColor(ColorRef c);
    void SetBkColor(ColorRef c);
    void SetBkMode(int mode);

    void RestorePen();
    void RestoreBrush();
    void RestoreFont();
    void RestoreBitmap();
    void RestoreTextColor();
    void RestoreBkColor();
    void RestoreBkMode();

private:
    DrawContext& m_dc;
    std::optional<Pen> m_oldPen;
    std::optional<Brush> m_oldBrush;
    std::optional<QFont> m_oldFont;
    std::optional<QImage*> m_oldBitmap;
    ColorRef m_oldTextColor = CLR_INVALID;
    ColorRef m_oldBkColor = CLR_INVALID;
    int m_oldBkMode = 0;
    bool m_bkModeChanged = false;
};

} // namespace zef::Glimra
