#include "SectionItemDelegate.h"

#include "SectionItemPainter.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

void SectionItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const int row = index.row();
    if (row >= 0 && row < kSectionCount) {
        painter->save();
        SectionItemPainter::paint(*painter, icons_, table_[row], option.rect,
                                  option.state & QStyle::State_Selected);
        painter->restore();
    }
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(option.widget);
        focus.rect = option.rect;
        focus.backgroundColor = Qt::white;
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
}

QSize SectionItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kItemHeight);
}
