#pragma once

// DrawContext: Glimra's drawing layer over QPainter with the semantics of a Win32 GDI device
// context, so the controls' pixel geometry works as designed:
//
// - Colours are 0x00BBGGRR values (ColorRef) everywhere; they become QColor only here.
// - One pen, one brush and one font are "selected"; Select* answers the previous one.
//   Pens draw outlines and lines, brushes fill interiors, the text colour (separate from the
//   pen) draws text; the background colour and mode (OPAQUE/TRANSPARENT) fill behind text.
// - Integer coordinates name pixels: the point (x, y) is the pixel whose top-left corner is
//   (x, y). Rect has exclusive right and bottom edges (Rect{0, 0, 10, 10} covers 10 x 10
//   pixels), unlike QRect::right(). Figures (Ellipse, Rectangle, Polygon, Arc, paths) take
//   their bounding boxes the GDI way: outline inside the box without its right column and
//   bottom row; a null pen leaves the filled figure one pixel smaller at right and bottom.
// - Drawing is not antialiased (text is), like GDI.
// - PS_INSIDEFRAME pens of width w draw figures shrunk so the whole stroke stays inside the
//   bounding box. Pens wider than 1 have round caps and joins.
// - Arc runs counter-clockwise on screen from the ray through its start point to the ray
//   through its end point (GDI's default arc direction).
// - Polygons and polygon regions fill in the selected fill mode (ALTERNATE by default).
// - Paths: BeginPath, then MoveTo/LineTo/PolyBezierTo/CloseFigure record instead of draw;
//   EndPath ends the bracket; StrokePath/FillPath/StrokeAndFillPath consume the path
//   (open figures are closed for filling).
// - DrawText understands the DT_* flags below; BitBlt and StretchBlt copy from a memory
//   context's selected bitmap (or straight from a QImage); StretchBlt honours the four
//   stretch modes (BLACKONWHITE = AND of merged pixels, WHITEONBLACK = OR, COLORONCOLOR =
//   nearest pixel, HALFTONE = smoothed).
// - A memory context (default constructor) draws into the QImage selected with SelectBitmap,
//   like a GDI memory DC; without a bitmap, drawing does nothing.
// - SetWindowOrg moves the logical origin: logical (x, y) lands on device (x - ox, y - oy).
//
// A new context has: black solid 1-pixel pen, white solid brush, the application's general
// font, text colour black, background colour white, mode OPAQUE, ALTERNATE fill,
// BLACKONWHITE stretching, window origin (0, 0). A context is not copyable; MemoryDC may
// share the output of another (see MemoryDC.h).

#include "controls/GlimraExport.h"

#include <QFont>
#include <QFontMetrics>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

class QColor;
class QImage;
class QPaintDevice;
class QPainter;
class QPainterPath;
class QWidget;

namespace zef::Glimra
{

using ColorRef = std::uint32_t; // 0x00BBGGRR

constexpr ColorRef CLR_INVALID = 0xFFFFFFFF;

constexpr ColorRef MakeRgb(int r, int g, int b)
{
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(ColorRef c)
{
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(ColorRef c)
{
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(ColorRef c)
{
    return static_cast<int>((c >> 16) & 0xFF);
}

GLIMRA_API QColor ToQColor(ColorRef c);
GLIMRA_API ColorRef FromQColor(const QColor& c);

// System colours, read from the application palette.
enum SysColor
{
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
};
GLIMRA_API ColorRef GetSysColor(int index);

// Rectangle with exclusive right and bottom edges.
struct GLIMRA_API Rect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr Rect() = default;
    constexpr Rect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    static Rect FromQRect(const QRect& r)
    {
        return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
    }
    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
    constexpr bool PtInRect(QPoint p) const
    {
        return p.x() >= left && p.x() < right && p.y() >= top && p.y() < bottom;
    }
    constexpr QPoint TopLeft() const { return {left, top}; }
    constexpr void OffsetRect(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    constexpr void DeflateRect(int dx, int dy)
    {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
    }
    constexpr bool operator==(const Rect&) const = default;
};

enum PenStyle
{
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
};

struct GLIMRA_API Pen
{
    int style = PS_SOLID;
    int width = 1;
    ColorRef color = 0;

    static constexpr Pen Solid(int width, ColorRef color) { return {PS_SOLID, width, color}; }
    static constexpr Pen Null() { return {PS_NULL, 0, 0}; }
    constexpr bool operator==(const Pen&) const = default;
};

struct GLIMRA_API Brush
{
    bool null = false;
    ColorRef color = 0x00FFFFFF;

    static constexpr Brush Solid(ColorRef color) { return {false, color}; }
    static constexpr Brush Null() { return {true, 0}; }
    constexpr bool operator==(const Brush&) const = default;
};

enum BkMode
{
    TRANSPARENT = 1,
    OPAQUE = 2,
};

enum PolyFillMode
{
    ALTERNATE = 1,
    WINDING = 2,
};

enum StretchMode
{
    BLACKONWHITE = 1,
    WHITEONBLACK = 2,
    COLORONCOLOR = 3,
    HALFTONE = 4,
};

// DrawText format flags.
enum DrawTextFormat : unsigned
{
    DT_TOP = 0x0,
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
};

struct GLIMRA_API TextMetrics
{
    int height = 0; // ascent + descent
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0;
    int externalLeading = 0;
    int aveCharWidth = 0;
    int maxCharWidth = 0;
};

class GLIMRA_API DrawContext
{
public:
    // Memory context: draws into the bitmap selected with SelectBitmap.
    DrawContext();
    // Paints on a device (a widget inside its paintEvent, a QImage, a QPixmap).
    explicit DrawContext(QPaintDevice* device);
    // Paints through an active painter owned by the caller (its transform is kept as base).
    explicit DrawContext(QPainter& painter);
    virtual ~DrawContext();

    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    bool IsValid() const; // something to draw on
    bool IsPrinting() const;
    void SetPrinting(bool printing);
    int GetLogPixelsY() const; // 0 without a device
    Rect GetClipBox() const;   // device area in logical coordinates

    // Selection; each answers what was selected before.
    Pen SelectPen(const Pen& pen);
    Brush SelectBrush(const Brush& brush);
    QFont SelectFont(const QFont& font);
    QImage* SelectBitmap(QImage* bitmap); // memory contexts only; nullptr deselects
    const Pen& GetPen() const;
    const Brush& GetBrush() const;
    const QFont& GetFont() const;
    QImage* GetBitmap() const;

    ColorRef SetTextColor(ColorRef c);
    ColorRef GetTextColor() const;
    ColorRef SetBkColor(ColorRef c);
    ColorRef GetBkColor() const;
    int SetBkMode(int mode);
    int GetBkMode() const;
    int SetPolyFillMode(int mode);
    int GetPolyFillMode() const;
    int SetStretchBltMode(int mode);
    int GetStretchBltMode() const;
    QPoint SetBrushOrg(QPoint org);
    QPoint SetWindowOrg(QPoint org);
    QPoint GetWindowOrg() const;

    // Rectangles (exclusive right/bottom).
    void FillSolidRect(const Rect& r, ColorRef c); // background colour stays unchanged
    void FillRect(const Rect& r, const Brush& b);
    void FrameRect(const Rect& r, const Brush& b);
    void Draw3dRect(const Rect& r, ColorRef topLeft, ColorRef bottomRight);
    void Rectangle(const Rect& r);
    ColorRef SetPixel(QPoint p, ColorRef c);
    ColorRef GetPixel(QPoint p) const; // memory contexts and images; CLR_INVALID otherwise

    // Figures with the selected pen and brush.
    void Ellipse(const Rect& box);
    void Arc(const Rect& box, QPoint start, QPoint end); // counter-clockwise
    void Polygon(const QPoint* points, int count);
    void Polyline(const QPoint* points, int count);
    // Polygon region painted with a brush, no outline.
    void FillPolygonRgn(const QPoint* points, int count, const Brush& b, int fillMode = ALTERNATE);

    // Lines and paths. Outside a path bracket MoveTo/LineTo draw with the pen.
    QPoint MoveTo(QPoint p);
    void LineTo(QPoint p);
    QPoint GetCurrentPosition() const;
    void PolyBezierTo(const QPoint* points, int count); // count a multiple of 3
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void StrokePath();
    void FillPath();
    void StrokeAndFillPath();

    // Text with the selected font, text colour and background mode.
    void TextOut(int x, int y, const QString& text);                // top-left aligned
    int DrawText(const QString& text, Rect& rect, unsigned format); // answers the text height
    TextMetrics GetTextMetrics() const;
    QSize GetTextExtent(const QString& text) const;
    QSize GetTabbedTextExtent(const QString& text) const; // tab stops every 8 average chars

    // Block copies: from a memory context's bitmap or from an image.
    bool BitBlt(int x, int y, int w, int h, const DrawContext& src, int sx, int sy);
    bool BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy);
    bool StretchBlt(int x, int y, int w, int h, const DrawContext& src, int sx, int sy, int sw,
                    int sh);
    bool StretchBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw, int sh);

    QPainter* Painter(); // the underlying painter, state not applied; nullptr if none

protected:
    struct State;
    // Used by MemoryDC: draw on another context's output (shared state).
    void ShareStateOf(DrawContext& other);
    void UseOwnImage(QImage* image);

private:
    QPainter* Prepare(bool pen, bool brush);
    void DrawPath(const QPainterPath& path, bool stroke, bool fill);

    std::shared_ptr<State> m_state;
};

// Width of `text` with tab stops every eight average characters of `metrics`.
GLIMRA_API int TabbedTextWidth(const QFontMetrics& metrics, const QString& text);

// The pixels a one-pixel LineTo from `from` to `to` sets: from the first point up to, but not
// including, the last, in drawing order, whichever the direction.
GLIMRA_API QPolygon LinePixels(QPoint from, QPoint to);

// Pure helper behind StretchBlt: scales src to size with a stretch mode.
GLIMRA_API QImage StretchImage(const QImage& src, QSize size, int mode);

} // namespace zef::Glimra
