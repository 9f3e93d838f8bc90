#pragma once

#include <QStyledItemDelegate>

// A cell of one main line (the display text) over smaller secondary lines (a string
// list under `SecondaryLinesRole`), in the theme's colours at paint time.
class StackedTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int SecondaryLinesRole = Qt::UserRole + 40;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
