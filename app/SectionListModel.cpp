#include "SectionListModel.h"

#include "SectionItemPainter.h"

#include <QSize>

int SectionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSectionCount;
}

QVariant SectionListModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    if (!index.isValid() || row < 0 || row >= kSectionCount)
        return {};
    const SectionRecord& record = table_[row];
    switch (role) {
    case Qt::DisplayRole:
        return QString("%1-%2").arg(record.Group).arg(record.Number);
    case Qt::AccessibleTextRole:
        return SectionItemPainter::accessibleText(record);
    case Qt::SizeHintRole:
        return QSize(0, kItemHeight);
    case RecordRole:
        return QVariant::fromValue(record);
    default:
        return {};
    }
}

void SectionListModel::sectionChanged(int slot) {
    if (slot >= 0 && slot < kSectionCount)
        emit dataChanged(index(slot), index(slot));
}

void SectionListModel::tableChanged() {
    emit dataChanged(index(0), index(kSectionCount - 1));
}
