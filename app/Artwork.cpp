#include "app/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace App
{

namespace
{
// An encoder disc: a ring of code marks around a hub.
void DrawDisc(QPainter& painter, const QRectF& rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 60, 110), rect.width() / 24));
    painter.setBrush(QColor(235, 240, 248));
    painter.drawEllipse(rect.adjusted(2, 2, -2, -2));
    const QPointF c = rect.center();
    const double r = rect.width() / 2 - 4;
    painter.setPen(QPen(QColor(200, 30, 30), rect.width() / 16, Qt::SolidLine, Qt::FlatCap));
    for (int k = 0; k < 12; k += 2)
        painter.drawArc(QRectF(c.x() - r * 0.7, c.y() - r * 0.7, r * 1.4, r * 1.4), k * 30 * 16,
                        30 * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 60, 110));
    painter.drawEllipse(c, r * 0.25, r * 0.25);
}
} // namespace

QPixmap MakeLogoPixmap(const QSize& size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const int h = size.height();
    DrawDisc(painter, QRectF(0, 0, h, h));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::max(8, h * 11 / 20));
    painter.setFont(font);
    painter.setPen(QColor(30, 60, 110));
    painter.drawText(QRect(h + h / 6, 0, size.width() - h, h * 7 / 10),
                     Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("TAVIK"));
    QFont small(font);
    small.setBold(false);
    small.setPixelSize(std::max(6, h / 6));
    painter.setFont(small);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(QRect(h + h / 6, h * 7 / 10, size.width() - h, h * 3 / 10),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("SSI / SPI encoder service"));
    return pixmap;
}

QIcon MakeProgramIcon()
{
    QIcon icon;
    for (const int edge : {16, 32, 48, 64})
    {
        QPixmap pixmap(edge, edge);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        DrawDisc(painter, QRectF(0, 0, edge, edge));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace App
