#pragma once

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"
#include "controls/LogFont.h"
#include "controls/PlotGeometry.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace zef::Glimra
{

enum AXIS : int
{
    X_AXIS = 0,
    Y_AXIS = 1,
};

/// One data line of a plot: points joined by segments or drawn as single pixels.
class GLIMRA_API DataLine
{
public:
    enum STYLE : int
    {
        STYLE_DOTS = 0,
        STYLE_LINE = 1, ///< every other value draws dots as well
    };

    DataLine() = default;
    DataLine(const DataLine&) = default;
    DataLine& operator=(const DataLine&) = default;
    virtual ~DataLine() = default;

    void SetColor(ColorRef color) { m_Color = color; }
    ColorRef GetColor() const { return m_Color; }
    /// `attribute` is the pen style of the segments of STYLE_LINE.
    void SetStyle(STYLE style, int attribute = 0)
    {
        m_Style = style;
        m_StyleAttribute = attribute;
    }
    STYLE GetStyle() const { return m_Style; }
    int GetStyleAttribute() const { return m_StyleAttribute; }

    /// Appends a point and widens the known range.
    void Add(float x, float y);
    std::size_t GetCount() const { return m_Points.size(); }
    /// `index` must be below GetCount().
    void GetData(std::size_t index, float& x, float& y) const
    {
        x = m_Points[index].first;
        y = m_Points[index].second;
    }
    /// The range of the points added; answers false (arguments untouched) with no points.
    bool GetMinMax(float& minX, float& maxX, float& minY, float& maxY) const;
    void Clear();
    /// Makes room for `count` points in advance.
    void Reserve(std::size_t count) { m_Points.reserve(count); }

private:
    ColorRef m_Color = 0;
    STYLE m_Style = STYLE_DOTS;
    int m_StyleAttribute = 0;
    std::vector<std::pair<float, float>> m_Points;
    bool m_RangeKnown = false;
    float m_MaxX = 0, m_MinX = 0, m_MaxY = 0, m_MinY = 0;
};

/// Grid lines across the plot at given x (X_AXIS: vertical lines) or y (Y_AXIS) values.
class GLIMRA_API GridLine
{
public:
    /// Pen style of the lines.
    enum LINE_ATTRIB : std::uint8_t
    {
        LA_SOLID = 0,
        LA_DASH = 1,
        LA_DOT = 2,
        LA_DASHDOT = 3,
        LA_DASHDOTDOT = 4,
        LA_NONE = 5,
    };

    GridLine() = default;
    GridLine(const GridLine&) = default;
    GridLine& operator=(const GridLine&) = default;
    virtual ~GridLine() = default;

    void SetAxis(AXIS axis) { m_Axis = axis; }
    AXIS GetAxis() const { return m_Axis; }
    void SetAttribute(LINE_ATTRIB attribute) { m_Attribute = attribute; }
    LINE_ATTRIB GetAttribute() const { return m_Attribute; }
    void SetColor(ColorRef color) { m_Color = color; }
    ColorRef GetColor() const { return m_Color; }
    void Add(float value) { m_Values.push_back(value); }
    std::size_t GetCount() const { return m_Values.size(); }
    /// `index` must be below GetCount().
    float GetLine(std::size_t index) const { return m_Values[index]; }
    void Clear() { m_Values.clear(); }

private:
    AXIS m_Axis = X_AXIS;
    LINE_ATTRIB m_Attribute = LA_SOLID;
    ColorRef m_Color = 0;
    std::vector<float> m_Values;
};

/// Texts at given x or y values in a margin beside the plot. The attribute's low byte picks
/// the side (16: left or top, 32: right or bottom; 0: left for Y_AXIS, bottom for X_AXIS),
/// its second byte the alignment (0x100, 0x200, 0x400; 0: a default for the side).
class GLIMRA_API AxisDescription
{
public:
    AxisDescription() = default;
    AxisDescription(const AxisDescription&) = default;
    AxisDescription& operator=(const AxisDescription&) = default;
    virtual ~AxisDescription() = default;

    void SetAxis(AXIS axis) { m_Axis = axis; }
    AXIS GetAxis() const { return m_Axis; }
    void SetAttribute(int attribute) { m_Attribute = attribute; }
    int GetAttribute() const { return m_Attribute; }
    void SetColor(ColorRef color) { m_Color = color; }
    ColorRef GetColor() const { return m_Color; }
    void SetFont(const LogFont& font) { m_Font = font; }
    const LogFont& GetFont() const { return m_Font; }
    void Add(float position, const QString& text) { m_Entries.emplace_back(position, text); }
    std::size_t GetCount() const { return m_Entries.size(); }
    /// `index` must be below GetCount().
    void GetDescription(std::size_t index, float& position, QString& text) const
    {
        position = m_Entries[index].first;
        text = m_Entries[index].second;
    }
    void Clear() { m_Entries.clear(); }

private:
    AXIS m_Axis = X_AXIS;
    int m_Attribute = 0;
    ColorRef m_Color = 0;
    LogFont m_Font;
    std::vector<std::pair<float, QString>> m_Entries;
};

/// A static control that plots data lines, grid lines and axis texts, scaled linearly from
/// the plot range into the plot rectangle (the client area less the description margins).
class GLIMRA_API StaticPlotCtrl : public QWidget
{
    Q_OBJECT

public:
    explicit StaticPlotCtrl(QWidget* parent = nullptr);
    ~StaticPlotCtrl() override;

    /// Either order of the limits is fine.
    void SetPlotRange(float x1, float x2, float y1, float y2);
    void SetDescArea(int left, int top, int right, int bottom);
    void SetBkColorPlot(ColorRef color);
    void SetBkColorDesc(ColorRef color);

    void AddLine(const DataLine& line);
    void AddGrid(const GridLine& grid);
    void AddAxisDescription(const AxisDescription& description);
    void ClearLine();
    void ClearGrid();
    void ClearAxisDescription();

    /// Off: setters only store, the next paint shows them. Switching on repaints at once.
    void DirectRedraw(bool on);

    /// Paints the whole control on `dc`, as a paint event does.
    void Paint(DrawContext& dc);

protected:
    void Redraw();
    void GetPlotRect(Rect& rect) const;
    void GetScale(double& sx, double& sy, QPoint& origin) const;
    PlotScale GetScale() const;
    void PaintBackground(DrawContext& dc);
    void PaintAxisDescription(DrawContext& dc);
    void PaintGridLines(DrawContext& dc);
    void PaintLines(DrawContext& dc);
    void paintEvent(QPaintEvent* event) override;

private:
    Rect ClientRect() const;

    ColorRef m_BkColorPlot;
    ColorRef m_BkColorDesc;
    int m_DescLeft = 0, m_DescTop = 0, m_DescRight = 0, m_DescBottom = 0;
    float m_MaxX = 0, m_MinX = 0, m_MaxY = 0, m_MinY = 0;
    std::vector<std::unique_ptr<DataLine>> m_Lines;
    std::vector<std::unique_ptr<GridLine>> m_Grids;
    std::vector<std::unique_ptr<AxisDescription>> m_Descriptions;
    bool m_DirectRedraw = true;
};

} // namespace zef::Glimra
