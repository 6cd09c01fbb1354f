// Shows a dial and a segment display in a real window and saves screenshots of both:
//   controls_demo <output-dir>    (run under xvfb-run for a headless X server)
#include "controls/RgbColor.h"
#include "controls/RotationAngleCtrl.h"
#include "controls/SegmentCtrl.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

using namespace zef::Glimra;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();

    QWidget window;
    window.setWindowTitle("Glimra controls");
    auto* layout = new QHBoxLayout(&window);
    auto* dial = new RotationAngleCtrl;
    dial->setFixedSize(260, 260);
    dial->SetAngle(128);
    dial->SetColorIndicator(RGB_COLOR::DARKRED);
    auto* segment = new SegmentCtrl;
    segment->setFixedSize(420, 110);
    segment->ModifyDigiStyle(0, SegmentCtrl::STYLE_ROUNDED);
    segment->SetText("-1234.56");
    auto* letters = new SegmentCtrl;
    letters->setFixedSize(420, 110);
    letters->SetColor(RGB_COLOR::DARKRED, RGB_COLOR::LIGHTRED);
    letters->SetText("ST:0128");
    auto* column = new QVBoxLayout;
    column->addWidget(segment);
    column->addWidget(letters);
    layout->addWidget(dial);
    layout->addLayout(column);
    window.show();

    QTimer::singleShot(500,
                       [&]
                       {
                           bool ok = dial->grab().save(out + "/controls-dial.png");
                           QPixmap both(segment->width(), segment->height() * 2 + 6);
                           both.fill(Qt::black);
                           {
                               QPainter p(&both);
                               p.drawPixmap(0, 0, segment->grab());
                               p.drawPixmap(0, segment->height() + 6, letters->grab());
                           }
                           ok = both.save(out + "/controls-segment.png") && ok;
                           app.exit(ok ? 0 : 1);
                       });
    return app.exec();
}
