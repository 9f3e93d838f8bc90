#include "app/widgets/TickTable.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidgetItemIterator>

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
    fitColumns();
    verticalScrollBar()->setValue(scroll);
    m_rebuilding = false;
}

void TickTable::fitToText(int column)
{
    header()->setSectionResizeMode(column, QHeaderView::Fixed);
    m_fitted.append(column);
    fitColumns();
}

void TickTable::changeEvent(QEvent *event)
{
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitColumns();
}

void TickTable::fitColumns()
{
    // The room a cell's text takes besides itself, as the item delegate lays it out.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    const QFontMetrics tableFont(font());
    for (int column : std::as_const(m_fitted)) {
        int widest = header()->sectionSizeHint(column);
        for (QTreeWidgetItemIterator it(this); *it; ++it) {
            const QVariant own = (*it)->data(column, Qt::FontRole);
            const QFontMetrics fm = own.isValid() ? QFontMetrics(own.value<QFont>()) : tableFont;
            widest = qMax(widest, fm.horizontalAdvance((*it)->text(column)) + margin + 4);
        }
        header()->resizeSection(column, widest);
    }
}

void TickTable::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_rebuilding || column != TickColumn || item->parent())
        return;
    m_inItemChange = true;
    m_tick(item->data(TickColumn, IdRole).toUuid(), item->checkState(TickColumn) == Qt::Checked);
    m_inItemChange = false;
}
