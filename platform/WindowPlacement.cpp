#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QPoint centredWithin(QSize frame, const QRect& over, const QRect& available) {
    // Centres of even and odd sizes both round towards the top left, as QRect::center does.
    int x = over.left() + (over.width() - frame.width()) / 2;
    int y = over.top() + (over.height() - frame.height()) / 2;
    x = std::max(std::min(x, available.left() + available.width() - frame.width()), available.left());
    y = std::max(std::min(y, available.top() + available.height() - frame.height()), available.top());
    return {x, y};
}

void centreOnOwner(QWidget& dialog) {
    QWidget* owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : dialog.screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect available = screen->availableGeometry();
    if (owner == nullptr) {
        dialog.move(centredWithin(dialog.size(), available, available));
        return;
    }
    // The dialog's frame is not known before it first shows; the owner's frame stands in for it.
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerClient = owner->geometry();
    const QSize frameExtra(ownerFrame.width() - ownerClient.width(),
                           ownerFrame.height() - ownerClient.height());
    dialog.move(centredWithin(dialog.size() + frameExtra, ownerFrame, available));
}
