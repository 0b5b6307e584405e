#pragma once
// Paints each list item from the record the model gives, through the window's draw handler, and the
// focus rectangle over the whole item: nothing of the style's item look is drawn.
#include "SectionTable.h"

#include <QStyledItemDelegate>
#include <functional>

class SectionItemDelegate : public QStyledItemDelegate {
  public:
    using DrawItem = std::function<void(QPainter&, const SectionRecord&, const QRect&, bool selected)>;

    SectionItemDelegate(DrawItem drawItem, QObject* parent)
        : QStyledItemDelegate(parent), drawItem_(std::move(drawItem)) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    DrawItem drawItem_;
};
