#pragma once

// Pixel checks: a control painted into an image, and the colour of one pixel.

#include "controls/DrawContext.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>

#include <algorithm>

namespace PixelTest
{

// A self-painting control resized to w x h and painted onto magenta, so unpainted pixels
// show.
template <class Control> QImage Render(Control& control, int w, int h)
{
    control.resize(w, h);
    QImage img(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    zef::Glimra::DrawContext dc(&img);
    control.Paint(dc);
    return img;
}

// A widget and its children as the toolkit paints them, onto magenta.
inline QImage RenderWidget(QWidget& widget)
{
    QImage img(std::max(widget.width(), 1), std::max(widget.height(), 1), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    widget.render(&img, QPoint(), QRegion(), QWidget::RenderFlags(QWidget::DrawChildren));
    return img;
}

inline zef::Glimra::ColorRef At(const QImage& img, int x, int y)
{
    return zef::Glimra::FromQColor(QColor(img.pixel(x, y)));
}

inline zef::Glimra::ColorRef At(const QImage& img, QPoint p)
{
    return At(img, p.x(), p.y());
}

} // namespace PixelTest
