#pragma once
// The section list's model: one row per section of the table, in slot order. Display is the section's
// identifier ("18-9"), the accessible text what the item shows, and the record role the record itself,
// which the delegate paints.
#include "SectionTable.h"

#include <QAbstractListModel>

Q_DECLARE_METATYPE(SectionRecord)

class SectionListModel : public QAbstractListModel {
  public:
    static constexpr int RecordRole = Qt::UserRole + 1;

    SectionListModel(const SectionTable& table, QObject* parent = nullptr)
        : QAbstractListModel(parent), table_(table) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The table has changed: one section's row, or all of them.
    void sectionChanged(int slot);
    void tableChanged();

    static constexpr int kItemHeight = 40;

  private:
    const SectionTable& table_;
};
