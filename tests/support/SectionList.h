#pragma once
// Selects a row of the main window's section list as a click would.
#include <QAbstractItemModel>
#include <QListView>

inline void selectRow(QListView* list, int row) {
    list->setCurrentIndex(list->model()->index(row, 0));
}
