#include "SectionItemDelegate.h"

#include "SectionItemPainter.h"
#include "SectionListModel.h"

#include <QPainter>
#include <QStyle>

void SectionItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QVariant record = index.data(SectionListModel::RecordRole);
    if (record.canConvert<SectionRecord>()) {
        painter->save();
        drawItem_(*painter, record.value<SectionRecord>(), option.rect,
                  option.state & QStyle::State_Selected);
        painter->restore();
    }
    if (option.state & QStyle::State_HasFocus)
        SectionItemPainter::paintFocusRect(*painter, option.rect);
}

QSize SectionItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), SectionListModel::kItemHeight);
}
