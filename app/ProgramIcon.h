#pragma once
// The program's icon, a yellow folder drawn on a 32 x 32 grid: as an image of any size (the window's
// icon and the installed PNGs) and as SVG (the installed scalable icon), both from one description.
#include <QByteArray>
#include <QImage>

namespace ProgramIcon {

// The icon drawn into a transparent size x size image.
QImage image(int size);
// The same drawing as a standalone SVG document.
QByteArray svg();

} // namespace ProgramIcon
