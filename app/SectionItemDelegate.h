#pragma once
// Hands the painting of each list item to the main window's ListaDrawItem; the list adds the focus
// rectangle over the whole item itself.
#include <QStyledItemDelegate>

class TForm1;

class SectionItemDelegate : public QStyledItemDelegate {
  public:
    SectionItemDelegate(const TForm1& form, QObject* parent) : QStyledItemDelegate(parent), form_(form) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kItemHeight = 40;

  private:
    const TForm1& form_;
};
