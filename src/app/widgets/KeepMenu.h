#pragma once

#include <QByteArray>
#include <QModelIndex>

#include <functional>

class ExclusionsViewModel;
class QAbstractItemView;

// "Keep" in the row menu of a cleaning or finder list, on a right click or the keyboard's
// menu key: the row's item joins the keep list and no such list offers it again.
namespace KeepMenu {

// `pathAt` gives the item's bytes for a row; empty for a row that holds no item.
void attach(QAbstractItemView *view, ExclusionsViewModel *lists,
            std::function<QByteArray(const QModelIndex &)> pathAt);

} // namespace KeepMenu
