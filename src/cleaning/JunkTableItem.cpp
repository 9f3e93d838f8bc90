#include "cleaning/JunkTableItem.h"

namespace {

void sortRows(QList<JunkTableItem> &rows, const JunkTableItem::Order &order)
{
    JunkViewModel::sortRows(rows, order.column, order.ascending);
}

} // namespace

QList<JunkTableItem> JunkTableItem::tableItems(const QList<JunkCategory> &categories,
                                               const Order &order)
{
    QList<JunkTableItem> rows;
    rows.reserve(categories.size());
    for (const JunkCategory &c : categories) {
        JunkTableItem row{c.id, c.name, c.path, c.description, c.icon, c.sizeMB, true, {}};
        if (!c.topFiles.isEmpty()) {
            QList<JunkTableItem> files;
            for (const JunkFileItem &f : c.topFiles)
                files.append({f.id, f.name, f.path, QString(), QStringLiteral("doc"), f.sizeMB,
                              false, std::nullopt});
            sortRows(files, order);
            row.children = files;
        }
        rows.append(row);
    }
    sortRows(rows, order);
    return rows;
}

QList<JunkTableItem> JunkTableItem::flattenedItems(const QList<JunkTableItem> &items,
                                                   const QSet<QUuid> &expanded)
{
    QList<JunkTableItem> flat;
    for (const JunkTableItem &item : items) {
        JunkTableItem row = item;
        row.children.reset();
        flat.append(row);
        if (item.children && expanded.contains(item.id))
            flat.append(*item.children);
    }
    return flat;
}
