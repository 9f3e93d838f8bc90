#include "app/widgets/RowActions.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTreeView>

RowActions::RowActions(QAbstractItemView *view) : QObject(view), m_view(view)
{
    // Tab moves between the controls only; past the last one it leaves the table, as it
    // leaves any other widget.
    view->setTabKeyNavigation(false);
    view->installEventFilter(this);
}

void RowActions::setTickColumn(int column)
{
    m_tickColumn = column;
}

void RowActions::addButtonColumn(int column, std::function<void(const QModelIndex &)> press)
{
    m_buttons.insert(column, std::move(press));
}

void RowActions::setRemove(std::function<void(const QModelIndex &)> remove)
{
    m_remove = std::move(remove);
}

bool RowActions::isControl(int column) const
{
    return column == m_tickColumn || m_buttons.contains(column);
}

QList<QModelIndex> RowActions::controlsOf(const QModelIndex &row, bool forward) const
{
    QList<int> columns = m_buttons.keys();
    if (m_tickColumn >= 0)
        columns.append(m_tickColumn);
    std::sort(columns.begin(), columns.end());
    if (!forward)
        std::reverse(columns.begin(), columns.end());
    QList<QModelIndex> cells;
    for (int column : std::as_const(columns)) {
        const QModelIndex cell = row.sibling(row.row(), column);
        // A row without a tick box (a file under a category) or without a button (a copy
        // that frees nothing) has no stop there.
        const bool shown = column == m_tickColumn
                               ? (cell.flags() & Qt::ItemIsUserCheckable) &&
                                     cell.data(Qt::CheckStateRole).isValid()
                               : !cell.data(Qt::DisplayRole).toString().isEmpty();
        if (cell.isValid() && shown)
            cells.append(cell);
    }
    return cells;
}

QModelIndex RowActions::step(const QModelIndex &from, bool forward) const
{
    const QAbstractItemModel *model = m_view->model();
    auto nextRow = [&](const QModelIndex &row) -> QModelIndex {
        if (auto *tree = qobject_cast<QTreeView *>(m_view))
            return forward ? tree->indexBelow(row) : tree->indexAbove(row);
        const int r = row.row() + (forward ? 1 : -1);
        return r >= 0 && r < model->rowCount(row.parent()) ? model->index(r, 0, row.parent())
                                                           : QModelIndex();
    };
    QModelIndex row;
    if (from.isValid()) {
        row = from.sibling(from.row(), 0);
        for (const QModelIndex &cell : controlsOf(row, forward)) {
            // From a plain cell, the row's first control; from a control, the one after it.
            if (!isControl(from.column()) ||
                (forward ? cell.column() > from.column() : cell.column() < from.column()))
                return cell;
        }
        row = nextRow(row);
    } else if (model && model->rowCount() > 0) {
        row = model->index(forward ? 0 : model->rowCount() - 1, 0);
    }
    for (; row.isValid(); row = nextRow(row)) {
        const QList<QModelIndex> cells = controlsOf(row, forward);
        if (!cells.isEmpty())
            return cells.first();
    }
    return {};
}

bool RowActions::toggleTick(const QModelIndex &current)
{
    if (m_tickColumn < 0 || !current.isValid())
        return false;
    const QModelIndex tick = current.sibling(current.row(), m_tickColumn);
    const QVariant state = tick.data(Qt::CheckStateRole);
    if (!(tick.flags() & Qt::ItemIsUserCheckable) || !state.isValid())
        return false;
    m_view->model()->setData(tick, state.toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked,
                             Qt::CheckStateRole);
    return true;
}

bool RowActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_view)
        return false;
    const bool hasControls = m_tickColumn >= 0 || !m_buttons.isEmpty();
    if (event->type() == QEvent::FocusIn && hasControls) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        const QModelIndex current = m_view->currentIndex();
        if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
            (!current.isValid() || !isControl(current.column()))) {
            const bool forward = reason == Qt::TabFocusReason;
            // The current row's first control (its last, coming back), else the first row's.
            const QList<QModelIndex> cells =
                current.isValid() ? controlsOf(current.sibling(current.row(), 0), forward)
                                  : QList<QModelIndex>{step({}, forward)};
            if (!cells.isEmpty() && cells.first().isValid())
                m_view->setCurrentIndex(cells.first());
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const QModelIndex current = m_view->currentIndex();
    switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (!hasControls || (mods & ~Qt::ShiftModifier))
            return false;
        const QModelIndex next = step(current, key->key() == Qt::Key_Tab);
        if (!next.isValid())
            return false;
        m_view->setCurrentIndex(next);
        m_view->scrollTo(next);
        return true;
    }
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods != Qt::NoModifier || !current.isValid())
            return false;
        if (m_buttons.contains(current.column())) {
            m_buttons.value(current.column())(current);
            return true;
        }
        return key->key() == Qt::Key_Space && toggleTick(current);
    case Qt::Key_Delete:
        // Shift+Delete too: nothing here deletes outright, it only asks to move to the Trash.
        if ((mods & ~Qt::ShiftModifier) || !m_remove)
            return false;
        m_remove(current);
        return true;
    default:
        return false;
    }
}
