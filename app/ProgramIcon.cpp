#include "ProgramIcon.h"

#include <QPainter>
#include <QPolygonF>

namespace {

constexpr double kGrid = 32;
constexpr double kOutlineWidth = 1.2;
const QColor kOutline(150, 110, 0);

struct Shape {
    QColor fill;
    QPolygonF outline;
};

// The folder's back with its tab, then its front flap, in the order they are painted.
QList<Shape> shapes() {
    return {
        {QColor(235, 185, 40), QPolygonF({{2, 7}, {12, 7}, {15, 10}, {30, 10}, {30, 27}, {2, 27}})},
        {QColor(255, 215, 80), QPolygonF({{2, 27}, {6, 14}, {31.5, 14}, {30, 27}})},
    };
}

} // namespace

namespace ProgramIcon {

QImage image(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kGrid, size / kGrid);
    p.setPen(QPen(kOutline, kOutlineWidth)); // a scaled pen with bevelled joins, as in svg()
    for (const Shape& shape : shapes()) {
        p.setBrush(shape.fill);
        p.drawPolygon(shape.outline);
    }
    return image;
}

QByteArray svg() {
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                     "viewBox=\"0 0 32 32\">\n";
    for (const Shape& shape : shapes()) {
        QByteArray points;
        for (const QPointF& point : shape.outline)
            points += QByteArray::number(point.x()) + ',' + QByteArray::number(point.y()) + ' ';
        out += "  <polygon points=\"" + points.trimmed() + "\" fill=\"" + shape.fill.name().toLatin1() +
               "\" stroke=\"" + kOutline.name().toLatin1() + "\" stroke-width=\"" +
               QByteArray::number(kOutlineWidth) + "\" stroke-linejoin=\"bevel\"/>\n";
    }
    out += "</svg>\n";
    return out;
}

} // namespace ProgramIcon
