#pragma once
// Paints each list item from the section table with the item painter, and the focus rectangle over the
// whole item: nothing of the style's item look is drawn.
#include "SectionIcons.h"
#include "SectionTable.h"

#include <QStyledItemDelegate>

class SectionItemDelegate : public QStyledItemDelegate {
  public:
    SectionItemDelegate(const SectionTable& table, const SectionIcons& icons, QObject* parent)
        : QStyledItemDelegate(parent), table_(table), icons_(icons) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kItemHeight = 40;

  private:
    const SectionTable& table_;
    const SectionIcons& icons_;
};
