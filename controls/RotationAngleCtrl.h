#pragma once

// RotationAngleCtrl: a dial that shows an angle - knob with optional 3-D rim, tick marks,
// numeric labels, a hub and a triangular pointer. It takes no input. The geometry lives in
// plain functions (DialGeometry, Rotate, LabelBox, PointerTriangle) so it can be checked
// without painting.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"
#include "controls/LogFont.h"

#include <QWidget>

#include <array>

namespace zef::Glimra
{

struct GLIMRA_API DialGeometry
{
    int r = 0;  // knob radius
    int cx = 0; // centre
    int cy = 0;
    int ri = 0; // tick inner radius
    int ro = 0; // tick outer radius
    int rh = 0; // hub radius
    int rp = 0; // pointer tip radius
    int hb = 0; // pointer half base

    static DialGeometry Compute(const Rect& client, int rimWidth);
    // Radius of the label positions for a font of character height th and average width cw.
    int LabelRadius(int th, int cw) const;
    // Tip radius of a pointer that stops short of those labels, so that the label it points
    // at stays readable; at least half the knob radius, at most rp.
    int PointerRadius(int th, int cw) const;
    bool IsDrawable() const { return r > 0; }
};

// Angle reduced to -359..359, keeping the sign (-370 -> -10). Safe for every int.
GLIMRA_API int ReduceAngle(int angle);

// Screen offset from the dial centre of a point at angle degrees and radius pixels;
// clockwise true: 0 points right and 90 down.
GLIMRA_API QPoint Rotate(int angle, int radius, bool clockwise);

// The box of a label of `chars` characters at `angle`, centred on the label circle.
GLIMRA_API QRect LabelBox(const DialGeometry& g, int angle, int chars, int th, int cw,
                          bool clockwise);

// Pointer triangle for the total angle (clock-face angle + offset + angle).
GLIMRA_API std::array<QPoint, 3> PointerTriangle(const DialGeometry& g, int angle, bool clockwise);

class GLIMRA_API RotationAngleCtrl : public QWidget
{
    Q_OBJECT
public:
    explicit RotationAngleCtrl(QWidget* parent = nullptr);
    ~RotationAngleCtrl() override;

    void SetAngle(int angle);
    void SetOffset(int offset);
    void SetClockFaceAngle(int angle);
    void SetBkColor(ColorRef c);
    void SetColorKnob(ColorRef c);
    void SetColorIndicator(ColorRef c);
    void SetKnobBoundary3d(bool on);
    void SetClockFaceDirection(bool clockwise);
    void SetMarker(int step);
    void SetMarkerFont(const LogFont& font);
    const LogFont& GetMarkerFont() const { return m_markerFont; }
    void DirectRedraw(bool on);

    int GetAngle() const { return m_angle; }
    int GetOffset() const { return m_offset; }
    int GetClockFaceAngle() const { return m_clockFaceAngle; }
    bool GetClockFaceDirection() const { return m_clockwise; }
    int GetMarker() const { return m_marker; }
    int GetRimWidth() const { return m_rimWidth; }
    ColorRef GetBkColor() const { return m_bkColor; }
    ColorRef GetColorKnob() const { return m_knobColor; }
    ColorRef GetColorIndicator() const { return m_indicatorColor; }
    bool IsDirectRedraw() const { return m_directRedraw; }

    // Paints the whole dial onto dc (as the paint handler does, through a MemoryDC).
    void Paint(DrawContext& dc);

protected:
    void Redraw();
    QPoint Rotate(int angle, int radius) const;
    void GetPlotRect(Rect& rect) const;
    void PaintBackground(DrawContext& dc);
    void PaintKnob(DrawContext& dc);
    void paintEvent(QPaintEvent* event) override;

private:
    ColorRef m_bkColor;
    ColorRef m_knobColor;
    ColorRef m_indicatorColor;
    ColorRef m_rimShadowColor;
    ColorRef m_rimHighlightColor;
    ColorRef m_tickColor;
    int m_angle = 0;
    int m_offset = 0;
    int m_marker = 45;
    int m_clockFaceAngle = 0;
    bool m_clockwise = true;
    int m_rimWidth = 4;
    LogFont m_markerFont;
    bool m_directRedraw = true;
};

} // namespace zef::Glimra
