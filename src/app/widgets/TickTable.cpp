#include "app/widgets/TickTable.h"

#include <QHeaderView>
#include <QScrollBar>

TickTable::TickTable(const QStringList &labels, QHeaderView *header, std::function<void()> fill,
                     std::function<void(const QUuid &, bool)> tick, QWidget *parent)
    : QTreeWidget(parent), m_fill(std::move(fill)), m_tick(std::move(tick))
{
    if (header)
        setHeader(header);
    setColumnCount(int(labels.size()));
    setHeaderLabels(labels);
    setSelectionMode(QAbstractItemView::NoSelection);
    setAlternatingRowColors(true);
    setFrameShape(QFrame::NoFrame);
    setTextElideMode(Qt::ElideMiddle);
    QHeaderView *head = this->header();
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(true);
    head->setStretchLastSection(false);
    head->setSectionResizeMode(TickColumn, QHeaderView::Fixed);
    connect(this, &QTreeWidget::itemChanged, this, &TickTable::onItemChanged);
}

void TickTable::rebuild()
{
    if (m_inItemChange) {
        // Clearing now would free the ticked item while Qt is still inside it.
        QMetaObject::invokeMethod(this, &TickTable::rebuild, Qt::QueuedConnection);
        return;
    }
    m_rebuilding = true;
    const int scroll = verticalScrollBar()->value();
    clear();
    m_fill();
    verticalScrollBar()->setValue(scroll);
    m_rebuilding = false;
}

void TickTable::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_rebuilding || column != TickColumn || item->parent())
        return;
    m_inItemChange = true;
    m_tick(item->data(TickColumn, IdRole).toUuid(), item->checkState(TickColumn) == Qt::Checked);
    m_inItemChange = false;
}
