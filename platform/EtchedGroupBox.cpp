#include "EtchedGroupBox.h"

#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

EtchedGroupBox::EtchedGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

QRect EtchedGroupBox::frameRect() const {
    return rect().adjusted(0, fontMetrics().height() / 2, 0, 0);
}

QRect EtchedGroupBox::titleRect() const {
    if (title().isEmpty())
        return {};
    const QFontMetrics metrics = fontMetrics();
    return {kTitleLeft, 0, metrics.horizontalAdvance(title()), metrics.height()};
}

void EtchedGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    qDrawShadeRect(&painter, frameRect(), palette(), true, 1, 0);
    const QRect title = titleRect();
    if (title.isEmpty())
        return;
    // The title's own background breaks the frame's top line behind it.
    painter.fillRect(title, palette().brush(QPalette::Window));
    style()->drawItemText(&painter, title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), QGroupBox::title(), QPalette::WindowText);
}
