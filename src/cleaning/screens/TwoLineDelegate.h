#pragma once

#include <QStyledItemDelegate>

// Draws an item's text with a second, secondary-coloured line under it (a category's
// description). Colours come from the palette at paint time, so theme switches apply.
class TwoLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int SecondLineRole = Qt::UserRole + 20;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
