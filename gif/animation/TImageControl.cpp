#include "TImageControl.h"

#include <QEvent>
#include <QImage>
#include <QPainter>

TImageControl::TImageControl(QWidget* parent) : QWidget(parent) {
    resize(105, 105);
    updateShownInParent();
    followParent();
}

TImageControl::~TImageControl() {
    if (watchedParent_)
        watchedParent_->removeEventFilter(this);
}

void TImageControl::setAlign(TAlign align) {
    if (align_ == align)
        return;
    align_ = align;
    followParent();
}

QColor TImageControl::color() const {
    const QWidget* parent = parentWidget();
    return parent ? parent->palette().color(parent->backgroundRole()) : palette().color(QPalette::Window);
}

void TImageControl::setVisible(bool visible) {
    QWidget::setVisible(visible);
    updateShownInParent();
}

void TImageControl::updateShownInParent() {
    const bool hiddenItself =
        testAttribute(Qt::WA_WState_ExplicitShowHide) && testAttribute(Qt::WA_WState_Hidden);
    shownInParent_ = parentWidget() != nullptr && !hiddenItself;
}

bool TImageControl::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        updateShownInParent();
        followParent();
    }
    return QWidget::event(event);
}

bool TImageControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedParent_ && event->type() == QEvent::Resize)
        followParent();
    return QWidget::eventFilter(watched, event);
}

void TImageControl::followParent() {
    QWidget* parent = parentWidget();
    if (watchedParent_ != parent) {
        if (watchedParent_)
            watchedParent_->removeEventFilter(this);
        watchedParent_ = parent;
        if (parent)
            parent->installEventFilter(this);
    }
    if (!parent || align_ == TAlign::alNone)
        return;
    const int pw = parent->width(), ph = parent->height();
    switch (align_) {
    case TAlign::alClient:
        setGeometry(0, 0, pw, ph);
        break;
    case TAlign::alTop:
        setGeometry(0, 0, pw, height());
        break;
    case TAlign::alBottom:
        setGeometry(0, ph - height(), pw, height());
        break;
    case TAlign::alLeft:
        setGeometry(0, 0, width(), ph);
        break;
    case TAlign::alRight:
        setGeometry(pw - width(), 0, width(), ph);
        break;
    case TAlign::alNone:
        break;
    }
}

void TImageControl::paintEvent(QPaintEvent*) {
    drawing_ = true;
    bufferedPaint_ = true;
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    if (buffer.isNull()) { // no memory for a buffer of this size: paint nothing rather than fail
        bufferedPaint_ = false;
        drawing_ = false;
        return;
    }
    {
        std::lock_guard guard(*lock_);
        // Transparent: the parent has already painted what lies behind; leave those pixels empty.
        buffer.fill(showsWhatIsBehind() ? QColor(Qt::transparent) : color());
        QPainter painter(&buffer);
        paintImage(painter);
    }
    bufferedPaint_ = false;
    QPainter(this).drawImage(0, 0, buffer);
    drawing_ = false;
}
