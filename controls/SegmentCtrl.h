#pragma once

// SegmentCtrl: a row of segment-display characters. Digits, space and "-" are seven-segment
// cells (fourteen-segment with STYLE_14_SEGMENT), "A".."Z", "*" and "+" fourteen-segment
// cells, "." and ":" narrow dot cells; other characters take no room. Lit segments are filled
// in the on colour, unlit ones in the off colour.
//
// Cells are designed on a grid 49 (dot cell 18) units wide and 83 high, y downward. Layout,
// point mapping and the Bezier fitting of rounded outlines are plain functions
// (LayoutCells, MapDesignPoint, FitBezier) that can be checked without painting.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

#include <QPointF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace zef::Glimra
{

// Point types of an outline.
constexpr std::uint8_t PT_LINETO = 2;
constexpr std::uint8_t PT_BEZIERTO = 4; // curve point, see FitBezier
constexpr std::uint8_t PT_MOVETO = 6;

struct GLIMRA_API SegmentOutline
{
    std::vector<QPoint> points;
    std::vector<std::uint8_t> types;
};

// Box of one cell in device coordinates (floating point).
struct GLIMRA_API CellBox
{
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    bool operator==(const CellBox&) const = default;
};

// One device path element: a move, a line, or a Bezier (two control points and the end).
struct GLIMRA_API PathOp
{
    std::uint8_t type = PT_MOVETO;
    QPoint pts[3];
};

class GLIMRA_API CDigiChar
{
public:
    static constexpr int HEIGHT = 83;

    CDigiChar(int width, int segmentCount) : m_width(width), m_segmentCount(segmentCount) {}
    virtual ~CDigiChar();
    CDigiChar(const CDigiChar&) = default;
    CDigiChar& operator=(const CDigiChar&) = default;

    // Discards the outlines, builds those of the style and stores the mask. The base class
    // only stores the mask.
    virtual void SetSegments(std::uint16_t mask, std::uint32_t style);
    virtual std::unique_ptr<CDigiChar> Clone() const;

    int GetWidth() const { return m_width; }
    int GetSegmentCount() const { return m_segmentCount; }
    std::uint16_t GetMask() const { return m_mask; }
    const std::vector<SegmentOutline>& GetOutlines() const { return m_outlines; }

    // Device paths of every segment in a box; cached until the box changes.
    const std::vector<std::vector<PathOp>>& DevicePaths(const CellBox& box) const;

protected:
    int m_width;
    int m_segmentCount;
    std::uint16_t m_mask = 0;
    std::vector<SegmentOutline> m_outlines;

private:
    mutable CellBox m_cacheBox;
    mutable bool m_cacheValid = false;
    mutable std::vector<std::vector<PathOp>> m_cache;
};

class GLIMRA_API CDigi7Segment : public CDigiChar
{
public:
    CDigi7Segment() : CDigiChar(49, 7) {}
    void SetSegments(std::uint16_t mask, std::uint32_t style) override;
    std::unique_ptr<CDigiChar> Clone() const override;
};

class GLIMRA_API CDigi14Segment : public CDigiChar
{
public:
    CDigi14Segment() : CDigiChar(49, 14) {}
    void SetSegments(std::uint16_t mask, std::uint32_t style) override;
    std::unique_ptr<CDigiChar> Clone() const override;
};

class GLIMRA_API CDigiColonDotChar : public CDigiChar
{
public:
    CDigiColonDotChar() : CDigiChar(18, 3) {}
    void SetSegments(std::uint16_t mask, std::uint32_t style) override;
    std::unique_ptr<CDigiChar> Clone() const override;
};

// The cell for one character with the given style, or nullptr.
GLIMRA_API std::unique_ptr<CDigiChar> MakeDigiChar(QChar c, std::uint32_t style);

// Cell boxes for cells of the given design widths in a W x H client area.
GLIMRA_API std::vector<CellBox> LayoutCells(const std::vector<int>& widths, int w, int h,
                                            std::uint32_t style);

// Device pixel of a design point in a cell box.
GLIMRA_API QPoint MapDesignPoint(QPoint design, const CellBox& box, int cellWidth);

// Outline colour between a fill colour and the background: 0.75 fill + 0.25 background.
GLIMRA_API ColorRef BlendOutline(ColorRef fill, ColorRef background);

// Control points of a cubic Bezier from p0 to p3 fitted to pass close to the curve points q.
struct GLIMRA_API BezierFit
{
    QPointF c1;
    QPointF c2;
};
GLIMRA_API BezierFit FitBezier(QPointF p0, const std::vector<QPointF>& q, QPointF p3);
// Sum of squared distances from q to the curve (the fitting's error measure).
GLIMRA_API double BezierError(QPointF p0, QPointF c1, QPointF c2, QPointF p3,
                              const std::vector<QPointF>& q);

class GLIMRA_API SegmentCtrl : public QWidget
{
    Q_OBJECT
public:
    static constexpr std::uint32_t STYLE_ROUNDED = 1;
    static constexpr std::uint32_t STYLE_14_SEGMENT = 2;
    static constexpr std::uint32_t STYLE_KEEP_ASPECT = 4;

    explicit SegmentCtrl(QWidget* parent = nullptr);
    ~SegmentCtrl() override;

    void SetText(const QString& text);
    // Byte string up to its terminator, one character per byte (Latin-1).
    void SetText(const char* text) { SetText(QString::fromLatin1(text ? text : "")); }
    const QString& GetText() const { return m_text; }
    void SetColor(ColorRef off, ColorRef on);
    void SetBackColor(ColorRef c);
    bool ModifyDigiStyle(std::uint32_t remove, std::uint32_t add);

    ColorRef GetOffColor() const { return m_offColor; }
    ColorRef GetOnColor() const { return m_onColor; }
    ColorRef GetBackColor() const { return m_bkColor; }
    std::uint32_t GetStyle() const { return m_style; }
    bool IsRebuildNeeded() const { return m_rebuild; }
    const std::vector<std::unique_ptr<CDigiChar>>& GetCells() const { return m_cells; }

    // Paints the whole control onto dc (as the paint handler does, through a MemoryDC).
    void Paint(DrawContext& dc);

protected:
    std::unique_ptr<CDigiChar> DefineChar(QChar c) const;
    void BuildString();
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    bool m_rebuild = true;
    ColorRef m_offColor = 0x00003400;
    ColorRef m_onColor = 0x0000FF00;
    ColorRef m_bkColor = 0;
    std::uint32_t m_style = STYLE_KEEP_ASPECT;
    std::vector<std::unique_ptr<CDigiChar>> m_cells;
};

} // namespace zef::Glimra
