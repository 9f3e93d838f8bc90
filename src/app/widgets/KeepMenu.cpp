#include "app/widgets/KeepMenu.h"

#include "exec/ExclusionsViewModel.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QPointer>

void KeepMenu::attach(QAbstractItemView *view, ExclusionsViewModel *lists,
                      std::function<QByteArray(const QModelIndex &)> pathAt)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    // The menu is found by no other way: a screen reader says where it is.
    if (view->accessibleDescription().isEmpty())
        view->setAccessibleDescription(
            QStringLiteral("The menu key offers Keep: never offer the current row for removal "
                           "again."));
    QObject::connect(view, &QWidget::customContextMenuRequested, view,
                     [view, lists = QPointer(lists), pathAt](const QPoint &at) {
                         // The menu key opens it for the current row, wherever the pointer is.
                         QModelIndex index = view->indexAt(at);
                         if (!index.isValid())
                             index = view->currentIndex();
                         const QByteArray path = index.isValid() ? pathAt(index) : QByteArray();
                         if (path.isEmpty() || !lists)
                             return;
                         auto *menu = new QMenu(view);
                         menu->setAttribute(Qt::WA_DeleteOnClose);
                         QAction *keep = menu->addAction(QStringLiteral("Keep"));
                         keep->setObjectName(QStringLiteral("keepAction"));
                         keep->setToolTip(QStringLiteral("Never offer this for removal again"));
                         QObject::connect(keep, &QAction::triggered, lists, [lists, path] {
                             if (lists)
                                 lists->addKept(path);
                         });
                         const QRect row = view->visualRect(index);
                         menu->popup(view->viewport()->mapToGlobal(
                             view->indexAt(at).isValid() ? at : row.center()));
                     });
}
