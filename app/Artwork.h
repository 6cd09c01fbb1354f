#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace App
{

// The program's artwork, drawn in code: the logo (bitmap 140) and the program icon (130).
QPixmap MakeLogoPixmap(const QSize& size);
QIcon MakeProgramIcon();

} // namespace App
