#include "SectionItemDelegate.h"

#include "SectionItemPainter.h"

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
    if (option.state & QStyle::State_HasFocus)
        SectionItemPainter::paintFocusRect(*painter, option.rect);
}

QSize SectionItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kItemHeight);
}
