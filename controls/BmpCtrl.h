#pragma once

// BmpCtrl: shows a bitmap loaded from a .bmp file - unscaled at the top-left corner (style 1),
// unscaled and centred (2), or stretched to the control (20, 36, 68, 132 for the stretch
// modes black-on-white, white-on-black, colour-on-colour, halftone), optionally keeping the
// bitmap's aspect ratio (+256). Placement is the plain function BmpPlacement::Compute.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

#include <QImage>
#include <QWidget>

namespace zef::Glimra
{

struct GLIMRA_API BmpPlacement
{
    bool draw = false;     // anything to draw
    bool stretch = false;  // stretched styles
    bool buffered = false; // unscaled styles: the control is larger than the bitmap
    int mode = 0;          // stretch mode
    int x0 = 0;            // offset of the picture in the client area
    int y0 = 0;
    int w = 0; // picture size (unscaled styles: the client size, copied from the bitmap)
    int h = 0;

    static BmpPlacement Compute(int style, int cw, int ch, int bw, int bh);
};

class GLIMRA_API BmpCtrl : public QWidget
{
    Q_OBJECT
public:
    static constexpr int STYLE_KEEP_ASPECT = 0x100;

    explicit BmpCtrl(QWidget* parent = nullptr);
    ~BmpCtrl() override;

    bool Load(const QString& path);
    void Clear();
    bool SetStyle(int style);
    void SetCenter(bool center);
    void SetBkColor(unsigned long color);
    void DirectRedraw(bool on);

    static bool IsValidStyle(int style);
    int GetStyle() const { return m_style; }
    ColorRef GetBkColor() const { return m_bkColor; }
    bool HasBitmap() const { return !m_bitmap.isNull(); }
    const QImage& GetBitmap() const { return m_bitmap; }

    void Paint(DrawContext& dc);

protected:
    void Redraw();
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_bitmap;
    ColorRef m_bkColor;
    int m_style = 2;
    bool m_directRedraw = true;
};

} // namespace zef::Glimra
