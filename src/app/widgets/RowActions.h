#pragma once

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QObject>

#include <functional>

class QAbstractItemView;

// Keyboard access to the controls a delegate draws in a table's rows (a tick box, a row's
// Delete or Uninstall button), which are no widgets of their own: Tab and Shift+Tab move
// the current cell from one control to the next, row by row, and leave the table after
// the last; Space ticks the current row or presses the current button, Enter presses it;
// Delete and Shift+Delete start the table's own removal, which asks first. A screen reader
// follows the current cell and reads its accessible name, which names the row
// ("Uninstall Krita").
class RowActions : public QObject {
    Q_OBJECT
public:
    explicit RowActions(QAbstractItemView *view);

    // Cells of `column` hold a tick box.
    void setTickColumn(int column);
    // Cells of `column` hold a button; `press` runs for the row's cell.
    void addButtonColumn(int column, std::function<void(const QModelIndex &)> press);
    // What Delete does; `current` is the current row's cell, maybe invalid.
    void setRemove(std::function<void(const QModelIndex &current)> remove);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isControl(int column) const;
    // The control cells of `row`'s row, in Tab's order when `forward`.
    QList<QModelIndex> controlsOf(const QModelIndex &row, bool forward) const;
    // The next control cell after (or before) `from`, row by row; invalid past the ends.
    QModelIndex step(const QModelIndex &from, bool forward) const;
    bool toggleTick(const QModelIndex &current);

    QAbstractItemView *m_view;
    int m_tickColumn = -1;
    QHash<int, std::function<void(const QModelIndex &)>> m_buttons;
    std::function<void(const QModelIndex &)> m_remove;
};
