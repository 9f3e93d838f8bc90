#pragma once

#include <QTreeWidget>
#include <QUuid>

#include <functional>

class QHeaderView;

// A sortable table whose rows carry a tick box in the first column, passed on by row
// identifier. The rows are rebuilt whole; a rebuild asked for from inside a tick's own
// signal runs once that has returned, since clearing the table then would free the
// ticked item under Qt's feet.
class TickTable : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int TickColumn = 0;
    static constexpr int IdRole = Qt::UserRole + 1;

    // `header` replaces the standard one when given; `fill` adds the rows to the emptied
    // table; `tick` takes a top-level row's new tick.
    TickTable(const QStringList &labels, QHeaderView *header, std::function<void()> fill,
              std::function<void(const QUuid &id, bool ticked)> tick, QWidget *parent);

    // Empties and refills the table where its scroll was.
    void rebuild();
    // While the rows are being refilled (their expansion then is not the user's).
    bool isRebuilding() const { return m_rebuilding; }
    // Sizes `column` to its widest text, its title's included, whenever the rows are
    // rebuilt: sizing to contents would measure every row again on each layout pass.
    void fitToText(int column);

protected:
    void changeEvent(QEvent *event) override;

private:
    void onItemChanged(QTreeWidgetItem *item, int column);
    void fitColumns();

    std::function<void()> m_fill;
    std::function<void(const QUuid &, bool)> m_tick;
    bool m_rebuilding = false;
    bool m_inItemChange = false;
    QList<int> m_fitted;
};
