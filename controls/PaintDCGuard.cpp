#include "controls/PaintDCGuard.h"

namespace zef::Glimra
{

PaintDCGuard::~PaintDCGuard()
{
    RestorePen();
    RestoreBrush();
    RestoreFont();
    RestoreBitmap();
    RestoreTextColor();
    RestoreBkColor();
    RestoreBkMode();
}

void PaintDCGuard::SetPen(const Pen& pen)
{
    Pen old = m_dc.SelectPen(pen);
    if (!m_oldPen)
        m_oldPen = old;
}

void PaintDCGuard::SetBrush(const Brush& brush)
{
    Brush old = m_dc.SelectBrush(brush);
    if (!m_oldBrush)
        m_oldBrush = old;
}

void PaintDCGuard::SetFont(const QFont& font)
{
    QFont old = m_dc.SelectFont(font);
    if (!m_oldFont)
        m_oldFont = old;
}

void PaintDCGuard::SetBitmap(QImage* bitmap)
{
    QImage* old = m_dc.SelectBitmap(bitmap);
    if (!m_oldBitmap)
        m_oldBitmap = old;
}

void PaintDCGuard::SetTextColor(ColorRef c)
{
    ColorRef old = m_dc.SetTextColor(c);
    if (m_oldTextColor == CLR_INVALID)
        m_oldTextColor = old;
}

void PaintDCGuard::SetBkColor(ColorRef c)
{
    ColorRef old = m_dc.SetBkColor(c);
    if (m_oldBkColor == CLR_INVALID)
        m_oldBkColor = old;
}

void PaintDCGuard::SetBkMode(int mode)
{
    int old = m_dc.SetBkMode(mode);
    if (!m_bkModeChanged && old != 0)
    {
        m_oldBkMode = old;
        m_bkModeChanged = true;
    }
}

void PaintDCGuard::RestorePen()
{
    if (m_oldPen)
        m_dc.SelectPen(*m_oldPen);
    m_oldPen.reset();
}

void PaintDCGuard::RestoreBrush()
{
    if (m_oldBrush)
        m_dc.SelectBrush(*m_oldBrush);
    m_oldBrush.reset();
}

void PaintDCGuard::RestoreFont()
{
    if (m_oldFont)
        m_dc.SelectFont(*m_oldFont);
    m_oldFont.reset();
}

void PaintDCGuard::RestoreBitmap()
{
    if (m_oldBitmap)
        m_dc.SelectBitmap(*m_oldBitmap);
    m_oldBitmap.reset();
}

void PaintDCGuard::RestoreTextColor()
{
    if (m_oldTextColor != CLR_INVALID)
        m_dc.SetTextColor(m_oldTextColor);
    m_oldTextColor = CLR_INVALID;
}

void PaintDCGuard::RestoreBkColor()
{
    if (m_oldBkColor != CLR_INVALID)
        m_dc.SetBkColor(m_oldBkColor);
    m_oldBkColor = CLR_INVALID;
}

void PaintDCGuard::RestoreBkMode()
{
    if (m_bkModeChanged)
        m_dc.SetBkMode(m_oldBkMode);
    m_bkModeChanged = false;
}

} // namespace zef::Glimra
