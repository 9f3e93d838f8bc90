#pragma once

#include <QStyledItemDelegate>

// A checkbox drawn centred in its cell from palette roles (the style's own box vanishes
// on some dark palettes); a click inside the cell toggles the item's check state.
class CheckBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static void drawBox(QPainter *painter, const QRect &cell, bool checked,
                        const QPalette &palette);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
};
