#pragma once

#include "cleaning/JunkViewModel.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

// One row of the Junk table: a category, or one of its largest files.
struct JunkTableItem {
    QUuid id;
    QString name;
    QString path;
    QString description;
    QString icon;
    double sizeMB = 0;
    bool isCategory = false;
    std::optional<QList<JunkTableItem>> children; // a category's files; none when it has none

    // The table's order: one column, either way.
    struct Order {
        JunkSortColumn column = JunkSortColumn::size;
        bool ascending = false;
    };

    // One row per category, sorted; each carries its files, sorted the same way.
    static QList<JunkTableItem> tableItems(const QList<JunkCategory> &categories,
                                           const Order &order);
    // The rows as shown: each category, followed by its files when it is expanded.
    static QList<JunkTableItem> flattenedItems(const QList<JunkTableItem> &items,
                                               const QSet<QUuid> &expanded);
};
