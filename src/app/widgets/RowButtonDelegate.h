#pragma once

#include <QStyledItemDelegate>

// A push button drawn in a table cell (one widget per row would not scale to long
// lists). Its label is the cell's display text; a click on it emits `clicked`.
class RowButtonDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Where the button sits inside a cell.
    static QRect buttonRect(const QRect &cell, const QString &label, const QWidget *widget);

signals:
    void clicked(const QModelIndex &index);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    QPersistentModelIndex m_pressed;
};
