#pragma once

#include <QAbstractItemView>
#include <QHeaderView>
#include <QString>

namespace tarvek {

// A read-only table of `name` (also its accessible name), its columns as
// wide as their contents, the last one stretched.
template <typename Table> Table* ReadOnly(Table* table, const QString& name) {
    table->setAccessibleName(name);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace tarvek
