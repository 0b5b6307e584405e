#include "SectionItemPainter.h"

#include "Charset.h"
#include "Fonts.h"
#include "SectionTitle.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

SectionItemGeometry SectionItemPainter::geometry(const QRect& rect, int32_t size, int32_t capacity) {
    // L, T, R, B with right and bottom exclusive.
    const int L = rect.left(), T = rect.top(), R = rect.right() + 1, B = rect.bottom() + 1;
    SectionItemGeometry g;
    g.frame = QRect(QPoint(L + 1, T + 1), QPoint(R - 2, B - 2));
    g.band = QRect(QPoint(L + 2, T + 2), QPoint(L + 20, B - 3));
    g.icon = QPoint(L, T + 2);
    g.title = QPoint(L + 25, T + 3);
    g.name = QPoint(L + 25, T + 18);
    g.sizeRight = R - 8;
    if (size < 0)
        return g;
    g.trough = QRect(QPoint(L + 21, B - 8), QPoint(R - 3, B - 3));
    // Whole-percent steps: the division by 100 comes before the multiplication, as the list always drew.
    g.percent = capacity > 0 ? static_cast<int>(int64_t{size} * 100 / capacity) : 0;
    const int64_t w = int64_t{(R - 4) - (L + 21)} / 100 * g.percent;
    if (w > 0)
        g.gauge = QRect(L + 21, B - 7, static_cast<int>(std::min<int64_t>(w, 1 << 20)), 5);
    return g;
}

QString SectionItemPainter::titleText(const SectionRecord& record) {
    return sectionTitle(record);
}

QString SectionItemPainter::accessibleText(const SectionRecord& record) {
    QStringList parts{QString::fromStdString(sectionIdText(record.Group, record.Number))};
    if (record.Size < 0) {
        parts << "empty";
    } else {
        parts << titleText(record);
        const QString name = Charset::sectionText(record.Name).trimmed();
        if (record.Kind == ckApplication && !name.isEmpty())
            parts << name;
        parts << QString("%1 bytes").arg(record.Size);
    }
    return parts.join(", ");
}

void SectionItemPainter::paint(QPainter& painter, const SectionIcons& icons, const SectionRecord& record,
                               const QRect& rect, bool selected) {
    const QColor frameColour = selected ? kBlue : kLightGrey;
    const QColor fillColour = selected ? kLightGreen : kBlue;
    const SectionItemGeometry g = geometry(rect, record.Size, record.Capacity);

    painter.save();
    // A section that holds more than its capacity would stretch the gauge over its neighbours.
    painter.setClipRect(rect);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, kWhite);
    painter.fillRect(QRect(g.frame.left(), g.frame.top(), g.frame.width(), 1), frameColour);
    painter.fillRect(QRect(g.frame.left(), g.frame.bottom(), g.frame.width(), 1), frameColour);
    painter.fillRect(QRect(g.frame.left(), g.frame.top(), 1, g.frame.height()), frameColour);
    painter.fillRect(QRect(g.frame.right(), g.frame.top(), 1, g.frame.height()), frameColour);
    painter.fillRect(g.band, frameColour);

    if (record.Size < 0) {
        painter.drawImage(g.icon, icons.icon(ckNone));
        painter.restore();
        return;
    }
    painter.fillRect(g.trough, frameColour);
    if (!g.gauge.isEmpty())
        painter.fillRect(g.gauge, fillColour);
    painter.drawImage(g.icon, icons.icon(record.Kind));

    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(kWhite);
    const int lineHeight = 13;
    painter.setFont(Fonts::tahoma(11, true));
    painter.drawText(QRect(g.title, QSize(rect.width(), lineHeight + 2)), Qt::AlignLeft | Qt::AlignTop,
                     titleText(record));
    painter.setFont(Fonts::tahoma(11, false));
    if (record.Kind == ckApplication)
        painter.drawText(QRect(g.name, QSize(rect.width(), lineHeight + 2)), Qt::AlignLeft | Qt::AlignTop,
                         Charset::sectionText(record.Name));
    const QString sizeText = QString::number(record.Size) + " B";
    const int width = QFontMetrics(painter.font()).horizontalAdvance(sizeText);
    painter.drawText(QRect(QPoint(g.sizeRight - width, g.name.y()), QSize(width, lineHeight + 2)),
                     Qt::AlignLeft | Qt::AlignTop, sizeText);
    painter.restore();
}

void SectionItemPainter::paintFocusRect(QPainter& painter, const QRect& rect) {
    // The item's edge pixels are white, so black dots look as the inverting focus rectangle of the
    // platform would; a style's focus frame would tint the whole item instead.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    auto dot = [&](int x, int y) {
        if ((x + y) % 2 == 0)
            painter.fillRect(x, y, 1, 1, Qt::black);
    };
    for (int x = rect.left(); x <= rect.right(); ++x) {
        dot(x, rect.top());
        dot(x, rect.bottom());
    }
    for (int y = rect.top() + 1; y < rect.bottom(); ++y) {
        dot(rect.left(), y);
        dot(rect.right(), y);
    }
    painter.restore();
}
